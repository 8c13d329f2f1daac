#include "vcd_recorder.h"

#include "inpout.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr int kScl = 2;
constexpr int kSda = 1;

int levelsOf(std::uint8_t portByte)
{
    return ((portByte & 0x40) == 0 ? kScl : 0) | ((portByte & 0x80) == 0 ? kSda : 0);
}

} // namespace

VcdRecorder::VcdRecorder(const std::string &path)
    : file_(std::fopen(path.c_str(), "w"))
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
               "$enddefinitions $end\n",
               file_);
    std::fflush(file_);
}

VcdRecorder::~VcdRecorder()
{
    std::fclose(file_);
}

void VcdRecorder::record(std::uint8_t portByte, I2cMonitor::Time when)
{
    const int levels = levelsOf(portByte);
    if (levels_ < 0) {
        origin_ = when;
        std::fprintf(file_, "#0\n$dumpvars\n%dc\n%dd\n$end\n", levels >> 1, levels & kSda);
    } else if (levels != levels_) {
        std::fprintf(file_, "#%lld\n", static_cast<long long>((when - origin_).count()));
        if ((levels ^ levels_) & kScl) {
            std::fprintf(file_, "%dc\n", levels >> 1);
        }
        if ((levels ^ levels_) & kSda) {
            std::fprintf(file_, "%dd\n", levels & kSda);
        }
    }
    // Each register write reaches the file once the bus is idle again, so a run that is killed
    // loses at most the write in progress.
    if (levels == (kScl | kSda) && levels_ != levels) {
        std::fflush(file_);
    }
    levels_ = levels;
}
