// Reading a program message, one program message unit at a time, as IEEE 488.2 defines its
// syntax: headers (common `*IDN?`, or compound `:SPE:VOL` with its leading colon kept as
// `rooted`), each mnemonic's numeric suffix, and the parameters after them: character data,
// decimal and non-decimal (#H, #Q, #B) numbers, and strings. Whitespace is anything from 0x00
// to 0x20, and a Telnet command (framing.h); units end at ';', parameters at ','.
#pragma once

#include <QByteArray>
#include <QList>

struct Parameter {
    enum class Type { Character, Number, String };
    Type type = Type::Character;
    QByteArray text; // character data in capitals, a string's contents
    double number = 0;
};

struct ProgramUnit {
    bool common = false; // a `*` header
    bool rooted = false; // began with ':', so the path starts at the root
    bool query = false;
    QByteArray header;           // as sent, for error messages
    QList<QByteArray> mnemonics; // in capitals, numeric suffixes removed
    QByteArray badSuffix;        // the first mnemonic with a suffix other than 1, as sent
    QList<Parameter> parameters;
};

// A syntax error: its SCPI number and what was wrong, for the error queue.
struct SyntaxError {
    int code = 0;
    QByteArray detail;
};

class MessageReader {
public:
    MessageReader() = default;
    explicit MessageReader(QByteArray message);

    // Nothing but whitespace is left.
    bool atEnd();
    // Reads the next unit into `unit`; false after a syntax error, which ends the message.
    bool next(ProgramUnit &unit, SyntaxError &error);

private:
    char peek() const { return position_ < text_.size() ? text_[position_] : '\0'; }
    bool more() const { return position_ < text_.size(); }
    void skipSpace();
    bool readHeader(ProgramUnit &unit, SyntaxError &error);
    bool readMnemonic(ProgramUnit &unit, SyntaxError &error);
    bool readParameter(Parameter &parameter, SyntaxError &error);
    bool readNumber(Parameter &parameter, SyntaxError &error);
    bool readNonDecimal(Parameter &parameter, SyntaxError &error);
    bool readString(Parameter &parameter, SyntaxError &error);
    bool readCharacters(Parameter &parameter, SyntaxError &error);

    QByteArray text_;
    qsizetype position_ = 0;
};
