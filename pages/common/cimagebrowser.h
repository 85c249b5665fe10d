#ifndef VEXLOR_CIMAGEBROWSER_H
#define VEXLOR_CIMAGEBROWSER_H

// The browser of an image's content tree that the Extract and Edit pages share: a folder view
// (one node per folder, each carrying its Item) beside a table of the current folder's children
// with a check box in the first column, a select-all box in the header, ticks by a click anywhere
// on a row (a click on the box itself toggles only once), double-click into folders, and a
// search filter on the names.

#include "ui/scheckboxheaderview.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVector>

class CTree;
class Item;

class CImageBrowser : public QObject
{
    Q_OBJECT
public:
    // Clicks closer than this to the table's left edge hit the check box.
    static constexpr int CheckBoxWidth = 17;

    // Drives the page's folder view tree and table list. The current folder is the page's own
    // (its m_CurrentItem), read and written through current.
    CImageBrowser(QTreeWidget *tree, QTableWidget *list, Item **current, QObject *parent = nullptr);

    // Sets both views up: the style sheets; the table with the columns "File Name", " Size",
    // "Type", "Time", each (width - 2) / 4 wide, the select-all header (returned), whole rows
    // selected several at a time, not editable, no focus rectangle, a custom context menu; the
    // folder view with one column, no header, single selection. Call once the table has its size.
    SCheckBoxHeaderView *SetUp(const QString &treeStyle, const QString &listStyle);
    // Routes the select-all box, the clicks on both views and the table's context-menu request
    // to page's slots of the same names, which a page may override. Call after SetUp().
    template<class Page> void ConnectTo(Page *page)
    {
        connect(m_Header, &SCheckBoxHeaderView::checkStausChange, page, &Page::slotSelectAll);
        connect(m_List, &QWidget::customContextMenuRequested, page,
                &Page::OnListContextMenuRequest);
        connect(m_Tree, &QTreeWidget::itemClicked, page, &Page::OnTreeCurrentChanged);
        connect(m_List, &QTableWidget::itemDoubleClicked, page, &Page::OnListViewDoubleClicked);
        connect(m_List, &QTableWidget::itemClicked, page, &Page::OnListViewClicked);
    }

    // Empties both views; no current folder.
    void Clear();
    // Shows tree: a top node named after the tree (m_Name) carrying the root, the folders below
    // it, expanded; the root becomes the current folder and the table shows it.
    void Show(CTree &tree);
    // Adds a node for each folder among item's children (and so on below them): as top-level
    // nodes of view when given, else below parentNode. Nothing without item or parentNode.
    void LoadFiles(Item *item, QTreeWidget *view, QTreeWidgetItem *parentNode);

    // Rebuilds the table: one row per child of the current folder whose name contains the
    // filter (any case), in child order, every tick cleared.
    void RefreshTable();
    // Selects and expands the current folder's node (and opens its parent).
    void RefreshTreeWidget();
    // Sets the search filter (trimmed) and rebuilds the table.
    void SetFilter(const QString &text);
    QString Filter() const { return m_Filter; }

    // Appends a row for child at the end of the table (for a child just added to the current
    // folder), unticked when checkable, else without a check box.
    void AppendRow(Item *child, bool checkable = true);
    // Shows the new name of item in its row and its folder node.
    void Renamed(Item *item);
    // Removes the folder nodes of items, with the nodes below them (before the items go).
    void RemoveNodes(const QList<Item *> &items);
    // The item a row shows; null when there is no such row.
    Item *RowItem(int row) const;
    // The rows whose box is ticked (fully), in table order, and the items they show.
    QList<int> CheckedRows() const;
    QList<Item *> CheckedItems() const;

    // The folder view's top node (the root's), or null.
    QTreeWidgetItem *TopNode() const { return m_Tree->topLevelItem(0); }
    // The node at node or below it (depth first, the node before its children) that carries
    // item; null when either is null or nothing matches.
    static QTreeWidgetItem *GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item);
    // Deletes a node with all nodes below it.
    static void del(QTreeWidgetItem *node);

public slots:
    // A folder node was clicked: its folder becomes the current one.
    void OnTreeCurrentChanged();
    // A cell was clicked: the row's tick toggles unless the click hit the box itself.
    void OnListViewClicked(QTableWidgetItem *pItem);
    // A cell was double-clicked: a folder row opens its folder and the folder view follows.
    void OnListViewDoubleClicked();
    // Ticks or unticks every row.
    void slotSelectAll(bool bChecked);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillRow(int row, Item *child, bool checkable);

    QTreeWidget *m_Tree;
    QTableWidget *m_List;
    SCheckBoxHeaderView *m_Header = nullptr;
    QObject *m_Viewport = nullptr; // the table's viewport, whose events are watched
    Item **m_Current;
    QString m_Filter;
    QVector<Item *> m_Rows; // the item each row shows
    // Global position of the last mouse release on the table, to tell check-box clicks apart.
    QPoint m_LastReleasePos;
    bool m_HaveReleasePos = false;
};

#endif // VEXLOR_CIMAGEBROWSER_H
