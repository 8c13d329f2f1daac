// One SCPI client: its connection, its own error queue and status registers, and the program
// message it is running. Each line is one program message; its units run in order, a command
// error ending the message there; the responses of its queries go back as one response
// message, joined by ';'.
#pragma once

#include "message.h"
#include "status.h"

#include <QObject>
#include <QTimer>

class Connection;
class Instrument;

class Session : public QObject {
    Q_OBJECT

public:
    // Messages taken from one client before the others' turn.
    static constexpr int kMessagesPerTurn = 16;

    Session(Connection *connection, Instrument &instrument, QObject *parent);

    // Runs the messages the client has sent, up to its turn's share and while it reads its
    // responses; also finishes a message a port failure interrupted.
    void serve();

    Status status;

signals:
    // The client has sent everything and has every response: it may go.
    void finished(Session *session);

private:
    void begin(const QByteArray &line);
    void finishMessage();
    bool runUnit(const ProgramUnit &unit);

    Connection *connection_;
    Instrument &instrument_;
    MessageReader reader_;
    QList<QByteArray> path_; // the path rule's current path
    QList<QByteArray> responses_;
    bool inMessage_ = false;
    QTimer nextTurn_;
};
