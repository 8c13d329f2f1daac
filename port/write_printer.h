// Prints the register writes found in a stream of port bytes, one line each on stdout as
// "0x7C <- 0x8B" once the write's stop condition is out, and any breach of the I2C protocol or
// of fast-mode timing on stderr. The simulated board always prints; the real port does with
// --trace. Printing never makes the panel wait: lines a reader has not taken wait, up to a
// bound, and beyond it are dropped and counted.
#pragma once

#include "i2c_monitor.h"
#include "unblocked_output.h"

#include <cstdint>

class WritePrinter {
public:
    explicit WritePrinter(const char *program);
    // Ends the printing (end()).
    ~WritePrinter();
    WritePrinter(const WritePrinter &) = delete;
    WritePrinter &operator=(const WritePrinter &) = delete;

    void feed(std::uint8_t portByte, I2cMonitor::Time when);
    // Gives the reader a moment to take what waits, then says how many lines it did not take,
    // those dropped and those still waiting alike. Runs once, at the latest when the program
    // ends, by exit or by quick_exit (a port failure, a signal under a message box).
    void end();

private:
    void print(std::uint8_t address, std::uint8_t data);

    const char *program_;
    UnblockedOutput out_;
    unsigned long long dropped_ = 0;
    bool failed_ = false;
    bool ended_ = false;
    I2cMonitor monitor_;
};
