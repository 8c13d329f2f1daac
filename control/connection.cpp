#include "connection.h"

#include "commands.h"
#include "socket_tuning.h"

#include <QSocketNotifier>

#include <cerrno>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reply bytes a client may leave unread (a hundred state lines) before it is read no further,
// on top of what the kernel holds for it.
constexpr qsizetype kUnreadReplies = 16384;
// The longest line that can still be a command: kMaxCommandLength and a terminal's "\r".
constexpr qsizetype kLongestLine = kMaxCommandLength + 1;

// The record-marking header of the fragment at `at`.
quint32 fragmentHeader(const QByteArray &inbox, qsizetype at)
{
    const auto byte = [&inbox, at](int index) { return quint32(quint8(inbox[at + index])); };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

bool retryLater()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

bool overTcp(int descriptor)
{
    int protocol = 0;
    socklen_t length = sizeof protocol;
    return ::getsockopt(descriptor, SOL_SOCKET, SO_PROTOCOL, &protocol, &length) == 0 &&
           protocol == IPPROTO_TCP;
}

} // namespace

Connection::Connection(int descriptor, QObject *parent, Framing framing)
    : QObject(parent)
    , descriptor_(descriptor)
    , framing_(framing)
    , tcp_(overTcp(descriptor))
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

void Connection::findLineEndsWith(std::unique_ptr<LineEnds> ends)
{
    lineEnds_ = std::move(ends);
    scanned_ = 0;
    lineEnd_ = -1;
    scanInbox();
}

