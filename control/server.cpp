#include "server.h"

#include "commands.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

namespace {

// A client's lines read ahead of running them, and the bytes buffered for it: beyond these it
// is simply not read until its queue drains, so a flood waits in the client's own socket.
constexpr int kMaxQueuedPerClient = 32;
constexpr qint64 kReadBuffer = 4096;

} // namespace

ControlServer::ControlServer(QWidget &window)
    : window_(window)
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &ControlServer::accept);
    next_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, &ControlServer::runNext);
}

// Clients still connected go with the listening socket, and nothing they sent runs any more.
ControlServer::~ControlServer()
{
    for (QLocalSocket *socket : clients_.keys()) {
        socket->disconnect(this);
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

void ControlServer::accept()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        socket->setReadBufferSize(kReadBuffer);
        clients_.insert(socket, {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { take(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); });
    }
}

// Queues the complete lines a client has sent, up to its share.
void ControlServer::take(QLocalSocket *socket)
{
    Client &client = clients_[socket];
    while (client.queued < kMaxQueuedPerClient) {
        if (client.discarding) {
            const QByteArray skipped = socket->readLine(kReadBuffer);
            client.discarding = !skipped.endsWith('\n');
            if (skipped.isEmpty()) {
                break;
            }
            continue;
        }
        const bool whole = socket->canReadLine();
        if (!whole && socket->bytesAvailable() <= kMaxCommandLength + 1) {
            break; // the rest of the line is still to come
        }
        // A line with no end within reach is longer than any command: it stays longer than
        // kMaxCommandLength, so runCommand refuses it, and the rest of it is skipped.
        QByteArray line = socket->readLine(kMaxCommandLength + 2);
        const bool ended = line.endsWith('\n');
        if (ended) {
            line.chop(line.endsWith("\r\n") ? 2 : 1); // a terminal's line end too
        }
        client.discarding = !ended;
        queue_.push_back({socket, line});
        ++client.queued;
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
    const QByteArray reply = runCommand(window_, pending.line);
    if (QLocalSocket *socket = pending.from) {
        socket->write(reply + '\n');
        --clients_[socket].queued;
        if (socket->state() == QLocalSocket::ConnectedState) {
            take(socket);
        } else {
            forget(socket);
        }
    }
    running_ = false;
    if (!queue_.empty()) {
        next_.start(0);
    }
}

// A client that went away still has its complete lines run; a partial line is dropped. It is
// deleted once none of its lines waits.
void ControlServer::forget(QLocalSocket *socket)
{
    take(socket);
    const auto client = clients_.find(socket);
    if (client != clients_.end() && client->queued == 0) {
        clients_.erase(client);
        socket->deleteLater();
    }
}
