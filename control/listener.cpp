#include "listener.h"

#include "data_register.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Clients taken at one readiness, so a burst of connections leaves the window its turn.
constexpr int kAcceptsAtOnce = 64;

// A socket file this process made, identified by its inode so that a file another program
// has since put at the same path is left alone.
struct SocketFile {
    char path[sizeof(sockaddr_un::sun_path)] = {};
    dev_t device = 0;
    ino_t inode = 0;
};

SocketFile socketFiles[4];
bool removalRegistered = false;

void removeSocketFile(SocketFile &file)
{
    struct stat now {};
    if (file.path[0] != '\0' && ::lstat(file.path, &now) == 0 && now.st_dev == file.device &&
        now.st_ino == file.inode) {
        ::unlink(file.path);
    }
    file = SocketFile{};
}

void removeEverySocketFile()
{
    for (SocketFile &file : socketFiles) {
        removeSocketFile(file);
    }
}

int registerSocketFile(const QByteArray &path)
{
    struct stat made {};
    if (::lstat(path.constData(), &made) != 0) {
        return -1;
    }
    if (!removalRegistered) {
        // exit() too: Qt ends the program with it when the display connection breaks.
        removalRegistered = std::at_quick_exit(removeEverySocketFile) == 0 &&
                            std::atexit(removeEverySocketFile) == 0;
    }
    for (SocketFile &file : socketFiles) {
        if (file.path[0] == '\0') {
            std::memcpy(file.path, path.constData(), std::size_t(path.size()));
            file.device = made.st_dev;
            file.inode = made.st_ino;
            return int(&file - socketFiles);
        }
    }
    return -1;
}

sockaddr_un addressOf(const QByteArray &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return address;
}

QString errorText(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// What is at `path` before binding: nothing, or a socket nobody answers on, which is removed,
// is fine (empty); anything else is the problem.
QString clearPath(const QByteArray &path, const QString &name)
{
    struct stat found {};
    if (::lstat(path.constData(), &found) != 0) {
        return errno == ENOENT
                   ? QString()
                   : QStringLiteral("cannot listen on %1: %2.").arg(name, errorText(errno));
    }
    if (S_ISDIR(found.st_mode)) {
        return QStringLiteral("cannot listen on %1: a directory is in the way; remove it.")
            .arg(name);
    }
    if (!S_ISSOCK(found.st_mode)) {
        return QStringLiteral("cannot listen on %1: a file that is not a socket is in the way; "
                              "it is left as it is: move it away.")
            .arg(name);
    }
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    const int connected =
        ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int why = errno;
    ::close(probe);
    if (connected == 0) {
        return QStringLiteral("a running panel already listens on %1: send it commands with "
                              "--send, or stop it first.")
            .arg(name);
    }
    if (why != ECONNREFUSED) {
        return QStringLiteral("cannot listen on %1: %2.").arg(name, errorText(why));
    }
    ::unlink(path.constData()); // left by a panel that was killed
    return {};
}

// The socket's mode: this user's, and its group's too when the folder lets its group in.
mode_t socketMode(const QByteArray &folder)
{
    struct stat found {};
    const bool groupEnters = ::stat(folder.constData(), &found) == 0 && (found.st_mode & S_IXGRP);
    return S_IRUSR | S_IWUSR | (groupEnters ? S_IRGRP | S_IWGRP : 0);
}

} // namespace

Listener::Listener(QObject *parent)
    : QObject(parent)
{
}

Listener::~Listener()
{
    delete notifier_;
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
    if (spare_ >= 0) {
        ::close(spare_);
    }
    if (slot_ >= 0) {
        removeSocketFile(socketFiles[slot_]);
    }
}

long Listener::descriptorLimit()
{
    static const long limit = [] {
        rlimit limits{};
        if (::getrlimit(RLIMIT_NOFILE, &limits) != 0) {
            return 1024L;
        }
        if (limits.rlim_cur < limits.rlim_max) {
            limits.rlim_cur = limits.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limits);
            ::getrlimit(RLIMIT_NOFILE, &limits);
        }
        return long(std::min<rlim_t>(limits.rlim_cur, 1L << 30));
    }();
    return limit;
}

bool Listener::listen(const QString &path, QString &problem)
{
    descriptorLimit();
    const QByteArray name = QFile::encodeName(path);
    if (name.size() >= qsizetype(sizeof(sockaddr_un::sun_path))) {
        problem = QStringLiteral("cannot listen on %1: its path has %2 bytes, and a socket's "
                                 "path has at most %3; point XDG_RUNTIME_DIR at a shorter folder.")
                      .arg(path)
                      .arg(name.size())
                      .arg(sizeof(sockaddr_un::sun_path) - 1);
        return false;
    }
    if (problem = clearPath(name, path); !problem.isEmpty()) {
        return false;
    }
    descriptor_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(name);
    // Readable and writable by this user (and by the group the folder lets in, as a service's
    // folder does) before anyone can connect: listen() comes after.
    if (descriptor_ < 0 ||
        ::bind(descriptor_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::chmod(name.constData(), socketMode(QFile::encodeName(QFileInfo(path).path()))) != 0 ||
        ::listen(descriptor_, SOMAXCONN) != 0) {
        problem = QStringLiteral("cannot make the control socket %1 in %2: %3.")
                      .arg(QFileInfo(path).fileName(), QFileInfo(path).path(), errorText(errno));
        return false;
    }
    slot_ = registerSocketFile(name);
    spare_ = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    notifier_ = new QSocketNotifier(descriptor_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Listener::acceptSome);
    return true;
}

void Listener::acceptSome()
{
    for (int i = 0; i < kAcceptsAtOnce; ++i) {
        const int client = ::accept4(descriptor_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            exhausted_ = false;
            Q_EMIT accepted(client);
        } else if (errno == EMFILE || errno == ENFILE) {
            dropOne();
            if (spare_ < 0) {
                return;
            }
        } else if (errno != ECONNABORTED && errno != EINTR) {
            return; // none waiting (EAGAIN), or the kernel short of memory: at the next turn
        }
    }
}

// No descriptor is left for a client: the spare one makes room to take it and close it at
// once, so it is not left waiting and the socket keeps listening.
void Listener::dropOne()
{
    if (!exhausted_) {
        rlimit limits{};
        ::getrlimit(RLIMIT_NOFILE, &limits);
        std::fprintf(stderr,
                     "%s: out of file descriptors (at most %llu): script clients are closed at "
                     "once until some descriptors are free.\n",
                     linkedPort().program, static_cast<unsigned long long>(limits.rlim_cur));
        exhausted_ = true;
    }
    if (spare_ >= 0) {
        ::close(spare_);
    }
    const int client = ::accept4(descriptor_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) {
        ::close(client);
    }
    spare_ = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    if (spare_ < 0) { // nothing to make room with: the waiting clients wait a moment
        notifier_->setEnabled(false);
        QTimer::singleShot(100, notifier_, [this] { notifier_->setEnabled(true); });
    }
}