std::optional<QByteArray> Connection::lineFromInbox()
{
    scanInbox();
    if (discarding_) {
        discarding_ = lineEnd_ < 0;
        takeFront(lineEnd_ < 0 ? inbox_.size() : lineEnd_ + 1);
    }
    const qsizetype end = lineEnd_;
    if (discarding_ || (end < 0 && inbox_.size() <= kLongestLine)) {
        return std::nullopt; // the rest of the line is still to come
    }
    if (end < 0 || end > kLongestLine) {
        // Longer than any command however it ends: its start, so it is refused as too long.
        QByteArray start = inbox_.left(kLongestLine);
        discarding_ = end < 0;
        takeFront(end < 0 ? inbox_.size() : end + 1);
        return start;
    }
    QByteArray line = inbox_.left(end);
    takeFront(end + 1);
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

// Looks for the end of the line at the inbox's front in the bytes not looked at yet.
void Connection::scanInbox()
{
    if (framing_ != Framing::Lines || lineEnd_ >= 0 || scanned_ == inbox_.size()) {
        return;
    }
    const qsizetype found = lineEnds_ ? lineEnds_->find(QByteArrayView(inbox_).sliced(scanned_))
                                      : inbox_.indexOf('\n', scanned_) - scanned_;
    lineEnd_ = found < 0 ? -1 : scanned_ + found;
    scanned_ = found < 0 ? inbox_.size() : lineEnd_ + 1;
}

// Removes a line taken or skipped: up to its end, or all of the inbox when it has none yet
// (always bytes already scanned).
void Connection::takeFront(qsizetype count)
{
    inbox_.remove(0, count);
    scanned_ -= count;
    lineEnd_ = -1;
    scanInbox();
}

std::optional<QByteArray> Connection::nextRecord()
{
    std::optional<QByteArray> record = recordFromInbox();
    updateReading();
    return record;
}

// Each fragment: a 4-byte big-endian header, its top bit set on the record's last fragment,
// the rest its length. Where the record at the front of the inbox ends: -1 while it is still
// coming, -2 when it cannot end within the read-ahead (a fragment runs past it, or fragments not
// marked last fill it, leaving no room for the next header).
qsizetype Connection::recordEnd() const
{
    for (qsizetype at = 0;;) {
        if (at + 4 > kReadAhead) {
            return -2;
        }
        if (inbox_.size() - at < 4) {
            return -1;
        }
        const quint32 header = fragmentHeader(inbox_, at);
        at += 4 + qsizetype(header & 0x7fffffffU);
        if (at > kReadAhead) {
            return -2;
        }
        if (at > inbox_.size()) {
            return -1;
        }
        if ((header & 0x80000000U) != 0) {
            return at;
        }
    }
}

std::optional<QByteArray> Connection::recordFromInbox()
{
    const qsizetype end = recordEnd();
    if (end == -2) {
        overran_ = true; // larger than any call it may make: it is read no further
        inputEnded_ = true;
        inbox_.clear();
    }
    if (end < 0) {
        return std::nullopt;
    }
    QByteArray record;
    for (qsizetype at = 0; at < end;) {
        const qsizetype length = qsizetype(fragmentHeader(inbox_, at) & 0x7fffffffU);
        record += inbox_.mid(at + 4, length);
        at += 4 + length;
    }
    inbox_.remove(0, end);
    return record;
}

void Connection::reply(const QByteArray &line)
{
    send(line + '\n');
}

void Connection::sendRecord(const QByteArray &record)
{
    const auto length = quint32(record.size()) | 0x80000000U;
    const char header[4] = {char(length >> 24), char(length >> 16), char(length >> 8),
                            char(length)};
    send(QByteArray(header, 4) + record);
}

void Connection::send(const QByteArray &bytes)
{
    if (!peerGone_) {
        outbox_ += bytes;
        writeSome();
    }
}

bool Connection::backedUp() const
{
    return outbox_.size() >= kUnreadReplies;
}

bool Connection::finished() const
{
    return inputEnded_ && !frameLeft() && outbox_.isEmpty();
}

// A whole line or record the client sent is still to be taken.
bool Connection::frameLeft() const
{
    if (framing_ == Framing::Records) {
        return recordEnd() >= 0;
    }
    return lineEnd_ >= 0 || (!discarding_ && inbox_.size() > kLongestLine);
}

void Connection::readSome()
{
    const qsizetype room = kReadAhead - inbox_.size();
    if (room <= 0 || inputEnded_) {
        updateReading(); // an activation queued before reading was paused: a 0-byte read is no end
        return;
    }
    receive();
    updateReading();
    Q_EMIT ready();
}

bool Connection::takeArrived()
{
    if (inbox_.size() >= kReadAhead || inputEnded_) {
        return false;
    }
    const bool came = receive();
    updateReading();
    return came;
}

bool Connection::receive()
{
    char buffer[kReadAhead];
    const ssize_t got = ::recv(descriptor_, buffer, std::size_t(kReadAhead - inbox_.size()), 0);
    if (got > 0) {
        inbox_.append(buffer, got);
        scanInbox();
        if (tcp_) {
            acknowledgeAtOnce(descriptor_);
        }
    } else if (got == 0) {
        inputEnded_ = true; // shut or closed: what it sent before still counts
    } else if (!retryLater()) {
        dropClient(); // reset or failed: gone
    }
    return got > 0;
}

void Connection::writeSome()
{
    while (!outbox_.isEmpty()) {
        const ssize_t sent = ::send(descriptor_, outbox_.constData(), std::size_t(outbox_.size()),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && !retryLater()) {
            dropClient(); // nobody receives any more
        } else if (sent < 0) {
            break;
        } else {
            outbox_.remove(0, sent);
        }
    }
    writer_->setEnabled(!outbox_.isEmpty());
}

// The client is gone (its connection was reset, or a reply could not be delivered): what it
// sent and was not taken yet is dropped rather than run for nobody, and nothing more is read.
void Connection::dropClient()
{
    peerGone_ = true;
    inputEnded_ = true;
    discarding_ = false;
    inbox_.clear();
    scanned_ = 0;
    lineEnd_ = -1;
    outbox_.clear();
    updateReading();
}

void Connection::updateReading()
{
    reader_->setEnabled(!inputEnded_ && inbox_.size() < kReadAhead);
}
