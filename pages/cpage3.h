#ifndef VEXLOR_CPAGE3_H
#define VEXLOR_CPAGE3_H

// The Create page: assembles a project from local files and folders, keeps a staged copy of it
// in the working folder, and writes it as an ISO image (ISO 9660 with Joliet, ISO 9660 with
// long names, or UDF) with mkisofs.

#include "model/ctree.h"
#include "pages/createlogic.h"
#include "services/cfilecopy.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QDateTime>
#include <QModelIndex>
#include <QPoint>
#include <QStringList>

class CImageButton;
class CRunCommandThread;
class QKeyEvent;
class QLabel;
class QMenu;
class QProgressBar;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class CPage3 : public ImageDialog
{
    Q_OBJECT

public:
    explicit CPage3(QWidget *parent = nullptr);
    ~CPage3() override;

    // The path of the folder that contains the selected node, with a trailing "/"; empty when
    // nothing is selected or the selection is at the top level.
    QString GetCurrSelectDir();
    // Updates the size label and the gauge from the project's current size on disk.
    void RefreshTotalSize();
    // Deletes a node of the view with all nodes below it.
    void del(QTreeWidgetItem *node);
    // Fills the tree and the view with the content of folder on disk (hidden entries left out).
    void InnerAddDir(Item *parent, const QString &folder, QTreeWidgetItem *node, QTreeWidget *view);

    const CTree &Tree() const { return m_Tree; }
    // Stops the copier (between two files) and any mkisofs run, and waits for them with the
    // busy cursor while the windows keep painting. The page can then be destroyed at once.
    void StopWork();
    // The arguments of the last mkisofs run started by this page.
    QStringList LastArguments() const { return m_LastArguments; }

protected:
    // Escape acts as Back only while no project would be lost by it.
    void keyPressEvent(QKeyEvent *event) override;

public slots:
    void OnAddFile();
    void OnAddDir();
    void OnRemove();
    void OnCreate();
    void StopCreate();
    void OnCreateOutput(QString line);
    void OnCreateFinished();
    void OnTreeClicked(QModelIndex index);
    void OnListContextMenuRequest(QPoint pos);

private:
    struct Form
    {
        QTreeWidget *list = nullptr;
        QRadioButton *jolet = nullptr;
        QRadioButton *iso9600 = nullptr;
        QRadioButton *udf = nullptr;
        CImageButton *addfile = nullptr;
        CImageButton *adddir = nullptr;
        CImageButton *remove = nullptr;
        CImageButton *create = nullptr;
        CImageButton *back = nullptr;
        QWidget *widget = nullptr;
        QLabel *totalsize = nullptr;
        QLabel *label_2 = nullptr;
        QProgressBar *progressBar = nullptr;
    };

    void SetupForm();
    // The folder node an add goes into: the selected folder node itself, the folder that holds
    // a selected file node, or null (top level) when nothing is selected.
    QTreeWidgetItem *TargetNode() const;
    // The project path of a node's item.
    static QString NodePath(const QTreeWidgetItem *node);
    QTreeWidgetItem *MakeNode(const Item &item) const;
    void AttachNode(QTreeWidgetItem *node, QTreeWidgetItem *parentNode);
    CreateLogic::ImageType SelectedType() const;
    bool AskSwitchToUdf(const QStringList &largeFiles);
    // Collects copy failures the copier has reported since the last call.
    void CollectCopyFailures();
    // Project paths that lack a complete staged copy.
    QStringList UnstagedItems();
    bool WaitForStaging();
    void EndCreate();
    // Ends runs stopped by the user once their tools have ended, and removes what they wrote.
    void ReapStoppedRuns();

    // The image file of one run and what lay at its path before, so that only a file the run
    // wrote is ever removed.
    struct ImageTarget
    {
        QString path;
        bool existed = false;
        qint64 oldSize = -1;
        QDateTime oldTime;

        static ImageTarget Before(const QString &path);
        bool TouchedByRun() const;
        void RemoveIfWritten() const;
    };
    struct StoppedRun
    {
        CRunCommandThread *thread;
        ImageTarget image;
    };

    Form *form;
    CProgressDialog m_ProgressDialog;
    CRunCommandThread *m_CreateThread = nullptr;
    CTree m_Tree;
    CFileCopy m_FileCopy;
    QMenu *m_ListMenu = nullptr;
    QString m_StageDir;
    QString m_IsoPath;

    // Set by Stop; ends a staging wait without creating the image.
    bool m_StopRequested = false;
    bool m_Busy = false;
    bool m_Stopped = false; // StopWork() has run
    // Sources of copy tasks that failed; an item with such a source has no complete staged copy.
    QStringList m_FailedSources;
    // Canonical paths of the folders the folder scan is inside of.
    QStringList m_ScanAncestors;
    // The last output lines of the running mkisofs, for the error message.
    QStringList m_ToolLines;
    QStringList m_LastArguments;
    ImageTarget m_Image;
    // Runs stopped by the user whose tools may still be ending.
    QList<StoppedRun> m_StoppedRuns;
};

#endif // VEXLOR_CPAGE3_H
