#include "portmapper.h"

#include "vxi11.h"

#include <QNetworkInterface>
#include <QTcpSocket>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpcb_clnt.h>

namespace {

std::atomic<bool> registered{false};

void withdraw()
{
    if (registered.exchange(false)) {
        rpcb_unset(DEVICE_CORE, DEVICE_CORE_VERSION, nullptr);
    }
}

// The entry for TCP `port` on every address. (pmap_set would do, but leaks the address it
// builds.)
bool enter(quint16 port)
{
    netconfig *tcp = getnetconfigent("tcp");
    if (tcp == nullptr) {
        return false;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    netbuf address{sizeof any, sizeof any, &any};
    const bool entered = rpcb_set(DEVICE_CORE, DEVICE_CORE_VERSION, tcp, &address) != 0;
    freenetconfigent(tcp);
    return entered;
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Whether something accepts connections at `port` on any of this host's addresses: the entry
// says only the port, and its holder may listen on one address alone.
bool answers(quint16 port)
{
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    return std::any_of(addresses.begin(), addresses.end(), [port](const QHostAddress &host) {
        QTcpSocket probe;
        probe.connectToHost(host, port);
        return probe.waitForConnected(1000);
    });
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
        rpcb_unset(DEVICE_CORE, DEVICE_CORE_VERSION, nullptr); // left by a program that died
    }
    static const bool withdrawalRegistered =
        std::at_quick_exit(withdraw) == 0 && std::atexit(withdraw) == 0;
    if (!withdrawalRegistered || !enter(port)) {
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
