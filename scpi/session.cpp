#include "session.h"

#include "control/connection.h"
#include "framing.h"

Session::Session(Connection *connection, Instrument &instrument, QObject *parent)
    : QObject(parent)
    , interpreter(instrument)
    , connection_(connection)
{
    connection_->setParent(this);
    connection_->findLineEndsWith(std::make_unique<MessageEnds>());
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
        std::optional<QByteArray> line = connection_->nextLine();
        if (!line && taken > 0 && connection_->takeArrived()) {
            line = connection_->nextLine();
        }
        if (!line) {
            break;
        }
        interpreter.begin(*line);
        finishMessage();
    }
    if (!interpreter.running() && connection_->finished()) {
        Q_EMIT finished(this);
    }
}

void Session::finishMessage()
{
    QByteArray response;
    if (interpreter.finish(response)) {
        connection_->reply(response);
    }
}
