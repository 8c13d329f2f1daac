#include "framing.h"

namespace {

constexpr unsigned char kIac = 0xFF;
constexpr unsigned char kSubnegotiation = 0xFA; // SB, ended by IAC SE
constexpr unsigned char kSubnegotiationEnd = 0xF0;
constexpr unsigned char kWill = 0xFB; // WILL, WONT, DO, DONT: 0xFB to 0xFE, an option follows

bool isCommand(unsigned char c)
{
    return c >= kSubnegotiationEnd && c < kIac;
}

} // namespace

qsizetype MessageEnds::find(QByteArrayView bytes)
{
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        if (in_ == In::Block) { // a block's bytes, skipped whole
            const qsizetype skipped = qsizetype(qMin<qint64>(length_, bytes.size() - at));
            length_ -= skipped;
            at += skipped - 1;
            in_ = length_ == 0 ? In::Text : In::Block;
        } else if (take(static_cast<unsigned char>(bytes[at]))) {
            return at;
        }
    }
    return -1;
}

bool MessageEnds::take(unsigned char c)
{
    switch (in_) {
    case In::String:
        in_ = c == quote_ || c == '\n' ? In::Text : In::String; // a doubled quote reopens it
        return c == '\n';
    case In::Hash:
        if (c >= '1' && c <= '9') {
            in_ = In::Length;
            digits_ = c - '0';
            length_ = 0;
            return false;
        }
        in_ = In::Text; // #H, #Q, #B, or #0 (a block that runs to the line's end)
        return takeText(c);
    case In::Length:
        if (c < '0' || c > '9') {
            in_ = In::Text; // not a length: the reader refuses it
            return takeText(c);
        }
        length_ = length_ * 10 + (c - '0');
        in_ = --digits_ > 0 ? In::Length : length_ > 0 ? In::Block : In::Text;
        return false;
    case In::Telnet:
        return takeCommand(c);
    case In::TelnetOption:
        in_ = In::Text;
        return false;
    case In::TelnetSub: // nothing asks for one; a '\n' still ends the message
    case In::TelnetSubIac:
        in_ = c == '\n'                                            ? In::Text
              : c == kIac                                          ? In::TelnetSubIac
              : in_ == In::TelnetSubIac && c == kSubnegotiationEnd ? In::Text
                                                                   : In::TelnetSub;
        return c == '\n';
    default:
        return takeText(c);
    }
}

// The byte after IAC: a command, the start of an option request or a subnegotiation, or a second
// IAC (a data byte 255); anything else is the message's own.
bool MessageEnds::takeCommand(unsigned char c)
{
    in_ = c == kSubnegotiation     ? In::TelnetSub
          : c >= kWill && c < kIac ? In::TelnetOption
                                   : In::Text;
    return in_ == In::Text && !isCommand(c) && c != kIac && takeText(c);
}

bool MessageEnds::takeText(unsigned char c)
{
    if (c == '"' || c == '\'') {
        quote_ = c;
        in_ = In::String;
    } else if (c == '#') {
        in_ = In::Hash;
    } else if (c == kIac) {
        in_ = In::Telnet;
    }
    return c == '\n';
}

qsizetype telnetCommandLength(const QByteArray &text, qsizetype at)
{
    if (at + 1 >= text.size() || static_cast<unsigned char>(text[at]) != kIac) {
        return 0;
    }
    const auto command = static_cast<unsigned char>(text[at + 1]);
    if (command == kSubnegotiation) {
        const qsizetype end = text.indexOf(QByteArray("\xFF\xF0", 2), at + 2);
        return end < 0 ? text.size() - at : end + 2 - at;
    }
    if (command >= kWill && command < kIac) {
        return qMin<qsizetype>(3, text.size() - at);
    }
    return isCommand(command) ? 2 : 0;
}
