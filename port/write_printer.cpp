#include "write_printer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

// Lines that may wait for a slow reader: a few thousand writes, on top of what the pipe holds.
constexpr std::size_t kWaitingBytes = 64 * 1024;
constexpr std::chrono::milliseconds kPatienceAtEnd{200};

WritePrinter *printing = nullptr; // the one printing now, ended by quick_exit too

void endAtQuickExit()
{
    if (printing != nullptr) {
        printing->end();
    }
}

} // namespace

WritePrinter::WritePrinter(const char *program)
    : program_(program)
    , out_(STDOUT_FILENO, kWaitingBytes)
    , monitor_({[this](std::uint8_t address, std::uint8_t data) { print(address, data); },
                [program](const std::string &problem) {
                    std::fprintf(stderr, "%s: I2C violation: %s\n", program, problem.c_str());
                },
                {}})
{
    [[maybe_unused]] static const bool registered = std::at_quick_exit(endAtQuickExit) == 0;
    printing = this;
}

WritePrinter::~WritePrinter()
{
    end();
    if (printing == this) {
        printing = nullptr;
    }
}

void WritePrinter::end()
{
    if (ended_) {
        return;
    }
    ended_ = true;
    monitor_.finish();
    out_.drain(kPatienceAtEnd);
    const unsigned long long lost = dropped_ + (failed_ ? 0 : out_.waitingLines());
    if (lost > 0) {
        std::fprintf(stderr,
                     "%s: %llu register writes were not printed: the reader of standard output "
                     "stopped reading.\n",
                     program_, lost);
    }
}

void WritePrinter::feed(std::uint8_t portByte, I2cMonitor::Time when)
{
    monitor_.feed(portByte, when);
}

// Once standard output is gone (a closed pipe, a full disk), says so once on stderr and goes on
// without printing: the panel must not stop because nobody reads its writes. A reader that only
// lags loses the lines beyond the bound, said once as it starts, counted at the end.
void WritePrinter::print(std::uint8_t address, std::uint8_t data)
{
    if (failed_) {
        return;
    }
    char line[32];
    const int length = std::snprintf(line, sizeof line, "0x%02X <- 0x%02X\n", address, data);
    switch (out_.put(std::string_view(line, static_cast<std::size_t>(length)))) {
    case UnblockedOutput::Outcome::Taken:
        return;
    case UnblockedOutput::Outcome::Refused:
        if (dropped_++ == 0) {
            std::fprintf(stderr,
                         "%s: the reader of standard output stopped reading: register writes "
                         "are not printed until it reads again (the count follows at the end).\n",
                         program_);
        }
        return;
    case UnblockedOutput::Outcome::Failed:
        failed_ = true;
        std::fprintf(stderr,
                     "%s: standard output failed: %s; register writes are no longer printed.\n",
                     program_, std::strerror(out_.error()));
        return;
    }
}
