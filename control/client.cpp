#include "client.h"

#include "data_register.h"
#include "socket_path.h"

#include <QCoreApplication>
#include <QLocalSocket>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int kReplyTimeoutMs = 30000;

int fail(const QString &why)
{
    std::fprintf(stderr, "%s: %s\n", linkedPort().program, why.toLocal8Bit().constData());
    return 1;
}

// What is known of a command sent without a reply: it may have run, all or part of it.
QString unanswered(const QString &command, bool panelEnded)
{
    const QString what =
        panelEnded ? QStringLiteral("the panel ended before it replied to '%1'").arg(command)
                   : QStringLiteral("the panel did not reply to '%1' within %2 s")
                         .arg(command, QString::number(kReplyTimeoutMs / 1000));
    return what + QStringLiteral(": whether it reached the chip is unknown. A panel started "
                                 "again writes its start-up state, which 'state' then shows.");
}

// One command out, one reply back and printed. Returns false after an error reply.
bool exchange(QLocalSocket &socket, const QByteArray &command, int &status)
{
    socket.write(command + '\n');
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kReplyTimeoutMs)) {
            status = fail(unanswered(QString::fromLatin1(command),
                                     socket.state() != QLocalSocket::ConnectedState));
            return false;
        }
    }
    const QByteArray reply = socket.readLine();
    std::fputs(reply.constData(), stdout);
    std::fflush(stdout);
    status = reply.startsWith("error:") ? 1 : 0;
    return status == 0;
}

} // namespace

int sendCommands(int argc, char *argv[], const QString &device, const QStringList &commands)
{
    QCoreApplication client(argc, argv);
    const QString path = controlSocketPath(device);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(2000)) {
        return fail(QStringLiteral("no panel is listening on %1: start one with %2 --listen.")
                        .arg(path, QLatin1String(linkedPort().program)));
    }
    int status = 0;
    if (commands == QStringList{QStringLiteral("-")}) {
        for (std::string line; std::getline(std::cin, line);) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) {
                continue; // blank lines in a script file
            }
            if (!exchange(socket, QByteArray::fromStdString(line), status)) {
                return status;
            }
        }
        return status;
    }
    for (const QString &command : commands) {
        if (command.contains('\n')) {
            return fail(QStringLiteral("a command is one line: '%1'.").arg(command));
        }
        if (!exchange(socket, command.toLocal8Bit(), status)) {
            return status;
        }
    }
    return status;
}
