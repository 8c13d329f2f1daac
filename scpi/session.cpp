#include "session.h"

#include "call.h"
#include "control/commands.h"
#include "control/connection.h"
#include "device_tree.h"

Session::Session(Connection *connection, Instrument &instrument, QObject *parent)
    : QObject(parent)
    , connection_(connection)
    , instrument_(instrument)
{
    connection_->setParent(this);
    connect(connection_, &Connection::ready, this, &Session::serve);
    nextTurn_.setSingleShot(true);
    connect(&nextTurn_, &QTimer::timeout, this, &Session::serve);
}

void Session::serve()
{
    finishMessage();
    for (int taken = 0; !connection_->backedUp(); ++taken) {
        if (taken == kMessagesPerTurn) {
            nextTurn_.start(0); // the rest after the other clients' and the window's events
            return;
        }
        const std::optional<QByteArray> line = connection_->nextLine();
        if (!line) {
            break;
        }
        begin(*line);
        finishMessage();
    }
    if (!inMessage_ && connection_->finished()) {
        Q_EMIT finished(this);
    }
}

void Session::begin(const QByteArray &line)
{
    if (line.size() > kMaxCommandLength) {
        status.push(-363, "a message is at most " + QByteArray::number(kMaxCommandLength) +
                              " bytes; this one was not run");
        return;
    }
    reader_ = MessageReader(line);
    path_.clear();
    inMessage_ = true;
}

// Runs the message's units from where it stands. A port failure met by one of them runs the
// rest from inside it (ScpiServer::portFailing), so the state lives here, not on the stack.
void Session::finishMessage()
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
    if (inMessage_) {
        inMessage_ = false;
        if (!responses_.isEmpty()) {
            connection_->reply(responses_.join(';'));
            responses_.clear();
        }
    }
}

// The header with the current path before it, unless it starts at the root or is a common
// command; a compound header leaves the path at its last node's parent.
bool Session::runUnit(const ProgramUnit &unit)
{
    const QList<QByteArray> header =
        unit.common || unit.rooted ? unit.mnemonics : path_ + unit.mnemonics;
    const TreeEntry *entry = findEntry(header, unit.query);
    if (entry == nullptr) {
        status.push(-113, unit.header);
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
    Call call{instrument_, status, unit, responses_};
    entry->run(call);
    return !call.abort;
}
