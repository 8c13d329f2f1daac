// libFuzzer target: the bytes a VXI-11 client sends, through a socket pair into a connection
// that reads ONC RPC record marking, the client closing its end after them. Besides the
// sanitizers' checks: the records taken are exactly those a plain reading of the record marks
// finds (up to the first record too large for the read-ahead, which ends the input), and the
// connection notices the close, whatever the bytes were, so no client can keep its channel.
#include "control/connection.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// What the connection reads ahead of the records taken: a record longer is never taken.
constexpr qsizetype kReadAhead = Connection::kReadAhead;

quint32 headerAt(const QByteArray &bytes, qsizetype at)
{
    quint32 header = 0;
    for (int index = 0; index < 4; ++index) {
        header = header << 8 | quint8(bytes[at + index]);
    }
    return header;
}

// The whole records in `bytes`, each one's fragments joined, read as the record marking says.
QList<QByteArray> expectedRecords(const QByteArray &bytes)
{
    QList<QByteArray> records;
    QByteArray record;
    for (qsizetype at = 0, start = 0; bytes.size() - at >= 4;) {
        const quint32 header = headerAt(bytes, at);
        const qsizetype length = qsizetype(header & 0x7fffffffU);
        if (at + 4 + length - start > kReadAhead || at + 4 + length > bytes.size()) {
            break;
        }
        record += bytes.mid(at + 4, length);
        at += 4 + length;
        if ((header & 0x80000000U) != 0) {
            records << std::exchange(record, {});
            start = at;
        }
    }
    return records;
}

void violated(const char *what, const QByteArray &bytes)
{
    std::fprintf(stderr, "violated: %s\nbytes: %s\n", what, bytes.toHex(' ').constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray sent(reinterpret_cast<const char *>(data), qsizetype(size));
    int pair[2];
    if (size > 65536 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        return -1; // larger than the socket holds at once: not a case this target makes
    }
    if (::send(pair[1], data, size, MSG_NOSIGNAL) != qsizetype(size)) {
        violated("the socket pair did not take the bytes", sent);
    }
    ::close(pair[1]);
    Connection connection(pair[0], nullptr, Connection::Framing::Records);
    QList<QByteArray> taken;
    for (int idle = 0; !connection.finished() && idle < 1000; ++idle) {
        QCoreApplication::processEvents();
        while (const std::optional<QByteArray> record = connection.nextRecord()) {
            taken << *record;
            idle = 0;
        }
    }
    if (!connection.finished()) {
        violated("the client's close was never noticed", sent);
    }
    if (taken != expectedRecords(sent)) {
        violated("the records taken are not the ones sent", sent);
    }
    return 0;
}
