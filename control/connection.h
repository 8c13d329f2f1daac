// One client of the control socket, on the connection's own descriptor: the lines it sends,
// read ahead only a bounded amount, and the replies it is owed, held only a bounded amount
// while it does not read them. A client that has finished sending (shut down its sending side,
// as socat and `nc -N` do) still gets every reply; QLocalSocket would close the whole
// connection at that end of input. The same connection can carry ONC RPC's record marking
// instead of lines (the VXI-11 server's).
#pragma once

#include "line_ends.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <optional>

class QSocketNotifier;

class Connection : public QObject {
    Q_OBJECT

public:
    enum class Framing { Lines, Records };
    // Bytes read ahead of the lines taken from them: beyond these the client is not read, so a
    // flood waits in its own socket (whose receive buffer socket_tuning.h keeps small).
    static constexpr qsizetype kReadAhead = 4096;

    // Takes over `descriptor`, a connected stream socket, and closes it when deleted.
    Connection(int descriptor, QObject *parent, Framing framing = Framing::Lines);
    ~Connection() override;

    // The next complete line the client sent, its line end ("\n" or "\r\n") removed; nothing
    // when none is complete yet. A line too long for any command comes as its first
    // `kMaxCommandLength + 1` bytes, so it is refused, and the rest of it is skipped.
    std::optional<QByteArray> nextLine();
    // Lines end where `ends` finds, not at every '\n'.
    void findLineEndsWith(std::unique_ptr<LineEnds> ends);
    // With records: the next whole record, its fragments joined; nothing when none is complete
    // yet. A record that cannot end within the read-ahead ends the input: such a client is read
    // no more, and overran() says so.
    std::optional<QByteArray> nextRecord();
    bool overran() const { return overran_; }
    // Sends a reply line; what the client's socket cannot take yet waits here.
    void reply(const QByteArray &line);
    // Sends `record` as one last fragment.
    void sendRecord(const QByteArray &record);
    // Replies waiting beyond what a client may leave unread: read nothing more from it.
    bool backedUp() const;
    // The client will send nothing more (it shut its side, went away or failed) and every
    // reply it can still receive is out. Once it is known gone (reset, or a reply could not be
    // delivered), what it sent and was not taken yet is dropped.
    bool finished() const;
    // Takes what the client sent while its last message ran, without waiting for the event
    // loop; true when bytes came. A client whose query was held back until the setting before
    // it was acknowledged (Nagle's algorithm) is so served in the same turn.
    bool takeArrived();

signals:
    // Bytes or the end of the client's input arrived, or waiting replies went out: there may
    // be lines to take now.
    void ready();

private:
    void readSome();
    bool receive();
    void writeSome();
    void updateReading();
    std::optional<QByteArray> lineFromInbox();
    void scanInbox();
    void takeFront(qsizetype count);
    std::optional<QByteArray> recordFromInbox();
    qsizetype recordEnd() const;
    bool frameLeft() const;
    void send(const QByteArray &bytes);
    void dropClient();

    int descriptor_;
    Framing framing_;
    bool tcp_; // acknowledgements to re-arm after each read
    QSocketNotifier *reader_;
    QSocketNotifier *writer_;
    QByteArray inbox_;
    QByteArray outbox_;
    bool inputEnded_ = false;
    bool peerGone_ = false;   // its receiving side is closed: replies are dropped
    bool discarding_ = false; // inside a line too long to take: skipping to its end
    bool overran_ = false;    // sent a record that cannot end within the read-ahead

    std::unique_ptr<LineEnds> lineEnds_; // none: a line ends at its first '\n'
    qsizetype scanned_ = 0;              // inbox bytes looked at for the line's end
    qsizetype lineEnd_ = -1;             // where the line at the inbox's front ends, when known
};
