#ifndef VEXLOR_CPROJECTLIST_H
#define VEXLOR_CPROJECTLIST_H

// The project of a page that builds an image from local files and folders (Create): the content
// tree, its view (one node per item: name, folder, size, type, time; folders first-class nodes
// that hold their content), and the staging of each added source into the working folder.

#include <QObject>
#include <QString>
#include <QStringList>

class CFileCopy;
class CImageWriter;
class CTree;
class Item;
class QTreeWidget;
class QTreeWidgetItem;

class CProjectList : public QObject
{
    Q_OBJECT
public:
    // view shows tree; sources are staged below stageDir by copier; writer hears of each source
    // queued again (CImageWriter::Restaged).
    CProjectList(QTreeWidget *view, CTree *tree, CFileCopy *copier, CImageWriter *writer,
                 const QString &stageDir, QObject *parent = nullptr);

    // The view's columns "File Name", "File Path", " Size", "Type", "Time" with style, one row
    // selected at a time; a press on the view's empty part clears the selection.
    void SetUp(const QString &style);

    // The path of the folder that contains the selected node, with a trailing "/"; empty when
    // nothing is selected or the selection is at the top level.
    QString SelectedDir() const;
    // The folder node an add goes into: the selected folder node itself, the folder that holds
    // a selected file node, or null (top level) when nothing is selected.
    QTreeWidgetItem *TargetNode() const;

    // Adds local files and folders to the folder of the selection (each path once: one already
    // in the project is left out) and queues their copies into the working folder.
    void Add(const QStringList &sources);
    // Removes the selected item with its content from the project and from the working folder;
    // false when nothing was selected.
    bool RemoveSelected();
    // Appends folder's entries on disk below parent (hidden entries and the working folder left
    // out) and their nodes: as top-level nodes of view when given, else below node.
    void AddDir(Item *parent, const QString &folder, QTreeWidgetItem *node, QTreeWidget *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeWidgetItem *MakeNode(const Item &item) const;

    QTreeWidget *m_View;
    CTree *m_Tree;
    CFileCopy *m_Copier;
    CImageWriter *m_Writer;
    QString m_StageDir;
};

#endif // VEXLOR_CPROJECTLIST_H
