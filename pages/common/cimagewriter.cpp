#include "pages/common/cimagewriter.h"

#include "model/ctree.h"
#include "services/cfilecopy.h"
#include "services/filelinks.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "ui/cprogressdialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QTemporaryFile>
#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcWriter, "vexlor.writer", QtWarningMsg)

namespace {

// The writer whose page stages into the working folder now.
CImageWriter *g_WorkDirOwner = nullptr;

// Processes interface events for about ms milliseconds without spinning the processor, or until
// the progress dialog's Stop is pressed.
void processEventsFor(int ms, CProgressDialog *progress)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(progress, &CProgressDialog::SigCancel, &loop, &QEventLoop::quit);
    loop.exec();
}

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

CImageWriter::CImageWriter(CFileCopy *copier, CProgressDialog *progress, QObject *parent)
    : QObject(parent)
    , m_Copier(copier)
    , m_Progress(progress)
{
}

CImageWriter::~CImageWriter()
{
    if (g_WorkDirOwner == this)
        g_WorkDirOwner = nullptr;
    if (m_Runner) {
        const QString output = m_Output;
        m_Runners.Retire(m_Runner, [output] { QFile::remove(output); });
        m_Runner = nullptr;
    }
}

QString CImageWriter::WorkDir()
{
    return Util::GetTempDir() + QStringLiteral("/tmp/");
}

QString CImageWriter::WorkDirSource()
{
    return Util::GetTempDir() + QStringLiteral("/tmp");
}

void CImageWriter::ClaimWorkDir()
{
    // The page that owned the folder is closed: its copier must not go on writing into the
    // folder this page stages in.
    if (g_WorkDirOwner && g_WorkDirOwner != this)
        g_WorkDirOwner->StopCopier();
    g_WorkDirOwner = this;
    // Whatever an earlier page or run left in the working folder goes before any new copy, and
    // with it the anchors of its links.
    m_Copier->AddTask(WorkDir(), QString(), 1);
    m_Copier->AddTask(FileLinks::AnchorFolder(), QString(), 1);
}

bool CImageWriter::OwnsWorkDir() const
{
    return g_WorkDirOwner == this;
}

void CImageWriter::StopCopier()
{
    if (g_WorkDirOwner == this)
        g_WorkDirOwner = nullptr;
    m_Copier->stop();
    if (m_Copier->wait(0))
        return;
    Util::SetCursorBusy();
    while (!m_Copier->wait(20))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Util::RestoreCursor();
}

void CImageWriter::Restaged(const QString &source)
{
    collectCopyFailures();
    m_FailedSources.removeAll(source);
}

void CImageWriter::collectCopyFailures()
{
    for (const QString &source : m_Copier->TakeFailedTasks()) {
        qCWarning(lcWriter) << "copy failed:" << source;
        if (!m_FailedSources.contains(source))
            m_FailedSources << source;
    }
}

void CImageWriter::Begin()
{
    m_Busy = true;
    m_StopRequested = false;
}

bool CImageWriter::WaitForStaging()
{
    const qint64 total = m_Copier->GetLeftTaskBytes();
    // The copy text shows only while files are still to be copied or linked; removals and
    // renames keep the text the dialog had.
    const QString copying = tr("Copy files and directories...");
    const QString before = m_Progress->Text() == copying ? QString() : m_Progress->Text();
    if (total > 0 || m_Copier->HasCopyTasks()) {
        m_Progress->SetText(copying);
        m_Progress->SetRange(0, static_cast<int>(qMin<qint64>(total >> 10, INT_MAX)));
    }
    m_Progress->show();
    qCDebug(lcWriter) << "staging" << total;
    for (;;) {
        if (m_StopRequested)
            return false;
        QElapsedTimer measure;
        measure.start();
        const qint64 left = m_Copier->GetLeftTaskBytes();
        // Tasks that move no bytes (empty files, folders, removals) must be done too.
        if (left <= 0 && m_Copier->IsIdle())
            return true;
        if (left <= 0 && m_Progress->Text() == copying && !m_Copier->HasCopyTasks())
            m_Progress->SetText(before);
        // Asking for the bytes left measures queued folders; poll less often when that is slow,
        // so that the copier keeps most of the machine.
        const int pause = static_cast<int>(qBound<qint64>(100, measure.elapsed() * 4, 1000));
        m_Progress->SetValue(static_cast<int>(qBound<qint64>(0, (total - left) / 1024, INT_MAX)));
        processEventsFor(pause, m_Progress);
        qCDebug(lcWriter) << "staging" << total << left;
    }
}

