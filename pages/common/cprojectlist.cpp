#include "pages/common/cprojectlist.h"

#include "model/ctree.h"
#include "model/localscan.h"
#include "pages/common/cimagebrowser.h"
#include "pages/common/cimagewriter.h"
#include "pages/common/pagestyle.h"
#include "services/cfilecopy.h"
#include "services/util.h"

#include <QHeaderView>
#include <QIcon>
#include <QMouseEvent>
#include <QTreeWidget>

namespace {

// Column 0 of a node: the folder marker (the integer 1 for folders) and the item's path.
constexpr int FolderRole = Qt::UserRole;
constexpr int PathRole = Qt::UserRole + 1;

QString nodePath(const QTreeWidgetItem *node)
{
    return node ? node->data(0, PathRole).toString() : QString();
}

// A node of the view, made from its item: the texts, the icon and the roles are made when the
// view first asks for them, that is for the rows it shows, so that adding tens of thousands of
// entries neither formats nor stores a text per column and row. The strings it keeps are shared
// with the item, not copied.
class ProjectNode : public QTreeWidgetItem
{
public:
    explicit ProjectNode(const Item &item)
        : m_Path(item.m_Path)
        , m_SrcPath(item.m_SrcPath)
        , m_Time(item.m_Time)
        , m_Size(item.m_IsDir ? -1 : static_cast<qint64>(item.m_Size.toULongLong()))
    {
    }

    QVariant data(int column, int role) const override
    {
        const bool isDir = m_Size < 0;
        if (column == 0) {
            if (role == PathRole)
                return m_Path;
            if (role == FolderRole)
                return isDir ? QVariant(1) : QVariant();
            if (role == Qt::DecorationRole) {
                if (!m_HasIcon) {
                    // The catalogue asks the platform's icon provider once per extension.
                    m_Icon = isDir
                        ? PageStyle::FolderIcon()
                        : Util::GetExtensionIcon(m_SrcPath.mid(m_SrcPath.lastIndexOf('/') + 1));
                    m_HasIcon = true;
                }
                return m_Icon;
            }
        }
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return QTreeWidgetItem::data(column, role);
        const int slash = m_Path.lastIndexOf(QLatin1Char('/'));
        switch (column) {
        case 0:
            return slash < 0 ? m_Path : m_Path.mid(slash + 1);
        case 1:
            return slash < 0 ? QString() : m_Path.left(slash);
        case 2:
            if (isDir)
                break;
            if (m_SizeText.isNull())
                m_SizeText = Util::SizeToString(m_Size);
            return m_SizeText;
        case 3:
            if (isDir)
                return CProjectList::tr("Folder");
            if (m_Type.isNull())
                m_Type = PageStyle::FileType(m_SrcPath);
            return m_Type;
        case 4:
            return m_Time;
        }
        return QTreeWidgetItem::data(column, role);
    }

private:
    const QString m_Path;
    const QString m_SrcPath;
    const QString m_Time;
    const qint64 m_Size; // -1 for a folder
    mutable bool m_HasIcon = false;
    mutable QIcon m_Icon;
    mutable QString m_SizeText;
    mutable QString m_Type;
};

} // namespace

CProjectList::CProjectList(QTreeWidget *view, CTree *tree, CFileCopy *copier, CImageWriter *writer,
                           const QString &stageDir, QObject *parent)
    : QObject(parent)
    , m_View(view)
    , m_Tree(tree)
    , m_Copier(copier)
    , m_Writer(writer)
    , m_StageDir(stageDir)
{
}

void CProjectList::SetUp(const QString &style)
{
    m_View->setColumnCount(5);
    m_View->setHeaderLabels(
        { tr("File Name"), tr("File Path"), tr(" Size"), tr("Type"), tr("Time") });
    PageStyle::SetUpList(m_View, m_View->header(), style, 5, QAbstractItemView::SingleSelection);
    // The view's pressed() comes only for nodes: a press on its empty part is watched here.
    m_View->viewport()->installEventFilter(this);
}

