// The simulated board's printing and recording when their readers stop reading, when another
// panel holds the recording, when a run is refused and when the disk is full: the panel never
// waits on them, never touches a file before its run is sure to start, and says what failed.
#include "programs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QByteArray commands(int count, const QByteArray &command = "power on")
{
    QByteArray lines;
    for (int i = 0; i < count; ++i) {
        lines += command + '\n';
    }
    return lines;
}

// The lines a pipe holds, read without waiting.
int linesIn(int descriptor)
{
    ::fcntl(descriptor, F_SETFL, O_NONBLOCK);
    int lines = 0;
    char buffer[4096];
    for (ssize_t got = 0; (got = ::read(descriptor, buffer, sizeof buffer)) > 0;) {
        lines += int(std::count(buffer, buffer + got, '\n'));
    }
    return lines;
}

} // namespace

class TestOutputs : public QObject {
    Q_OBJECT

private slots:
    // A standard output nobody reads: commands go on being answered, the dropped lines are
    // said once, SIGTERM still ends the panel at once, and the end's count holds every line the
    // pipe did not take, those still waiting for the reader too.
    void anUnreadStandardOutputHoldsNothingUp()
    {
        int unread[2];
        QVERIFY(::pipe(unread) == 0);
        ListeningSim board;
        board.sim.setChildProcessModifier([&] { ::dup2(unread[1], STDOUT_FILENO); });
        board.start();
        ::close(unread[1]);
        const QString socket = board.runtime.filePath("zq80415-sim.socket");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);
        const Outcome sent = run(SIM_PROGRAM, {"--send", "-"}, board.environment, commands(12000));
        QCOMPARE(sent.status, 0);
        QCOMPARE(sent.out, commands(12000, "ok"));
        QElapsedTimer clock;
        clock.start();
        board.sim.terminate();
        QVERIFY(board.sim.waitForFinished(5000));
        QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
        QCOMPARE(board.sim.exitCode(), 143);
        const QByteArray err = board.sim.readAllStandardError();
        QCOMPARE(err.count("stopped reading: register writes are not printed"), 1);
        const QRegularExpression note("(\\d+) register writes were not printed: the reader");
        const QRegularExpressionMatch counted = note.match(QString::fromUtf8(err));
        QVERIFY2(counted.hasMatch(), err.constData());
        QCOMPARE(counted.captured(1).toInt() + linesIn(unread[0]), 3 + 12000);
        ::close(unread[0]);
    }

    // A run that is refused (no display, a usage error, a panel already listening) leaves the
    // recording alone; a recording another panel holds is refused, the first one goes on.
    void aRecordingIsTouchedOnlyOnceTheRunStarts()
    {
        ListeningSim first;
        const QString vcd = first.runtime.filePath("bus.vcd");
        first.arguments << "--vcd" << vcd;
        QVERIFY(first.start());
        QCOMPARE(run(SIM_PROGRAM, {"--send", "power on"}, first.environment).status, 0);
        QTRY_VERIFY(contents(vcd).endsWith("\n"));
        const QByteArray recorded = contents(vcd);

        QCOMPARE(run(SIM_PROGRAM, {"--listen", "--vcd", vcd}, first.environment).status, 1);
        QCOMPARE(run(SIM_PROGRAM, {"--vcd", vcd}, withoutDisplay()).status, 1);
        QCOMPARE(run(SIM_PROGRAM, {"--vcd", vcd, "--bogus"}).status, 2);
        const Outcome second = run(SIM_PROGRAM, {"--vcd", vcd});
        QCOMPARE(second.status, 1);
        QVERIFY2(second.err.contains("another panel records there (pid "), second.err.constData());
        QCOMPARE(contents(vcd), recorded);

        QCOMPARE(run(SIM_PROGRAM, {"--send", "power off"}, first.environment).status, 0);
        QCOMPARE(first.stop(), QByteArray("0x7C <- 0x01\n0x7C <- 0x00\n"));
        const QByteArray whole = contents(vcd);
        QVERIFY(whole.startsWith(recorded) && whole.size() > recorded.size());
        QVERIFY(!whole.contains('\0'));
    }

    // Only a regular file or a FIFO that is read will do, and neither waits.
    void aRecordingThatCannotBeMadeIsRefused()
    {
        QTemporaryDir scratch;
        const QString fifo = scratch.filePath("fifo");
        QVERIFY(::mkfifo(fifo.toLocal8Bit().constData(), 0600) == 0);
        QElapsedTimer clock;
        clock.start();
        const Outcome unread = run(SIM_PROGRAM, {"--vcd", fifo});
        QCOMPARE(unread.status, 1);
        QVERIFY2(unread.err.contains("a FIFO that nobody reads"), unread.err.constData());
        QVERIFY(clock.elapsed() < 5000);
        const Outcome folder = run(SIM_PROGRAM, {"--vcd", scratch.path()});
        QCOMPARE(folder.status, 1);
        QVERIFY2(folder.err.contains("neither a regular file nor a FIFO"), folder.err.constData());
    }

    // A recording on a full disk says so once, with the file and the reason, and stops; the
    // panel and its printed writes go on.
    void aFullDiskStopsTheRecordingAndSaysSo()
    {
        if (::geteuid() != 0) {
            QSKIP("mounting a small filesystem needs root");
        }
        QTemporaryDir scratch;
        const QByteArray folder = scratch.path().toLocal8Bit();
        QVERIFY(::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=8k") == 0);
        ListeningSim board;
        const QString vcd = scratch.filePath("bus.vcd");
        board.arguments << "--vcd" << vcd;
        QVERIFY(board.start());
        const Outcome sent = run(SIM_PROGRAM, {"--send", "-"}, board.environment, commands(40));
        const QByteArray printed = board.stop();
        const QByteArray err = board.sim.readAllStandardError();
        ::umount(folder.constData());
        QCOMPARE(sent.status, 0);
        QCOMPARE(printed, commands(40, "0x7C <- 0x01"));
        QCOMPARE(err.count("failed: No space left on device; the bus is no longer recorded"), 1);
        QVERIFY2(err.contains(vcd.toLocal8Bit()), err.constData());
    }
};

QTEST_MAIN(TestOutputs)
#include "test_outputs.moc"
