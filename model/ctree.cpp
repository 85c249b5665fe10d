#include "model/ctree.h"
#include "services/logging.h"

#include <QDebug>
#include <QFileInfo>

#include <utility>

// ---------------------------------------------------------------------------------------------
// ItemList

ItemList::ItemList(const ItemList &other)
{
    m_Items.reserve(other.m_Items.size());
    for (const Item *child : other.m_Items)
        adopt(new Item(*child));
}

ItemList::ItemList(ItemList &&other) noexcept
    : m_Items(std::move(other.m_Items))
    , m_Index(std::move(other.m_Index))
{
    other.m_Items.clear();
    other.m_Index.clear();
    for (Item *child : m_Items)
        child->m_Owner = this;
}

ItemList &ItemList::operator=(const ItemList &other)
{
    if (this != &other) {
        // Copy first: other may live inside the subtree this assignment destroys.
        ItemList copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ItemList &ItemList::operator=(ItemList &&other) noexcept
{
    if (this != &other) {
        std::vector<Item *> items(std::move(other.m_Items));
        QHash<QString, Chain> index(std::move(other.m_Index));
        other.m_Items.clear();
        other.m_Index.clear();
        clear();
        m_Items = std::move(items);
        m_Index = std::move(index);
        for (Item *child : m_Items)
            child->m_Owner = this;
    }
    return *this;
}

ItemList::~ItemList()
{
    clear();
}

void ItemList::reserve(int count)
{
    if (count <= size())
        return;
    m_Items.reserve(static_cast<size_t>(count));
    m_Index.reserve(count);
}

Item *ItemList::append(const Item &item)
{
    return adopt(new Item(item));
}

Item *ItemList::append(Item &&item)
{
    return adopt(new Item(std::move(item)));
}

Item *ItemList::adopt(Item *child)
{
    child->m_Owner = this;
    child->m_Index = size();
    m_Items.push_back(child);
    link(child);
    return child;
}

// Files child under its current path, keeping the chain of equal paths in list order.
void ItemList::link(Item *child)
{
    child->m_IndexedPath = child->m_Path;
    child->m_PrevSame = nullptr;
    child->m_NextSame = nullptr;
    Chain &chain = m_Index[child->m_IndexedPath];
    if (!chain.first) {
        chain.first = chain.last = child;
        return;
    }
    // Usually the child is the last one (an append); a renamed child may land in the middle.
    Item *before = chain.last;
    while (before && before->m_Index > child->m_Index)
        before = before->m_PrevSame;
    child->m_PrevSame = before;
    child->m_NextSame = before ? before->m_NextSame : chain.first;
    if (child->m_NextSame)
        child->m_NextSame->m_PrevSame = child;
    else
        chain.last = child;
    if (before)
        before->m_NextSame = child;
    else
        chain.first = child;
}

void ItemList::unlink(Item *child)
{
    auto it = m_Index.find(child->m_IndexedPath);
    if (it != m_Index.end()) {
        if (child->m_PrevSame)
            child->m_PrevSame->m_NextSame = child->m_NextSame;
        else if (it->first == child)
            it->first = child->m_NextSame;
        if (child->m_NextSame)
            child->m_NextSame->m_PrevSame = child->m_PrevSame;
        else if (it->last == child)
            it->last = child->m_PrevSame;
        if (!it->first)
            m_Index.erase(it);
    }
    child->m_PrevSame = nullptr;
    child->m_NextSame = nullptr;
    child->m_IndexedPath.clear();
}

void ItemList::pathChanged(Item *child)
{
    if (child->m_Path == child->m_IndexedPath)
        return;
    unlink(child);
    link(child);
}

void ItemList::rebuildIndex()
{
    m_Index.clear();
    for (Item *child : m_Items)
        link(child);
}

Item *ItemList::findByPath(const QString &path) const
{
    auto it = m_Index.constFind(path);
    if (it == m_Index.constEnd())
        return nullptr;
    Item *found = it->first;
    if (found->m_Path == path)
        return found;
    // A child's m_Path was assigned directly instead of through Item::Rename; file the children
    // under their present paths again and look once more.
    qCWarning(lcModel) << "ItemList::findByPath: stale index for" << path << "- rebuilding";
    const_cast<ItemList *>(this)->rebuildIndex();
    it = m_Index.constFind(path);
    return it == m_Index.constEnd() ? nullptr : it->first;
}

int ItemList::indexOf(const Item *child) const
{
    if (!child || child->m_Owner != this)
        return -1;
    const int i = child->m_Index;
    return (i >= 0 && i < size() && m_Items[static_cast<size_t>(i)] == child) ? i : -1;
}

void ItemList::removeAt(int i)
{
    if (i < 0 || i >= size()) {
        qCWarning(lcModel) << "ItemList::removeAt: index" << i << "out of range, size" << size();
        return;
    }
    Item *child = m_Items[static_cast<size_t>(i)];
    unlink(child);
    m_Items.erase(m_Items.begin() + i);
    for (size_t k = static_cast<size_t>(i); k < m_Items.size(); ++k)
        m_Items[k]->m_Index = static_cast<int>(k);
    child->m_Owner = nullptr;
    delete child;
}

void ItemList::clear()
{
    // Destroys the subtrees level by level instead of recursively, so that even a hostile,
    // extremely deep tree cannot exhaust the stack.
    std::vector<Item *> pending;
    pending.swap(m_Items);
    m_Index.clear();
    while (!pending.empty()) {
        Item *child = pending.back();
        pending.pop_back();
        ItemList &grandChildren = child->m_Children;
        pending.insert(pending.end(), grandChildren.m_Items.begin(), grandChildren.m_Items.end());
        grandChildren.m_Items.clear();
        grandChildren.m_Index.clear();
        child->m_Owner = nullptr;
        delete child;
    }
}

// ---------------------------------------------------------------------------------------------
// Item

Item::Item() = default;

Item::Item(const Item &other)
    : m_Path(other.m_Path)
    , m_SrcPath(other.m_SrcPath)
    , m_IsDir(other.m_IsDir)
    , m_Size(other.m_Size)
    , m_Time(other.m_Time)
    , m_Children(other.m_Children)
{
}

Item::Item(Item &&other) noexcept
    : m_Path(other.m_Path)
    , m_SrcPath(other.m_SrcPath)
    , m_IsDir(other.m_IsDir)
    , m_Size(other.m_Size)
    , m_Time(other.m_Time)
    , m_Children(std::move(other.m_Children))
{
    // The strings are shared, not taken, so a moved-from item that still sits in a list keeps
    // the path it is filed under.
}

Item &Item::operator=(const Item &other)
{
    if (this != &other) {
        Item copy(other); // other may be a descendant of this
        *this = std::move(copy);
    }
    return *this;
}

Item &Item::operator=(Item &&other) noexcept
{
    if (this != &other) {
        Item taken(std::move(other)); // other may be a descendant of this
        m_SrcPath = taken.m_SrcPath;
        m_IsDir = taken.m_IsDir;
        m_Size = taken.m_Size;
        m_Time = taken.m_Time;
        m_Children = std::move(taken.m_Children);
        setPathKeepingIndex(taken.m_Path);
    }
    return *this;
}

QString Item::GetName() const
{
    const int slash = m_Path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? m_Path : m_Path.mid(slash + 1);
}

QString Item::GetRelPath() const
{
    const int slash = m_Path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : m_Path.left(slash);
}

void Item::Rename(const QString &name)
{
    const QString oldPath = m_Path;
    const QString newPath = m_Path.left(m_Path.size() - GetName().size()) + name;
    if (newPath == oldPath)
        return;
    setPathKeepingIndex(newPath);
    if (!oldPath.isEmpty())
        replaceDescendantPrefix(oldPath + QLatin1Char('/'), newPath + QLatin1Char('/'));
}

void Item::setPathKeepingIndex(const QString &path)
{
    m_Path = path;
    if (m_Owner)
        m_Owner->pathChanged(this);
}

void Item::replaceDescendantPrefix(const QString &oldPrefix, const QString &newPrefix)
{
    if (m_Children.isEmpty())
        return;
    bool changed = false;
    for (Item *child : m_Children) {
        if (child->m_Path.startsWith(oldPrefix)) {
            child->m_Path = newPrefix + child->m_Path.midRef(oldPrefix.size());
            changed = true;
        }
        child->replaceDescendantPrefix(oldPrefix, newPrefix);
    }
    if (changed)
        m_Children.rebuildIndex();
}

// ---------------------------------------------------------------------------------------------
// CTree

CTree::CTree() = default;

// Follows path one component per level ("a", "a/b", "a/b/c.txt"), taking at each level the
// first child whose whole path equals the prefix, folder or not. Empty components count.
Item *CTree::walk(const QString &path, Item **parent) const
{
    if (path.isEmpty())
        return nullptr;
    const Item *current = &m_Root;
    int start = 0;
    for (;;) {
        const int slash = path.indexOf(QLatin1Char('/'), start);
        if (slash < 0) {
            Item *found = current->m_Children.findByPath(path);
            if (found && parent)
                *parent = const_cast<Item *>(current);
            return found;
        }
        const Item *found = current->m_Children.findByPath(path.left(slash));
        if (!found)
            return nullptr;
        current = found;
        start = slash + 1;
    }
}

bool CTree::AddItem(const Item &item)
{
    const QString &path = item.m_Path;
    if (path.isEmpty())
        return false;
    Item *current = &m_Root;
    int start = 0;
    for (;;) {
        const int slash = path.indexOf(QLatin1Char('/'), start);
        if (slash < 0) {
            if (current->m_Children.findByPath(path))
                return false;
            current->m_Children.append(item);
            return true;
        }
        const QString prefix = path.left(slash);
        Item *found = current->m_Children.findByPath(prefix);
        if (!found) {
            Item folder;
            folder.m_Path = prefix;
            found = current->m_Children.append(std::move(folder));
        }
        current = found;
        start = slash + 1;
    }
}

Item *CTree::GetItem(const QString &path)
{
    return walk(path, nullptr);
}

const Item *CTree::GetItem(const QString &path) const
{
    return walk(path, nullptr);
}

void CTree::RemoveItem(const QString &path)
{
    Item *parent = nullptr;
    Item *item = walk(path, &parent);
    if (item && parent)
        parent->m_Children.removeAt(parent->m_Children.indexOf(item));
}

void CTree::Clear()
{
    m_Name.clear();
    m_Root.m_Children.clear();
    m_Root.m_Path.clear();
    m_Root.m_SrcPath.clear();
    m_Root.m_Size.clear();
    m_Root.m_Time.clear();
    m_Root.m_IsDir = true;
}

qint64 CTree::TotalSize()
{
    return InnerDirSize(m_Root);
}

qint64 CTree::InnerDirSize(const Item &folder)
{
    qint64 total = 0;
    for (const Item *child : folder.m_Children) {
        if (child->m_IsDir) {
            total += InnerDirSize(*child);
        } else if (!child->m_SrcPath.isEmpty()) {
            const QFileInfo info(child->m_SrcPath);
            if (info.exists())
                total += info.size();
        }
    }
    return total;
}

void WalkItems(const Item &folder, const std::function<bool(const Item &item)> &visit)
{
    for (const Item *child : folder.m_Children) {
        if (visit(*child) && child->m_IsDir && !child->m_Children.isEmpty())
            WalkItems(*child, visit);
    }
}
