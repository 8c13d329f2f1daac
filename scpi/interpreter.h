// Runs one client's program messages: each message's units in order, a command error ending
// the message there, the responses of its queries joined by ';' into one response message.
// The client's error queue and status registers live here, whichever transport it came by.
#pragma once

#include "message.h"
#include "status.h"

#include <QByteArray>
#include <QList>

class Instrument;

class Interpreter {
public:
    explicit Interpreter(Instrument &instrument);

    // Starts running `message`; one over kMaxCommandLength bytes is refused with -363.
    void begin(const QByteArray &message);
    // Runs the message's units from where it stands; true, with its response message in
    // `response`, when it had queries. A port failure met by one unit runs the rest from
    // inside it (ScpiServer::portFailing), so the state lives here, not on the stack.
    bool finish(QByteArray &response);
    bool running() const { return inMessage_; }
    // A message too long to take arrived: it is refused with -363, unrun.
    void overrun();

    Status status;

private:
    bool runUnit(const ProgramUnit &unit);

    Instrument &instrument_;
    MessageReader reader_;
    QList<QByteArray> path_; // the path rule's current path
    QList<QByteArray> responses_;
    bool inMessage_ = false;
    bool indefinite_ = false; // a response without a length of its own was given
};
