#include "inpout.h"

#include "data_register.h"
#include "hold_floor.h"

#include <chrono>

void Out32(std::uint16_t address, std::uint8_t value)
{
    using Clock = std::chrono::steady_clock;
    // When the previous write had certainly taken effect: the moment it returned. Counting the
    // floor from there holds each level for kHoldFloor whatever a write itself takes. The
    // epoch lets the very first write go at once.
    static Clock::time_point previousDone{};

    // Busy-wait: a sleep call would overshoot the floor by tens of microseconds.
    while (Clock::now() - previousDone < kHoldFloor) {
    }
    writeDataRegister(address, value);
    previousDone = Clock::now();
}
