#include "inpout.h"

#include "data_register.h"

#include <chrono>

void Out32(std::uint16_t address, std::uint8_t value)
{
    using Clock = std::chrono::steady_clock;
    // When the previous write had certainly taken effect: the moment it returned. Counting the
    // floor from there holds each level for the device's floor whatever a write itself takes.
    // The epoch lets the very first write go at once.
    static Clock::time_point previousDone{};

    // A device that times its own bus needs no clock at all: in a virtual machine without a
    // fast clock, reading it twice per byte costs more than the whole register write.
    const std::chrono::nanoseconds floor = dataRegisterHoldFloor();
    if (floor == std::chrono::nanoseconds::zero()) {
        writeDataRegister(address, value);
        return;
    }
    // Busy-wait: a sleep call would overshoot the floor by tens of microseconds.
    while (Clock::now() - previousDone < floor) {
    }
    writeDataRegister(address, value);
    previousDone = Clock::now();
}
