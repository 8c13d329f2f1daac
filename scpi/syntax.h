// The character classes of IEEE 488.2's program message syntax, and the way a syntax error is
// reported, shared by the message reader's header (message.cpp) and parameter (parameters.cpp)
// halves.
#pragma once

#include "message.h"

namespace syntax {

inline constexpr qsizetype kLongestMnemonic = 12;

inline bool isSpace(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}
inline bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
inline bool isWordCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}
inline bool endsUnit(char c)
{
    return c == ';' || c == '\0';
}

inline bool fail(SyntaxError &error, int code, const QByteArray &detail)
{
    error = {code, detail};
    return false;
}

// What the error's detail shows of a bad byte: itself when printable, else its code.
inline QByteArray shown(char c)
{
    return c > 0x20 && c < 0x7F ? QByteArray(1, c)
                                : "0x" + QByteArray::number(static_cast<unsigned char>(c), 16);
}

} // namespace syntax