bool CImageWriter::Staged(const Item &root, const QString &notStaged)
{
    if (!WaitForStaging() || m_StopRequested) {
        qCDebug(lcWriter) << "stopped while staging";
        End();
        return false;
    }
    const QStringList unstaged = UnstagedItems(root);
    if (unstaged.isEmpty())
        return true;
    End();
    Util::ShowError(notStaged + QLatin1Char('\n') + PathListText(unstaged));
    return false;
}

QStringList CImageWriter::UnstagedItems(const Item &root)
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

QStringList CImageWriter::LargeFiles(const Item &root)
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

QString CImageWriter::PathListText(const QStringList &paths, int max)
{
    QString text = paths.mid(0, max).join(QLatin1Char('\n'));
    if (paths.size() > max)
        text += QLatin1Char('\n') + tr("... and %1 more").arg(paths.size() - max);
    return text;
}

CRunCommandThread *
CImageWriter::Prepare(const QString &target,
                      const std::function<QStringList(const QString &output)> &arguments,
                      const QString &text, const QString &failedText)
{
    // The tool writes a hidden file beside the target (same file system, so it can take the
    // target's place at once); the name is reserved and freed again for the tool to create.
    const QFileInfo info(target);
    QTemporaryFile reserve(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                           + QStringLiteral(".XXXXXX"));
    if (!reserve.open()) {
        qCWarning(lcWriter) << "cannot write beside" << target << reserve.errorString();
        End();
        Util::ShowError(
            tr("%1: the folder \"%2\" cannot be written to.").arg(failedText, info.absolutePath()));
        return nullptr;
    }
    m_Output = reserve.fileName();
    reserve.close();
    reserve.remove();

    m_Target = target;
    m_FailedText = failedText;
    m_LastArguments = arguments(m_Output);
    m_Skipped.clear();
    m_Progress->SetText(text);
    m_Progress->SetRange(0, Mkisofs::ProgressMaximum);
    m_Progress->SetValue(0);
    m_Progress->show();
    m_Runner = m_Runners.Create(Mkisofs::Program(), m_LastArguments, Mkisofs::ErrorReader());
    return m_Runner;
}

void CImageWriter::ReadOutput(const QString &line)
{
    qCDebug(lcWriter) << "mkisofs:" << line;
    const QString skipped = Mkisofs::SkippedFile(line);
    if (!skipped.isEmpty()) {
        const QString stage = WorkDirSource() + QLatin1Char('/');
        m_Skipped << (skipped.startsWith(stage) ? skipped.mid(stage.size()) : skipped);
    }
    const int value = Mkisofs::ReadProgress(line);
    if (value >= 0)
        m_Progress->SetValue(value);
}

QString CImageWriter::FailureText(const CRunOutcome &outcome, bool imageWritten,
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

bool CImageWriter::Finish()
{
    CRunCommandThread *runner = m_Runner;
    if (!runner)
        return false;
    m_Runner = nullptr;
    const CRunOutcome outcome = runner->Outcome();
    m_Runners.Retire(runner);

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
    End();
    if (failure.isEmpty())
        return true;
    qCWarning(lcWriter) << "mkisofs failed" << outcome.kind << outcome.exitCode
                        << outcome.errorLines;
    QFile::remove(m_Output);
    Util::ShowError(failure);
    return false;
}

void CImageWriter::Stop()
{
    m_StopRequested = true;
    if (m_Runner) {
        // What the tool wrote goes once it has ended.
        const QString output = m_Output;
        m_Runners.Retire(m_Runner, [output] { QFile::remove(output); });
        m_Runner = nullptr;
    }
    End();
}

void CImageWriter::End()
{
    m_Busy = false;
    m_Progress->hide();
}
