#include "server.h"

#include "commands.h"
#include "connection.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

// A client's lines taken ahead of running them: beyond these it is not read until its queue
// drains, so a flood delays another client's command by this many commands at most.
constexpr int kMaxQueuedPerClient = 32;

} // namespace

ControlServer::ControlServer(QWidget &window)
    : window_(window)
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.adopt = [this](int descriptor) {
        auto *client = new Connection(descriptor, this);
        queued_.insert(client, 0);
        connect(client, &Connection::ready, this, [this, client] { take(client); });
    };
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
    // Asked first: binding would quietly take the name over from a live panel.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(1000)) {
        problem = QStringLiteral("a running panel already listens on %1: send it commands with "
                                 "--send, or stop it first.")
                      .arg(path);
        return false;
    }
    if (QFileInfo(path).isDir()) {
        problem =
            QStringLiteral("cannot listen on %1: a directory is in the way; remove it.").arg(path);
        return false;
    }
    QLocalServer::removeServer(path);
    if (!server_.listen(path)) {
        problem = QStringLiteral("cannot listen on %1: %2.").arg(path, server_.errorString());
        return false;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
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
