// The control socket's listening end: a plain local stream socket whose file is readable and
// writable by this user only, and by the folder's group when the folder lets it in. It keeps
// listening whatever an accept meets, running out of descriptors included, and its file goes with
// it on every way the program ends: its destruction, exit() and std::quick_exit, which the window's
// port failure and a signal during a message box end the program with.
#pragma once

#include <QObject>
#include <QString>

#include <sys/types.h>

class QSocketNotifier;

class Listener : public QObject {
    Q_OBJECT

public:
    explicit Listener(QObject *parent);
    // Stops listening and removes the socket file, unless another file has taken its place.
    ~Listener() override;

    // Listens at `path`. A socket file there that nobody answers on is left from a killed run
    // and is replaced; one a live panel answers on, a path too long for a socket, anything
    // but a socket in the way or a folder it cannot be made in is not: then false, and
    // `problem` says why.
    bool listen(const QString &path, QString &problem);

    // The soft descriptor limit, raised to the hard one by the first listen().
    static long descriptorLimit();

signals:
    // A client connected: the slot takes over `descriptor`, a connected stream socket.
    void accepted(int descriptor);

private:
    void acceptSome();
    void dropOne();

    int descriptor_ = -1;
    int spare_ = -1; // held for the moment no descriptor is left: to take a client and drop it
    int slot_ = -1;  // in the files removed at quick_exit
    bool exhausted_ = false; // the drop has been reported, until a client is accepted again
    QSocketNotifier *notifier_ = nullptr;
};
