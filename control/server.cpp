#include "server.h"

#include "commands.h"
#include "connection.h"

#include "data_register.h"

#include <algorithm>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// A client's lines taken ahead of running them: beyond these it is not read until its queue
// drains, so a flood delays another client's command by this many commands at most.
constexpr int kMaxQueuedPerClient = 32;
constexpr long kMaxClients = 256;

} // namespace

ControlServer::ControlServer(QWidget &window)
    : window_(window)
    , listener_(this)
{
    connect(&listener_, &Listener::accepted, this, &ControlServer::adopt);
    next_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, &ControlServer::runNext);
}

// Clients still connected go with the listening socket, and nothing they sent runs any more.
ControlServer::~ControlServer()
{
    queue_.clear();
    for (Connection *client : queued_.keys()) {
        delete client;
    }
}

bool ControlServer::listen(const QString &path, QString &problem)
{
    return listener_.listen(path, problem);
}

int ControlServer::maxClients()
{
    return int(std::min(kMaxClients, Listener::descriptorLimit() / 2));
}

// A client beyond the cap is told why and closed; the operator hears of it once for each run
// of such clients.
void ControlServer::adopt(int descriptor)
{
    if (queued_.size() >= maxClients()) {
        const QByteArray refusal = "error: " + QByteArray::number(maxClients()) +
                                   " clients are connected, as many as the panel takes; try "
                                   "again once one has ended\n";
        [[maybe_unused]] const ssize_t sent =
            ::send(descriptor, refusal.constData(), std::size_t(refusal.size()),
                   MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(descriptor);
        if (!refusing_) {
            std::fprintf(stderr,
                         "%s: %d script clients are connected, as many as the panel takes: "
                         "further ones are refused until some end.\n",
                         linkedPort().program, maxClients());
            refusing_ = true;
        }
        return;
    }
    refusing_ = false;
    auto *client = new Connection(descriptor, this);
    queued_.insert(client, 0);
    connect(client, &Connection::ready, this, [this, client] { take(client); });
}

// Queues the complete lines a client has sent, up to its share and while it reads its
// replies. A client that has sent all it will is closed once every reply is out.
void ControlServer::take(Connection *client)
{
    int &queued = queued_[client];
    while (queued < kMaxQueuedPerClient && !client->backedUp()) {
        std::optional<QByteArray> line = client->nextLine();
        if (!line) {
            break;
        }
        if (!failure_.isEmpty()) {
            client->reply(failure_);
            continue;
        }
        queue_.push_back({client, *line});
        ++queued;
    }
    if (queued == 0 && client->finished()) {
        queued_.remove(client);
        client->disconnect(this);
        client->deleteLater();
        return;
    }
    if (!queue_.empty() && !running_ && !next_.isActive()) {
        runNext();
    }
}

// Runs the oldest command and replies to its client; the next waits for the event loop, so the
// window keeps answering the operator between commands.
void ControlServer::runNext()
{
    if (queue_.empty() || running_) {
        return;
    }
    const Pending pending = queue_.front();
    queue_.pop_front();
    running_ = true; // also keeps take() below from running the next command at once
    current_ = pending.from;
    const QByteArray reply = runCommand(window_, pending.line);
    if (Connection *client = pending.from) {
        if (failure_.isEmpty()) {
            client->reply(reply);
        }
        --queued_[client];
        take(client);
    }
    running_ = false;
    if (!queue_.empty()) {
        next_.start(0);
    }
}

void ControlServer::portFailing(const QString &what)
{
    if (!failure_.isEmpty()) {
        return;
    }
    failure_ = "error: " + what.toUtf8();
    if (running_ && current_) {
        current_->reply(failure_);
    }
    for (const Pending &pending : queue_) {
        if (pending.from) {
            pending.from->reply(failure_);
            --queued_[pending.from];
        }
    }
    queue_.clear();
    for (Connection *client : queued_.keys()) {
        take(client); // what each has sent since is answered the same way
    }
}
