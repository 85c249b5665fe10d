#include "logic/imagewrite.h"

#include "model/ctree.h"
#include "services/cfilecopy.h"
#include "services/mkisofs.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

Q_LOGGING_CATEGORY(lcWriter, "vexlor.writer", QtWarningMsg)

namespace {

// Calls found(path below the folder, size or -1 for a folder) for every file and folder below
// folder (prefix: its path below the walk's start), following links but entering real folders
// only.
void walkStaged(const QByteArray &folder, const QString &prefix,
                const std::function<void(const QString &, qint64)> &found)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    while (const struct dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st;
        if (::fstatat(fd, name, &st, 0) != 0)
            continue;
        const QString path = prefix + QFile::decodeName(name);
        if (S_ISDIR(st.st_mode)) {
            found(path, -1);
            struct stat own;
            const bool real = entry->d_type == DT_DIR
                || (entry->d_type == DT_UNKNOWN
                    && ::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(own.st_mode));
            if (real)
                walkStaged(folder + '/' + name, path + QLatin1Char('/'), found);
        } else if (S_ISREG(st.st_mode)) {
            found(path, st.st_size);
        }
    }
    ::closedir(dir);
}

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
    // One walk of the working folder: staged path -> its size, -1 for a folder. A link counts as
    // what it leads to (a dangling one as nothing), as mkisofs takes it.
    QHash<QString, qint64> staged;
    m_StagedLarge.clear();
    m_Changed.clear();
    walkStaged(QFile::encodeName(WorkDirSource()), QString(),
               [&](const QString &path, qint64 size) {
                   staged.insert(path, size);
                   if (size >= 0 && Mkisofs::TooLargeForIso9660(size))
                       m_StagedLarge << path;
               });

    QStringList paths;
    const QSet<QString> failed(m_FailedSources.begin(), m_FailedSources.end());
    constexpr int limit = 50;
    WalkItems(root, [&](const Item &item) {
        // A linked file is read when the image is written: its size must still be the one the
        // project shows.
        if (!item.m_IsDir && !item.m_SrcPath.isEmpty() && !item.m_Size.isEmpty()
            && m_Changed.size() < limit) {
            const auto size = staged.constFind(item.m_Path);
            if (size != staged.constEnd() && size.value() >= 0
                && size.value() != item.m_Size.toLongLong())
                m_Changed << item.m_Path;
        }
        if (paths.size() >= limit)
            return false;
        if (!item.m_SrcPath.isEmpty() && failed.contains(item.m_SrcPath)) {
            paths << item.m_Path;
            return false;
        }
        const auto found = staged.constFind(item.m_Path);
        if (found == staged.constEnd() || (found.value() < 0) != item.m_IsDir) {
            // Below a missing folder everything is missing; it is named once.
            paths << item.m_Path;
            return false;
        }
        return true;
    });
    return paths;
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
