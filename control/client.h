// The control socket's client, in the same executable: sends commands to the running panel of
// this program and prints each reply. Opens no window and no port, and needs no display.
#pragma once

#include <QStringList>

// Sends each command in turn (or, for the single command "-", each line of stdin) and prints
// each reply on stdout; stops at the first error. Returns the exit status: 0 when every command
// succeeded, 1 otherwise, or when no panel listens.
int sendCommands(int argc, char *argv[], const QStringList &commands);
