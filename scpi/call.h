// One program message unit being run: its parameters, the client's status and responses, and
// the helpers that read a parameter the way SCPI-1999 defines its kind, queueing the error when
// it is not one.
#pragma once

#include "instrument.h"
#include "message.h"
#include "status.h"

#include <QByteArray>
#include <QList>

struct Call {
    Instrument &instrument;
    Status &status;
    const ProgramUnit &unit;
    QList<QByteArray> &responses;
    bool abort = false;      // a command error: the rest of the message is not run
    bool indefinite = false; // its response ends the response message: no query may follow

    void respond(const QByteArray &response) { responses << response; }
    // A response that has no length or end of its own (arbitrary ASCII: *IDN?'s).
    void respondIndefinite(const QByteArray &response)
    {
        respond(response);
        indefinite = true;
    }
    void error(int code, const QByteArray &detail = {});

    // A Boolean: ON, OFF, or a number (rounded; non-zero is ON).
    bool readBoolean(int index, bool &value);
    // An integer from `low` to `high`: a number, rounded, or MINimum, MAXimum, DEFault
    // (`preset`); UP and DOWN step from `present` when `present` is not negative.
    bool readInteger(int index, int low, int high, int preset, int present, int &value);
    // One of `choices`, written as the manual prints them ("CCUPl"): its index.
    bool readChoice(int index, std::initializer_list<const char *> choices, int &value);
};
