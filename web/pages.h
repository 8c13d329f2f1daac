// The pages open on the panel, each on its channel (a WebSocket): every page gets the window's
// state on connect and after every change, whoever made it (the window, a script, SCPI,
// VXI-11, another page), and a port failure; each line a page sends is a control-socket
// command (control/commands.h) run on the window's own controls, one at a time in arrival
// order across all pages, with the window's events in between. A page that does not read
// falls behind alone: while kMaxUnsent bytes wait for it, it misses states and then gets the
// latest; one that sends commands faster than they run has at most kMaxQueuedPerPage waiting,
// and one that answers no ping for kPingMs is closed.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

class QWebSocket;
class QWidget;

class Pages : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxPages = 64;
    static constexpr int kMaxQueuedPerPage = 256;
    static constexpr qint64 kMaxUnsent = 65536;
    static constexpr int kPingMs = 30000;

    // `identity`: the message each page gets first.
    Pages(QWidget &window, std::function<QJsonObject()> identity);
    ~Pages() override;

    bool full() const { return pages_.size() >= kMaxPages; }
    int count() const { return int(pages_.size()); }
    // Takes `socket`, a page's channel that has just opened.
    void add(QWebSocket *socket);
    // The port failed with `what`: every page hears of it before this returns, and no command
    // runs from now on.
    void portFailing(const QString &what);

private:
    struct Page {
        int queued = 0;       // its commands in queue_
        bool behind = false;  // it missed a state while too much was unsent to it
        bool answered = true; // it answered the last ping
    };
    struct Command {
        QPointer<QWebSocket> from;
        QByteArray line;
    };

    void watchControls();
    void take(QWebSocket *socket, const QString &line);
    void runNext();
    void pushState();
    void send(QWebSocket *socket, const QJsonObject &message);
    void sendState(QWebSocket *socket, const QString &message);
    void caughtUp(QWebSocket *socket);
    void ping();
    void drop(QWebSocket *socket);

    QWidget &window_;
    std::function<QJsonObject()> identity_;
    QHash<QWebSocket *, Page> pages_;
    std::deque<Command> queue_;
    QTimer next_;    // runs the next command once the window's events are done
    QTimer changed_; // pushes the state once the change's events are done
    QTimer pinger_;
    QByteArray lastState_; // the state message last pushed
    QString failure_;
    bool running_ = false; // a command runs now
};
