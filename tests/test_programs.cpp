// The two programs started as an operator starts them, headless: the simulated board and the
// conventions both follow. The real program's devices are in test_device_options.cpp.
#include "program_run.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

namespace {

const QByteArray kStartupWrites("0x7C <- 0x80\n0x7C <- 0x40\n0x7C <- 0x00\n");

} // namespace

class TestPrograms : public QObject {
    Q_OBJECT

private slots:
    void simulatedBoardPrintsTheStartupWrites()
    {
        QProcess sim;
        sim.start(SIM_PROGRAM, {});
        QVERIFY(sim.waitForStarted());
        QByteArray out;
        while (out.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            out += sim.readAllStandardOutput();
        }
        QTest::qWait(200); // anything further would have to come now, unasked
        out += sim.readAllStandardOutput();
        sim.kill();
        sim.waitForFinished();
        QCOMPARE(out, kStartupWrites);
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(err.contains("no parallel port is used"), err.constData());
        QVERIFY2(!err.contains("violation"), err.constData()); // the recovery pulses included
    }

    // Help and version print and end without a display, a window or the port; a usage error
    // ends with status 2 before either. Without a display the programs say what to do.
    void commandLineFollowsTheConventions()
    {
        for (const char *program : {REAL_PROGRAM, SIM_PROGRAM}) {
            const bool real = program == QByteArray(REAL_PROGRAM);
            for (const char *help : {"--help", "-h"}) {
                const Outcome shown = run(program, {help}, withoutDisplay());
                QCOMPARE(shown.status, 0);
                QVERIFY(shown.out.contains("--version") && shown.err.isEmpty());
                QCOMPARE(shown.out.contains("--port <device>"), real);
                QCOMPARE(shown.out.contains("--i2c <bus>"), real);
                QVERIFY(shown.out.contains("--address <bit>"));
            }
            for (const char *version : {"--version", "-v"}) {
                const Outcome shown = run(program, {version}, withoutDisplay());
                QCOMPARE(shown.status, 0);
                QCOMPARE(shown.out, QFileInfo(program).fileName().toUtf8() + " 1.2\n");
            }
            // Both devices at once, or an address bit other than 0 and 1, before any port.
            const QStringList wrongs[] = {{"--bogus"},
                                          {"stray"},
                                          {"--port"},
                                          {"--i2c"},
                                          {"--i2c", "0", "--port", "/dev/parport0"},
                                          {"--address", "2"},
                                          {"--address", "01"},
                                          {"--address", ""}};
            for (const QStringList &wrong : wrongs) {
                const Outcome refused = run(program, wrong);
                QCOMPARE(refused.status, 2);
                QVERIFY2(refused.err.contains("--help' for more"), refused.err.constData());
                QVERIFY(refused.out.isEmpty());
            }
            QProcessEnvironment deadDisplay = withoutDisplay(); // no X server runs there
            deadDisplay.insert("DISPLAY", ":97");
            // Taken on trust by the check, as any remote display: refused only when Qt connects.
            QProcessEnvironment refusingDisplay = withoutDisplay();
            refusingDisplay.insert("DISPLAY", "localhost:97");
            refusingDisplay.insert("QT_QPA_PLATFORM", "xcb");
            for (const QProcessEnvironment &environment :
                 {withoutDisplay(), deadDisplay, refusingDisplay}) {
                const Outcome headless = run(program, {}, environment);
                QCOMPARE(headless.status, 1);
                QVERIFY2(headless.err.contains("no graphical session") &&
                             headless.err.contains("xvfb-run") &&
                             !headless.err.contains("Reinstalling"),
                         headless.err.constData());
                QVERIFY(headless.out.isEmpty());
            }
        }
    }

