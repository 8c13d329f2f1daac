// What the front panel's HTTP server lets through, decided on a request's head before Qt's HTTP
// server or WebSocket server reads a byte of it: the few security rules of the page, in one
// place. The head is only split into its lines and fields; the request itself is parsed and
// answered by Qt's servers.
#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <functional>

// The names a request may give as its Host (and, as "http://HOST", its Origin): the address
// the server listens on, or for a wildcard any address of this machine; "localhost" when it
// serves loopback; the host name and HOST.local when it serves the network; each with the
// server's port (without it only for port 80).
class OwnNames {
public:
    OwnNames() = default;
    OwnNames(QHostAddress listening, quint16 port);

    bool host(const QByteArray &host) const;
    bool origin(const QByteArray &origin) const;
    // What lists this machine's addresses, for a wildcard listener (QNetworkInterface's).
    std::function<QList<QHostAddress>()> localAddresses;

private:
    bool address(const QHostAddress &named) const;

    QHostAddress listening_;
    quint16 port_ = 0;
};

struct Verdict {
    enum Kind { Incomplete, Http, Channel, Refused };
    Kind kind = Incomplete;
    int status = 0;       // with Refused: the HTTP status to answer
    QByteArray reason;    // with Refused: why, for the answer's body
    qsizetype length = 0; // with Http: the request's bytes, head and body
};

inline constexpr qsizetype kMaxRequestLine = 2048; // longer: 414
inline constexpr qsizetype kMaxHead = 8192;        // request line and fields; longer: 431
inline constexpr qsizetype kMaxBody = 1024;        // no request needs one; longer: 413

// The verdict on the bytes a connection has sent so far: its one request (a second one behind
// it is refused; each request comes on a connection of its own, as every answer closes it).
Verdict judge(const QByteArray &received, const OwnNames &names);

// The fields every answer carries: the page allows only its own resources and is never framed.
QList<QPair<QByteArray, QByteArray>> securityHeaders();
// A whole answer with `status` and `reason` as its text, for a request the gate refuses.
QByteArray refusal(int status, const QByteArray &reason);
