#include "server.h"

#include "control/connection.h"
#include "control/socket_tuning.h"
#include "data_register.h"
#include "portmapper.h"
#include "session.h"

#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The address to listen at: the IPv6 wildcard takes IPv4 clients too (as v4-mapped peers).
QHostAddress listening(const QHostAddress &address)
{
    return address == QHostAddress::AnyIPv6 ? QHostAddress(QHostAddress::Any) : address;
}

bool listenTuned(QTcpServer &listener, const QHostAddress &address, quint16 port)
{
    if (!listener.listen(listening(address), port)) {
        return false;
    }
    tuneListeningSocket(int(listener.socketDescriptor()));
    return true;
}

} // namespace

ScpiServer::ScpiServer(QWidget &window, const BoardIdentity &identity)
    : instrument_(window, identity)
    , core_(instrument_, nullptr)
{
    listener_.adopt = [this](qintptr descriptor) { adopt(descriptor); };
    // Beyond the cap a VXI-11 client is still answered, its create_link refused with VXI-11's
    // own error, up to as many again; only then is it closed unread.
    coreListener_.adopt = [this](qintptr descriptor) {
        const bool withinCap = core_.channels() < kMaxConnections;
        if (admits(int(descriptor), withinCap ? 0 : core_.turnedAway(), QStringLiteral("VXI-11"))) {
            core_.adopt(int(descriptor), withinCap);
        }
    };
}

ScpiServer::~ScpiServer()
{
    qDeleteAll(sessions_);
    withdrawCoreChannel();
}

bool ScpiServer::listen(const ScpiEndpoint &endpoint, QString &problem)
{
    endpoint_ = endpoint;
    if (!listenTuned(listener_, endpoint.address, endpoint.port)) {
        problem = QStringLiteral("cannot listen for SCPI on %1: %2.")
                      .arg(shown(endpoint.address, endpoint.port), listener_.errorString());
        return false;
    }
    note(QStringLiteral("SCPI on %1, at most %2 connections.")
             .arg(shown(endpoint.address, listener_.serverPort()))
             .arg(kMaxConnections));
    return endpoint.vxi11Port < 0 || serveVxi11(problem);
}

void ScpiServer::note(const QString &text) const
{
    std::fprintf(stderr, "%s: %s\n", linkedPort().program, text.toLocal8Bit().constData());
}

bool ScpiServer::serveVxi11(QString &problem)
{
    if (!listenTuned(coreListener_, endpoint_.address, quint16(endpoint_.vxi11Port))) {
        problem = QStringLiteral("cannot listen for VXI-11 on %1: %2.")
                      .arg(shown(endpoint_.address, quint16(endpoint_.vxi11Port)),
                           coreListener_.errorString());
        return false;
    }
    if (!registerCoreChannel(coreListener_.serverPort(), problem)) {
        coreListener_.close();
        return false;
    }
    note(QStringLiteral("VXI-11 on %1 (TCPIP::HOST::INSTR, device inst0), at most %2 "
                        "connections and %3 links.")
             .arg(shown(endpoint_.address, coreListener_.serverPort()))
             .arg(kMaxConnections)
             .arg(Vxi11Core::kMaxLinks));
    return true;
}

// Whether a client of `service` may stay: it is inside the allowed networks and under the cap
// of the `connected` it would join. One that may not is closed, unread, and noted.
bool ScpiServer::admits(int descriptor, int connected, const QString &service) const
{
    const QHostAddress peer = peerOf(descriptor);
    if (!endpoint_.admits(peer) || connected >= kMaxConnections) {
        note(QStringLiteral("%1: closed a connection from %2: %3.")
                 .arg(service, peer.toString(),
                      endpoint_.admits(peer)
                          ? QStringLiteral("%1 clients are connected already").arg(kMaxConnections)
                          : QStringLiteral("not in the --allow networks")));
        ::close(descriptor);
        return false;
    }
    tuneClientSocket(descriptor);
    return true;
}

void ScpiServer::adopt(qintptr descriptor)
{
    const int socket = int(descriptor);
    if (!admits(socket, int(sessions_.size()), QStringLiteral("SCPI"))) {
        return;
    }
    auto *session = new Session(new Connection(socket, nullptr), instrument_, this);
    if (instrument_.failed()) {
        session->interpreter.status.questionable.setCondition(kPortFailedBit);
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
        session->interpreter.status.questionable.setCondition(
            session->interpreter.status.questionable.condition | kPortFailedBit);
    }
    for (Session *session : sessions) {
        session->serve();
    }
    core_.portFailing();
}
