#include "pages/common/cimagebrowser.h"

#include "model/ctree.h"
#include "pages/common/pagestyle.h"
#include "services/util.h"
#include "ui/scheckboxheaderview.h"

#include <QCursor>
#include <QDebug>
#include <QHeaderView>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTreeWidget>

Q_LOGGING_CATEGORY(lcBrowser, "vexlor.browser", QtWarningMsg)

CImageBrowser::CImageBrowser(QTreeWidget *tree, QTableWidget *list, Item **current, QObject *parent)
    : QObject(parent)
    , m_Tree(tree)
    , m_List(list)
    , m_Current(current)
{
}

SCheckBoxHeaderView *CImageBrowser::SetUp(const QString &treeStyle, const QString &listStyle)
{
    m_Tree->setStyleSheet(treeStyle);
    m_Tree->setColumnCount(1);
    m_Tree->setHeaderHidden(true);
    m_Tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_Tree->header()->setStretchLastSection(false);
    m_Tree->setAttribute(Qt::WA_MacShowFocusRect, false);

    m_Header = new SCheckBoxHeaderView(0, Qt::Horizontal, m_List);
    m_List->setHorizontalHeader(m_Header);
    m_List->setColumnCount(4);
    m_List->setHorizontalHeaderLabels({ QStringLiteral("File Name"), QStringLiteral(" Size"),
                                        QStringLiteral("Type"), QStringLiteral("Time") });
    m_Header->setVisible(true);
    m_List->verticalHeader()->setVisible(false);
    PageStyle::SetUpList(m_List, m_Header, listStyle, 4, QAbstractItemView::ExtendedSelection);
    m_Viewport = m_List->viewport();
    m_Viewport->installEventFilter(this);
    return m_Header;
}

bool CImageBrowser::eventFilter(QObject *watched, QEvent *event)
{
    // Only the pointer is compared: the table may be on its way out when its viewport's last
    // events come.
    if (watched == m_Viewport && event->type() == QEvent::MouseButtonRelease) {
        m_LastReleasePos = static_cast<QMouseEvent *>(event)->globalPos();
        m_HaveReleasePos = true;
    }
    return QObject::eventFilter(watched, event);
}

void CImageBrowser::Clear()
{
    *m_Current = nullptr;
    m_Tree->clear();
    m_List->setRowCount(0);
    m_Rows.clear();
}

void CImageBrowser::Show(CTree &tree)
{
    m_Tree->clear();
    auto *top = new QTreeWidgetItem();
    top->setText(0, tree.m_Name);
    top->setData(0, Qt::UserRole, QVariant::fromValue(&tree.m_Root));
    // The nodes are built detached and added in one go.
    LoadFiles(&tree.m_Root, nullptr, top);
    top->setIcon(0, PageStyle::FolderIcon());
    m_Tree->addTopLevelItem(top);
    top->setExpanded(true);
    *m_Current = &tree.m_Root;
    RefreshTable();
}

void CImageBrowser::LoadFiles(Item *item, QTreeWidget *view, QTreeWidgetItem *parentNode)
{
    if (!item || !parentNode)
        return;
    for (Item *child : item->m_Children) {
        if (!child->m_IsDir)
            continue;
        auto *node = new QTreeWidgetItem();
        node->setText(0, child->GetName());
        if (view)
            view->addTopLevelItem(node);
        else
            parentNode->addChild(node);
        node->setIcon(0, PageStyle::FolderIcon());
        node->setData(0, Qt::UserRole, QVariant::fromValue(child));
        LoadFiles(child, nullptr, node);
    }
}

void CImageBrowser::fillRow(int row, Item *child, bool checkable)
{
    const QString name = child->GetName();
    auto *nameCell = new QTableWidgetItem(
        child->m_IsDir ? PageStyle::FolderIcon() : Util::GetExtensionIcon(name), name);
    if (checkable)
        nameCell->setCheckState(Qt::Unchecked);
    if (child->m_IsDir)
        nameCell->setData(Qt::UserRole, 1);
    m_List->setItem(row, 0, nameCell);
    m_List->setItem(row, 1,
                    new QTableWidgetItem(child->m_IsDir ? QString()
                                                        : Util::SizeToString(static_cast<qint64>(
                                                            child->m_Size.toULongLong()))));
    m_List->setItem(row, 2,
                    new QTableWidgetItem(child->m_IsDir ? QStringLiteral("Folder")
                                                        : Util::GetExtensionString(name)));
    m_List->setItem(row, 3, new QTableWidgetItem(child->m_Time));
}

