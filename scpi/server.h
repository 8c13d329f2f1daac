// The SCPI server: the panel as an instrument on the lab's network, one TCP connection a
// client, each with its own error queue and status registers. Clients outside the allowed
// networks, and any beyond kMaxConnections, are closed before anything they sent is read.
#pragma once

#include "endpoint.h"
#include "instrument.h"

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

    // `serial`: the board's device, as *IDN? names it.
    ScpiServer(QWidget &window, const QByteArray &serial);
    ~ScpiServer() override;

    // Listens at the endpoint and says so on stderr; false, with `problem` saying why (another
    // program has the port, say), when it cannot.
    bool listen(const ScpiEndpoint &endpoint, QString &problem);
    // The port it listens on (the one the kernel chose, for port 0).
    quint16 port() const { return listener_.serverPort(); }
    // What DNS-SD lists the panel as: *IDN?'s model and the board's device, "ZQ80415 simulated".
    QString instanceName() const;

    // The panel can no longer reach the chip (`what`: the failure's first line): every
    // client's QUEStionable condition says so, and every setting from now on is refused with
    // -240. Messages already sent are answered before this returns, as the program may end
    // right after.
    void portFailing(const QString &what);

private:
    void adopt(qintptr descriptor);
    void note(const QString &text) const;

    Instrument instrument_;
    ScpiEndpoint endpoint_;
    DescriptorListener listener_;
    QList<Session *> sessions_;
};
