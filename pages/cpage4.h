#ifndef VEXLOR_CPAGE4_H
#define VEXLOR_CPAGE4_H

// The Edit page: open an ISO image, browse it, add, rename, delete and export files and folders,
// and save the result as a new image that starts the way the opened one did.
//
// Loading lists the image through the image loader (the views are usable as soon as the listing
// is complete) while the edit session extracts it whole into the working folder W and applies
// every change there. Save waits for the extraction and the tasks, then runs mkisofs over W
// through the shared image writer, which writes a temporary file beside the target and puts it
// in place only when the run has succeeded.

#include "logic/editsession.h"
#include "pages/common/cimagebrowser.h"
#include "pages/common/cwriterpage.h"

#include <QCursor>
#include <QMenu>
#include <QPoint>
#include <QString>
#include <QStringList>

class CImageLoader;

class CPage4 : public CWriterPage
{
    Q_OBJECT

public:
    explicit CPage4(QWidget *parent = nullptr);
    ~CPage4() override;

    virtual void InitializeUI();
    virtual void RefreshTable() { m_Browser->RefreshTable(); }
    virtual void LoadFiles(Item *folder, QTreeWidget *view, QTreeWidgetItem *node)
    {
        m_Browser->LoadFiles(folder, view, node);
    }

    void SetEnabled(bool on);
    // Stages one task on W: held back while the extraction runs, else handed to the copier.
    void AddFileOpTasks(const QString &source, const QString &destination, int kind)
    {
        m_Session.Stage(EditLogic::FileTask { kind, source, destination });
    }
    // Mirrors the local folder dir below folder and adds its folder nodes under node.
    void AddSubDir(Item *folder, const QString &dir, QTreeWidgetItem *node);

    // Stops the tools, a save in progress and the copier (the page is closing for good).
    void StopWork();
    // Loads image (what Load ISO does once a file has been chosen).
    void LoadImage(const QString &image);

    // The node of the folder view (node or below) that carries item, or null.
    QTreeWidgetItem *GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item)
    {
        return CImageBrowser::GetTreeWidgetItemByData(node, item);
    }
    // The arguments of the last mkisofs run this page started.
    QStringList LastSaveArguments() const { return m_Writer.LastArguments(); }
    // True from a load until its extraction has ended.
    bool IsExtracting() const { return m_Session.IsExtracting(); }
    // Whether the loaded image has edits that no save has written yet.
    bool HasUnsavedChanges() const { return m_Session.HasUnsavedChanges(); }

public slots:
    void OnLoadISO();
    void OnAdd();
    void OnExport();
    void OnRename();
    void OnDelete();
    void OnNew() { }
    void OnSave();
    void StopCreate();
    void slotSelectAll(bool bChecked) { m_Browser->slotSelectAll(bChecked); }
    void OnSearch();
    virtual void OnUnzipFinished();
    virtual void OnLineOutput(QString line);
    virtual void OnExtractOutput(QString line) { m_Session.ReadExtractLine(line); }
    virtual void OnExtractFinished();
    void OnCreateOutput(QString line) { m_Writer.ReadOutput(line); }
    void OnCreateFinished();
    virtual void OnTreeCurrentChanged() { m_Browser->OnTreeCurrentChanged(); }
    virtual void OnListViewDoubleClicked() { m_Browser->OnListViewDoubleClicked(); }
    virtual void OnListViewClicked(QTableWidgetItem *pItem) { m_Browser->OnListViewClicked(pItem); }
    virtual void RefreshTreeWidget() { m_Browser->RefreshTreeWidget(); }
    void OnListContextMenuRequest(QPoint) { m_ListMenu->exec(QCursor::pos()); }

private:
    struct Form;

    void SetButtonsEnabled(bool on);
    QTreeWidgetItem *TopNode() const { return m_Browser->TopNode(); }
    // Export and Save start: wait, delivering events, until the extraction and the staged tasks
    // are done; false (the operation ended) when Stop was pressed.
    bool WaitForWorkDir(const QString &text);

public:
    QString m_IsoPath;
    Item *m_CurrentItem = nullptr;
    Form *form = nullptr;
    QMenu *m_ListMenu = nullptr; // a child of the table, with its five actions
    QString m_SaveIsoPath;
    SCheckBoxHeaderView *m_HeaderView = nullptr;
    bool m_Stopped = false;

private:
    // One in-table state for the listings of every Edit page; each load resets it.
    static bool s_InTable;

    EditSession m_Session;
    CImageBrowser *m_Browser = nullptr;
    CImageLoader *m_Loader = nullptr;
    bool m_CursorBusy = false;
};

#endif // VEXLOR_CPAGE4_H
