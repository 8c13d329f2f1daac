// The SCPI server: the panel as an instrument on the lab's network, one TCP connection a
// client, each with its own error queue and status registers; and beside it, when asked, the
// same instrument through VXI-11's core channel. Clients outside the allowed networks, and any
// beyond kMaxConnections on the raw port, are closed before anything they sent is read; beyond
// the cap on VXI-11, create_link is refused with VXI-11's "out of resources".
#pragma once

#include "endpoint.h"
#include "instrument.h"
#include "vxi11_core.h"

#include <QList>
#include <QTcpServer>

#include <functional>

class Session;

// QTcpServer that hands each accepted descriptor over instead of wrapping it in a QTcpSocket.
class DescriptorListener : public QTcpServer {
public:
    std::function<void(qintptr descriptor)> adopt;

protected:
    void incomingConnection(qintptr descriptor) override { adopt(descriptor); }
};

class ScpiServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxConnections = 16;

    // `identity`: the board as *IDN? gives it.
    ScpiServer(QWidget &window, const BoardIdentity &identity);
    ~ScpiServer() override;

    // Listens at the endpoint (and serves VXI-11 there when it names a port for it) and says so
    // on stderr; false, with `problem` saying why (another program has the port, say), when it
    // cannot.
    bool listen(const ScpiEndpoint &endpoint, QString &problem);
    // The port it listens on (the one the kernel chose, for port 0).
    quint16 port() const { return listener_.serverPort(); }
    quint16 vxi11Port() const { return coreListener_.serverPort(); }

    // The panel can no longer reach the chip (`what`: the failure's first line): every
    // client's QUEStionable condition says so, and every setting from now on is refused with
    // -240. Messages already sent are answered before this returns, as the program may end
    // right after.
    void portFailing(const QString &what);

private:
    // VXI-11's core channel, registered with the portmapper while the panel runs.
    bool serveVxi11(QString &problem);
    bool admits(int descriptor, int connected, const QString &service) const;
    void adopt(qintptr descriptor);
    void note(const QString &text) const;

    Instrument instrument_;
    ScpiEndpoint endpoint_;
    DescriptorListener listener_;
    QList<Session *> sessions_;
    DescriptorListener coreListener_;
    Vxi11Core core_;
};
