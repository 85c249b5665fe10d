#ifndef VEXLOR_CIMAGEWRITER_H
#define VEXLOR_CIMAGEWRITER_H

// The writer of ISO images that the Create and Edit pages share. It knows the working folder
// (T + "/tmp/", which one page at a time owns and stages into with its copier), waits until the
// staging is done, checks that every item has its staged copy, runs mkisofs with progress and
// Stop, and judges the run. mkisofs writes a temporary file beside the target, which takes the
// target's place only when the run has succeeded: a failed or stopped run leaves the target as
// it was, tells the user with mkisofs's own message, and leaves no partial file behind.
//
// Files added from disk are staged as links to them (FileLinks), which mkisofs follows: the
// staging check makes sure each still exists with the size it had when it was added, and a run
// in which mkisofs left out a file it could not read has failed.

#include "services/crunners.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class CFileCopy;
class CProgressDialog;
class Item;

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
    static QString WorkDir();
    static QString WorkDirSource();

    // Makes the page the working folder's owner: the copier of the page that owned it before
    // (a closed page) is stopped and waited for, showing the busy cursor and painting, then the
    // removal of the folder is queued on this page's copier, before any copy of its own.
    void ClaimWorkDir();
    bool OwnsWorkDir() const;
    // Stops the page's copier after the file in progress and waits for it, showing the busy
    // cursor while the windows keep painting (user input waits).
    void StopCopier();

    // --- staging -----------------------------------------------------------------------------

    // A copy of source is queued again: an earlier failure of it no longer counts.
    void Restaged(const QString &source);
    // Starts a write: busy, Stop not pressed.
    void Begin();
    // Waits, processing events, until the copier has carried out every task, showing "Copy
    // files and directories..." and the KiB copied. False when Stop was pressed.
    bool WaitForStaging();
    // WaitForStaging(), then UnstagedItems(): true when every item below root has its staged
    // copy. Otherwise the write ends: silently after Stop, else with notStaged and the items.
    bool Staged(const Item &root, const QString &notStaged);
    // The items below root without a complete staged copy (their copy failed, or nothing is at
    // their place in the working folder), at most 50, in tree order. The working folder is read
    // once, noting the staged files of 4 GiB or more on the way (StagedLargeFiles()).
    QStringList UnstagedItems(const Item &root);
    // The staged files of 4 GiB or more that the last UnstagedItems() saw, relative to the
    // working folder: what the image will hold, even for a source that grew after it was added.
    QStringList StagedLargeFiles() const { return m_StagedLarge; }
    // The files added from disk whose size differs from the size noted when they were added, as
    // the last UnstagedItems() saw them (at most 50): the image would not hold what the project
    // shows.
    QStringList ChangedItems() const { return m_Changed; }
    // The files below root of 4 GiB or more, by the size noted when each was added or listed.
    static QStringList LargeFiles(const Item &root);
    // Paths for a message: one per line, at most max of them, then "... and N more".
    static QString PathListText(const QStringList &paths, int max = 5);

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
    QString Target() const { return m_Target; }
    // The arguments of the last run prepared.
    QStringList LastArguments() const { return m_LastArguments; }

    // The message for a run that did not put an image in place; "" when it did. failedText
    // opens it ("Create ISO failed"); mkisofs's own message follows.
    static QString FailureText(const CRunOutcome &outcome, bool imageWritten,
                               const QString &failedText);

private:
    void collectCopyFailures();

    CFileCopy *m_Copier;
    CProgressDialog *m_Progress;
    CRunners m_Runners;
    CRunCommandThread *m_Runner = nullptr;
    bool m_Busy = false;
    bool m_StopRequested = false;
    QString m_Target;
    QString m_Output; // the temporary file mkisofs writes
    QString m_FailedText;
    QStringList m_LastArguments;
    // Sources of copy tasks that failed; an item with such a source has no complete staged copy.
    QStringList m_FailedSources;
    QStringList m_StagedLarge;
    QStringList m_Changed;
    QStringList m_Skipped; // files mkisofs said it left out, relative to the working folder
};

#endif // VEXLOR_CIMAGEWRITER_H
