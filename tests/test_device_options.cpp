// The real program's devices as an operator names them: what it says about each one it cannot
// use, and that nothing is created or written there.
#include "programs.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestDeviceOptions : public QObject {
    Q_OBJECT

private slots:
    void realProgramWithoutAPortExplainsAndFails()
    {
        if (QFileInfo::exists("/dev/parport0")) {
            QSKIP("this machine has a parallel port");
        }
        const Outcome real = run(REAL_PROGRAM, {});
        QCOMPARE(real.status, 1);
        QVERIFY2(real.err.contains("Cannot open the parallel port /dev/parport0: No such file"),
                 real.err.constData());
        QVERIFY2(real.err.contains("modprobe parport_pc ppdev"), real.err.constData());
        QVERIFY2(real.err.contains("run zq80415-sim"), real.err.constData());
        QVERIFY(real.out.isEmpty());
    }

    // Whatever --port names that is not a parallel port is refused with the reason; nothing is
    // created or written there.
    void portOptionRefusesWhatIsNoParallelPort()
    {
        QTemporaryDir scratch;
        const QString missing = scratch.filePath("parport9");
        const QString plain = scratch.filePath("plain");
        QFile(plain).open(QIODevice::WriteOnly);
        const std::pair<QString, const char *> cases[] = {
            {missing, "No such file or directory"},
            {plain, "it is not a character device"},
            {scratch.path(), "it is not a character device"},
        };
        for (const auto &[device, reason] : cases) {
            const Outcome refused = run(REAL_PROGRAM, {"--port", device});
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains(device.toUtf8() + ": " + reason),
                     refused.err.constData());
        }
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(QFileInfo(plain).size(), 0);
    }

    // Whatever --i2c names that is no i2c-dev bus is refused with the reason before anything is
    // opened; nothing is created or written there.
    void i2cOptionRefusesWhatIsNoI2cBus()
    {
        QTemporaryDir scratch;
        const QString missing = scratch.filePath("i2c-9");
        const QString plain = scratch.filePath("plain");
        QFile(plain).open(QIODevice::WriteOnly);
        const std::pair<QString, QByteArray> cases[] = {
            {missing, missing.toUtf8() + ": No such file or directory.\nLoad the I2C device "
                                         "interface (sudo modprobe i2c-dev)"},
            {plain, plain.toUtf8() + ": it is not a character device"},
            {scratch.path(), scratch.path().toUtf8() + ": it is not a character device"},
            {"/dev/null", "/dev/null: it is not an I2C bus device (i2c-dev)"},
            {"no such adapter", "No I2C adapter is named 'no such adapter'"},
        };
        for (const auto &[bus, reason] : cases) {
            const Outcome refused = run(REAL_PROGRAM, {"--i2c", bus});
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains(reason), refused.err.constData());
            QVERIFY(refused.out.isEmpty());
        }
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(QFileInfo(plain).size(), 0);
        // A client cannot tell which panel an unknown adapter's would be: it reaches none.
        const Outcome client = run(REAL_PROGRAM, {"--i2c", "no such adapter", "--send", "state"});
        QCOMPARE(client.status, 1);
        QVERIFY2(client.err.contains("No I2C adapter is named 'no such adapter'"),
                 client.err.constData());
    }

    // Without a display the device named is still reported as itself, not as a missing
    // graphical session.
    void devicesAreCheckedBeforeTheDisplay()
    {
        QTemporaryDir scratch;
        const std::pair<QStringList, QByteArray> cases[] = {
            {{"--i2c", "/dev/null"}, "Cannot use /dev/null: it is not an I2C bus device"},
            {{"--port", scratch.path()}, ": it is not a character device"},
        };
        for (const auto &[arguments, reason] : cases) {
            const Outcome refused = run(REAL_PROGRAM, arguments, withoutDisplay());
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains(reason), refused.err.constData());
            QVERIFY2(!refused.err.contains("graphical session"), refused.err.constData());
        }
    }

    // Options only a starting panel reads are refused beside --send, naming the option, before
    // any panel is reached; --vcd creates no file.
    void sendRefusesTheOptionsItWouldIgnore()
    {
        QTemporaryDir scratch;
        const QString vcd = scratch.filePath("bus.vcd");
        const std::tuple<const char *, QStringList, QByteArray> cases[] = {
            {REAL_PROGRAM, {"--address", "1", "--send", "state"}, "--address does nothing"},
            {REAL_PROGRAM, {"--address", "1", "--send"}, "--address does nothing"},
            {REAL_PROGRAM, {"--trace", "--send", "state"}, "--trace does nothing"},
            {SIM_PROGRAM, {"--vcd", vcd, "--send", "state"}, "--vcd does nothing"},
        };
        for (const auto &[program, arguments, reason] : cases) {
            const Outcome refused = run(program, arguments);
            QCOMPARE(refused.status, 2);
            QVERIFY2(refused.err.contains(reason + " with --send"), refused.err.constData());
        }
        QVERIFY(!QFileInfo::exists(vcd));
    }

    // -platform NAME is honoured, by the display check too: the board opens offscreen with no
    // display named. Any other single-dash word is one usage error, not a row of letters.
    void qtsOwnOptionsAreTakenOrRefused()
    {
        QProcess sim;
        sim.setProcessEnvironment(withoutDisplay());
        sim.start(SIM_PROGRAM, {"-platform", "offscreen", "-reverse", "-style", "fusion"});
        QByteArray printed;
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        sim.terminate();
        sim.waitForFinished(10000);
        QCOMPARE(printed, kStartupWrites);

        const std::pair<QStringList, QByteArray> refusals[] = {
            {{"-platformtheme", "x"}, "zq80415-sim: unknown option '-platformtheme' (of Qt's"},
            {{"-platform"}, "zq80415-sim: -platform needs a value."},
            {{"--platform"}, "zq80415-sim: unknown option 'platform'."}, // spelt as ours
        };
        for (const auto &[arguments, reason] : refusals) {
            const Outcome refused = run(SIM_PROGRAM, arguments, withoutDisplay());
            QCOMPARE(refused.status, 2);
            QVERIFY2(refused.err.startsWith(reason), refused.err.constData());
            QVERIFY(refused.out.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceOptions)
#include "test_device_options.moc"
