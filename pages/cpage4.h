#ifndef VEXLOR_CPAGE4_H
#define VEXLOR_CPAGE4_H

// The Edit page: open an ISO image, browse it, add, rename, delete and export files and folders,
// and save the result as a new image that starts the way the opened one did.
//
// Loading lists the image (the views are usable as soon as the listing is complete) and extracts
// it whole into the working folder W. Every change goes at once to the content tree and the
// views, and as a file task on W to the page's copier, in order; tasks caused while the
// extraction still writes W wait for it. Save waits for the extraction and the tasks, then runs
// mkisofs over W (through the shared image writer, which writes a temporary file beside the
// target and puts it in place only when the run has succeeded).

#include "model/ctree.h"
#include "model/eltorito.h"
#include "model/listing.h"
#include "pages/common/cimagewriter.h"
#include "logic/editlogic.h"
#include "services/bootoptions.h"
#include "services/cfilecopy.h"
#include "services/crunners.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>

class CImageBrowser;
class CImageButton;
class CLineEdit;
class QAction;
class QMenu;
class QTableWidget;
class QTableWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;
class SCheckBoxHeaderView;

namespace Ui {
class CPage4;
}

class CPage4 : public ImageDialog
{
    Q_OBJECT

public:
    explicit CPage4(QWidget *parent = nullptr);
    ~CPage4() override;

    virtual void InitializeUI();
    virtual void RefreshTable();
    virtual void LoadFiles(Item *folder, QTreeWidget *view, QTreeWidgetItem *node);

    void SetEnabled(bool on);
    // Stages one task on W: held back while the extraction runs, else handed to the copier.
    void AddFileOpTasks(const QString &source, const QString &destination, int kind);
    // Mirrors the local folder dir below folder and adds its folder nodes under node.
    void AddSubDir(Item *folder, const QString &dir, QTreeWidgetItem *node);

    // Stops the tools, a save in progress and the copier (the page is closing for good).
    void StopWork();

    // Loads image (what Load ISO does once a file has been chosen).
    void LoadImage(const QString &image);

    // The node of the folder view (node or below) that carries item, or null.
    QTreeWidgetItem *GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item);
    // The arguments of the last mkisofs run this page started.
    QStringList LastSaveArguments() const { return m_Writer.LastArguments(); }
    // True from a load until its extraction has ended.
    bool IsExtracting() const { return m_PendingOps.IsHolding(); }
    // Whether the loaded image has edits that no save has written yet.
    bool HasUnsavedChanges() const { return m_Changed; }

public slots:
    void OnLoadISO();
    void OnAdd();
    void OnExport();
    void OnRename();
    void OnDelete();
    void OnNew();
    void OnSave();
    void StopCreate();
    void slotSelectAll(bool bChecked);
    void OnSearch();
    virtual void OnUnzipFinished();
    virtual void OnLineOutput(QString line);
    virtual void OnExtractOutput(QString line);
    virtual void OnExtractFinished();
    void OnCreateOutput(QString line);
    void OnCreateFinished();
    virtual void OnTreeCurrentChanged();
    virtual void OnListViewDoubleClicked();
    virtual void OnListViewClicked(QTableWidgetItem *pItem);
    virtual void RefreshTreeWidget();
    void OnListContextMenuRequest(QPoint pos);

protected:
    // Escape acts as Back only while Back is enabled and no loaded image would be given up.

private slots:
    // The listing runner has ended, whether or not its table was complete.
    void OnListFinished();
    void StartExtractionWhenReady();

private:
    enum class Phase { Idle, Waiting, Exporting, Saving };

    // Shows or takes back the busy cursor (once, however often it is called).
    void SetBusyCursor(bool busy);
    QTreeWidgetItem *TopNode() const;
    // Waits (bounded, busy cursor, windows painting) until the 7-Zip of the image loaded before
    // has ended.
    void WaitForPreviousExtraction();
    // Wait, delivering events, until the extraction has ended; false when Stop was pressed.
    bool WaitForExtraction();
    void EndOperation();
    // Where the boot image of catalog entry i is kept from the load on.
    QString BootImageCopy(int i) const;
    // Puts the boot images the save needs at the top of W; false with *error set when one
    // cannot be written.
    bool PlaceBootFiles(const BootOptions::Result &boot, QString *error);
    void RemoveBootFiles();

public:
    QString m_IsoPath;
    Item *m_CurrentItem = nullptr;
    Ui::CPage4 *ui = nullptr;
    QMenu *m_ListMenu = nullptr;
    QString m_SaveIsoPath;
    SCheckBoxHeaderView *m_HeaderView = nullptr;
    CTree m_Tree;
    CFileCopy m_FileCopy;
    CRunCommandThread *m_ExtractThread = nullptr;
    CProgressDialog m_ProgressDialog;
    CRunCommandThread *m_CreateThread = nullptr;
    bool m_Stopped = false;
    bool m_Changed = false; // edits made since the image was loaded or last saved
    // Tasks held back from a load until its extraction has ended.
    EditLogic::TaskStage m_PendingOps;
    QAction *m_NewAction = nullptr;
    QAction *m_AddAction = nullptr;
    QAction *m_ExportAction = nullptr;
    QAction *m_DeleteAction = nullptr;
    QAction *m_RenameAction = nullptr;
    int m_ExtractProgress = 0;

private:
    // One in-table state for the listings of every Edit page; each load resets it.
    static bool s_InTable;

    QString m_WorkDir; // W, with a trailing "/"
    CRunners m_Runners;
    CImageWriter m_Writer;
    CImageBrowser *m_Browser = nullptr;
    CListingReader m_Listing;
    CRunCommandThread *m_ListThread = nullptr;
    bool m_CursorBusy = false;
    // Set once the extraction of the image loaded before has ended (null when there was none).
    std::shared_ptr<bool> m_PreviousExtractionEnded;
    bool m_WorkDirRemovalQueued = false;
    QString m_ExportStageDir; // the hidden folder of the export being copied; "" otherwise
    Phase m_Phase = Phase::Idle;
    // Why W does not hold the whole image; empty when the extraction succeeded.
    QString m_ExtractFailure;
    // The loaded image's boot catalog, and its files by start sector (paths follow the edits).
    ElTorito::Catalog m_Catalog;
    ElTorito::ExtentMap m_Extents;
    // Boot images the save writes at the top of W; removed again when it ends.
    QStringList m_BootFiles;
};

#endif // VEXLOR_CPAGE4_H
