// Who the panel is, as its page and the LXI identification document tell a lab: *IDN?'s
// fields, the host, the page's addresses and the VISA resource string of each transport that
// runs.
#pragma once

#include "session/identity.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QStringList>

struct Identity {
    BoardIdentity board;   // *IDN?'s fields
    QStringList addresses; // the page's URLs, "http://10.0.0.5:8080/"
    QStringList resources; // "TCPIP::10.0.0.5::INSTR", "TCPIP::10.0.0.5::5025::SOCKET"

    // The channel's identity message: {"identity": {...}}.
    QJsonObject message() const;
    // The document /lxi/identification answers, as the LXI Identification schema (namespace
    // http://www.lxistandard.org/InstrumentIdentification/1.0) orders its elements.
    QByteArray lxiDocument() const;
};

// How a client writes the addresses a listener bound to `bound` is reached at: that address,
// or for a wildcard each address of this machine (loopback last); IPv6 ones in brackets.
QStringList reachedAt(const QHostAddress &bound);
