// One SCPI client on the raw TCP port: its connection, and the interpreter that runs each
// program message it sends (a line, its blocks read by their length: framing.h) and holds its
// error queue and status registers.
#pragma once

#include "interpreter.h"

#include <QObject>
#include <QTimer>

class Connection;

class Session : public QObject {
    Q_OBJECT

public:
    // Messages taken from one client before the others' turn.
    static constexpr int kMessagesPerTurn = 16;

    Session(Connection *connection, Instrument &instrument, QObject *parent);

    // Runs the messages the client has sent, up to its turn's share and while it reads its
    // responses; also finishes a message a port failure interrupted.
    void serve();

    Interpreter interpreter;

signals:
    // The client has sent everything and has every response: it may go.
    void finished(Session *session);

private:
    void finishMessage();

    Connection *connection_;
    QTimer nextTurn_;
};
