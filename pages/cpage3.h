#ifndef VEXLOR_CPAGE3_H
#define VEXLOR_CPAGE3_H

// The Create page: assembles a project from local files and folders, keeps a staged copy of it
// in the working folder, and writes it as an ISO image (ISO 9660 with Joliet, ISO 9660 with
// long names, or UDF) with mkisofs through the image writer.

#include "pages/common/cimagebrowser.h"
#include "pages/common/cwriterpage.h"

#include <QModelIndex>
#include <QPoint>
#include <QStringList>

class CProjectList;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

class CPage3 : public CWriterPage
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
    void del(QTreeWidgetItem *node) { CImageBrowser::del(node); }
    // Fills the tree and the view with the content of folder on disk (hidden entries left out).
    void InnerAddDir(Item *parent, const QString &folder, QTreeWidgetItem *node, QTreeWidget *view);

    const CTree &Tree() const { return m_Tree; }
    // Stops what the page runs: a staging wait or mkisofs (its file removed), and the copier
    // between two files, waiting with the busy cursor while the windows keep painting.
    void StopWork();
    // The arguments of the last mkisofs run started by this page.
    QStringList LastArguments() const { return m_Writer.LastArguments(); }

public slots:
    void OnAddFile();
    void OnAddDir();
    void OnRemove();
    void OnCreate();
    void StopCreate();
    void OnCreateOutput(QString line) { m_Writer.ReadOutput(line); }
    void OnCreateFinished();
    void OnTreeClicked(QModelIndex index);
    void OnListContextMenuRequest(QPoint pos);

protected:
    // Escape acts as Back only while no project would be lost by it.

private:
    struct Form;

    void SetupForm();
    // Adds local files and folders to the folder of the selection and stages their copies.
    void AddToProject(const QStringList &sources);

    Form *form;
    QMenu *m_ListMenu = nullptr;
    QString m_StageDir;
    QString m_IsoPath;

    CProjectList *m_Project = nullptr;
    bool m_Stopped = false; // StopWork() has run
};

#endif // VEXLOR_CPAGE3_H
