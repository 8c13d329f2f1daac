// Where a panel's control socket lives: in the user's runtime folder, which only the user can
// enter, one name for each program and device it drives, so panels on two boards listen at
// once and a client reaches the panel on the board it names.
#pragma once

#include "data_register.h"

#include <QString>

// The socket's file name for `program` driving `device`: "<program>.socket" for its default
// device, or when it has none to choose (the simulated board); otherwise
// "<program>-<device>.socket", with the device's absolute path, "/dev/" left off, percent-
// encoded but for letters, digits and "-._~", so no two paths share a name and none reaches
// outside the folder ("/dev/parport1": "zq80415-parport1.socket"). A path too long for a
// socket's name keeps its start and gains a digest of the whole.
QString controlSocketName(const char *program, const char *defaultDevice, const QString &device);

// The runtime folder: $XDG_RUNTIME_DIR, a folder of this user's that nobody but its group may
// enter and its group may not write in (mode 0700 or 0750); when it is unset or empty,
// "$TMPDIR/runtime-<user>" ("/tmp" without TMPDIR), made with mode 0700 when missing, held to
// the same rules and set as XDG_RUNTIME_DIR for the rest of the run. A `client` (--send) also
// takes a service's folder that root made for it (in /run), as root or a member of its group.
// Empty when the folder will not do, and `problem` says what is wrong and how to put it right.
QString runtimeFolder(QString &problem, bool client = false);

// The socket of the panel driving `device` (the device node, boardDevice; empty when it has
// none to choose) in the runtime folder; empty with `problem` as runtimeFolder().
inline QString controlSocketPath(const QString &device, QString &problem, bool client = false)
{
    const QString folder = runtimeFolder(problem, client);
    const LinkedPort &port = linkedPort();
    return folder.isEmpty()
               ? folder
               : folder + '/' + controlSocketName(port.program, port.defaultDevice, device);
}
