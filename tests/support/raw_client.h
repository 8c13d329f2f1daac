// A control-socket client on a bare socket, as a shell script with socat or nc is: it writes
// whatever it is given, may shut its sending side, and reads only when told to, so a test can
// play a client that floods, never reads or finishes sending before its replies come.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class RawClient {
public:
    explicit RawClient(const QString &path)
        : descriptor_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
        connected_ = ::connect(descriptor_, reinterpret_cast<const sockaddr *>(&address),
                               sizeof address) == 0;
    }
    ~RawClient() { ::close(descriptor_); }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool connected() const { return connected_; }
    // Queues bytes to send; they go out as the socket takes them, in pump().
    void write(const QByteArray &bytes) { unsent_ += bytes; }
    // Shuts the sending side once everything queued is out.
    void shutWhenSent() { shutting_ = true; }
    // Sends what the socket takes now; true once nothing waits to be sent.
    bool pump()
    {
        const ssize_t sent = unsent_.isEmpty() ? 0
                                               : ::send(descriptor_, unsent_.constData(),
                                                        std::size_t(unsent_.size()), MSG_NOSIGNAL);
        unsent_.remove(0, sent > 0 ? sent : 0);
        if (unsent_.isEmpty() && shutting_) {
            ::shutdown(descriptor_, SHUT_WR);
            shutting_ = false;
        }
        return unsent_.isEmpty();
    }
    // Keeps sending and reads everything until the panel closes the connection.
    bool readToEnd()
    {
        return runUntil([&] { return pump() && receive() == 0; });
    }
    // Keeps sending and reads until `lines` complete lines have come.
    bool readLines(int lines)
    {
        return runUntil([&] {
            pump();
            receive();
            return received.count('\n') >= lines;
        });
    }
    // Runs the event loop flat out (QTest::qWaitFor sleeps between rounds, which would
    // throttle the panel to a hundred commands a second) until `done`, or false after `ms`.
    template <class Done> static bool runUntil(Done done, int ms = 10000)
    {
        const QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired()) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    QByteArray received;

private:
    // Reads what has come; 0 once the other side has closed.
    ssize_t receive()
    {
        char buffer[65536];
        const ssize_t got = ::recv(descriptor_, buffer, sizeof buffer, 0);
        received.append(buffer, got > 0 ? got : 0);
        return got;
    }

    int descriptor_;
    bool connected_ = false;
    bool shutting_ = false;
    QByteArray unsent_;
};
