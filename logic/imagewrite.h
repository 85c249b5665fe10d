#ifndef VEXLOR_IMAGEWRITE_H
#define VEXLOR_IMAGEWRITE_H

// The widget-free half of the image writer that the Create and Edit pages share: the working
// folder (T + "/tmp/", which the page's copier stages into), the check that every item has its
// staged copy, the temporary file mkisofs writes beside the target, the judgement of the run and
// the move of the image into the target's place. Each step returns what it came to; the page
// shows a failure's message.
//
// Files added from disk are staged as links to them (FileLinks), which mkisofs follows: the
// staging check makes sure each still exists with the size it had when it was added, and a run
// in which mkisofs left out a file it could not read has failed.

#include "services/cruncommandthread.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

Q_DECLARE_LOGGING_CATEGORY(lcWriter) // vexlor.writer: the image writer

class CFileCopy;
class Item;

// What a step of an image write came to. A failure carries the message for the user.
struct WriteOutcome
{
    enum Kind { Done, Stopped, Failed };
    Kind kind = Done;
    QString message;

    bool IsDone() const { return kind == Done; }
    static WriteOutcome Failure(const QString &message) { return { Failed, message }; }
};

class CImageWrite
{
public:
    // copier stages into the working folder; its failed tasks count against the staging.
    explicit CImageWrite(CFileCopy *copier);

    // The working folder: Util::GetTempDir() + "/tmp/", and the same without the trailing "/"
    // as mkisofs is given it.
    static QString WorkDir();
    static QString WorkDirSource();

    // --- staging -----------------------------------------------------------------------------

    // A copy of source is queued again: an earlier failure of it no longer counts.
    void Restaged(const QString &source);
    // Failed with notStaged and the items when UnstagedItems(root) names any.
    WriteOutcome CheckStaged(const Item &root, const QString &notStaged);
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
    // What the last UnstagedItems() saw of the names in the working folder, for mkisofs
    // (Mkisofs::NamesVariable); empty before it, and once taken.
    QString TakeNamesHint();
    // The files below root of 4 GiB or more, by the size noted when each was added or listed.
    static QStringList LargeFiles(const Item &root);
    // Paths for a message: one per line, at most max of them, then "... and N more".
    static QString PathListText(const QStringList &paths, int max = 5);

    // --- the run -----------------------------------------------------------------------------

    // Reserves the hidden temporary file beside target that mkisofs will write (Output()); the
    // name is freed again for the tool to create. failedText opens the messages of this run.
    WriteOutcome Reserve(const QString &target, const QString &failedText);
    QString Target() const { return m_Target; }
    QString Output() const { return m_Output; }
    // One line of mkisofs: notes a file it left out; returns the progress, or -1.
    int ReadOutput(const QString &line);
    // The run has ended with outcome: the image takes the target's place, or the temporary file
    // is removed and the failure returned with mkisofs's own message.
    WriteOutcome Judge(const CRunOutcome &outcome);

    // The message for a run that did not put an image in place; "" when it did. failedText
    // opens it ("Create ISO failed"); mkisofs's own message follows.
    static QString FailureText(const CRunOutcome &outcome, bool imageWritten,
                               const QString &failedText);

private:
    void collectCopyFailures();

    CFileCopy *m_Copier;
    QString m_Target;
    QString m_Output; // the temporary file mkisofs writes
    QString m_FailedText;
    // Sources of copy tasks that failed; an item with such a source has no complete staged copy.
    QStringList m_FailedSources;
    QStringList m_StagedLarge;
    QStringList m_Changed;
    QString m_NamesHint;
    QStringList m_Skipped; // files mkisofs said it left out, relative to the working folder
};

#endif // VEXLOR_IMAGEWRITE_H