    // --address 1 starts the board at 0x7D with its option selected; the option still moves
    // later writes, and DEFAULT returns to the bit the panel started with.
    void simulatedBoardStartsAtTheAddressBitGiven()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        QProcess sim;
        sim.setProcessEnvironment(environment);
        sim.start(SIM_PROGRAM, {"--listen", "--address", "1"});
        QByteArray printed;
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        const Outcome sent =
            run(SIM_PROGRAM, {"--send", "state", "address 0", "power on", "default", "state"},
                environment);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        printed += sim.readAllStandardOutput();
        QCOMPARE(printed, "0x7D <- 0x80\n0x7D <- 0x40\n0x7D <- 0x00\n0x7C <- 0x01\n"
                          "0x7D <- 0xA0\n0x7D <- 0x60\n0x7D <- 0x00\n0x7D <- 0x80\n");
        const QList<QByteArray> replies = sent.out.split('\n');
        QCOMPARE(replies.size(), 6); // five replies and the end of the last line
        QVERIFY2(replies[0].contains(" address=1 ") && replies[4].contains(" address=1 "),
                 sent.out.constData());
    }

    // A signal closes the window between writes: the status is 128 + its number, and nothing
    // is written after the start-up write.
    void signalsEndThePanelCleanly()
    {
        for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
            QProcess sim;
            sim.start(SIM_PROGRAM, {});
            QByteArray out;
            while (out.count('\n') < 3 && sim.waitForReadyRead(10000)) {
                out += sim.readAllStandardOutput();
            }
            ::kill(static_cast<pid_t>(sim.processId()), number);
            QVERIFY(sim.waitForFinished(10000));
            QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
            QCOMPARE(sim.exitCode(), 128 + number);
            QCOMPARE(out + sim.readAllStandardOutput(), kStartupWrites);
            QVERIFY(!sim.readAllStandardError().contains("violation"));
        }
    }

    // A script drives the running board through its control socket, the client in the same
    // executable; the board's recording of the bus decodes, independently, to what it printed.
    void scriptsDriveTheBoardAndTheBusRecordingDecodes()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        const Outcome nobody = run(SIM_PROGRAM, {"--send", "state"}, environment);
        QCOMPARE(nobody.status, 1);
        QVERIFY2(nobody.err.contains("no panel is listening"), nobody.err.constData());

        QProcess sim;
        sim.setProcessEnvironment(environment);
        sim.start(SIM_PROGRAM, {"--listen", "--vcd", runtime.filePath("bus.vcd")});
        QByteArray printed;
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        const Outcome sent = run(SIM_PROGRAM,
                                 {"--send", "power on", "speaker-volume 11", "default", "bogus",
                                  "power on"}, // not sent: the client stops at the error
                                 environment);
        QCOMPARE(sent.status, 1);
        QCOMPARE(sent.out, QByteArray("ok\nok\nok\nerror: unknown command 'bogus'\n"));
        const Outcome piped =
            run(SIM_PROGRAM, {"--send", "-"}, environment, "headphone-volume 31\n\nstate\n");
        QCOMPARE(piped.status, 0);
        QVERIFY2(piped.out.startsWith("ok\npower=off ") &&
                     piped.out.contains("headphone-gain=18.0"),
                 piped.out.constData());
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 128 + SIGTERM);
        QVERIFY(QDir(runtime.path()).entryList({"*.socket"}, QDir::System).isEmpty());
        printed += sim.readAllStandardOutput();
        QCOMPARE(printed, kStartupWrites +
                              "0x7C <- 0x01\n0x7C <- 0x8B\n0x7C <- 0xA0\n0x7C <- 0x60\n"
                              "0x7C <- 0x00\n0x7C <- 0x80\n0x7C <- 0x7F\n");

        QProcess sigrok; // compress: idle stretches between writes are shortened for speed
        sigrok.start("sigrok-cli",
                     {"-I", "vcd:compress=20000", "-i", runtime.filePath("bus.vcd"), "-P",
                      "i2c:scl=SCL:sda=SDA", "-A", "i2c=address-write:data-write"});
        QVERIFY2(sigrok.waitForFinished(60000), "sigrok-cli (scripts/setup installs it)");
        QByteArray decoded;
        for (const QByteArray &line : sigrok.readAllStandardOutput().split('\n')) {
            const QByteArray value = line.mid(line.lastIndexOf(' ') + 1);
            decoded += line.contains("Address write") ? "0x" + value + " <- "
                       : line.contains("Data write")  ? "0x" + value + "\n"
                                                      : "";
        }
        QCOMPARE(decoded, printed);
    }

    // Nobody reading the board's output (a pipe into head that has ended) does not stop it.
    void simulatedBoardOutlivesItsReader()
    {
        int pipeEnds[2];
        QVERIFY(pipe(pipeEnds) == 0);
        close(pipeEnds[0]); // the reader is gone before the first write
        QProcess sim;
        sim.setChildProcessModifier([&] { dup2(pipeEnds[1], STDOUT_FILENO); });
        sim.start(SIM_PROGRAM, {});
        close(pipeEnds[1]);
        QVERIFY(sim.waitForStarted());
        QTest::qWait(1500); // past the start-up writes
        QCOMPARE(sim.state(), QProcess::Running);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 128 + SIGTERM);
        const QByteArray err = sim.readAllStandardError();
        QCOMPARE(err.count("no longer printed"), 1);
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "test_programs.moc"
