// Records the bus as a Value Change Dump that logic-analyser software reads: the SCL and SDA
// line levels as the bus sees them (after the inverting drivers, so 1 is released high), in
// nanoseconds from the first port write.
#pragma once

#include "i2c_monitor.h"

#include <cstdint>
#include <cstdio>
#include <string>

class VcdRecorder {
public:
    // Creates or empties the file; what() of the PortError thrown says why it cannot.
    explicit VcdRecorder(const std::string &path);
    ~VcdRecorder();
    VcdRecorder(const VcdRecorder &) = delete;
    VcdRecorder &operator=(const VcdRecorder &) = delete;

    void record(std::uint8_t portByte, I2cMonitor::Time when);

private:
    std::FILE *file_;
    I2cMonitor::Time origin_{};
    int levels_ = -1; // bit 1 SCL, bit 0 SDA, as last written; -1 before the first byte
};
