#include "server.h"

#include "control/socket_tuning.h"
#include "data_register.h"
#include "gate.h"
#include "routes.h"

#include <QHttpServer>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <cstdio>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPageSendBuffer = 32768; // bytes; the kernel doubles it

} // namespace

WebServer::WebServer(QWidget &window, const BoardIdentity &identity)
    : http_(new QHttpServer(this))
    , listener_(new HttpListener(http_))
    , channels_(QString(), QWebSocketServer::NonSecureMode)
    , pages_(window, [this] { return identity_.message(); })
{
    identity_.board = identity;
    listener_->adopt = [this](qintptr descriptor) { adopt(descriptor); };
    connect(&channels_, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *socket = channels_.nextPendingConnection()) {
            pages_.add(socket);
        }
    });
    routePage(*http_, identity_);
}

WebServer::~WebServer() = default;

bool WebServer::listen(const ScpiEndpoint &endpoint, QString &problem)
{
    endpoint_ = endpoint;
    if (!listener_->listen(endpoint.address, endpoint.port)) {
        problem = QStringLiteral("cannot listen for the page on %1: %2.")
                      .arg(shown(endpoint.address, endpoint.port), listener_->errorString());
        return false;
    }
    tuneListeningSocket(int(listener_->socketDescriptor()));
    http_->bind(listener_);
    names_ = OwnNames(endpoint.address, port());
    identity_.addresses.clear();
    for (const QString &host : reachedAt(endpoint.address)) {
        identity_.addresses << QStringLiteral("http://%1:%2/").arg(host).arg(port());
    }
    note(QStringLiteral("the front panel page on http://%1/, at most %2 pages and %3 other "
                        "connections.")
             .arg(shown(endpoint.address, port()))
             .arg(Pages::kMaxPages)
             .arg(kMaxConnections));
    return true;
}

void WebServer::setTransports(const std::optional<ScpiEndpoint> &scpi, quint16 scpiPort)
{
    identity_.resources.clear();
    if (!scpi) {
        return;
    }
    for (const QString &host : reachedAt(scpi->address)) {
        if (scpi->vxi11Port >= 0) {
            identity_.resources << QStringLiteral("TCPIP::%1::INSTR").arg(host);
        }
        identity_.resources << QStringLiteral("TCPIP::%1::%2::SOCKET").arg(host).arg(scpiPort);
    }
}

void WebServer::note(const QString &text) const
{
    std::fprintf(stderr, "%s: %s\n", linkedPort().program, text.toLocal8Bit().constData());
}

// A client outside the allowed networks, or beyond the cap, is closed before it is read.
void WebServer::adopt(qintptr descriptor)
{
    const QHostAddress peer = peerOf(int(descriptor));
    const int waiting = sockets_ - pages_.count();
    if (!endpoint_.admits(peer) || waiting >= kMaxConnections) {
        note(QStringLiteral("page: closed a connection from %1: %2.")
                 .arg(peer.toString(),
                      endpoint_.admits(peer)
                          ? QStringLiteral("%1 connections are open already").arg(kMaxConnections)
                          : QStringLiteral("not in the --allow networks")));
        ::close(int(descriptor));
        return;
    }
    tuneClientSocket(int(descriptor));
    auto *socket = new QTcpSocket(listener_);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(int(descriptor));
        delete socket;
        return;
    }
    ++sockets_;
    connect(socket, &QObject::destroyed, this, [this] { --sockets_; });
    gate(socket);
}

// Reads the request's head as it comes, without taking it from the socket, until the gate
// decides; a connection that has not been answered and closed in kHttpTimeoutMs is cut.
void WebServer::gate(QTcpSocket *socket)
{
    socket->setReadBufferSize(kMaxHead + kMaxBody);
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
    deadline->start(kHttpTimeoutMs);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto reading = std::make_shared<QMetaObject::Connection>();
    *reading = connect(socket, &QTcpSocket::readyRead, this, [this, socket, reading] {
        const Verdict verdict = judge(socket->peek(kMaxHead + kMaxBody + 1), names_);
        if (verdict.kind == Verdict::Refused) {
            disconnect(*reading);
            socket->write(refusal(verdict.status, verdict.reason));
            socket->disconnectFromHost();
        } else if (verdict.kind != Verdict::Incomplete) {
            disconnect(*reading);
            passed(socket, verdict);
        }
    });
}

// The request goes on to the server that answers it. A plain request's connection closes once
// the answer is out; anything more it sends cuts it.
void WebServer::passed(QTcpSocket *socket, const Verdict &verdict)
{
    if (verdict.kind == Verdict::Channel) {
        if (pages_.full()) {
            socket->write(
                refusal(503, QByteArray::number(Pages::kMaxPages) + " pages are open already"));
            socket->disconnectFromHost();
            return;
        }
        delete socket->findChild<QTimer *>(); // the handshake has a timeout of its own
        // What a page does not read waits in a bounded kernel buffer, beyond which it misses
        // states (pages.h) rather than holding them all.
        const int buffer = kPageSendBuffer;
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_SNDBUF, &buffer,
                     sizeof buffer);
        disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        channels_.handleConnection(socket);
        return;
    }
    auto handedOver = std::make_shared<bool>(false);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, handedOver] {
        if (*handedOver) { // before the HTTP server reads it: a second request
            disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            socket->abort();
        }
    });
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0) {
            socket->disconnectFromHost();
        }
    });
    listener_->handOver(socket);
    Q_EMIT socket->readyRead(); // what the gate let through is waiting already
    *handedOver = true;
}
