// Where a program's control socket lives: in the user's runtime directory ($XDG_RUNTIME_DIR,
// which only the user can enter), one name for each program so both can run at once.
#pragma once

#include <QStandardPaths>
#include <QString>

inline QString controlSocketPath(const char *program)
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/%1.socket").arg(QLatin1String(program));
}
