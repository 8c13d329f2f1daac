#include "connection.h"

#include "commands.h"

#include <QSocketNotifier>

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Bytes read ahead of the lines taken from them: beyond these the client is not read, so a
// flood waits in its own socket.
constexpr qsizetype kReadAhead = 4096;
// Reply bytes a client may leave unread (a hundred state lines) before it is read no further,
// on top of what the kernel holds for it.
constexpr qsizetype kUnreadReplies = 16384;
// The longest line that can still be a command: kMaxCommandLength and a terminal's "\r".
constexpr qsizetype kLongestLine = kMaxCommandLength + 1;

bool retryLater()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

} // namespace

Connection::Connection(int descriptor, QObject *parent)
    : QObject(parent)
    , descriptor_(descriptor)
    , reader_(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
    , writer_(new QSocketNotifier(descriptor, QSocketNotifier::Write, this))
{
    ::fcntl(descriptor_, F_SETFL, ::fcntl(descriptor_, F_GETFL) | O_NONBLOCK);
    writer_->setEnabled(false);
    connect(reader_, &QSocketNotifier::activated, this, &Connection::readSome);
    connect(writer_, &QSocketNotifier::activated, this, [this] {
        writeSome();
        Q_EMIT ready();
    });
}

// The notifiers go before the descriptor they watch.
Connection::~Connection()
{
    delete reader_;
    delete writer_;
    ::close(descriptor_);
}

std::optional<QByteArray> Connection::nextLine()
{
    std::optional<QByteArray> line = lineFromInbox();
    updateReading();
    return line;
}

std::optional<QByteArray> Connection::lineFromInbox()
{
    qsizetype end = inbox_.indexOf('\n');
    if (discarding_) {
        inbox_.remove(0, end < 0 ? inbox_.size() : end + 1);
        discarding_ = end < 0;
        end = inbox_.indexOf('\n');
    }
    if (discarding_ || (end < 0 && inbox_.size() <= kLongestLine)) {
        return std::nullopt; // the rest of the line is still to come
    }
    if (end < 0 || end > kLongestLine) {
        // Longer than any command however it ends: its start, so it is refused as too long.
        QByteArray start = inbox_.left(kLongestLine);
        inbox_.remove(0, end < 0 ? inbox_.size() : end + 1);
        discarding_ = end < 0;
        return start;
    }
    QByteArray line = inbox_.left(end);
    inbox_.remove(0, end + 1);
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

void Connection::reply(const QByteArray &line)
{
    if (!peerGone_) {
        outbox_ += line + '\n';
        writeSome();
    }
}

bool Connection::backedUp() const
{
    return outbox_.size() >= kUnreadReplies;
}

bool Connection::finished() const
{
    const bool lineLeft = inbox_.contains('\n') || (!discarding_ && inbox_.size() > kLongestLine);
    return inputEnded_ && !lineLeft && outbox_.isEmpty();
}

void Connection::readSome()
{
    const qsizetype room = kReadAhead - inbox_.size();
    if (room <= 0 || inputEnded_) {
        return; // an activation queued before reading was paused: a 0-byte read is no end
    }
    char buffer[kReadAhead];
    const ssize_t got = ::recv(descriptor_, buffer, std::size_t(room), 0);
    if (got > 0) {
        inbox_.append(buffer, got);
    } else if (got == 0 || !retryLater()) {
        inputEnded_ = true; // shut, closed or failed: what it sent before still counts
    }
    updateReading();
    Q_EMIT ready();
}

void Connection::writeSome()
{
    while (!outbox_.isEmpty()) {
        const ssize_t sent = ::send(descriptor_, outbox_.constData(), std::size_t(outbox_.size()),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && !retryLater()) {
            peerGone_ = true; // nobody receives any more: its lines still run, unanswered
            outbox_.clear();
        } else if (sent < 0) {
            break;
        } else {
            outbox_.remove(0, sent);
        }
    }
    writer_->setEnabled(!outbox_.isEmpty());
}

void Connection::updateReading()
{
    reader_->setEnabled(!inputEnded_ && inbox_.size() < kReadAhead);
}
