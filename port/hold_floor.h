#pragma once

#include <chrono>

// Shortest time between the starts of two consecutive port writes: the time of one write on
// a legacy parallel port. Each SCL phase spans at least two writes, so it lasts at least
// 2 us, which meets the I2C fast-mode (400 kHz) minimums of 0.6 us high and 1.3 us low.
inline constexpr std::chrono::nanoseconds kHoldFloor{1000};
