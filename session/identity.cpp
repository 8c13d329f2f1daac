#include "identity.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

bool fitsAField(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char(',') &&
           c != QLatin1Char(';');
}

// The host's name up to its first dot, as avahi names the host on the link ("rack3.local").
QString shortHostName()
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return QStringLiteral("localhost");
    }
    return QString::fromLocal8Bit(host).section(QLatin1Char('.'), 0, 0);
}

// The device as the name shows it: "parport0" for /dev/parport0, any other path whole (which
// follows the host's name after a colon, "rack3:/srv/port").
QString deviceInName(const QString &device)
{
    if (device.isEmpty()) {
        return QStringLiteral("simulated");
    }
    const QString path = QDir::cleanPath(QFileInfo(device).absoluteFilePath());
    const QString devices = QStringLiteral("/dev/");
    return path.startsWith(devices) ? path.mid(devices.size()) : path;
}

} // namespace

QString unfitBoardName(const QString &name)
{
    if (name.trimmed().isEmpty()) {
        return QStringLiteral("--name needs a name for the board.");
    }
    for (const QChar c : name) {
        if (!fitsAField(c)) {
            return QStringLiteral("--name: '%1' may not be in a board's name, which *IDN? gives "
                                  "as a field (printable ASCII without ',' and ';').")
                .arg(c);
        }
    }
    if (name.size() > kLongestBoardName) {
        return QStringLiteral("--name: '%1' is longer than %2 characters, the most a DNS-SD "
                              "name holds after the model's.")
            .arg(name)
            .arg(kLongestBoardName);
    }
    return {};
}

BoardIdentity boardIdentity(const QString &name, const QString &device)
{
    BoardIdentity identity;
    identity.firmware = PROJECT_VERSION;
    if (!name.isEmpty()) {
        identity.name = name.toLatin1();
        return identity;
    }
    // Where the board is: unique on a LAN, as host names are, and the same after a restart. A
    // name too long keeps the end of the device's path and the start of the host's name.
    QString where = deviceInName(device).right(kLongestBoardName / 2);
    const QChar separator = where.startsWith('/') ? QLatin1Char(':') : QLatin1Char('/');
    where.prepend(shortHostName().left(kLongestBoardName - where.size() - 1) + separator);
    for (QChar &c : where) {
        c = fitsAField(c) ? c : QLatin1Char('_');
    }
    identity.name = where.toLatin1();
    return identity;
}
