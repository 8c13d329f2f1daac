// Follows the SDA and SCL levels that a stream of data-register bytes produces, decodes each
// I2C write transaction in it and reports every breach of the protocol or of fast-mode timing.
// Outside a transaction it also accepts bus-recovery pulses: SCL falls, SDA falls, SCL rises,
// SDA rises (a clock that ends in a stop condition).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class I2cMonitor {
public:
    using Time = std::chrono::nanoseconds;
    // The time of a port byte written now, on the steady clock every device stamps them with.
    static Time now()
    {
        return std::chrono::duration_cast<Time>(
            std::chrono::steady_clock::now().time_since_epoch());
    }

    struct Listener {
        // A complete write: 7-bit device address and data byte.
        std::function<void(std::uint8_t address, std::uint8_t data)> write;
        std::function<void(const std::string &problem)> violation;
        std::function<void()> recoveryPulse; // optional
    };

    explicit I2cMonitor(Listener listener);

    // One byte written to the data register at time `when` (bit 7 pulls SDA low, bit 6 pulls
    // SCL low). The bus is taken to be idle before the first byte.
    void feed(std::uint8_t portByte, Time when);
    // The stream has ended: the bus must be idle, outside any transaction.
    void finish();

private:
    void sdaChanged(bool high, Time when);
    void sclChanged(bool high, Time when);
    bool recoveryStep(bool sclMoved, bool high, Time phase);
    void endTransaction();
    void checkAtLeast(Time span, Time minimum, const char *what);
    void report(const std::string &problem);

    Listener listener_;
    std::uint8_t lastByte_ = 0x3F;
    bool sda_ = true;
    bool scl_ = true;
    bool inTransaction_ = false;
    // How far a bus-recovery pulse has come: 0 none, 1 SCL low, 2 SDA low too, 3 SCL high again.
    int recovery_ = 0;
    std::uint32_t bits_ = 0; // sampled bits of the current transaction, first bit highest
    int bitCount_ = 0;
    bool clocked_ = false;    // SCL has risen since it last fell: a bit if it falls again
    bool clockedSda_ = false; // SDA at that rise
    Time sclSince_;           // when SCL last changed
    Time startAt_;            // the latest start condition
    Time stopAt_;             // the latest stop condition
};
