#include "model/localscan.h"

#include "model/ctree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcScan, "vexlor.scan", QtWarningMsg)

namespace {

QString timeText(const QFileInfo &info)
{
    return info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

#ifdef Q_OS_UNIX
// The text of timeText() for an entry whose stat is st (null when it could not be read), without
// QFileInfo's conversion to local time: that one asks the C library to reload the time zone (a
// stat of /etc/localtime) two or three times per entry, which cost most of a large folder's
// scan. The same localtime_r() fields give the same text. Times before 1970 or past 2037, which
// Qt converts by its own rules, and entries that cannot be read here go the slow way.
QString fastTimeText(const struct stat *st, const QFileInfo &info)
{
    if (!st || st->st_mtime < 0 || st->st_mtime > 0x7fffffff)
        return timeText(info);
    const time_t secs = st->st_mtime;
    struct tm local;
    if (!::localtime_r(&secs, &local) || local.tm_sec > 59)
        return timeText(info);
    char text[32];
    const int n
        = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text, n);
}

// The folder open for fstatat(), closed when it goes out of scope.
struct FolderFd
{
    explicit FolderFd(const QString &folder)
        : fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~FolderFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FolderFd(const FolderFd &) = delete;
    FolderFd &operator=(const FolderFd &) = delete;
    int fd;
};
#endif

void scan(Item *parent, const QString &folder, const QStringList &leaveOut, QStringList &ancestors)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Drives, QDir::Name | QDir::IgnoreCase);
    ancestors << QFileInfo(folder).canonicalFilePath();
#ifdef Q_OS_UNIX
    // Qt reloads the time zone before each conversion; the C library's own is set up once.
    ::tzset();
    const FolderFd folderFd(folder);
#endif
    for (const QFileInfo &entry : entries) {
        Item item;
        item.m_SrcPath = entry.absoluteFilePath();
        item.m_IsDir = entry.isDir();
        if (item.m_IsDir) {
            const QString canonical = entry.canonicalFilePath();
            if (ancestors.contains(canonical) || leaveOut.contains(canonical)) {
                qCWarning(lcScan) << "ScanLocalFolder leaves out" << item.m_SrcPath;
                continue;
            }
        }
        item.m_Path = parent->m_Path + QLatin1Char('/') + entry.fileName();
#ifdef Q_OS_UNIX
        // One stat relative to the open folder gives size and time: QFileInfo's own would walk
        // the whole path again.
        struct stat st;
        const bool statted = folderFd.fd >= 0
            && ::fstatat(folderFd.fd, QFile::encodeName(entry.fileName()).constData(), &st, 0) == 0;
        if (!item.m_IsDir)
            item.m_Size = QString::number(statted ? qint64(st.st_size) : entry.size());
        item.m_Time = fastTimeText(statted ? &st : nullptr, entry);
#else
        if (!item.m_IsDir)
            item.m_Size = QString::number(entry.size());
        item.m_Time = timeText(entry);
#endif
        Item *added = parent->m_Children.append(item);
        if (added->m_IsDir)
            scan(added, item.m_SrcPath, leaveOut, ancestors);
    }
    ancestors.removeLast();
}

} // namespace

void ScanLocalFolder(Item *parent, const QString &folder, const QStringList &leaveOut)
{
    QStringList canonical;
    for (const QString &path : leaveOut) {
        const QString c = QFileInfo(path).canonicalFilePath();
        if (!c.isEmpty())
            canonical << c;
    }
    QStringList ancestors;
    if (parent)
        scan(parent, folder, canonical, ancestors);
}

Item LocalItem(const QFileInfo &info, const QString &prefix)
{
    Item item;
    item.m_SrcPath = info.absoluteFilePath();
    item.m_Path = prefix + info.fileName();
    item.m_IsDir = info.isDir();
    if (!item.m_IsDir)
        item.m_Size = QString::number(info.size());
    item.m_Time = timeText(info);
    return item;
}

Item *AddLocalEntry(CTree &tree, const QString &source, const QString &prefix,
                    const QStringList &leaveOut, const std::function<void(const Item &)> &added)
{
    const QFileInfo info(source);
    if (!info.exists() || info.fileName().isEmpty())
        return nullptr;
    const Item item = LocalItem(info, prefix);
    if (!tree.AddItem(item))
        return nullptr;
    Item *entry = tree.GetItem(item.m_Path);
    if (added)
        added(*entry);
    if (entry->m_IsDir)
        ScanLocalFolder(entry, item.m_SrcPath, leaveOut);
    return entry;
}
