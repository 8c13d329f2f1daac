#include "message.h"

#include "framing.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr qsizetype kLongestMnemonic = 12;

bool isSpace(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}
bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isWordCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}
bool endsUnit(char c)
{
    return c == ';' || c == '\0';
}

bool fail(SyntaxError &error, int code, const QByteArray &detail)
{
    error = {code, detail};
    return false;
}

// What the error's detail shows of a bad byte: itself when printable, else its code.
QByteArray shown(char c)
{
    return c > 0x20 && c < 0x7F ? QByteArray(1, c)
                                : "0x" + QByteArray::number(static_cast<unsigned char>(c), 16);
}

} // namespace

MessageReader::MessageReader(QByteArray message)
    : text_(std::move(message))
{
}

void MessageReader::skipSpace()
{
    for (qsizetype telnet = 1; telnet > 0; position_ += telnet) {
        while (more() && isSpace(peek())) {
            ++position_;
        }
        telnet = telnetCommandLength(text_, position_);
    }
}

bool MessageReader::atEnd()
{
    skipSpace();
    return !more();
}

bool MessageReader::next(ProgramUnit &unit, SyntaxError &error)
{
    unit = {};
    skipSpace();
    const qsizetype start = position_;
    if (!readHeader(unit, error)) {
        return false;
    }
    unit.header = text_.mid(start, position_ - start);
    if (!endsUnit(peek()) && !isSpace(peek()) && telnetCommandLength(text_, position_) == 0) {
        return fail(error, -111, "'" + shown(peek()) + "' after " + unit.header);
    }
    skipSpace();
    while (!endsUnit(peek())) {
        Parameter parameter;
        if (!readParameter(parameter, error)) {
            return false;
        }
        unit.parameters << parameter;
        skipSpace();
        if (peek() == ',') {
            ++position_;
            skipSpace();
            if (endsUnit(peek())) {
                return fail(error, -102, "a parameter must follow ','");
            }
        } else if (!endsUnit(peek())) {
            return fail(error, -103, "'" + shown(peek()) + "' between parameters");
        }
    }
    if (peek() == ';') {
        ++position_;
    }
    return true;
}

bool MessageReader::readHeader(ProgramUnit &unit, SyntaxError &error)
{
    if (peek() == '*') {
        ++position_;
        unit.common = true;
        if (!readMnemonic(unit, error)) {
            return false;
        }
        unit.mnemonics.back().prepend('*');
    } else {
        unit.rooted = peek() == ':';
        do {
            position_ += peek() == ':' ? 1 : 0;
            if (!readMnemonic(unit, error)) {
                return false;
            }
        } while (peek() == ':');
    }
    unit.query = peek() == '?';
    position_ += unit.query ? 1 : 0;
    return true;
}

// A letter, then letters, digits and '_'; trailing digits of a compound header's mnemonic are
// its numeric suffix, which only 1 (the default) may be here: another is refused once the
// header is known to exist.
bool MessageReader::readMnemonic(ProgramUnit &unit, SyntaxError &error)
{
    if (!isLetter(peek())) {
        const int code = peek() == '\0' ? -102 : (peek() > 0x20 && peek() < 0x7F ? -102 : -101);
        return fail(error, code, "a header needs a mnemonic, not '" + shown(peek()) + "'");
    }
    const qsizetype start = position_;
    while (isWordCharacter(peek())) {
        ++position_;
    }
    QByteArray mnemonic = text_.mid(start, position_ - start).toUpper();
    qsizetype letters = mnemonic.size();
    while (!unit.common && isDigit(mnemonic[letters - 1])) {
        --letters;
    }
    if (letters > kLongestMnemonic) {
        return fail(error, -112, mnemonic.left(letters));
    }
    const QByteArray suffix = mnemonic.mid(letters);
    if (!suffix.isEmpty() && suffix.toInt() != 1 && unit.badSuffix.isEmpty()) {
        unit.badSuffix = mnemonic;
    }
    unit.mnemonics << mnemonic.left(letters);
    return true;
}

