#pragma once

#include <chrono>
#include <cstdint>

// What the instant port has seen, kept in constant space however many bytes arrive.
struct InstantPortRecord {
    using Clock = std::chrono::steady_clock;

    std::uint64_t writes = 0;
    // When the latest byte arrived; meaningful once writes > 0.
    Clock::time_point latest{};
    // Smallest time between two consecutive arrivals; Clock::duration::max() until there are two.
    Clock::duration smallestGap = Clock::duration::max();
};

const InstantPortRecord &instantPort();
// The hold floor Out32 keeps between bytes: kHoldFloor, as the parallel port needs, until set;
// zero stands for a device that times its own bus, as an I2C adapter does.
void setInstantPortFloor(std::chrono::nanoseconds hold);

// Port writes in one register write: 8 for the start, 8 for each of its 18 bit slots, 10 for the
// stop.
inline constexpr int kPortWritesPerRegisterWrite = 162;
