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
};

QTEST_GUILESS_MAIN(TestDeviceOptions)
#include "test_device_options.moc"
