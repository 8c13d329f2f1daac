// The printer's count of the lines it could not print, when the program ends by quick_exit (a
// port failure, a signal under a message box): no destructor runs there, yet the lines still
// waiting for a reader that stopped reading are counted with those dropped.
#include "line_stream.h"
#include "write_printer.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cstdlib>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kWrites = 12000; // far beyond a pipe's 64 KiB and the printer's own 64 KiB

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

// In a child whose stdout is `out` (never read) and stderr `err`: prints kWrites register
// writes, then ends by quick_exit.
[[noreturn]] void printAndQuit(int out, int err)
{
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    Stream stream;
    for (int i = 0; i < kWrites; ++i) {
        stream.write(0xF8, 0x8B);
    }
    static WritePrinter printer("printer"); // never destroyed: quick_exit runs no destructor
    I2cMonitor::Time when{0};
    for (const std::uint8_t byte : stream.bytes) {
        printer.feed(byte, when += I2cMonitor::Time{2000});
    }
    std::quick_exit(1);
}

} // namespace

class TestWritePrinter : public QObject {
    Q_OBJECT

private slots:
    void everyLineNotPrintedIsCountedAtAQuickExit()
    {
        int out[2];
        int err[2];
        QVERIFY(::pipe(out) == 0 && ::pipe(err) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            printAndQuit(out[1], err[1]);
        }
        ::close(out[1]);
        ::close(err[1]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 1);
        QByteArray said;
        char buffer[4096];
        for (ssize_t got = 0; (got = ::read(err[0], buffer, sizeof buffer)) > 0;) {
            said.append(buffer, got);
        }
        const QRegularExpressionMatch counted =
            QRegularExpression("(\\d+) register writes were not printed").match(said);
        QVERIFY2(counted.hasMatch(), said.constData());
        QCOMPARE(counted.captured(1).toInt() + linesIn(out[0]), kWrites);
        ::close(out[0]);
        ::close(err[0]);
    }
};

QTEST_APPLESS_MAIN(TestWritePrinter)
#include "test_write_printer.moc"
