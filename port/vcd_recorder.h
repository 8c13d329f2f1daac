// Records the bus as a Value Change Dump that logic-analyser software reads: the SCL and SDA
// line levels as the bus sees them (after the inverting drivers, so 1 is released high), in
// nanoseconds from the moment recording starts, when both lines are released.
#pragma once

#include "i2c_monitor.h"

#include <cstdint>
#include <cstdio>
#include <string>

class VcdRecorder {
public:
    // Creates or empties the file and records both lines released at time 0, `start`; what()
    // of the PortError thrown says why it cannot.
    VcdRecorder(const std::string &path, I2cMonitor::Time start);
    // Closes the recording with a last timestamp after the last change.
    ~VcdRecorder();
    VcdRecorder(const VcdRecorder &) = delete;
    VcdRecorder &operator=(const VcdRecorder &) = delete;

    void record(std::uint8_t portByte, I2cMonitor::Time when);

private:
    void stamp(I2cMonitor::Time when);
    void close(I2cMonitor::Time when);

    std::FILE *file_;
    I2cMonitor::Time origin_;
    long long stamped_ = 0; // the latest timestamp in the file, in ns from origin_
    int levels_;            // bit 1 SCL, bit 0 SDA, as last recorded
};
