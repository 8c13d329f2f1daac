#include "client.h"

#include "commands.h"
#include "data_register.h"
#include "socket_path.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kReplyTimeoutMs = 30000;
// Bytes of stdin read at a time: a line is taken whole or refused within two of these.
constexpr qsizetype kReadSize = 4096;

bool standardInputOpen = true;

int fail(const QString &why)
{
    std::fprintf(stderr, "%s: %s\n", linkedPort().program, why.toLocal8Bit().constData());
    return 1;
}

QString errorText(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// What is known of a command sent without a reply: it may have run, all or part of it.
QString unanswered(const QByteArray &command, bool panelEnded)
{
    const QString what = panelEnded ? QStringLiteral("the panel ended before it replied to '%1'")
                                          .arg(QString::fromLatin1(command))
                                    : QStringLiteral("the panel did not reply to '%1' within %2 s")
                                          .arg(QString::fromLatin1(command),
                                               QString::number(kReplyTimeoutMs / 1000));
    return what + QStringLiteral(": whether it reached the chip is unknown. A panel started "
                                 "again writes its start-up state, which 'state' then shows.");
}

// The connection to the panel: one command out, one reply line back.
class Link {
public:
    ~Link()
    {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }

    // Connects to the socket at `path`; the status to end with when it cannot.
    std::optional<int> connectTo(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        if (name.size() >= qsizetype(sizeof address.sun_path)) {
            return fail(QStringLiteral("cannot reach a panel on %1: its path has %2 bytes, and a "
                                       "socket's path has at most %3; point XDG_RUNTIME_DIR at a "
                                       "shorter folder.")
                            .arg(path)
                            .arg(name.size())
                            .arg(sizeof address.sun_path - 1));
        }
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        descriptor_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (descriptor_ >= 0 && ::connect(descriptor_, reinterpret_cast<const sockaddr *>(&address),
                                          sizeof address) == 0) {
            return std::nullopt;
        }
        if (errno == ENOENT || errno == ECONNREFUSED) {
            return fail(QStringLiteral("no panel is listening on %1: start one with %2 --listen.")
                            .arg(path, QLatin1String(linkedPort().program)));
        }
        return fail(QStringLiteral("cannot reach a panel on %1: %2.").arg(path, errorText(errno)));
    }

    // Sends `command` and prints its reply. Returns the status so far: 1 after an error
    // reply or when no reply came.
    int exchange(const QByteArray &command)
    {
        const QByteArray line = command + '\n';
        if (::send(descriptor_, line.constData(), std::size_t(line.size()), MSG_NOSIGNAL) !=
            line.size()) {
            return fail(unanswered(command, true));
        }
        qsizetype end = -1;
        while ((end = received_.indexOf('\n')) < 0) {
            pollfd ready{descriptor_, POLLIN, 0};
            const int waited = ::poll(&ready, 1, kReplyTimeoutMs);
            if (waited == 0) {
                return fail(unanswered(command, false));
            }
            if (waited < 0) {
                continue; // interrupted: wait again
            }
            char buffer[kReadSize];
            const ssize_t got = ::recv(descriptor_, buffer, sizeof buffer, 0);
            if (got <= 0 && !(got < 0 && errno == EINTR)) {
                return fail(unanswered(command, true));
            }
            received_.append(buffer, got > 0 ? got : 0);
        }
        const QByteArray reply = received_.left(end + 1);
        received_.remove(0, end + 1);
        std::fwrite(reply.constData(), 1, std::size_t(reply.size()), stdout);
        std::fflush(stdout);
        return reply.startsWith("error:") ? 1 : 0;
    }

private:
    int descriptor_ = -1;
    QByteArray received_;
};

// Stdin's lines, read a bounded amount at a time.
class InputLines {
public:
    // The next line, its line end removed; nothing at the end of stdin or when it fails,
    // which `problem` then says.
    std::optional<QByteArray> next(QString &problem)
    {
        qsizetype end = -1;
        while ((end = buffer_.indexOf('\n')) < 0 && !ended_) {
            if (buffer_.size() > kMaxCommandLength + 1) {
                break; // too long whatever follows: not read any further
            }
            char chunk[kReadSize];
            const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (got < 0 && errno != EINTR) {
                problem = QStringLiteral("cannot read the commands from stdin: %1.")
                              .arg(errorText(errno));
                return std::nullopt;
            }
            ended_ = got == 0;
            buffer_.append(chunk, got > 0 ? got : 0);
        }
        ++number_;
        QByteArray line = buffer_.left(end < 0 ? buffer_.size() : end);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.size() > kMaxCommandLength) {
            problem = QStringLiteral("line %1 of stdin is longer than %2 bytes, the longest "
                                     "command: it is not sent, nor anything after it.")
                          .arg(number_)
                          .arg(kMaxCommandLength);
            return std::nullopt;
        }
        if (end < 0 && line.isEmpty()) {
            return std::nullopt; // the end of stdin
        }
        buffer_.remove(0, end < 0 ? buffer_.size() : end + 1);
        return line;
    }

private:
    QByteArray buffer_;
    bool ended_ = false;
    int number_ = 0;
};

int sendInput(Link &link)
{
    InputLines input;
    QString problem;
    int status = 0;
    while (const std::optional<QByteArray> line = input.next(problem)) {
        if (line->trimmed().isEmpty()) {
            continue; // blank lines in a script file
        }
        if ((status = link.exchange(*line)) != 0) {
            return status;
        }
    }
    return problem.isEmpty() ? status : fail(problem);
}

} // namespace

void noteStandardInput()
{
    standardInputOpen = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
}

int sendCommands(const QString &device, const QStringList &commands)
{
    const bool fromInput = commands == QStringList{QStringLiteral("-")};
    if (fromInput && !standardInputOpen) {
        return fail(QStringLiteral("--send - reads the commands from stdin, which is closed."));
    }
    for (const QString &command : commands) {
        if (command.contains('\n')) {
            return fail(QStringLiteral("a command is one line: '%1'.").arg(command));
        }
    }
    QString problem;
    const QString path = controlSocketPath(device, problem, true);
    if (path.isEmpty()) {
        return fail(problem);
    }
    Link link;
    if (const std::optional<int> status = link.connectTo(path)) {
        return *status;
    }
    if (fromInput) {
        return sendInput(link);
    }
    for (const QString &command : commands) {
        if (const int status = link.exchange(command.toLocal8Bit()); status != 0) {
            return status;
        }
    }
    return 0;
}
