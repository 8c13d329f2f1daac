#include "interpreter.h"

#include "call.h"
#include "control/commands.h"
#include "device_tree.h"

Interpreter::Interpreter(Instrument &instrument)
    : instrument_(instrument)
{
}

void Interpreter::begin(const QByteArray &message)
{
    if (message.size() > kMaxCommandLength) {
        overrun();
        return;
    }
    reader_ = MessageReader(message);
    path_.clear();
    indefinite_ = false;
    inMessage_ = true;
}

void Interpreter::overrun()
{
    status.push(-363, "a message is at most " + QByteArray::number(kMaxCommandLength) +
                          " bytes; this one was not run");
}

bool Interpreter::finish(QByteArray &response)
{
    while (inMessage_ && !reader_.atEnd()) {
        ProgramUnit unit;
        SyntaxError error;
        if (!reader_.next(unit, error)) {
            status.push(error.code, error.detail);
            break;
        }
        if (!runUnit(unit)) {
            break;
        }
    }
    if (!inMessage_) {
        return false;
    }
    inMessage_ = false;
    if (responses_.isEmpty()) {
        return false;
    }
    response = responses_.join(';');
    responses_.clear();
    return true;
}

// The header with the current path before it, unless it starts at the root or is a common
// command; a compound header leaves the path at its last node's parent. A query after one whose
// response has no length of its own (*IDN?'s) could not be told apart from it, so it is not run.
bool Interpreter::runUnit(const ProgramUnit &unit)
{
    const QList<QByteArray> header =
        unit.common || unit.rooted ? unit.mnemonics : path_ + unit.mnemonics;
    const TreeEntry *entry = findEntry(header, unit.query);
    if (entry == nullptr || !unit.badSuffix.isEmpty()) {
        status.push(entry == nullptr ? -113 : -114,
                    entry == nullptr ? unit.header : unit.badSuffix);
        return false;
    }
    if (!unit.common) {
        path_ = header.first(header.size() - 1);
    }
    const qsizetype given = unit.parameters.size();
    if (given > entry->most || given < entry->fewest) {
        status.push(given > entry->most ? -108 : -109, unit.header);
        return false;
    }
    if (unit.query && indefinite_) {
        status.push(-440, unit.header + " came after *IDN? in one message");
        return false;
    }
    Call call{instrument_, status, unit, responses_};
    entry->run(call);
    indefinite_ = indefinite_ || call.indefinite;
    return !call.abort;
}
