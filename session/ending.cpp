#include "ending.h"

#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
int wakeup[2] = {-1, -1}; // [0] written by the handler, [1] read by the event loop
volatile std::sig_atomic_t stopping = 0;

void onSignal(int number)
{
    stopping = 1;
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = write(wakeup[0], &byte, 1);
    errno = saved;
}

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace

Ending::Ending(QWidget &window)
    : window_(window)
{
    stopping = 0;
    std::signal(SIGPIPE, SIG_IGN);
    auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), &window);
    connect(quit, &QShortcut::activated, &window, &QWidget::close);
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, wakeup) < 0) {
        return; // the default actions stay: no worse than before
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : kCaught) {
        sigaction(number, &action, nullptr);
    }
    // From the signal on, the operator's input is dropped until the window closes: a key press,
    // drag or script command already queued must not start another write.
    QCoreApplication::instance()->installEventFilter(this);
    notifier_ = new QSocketNotifier(wakeup[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        if (signalled()) {
            endNow();
        }
    });
}

// Between handlers the window closes and the event loop ends the run. A message box (a port
// failure being reported) runs an event loop of its own that closing the window does not end,
// and the program ends when the box is dismissed: so with a box up the program ends here, at
// once, running only what was registered for quick_exit. No write is in progress while a box
// is up, and none may follow.
void Ending::endNow()
{
    if (QApplication::activeModalWidget() == nullptr) {
        window_.close();
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::quick_exit(status(0));
}

bool Ending::eventFilter(QObject *watched, QEvent *event)
{
    // Socket activity other than our own is held back too: a script's command queued behind
    // the signal must not run either.
    const bool heldBack =
        isInput(event->type()) || (event->type() == QEvent::SockAct && watched != notifier_);
    if (stopping != 0 && heldBack) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool Ending::signalled()
{
    char byte = 0;
    while (read(wakeup[1], &byte, 1) == 1) {
        if (signal_ == 0) {
            signal_ = static_cast<unsigned char>(byte); // the first one decides the status
        }
    }
    return signal_ != 0;
}

int Ending::status(int loopStatus) const
{
    return signal_ != 0 ? 128 + signal_ : loopStatus;
}
