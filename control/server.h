// The control socket: a local socket that scripts of the same user connect to, one command a
// line, one reply a line. It only parses and checks; each command drives the window's own
// controls (commands.h). Commands of every client run one at a time in arrival order, each
// whole before the next starts, with the window's own events in between; a client that
// floods, sends garbage, never reads or goes away mid-line costs the others nothing.
#pragma once

#include "listener.h"

#include <QHash>
#include <QPointer>
#include <QTimer>

#include <deque>

class Connection;
class QWidget;

class ControlServer : public QObject {
    Q_OBJECT

public:
    explicit ControlServer(QWidget &window);
    ~ControlServer() override;

    // Listens at `path` (listener.h); false when it cannot, and `problem` says why.
    bool listen(const QString &path, QString &problem);

    // Clients connected at once at most: 256, or half the descriptor limit when that is
    // lower, leaving the window and the port theirs. One more is answered with an error line
    // and closed.
    static int maxClients();

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

    void adopt(int descriptor);
    void take(Connection *client);
    void runNext();

    QWidget &window_;
    Listener listener_;
    QHash<Connection *, int> queued_; // each client's lines waiting in queue_
    std::deque<Pending> queue_;
    QTimer next_;
    bool running_ = false;
    QPointer<Connection> current_; // the client whose command runs now
    QByteArray failure_;           // the reply to everything once the port has failed
    bool refusing_ = false;        // a client beyond the cap was reported, until one is taken
};
