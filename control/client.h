// The control socket's client, in the same executable: sends commands to the running panel of
// this program and prints each reply. Opens no window and no port, and needs no display.
#pragma once

#include <QString>
#include <QStringList>

// Notes whether stdin is open: to be called first thing in main, before anything opens a
// descriptor, which would otherwise take the place of a closed stdin and be read as it.
void noteStandardInput();

// Sends each command in turn (or, for the single command "-", each line of stdin) to the panel
// driving `device` (socket_path.h) and prints each reply on stdout; stops at the first error.
// Returns the exit status: 0 when every command succeeded, 1 otherwise, or when no panel
// listens, or stdin cannot be read or holds a line too long for a command.
int sendCommands(const QString &device, const QStringList &commands);