bool MessageReader::readParameter(Parameter &parameter, SyntaxError &error)
{
    const char c = peek();
    if (isDigit(c) || c == '+' || c == '-' || c == '.') {
        return readNumber(parameter, error);
    }
    if (c == '#') {
        return readNonDecimal(parameter, error);
    }
    if (c == '"' || c == '\'') {
        return readString(parameter, error);
    }
    if (isLetter(c)) {
        return readCharacters(parameter, error);
    }
    if (c == '(') {
        return fail(error, -178, {});
    }
    return fail(error, -101, "'" + shown(c) + "' cannot begin a parameter");
}

// [sign] digits [. digits] [whitespace E [whitespace] [sign] digits]; a unit after it is a
// suffix, which no parameter here takes.
bool MessageReader::readNumber(Parameter &parameter, SyntaxError &error)
{
    const qsizetype start = position_;
    position_ += peek() == '+' || peek() == '-' ? 1 : 0;
    int digits = 0;
    for (; isDigit(peek()) || (peek() == '.'); ++position_) {
        digits += isDigit(peek()) ? 1 : 0;
    }
    QByteArray number = text_.mid(start, position_ - start);
    if (digits == 0 || number.count('.') > 1) {
        return fail(error, -120, number);
    }
    const qsizetype mantissaEnd = position_;
    skipSpace();
    if (peek() == 'E' || peek() == 'e') {
        ++position_;
        skipSpace();
        const qsizetype exponent = position_;
        position_ += peek() == '+' || peek() == '-' ? 1 : 0;
        while (isDigit(peek())) {
            ++position_;
        }
        const QByteArray written = text_.mid(exponent, position_ - exponent);
        if (written.isEmpty() || !isDigit(written.back())) {
            return fail(error, -121, number + "E" + written);
        }
        number += 'E' + written;
    } else if (isLetter(peek())) {
        return fail(error, -138, number + ' ' + text_.mid(position_, 8));
    } else {
        position_ = mantissaEnd;
    }
    parameter = {Parameter::Type::Number, number, std::strtod(number.constData(), nullptr)};
    if (!std::isfinite(parameter.number)) {
        return fail(error, -123, number);
    }
    return true;
}

// #H hexadecimal, #Q octal, #B binary; '#' and a digit begins block data, taken by nothing here.
// A value too large for any parameter keeps its size, to be refused as out of range.
bool MessageReader::readNonDecimal(Parameter &parameter, SyntaxError &error)
{
    ++position_;
    const char radixLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
    const int radix = radixLetter == 'H' ? 16 : radixLetter == 'Q' ? 8 : radixLetter == 'B' ? 2 : 0;
    if (radix == 0) {
        return fail(error, isDigit(peek()) ? -168 : -102, "#" + shown(peek()));
    }
    const qsizetype start = ++position_;
    double value = 0;
    for (; isWordCharacter(peek()); ++position_) {
        const char digit = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
        const int weight = isDigit(digit)    ? digit - '0'
                           : isLetter(digit) ? digit - 'A' + 10
                                             : radix;
        if (weight >= radix) {
            return fail(error, -121, "'" + shown(digit) + "' in #" + QByteArray(1, radixLetter));
        }
        value = value * radix + weight;
    }
    const QByteArray written =
        "#" + QByteArray(1, radixLetter) + text_.mid(start, position_ - start);
    if (position_ == start) {
        return fail(error, -121, written + " has no digits");
    }
    parameter = {Parameter::Type::Number, written, value};
    return true;
}

// Quoted with ' or ", the quote doubled inside.
bool MessageReader::readString(Parameter &parameter, SyntaxError &error)
{
    const char quote = peek();
    parameter.type = Parameter::Type::String;
    for (++position_; more(); ++position_) {
        if (peek() != quote) {
            parameter.text += peek();
        } else if (position_ + 1 < text_.size() && text_[position_ + 1] == quote) {
            parameter.text += quote;
            ++position_;
        } else {
            ++position_;
            return true;
        }
    }
    return fail(error, -151, "no closing quote");
}

bool MessageReader::readCharacters(Parameter &parameter, SyntaxError &error)
{
    const qsizetype start = position_;
    while (isWordCharacter(peek())) {
        ++position_;
    }
    parameter.text = text_.mid(start, position_ - start).toUpper();
    if (parameter.text.size() > kLongestMnemonic) {
        return fail(error, -144, parameter.text);
    }
    return true;
}
