// The two programs started as an operator starts them, headless: the simulated board and the
// conventions both follow. The real program's devices are in test_device_options.cpp.
#include "programs.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

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
                                          {"--address", ""},
                                          {"--send", "-", "state"}};
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
                // Where no display answers, a missing default port is reported first, as itself.
                if (program == QLatin1String(REAL_PROGRAM) && environment != refusingDisplay &&
                    !QFileInfo::exists("/dev/parport0")) {
                    QCOMPARE(headless.status, 1);
                    QVERIFY2(headless.err.contains("Cannot open the parallel port /dev/parport0"),
                             headless.err.constData());
                    continue;
                }
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
            // A panel that has ended has no process id, and kill(0) would signal this test's
            // own process group.
            QCOMPARE(sim.state(), QProcess::Running);
            ::kill(static_cast<pid_t>(sim.processId()), number);
            QVERIFY(sim.waitForFinished(10000));
            QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
            QCOMPARE(sim.exitCode(), 128 + number);
            QCOMPARE(out + sim.readAllStandardOutput(), kStartupWrites);
            QVERIFY(!sim.readAllStandardError().contains("violation"));
        }
    }

    // A signal ends the panel whatever it shows: here the message box of a port failure, which
    // only a real display puts up (headless platforms end at once instead).
    void signalsEndThePanelWhileItShowsAFailure()
    {
        // -noreset: a server that resets when its last client leaves refuses the next one while
        // it does, and each round's panel is that next client.
        QProcess server;
        server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-noreset", "-screen", "0",
                              "640x480x24"});
        QVERIFY2(server.waitForReadyRead(10000), "Xvfb (scripts/setup installs it)");
        QProcessEnvironment display = withoutDisplay();
        display.insert("DISPLAY", ":" + server.readAllStandardOutput().trimmed());
        display.insert("QT_QPA_PLATFORM", "xcb");
        QTemporaryDir scratch;
        const QString notAPort = scratch.filePath("plain");
        QFile(notAPort).open(QIODevice::WriteOnly);
        for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
            QProcess real;
            real.setProcessEnvironment(display);
            real.setReadChannel(QProcess::StandardError);
            real.start(REAL_PROGRAM, {"--port", notAPort});
            QByteArray err;
            while (!err.contains("not a character device") && real.waitForReadyRead(10000)) {
                err += real.readAllStandardError();
            }
            QVERIFY2(err.contains("not a character device"), err.constData());
            QTest::qWait(500); // the box is up
            QCOMPARE(real.state(), QProcess::Running);
            ::kill(static_cast<pid_t>(real.processId()), number);
            QVERIFY2(real.waitForFinished(5000), "still showing the box after the signal");
            QCOMPARE(real.exitCode(), 128 + number);
        }
        server.terminate();
        server.waitForFinished();
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
        // Past the start-up writes, however long the start takes (emulated, under load).
        sim.setReadChannel(QProcess::StandardError);
        QByteArray err;
        while (!err.contains("no longer printed") && sim.waitForReadyRead(10000)) {
            err += sim.readAllStandardError();
        }
        QTest::qWait(200); // a write to nobody that ended it would have done so by now
        QCOMPARE(sim.state(), QProcess::Running);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 128 + SIGTERM);
        err += sim.readAllStandardError();
        QCOMPARE(err.count("no longer printed"), 1);
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "test_programs.moc"
