// The message reader's parameters: character data, decimal and non-decimal numbers, strings.
#include "message.h"
#include "syntax.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

using namespace syntax;

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
