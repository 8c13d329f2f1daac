// The front panel in a browser: an HTTP server (Qt's) for the page, its style and script and
// the LXI identification document, and the page's channel, a WebSocket at /channel (Qt's),
// which carries the window's state out and the page's commands in (pages.h). Every connection
// passes the gate (gate.h) before either server reads it; one from outside the --allow
// networks, or beyond kMaxConnections, is closed unread and noted on stderr. A connection that
// is not a page is closed after its one answer, or after kHttpTimeoutMs.
#pragma once

#include "gate.h"
#include "identity.h"
#include "pages.h"
#include "scpi/endpoint.h"

#include <QTcpServer>
#include <QWebSocketServer>

class QHttpServer;
class QTcpSocket;

// The listening socket: each connection it accepts waits at the gate, then goes on to the
// HTTP server, which takes it from here as from any QTcpServer, or to the channel's server.
class HttpListener : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    std::function<void(qintptr descriptor)> adopt;
    void handOver(QTcpSocket *socket) { addPendingConnection(socket); }

protected:
    void incomingConnection(qintptr descriptor) override { adopt(descriptor); }
};

class WebServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxConnections = 64; // connections not (yet) pages
    static constexpr int kHttpTimeoutMs = 10000;

    // `identity`: the board as *IDN? gives it, which the page and the LXI document show.
    WebServer(QWidget &window, const BoardIdentity &identity);
    ~WebServer() override;

    // Listens at `endpoint` and announces the page's address on stderr; false, with `problem`
    // saying why, when it cannot.
    bool listen(const ScpiEndpoint &endpoint, QString &problem);
    quint16 port() const { return listener_->serverPort(); }
    // The other transports that run, for the resource strings the page and the document list.
    void setTransports(const std::optional<ScpiEndpoint> &scpi, quint16 scpiPort);

    // The port failed with `what`: every page hears of it before this returns.
    void portFailing(const QString &what) { pages_.portFailing(what); }

private:
    void adopt(qintptr descriptor);
    void gate(QTcpSocket *socket);
    void passed(QTcpSocket *socket, const Verdict &verdict);
    void note(const QString &text) const;

    Identity identity_;
    ScpiEndpoint endpoint_;
    OwnNames names_;
    QHttpServer *http_;
    HttpListener *listener_; // owned by http_
    QWebSocketServer channels_;
    Pages pages_;
    int sockets_ = 0; // connections open, pages included
};
