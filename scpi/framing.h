// How the bytes a raw-port client sends divide into program messages. A message ends at a
// '\n', but not at one inside a definite-length block (#, a digit N, N digits of length, then
// that many bytes of anything), which is read by its length and never taken as commands, nor
// at one that is a Telnet command's option. An unclosed string ends at its line's '\n', so a
// stray quote costs its own message only.
//
// Telnet commands: a Telnet client (a terminal in Telnet mode) opens with option requests,
// IAC (0xFF), WILL, WONT, DO or DONT and the option's byte. The panel negotiates nothing: it
// neither answers them nor acts on them, and the reader skips them wherever whitespace may
// stand, so the client keeps its own defaults (it echoes locally and sends whole lines).
#pragma once

#include "control/line_ends.h"

#include <QByteArray>

class MessageEnds : public LineEnds {
public:
    qsizetype find(QByteArrayView bytes) override;

private:
    enum class In {
        Text,
        String,
        Hash,
        Length,
        Block,
        Telnet,
        TelnetOption,
        TelnetSub,
        TelnetSubIac
    };

    // Takes one byte of the message; true when it is the '\n' that ends it.
    bool take(unsigned char c);
    bool takeCommand(unsigned char c);
    bool takeText(unsigned char c);

    In in_ = In::Text;
    unsigned char quote_ = 0;
    int digits_ = 0;    // a block's length digits still to come
    qint64 length_ = 0; // the block's length as read so far, then its bytes still to come
};

// The length of the Telnet command at `at` in `text`, 0 when none begins there: IAC and a
// command (2 bytes), an option request (3), or a subnegotiation through its IAC SE.
qsizetype telnetCommandLength(const QByteArray &text, qsizetype at);
