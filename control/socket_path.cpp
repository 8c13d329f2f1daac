#include "socket_path.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Socket paths are limited to 107 bytes; this leaves room for the runtime folder.
constexpr qsizetype kLongestDeviceName = 40;
constexpr qsizetype kDigestDigits = 16;

// Why `folder` will not do as a runtime folder; empty when it will.
QString unfit(const QByteArray &folder)
{
    struct stat found {};
    if (::lstat(folder.constData(), &found) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!S_ISDIR(found.st_mode)) {
        return QStringLiteral("not a folder");
    }
    if (found.st_uid != ::geteuid()) {
        return QStringLiteral("owned by user %1, not by you (%2)")
            .arg(found.st_uid)
            .arg(::geteuid());
    }
    if ((found.st_mode & 07777) != S_IRWXU) {
        return QStringLiteral("mode %1, not 0700").arg(found.st_mode & 07777, 4, 8, QChar('0'));
    }
    return {};
}

// "$TMPDIR/runtime-<user>".
QByteArray fallbackFolder()
{
    const char *temporary = std::getenv("TMPDIR");
    const passwd *user = ::getpwuid(::geteuid());
    const QByteArray folder =
        QByteArray(temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp") + "/runtime-" +
        (user != nullptr ? QByteArray(user->pw_name) : QByteArray::number(::geteuid()));
    return folder;
}

} // namespace

QString runtimeFolder(QString &problem)
{
    const char *set = std::getenv("XDG_RUNTIME_DIR");
    const bool given = set != nullptr && set[0] != '\0';
    const QByteArray folder = given ? QByteArray(set) : fallbackFolder();
    const QString name = QFile::decodeName(folder);
    if (!given) {
        ::mkdir(folder.constData(), S_IRWXU); // fails harmlessly when it is there already
    }
    if (given && !folder.startsWith('/')) {
        problem = QStringLiteral("XDG_RUNTIME_DIR (%1) is not an absolute path: set it to your "
                                 "runtime folder, or unset it to use %2.")
                      .arg(name, QFile::decodeName(fallbackFolder()));
        return {};
    }
    if (const QString why = unfit(folder); !why.isEmpty()) {
        const QString fix = given ? QStringLiteral("or unset XDG_RUNTIME_DIR to use %1")
                                        .arg(QFile::decodeName(fallbackFolder()))
                                  : QStringLiteral("or set XDG_RUNTIME_DIR to one that is");
        problem =
            QStringLiteral("the runtime folder %1 will not do (%2): the control socket needs a "
                           "folder of yours with mode 0700 (chmod 700 %1), %3.")
                .arg(name, why, fix);
        return {};
    }
    if (!given) {
        ::setenv("XDG_RUNTIME_DIR", folder.constData(), 1); // Qt's own users find it there
    }
    return name;
}

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
