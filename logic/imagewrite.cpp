#include "logic/imagewrite.h"

#include "model/ctree.h"
#include "services/cfilecopy.h"
#include "services/mkisofs.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

Q_LOGGING_CATEGORY(lcWriter, "vexlor.writer", QtWarningMsg)

namespace {

// The entries of a folder of the working folder, read once: names with their types (DT_
// values), without "." and "..". No entry is stat'ed unless its file system does not tell its
// type. The names lie in one buffer, sorted, so that tens of thousands cost no allocation each.
class Listing
{
public:
    struct Entry
    {
        size_t offset; // of the name in m_Names
        size_t size;
        unsigned char type;
        bool matched; // an item of the project is at this entry
    };

    // The folder open as fd (-1: none, an empty listing).
    explicit Listing(int fd)
    {
        const int copy = fd >= 0 ? ::dup(fd) : -1;
        DIR *dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
        if (!dir) {
            if (copy >= 0)
                ::close(copy);
            return;
        }
        while (const struct dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            unsigned char type = entry->d_type;
            struct stat st;
            if (type == DT_UNKNOWN && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = IFTODT(st.st_mode);
            const size_t size = std::strlen(name);
            m_Entries.push_back({ m_Names.size(), size, type, false });
            m_Names.append(name, size);
        }
        ::closedir(dir);
        std::sort(m_Entries.begin(), m_Entries.end(),
                  [this](const Entry &a, const Entry &b) { return Name(a) < Name(b); });
    }

    std::string_view Name(const Entry &entry) const
    {
        return std::string_view(m_Names).substr(entry.offset, entry.size);
    }
    // The entry of that name, or null.
    Entry *Find(std::string_view name)
    {
        const auto found = std::lower_bound(
            m_Entries.begin(), m_Entries.end(), name,
            [this](const Entry &entry, std::string_view key) { return Name(entry) < key; });
        return found != m_Entries.end() && Name(*found) == name ? &*found : nullptr;
    }
    // The entry's name as a C string.
    std::string CName(const Entry &entry) const { return std::string(Name(entry)); }
    std::vector<Entry> &Entries() { return m_Entries; }

private:
    std::string m_Names;
    std::vector<Entry> m_Entries;
};

// The folders of the files added from disk, each opened once while its files are looked at (the
// files of a folder come one after the other in the project), so that a file is stat'ed by its
// name alone instead of through the working folder's link and the anchor behind it.
class SourceFolders
{
public:
    SourceFolders() = default;
    SourceFolders(const SourceFolders &) = delete;
    SourceFolders &operator=(const SourceFolders &) = delete;
    ~SourceFolders() { close(); }

