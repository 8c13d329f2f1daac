// How a run of the panel ends besides closing the window: Ctrl+Q, and the signals a user sends
// (Ctrl+C, a closing terminal, a logout, kill). Each closes the window between two handlers,
// never inside a register write, so the write in progress goes out whole and nothing more; a
// signal while a message box is up ends the program at once.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

class Ending : public QObject {
    Q_OBJECT

public:
    // Catches SIGINT, SIGTERM and SIGHUP from now on; the handler only writes the signal's
    // number to a socket pair that the event loop reads. A closed pipe no longer ends the
    // program either: writing to it fails instead.
    explicit Ending(QWidget &window);

    // Reads a signal that arrived before the event loop could: true once one has.
    bool signalled();
    // The program's exit status: 128 + the signal's number after a signal, as a shell reports
    // it, otherwise the event loop's.
    int status(int loopStatus) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endNow();

    QWidget &window_;
    QSocketNotifier *notifier_ = nullptr;
    int signal_ = 0;
};
