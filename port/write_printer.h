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
    // Gives the reader a moment to take what waits, then says how many lines were dropped.
    ~WritePrinter();
    WritePrinter(const WritePrinter &) = delete;
    WritePrinter &operator=(const WritePrinter &) = delete;

    void feed(std::uint8_t portByte, I2cMonitor::Time when);

private:
    void print(std::uint8_t address, std::uint8_t data);

    const char *program_;
    UnblockedOutput out_;
    unsigned long long dropped_ = 0;
    bool failed_ = false;
    I2cMonitor monitor_;
};
