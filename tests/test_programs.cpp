// The two programs started as an operator starts them, headless.
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

namespace {

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end in `environment` (default: headless), `input` on its stdin.
Outcome run(const char *program, const QStringList &arguments,
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
            const QByteArray &input = {})
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(10000);
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// An operator's shell over ssh: no display named anywhere.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(name);
    }
    return environment;
}

const QByteArray kStartupWrites("0x7C <- 0x80\n0x7C <- 0x40\n0x7C <- 0x00\n");

// The simulated board listening for scripts in a runtime folder of its own.
struct ListeningSim {
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess sim;
    QByteArray printed;

    bool start(const QStringList &more = {})
    {
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        sim.setProcessEnvironment(environment);
        sim.start(SIM_PROGRAM, QStringList{"--listen"} + more);
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        return printed == kStartupWrites;
    }
    // The writes it printed after its start-up writes, once a SIGTERM has ended it.
    QByteArray stop()
    {
        sim.terminate();
        sim.waitForFinished(10000);
        printed += sim.readAllStandardOutput();
        return printed.mid(kStartupWrites.size());
    }
};

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
            }
            for (const char *version : {"--version", "-v"}) {
                const Outcome shown = run(program, {version}, withoutDisplay());
                QCOMPARE(shown.status, 0);
                QCOMPARE(shown.out, QFileInfo(program).fileName().toUtf8() + " 1.2\n");
            }
            for (const QStringList &wrong :
                 {QStringList{"--bogus"}, {"stray"}, {"--port"}, {"--send", "-", "state"}}) {
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

    // A shell pipe into socat shuts its sending side after the last line: it still gets
    // every reply, and socat ends when the panel has closed the connection.
    void shellPipesGetEveryReply()
    {
        if (QStandardPaths::findExecutable("socat").isEmpty()) {
            QSKIP("socat is not installed (scripts/setup installs it)");
        }
        ListeningSim board;
        QVERIFY(board.start());
        const Outcome piped =
            run("socat", {"-", "UNIX-CONNECT:" + board.runtime.filePath("zq80415-sim.socket")},
                board.environment, "speaker-volume 1\nstate\n");
        QCOMPARE(piped.status, 0);
        QVERIFY2(piped.out.startsWith("ok\npower=off ") && piped.out.endsWith("-59.0\n") &&
                     piped.out.contains(" speaker-volume=1 "),
                 piped.out.constData());
        QCOMPARE(board.stop(), QByteArray("0x7C <- 0x81\n"));
    }

    // A setup saved with `--send state > setup.txt` is restored with `--send - < setup.txt`:
    // each control is set again with its write, the address first.
    void aSavedSetupRestores()
    {
        ListeningSim board;
        QVERIFY(board.start());
        const QStringList setup{"address 1",    "power on",          "speaker-3d on",
                                "coupling ocl", "speaker-volume 11", "headphone-volume 20"};
        QCOMPARE(run(SIM_PROGRAM, QStringList{"--send"} + setup, board.environment).status, 0);
        const Outcome saved = run(SIM_PROGRAM, {"--send", "state"}, board.environment);
        QCOMPARE(saved.status, 0);
        const Outcome fresh = run(SIM_PROGRAM,
                                  {"--send", "address 0", "power off", "speaker-3d off",
                                   "coupling c-cupl", "speaker-volume 0", "headphone-volume 0"},
                                  board.environment);
        QCOMPARE(fresh.status, 0);
        const Outcome restored = run(SIM_PROGRAM, {"--send", "-"}, board.environment, saved.out);
        QCOMPARE(restored.status, 0);
        QCOMPARE(restored.out, QByteArray("ok\n"));
        QCOMPARE(run(SIM_PROGRAM, {"--send", "state"}, board.environment).out, saved.out);
        const QByteArray restoreWrites = "0x7D <- 0x01\n0x7D <- 0x05\n0x7D <- 0x05\n"
                                         "0x7D <- 0x07\n0x7D <- 0x8B\n0x7D <- 0x54\n";
        QCOMPARE(board.stop(), "0x7D <- 0x01\n0x7D <- 0x05\n0x7D <- 0x07\n0x7D <- 0x8B\n"
                               "0x7D <- 0x54\n0x7C <- 0x06\n0x7C <- 0x02\n0x7C <- 0x00\n"
                               "0x7C <- 0x80\n0x7C <- 0x40\n" +
                                   restoreWrites);
    }

    // --send with --port talks to the panel on that device, on its own socket; when that
    // panel ends before a reply, the client says what is known of the unanswered command.
    void clientReachesThePanelOnTheDeviceItNames()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        const QString socket = runtime.filePath("zq80415-parport1.socket");
        const Outcome nobody =
            run(REAL_PROGRAM, {"--send", "--port", "/dev/parport1", "state"}, environment);
        QCOMPARE(nobody.status, 1);
        QVERIFY2(nobody.err.contains("no panel is listening on " + socket.toUtf8()),
                 nobody.err.constData());

        QLocalServer panel; // stands in for a panel on /dev/parport1 that ends mid-burst
        QVERIFY(panel.listen(socket));
        QProcess client;
        client.setProcessEnvironment(environment);
        client.start(REAL_PROGRAM,
                     {"--send", "--port", "/dev/parport1", "power on", "speaker-volume 3"});
        QVERIFY(panel.waitForNewConnection(10000));
        QLocalSocket *connection = panel.nextPendingConnection();
        QVERIFY(connection->waitForReadyRead(10000));
        QCOMPARE(connection->readLine(), QByteArray("power on\n"));
        connection->write("ok\n");
        QVERIFY(connection->waitForBytesWritten() && connection->waitForReadyRead(10000));
        QCOMPARE(connection->readLine(), QByteArray("speaker-volume 3\n"));
        connection->close();
        QVERIFY(client.waitForFinished(10000));
        QCOMPARE(client.exitCode(), 1);
        QCOMPARE(client.readAllStandardOutput(), QByteArray("ok\n"));
        const QByteArray err = client.readAllStandardError();
        QVERIFY2(err.contains("ended before it replied to 'speaker-volume 3': whether it "
                              "reached the chip is unknown") &&
                     err.contains("start-up state"),
                 err.constData());
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
