#ifndef VEXLOR_EDITSESSION_H
#define VEXLOR_EDITSESSION_H

// What the Edit page keeps of a loaded image, without widgets. The image is extracted whole into
// the working folder W; every edit changes the content tree at once and stages file tasks on W,
// which the copier carries out in order (tasks caused while the extraction still writes W wait
// for it). The image's boot catalog and its files by start sector (their paths following the
// edits) are read at the load, and every boot image is kept aside, so that a save can give the
// new image the same boot entries even when it replaces the loaded image. The session shows
// nothing: it reports through return values and signals, and the page tells the user.

#include "logic/editlogic.h"
#include "model/eltorito.h"
#include "services/bootoptions.h"
#include "services/crunners.h"

#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcEdit) // vexlor.edit: the Edit page

class CFileCopy;
class CTree;
class Item;

class EditSession : public QObject
{
    Q_OBJECT
public:
    // tree is the page's content tree, copier the page's copier; workDir is W with a trailing "/".
    EditSession(CTree *tree, CFileCopy *copier, const QString &workDir, QObject *parent = nullptr);
    // Stop().
    ~EditSession() override;

    QString WorkDir() const { return m_WorkDir; }
    // How the removal of W is queued before an extraction starts; by default a delete task on
    // the copier (the page claims W first when another page owns it).
    void SetWorkDirRemoval(std::function<void()> remove) { m_RemoveWorkDir = std::move(remove); }

    // --- loading --------------------------------------------------------------------------------

    // Starts over for image: the tasks of the image before go and tasks are held from now on; the
    // boot catalog and the files by start sector are read and the boot images kept; then, once the
    // 7-Zip of the image before has ended (waited for, bounded, windows painting) and W has been
    // removed, 7-Zip extracts the image into W. The listing is the caller's.
    void Load(const QString &image);
    // The listing is complete: 7-Zip's virtual boot entries and the old boot catalog are no files
    // of the content; they leave the tree, and W once the extraction has written them.
    void ListingDone();
    // The listing failed: there is nothing to extract, and nothing to hold tasks for.
    void ListingFailed();
    // True from a load until its extraction has ended.
    bool IsExtracting() const { return m_Pending.IsHolding(); }
    // The running extraction's percentage; -1 when none runs.
    int ExtractProgress() const { return IsExtracting() ? m_ExtractProgress : -1; }
    // Why W does not hold the whole image; empty when the extraction succeeded.
    QString ExtractFailure() const { return m_ExtractFailure; }
    // One line of the extraction's output: its progress.
    void ReadExtractLine(const QString &line);
    const ElTorito::Catalog &Catalog() const { return m_Catalog; }
    // The loaded image's files by start sector, their paths as the edits made them.
    const ElTorito::ExtentMap &Extents() const { return m_Extents; }
    EditLogic::TaskList Pending() const { return m_Pending.Pending(); }

    // --- edits ----------------------------------------------------------------------------------

    // Stages one task on W: held back while the extraction runs, else handed to the copier.
    void Stage(const EditLogic::FileTask &task);
    EditLogic::AddResult Add(Item *folder, const QStringList &paths);
    // Renames item of folder when CheckName allows name; returns the check.
    EditLogic::NameCheck Rename(Item *item, const Item &folder, const QString &name);
    void Delete(Item *folder, const QList<Item *> &children);
    // Whether there are edits that no save has written yet.
    bool HasUnsavedChanges() const { return m_Changed; }
    void MarkSaved() { m_Changed = false; }

    // --- export and save ------------------------------------------------------------------------

    // Queues the copies of an export (planned before the wait for W) into its hidden folder in
    // destDir, which goes should the page close meanwhile. The copier's earlier failures are
    // dropped.
    void StartExport(const EditLogic::ExportPlan &plan, const QString &destDir);
    // The copies have ended: when copied, they are moved up into the destination and the text
    // for the user returned (*ok when nothing failed); otherwise (stopped) they are dropped once
    // the copier is free, and "" is returned.
    QString FinishExport(bool copied, bool *ok);
    // True from the start of an export's copies until FinishExport().
    bool IsExporting() const { return !m_Export.stageDir.isEmpty(); }
    // Readies a save of the edited tree once W holds every change: "" with the boot images the
    // new image needs placed at the top of W, or why the save must not run (W lacks part of the
    // image, unstaged items have no copy in W, changed files differ from what was added, a boot
    // image cannot be written).
    QString PrepareSave(const QStringList &unstaged, const QStringList &changed);
    // The mkisofs arguments of the prepared save, writing the image to output.
    QStringList SaveArgs(const QString &output) const;
    // The save has ended: its boot images leave W.
    void SaveEnded() { RemoveBootFiles(); }
    // The file that keeps the boot image of catalog entry i from the load on.
    static QString BootImageCopy(int i);

    // The page is closing: 7-Zip is stopped, a save's boot images and an export's copies go.
    void Stop();

signals:
    // A copy or link of source was staged: an earlier failure of it no longer counts.
    void copyStaged(const QString &source);
    // The extraction has ended (ExtractFailure() says how); held tasks have gone to the copier.
    void extractionFinished();

private:
    // The boot switches of a save of the edited tree, and the boot images it needs at the top of
    // W: false with *error set when one cannot be written (those written go again).
    BootOptions::Result SaveBoot() const;
    bool PlaceBootFiles(const BootOptions::Result &boot, QString *error);
    void RemoveBootFiles();
    void KeepBootImages(const QString &image);
    void WaitForPreviousExtraction();
    void StartExtractionWhenReady();
    void OnExtractFinished();

    CTree *m_Tree;
    CFileCopy *m_Copier;
    QString m_WorkDir;
    std::function<void()> m_RemoveWorkDir;
    EditLogic::TaskStage m_Pending;
    CRunners m_Runners;
    CRunCommandThread *m_ExtractThread = nullptr;
    // Set once the extraction of the image loaded before has ended (null when there was none).
    std::shared_ptr<bool> m_PreviousExtractionEnded;
    bool m_WorkDirRemovalQueued = false;
    int m_ExtractProgress = 0;
    QString m_ExtractFailure;
    bool m_Changed = false;
    EditLogic::ExportPlan m_Export; // the export being copied (no stageDir otherwise)
    QString m_ExportDest;
    ElTorito::Catalog m_Catalog;
    ElTorito::ExtentMap m_Extents;
    QStringList m_BootFiles; // written at the top of W for the save in progress
    BootOptions::Result m_SaveBoot; // the boot switches of the prepared save
    bool m_SaveLarge = false; // the prepared save holds a file of 4 GiB or more
};

#endif // VEXLOR_EDITSESSION_H
