#include "unblocked_output.h"

#include <algorithm>
#include <cerrno>

#include <limits.h>
#include <poll.h>
#include <unistd.h>

UnblockedOutput::UnblockedOutput(int descriptor, std::size_t bound)
    : descriptor_(descriptor)
    , bound_(bound)
{
}

UnblockedOutput::Outcome UnblockedOutput::put(std::string_view bytes)
{
    if (error_ != 0) {
        return Outcome::Failed;
    }
    writeWhatFits();
    if (error_ != 0) {
        return Outcome::Failed;
    }
    if (waiting_.size() + bytes.size() > bound_) {
        return Outcome::Refused;
    }
    waiting_.append(bytes);
    writeWhatFits();
    return error_ != 0 ? Outcome::Failed : Outcome::Taken;
}

// Only when poll says the descriptor is writable, and then at most PIPE_BUF bytes at a time: a
// pipe that polls writable has that much room, so the write cannot block even on a descriptor
// shared with others in blocking mode (a terminal, a shell's pipe).
void UnblockedOutput::writeWhatFits()
{
    while (!waiting_.empty() && error_ == 0) {
        pollfd ready{descriptor_, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, 0);
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0 || (ready.revents & (POLLOUT | POLLERR | POLLHUP)) == 0) {
            return;
        }
        const std::size_t chunk = std::min<std::size_t>(waiting_.size(), PIPE_BUF);
        const ssize_t written = ::write(descriptor_, waiting_.data(), chunk);
        if (written > 0) {
            waiting_.erase(0, static_cast<std::size_t>(written));
        } else if (written < 0 && errno != EINTR && errno != EAGAIN) {
            error_ = errno;
        } else if (written == 0 || errno == EAGAIN) {
            return;
        }
    }
}

void UnblockedOutput::drain(std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!waiting_.empty() && error_ == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        pollfd ready{descriptor_, POLLOUT, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        writeWhatFits();
    }
}

std::size_t UnblockedOutput::waitingLines() const
{
    return static_cast<std::size_t>(std::count(waiting_.begin(), waiting_.end(), '\n'));
}
