#include "i2c_monitor.h"

#include <cstdio>
#include <limits>

namespace {

using Time = I2cMonitor::Time;

// I2C fast-mode (400 kHz) minimum times.
constexpr Time kHighMin{600};      // SCL high
constexpr Time kLowMin{1300};      // SCL low
constexpr Time kConditionMin{600}; // start set-up and hold, stop set-up
constexpr Time kBusFreeMin{1300};  // between a stop and the next start
constexpr Time kLongAgo{std::numeric_limits<Time::rep>::min() / 2};

constexpr int kBitsPerWrite = 18; // address byte, acknowledge, data byte, acknowledge

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

} // namespace

I2cMonitor::I2cMonitor(Listener listener)
    : listener_(std::move(listener))
    , sclSince_(kLongAgo)
    , startAt_(kLongAgo)
    , stopAt_(kLongAgo)
{
}

void I2cMonitor::feed(std::uint8_t portByte, Time when)
{
    if ((portByte & 0x3F) != 0x3F) {
        report("port byte " + hex(portByte) + " has bits 5..0 not all 1");
    }
    const bool sda = (portByte & 0x80) == 0;
    const bool scl = (portByte & 0x40) == 0;
    if (sda != sda_ && scl != scl_) {
        report("SDA and SCL changed together (" + hex(lastByte_) + " then " + hex(portByte) + ")");
    }
    lastByte_ = portByte;
    if (sda != sda_) {
        sdaChanged(sda, when);
    }
    if (scl != scl_) {
        sclChanged(scl, when);
    }
}

void I2cMonitor::sdaChanged(bool high, Time when)
{
    sda_ = high;
    if (!scl_) {
        if (!inTransaction_ && !recoveryStep(false, high, {})) {
            report("SDA changed outside a transaction");
        }
        return;
    }
    // SDA changing while SCL is high is a start (falling) or a stop (rising) condition.
    clocked_ = false;
    checkAtLeast(when - sclSince_, kConditionMin, high ? "stop set-up" : "start set-up");
    if (high) {
        if (inTransaction_) {
            endTransaction();
        } else if (!recoveryStep(false, high, {})) {
            report("stop condition without a start");
        }
        stopAt_ = when;
        return;
    }
    if (inTransaction_) {
        report("start condition inside a transaction after " + std::to_string(bitCount_) + " bits");
    }
    checkAtLeast(when - stopAt_, kBusFreeMin, "bus free time");
    inTransaction_ = true;
    bits_ = 0;
    bitCount_ = 0;
    startAt_ = when;
}

void I2cMonitor::sclChanged(bool high, Time when)
{
    const Time phase = when - sclSince_;
    scl_ = high;
    sclSince_ = when;
    if (!inTransaction_) {
        if (!recoveryStep(true, high, phase)) {
            report("SCL changed outside a transaction");
        }
        return;
    }
    if (high) {
        checkAtLeast(phase, kLowMin, "SCL low");
        // Sampled now, but a bit only once SCL falls again: the rise before a stop
        // condition clocks no bit.
        clockedSda_ = sda_;
        clocked_ = true;
        return;
    }
    checkAtLeast(phase, kHighMin, "SCL high");
    if (clocked_) {
        bits_ = (bits_ << 1) | (clockedSda_ ? 1U : 0U);
        ++bitCount_;
        clocked_ = false;
    } else {
        checkAtLeast(when - startAt_, kConditionMin, "start hold");
    }
}

// Follows one line change outside a transaction through a recovery pulse; false when the
// change does not continue one.
bool I2cMonitor::recoveryStep(bool sclMoved, bool high, Time phase)
{
    const int step = sclMoved ? (high ? 3 : 1) : (high ? 4 : 2);
    if (step != recovery_ + 1) {
        recovery_ = 0;
        return false;
    }
    if (step == 1) {
        checkAtLeast(phase, kHighMin, "SCL high");
    } else if (step == 3) {
        checkAtLeast(phase, kLowMin, "SCL low");
    }
    recovery_ = step % 4;
    if (step == 4 && listener_.recoveryPulse) {
        listener_.recoveryPulse();
    }
    return true;
}

void I2cMonitor::endTransaction()
{
    inTransaction_ = false;
    if (bitCount_ != kBitsPerWrite) {
        report("transaction of " + std::to_string(bitCount_) + " bits; a register write has " +
               std::to_string(kBitsPerWrite));
        return;
    }
    const unsigned addressByte = (bits_ >> 10) & 0xFF;
    const unsigned data = (bits_ >> 1) & 0xFF;
    if ((bits_ & (1U << 9)) == 0 || (bits_ & 1U) == 0) {
        report("SDA held low during an acknowledge clock");
    }
    if ((addressByte & 1U) != 0) {
        report("read transaction to " + hex(addressByte >> 1) + "; only writes are expected");
        return;
    }
    if (listener_.write) {
        listener_.write(static_cast<std::uint8_t>(addressByte >> 1),
                        static_cast<std::uint8_t>(data));
    }
}

void I2cMonitor::finish()
{
    if (inTransaction_) {
        report("bus left inside a transaction after " + std::to_string(bitCount_) + " bits, at " +
               hex(lastByte_));
    } else if (!sda_ || !scl_) {
        report("bus not left idle: last byte " + hex(lastByte_));
    }
}

void I2cMonitor::checkAtLeast(Time span, Time minimum, const char *what)
{
    if (span < minimum) {
        report(std::string(what) + " lasted " + std::to_string(span.count()) +
               " ns, below the fast-mode minimum of " + std::to_string(minimum.count()) + " ns");
    }
}

void I2cMonitor::report(const std::string &problem)
{
    if (listener_.violation) {
        listener_.violation(problem);
    }
}