    // The stat of the file at the absolute path, following links as mkisofs does.
    bool Stat(const QString &path, struct stat *st)
    {
        const QByteArray bytes = QFile::encodeName(path);
        const int slash = bytes.lastIndexOf('/');
        if (slash < 0)
            return ::stat(bytes.constData(), st) == 0;
        if (!m_Open || m_Folder.size() != slash
            || std::memcmp(m_Folder.constData(), bytes.constData(), size_t(slash)) != 0) {
            close();
            m_Folder = bytes.left(slash);
            m_Open = true;
            m_Fd = ::open(slash > 0 ? m_Folder.constData() : "/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
        return m_Fd >= 0 && ::fstatat(m_Fd, bytes.constData() + slash + 1, st, 0) == 0;
    }

private:
    void close()
    {
        if (m_Fd >= 0)
            ::close(m_Fd);
        m_Fd = -1;
        m_Open = false;
    }

    QByteArray m_Folder;
    bool m_Open = false; // m_Folder was opened (m_Fd is -1 when that failed)
    int m_Fd = -1;
};

// The check of the working folder against the project, one folder at a time: every item must
// have its entry (a real folder for a folder; a file, or a link that leads to one, for a file),
// and a file added from disk must still have the size it had when it was added. Links the page
// made lead to the item's own source, which is stat'ed where it lies.
struct StagingCheck
{
    static constexpr int Limit = 50;

    QSet<QString> failed; // sources of copy tasks that failed
    QStringList missing; // at most Limit, in tree order
    QStringList changed; // at most Limit
    QStringList large; // staged files of 4 GiB or more, relative to the working folder
    Mkisofs::NameShape names; // of every entry of the working folder
    SourceFolders sources;

    void Missing(const Item &item)
    {
        if (missing.size() < Limit)
            missing << item.m_Path;
    }

    void Staged(const QString &path, qint64 size)
    {
        if (Mkisofs::TooLargeForIso9660(size))
            large << path;
    }

    // The children of folder against the folder of the working folder open as fd (-1 when there
    // is none); prefix is the path of that folder below the working folder ("" or "a/b/").
    void Folder(const Item &folder, int fd, const QString &prefix)
    {
        Listing listing(fd);
        Mkisofs::NameCounter counter;
        for (const Listing::Entry &entry : listing.Entries()) {
            const std::string_view name = listing.Name(entry);
            counter.Name(name.data(), name.size());
        }
        counter.EndFolder(&names);
        size_t matched = 0;
        for (const Item *child : folder.m_Children) {
            const Item &item = *child;
            if (!item.m_SrcPath.isEmpty() && failed.contains(item.m_SrcPath)) {
                Missing(item);
                continue;
            }
            const QByteArray name = QFile::encodeName(item.GetName());
            Listing::Entry *entry
                = listing.Find(std::string_view(name.constData(), size_t(name.size())));
            if (!entry || entry->matched) {
                // Below a missing folder everything is missing; it is named once.
                Missing(item);
                continue;
            }
            entry->matched = true;
            ++matched;
            if (item.m_IsDir) {
                const int sub = entry->type == DT_DIR
                    ? ::openat(fd, name.constData(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                    : -1;
                if (sub < 0) {
                    Missing(item);
                    continue;
                }
                Folder(item, sub, prefix + item.GetName() + QLatin1Char('/'));
                ::close(sub);
                continue;
            }
            struct stat st;
            const bool linked = entry->type == DT_LNK && !item.m_SrcPath.isEmpty();
            const bool there = linked ? sources.Stat(item.m_SrcPath, &st)
                                      : (entry->type == DT_REG || entry->type == DT_LNK)
                    && ::fstatat(fd, name.constData(), &st, 0) == 0;
            if (!there || !S_ISREG(st.st_mode)) {
                Missing(item);
                continue;
            }
            Staged(item.m_Path, st.st_size);
            // A file added from disk is read when the image is written: its size must still be
            // the one the project shows.
            if (!item.m_SrcPath.isEmpty() && !item.m_Size.isEmpty()
                && st.st_size != item.m_Size.toLongLong() && changed.size() < Limit)
                changed << item.m_Path;
        }
        if (matched == listing.Entries().size())
            return;
        // Entries the project does not show go into the image all the same: their size counts.
        for (const Listing::Entry &entry : listing.Entries()) {
            if (entry.matched)
                continue;
            const std::string name = listing.CName(entry);
            const QString path = prefix + QFile::decodeName(name.c_str());
            struct stat st;
            if (entry.type == DT_DIR) {
                const int sub
                    = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    Folder(Item(), sub, path + QLatin1Char('/'));
                    ::close(sub);
                }
            } else if (::fstatat(fd, name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
                Staged(path, st.st_size);
            }
        }
    }
};

QString tr(const char *text)
{
    return QCoreApplication::translate("CImageWriter", text);
}

} // namespace

CImageWrite::CImageWrite(CFileCopy *copier)
    : m_Copier(copier)
{
}

QString CImageWrite::WorkDir()
{
    return Util::GetTempDir() + QStringLiteral("/tmp/");
}

QString CImageWrite::WorkDirSource()
{
    return Util::GetTempDir() + QStringLiteral("/tmp");
}

void CImageWrite::Restaged(const QString &source)
{
    collectCopyFailures();
    m_FailedSources.removeAll(source);
}

void CImageWrite::collectCopyFailures()
{
    for (const QString &source : m_Copier->TakeFailedTasks()) {
        qCWarning(lcWriter) << "copy failed:" << source;
        if (!m_FailedSources.contains(source))
            m_FailedSources << source;
    }
}

WriteOutcome CImageWrite::CheckStaged(const Item &root, const QString &notStaged)
{
    const QStringList unstaged = UnstagedItems(root);
    if (unstaged.isEmpty())
        return {};
    return WriteOutcome::Failure(notStaged + QLatin1Char('\n') + PathListText(unstaged));
}

QStringList CImageWrite::UnstagedItems(const Item &root)
{
    collectCopyFailures();
    m_StagedLarge.clear();
    m_Changed.clear();
    StagingCheck check;
    check.failed = QSet<QString>(m_FailedSources.begin(), m_FailedSources.end());
    const int fd = ::open(QFile::encodeName(WorkDirSource()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    check.Folder(root, fd, QString());
    if (fd >= 0)
        ::close(fd);
    m_StagedLarge = check.large;
    m_Changed = check.changed;
    m_NamesHint = fd >= 0 ? Mkisofs::NamesHint(check.names) : QString();
    return check.missing;
}

QString CImageWrite::TakeNamesHint()
{
    QString hint;
    hint.swap(m_NamesHint);
    return hint;
}

QStringList CImageWrite::LargeFiles(const Item &root)
{
    QStringList paths;
    WalkItems(root, [&](const Item &item) {
        if (item.m_IsDir)
            return true;
        if (Mkisofs::TooLargeForIso9660(item.m_Size.toLongLong()))
            paths << item.m_Path;
        return false;
    });
    return paths;
}

QString CImageWrite::PathListText(const QStringList &paths, int max)
{
    QString text = paths.mid(0, max).join(QLatin1Char('\n'));
    if (paths.size() > max)
        text += QLatin1Char('\n') + tr("... and %1 more").arg(paths.size() - max);
    return text;
}

WriteOutcome CImageWrite::Reserve(const QString &target, const QString &failedText)
{
    // The tool writes a hidden file beside the target (same file system, so it can take the
    // target's place at once); the name is reserved and freed again for the tool to create.
    const QFileInfo info(target);
    QTemporaryFile reserve(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                           + QStringLiteral(".XXXXXX"));
    if (!reserve.open()) {
        qCWarning(lcWriter) << "cannot write beside" << target << reserve.errorString();
        return WriteOutcome::Failure(
            tr("%1: the folder \"%2\" cannot be written to.").arg(failedText, info.absolutePath()));
    }
    m_Output = reserve.fileName();
    reserve.close();
    reserve.remove();
    m_Target = target;
    m_FailedText = failedText;
    m_Skipped.clear();
    return {};
}

int CImageWrite::ReadOutput(const QString &line)
{
    qCDebug(lcWriter) << "mkisofs:" << line;
    const QString skipped = Mkisofs::SkippedFile(line);
    if (!skipped.isEmpty()) {
        const QString stage = WorkDirSource() + QLatin1Char('/');
        m_Skipped << (skipped.startsWith(stage) ? skipped.mid(stage.size()) : skipped);
    }
    return Mkisofs::ReadProgress(line);
}

QString CImageWrite::FailureText(const CRunOutcome &outcome, bool imageWritten,
                                 const QString &failedText)
{
    QString text;
    switch (outcome.kind) {
    case CRunOutcome::Succeeded:
        if (imageWritten)
            return QString();
        text = tr("%1: mkisofs wrote no ISO file.").arg(failedText);
        break;
    case CRunOutcome::ToolError:
        text = tr("%1 (mkisofs exit code %2).").arg(failedText).arg(outcome.exitCode);
        break;
    case CRunOutcome::Crashed:
        text = tr("mkisofs stopped unexpectedly; the ISO file was not created.");
        break;
    case CRunOutcome::FailedToStart:
        text = tr("Could not start mkisofs.");
        break;
    case CRunOutcome::Stopped:
        text = tr("%1: mkisofs was stopped.").arg(failedText);
        break;
    }
    const QString message = Mkisofs::PickMessage(outcome.errorLines);
    if (!message.isEmpty())
        text += QLatin1Char('\n') + message;
    return text;
}

WriteOutcome CImageWrite::Judge(const CRunOutcome &outcome)
{
    const QFileInfo output(m_Output);
    const bool written = output.isFile() && output.size() > 0;
    QString failure = FailureText(outcome, written, m_FailedText);
    // mkisofs leaves out a file it cannot read (gone since the check) and goes on.
    if (failure.isEmpty() && !m_Skipped.isEmpty())
        failure = tr("%1: these files could not be read:").arg(m_FailedText) + QLatin1Char('\n')
            + PathListText(m_Skipped);
    if (failure.isEmpty()
        && std::rename(QFile::encodeName(m_Output).constData(),
                       QFile::encodeName(m_Target).constData())
            != 0) {
        failure = tr("%1: the ISO file could not take the place of \"%2\": %3.")
                      .arg(m_FailedText, m_Target, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (failure.isEmpty())
        return {};
    qCWarning(lcWriter) << "mkisofs failed" << outcome.kind << outcome.exitCode
                        << outcome.errorLines;
    QFile::remove(m_Output);
    return WriteOutcome::Failure(failure);
}
