#include "endpoint.h"

#include <QStringList>

#include <algorithm>

#include <sys/socket.h>

namespace {

// The PORT of `text`: 0..65535 in decimal digits, or -1.
int portNumber(const QString &text)
{
    bool number = false;
    const int value = text.toInt(&number);
    const bool digits = !text.isEmpty() &&
                        std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    return number && digits && value <= 65535 ? value : -1;
}

// Splits "[ADDRESS:]PORT" (an IPv6 ADDRESS in brackets) into its address and port texts.
QString split(const QString &given, QString &address, QString &port, const QString &option)
{
    if (given.startsWith(QLatin1Char('['))) {
        const qsizetype close = given.indexOf(QLatin1String("]:"));
        if (close < 0) {
            return QStringLiteral("%1 takes [ADDRESS]:PORT for an IPv6 address, not '%2'.")
                .arg(option, given);
        }
        address = given.mid(1, close - 1);
        port = given.mid(close + 2);
        return {};
    }
    const qsizetype colon = given.lastIndexOf(QLatin1Char(':'));
    address = colon < 0 ? QString() : given.left(colon);
    port = given.mid(colon + 1);
    if (address.contains(QLatin1Char(':'))) {
        return QStringLiteral("%1: write an IPv6 address in brackets, as [%2]:%3.")
            .arg(option, address, port);
    }
    return {};
}

// A v4-mapped network (::ffff:10.0.0.0/104) as the IPv4 one it names, which is how admits()
// sees every v4-mapped peer.
QPair<QHostAddress, int> asIpv4(const QPair<QHostAddress, int> &network)
{
    bool mapped = false;
    const quint32 ipv4 = network.first.toIPv4Address(&mapped);
    if (!mapped || network.first.protocol() != QAbstractSocket::IPv6Protocol ||
        network.second < 96) {
        return network;
    }
    return {QHostAddress(ipv4), network.second - 96};
}

QString readAllowed(const QString &allow, ScpiEndpoint &endpoint)
{
    for (const QString &network : allow.split(QLatin1Char(','))) {
        const auto subnet = QHostAddress::parseSubnet(network.trimmed());
        if (!network.contains(QLatin1Char('/')) || subnet.second < 0) {
            return QStringLiteral("--allow takes NETWORK/PREFIX[,...], such as 10.77.0.0/24, "
                                  "not '%1'.")
                .arg(network);
        }
        endpoint.allowed << asIpv4(subnet);
    }
    return {};
}

} // namespace

bool ScpiEndpoint::admits(QHostAddress peer) const
{
    bool mapped = false;
    const quint32 ipv4 = peer.toIPv4Address(&mapped);
    if (mapped) {
        peer = QHostAddress(ipv4); // a client reaching a wildcard :: from IPv4
    }
    return peer.isLoopback() ||
           std::any_of(allowed.begin(), allowed.end(),
                       [&](const QPair<QHostAddress, int> &net) { return peer.isInSubnet(net); });
}

QString readScpiEndpoint(const QString &given, const QString &allow, ScpiEndpoint &endpoint,
                         const QString &option)
{
    QString address;
    QString port;
    if (QString problem = split(given, address, port, option); !problem.isEmpty()) {
        return problem;
    }
    const int number = portNumber(port);
    if (number < 0) {
        return QStringLiteral("%1 takes [ADDRESS:]PORT with PORT 0 to 65535, not '%2'.")
            .arg(option, given);
    }
    endpoint.port = quint16(number);
    if (!address.isEmpty() && !endpoint.address.setAddress(address)) {
        return QStringLiteral("%1: '%2' is not an IP address (host names are not looked up).")
            .arg(option, address);
    }
    if (!allow.isNull()) {
        if (QString problem = readAllowed(allow, endpoint); !problem.isEmpty()) {
            return problem;
        }
    }
    if (!endpoint.address.isLoopback() && endpoint.allowed.isEmpty()) {
        return QStringLiteral("%1 %2 would serve clients beyond this machine: name the "
                              "networks they may come from with --allow NETWORK/PREFIX.")
            .arg(option, given);
    }
    return {};
}

QString readVxi11Port(const QString &given, ScpiEndpoint &endpoint)
{
    endpoint.vxi11Port = portNumber(given);
    return endpoint.vxi11Port < 0
               ? QStringLiteral("--vxi11 takes a PORT from 0 to 65535, not '%1'.").arg(given)
               : QString();
}

QHostAddress peerOf(int descriptor)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        return {};
    }
    return QHostAddress(reinterpret_cast<const sockaddr *>(&address));
}

QString shown(const QHostAddress &address, quint16 port)
{
    const QString host = address.toString();
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host) +
           QLatin1Char(':') + QString::number(port);
}
