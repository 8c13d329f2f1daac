// The control socket: a local socket that scripts of the same user connect to, one command a
// line, one reply a line. It only parses and checks; each command drives the window's own
// controls (commands.h). Commands of every client run one at a time in arrival order, each
// whole before the next starts, with the window's own events in between; a client that
// floods, sends garbage, never reads or goes away mid-line costs the others nothing.
#pragma once

#include <QHash>
#include <QLocalServer>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

class Connection;
class QWidget;

// QLocalServer that hands each accepted connection's descriptor over instead of wrapping it in
// a QLocalSocket, which would close the connection when the client shuts its sending side.
class DescriptorServer : public QLocalServer {
public:
    std::function<void(int descriptor)> adopt;

protected:
    void incomingConnection(quintptr descriptor) override { adopt(int(descriptor)); }
};

class ControlServer : public QObject {
    Q_OBJECT

public:
    explicit ControlServer(QWidget &window);
    ~ControlServer() override;

    // Listens at `path`, readable and writable by this user only. A socket file there that no
    // panel answers on is left from a killed run and is replaced; one a live panel answers on
    // is not: then false, and `problem` says so.
    bool listen(const QString &path, QString &problem);

    // The panel can no longer reach the chip (`what`: the port failure's first line): from now
    // on every command, `state` included, is answered with it at once and none runs. The
    // command that met the failure gets it first. Replies go out before this returns, as the
    // program may end right after.
    void portFailing(const QString &what);

private:
    struct Pending {
        QPointer<Connection> from;
        QByteArray line;
    };

    void take(Connection *client);
    void runNext();

    QWidget &window_;
    DescriptorServer server_;
    QHash<Connection *, int> queued_; // each client's lines waiting in queue_
    std::deque<Pending> queue_;
    QTimer next_;
    bool running_ = false;
    QPointer<Connection> current_; // the client whose command runs now
    QByteArray failure_;           // the reply to everything once the port has failed
};
