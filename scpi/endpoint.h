// Where the SCPI server listens and whom it serves: `--scpi [ADDRESS:]PORT` and
// `--allow NETWORK/PREFIX[,...]`, read before anything else happens.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

struct ScpiEndpoint {
    QHostAddress address{QHostAddress::LocalHost}; // the loopback interface unless named
    quint16 port = 5025;                           // 0: any free port, printed when listening
    QList<QPair<QHostAddress, int>> allowed;       // networks besides the loopback ones
    int vxi11Port = -1; // VXI-11's core channel at the same address (0: any free port); -1: none

    // Whether a client at `peer` may talk to the panel: loopback, or inside an allowed network.
    bool admits(QHostAddress peer) const;
};

// Reads the options into `endpoint`. Returns what is wrong with them, for a usage error, or an
// empty text. A non-loopback ADDRESS (the wildcard 0.0.0.0 or :: included) needs `allow`.
// `option` names the option in those texts: --http reads its address by the same rules.
QString readScpiEndpoint(const QString &given, const QString &allow, ScpiEndpoint &endpoint,
                         const QString &option = QStringLiteral("--scpi"));
// Reads `--vxi11 PORT` into `endpoint`, as readScpiEndpoint does.
QString readVxi11Port(const QString &given, ScpiEndpoint &endpoint);

// The address of the client connected on `descriptor`; a null address when it has none.
QHostAddress peerOf(int descriptor);
// An address and port as a log line shows them: "10.0.0.5:5025", "[::1]:5025".
QString shown(const QHostAddress &address, quint16 port);
