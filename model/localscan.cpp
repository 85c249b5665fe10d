#include "model/localscan.h"

#include "model/ctree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>

#include <algorithm>
#include <utility>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

Q_LOGGING_CATEGORY(lcScan, "vexlor.scan", QtWarningMsg)

namespace {

QString timeText(const QFileInfo &info)
{
    return info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

#ifdef Q_OS_UNIX
using FileId = std::pair<dev_t, ino_t>;

FileId idOf(const struct stat &st)
{
    return { st.st_dev, st.st_ino };
}

// One entry of a folder being read: its name, its sort key and its stat.
struct Entry
{
    QString name;
    QString key;
    struct stat st;
};

// Walks a folder with one readdir pass and one stat per entry relative to the open folder,
// without a QFileInfo per entry. The entries and their order are those of QDir::entryInfoList()
// with AllEntries | NoDotAndDotDot sorted by Name | IgnoreCase: hidden entries and entries that
// are neither a file nor a folder (dangling links, sockets, pipes, devices) stay out, a link
// counts as what it leads to. Names equal but for case, which QDir leaves in no set order, come
// by their exact text.
class Scanner
{
public:
    std::vector<FileId> leaveOut;

    void folder(Item *parent, const QString &path, const struct stat &st)
    {
        ancestors.push_back(idOf(st));
        std::vector<Entry> entries = read(path);
        parent->m_Children.reserve(parent->m_Children.size() + int(entries.size()));
        const QString base = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        const QString pathBase = parent->m_Path + QLatin1Char('/');
        // Every entry of this folder goes in before any subfolder is read, so that one folder
        // at a time is open however deep the tree.
        std::vector<std::pair<Item *, const struct stat *>> folders;
        for (const Entry &entry : entries) {
            Item item;
            item.m_SrcPath = base + entry.name;
            item.m_IsDir = S_ISDIR(entry.st.st_mode);
            if (item.m_IsDir && skipped(idOf(entry.st))) {
                qCWarning(lcScan) << "ScanLocalFolder leaves out" << item.m_SrcPath;
                continue;
            }
            item.m_Path = pathBase + entry.name;
            if (!item.m_IsDir)
                item.m_Size = QString::number(qint64(entry.st.st_size));
            item.m_Time = timeOf(entry.st, item.m_SrcPath);
            Item *added = parent->m_Children.append(std::move(item));
            if (added->m_IsDir)
                folders.emplace_back(added, &entry.st);
        }
        for (const auto &sub : folders)
            folder(sub.first, sub.first->m_SrcPath, *sub.second);
        ancestors.pop_back();
    }

private:
    std::vector<FileId> ancestors;
    time_t lastTime = -1;
    QString lastTimeText;

    bool skipped(const FileId &id) const
    {
        return std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()
            || std::find(leaveOut.begin(), leaveOut.end(), id) != leaveOut.end();
    }

    static std::vector<Entry> read(const QString &path)
    {
        std::vector<Entry> entries;
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (!dir) {
            if (fd >= 0)
                ::close(fd);
            qCDebug(lcScan) << "ScanLocalFolder cannot read" << path << strerror(errno);
            return entries;
        }
        while (const struct dirent *d = ::readdir(dir)) {
            if (d->d_name[0] == '.')
                continue; // hidden, "." and ".."
            Entry entry;
            if (::fstatat(fd, d->d_name, &entry.st, 0) != 0
                || !(S_ISREG(entry.st.st_mode) || S_ISDIR(entry.st.st_mode)))
                continue;
            entry.name = QFile::decodeName(
                QByteArray::fromRawData(d->d_name, int(std::strlen(d->d_name))));
            entry.key = entry.name.toLower();
            entries.push_back(std::move(entry));
        }
        ::closedir(dir);
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
            const int byKey = a.key.compare(b.key);
            return byKey != 0 ? byKey < 0 : a.name < b.name;
        });
        return entries;
    }

    // The entry's last change as "yyyy-MM-dd hh:mm:ss" in local time, the text QFileInfo gives,
    // without QFileInfo's conversion: that one asks the C library to reload the time zone (a stat
    // of /etc/localtime) two or three times per entry. Files made together share their second,
    // and so the text. Times before 1970 or past 2037, which Qt converts by its own rules, go
    // the slow way.
    QString timeOf(const struct stat &st, const QString &path)
    {
        const time_t secs = st.st_mtime;
        if (secs == lastTime)
            return lastTimeText;
        struct tm local;
        if (secs < 0 || secs > 0x7fffffff || !::localtime_r(&secs, &local) || local.tm_sec > 59)
            return timeText(QFileInfo(path));
        char text[32];
        const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d",
                                    local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                    local.tm_hour, local.tm_min, local.tm_sec);
        lastTime = secs;
        lastTimeText = QString::fromLatin1(text, n);
        return lastTimeText;
    }
};
#else
void scan(Item *parent, const QString &folder, const QStringList &leaveOut, QStringList &ancestors)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Drives, QDir::Name | QDir::IgnoreCase);
    ancestors << QFileInfo(folder).canonicalFilePath();
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
        if (!item.m_IsDir)
            item.m_Size = QString::number(entry.size());
        item.m_Time = timeText(entry);
        Item *added = parent->m_Children.append(std::move(item));
        if (added->m_IsDir)
            scan(added, added->m_SrcPath, leaveOut, ancestors);
    }
    ancestors.removeLast();
}
#endif

} // namespace

void ScanLocalFolder(Item *parent, const QString &folder, const QStringList &leaveOut)
{
    if (!parent)
        return;
#ifdef Q_OS_UNIX
    const QString path = QFileInfo(folder).absoluteFilePath();
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    // The C library's time zone is set up once here; localtime_r() does not look at it again.
    ::tzset();
    Scanner scanner;
    for (const QString &out : leaveOut) {
        struct stat os;
        if (!out.isEmpty() && ::stat(QFile::encodeName(out).constData(), &os) == 0)
            scanner.leaveOut.push_back(idOf(os));
    }
    scanner.folder(parent, path, st);
#else
    QStringList canonical;
    for (const QString &path : leaveOut) {
        const QString c = QFileInfo(path).canonicalFilePath();
        if (!c.isEmpty())
            canonical << c;
    }
    QStringList ancestors;
    scan(parent, folder, canonical, ancestors);
#endif
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
