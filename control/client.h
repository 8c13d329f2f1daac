// The control socket's client, in the same executable: sends commands to the running panel of
// this program and prints each reply. Opens no window and no port, and needs no display.
#pragma once

#include <QString>
#include <QStringList>

// Sends each command in turn (or, for the single command "-", each line of stdin) to the panel
// driving `device` (socket_path.h) and prints each reply on stdout; stops at the first error.
// Returns the exit status: 0 when every command succeeded, 1 otherwise, or when no panel
// listens.
int sendCommands(int argc, char *argv[], const QString &device, const QStringList &commands);
