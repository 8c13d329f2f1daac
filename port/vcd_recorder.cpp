#include "vcd_recorder.h"

#include "hold_floor.h"
#include "inpout.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kScl = 2;
constexpr int kSda = 1;
constexpr int kReleased = kScl | kSda;
// A recording's reader may lag this far behind (a FIFO into a decoder) before it is given up.
constexpr std::size_t kWaitingBytes = 1024 * 1024;

int levelsOf(std::uint8_t portByte)
{
    return ((portByte & 0x40) == 0 ? kScl : 0) | ((portByte & 0x80) == 0 ? kSda : 0);
}

[[noreturn]] void refuse(const std::string &path, const std::string &why)
{
    throw PortError("Cannot record the bus in " + path + ": " + why + ".");
}

// The descriptor, locked against every other panel, or a PortError.
int openLocked(const std::string &path)
{
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        refuse(path, errno == ENXIO ? "it is a FIFO that nobody reads; start its reader first"
                                    : std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd, &status) < 0 || (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode))) {
        ::close(fd);
        refuse(path, "it is neither a regular file nor a FIFO");
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (S_ISREG(status.st_mode) && ::fcntl(fd, F_SETLK, &lock) < 0) {
        const int error = errno;
        ::fcntl(fd, F_GETLK, &lock);
        ::close(fd);
        if (error == EAGAIN || error == EACCES) {
            refuse(path, "another panel records there (pid " + std::to_string(lock.l_pid) +
                             "); choose another file, or stop that panel first");
        }
        refuse(path, std::strerror(error));
    }
    if (S_ISREG(status.st_mode) && ::ftruncate(fd, 0) < 0) {
        const int error = errno;
        ::close(fd);
        refuse(path, std::strerror(error));
    }
    return fd;
}

} // namespace

std::string VcdRecorder::problemWith(const std::string &path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) < 0) {
        return errno == ENOENT
                   ? std::string()
                   : "Cannot record the bus in " + path + ": " + std::strerror(errno) + ".";
    }
    if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
        return "Cannot record the bus in " + path + ": it is neither a regular file nor a FIFO.";
    }
    return {};
}

VcdRecorder::VcdRecorder(const std::string &path, I2cMonitor::Time start)
    : path_(path)
    , out_(std::in_place, openLocked(path), kWaitingBytes)
    , origin_(start)
    , levels_(kReleased)
{
    put("$comment ZQ80415 I2C bus, levels after the drivers $end\n"
        "$timescale 1 ns $end\n"
        "$scope module bus $end\n"
        "$var wire 1 c SCL $end\n"
        "$var wire 1 d SDA $end\n"
        "$upscope $end\n"
        "$enddefinitions $end\n"
        "#0\n$dumpvars\n1c\n1d\n$end\n");
}

VcdRecorder::~VcdRecorder()
{
    close(I2cMonitor::now());
    if (out_) {
        out_->drain(std::chrono::milliseconds(200));
        ::close(out_->descriptor());
    }
}

// The first failure stops the recording, said once with the file and the reason; the panel and
// its writes to the chip go on.
void VcdRecorder::put(const std::string &text)
{
    if (!out_) {
        return;
    }
    const UnblockedOutput::Outcome outcome = out_->put(text);
    if (outcome == UnblockedOutput::Outcome::Taken) {
        return;
    }
    const std::string why = outcome == UnblockedOutput::Outcome::Failed
                                ? std::strerror(out_->error())
                                : "its reader stopped reading";
    std::fprintf(stderr,
                 "zq80415-sim: the recording in %s failed: %s; the bus is no longer "
                 "recorded there.\n",
                 path_.c_str(), why.c_str());
    ::close(out_->descriptor());
    out_.reset();
}

// Timestamps only ever grow: a change that the clock puts at or before the latest one goes a
// nanosecond after it.
void VcdRecorder::stamp(I2cMonitor::Time when)
{
    stamped_ = std::max(stamped_ + 1, static_cast<long long>((when - origin_).count()));
    put("#" + std::to_string(stamped_) + "\n");
}

// A decoder sees a level only once time has passed after it: the last change, a stop
// condition as a rule, needs a timestamp of its own after it, at least one hold time later.
void VcdRecorder::close(I2cMonitor::Time when)
{
    stamp(std::max(when, origin_ + std::chrono::nanoseconds(stamped_) + kHoldFloor));
}

void VcdRecorder::record(std::uint8_t portByte, I2cMonitor::Time when)
{
    const int levels = levelsOf(portByte);
    if (levels == levels_) {
        return;
    }
    stamp(when);
    std::string change;
    if ((levels ^ levels_) & kScl) {
        change += std::to_string(levels >> 1) + "c\n";
    }
    if ((levels ^ levels_) & kSda) {
        change += std::to_string(levels & kSda) + "d\n";
    }
    put(change);
    levels_ = levels;
    // Each register write is closed so that it decodes once the bus is idle again, so a run
    // that is killed loses at most the write in progress.
    if (levels == kReleased) {
        close(when);
    }
}
