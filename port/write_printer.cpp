#include "write_printer.h"

#include <cstdio>
#include <string>

namespace {

// Once standard output is gone (a closed pipe, a full disk), says so once on stderr and goes on
// without printing: the panel must not stop because nobody reads its writes.
void printWrite(const char *program, std::uint8_t address, std::uint8_t data)
{
    static bool printing = true;
    if (!printing) {
        return;
    }
    if (std::printf("0x%02X <- 0x%02X\n", address, data) < 0 || std::fflush(stdout) != 0) {
        printing = false;
        const std::string what = std::string(program) +
                                 ": standard output failed; register writes are no longer printed";
        std::perror(what.c_str());
    }
}

} // namespace

WritePrinter::WritePrinter(const char *program)
    : monitor_({[program](std::uint8_t address, std::uint8_t data) {
                    printWrite(program, address, data);
                },
                [program](const std::string &problem) {
                    std::fprintf(stderr, "%s: I2C violation: %s\n", program, problem.c_str());
                },
                {}})
{
}

WritePrinter::~WritePrinter()
{
    monitor_.finish();
}

void WritePrinter::feed(std::uint8_t portByte, I2cMonitor::Time when)
{
    monitor_.feed(portByte, when);
}
