// The control socket: a local socket that scripts of the same user connect to, one command a
// line, one reply a line. It only parses and checks; each command drives the window's own
// controls (commands.h). Commands of every client run one at a time in arrival order, each
// whole before the next starts, with the window's own events in between; a client that
// floods, sends garbage or goes away mid-line costs the others nothing.
#pragma once

#include <QHash>
#include <QLocalServer>
#include <QPointer>
#include <QTimer>

#include <deque>

class QLocalSocket;
class QWidget;

class ControlServer : public QObject {
    Q_OBJECT

public:
    explicit ControlServer(QWidget &window);
    ~ControlServer() override;

    // Listens at `path`, readable and writable by this user only. A socket file there that no
    // panel answers on is left from a killed run and is replaced; one a live panel answers on
    // is not: then false, and `problem` says so.
    bool listen(const QString &path, QString &problem);

private:
    struct Client {
        int queued = 0;          // its lines waiting in the queue
        bool discarding = false; // inside a line too long to take: skipping to its end
    };
    struct Pending {
        QPointer<QLocalSocket> from;
        QByteArray line;
    };

    void accept();
    void take(QLocalSocket *socket);
    void runNext();
    void forget(QLocalSocket *socket);

    QWidget &window_;
    QLocalServer server_;
    QHash<QLocalSocket *, Client> clients_;
    std::deque<Pending> queue_;
    QTimer next_;
    bool running_ = false;
};
