#include "vcd_recorder.h"

#include "hold_floor.h"
#include "inpout.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kScl = 2;
constexpr int kSda = 1;
constexpr int kReleased = kScl | kSda;

int levelsOf(std::uint8_t portByte)
{
    return ((portByte & 0x40) == 0 ? kScl : 0) | ((portByte & 0x80) == 0 ? kSda : 0);
}

} // namespace

VcdRecorder::VcdRecorder(const std::string &path, I2cMonitor::Time start)
    : file_(std::fopen(path.c_str(), "w"))
    , origin_(start)
    , levels_(kReleased)
{
    if (file_ == nullptr) {
        throw PortError("Cannot record the bus in " + path + ": " + std::strerror(errno) + ".");
    }
    std::fputs("$comment ZQ80415 I2C bus, levels after the drivers $end\n"
               "$timescale 1 ns $end\n"
               "$scope module bus $end\n"
               "$var wire 1 c SCL $end\n"
               "$var wire 1 d SDA $end\n"
               "$upscope $end\n"
               "$enddefinitions $end\n"
               "#0\n$dumpvars\n1c\n1d\n$end\n",
               file_);
    std::fflush(file_);
}

VcdRecorder::~VcdRecorder()
{
    close(I2cMonitor::now());
    std::fclose(file_);
}

// Timestamps only ever grow: a change that the clock puts at or before the latest one goes a
// nanosecond after it.
void VcdRecorder::stamp(I2cMonitor::Time when)
{
    stamped_ = std::max(stamped_ + 1, static_cast<long long>((when - origin_).count()));
    std::fprintf(file_, "#%lld\n", stamped_);
}

// A decoder sees a level only once time has passed after it: the last change, a stop
// condition as a rule, needs a timestamp of its own after it, at least one hold time later.
void VcdRecorder::close(I2cMonitor::Time when)
{
    stamp(std::max(when, origin_ + std::chrono::nanoseconds(stamped_) + kHoldFloor));
    std::fflush(file_);
}

void VcdRecorder::record(std::uint8_t portByte, I2cMonitor::Time when)
{
    const int levels = levelsOf(portByte);
    if (levels == levels_) {
        return;
    }
    stamp(when);
    if ((levels ^ levels_) & kScl) {
        std::fprintf(file_, "%dc\n", levels >> 1);
    }
    if ((levels ^ levels_) & kSda) {
        std::fprintf(file_, "%dd\n", levels & kSda);
    }
    levels_ = levels;
    // Each register write reaches the file, closed so that it decodes, once the bus is idle
    // again, so a run that is killed loses at most the write in progress.
    if (levels == kReleased) {
        close(when);
    }
}
