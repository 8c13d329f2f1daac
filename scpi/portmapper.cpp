#include "portmapper.h"

#include "vxi11.h"

#include <atomic>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<bool> registered{false};

void withdraw()
{
    if (registered.exchange(false)) {
        pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
    }
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Whether something accepts connections at `port` on this host.
bool answers(quint16 port)
{
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

} // namespace

bool registerCoreChannel(quint16 port, QString &problem)
{
    sockaddr_in portmapper = loopback(PMAPPORT);
    const u_short held = pmap_getport(&portmapper, DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP);
    if (held == 0 && rpc_createerr.cf_stat != RPC_PROGNOTREGISTERED) {
        problem = QStringLiteral("no portmapper answers on this host, so VXI-11 clients could not "
                                 "find the panel. Start it (sudo systemctl start rpcbind) or "
                                 "leave out --vxi11.");
        return false;
    }
    if (held != 0 && answers(held)) {
        problem = QStringLiteral("another program serves VXI-11 on this host, on TCP port %1 "
                                 "(rpcinfo -p lists it); one panel a host can. End it, or use "
                                 "--scpi alone.")
                      .arg(held);
        return false;
    }
    if (held != 0) {
        pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION); // left by a program that died
    }
    static const bool withdrawalRegistered =
        std::at_quick_exit(withdraw) == 0 && std::atexit(withdraw) == 0;
    if (!withdrawalRegistered || !pmap_set(DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, port)) {
        problem =
            QStringLiteral("the portmapper refused the VXI-11 entry for TCP port %1.").arg(port);
        return false;
    }
    registered = true;
    return true;
}

void withdrawCoreChannel()
{
    withdraw();
}
