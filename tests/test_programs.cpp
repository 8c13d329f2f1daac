// The two programs started as an operator starts them, headless.
#include <QFileInfo>
#include <QProcess>
#include <QTest>

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
        QCOMPARE(out, QByteArray("0x7C <- 0x80\n0x7C <- 0x40\n0x7C <- 0x00\n"));
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(err.contains("no parallel port is used"), err.constData());
        QVERIFY2(!err.contains("violation"), err.constData());
    }

    void realProgramWithoutAPortExplainsAndFails()
    {
        if (QFileInfo::exists("/dev/parport0")) {
            QSKIP("this machine has a parallel port");
        }
        QProcess real;
        real.start(REAL_PROGRAM, {});
        QVERIFY(real.waitForFinished(10000));
        QCOMPARE(real.exitStatus(), QProcess::NormalExit);
        QCOMPARE(real.exitCode(), 1);
        const QByteArray err = real.readAllStandardError();
        QVERIFY2(err.contains("Cannot open the parallel port /dev/parport0: No such file"),
                 err.constData());
        QVERIFY2(err.contains("modprobe parport_pc ppdev"), err.constData());
        QVERIFY(real.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "test_programs.moc"
