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

// One command out, one reply back and printed. Returns false after an error reply.
bool exchange(QLocalSocket &socket, const QByteArray &command, int &status)
{
    socket.write(command + '\n');
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kReplyTimeoutMs)) {
            status = fail(QStringLiteral("the panel ended or stopped answering before it replied "
                                         "to '%1'.")
                              .arg(QString::fromLatin1(command)));
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

int sendCommands(int argc, char *argv[], const QStringList &commands)
{
    QCoreApplication client(argc, argv);
    const QString path = controlSocketPath(linkedPort().program);
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
