#ifndef VEXLOR_CPAGE2_H
#define VEXLOR_CPAGE2_H

// The Extract page: open an ISO image, browse its folders, tick files and folders of one folder
// and extract them into a folder of the local disk.

#include "model/ctree.h"
#include "pages/common/cimagebrowser.h"
#include "pages/common/cimageloader.h"
#include "logic/extractlogic.h"
#include "services/crunners.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>

class QKeyEvent;
class QMenu;
class QTableWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;
class SCheckBoxHeaderView;

class CPage2 : public ImageDialog
{
    Q_OBJECT

public:
    explicit CPage2(QWidget *parent = nullptr);
    ~CPage2() override;

    virtual void InitializeUI();
    virtual void RefreshTable() { m_Browser->RefreshTable(); }
    virtual void LoadFiles(Item *item, QTreeWidget *view, QTreeWidgetItem *parentNode)
    {
        m_Browser->LoadFiles(item, view, parentNode);
    }

    // Lists image and fills the views from it (what Load ISO does once a file is chosen).
    void LoadImage(const QString &image);

    // The node of the folder view (parent node or below) that carries item, or null.
    QTreeWidgetItem *GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item)
    {
        return CImageBrowser::GetTreeWidgetItemByData(node, item);
    }

public slots:
    virtual void OnLoadISO();
    virtual void OnBack() { close(); }
    virtual void OnExtract();
    virtual void OnStopExtract();
    virtual void OnUnzipFinished();
    virtual void OnLineOutput(QString line);
    virtual void OnTreeCurrentChanged() { m_Browser->OnTreeCurrentChanged(); }
    virtual void OnListViewDoubleClicked() { m_Browser->OnListViewDoubleClicked(); }
    virtual void OnListContextMenuRequest(QPoint pos);
    virtual void OnExtractOutput(QString line);
    virtual void OnExtractFinished();
    virtual void RefreshTreeWidget() { m_Browser->RefreshTreeWidget(); }
    void OnListViewClicked(QTableWidgetItem *pItem) { m_Browser->OnListViewClicked(pItem); }
    void slotSelectAll(bool bChecked) { m_Browser->slotSelectAll(bChecked); }

protected:
    // Escape does what Back does, only while Back is enabled.

private:
    struct Form;
    void SetControlsEnabled(bool enabled);
    void SetLoadButtonsEnabled(bool enabled);
    // Removes what the running extraction has written (run once its tool has ended).
    std::function<void()> DiscardWritten() const;

public:
    Item *m_CurrentItem = nullptr;
    QString m_IsoPath;
    QString m_DestDir;
    QString m_RelDir;
    QStringList m_ExtractNames;
    Form *form = nullptr;
    CProgressDialog m_ProgressDialog;
    CRunCommandThread *m_ExtractThread = nullptr;
    QMenu *m_ListMenu = nullptr;
    SCheckBoxHeaderView *m_HeaderView = nullptr;
    bool m_InTable = false;
    CTree m_Tree;

private:
    CRunners m_Runners;
    CImageBrowser *m_Browser = nullptr;
    CImageLoader *m_Loader = nullptr;
    // Fresh folder inside m_DestDir that the running or last extraction writes into.
    QString m_WorkDir;
    bool m_Direct = false; // the running or last extraction writes straight into m_DestDir
    ExtractLogic::ToolErrors m_ExtractErrors;
};

#endif // VEXLOR_CPAGE2_H
