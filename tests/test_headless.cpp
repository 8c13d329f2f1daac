// The programs run headless, as on a rack PC: no display anywhere, driven only by scripts.
#include "programs.h"

#include <QTest>

class TestHeadless : public QObject {
    Q_OBJECT

private slots:
    // With no display variable at all, the board writes its start-up state, takes a script's
    // command with its write, and a SIGTERM ends it as a shell reports it.
    void runsAndIsDrivenWithoutAnyDisplay()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = withoutDisplay();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        QProcess sim;
        sim.setProcessEnvironment(environment);
        sim.start(SIM_PROGRAM, {"--headless", "--listen"});
        QByteArray printed;
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        QCOMPARE(printed, kStartupWrites);

        const Outcome sent = run(SIM_PROGRAM, {"--send", "power on"}, environment);
        QCOMPARE(sent.status, 0);
        QCOMPARE(sent.out, QByteArray("ok\n"));
        while (!printed.endsWith("0x7C <- 0x01\n") && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        QCOMPARE(printed.mid(kStartupWrites.size()), QByteArray("0x7C <- 0x01\n"));

        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 143);
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(!err.contains("violation") && !err.contains("graphical"), err.constData());
    }

    // In a fresh shell (no XDG_RUNTIME_DIR), a panel serving SCPI alone makes no runtime folder
    // complaint of Qt's: it sets the folder it would listen in, runtime-<user> in $TMPDIR.
    void aFreshShellGetsNoRuntimeFolderWarning()
    {
        QTemporaryDir scratch;
        QProcessEnvironment environment = withoutDisplay();
        environment.remove("XDG_RUNTIME_DIR");
        environment.insert("TMPDIR", scratch.path());
        QProcess sim;
        sim.setProcessEnvironment(environment);
        sim.start(SIM_PROGRAM, {"--headless", "--scpi", "0"});
        QByteArray printed;
        while (printed.count('\n') < 3 && sim.waitForReadyRead(10000)) {
            printed += sim.readAllStandardOutput();
        }
        QCOMPARE(printed, kStartupWrites);
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(!err.contains("QStandardPaths") && !err.contains("XDG_RUNTIME_DIR"),
                 err.constData());
    }

    // Headless without a way to be driven, or as a client, is a usage error: nothing starts.
    void headlessNeedsSomethingToDriveIt()
    {
        QTemporaryDir runtime;
        QProcessEnvironment environment = withoutDisplay();
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        for (const char *program : {SIM_PROGRAM, REAL_PROGRAM}) {
            const Outcome alone = run(program, {"--headless"}, environment);
            QCOMPARE(alone.status, 2);
            QVERIFY2(alone.err.contains("--headless needs --listen"), alone.err.constData());
            QCOMPARE(alone.out, QByteArray());
            const Outcome client = run(program, {"--headless", "--send", "state"}, environment);
            QCOMPARE(client.status, 2);
            QVERIFY2(client.err.contains("exclude each other"), client.err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "test_headless.moc"
