// A data register that takes no time: it only notes when each byte arrived, so the benchmarks
// see the pacing of Out32, the bus code and the panel's event handling and nothing else.
#include "instant_port.h"

#include "data_register.h"
#include "hold_floor.h"

#include <algorithm>

namespace {
InstantPortRecord record;
std::chrono::nanoseconds floor = kHoldFloor; // the benchmarks time the parallel port's pacing
} // namespace

const LinkedPort &linkedPort()
{
    static const LinkedPort port{"zq80415-bench", "The panel on an instant benchmark port.",
                                 nullptr};
    return port;
}

void prepareDataRegister() {} // nothing to open or claim

std::chrono::nanoseconds dataRegisterHoldFloor()
{
    return floor;
}

void setInstantPortFloor(std::chrono::nanoseconds hold)
{
    floor = hold;
}

const char *portFailureHeadline()
{
    return "The panel cannot reach the board: the instant port failed.";
}

std::string boardDevice(const PortSettings &, std::string &)
{
    return {};
}

void writeDataRegister(std::uint16_t, std::uint8_t)
{
    const auto now = InstantPortRecord::Clock::now();
    if (record.writes > 0) {
        record.smallestGap = std::min(record.smallestGap, now - record.latest);
    }
    record.latest = now;
    ++record.writes;
}

const InstantPortRecord &instantPort()
{
    return record;
}

// *TST?: the instant port always answers.
int selfTestDataRegister(std::uint8_t)
{
    return 0;
}
