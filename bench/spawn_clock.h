// The clock the start-up benchmark counts on, shared by its driver and its probes: the driver
// reads it just before spawning a probe and hands the reading over in the environment; the
// probe reads it again once its window is shown. On Linux steady_clock is CLOCK_MONOTONIC, one
// clock for every process on the machine, so the difference includes exec, dynamic loading
// and everything after.
#pragma once

#include <chrono>
#include <cstdint>

inline constexpr const char *kSpawnClockVariable = "ZQ_BENCH_SPAWNED_AT_NS";

inline std::int64_t monotonicNanos()
{
    const auto reading = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(reading).count();
}
