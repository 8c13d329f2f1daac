// Scripts driving the running programs through the control socket, with the client in the same
// executable, shell tools and a stand-in panel.
#include "programs.h"
#include "raw_client.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Decodes a bus recording with sigrok-cli, as a logic analyser's software would, into the
// simulated board's own lines; only a write with its start, address, data and stop counts.
QByteArray decodeRecording(const QString &path)
{
    QProcess sigrok; // compress: idle stretches between writes are shortened for speed
    sigrok.start("sigrok-cli", {"-I", "vcd:compress=20000", "-i", path, "-P", "i2c:scl=SCL:sda=SDA",
                                "-A", "i2c=start:stop:address-write:data-write"});
    if (!sigrok.waitForFinished(60000)) {
        return "sigrok-cli did not run (scripts/setup installs it)";
    }
    QByteArray decoded;
    QByteArray write;
    for (const QByteArray &line : sigrok.readAllStandardOutput().split('\n')) {
        const QByteArray value = line.mid(line.lastIndexOf(' ') + 1);
        if (line.contains(": Start")) {
            write = "start ";
        } else if (line.contains("Address write")) {
            write += "0x" + value + " <- ";
        } else if (line.contains("Data write")) {
            write += "0x" + value;
        } else if (line.contains(": Stop") && write.startsWith("start ")) {
            decoded += write.mid(6) + '\n';
            write.clear();
        }
    }
    return decoded;
}

} // namespace

class TestScripts : public QObject {
    Q_OBJECT

private slots:
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
        // Read while the board runs, then once it has ended: both decode to every write.
        const QByteArray decodedWhileRunning = decodeRecording(runtime.filePath("bus.vcd"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 128 + SIGTERM);
        QVERIFY(QDir(runtime.path()).entryList({"*.socket"}, QDir::System).isEmpty());
        printed += sim.readAllStandardOutput();
        QCOMPARE(printed, kStartupWrites +
                              "0x7C <- 0x01\n0x7C <- 0x8B\n0x7C <- 0xA0\n0x7C <- 0x60\n"
                              "0x7C <- 0x00\n0x7C <- 0x80\n0x7C <- 0x7F\n");
        QCOMPARE(decodedWhileRunning, printed);
        QFile vcd(runtime.filePath("bus.vcd")); // a logic analyser's view: released until used
        QVERIFY(vcd.open(QIODevice::ReadOnly));
        QVERIFY(vcd.readAll().contains("#0\n$dumpvars\n1c\n1d\n$end\n#"));
        QCOMPARE(decodeRecording(runtime.filePath("bus.vcd")), printed);
    }

    // A shell pipe into socat shuts its sending side after the last line: it still gets
    // every reply, and socat ends when the panel has closed the connection (-t: socat waits
    // that long, not its default half second, which a slow or emulated panel can outlast).
    void shellPipesGetEveryReply()
    {
        if (QStandardPaths::findExecutable("socat").isEmpty()) {
            QSKIP("socat is not installed (scripts/setup installs it)");
        }
        ListeningSim board;
        QVERIFY(board.start());
        const Outcome piped =
            run("socat",
                {"-t", "10", "-", "UNIX-CONNECT:" + board.runtime.filePath("zq80415-sim.socket")},
                board.environment, "speaker-volume 1\nstate\n");
        QCOMPARE(piped.status, 0);
        QVERIFY2(piped.out.startsWith("ok\npower=off ") && piped.out.endsWith("-59.0\n") &&
                     piped.out.contains(" speaker-volume=1 "),
                 piped.out.constData());
        QCOMPARE(board.stop(), QByteArray("0x7C <- 0x81\n"));
    }

    // A setup saved with `--send state > setup.txt` is restored with `--send - < setup.txt`:
    // each control is set again with its write, the address first and power on last.
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
        const QByteArray restoreWrites = "0x7D <- 0x04\n0x7D <- 0x04\n0x7D <- 0x06\n"
                                         "0x7D <- 0x8B\n0x7D <- 0x54\n0x7D <- 0x07\n";
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

