// Records the bus as a Value Change Dump that logic-analyser software reads: the SCL and SDA
// line levels as the bus sees them (after the inverting drivers, so 1 is released high), in
// nanoseconds from the moment recording starts, when both lines are released. The file is
// locked while the panel records, so no second panel can write over the recording. Recording
// never makes the panel wait, and a recording that cannot be written stops with one message.
#pragma once

#include "i2c_monitor.h"
#include "unblocked_output.h"

#include <cstdint>
#include <optional>
#include <string>

class VcdRecorder {
public:
    // What is wrong with recording at `path`, checked without touching anything there: only a
    // regular file (or a new one) or a FIFO will do. Empty when nothing is wrong.
    static std::string problemWith(const std::string &path);

    // Creates, or locks and empties, the file (a FIFO is opened without waiting for a reader, and
    // must have one), and records both lines released at time 0, `start`; what() of the
    // PortError thrown says why it cannot.
    VcdRecorder(const std::string &path, I2cMonitor::Time start);
    // Closes the recording with a last timestamp after the last change.
    ~VcdRecorder();
    VcdRecorder(const VcdRecorder &) = delete;
    VcdRecorder &operator=(const VcdRecorder &) = delete;

    void record(std::uint8_t portByte, I2cMonitor::Time when);

private:
    void stamp(I2cMonitor::Time when);
    void close(I2cMonitor::Time when);
    void put(const std::string &text);

    std::string path_;
    std::optional<UnblockedOutput> out_; // none once recording has failed
    I2cMonitor::Time origin_;
    long long stamped_ = 0; // the latest timestamp in the file, in ns from origin_
    int levels_;            // bit 1 SCL, bit 0 SDA, as last recorded
};
