#include "pages/common/cimagewriter.h"

#include "services/cfilecopy.h"
#include "services/filelinks.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "ui/cprogressdialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

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

} // namespace

CImageWriter::CImageWriter(CFileCopy *copier, CProgressDialog *progress, QObject *parent)
    : QObject(parent)
    , m_Copier(copier)
    , m_Write(copier)
    , m_Progress(progress)
{
}

CImageWriter::~CImageWriter()
{
    if (g_WorkDirOwner == this)
        g_WorkDirOwner = nullptr;
    if (m_Runner) {
        const QString output = m_Write.Output();
        m_Runners.Retire(m_Runner, [output] { QFile::remove(output); });
        m_Runner = nullptr;
    }
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

void CImageWriter::QueueWorkDirRemoval()
{
    if (OwnsWorkDir())
        m_Copier->AddTask(WorkDir(), QString(), 1);
    else
        ClaimWorkDir();
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

void CImageWriter::Begin()
{
    m_Busy = true;
    m_StopRequested = false;
}

bool CImageWriter::BeginWhenReady(const QString &text, const QString &waitText,
                                  const std::function<int()> &percent)
{
    Begin();
    m_Progress->SetText(text);
    m_Progress->SetValue(0);
    int value = percent();
    if (value >= 0) {
        m_Progress->SetText(waitText);
        m_Progress->SetRange(0, 100);
        m_Progress->show();
    }
    for (; value >= 0 && !m_StopRequested; value = percent()) {
        m_Progress->SetValue(value);
        processEventsFor(200, m_Progress);
    }
    if (!m_StopRequested && WaitForStaging())
        return true;
    End();
    return false;
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
    const WriteOutcome staged = WaitForStaging() && !m_StopRequested
        ? m_Write.CheckStaged(root, notStaged)
        : WriteOutcome { WriteOutcome::Stopped, QString() };
    qCDebug(lcWriter) << "staged" << staged.kind;
    if (!staged.IsDone())
        End();
    return shown(staged);
}

CRunCommandThread *
CImageWriter::Prepare(const QString &target,
                      const std::function<QStringList(const QString &output)> &arguments,
                      const QString &text, const QString &failedText)
{
    const WriteOutcome reserved = m_Write.Reserve(target, failedText);
    if (!reserved.IsDone()) {
        End();
        shown(reserved);
        return nullptr;
    }
    m_LastArguments = arguments(m_Write.Output());
    m_Progress->SetText(text);
    m_Progress->SetRange(0, Mkisofs::ProgressMaximum);
    m_Progress->SetValue(0);
    m_Progress->show();
    m_Runner = m_Runners.Create(Mkisofs::Program(), m_LastArguments, Mkisofs::ErrorReader());
    // The check has just read every name the tool will see.
    const QString names = m_Write.TakeNamesHint();
    if (!names.isEmpty() && m_LastArguments.contains(WorkDirSource()))
        m_Runner->SetEnvironment(QString::fromLatin1(Mkisofs::NamesVariable), names);
    return m_Runner;
}

void CImageWriter::ReadOutput(const QString &line)
{
    const int value = m_Write.ReadOutput(line);
    if (value >= 0)
        m_Progress->SetValue(value);
}

bool CImageWriter::Finish()
{
    CRunCommandThread *runner = m_Runner;
    if (!runner)
        return false;
    m_Runner = nullptr;
    const CRunOutcome outcome = runner->Outcome();
    m_Runners.Retire(runner);
    const WriteOutcome judged = m_Write.Judge(outcome);
    End();
    return shown(judged);
}

void CImageWriter::Stop()
{
    m_StopRequested = true;
    if (m_Runner) {
        // What the tool wrote goes once it has ended.
        const QString output = m_Write.Output();
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

bool CImageWriter::shown(const WriteOutcome &outcome)
{
    if (outcome.kind == WriteOutcome::Failed)
        Util::ShowError(outcome.message);
    return outcome.IsDone();
}
