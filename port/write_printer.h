// Prints the register writes found in a stream of port bytes, one line each on stdout as
// "0x7C <- 0x8B" once the write's stop condition is out, and any breach of the I2C protocol or
// of fast-mode timing on stderr. The simulated board always prints; the real port does with
// --trace.
#pragma once

#include "i2c_monitor.h"

#include <cstdint>

class WritePrinter {
public:
    explicit WritePrinter(const char *program);
    ~WritePrinter();

    void feed(std::uint8_t portByte, I2cMonitor::Time when);

private:
    I2cMonitor monitor_;
};
