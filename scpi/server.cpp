#include "server.h"

#include "control/connection.h"
#include "data_register.h"
#include "session.h"

#include <cstdio>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

} // namespace

ScpiServer::ScpiServer(QWidget &window, const QByteArray &serial)
    : instrument_(window, serial)
{
    listener_.adopt = [this](qintptr descriptor) { adopt(descriptor); };
}

ScpiServer::~ScpiServer()
{
    qDeleteAll(sessions_);
}

bool ScpiServer::listen(const ScpiEndpoint &endpoint, QString &problem)
{
    endpoint_ = endpoint;
    if (!listener_.listen(endpoint.address, endpoint.port)) {
        problem = QStringLiteral("cannot listen for SCPI on %1: %2.")
                      .arg(shown(endpoint.address, endpoint.port), listener_.errorString());
        return false;
    }
    note(QStringLiteral("SCPI on %1, at most %2 connections.")
             .arg(shown(endpoint.address, listener_.serverPort()))
             .arg(kMaxConnections));
    return true;
}

QString ScpiServer::instanceName() const
{
    const QList<QByteArray> fields = instrument_.identity.split(',');
    return QString::fromUtf8(fields.value(1) + ' ' + fields.value(2));
}

void ScpiServer::note(const QString &text) const
{
    std::fprintf(stderr, "%s: %s\n", linkedPort().program, text.toLocal8Bit().constData());
}

void ScpiServer::adopt(qintptr descriptor)
{
    const int socket = int(descriptor);
    const QHostAddress peer = peerOf(socket);
    if (!endpoint_.admits(peer) || sessions_.size() >= kMaxConnections) {
        note(QStringLiteral("SCPI: closed a connection from %1: %2.")
                 .arg(peer.toString(),
                      endpoint_.admits(peer)
                          ? QStringLiteral("%1 clients are connected already").arg(kMaxConnections)
                          : QStringLiteral("not in the --allow networks")));
        ::close(socket);
        return;
    }
    const int on = 1; // a response goes out at once, not held for more
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto *session = new Session(new Connection(socket, nullptr), instrument_, this);
    if (instrument_.failed()) {
        session->status.questionable.setCondition(kPortFailedBit);
    }
    sessions_ << session;
    connect(session, &Session::finished, this, [this](Session *gone) {
        sessions_.removeOne(gone);
        gone->deleteLater();
    });
}

void ScpiServer::portFailing(const QString &what)
{
    instrument_.portFailing(what.toUtf8());
    const QList<Session *> sessions = sessions_; // one that finishes leaves the list
    for (Session *session : sessions) {
        session->status.questionable.setCondition(session->status.questionable.condition |
                                                  kPortFailedBit);
    }
    for (Session *session : sessions) {
        session->serve();
    }
}
