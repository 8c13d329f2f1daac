#include "message.h"

#include "framing.h"
#include "syntax.h"

using namespace syntax;

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
