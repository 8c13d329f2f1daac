#include "status.h"

#include <algorithm>
#include <iterator>

namespace {

struct ErrorText {
    int code;
    const char *text;
};

// SCPI-1999's texts for the errors this instrument reports.
constexpr ErrorText kTexts[] = {
    {-100, "Command error"},
    {-101, "Invalid character"},
    {-102, "Syntax error"},
    {-103, "Invalid separator"},
    {-104, "Data type error"},
    {-108, "Parameter not allowed"},
    {-109, "Missing parameter"},
    {-111, "Header separator error"},
    {-112, "Program mnemonic too long"},
    {-113, "Undefined header"},
    {-114, "Header suffix out of range"},
    {-120, "Numeric data error"},
    {-121, "Invalid character in number"},
    {-123, "Exponent too large"},
    {-138, "Suffix not allowed"},
    {-144, "Character data too long"},
    {-151, "Invalid string data"},
    {-168, "Block data not allowed"},
    {-178, "Expression data not allowed"},
    {-200, "Execution error"},
    {-222, "Data out of range"},
    {-224, "Illegal parameter value"},
    {-240, "Hardware error"},
    {-241, "Hardware missing"},
    {-350, "Queue overflow"},
    {-363, "Input buffer overrun"},
    {-410, "Query INTERRUPTED"},
    {-420, "Query UNTERMINATED"},
    {-440, "Query UNTERMINATED after indefinite response"},
};

const char *textOf(int code)
{
    const auto *found = std::find_if(std::begin(kTexts), std::end(kTexts),
                                     [&](const ErrorText &error) { return error.code == code; });
    return found == std::end(kTexts) ? "Error" : found->text;
}

// The standard event status bit an error's class sets: command, execution, device-dependent
// or query error.
int eventBitOf(int code)
{
    if (code <= -100 && code > -200) {
        return 1 << 5;
    }
    if (code <= -200 && code > -300) {
        return 1 << 4;
    }
    if (code <= -300 && code > -400) {
        return 1 << 3;
    }
    return code <= -400 && code > -500 ? 1 << 2 : 0;
}

// `code,"text;detail"`: at most the 255 characters SCPI allows, quotes inside doubled. Of what
// the client sent only printable 7-bit text is shown: a run of whitespace or control bytes is
// one space, any other byte '?', so no response carries a byte a client's parser would choke on.
QByteArray entry(int code, const QByteArray &detail)
{
    const QByteArray text =
        detail.isEmpty() ? QByteArray(textOf(code)) : textOf(code) + (';' + detail);
    QByteArray shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const QByteArray printable = c == '"'                     ? QByteArray("\"\"")
                                     : byte > 0x20 && byte < 0x7F ? QByteArray(1, c)
                                     : byte <= 0x20               ? QByteArray(" ")
                                                                  : QByteArray("?");
        if (shown.size() + printable.size() > 255) {
            break;
        }
        if (printable != " " || (!shown.isEmpty() && !shown.endsWith(' '))) {
            shown += printable;
        }
    }
    return QByteArray::number(code) + ",\"" + shown.trimmed() + '"';
}

} // namespace

void Status::push(int code, const QByteArray &detail)
{
    events_ |= eventBitOf(code);
    if (queue_.size() < kQueueLength) {
        queue_.push_back(entry(code, detail));
    } else {
        queue_.back() = entry(-350, {});
    }
}

QByteArray Status::next()
{
    if (queue_.empty()) {
        return "0,\"No error\"";
    }
    QByteArray oldest = queue_.front();
    queue_.pop_front();
    return oldest;
}

void Status::clear()
{
    queue_.clear();
    events_ = 0;
    operation.event = 0;
    questionable.event = 0;
}

int Status::statusByte(bool messageAvailable) const
{
    int byte = messageAvailable ? 1 << 4 : 0;
    byte |= queue_.empty() ? 0 : 1 << 2;
    byte |= questionable.summary() ? 1 << 3 : 0;
    byte |= (events_ & eventEnable) != 0 ? 1 << 5 : 0;
    byte |= operation.summary() ? 1 << 7 : 0;
    return byte | ((byte & serviceEnable) != 0 ? 1 << 6 : 0);
}
