#include "socket_path.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Socket paths are limited to 107 bytes; this leaves room for the runtime folder.
constexpr qsizetype kLongestDeviceName = 40;
constexpr qsizetype kDigestDigits = 16;

QString modeOf(const struct stat &found)
{
    return QStringLiteral("mode %1").arg(found.st_mode & 07777, 4, 8, QChar('0'));
}

QString userName(uid_t uid)
{
    const passwd *user = ::getpwuid(uid);
    return user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *found = ::getgrgid(gid);
    return found != nullptr ? QString::fromLocal8Bit(found->gr_name) : QString::number(gid);
}

bool inGroup(gid_t gid)
{
    QList<gid_t> groups(::getgroups(0, nullptr));
    groups.resize(std::max(0, ::getgroups(int(groups.size()), groups.data())));
    return ::getegid() == gid || groups.contains(gid);
}

// Whether only root may have made `folder`: its parent is root's and nobody else writes there,
// as in /run, where the service manager makes a service's runtime folder.
bool madeByRoot(const QByteArray &folder)
{
    struct stat parent {};
    QByteArray path = folder;
    while (path.size() > 1 && path.endsWith('/')) {
        path.chop(1);
    }
    const QByteArray above = path.left(std::max<qsizetype>(1, path.lastIndexOf('/')));
    return ::stat(above.constData(), &parent) == 0 && parent.st_uid == 0 &&
           (parent.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Why a folder of another user's will not do for a client; empty when it will: one root made
// for a service, reached as root or as a member of its group.
QString unfitForeign(const QByteArray &folder, const struct stat &found)
{
    const QString owner = userName(found.st_uid);
    const QString group = groupName(found.st_gid);
    if (!madeByRoot(folder)) {
        return QStringLiteral("owned by %1, not by you (%2), and not made by root for a service")
            .arg(owner, userName(::geteuid()));
    }
    if (::geteuid() == 0) {
        return {};
    }
    if (!inGroup(found.st_gid)) {
        return QStringLiteral("owned by %1 and group %2, and you (%3) are neither root nor in "
                              "group %2 (adduser %3 %2, then log in again)")
            .arg(owner, group, userName(::geteuid()));
    }
    if ((found.st_mode & S_IXGRP) == 0) {
        return QStringLiteral("%1: its group %2 may not enter it").arg(modeOf(found), group);
    }
    return {};
}

// Why `folder` will not do as a runtime folder; empty when it will. Nobody but its owner, root
// and its group may enter it, and its group may not write in it: else another user could put a
// socket of theirs in the panel's place. A panel listens only in a folder of its own; a client
// (`client`) also reaches a service's folder (unfitForeign).
QString unfit(const QByteArray &folder, bool client)
{
    struct stat found {};
    if (::lstat(folder.constData(), &found) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (!S_ISDIR(found.st_mode)) {
        return QStringLiteral("not a folder");
    }
    const QString name = QFile::decodeName(folder);
    if ((found.st_mode & S_IRWXO) != 0) {
        return QStringLiteral("%1: others may enter it (chmod o= %2)").arg(modeOf(found), name);
    }
    if ((found.st_mode & S_IWGRP) != 0) {
        return QStringLiteral("%1: its group may write in it (chmod g-w %2)")
            .arg(modeOf(found), name);
    }
    if (found.st_uid != ::geteuid()) {
        return client ? unfitForeign(folder, found)
                      : QStringLiteral("owned by %1, not by you (%2): a panel listens only in a "
                                       "folder of its own")
                            .arg(userName(found.st_uid), userName(::geteuid()));
    }
    if ((found.st_mode & S_IRWXU) != S_IRWXU) {
        return QStringLiteral("%1, not 0700: you may not use it (chmod 700 %2)")
            .arg(modeOf(found), name);
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

QString runtimeFolder(QString &problem, bool client)
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
    if (const QString why = unfit(folder, client); !why.isEmpty()) {
        const QString fix = given ? QStringLiteral("or unset XDG_RUNTIME_DIR to use %1")
                                        .arg(QFile::decodeName(fallbackFolder()))
                                  : QStringLiteral("or set XDG_RUNTIME_DIR to one that will do");
        problem = QStringLiteral("the runtime folder %1 will not do for the control socket: %2; "
                                 "mend it, %3.")
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