    // With only 64 descriptors, a hundred clients at once: those beyond the cap (half the
    // limit) are answered with an error line and closed, stderr says so once, and once they
    // have gone the panel still listens.
    void moreClientsThanDescriptorsLeaveThePanelListening()
    {
        ListeningSim board;
        board.sim.setChildProcessModifier([] {
            const rlimit few{64, 64};
            ::setrlimit(RLIMIT_NOFILE, &few);
        });
        QVERIFY(board.start());
        const QString socket = board.runtime.filePath("zq80415-sim.socket");
        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 0; i < 100; ++i) {
            clients.push_back(std::make_unique<RawClient>(socket));
            QVERIFY(clients.back()->connected());
        }
        int refused = 0;
        for (const auto &client : clients) {
            client->write("state\n");
            QVERIFY(client->readLines(1));
            refused += client->received.startsWith("error: 32 clients are connected") ? 1 : 0;
        }
        QCOMPARE(refused, 68);
        clients.clear();
        const Outcome after = run(SIM_PROGRAM, {"--send", "state"}, board.environment);
        QCOMPARE(after.status, 0);
        QCOMPARE(board.stop(), QByteArray());
        QCOMPARE(board.sim.readAllStandardError().count("as many as the panel takes"), 1);
    }

    // `--send -` refuses a stdin it cannot read, closed, a directory, a line too long for a
    // command and an endless one, each with a message and status 1, and sends nothing.
    void sendRefusesStdinItCannotUse()
    {
        ListeningSim board;
        QVERIFY(board.start());
        const auto refusal = [&](QProcess &client) {
            client.setProcessEnvironment(board.environment);
            client.start(SIM_PROGRAM, {"--send", "-"});
            return client.waitForStarted() ? QByteArray() : QByteArray("not started");
        };
        const auto ended = [](QProcess &client, const QByteArray &says) {
            client.waitForFinished(10000);
            const bool done = client.state() == QProcess::NotRunning && client.exitCode() == 1 &&
                              client.readAllStandardOutput().isEmpty();
            const QByteArray err = client.readAllStandardError();
            return done && err.contains(says) ? QByteArray() : "said: " + err;
        };
        const Outcome closed =
            run("sh", {"-c", "exec \"$0\" --send - <&-", SIM_PROGRAM}, board.environment);
        QCOMPARE(closed.status, 1);
        QVERIFY2(closed.out.isEmpty() && closed.err.contains("stdin, which is closed"),
                 closed.err.constData());
        QProcess directory;
        directory.setStandardInputFile(board.runtime.path());
        QCOMPARE(refusal(directory), QByteArray());
        QCOMPARE(ended(directory, "Is a directory"), QByteArray());
        QProcess tooLong;
        QCOMPARE(refusal(tooLong), QByteArray());
        tooLong.write(QByteArray(300, 'x') + "\nstate\n");
        tooLong.closeWriteChannel();
        QCOMPARE(ended(tooLong, "line 1 of stdin is longer than 256 bytes"), QByteArray());
        QProcess endless;
        QCOMPARE(refusal(endless), QByteArray());
        for (int i = 0; i < 1000 && endless.state() == QProcess::Running; ++i) {
            endless.write(QByteArray(65536, 'y'));
            endless.waitForBytesWritten(10);
        }
        QCOMPARE(ended(endless, "longer than 256 bytes"), QByteArray());
        QCOMPARE(board.stop(), QByteArray());
    }

    // A runtime folder the socket cannot live in is refused, by --listen and --send alike, with
    // the folder and what is wrong: missing, not 0700, too long a path for a socket. Without
    // XDG_RUNTIME_DIR both use runtime-<user> in $TMPDIR, and Qt has nothing to warn of.
    void runtimeFoldersThatWillNotDoAreNamed()
    {
        QTemporaryDir scratch;
        const QString deep = scratch.filePath(QString(100, 'd'));
        const QString readOnly = scratch.filePath("read-only");
        QVERIFY(QDir().mkdir(deep) && QDir().mkdir(readOnly));
        QVERIFY(
            QFile::setPermissions(deep, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        const QList<std::pair<QString, QByteArray>> folders{
            {deep, "at most 107"},
            {readOnly, "mode 0500, not 0700"},
            {scratch.filePath("missing"), "No such file or directory"}};
        for (const auto &[folder, why] : folders) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("XDG_RUNTIME_DIR", folder);
            for (const QStringList &arguments :
                 {QStringList{"--listen"}, QStringList{"--send", "state"}}) {
                const Outcome refused = run(SIM_PROGRAM, arguments, environment);
                QCOMPARE(refused.status, 1);
                QVERIFY2(refused.err.contains(why) && refused.err.contains(folder.toUtf8()),
                         refused.err.constData());
            }
        }
        ListeningSim board;
        board.environment.insert("TMPDIR", scratch.path());
        board.environment.remove("XDG_RUNTIME_DIR");
        board.sim.setProcessEnvironment(board.environment);
        board.sim.start(SIM_PROGRAM, {"--listen"});
        const QString fallback =
            scratch.filePath("runtime-" + qEnvironmentVariable("USER", "root"));
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(fallback + "/zq80415-sim.socket"); },
                                10000));
        const Outcome sent = run(SIM_PROGRAM, {"--send", "power on"}, board.environment);
        QCOMPARE(sent.status, 0);
        board.sim.terminate();
        QVERIFY(board.sim.waitForFinished(10000));
        QVERIFY(!QFileInfo::exists(fallback + "/zq80415-sim.socket"));
        QVERIFY(!(sent.err + board.sim.readAllStandardError()).contains("QStandardPaths"));
    }

    // A port failure ends the panel at once: its socket file goes with it.
    void aPortFailureTakesTheSocketFileAlong()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        const QString notAPort = runtime.filePath("plain");
        QVERIFY(QFile(notAPort).open(QIODevice::WriteOnly));
        const Outcome failed = run(REAL_PROGRAM, {"--listen", "--port", notAPort}, environment);
        QCOMPARE(failed.status, 1);
        QVERIFY2(failed.err.contains("not a character device"), failed.err.constData());
        QCOMPARE(QDir(runtime.path()).entryList(QDir::System | QDir::Files), QStringList{"plain"});
    }
};

QTEST_GUILESS_MAIN(TestScripts)
#include "test_scripts.moc"
