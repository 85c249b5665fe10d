#ifndef VEXLOR_CIMAGEWRITER_H
#define VEXLOR_CIMAGEWRITER_H

// The writer of ISO images that the Create and Edit pages share, the widget side of CImageWrite
// (logic/imagewrite.h): one page at a time owns the working folder and stages into it with its
// copier; the writer waits for the staging with the page's progress dialog and Stop, runs mkisofs
// with progress, and shows what each step came to. mkisofs writes a temporary file beside the
// target, which takes the target's place only when the run has succeeded: a failed or stopped run
// leaves the target as it was, tells the user with mkisofs's own message, and leaves no partial
// file behind.

#include "logic/imagewrite.h"
#include "services/crunners.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class CFileCopy;
class CProgressDialog;

class CImageWriter : public QObject
{
    Q_OBJECT
public:
    // copier stages into the working folder for the page; progress is the page's dialog.
    CImageWriter(CFileCopy *copier, CProgressDialog *progress, QObject *parent = nullptr);
    // Gives the working folder up; a running mkisofs is stopped (bounded wait) and its
    // temporary file removed.
    ~CImageWriter() override;

    // The working folder: Util::GetTempDir() + "/tmp/", and the same without the trailing "/"
    // as mkisofs is given it.
    static QString WorkDir() { return CImageWrite::WorkDir(); }
    static QString WorkDirSource() { return CImageWrite::WorkDirSource(); }

    // Makes the page the working folder's owner: the copier of the page that owned it before
    // (a closed page) is stopped and waited for, showing the busy cursor and painting, then the
    // removal of the folder is queued on this page's copier, before any copy of its own.
    void ClaimWorkDir();
    bool OwnsWorkDir() const;
    // Queues the removal of the working folder on the page's copier, claiming the folder first
    // when another page owns it.
    void QueueWorkDirRemoval();
    // Stops the page's copier after the file in progress and waits for it, showing the busy
    // cursor while the windows keep painting (user input waits).
    void StopCopier();

    // --- staging -----------------------------------------------------------------------------

    // A copy of source is queued again: an earlier failure of it no longer counts.
    void Restaged(const QString &source) { m_Write.Restaged(source); }
    // Starts a write: busy, Stop not pressed.
    void Begin();
    // Begin(), once the working folder is ready: waits, processing events, while percent() is 0
    // or more, showing waitText and that percentage, then WaitForStaging() (showing text while
    // no bytes are to be copied). False, the write ended, when Stop was pressed.
    bool BeginWhenReady(const QString &text, const QString &waitText,
                        const std::function<int()> &percent);
    // Waits, processing events, until the copier has carried out every task, showing "Copy
    // files and directories..." and the KiB copied. False when Stop was pressed.
    bool WaitForStaging();
    // WaitForStaging(), then UnstagedItems(): true when every item below root has its staged
    // copy. Otherwise the write ends: silently after Stop, else with notStaged and the items.
    bool Staged(const Item &root, const QString &notStaged);
    // The items below root without a complete staged copy (their copy failed, or nothing is at
    // their place in the working folder), at most 50, in tree order. The working folder is read
    // once, noting the staged files of 4 GiB or more on the way (StagedLargeFiles()).
    QStringList UnstagedItems(const Item &root) { return m_Write.UnstagedItems(root); }
    // The staged files of 4 GiB or more that the last UnstagedItems() saw, relative to the
    // working folder: what the image will hold, even for a source that grew after it was added.
    QStringList StagedLargeFiles() const { return m_Write.StagedLargeFiles(); }
    // The files added from disk whose size differs from the size noted when they were added, as
    // the last UnstagedItems() saw them (at most 50): the image would not hold what the project
    // shows.
    QStringList ChangedItems() const { return m_Write.ChangedItems(); }
    // The files below root of 4 GiB or more, by the size noted when each was added or listed.
    static QStringList LargeFiles(const Item &root) { return CImageWrite::LargeFiles(root); }
    // Paths for a message: one per line, at most max of them, then "... and N more".
    static QString PathListText(const QStringList &paths, int max = 5)
    {
        return CImageWrite::PathListText(paths, max);
    }

    // --- the run -----------------------------------------------------------------------------

    // Prepares the mkisofs run that writes target: arguments(output) gives the argument list for
    // the temporary file the tool writes. The dialog shows text with the range 0 to 10000.
    // Returns the runner, not started: the page connects its lines to ReadOutput() (through its
    // output slot) and its end to Finish() (through its finished slot), then starts it. Null
    // when no file can be written beside target; the user has been told then.
    CRunCommandThread *Prepare(const QString &target,
                               const std::function<QStringList(const QString &output)> &arguments,
                               const QString &text, const QString &failedText);
    // One line of mkisofs: progress.
    void ReadOutput(const QString &line);
    // The run has ended by itself: the image takes the target's place, or the failure is shown
    // (with mkisofs's message) and the temporary file removed. True when the image is in place;
    // the page then shows its success message.
    bool Finish();
    // Stop: ends a staging wait, or stops mkisofs and removes what it wrote. Hides the dialog.
    void Stop();
    // Ends a write without running mkisofs (nothing to do, or stopped): hides the dialog.
    void End();

    bool IsBusy() const { return m_Busy || m_Runner; }
    bool StopRequested() const { return m_StopRequested; }
    CRunCommandThread *Runner() const { return m_Runner; }
    QString Target() const { return m_Write.Target(); }
    // The arguments of the last run prepared.
    QStringList LastArguments() const { return m_LastArguments; }

    // The message for a run that did not put an image in place; "" when it did. failedText
    // opens it ("Create ISO failed"); mkisofs's own message follows.
    static QString FailureText(const CRunOutcome &outcome, bool imageWritten,
                               const QString &failedText)
    {
        return CImageWrite::FailureText(outcome, imageWritten, failedText);
    }

private:
    // Shows a failure; true when the step is done.
    bool shown(const WriteOutcome &outcome);

    CFileCopy *m_Copier;
    CImageWrite m_Write;
    CProgressDialog *m_Progress;
    CRunners m_Runners;
    CRunCommandThread *m_Runner = nullptr;
    bool m_Busy = false;
    bool m_StopRequested = false;
    QStringList m_LastArguments;
};

#endif // VEXLOR_CIMAGEWRITER_H
