// Folders and log: the executable's folder, the per-user data folder, and the log switched on
// by "config.dat" beside the executable or in the data folder.

#include "services/logging.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

QMutex g_pathLock; // guards the cached executable folder and the fallback data folder
QMutex g_logLock; // one log entry at a time, so entries never interleave

QString stripTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// Folders shared with other programs or users; the data folder must never be one of these,
// nor a folder that contains the home folder.
bool isSharedFolder(const QString &path)
{
    const QString home = QDir::cleanPath(QDir::homePath());
    if (path == QLatin1String("/") || path == home || home.startsWith(path + QLatin1Char('/')))
        return true;
    const QStringList shared {
        QDir::cleanPath(QDir::tempPath()),
        QStringLiteral("/tmp"),
        QStringLiteral("/var/tmp"),
        QStringLiteral("/var/root"),
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)),
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)),
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)),
        QDir::cleanPath(home + QStringLiteral("/.local")),
    };
    return shared.contains(path);
}

// The location is a folder of this program's own: named after it, and not a shared folder.
bool isPrivateLocation(const QString &location)
{
    const QString name = QCoreApplication::applicationName();
    if (location.isEmpty() || name.isEmpty())
        return false;
    const QString path = QDir::cleanPath(location);
    if (!QDir::isAbsolutePath(path) || path.startsWith(QLatin1String("/var/root"))
        || QFileInfo(path).fileName() != name)
        return false;
    return !isSharedFolder(path);
}

// Creates every missing folder of path, each readable by its owner only, whatever the
// file-creation mask.
bool makePrivatePath(const QString &path)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString prefix;
    for (const QString &part : parts) {
        prefix += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(prefix);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
            qCWarning(lcFiles) << "Util::GetTempDir: cannot create" << prefix << strerror(errno);
            return false;
        }
    }
    return true;
}

// A folder in the system's temporary folder that belongs to this user alone.
QString privateTempFallback()
{
    static QString cached;
    if (!cached.isEmpty())
        return cached;
    const uid_t uid = geteuid();
    const QString candidate = QStringLiteral("/tmp/vexlor-%1").arg(uid);
    const QByteArray native = QFile::encodeName(candidate);
    ::mkdir(native.constData(), 0700);
    struct stat st;
    if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid
        && (st.st_mode & 077) == 0) {
        cached = candidate;
        return cached;
    }
    // Someone else holds that name: take a fresh private folder for this run.
    QByteArray pattern = QFile::encodeName(candidate + QStringLiteral("-XXXXXX"));
    if (::mkdtemp(pattern.data()))
        cached = QFile::decodeName(pattern);
    else
        qCWarning(lcFiles) << "Util::GetTempDir: no private folder in /tmp" << strerror(errno);
    return cached;
}

QString fallbackLocation()
{
    const QString home = QDir::cleanPath(QDir::homePath());
    if (!home.isEmpty() && home != QLatin1String("/")
        && !home.startsWith(QLatin1String("/var/root")) && QFileInfo(home).isDir())
        return home + QStringLiteral("/.vexlor");
    return privateTempFallback();
}

} // namespace

QString Util::GetCurrentExePath()
{
    static QString cached;
    QMutexLocker locker(&g_pathLock);
    if (!cached.isEmpty())
        return cached;
    if (QCoreApplication::instance()) {
        cached = stripTrailingSlash(QCoreApplication::applicationDirPath());
        return cached;
    }
    // Without an application object: the folder of the running executable.
    return stripTrailingSlash(
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath());
}

QString Util::GetTempDir()
{
    QMutexLocker locker(&g_pathLock);
    QString path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!isPrivateLocation(path)) {
        static QString warned;
        if (warned != path) {
            warned = path;
            qCWarning(lcFiles) << "Util::GetTempDir: unsafe data location" << path
                               << "- using a private one";
        }
        path = fallbackLocation();
    }
    path = stripTrailingSlash(QDir::cleanPath(path));
    if (!path.isEmpty() && !QFileInfo(path).isDir())
        makePrivatePath(path);
    return path;
}

bool Util::IsLogOn()
{
    // Beside the executable; or, for an installed program whose folder only root may write, in
    // the user's data folder.
    return QFileInfo::exists(GetCurrentExePath() + QStringLiteral("/config.dat"))
        || QFileInfo::exists(GetTempDir() + QStringLiteral("/config.dat"));
}

void Util::WriteLog(const QString &text)
{
    QMutexLocker locker(&g_logLock);
    if (!IsLogOn())
        return;
    const QString stamp
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QByteArray entry = (stamp + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8();

    QFile file(GetTempDir() + QStringLiteral("/log.txt"));
    const bool existed = file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return;
    if (!existed)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(entry);
    file.close();
}
