#include "socket_tuning.h"

#include <cstdio>
#include <cstdlib>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

struct Keepalive {
    int idle = 60;     // seconds of silence before the first probe
    int interval = 10; // seconds between probes
    int count = 6;     // probes unanswered before the peer is taken for gone
};

Keepalive keepalive()
{
    static const Keepalive times = [] {
        Keepalive given;
        const char *text = std::getenv("ZQ_TCP_KEEPALIVE");
        if (text == nullptr ||
            std::sscanf(text, "%d,%d,%d", &given.idle, &given.interval, &given.count) != 3 ||
            given.idle < 1 || given.interval < 1 || given.count < 1) {
            return Keepalive{};
        }
        return given;
    }();
    return times;
}

void set(int descriptor, int level, int option, int value)
{
    ::setsockopt(descriptor, level, option, &value, sizeof value);
}

} // namespace

void tuneListeningSocket(int descriptor)
{
    set(descriptor, SOL_SOCKET, SO_RCVBUF, kClientReceiveBuffer);
}

void tuneClientSocket(int descriptor)
{
    set(descriptor, IPPROTO_TCP, TCP_NODELAY, 1);
    set(descriptor, SOL_SOCKET, SO_RCVBUF, kClientReceiveBuffer);
    const Keepalive times = keepalive();
    set(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1);
    set(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, times.idle);
    set(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, times.interval);
    set(descriptor, IPPROTO_TCP, TCP_KEEPCNT, times.count);
    // Keepalive probes only an idle connection; replies a vanished peer never acknowledges are
    // given up on after the same time.
    set(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT,
        1000 * (times.idle + times.interval * times.count));
    acknowledgeAtOnce(descriptor);
}

void acknowledgeAtOnce(int descriptor)
{
    set(descriptor, IPPROTO_TCP, TCP_QUICKACK, 1);
}
