#ifndef VEXLOR_CTREE_H
#define VEXLOR_CTREE_H

// The content tree of an ISO image or of an ISO project: folders and files addressed by their
// "/"-separated relative path inside the image.
//
// Every item is allocated on its own and never moves, so views may keep raw Item pointers until
// the item is removed or the tree is cleared. Each child list keeps a hash from path to the first
// child with that path, so lookups cost the same in a folder of 20,000 entries as in one of ten.

#include <QHash>
#include <QMetaType>
#include <QString>

#include <functional>
#include <vector>

class Item;

// The owning, address-stable list of an item's children. Elements are allocated one by one; the
// list keeps a hash from path to the first child with that path, maintained across every change.
class ItemList
{
public:
    using const_iterator = std::vector<Item *>::const_iterator;

    ItemList() = default;
    ItemList(const ItemList &other); // deep copy
    ItemList(ItemList &&other) noexcept;
    ItemList &operator=(const ItemList &other);
    ItemList &operator=(ItemList &&other) noexcept;
    ~ItemList();

    int size() const { return static_cast<int>(m_Items.size()); }
    int count() const { return size(); }
    bool isEmpty() const { return m_Items.empty(); }
    Item *at(int i) const { return m_Items.at(static_cast<size_t>(i)); }
    Item *operator[](int i) const { return at(i); }
    Item *first() const { return m_Items.empty() ? nullptr : m_Items.front(); }
    Item *last() const { return m_Items.empty() ? nullptr : m_Items.back(); }

    // Makes room for count children in all, so that appending up to that many moves nothing.
    void reserve(int count);
    // Copies item (with its subtree) to the end; returns the copy's fixed address.
    Item *append(const Item &item);
    // Takes over item's children instead of copying them; item keeps its own fields.
    Item *append(Item &&item);

    // First child whose m_Path equals path, or null. Constant time.
    Item *findByPath(const QString &path) const;
    // Position of child in this list, or -1 when it is not one of its elements. Constant time.
    int indexOf(const Item *child) const;
    bool contains(const Item *child) const { return indexOf(child) >= 0; }

    // Destroys the child at i and its subtree.
    void removeAt(int i);
    void clear();

    const_iterator begin() const { return m_Items.begin(); }
    const_iterator end() const { return m_Items.end(); }

private:
    friend class Item;

    // Chain of the children that share one path, in list order.
    struct Chain
    {
        Item *first = nullptr;
        Item *last = nullptr;
    };

    Item *adopt(Item *child);
    void link(Item *child);
    void unlink(Item *child);
    void pathChanged(Item *child);
    void rebuildIndex();

    std::vector<Item *> m_Items;
    QHash<QString, Chain> m_Index;
};

class Item
{
public:
    Item(); // a folder: strings empty, m_IsDir true, no children
    Item(const Item &other); // deep copy
    Item(Item &&other) noexcept; // takes the children, copies the strings
    Item &operator=(const Item &other);
    Item &operator=(Item &&other) noexcept;
    ~Item() = default;

    QString m_Path;
    QString m_SrcPath;
    bool m_IsDir = true;
    QString m_Size;
    QString m_Time;
    ItemList m_Children;

    // Last component of m_Path (empty when the path ends in "/").
    QString GetName() const;
    // m_Path without its last component and the "/" before it.
    QString GetRelPath() const;
    // Replaces the last component of m_Path with name and rewrites the paths of all descendants
    // that lie under the old path, keeping every child index right. The item keeps its place.
    void Rename(const QString &name);

private:
    friend class ItemList;

    void setPathKeepingIndex(const QString &path);
    void replaceDescendantPrefix(const QString &oldPrefix, const QString &newPrefix);

    // Bookkeeping of the list that owns this item (none for a free-standing item or a root).
    ItemList *m_Owner = nullptr;
    int m_Index = -1;
    QString m_IndexedPath; // the key this item is filed under in m_Owner's index
    Item *m_PrevSame = nullptr;
    Item *m_NextSame = nullptr;
};

Q_DECLARE_METATYPE(Item *)

// Visits every item below folder, depth first in child order; visit returns whether to go on
// into the item's own children (only asked for folders that have any).
void WalkItems(const Item &folder, const std::function<bool(const Item &item)> &visit);

class CTree
{
public:
    CTree();

    QString m_Name;
    Item m_Root;

    // Inserts a copy of item at the place its m_Path names, creating missing folders on the way.
    // False when the path is empty or already present (the existing item is left untouched).
    bool AddItem(const Item &item);
    Item *GetItem(const QString &path);
    const Item *GetItem(const QString &path) const;
    // Destroys the item at path with its subtree; nothing happens when it is not found.
    void RemoveItem(const QString &path);
    void Clear();
    // Bytes on disk of every file taken from a local file (read from disk on every call).
    qint64 TotalSize();
    qint64 InnerDirSize(const Item &folder);

private:
    Item *walk(const QString &path, Item **parent) const;
};

#endif // VEXLOR_CTREE_H
