// Where a panel's control socket lives: in the user's runtime directory ($XDG_RUNTIME_DIR,
// which only the user can enter), one name for each program and device it drives, so panels
// on two boards listen at once and a client reaches the panel on the board it names.
#pragma once

#include "data_register.h"

#include <QStandardPaths>
#include <QString>

// The socket's file name for `program` driving `device`: "<program>.socket" for its default
// device, or when it has none to choose (the simulated board); otherwise
// "<program>-<device>.socket", with the device's absolute path, "/dev/" left off, percent-
// encoded but for letters, digits and "-._~", so no two paths share a name and none reaches
// outside the folder ("/dev/parport1": "zq80415-parport1.socket"). A path too long for a
// socket's name keeps its start and gains a digest of the whole.
QString controlSocketName(const char *program, const char *defaultDevice, const QString &device);

// `device`: the device node the panel drives (boardDevice); empty when it has none to choose.
inline QString controlSocketPath(const QString &device)
{
    const LinkedPort &port = linkedPort();
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + '/' +
           controlSocketName(port.program, port.defaultDevice, device);
}
