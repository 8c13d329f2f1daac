#include "server.h"

#include "control/socket_tuning.h"
#include "data_register.h"
#include "gate.h"

#include <QFile>
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

// The page's resources, compiled in: path, resource, type.
struct Resource {
    const char *path;
    const char *file;
    const char *type;
};
constexpr Resource kResources[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/panel.css", ":/web/panel.css", "text/css; charset=utf-8"},
    {"/panel.js", ":/web/panel.js", "text/javascript; charset=utf-8"},
};
constexpr const char *kIdentification = "/lxi/identification";
constexpr int kPageSendBuffer = 32768; // bytes; the kernel doubles it

QHttpServerResponse withHeaders(QHttpServerResponse &&response)
{
    for (const auto &[name, value] : securityHeaders()) {
        response.setHeader(name, value);
    }
    return std::move(response);
}

// The resource's answer to GET, or to HEAD its fields alone, with the length GET would give.
void answer(const QHttpServerRequest &request, QHttpServerResponder &&responder,
            const QByteArray &type, const QByteArray &body)
{
    if (request.method() != QHttpServerRequest::Method::Head) {
        withHeaders(QHttpServerResponse(type, body)).write(std::move(responder));
        return;
    }
    responder.writeStatusLine();
    for (const auto &[name, value] : securityHeaders()) {
        responder.writeHeader(name, value);
    }
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(QByteArray());
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

} // namespace

WebServer::WebServer(QWidget &window, const QByteArray &identity)
    : http_(new QHttpServer(this))
    , listener_(new HttpListener)
    , channels_(QString(), QWebSocketServer::NonSecureMode)
    , pages_(window, [this] { return identity_.message(); })
{
    identity_.idn = identity;
    listener_->adopt = [this](qintptr descriptor) { adopt(descriptor); };
    connect(&channels_, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *socket = channels_.nextPendingConnection()) {
            pages_.add(socket);
        }
    });
    route();
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

void WebServer::route()
{
    const auto reads = QHttpServerRequest::Method::Get | QHttpServerRequest::Method::Head;
    for (const Resource &resource : kResources) {
        http_->route(resource.path, reads,
                     [resource](const QHttpServerRequest &request, QHttpServerResponder &&out) {
                         QFile file(QString::fromLatin1(resource.file));
                         file.open(QIODevice::ReadOnly);
                         answer(request, std::move(out), resource.type, file.readAll());
                     });
    }
    http_->route(kIdentification, reads,
                 [this](const QHttpServerRequest &request, QHttpServerResponder &&out) {
                     answer(request, std::move(out), "text/xml; charset=utf-8",
                            identity_.lxiDocument());
                 });
    http_->afterRequest(
        [](QHttpServerResponse &&response) { return withHeaders(std::move(response)); });
    http_->setMissingHandler(
        [](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            const QString path = request.url().path();
            const bool known = path == QLatin1String(kIdentification) ||
                               std::any_of(std::begin(kResources), std::end(kResources),
                                           [&](const Resource &r) { return path == r.path; });
            QHttpServerResponse response("text/plain; charset=utf-8",
                                         known ? "only GET and HEAD are answered here\n"
                                               : "not found\n",
                                         known ? QHttpServerResponse::StatusCode::MethodNotAllowed
                                               : QHttpServerResponse::StatusCode::NotFound);
            if (known) {
                response.setHeader("Allow", "GET, HEAD");
            }
            withHeaders(std::move(response)).write(std::move(responder));
        });
}
