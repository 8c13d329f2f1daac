#include "socket_path.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

// Socket paths are limited to 107 bytes; this leaves room for the runtime folder.
constexpr qsizetype kLongestDeviceName = 40;
constexpr qsizetype kDigestDigits = 16;

} // namespace

QString controlSocketName(const char *program, const char *defaultDevice, const QString &device)
{
    const QString name = QString::fromLatin1(program);
    const QString path =
        device.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(device).absoluteFilePath());
    if (path.isEmpty() || path == QLatin1String(defaultDevice)) {
        return name + QStringLiteral(".socket");
    }
    const QString devices = QStringLiteral("/dev/");
    QByteArray encoded =
        QUrl::toPercentEncoding(path.startsWith(devices) ? path.mid(devices.size()) : path);
    if (encoded.size() > kLongestDeviceName) {
        const QByteArray digest =
            QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex();
        encoded =
            encoded.left(kLongestDeviceName - kDigestDigits - 1) + '-' + digest.left(kDigestDigits);
    }
    return name + '-' + QString::fromLatin1(encoded) + QStringLiteral(".socket");
}