bool CProjectList::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == m_View->viewport()
        && !m_View->indexAt(static_cast<QMouseEvent *>(event)->pos()).isValid())
        m_View->clearSelection();
    return QObject::eventFilter(watched, event);
}

QString CProjectList::SelectedDir() const
{
    const QList<QTreeWidgetItem *> selected = m_View->selectedItems();
    if (selected.isEmpty() || !selected.first()->parent())
        return QString();
    return nodePath(selected.first()->parent()) + QLatin1Char('/');
}

QTreeWidgetItem *CProjectList::TargetNode() const
{
    const QList<QTreeWidgetItem *> selected = m_View->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    QTreeWidgetItem *node = selected.first();
    return node->data(0, FolderRole).toInt() == 1 ? node : node->parent();
}

QTreeWidgetItem *CProjectList::MakeNode(const Item &item) const
{
    QTreeWidgetItem *node = new ProjectNode(item);
    if (!item.m_Children.isEmpty()) {
        QList<QTreeWidgetItem *> children;
        children.reserve(item.m_Children.size());
        for (const Item *child : item.m_Children)
            children << MakeNode(*child);
        node->addChildren(children);
    }
    return node;
}

void CProjectList::AddDir(Item *parent, const QString &folder, QTreeWidgetItem *node,
                          QTreeWidget *view)
{
    const int first = parent->m_Children.size();
    ScanLocalFolder(parent, folder, { m_StageDir });
    QList<QTreeWidgetItem *> nodes;
    for (int i = first; i < parent->m_Children.size(); ++i)
        nodes << MakeNode(*parent->m_Children.at(i));
    // One insertion per folder keeps the view quick with tens of thousands of entries.
    if (view)
        view->addTopLevelItems(nodes);
    else if (node)
        node->addChildren(nodes);
}

void CProjectList::Add(const QStringList &sources)
{
    QTreeWidgetItem *target = TargetNode();
    const QString prefix = target ? nodePath(target) + QLatin1Char('/') : QString();
    for (QString source : sources) {
        while (source.size() > 1 && source.endsWith(QLatin1Char('/')))
            source.chop(1);
        // Staged as links to the user's files (task kind 3), read only when the image is
        // written. A folder is mirrored into the folder that holds it, under its own name; the
        // copier starts on it while its content is scanned here.
        const Item *added
            = AddLocalEntry(*m_Tree, source, prefix, { m_StageDir }, [&](const Item &entry) {
                  m_Writer->Restaged(entry.m_SrcPath);
                  m_Copier->AddTask(entry.m_SrcPath,
                                    m_StageDir + (entry.m_IsDir ? prefix : entry.m_Path), 3);
              });
        if (!added)
            continue; // already in the project
        QTreeWidgetItem *node = MakeNode(*added);
        if (target)
            target->addChild(node);
        else
            m_View->addTopLevelItem(node);
    }
}

bool CProjectList::RemoveSelected()
{
    const QList<QTreeWidgetItem *> selected = m_View->selectedItems();
    if (selected.isEmpty())
        return false;
    QTreeWidgetItem *node = selected.first();
    const QString path = nodePath(node);
    Item *item = m_Tree->GetItem(path);
    if (!item)
        return false;
    const QString source = item->m_SrcPath;
    // A pending copy is cancelled only when no other item copies the same source: the copier
    // cancels the first task with that source, which could be the other item's.
    bool shared = false;
    WalkItems(m_Tree->m_Root, [&](const Item &other) {
        shared = shared || (&other != item && other.m_SrcPath == source);
        return !shared && &other != item;
    });
    if (!shared)
        m_Copier->RemoveTask(source);
    m_Copier->AddTask(m_StageDir + path, QString(), 1);
    CImageBrowser::del(node);
    m_Tree->RemoveItem(path);
    return true;
}
