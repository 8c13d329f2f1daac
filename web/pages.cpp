#include "pages.h"

#include "control/commands.h"
#include "control/controls.h"

#include <QAbstractButton>
#include <QJsonDocument>
#include <QLineEdit>
#include <QWebSocket>

namespace {

// The window's controls as the page names them: the options' buttons, the sliders, the gain
// boxes.
QJsonObject stateOf(QWidget &window)
{
    QJsonObject state;
    for (const OptionCommand &option : kOptions) {
        for (const char *name : option.controls) {
            state[name] = control<QAbstractButton>(window, name)->isChecked();
        }
    }
    for (const VolumeCommand &volume : kVolumes) {
        state[volume.slider] = control<QSlider>(window, volume.slider)->value();
        state[volume.gainBox] = control<QLineEdit>(window, volume.gainBox)->text();
    }
    return {{"state", state}};
}

QByteArray text(const QJsonObject &message)
{
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

} // namespace

Pages::Pages(QWidget &window, std::function<QJsonObject()> identity)
    : window_(window)
    , identity_(std::move(identity))
{
    next_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, &Pages::runNext);
    changed_.setSingleShot(true);
    connect(&changed_, &QTimer::timeout, this, &Pages::pushState);
    connect(&pinger_, &QTimer::timeout, this, &Pages::ping);
    pinger_.start(kPingMs);
    watchControls();
}

Pages::~Pages()
{
    for (QWebSocket *socket : pages_.keys()) {
        socket->disconnect(this);
        delete socket;
    }
}

// Any change of a control, made however it was, pushes the state once its events are done.
void Pages::watchControls()
{
    const auto schedule = [this] {
        if (pages_.isEmpty()) {
            lastState_.clear(); // nobody to tell: the next page gets the state on connect
        } else if (!changed_.isActive()) { // a burst pushes between its commands, not at its end
            changed_.start(0);
        }
    };
    // Both options of each group: " DEFAULT" selects its choice with that option's signals
    // blocked, and then only the other option reports the change.
    for (const OptionCommand &option : kOptions) {
        for (const char *name : option.controls) {
            connect(control<QAbstractButton>(window_, name), &QAbstractButton::toggled, this,
                    schedule);
        }
    }
    for (const VolumeCommand &volume : kVolumes) {
        connect(control<QSlider>(window_, volume.slider), &QSlider::valueChanged, this, schedule);
        connect(control<QLineEdit>(window_, volume.gainBox), &QLineEdit::textChanged, this,
                schedule);
    }
}

void Pages::add(QWebSocket *socket)
{
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(kMaxCommandLength + 1);
    socket->setMaxAllowedIncomingFrameSize(kMaxCommandLength + 1);
    pages_.insert(socket, Page{});
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString &line) { take(socket, line); });
    connect(socket, &QWebSocket::binaryMessageReceived, socket,
            [socket] { socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported); });
    connect(socket, &QWebSocket::bytesWritten, this, [this, socket] { caughtUp(socket); });
    connect(socket, &QWebSocket::pong, this, [this, socket] { pages_[socket].answered = true; });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { drop(socket); });
    send(socket, identity_());
    sendState(socket, QString::fromUtf8(text(stateOf(window_))));
    if (!failure_.isEmpty()) {
        send(socket, {{"failure", failure_}});
    }
}

void Pages::drop(QWebSocket *socket)
{
    if (pages_.remove(socket)) {
        socket->disconnect(this);
        socket->deleteLater();
    }
}

void Pages::take(QWebSocket *socket, const QString &line)
{
    Page &page = pages_[socket];
    if (!failure_.isEmpty()) {
        send(socket, {{"error", "error: " + failure_}});
    } else if (page.queued >= kMaxQueuedPerPage) {
        send(socket,
             {{"error",
               QStringLiteral("error: %1 commands are waiting already").arg(kMaxQueuedPerPage)}});
    } else {
        ++page.queued;
        queue_.push_back({socket, line.toUtf8()});
        if (queue_.size() == 1 && !running_ && !next_.isActive()) {
            runNext(); // none ran since the event loop last turned: it runs now
        } else if (!next_.isActive() && !running_) {
            next_.start(0);
        }
    }
}

// Runs the oldest command; the next waits for the event loop, so the window keeps answering
// the operator and the state goes out between commands.
void Pages::runNext()
{
    if (queue_.empty() || running_) {
        return;
    }
    const Command command = queue_.front();
    queue_.pop_front();
    if (command.from && pages_.contains(command.from)) {
        --pages_[command.from].queued;
        running_ = true; // a command that arrives meanwhile waits for this one
        const QByteArray reply = runCommand(window_, command.line);
        running_ = false;
        if (reply.startsWith("error: ") && failure_.isEmpty()) {
            send(command.from, {{"error", QString::fromUtf8(reply)}});
        }
    }
    next_.start(0); // the next command, or the next page's, once the window's events are done
}

void Pages::pushState()
{
    const QByteArray state = text(stateOf(window_));
    if (state == lastState_) {
        return;
    }
    lastState_ = state;
    const QString message = QString::fromUtf8(state);
    for (QWebSocket *socket : pages_.keys()) {
        sendState(socket, message);
    }
}

void Pages::sendState(QWebSocket *socket, const QString &message)
{
    const auto page = pages_.find(socket);
    if (page == pages_.end()) {
        return;
    }
    page->behind = socket->bytesToWrite() >= kMaxUnsent;
    if (!page->behind) {
        socket->sendTextMessage(message);
    }
}

// Bytes went out to a page: one that missed a state gets the latest once it has room.
void Pages::caughtUp(QWebSocket *socket)
{
    const auto page = pages_.find(socket);
    if (page != pages_.end() && page->behind && socket->bytesToWrite() < kMaxUnsent) {
        sendState(socket, QString::fromUtf8(text(stateOf(window_))));
    }
}

void Pages::send(QWebSocket *socket, const QJsonObject &message)
{
    socket->sendTextMessage(QString::fromUtf8(text(message)));
}

// A page that did not answer the last ping is gone without saying so.
void Pages::ping()
{
    for (QWebSocket *socket : pages_.keys()) {
        const auto page = pages_.find(socket);
        if (page == pages_.end()) {
            continue; // closed by an abort before it
        }
        if (!page->answered) {
            socket->abort();
            continue;
        }
        page->answered = false;
        socket->ping();
    }
}

void Pages::portFailing(const QString &what)
{
    if (!failure_.isEmpty()) {
        return;
    }
    failure_ = what;
    queue_.clear();
    pushState();
    for (QWebSocket *socket : pages_.keys()) {
        if (pages_.contains(socket)) {
            send(socket, {{"failure", what}});
            socket->flush();
        }
    }
}