void CImageBrowser::RefreshTable()
{
    m_List->setRowCount(0);
    m_Rows.clear();
    Item *current = *m_Current;
    if (!current)
        return;
    for (Item *child : current->m_Children) {
        if (m_Filter.isEmpty() || child->GetName().contains(m_Filter, Qt::CaseInsensitive))
            m_Rows << child;
    }
    m_List->setUpdatesEnabled(false);
    m_List->setRowCount(m_Rows.size());
    for (int row = 0; row < m_Rows.size(); ++row)
        fillRow(row, m_Rows.at(row), true);
    m_List->setUpdatesEnabled(true);
}

void CImageBrowser::SetFilter(const QString &text)
{
    m_Filter = text.trimmed();
    RefreshTable();
}

void CImageBrowser::AppendRow(Item *child, bool checkable)
{
    if (!child)
        return;
    const int row = m_List->rowCount();
    m_List->setRowCount(row + 1);
    m_Rows << child;
    fillRow(row, child, checkable);
}

void CImageBrowser::Renamed(Item *item)
{
    const int row = m_Rows.indexOf(item);
    if (QTableWidgetItem *cell = m_List->item(row, 0))
        cell->setText(item->GetName());
    if (QTreeWidgetItem *node = GetTreeWidgetItemByData(TopNode(), item))
        node->setText(0, item->GetName());
}

void CImageBrowser::RemoveNodes(const QList<Item *> &items)
{
    for (Item *item : items) {
        if (item->m_IsDir)
            del(GetTreeWidgetItemByData(TopNode(), item));
    }
}

Item *CImageBrowser::RowItem(int row) const
{
    return row >= 0 && row < m_Rows.size() ? m_Rows.at(row) : nullptr;
}

QList<int> CImageBrowser::CheckedRows() const
{
    QList<int> rows;
    for (int row = 0; row < m_List->rowCount(); ++row) {
        const QTableWidgetItem *cell = m_List->item(row, 0);
        if (cell && cell->checkState() == Qt::Checked)
            rows << row;
    }
    return rows;
}

QList<Item *> CImageBrowser::CheckedItems() const
{
    QList<Item *> items;
    for (int row : CheckedRows()) {
        if (Item *item = RowItem(row))
            items << item;
    }
    return items;
}

void CImageBrowser::OnTreeCurrentChanged()
{
    QTreeWidgetItem *node = m_Tree->currentItem();
    if (!node)
        return;
    node->setSelected(true);
    *m_Current = node->data(0, Qt::UserRole).value<Item *>();
    RefreshTable();
}

void CImageBrowser::OnListViewClicked(QTableWidgetItem *pItem)
{
    if (!pItem)
        return;
    QTableWidget *table = pItem->tableWidget();
    if (!table)
        return;
    const int row = pItem->row();
    if (row < 0 || row >= table->rowCount())
        return;
    const QPoint global = m_HaveReleasePos ? m_LastReleasePos : QCursor::pos();
    m_HaveReleasePos = false;
    if (table->mapFromGlobal(global).x() < CheckBoxWidth)
        return;
    QTableWidgetItem *nameCell = table->item(row, 0);
    if (!nameCell)
        return;
    Qt::CheckState state = nameCell->checkState();
    if (state == Qt::Checked)
        state = Qt::Unchecked;
    else if (state == Qt::Unchecked)
        state = Qt::Checked;
    qCDebug(lcBrowser) << "CImageBrowser::OnListViewClicked" << row << state;
    nameCell->setCheckState(state);
}

void CImageBrowser::OnListViewDoubleClicked()
{
    Item *child = RowItem(m_List->currentRow());
    if (!child || !child->m_IsDir)
        return;
    *m_Current = child;
    RefreshTable();
    RefreshTreeWidget();
}

void CImageBrowser::RefreshTreeWidget()
{
    QTreeWidgetItem *node = GetTreeWidgetItemByData(TopNode(), *m_Current);
    if (!node)
        return;
    if (node->parent() && !node->parent()->isExpanded())
        node->parent()->setExpanded(true);
    m_Tree->clearSelection();
    m_Tree->setCurrentItem(node);
    node->setSelected(true);
    node->setExpanded(true);
    m_Tree->scrollToItem(node);
}

QTreeWidgetItem *CImageBrowser::GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item)
{
    if (!node || !item)
        return nullptr;
    if (node->data(0, Qt::UserRole).value<Item *>() == item)
        return node;
    for (int i = 0; i < node->childCount(); ++i) {
        if (QTreeWidgetItem *hit = GetTreeWidgetItemByData(node->child(i), item))
            return hit;
    }
    return nullptr;
}

void CImageBrowser::del(QTreeWidgetItem *node)
{
    // Deleting a node deletes the nodes below it and takes it out of its parent or the view.
    delete node;
}

void CImageBrowser::slotSelectAll(bool bChecked)
{
    for (int row = 0; row < m_List->rowCount(); ++row) {
        if (QTableWidgetItem *cell = m_List->item(row, 0))
            cell->setCheckState(bChecked ? Qt::Checked : Qt::Unchecked);
    }
}
