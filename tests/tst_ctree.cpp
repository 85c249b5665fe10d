// The content tree: path walk and insertion rules, lookups, removal, rename, sizes from disk,
// fixed item addresses, and the per-folder path index kept right across every kind of change
// (checked against a plain linear model on a long run of random operations).

#include "model/ctree.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

#include <functional>
#include <random>

namespace {

Item makeItem(const QString &path, bool isDir = false, const QString &time = QString())
{
    Item item;
    item.m_Path = path;
    item.m_IsDir = isDir;
    item.m_Time = time;
    if (!isDir)
        item.m_Size = QStringLiteral("1");
    return item;
}

// Pre-order dump, one "path|D or F|time" per item.
void dumpInto(const Item &folder, QStringList &out)
{
    for (const Item *child : folder.m_Children) {
        out << child->m_Path + (child->m_IsDir ? "|D|" : "|F|") + child->m_Time;
        dumpInto(*child, out);
    }
}

QStringList dump(const Item &root)
{
    QStringList out;
    dumpInto(root, out);
    return out;
}

// Every element knows its position, and the first child of each path is what the index gives.
bool indexIsRight(const Item &folder)
{
    const ItemList &list = folder.m_Children;
    for (int i = 0; i < list.size(); ++i) {
        const Item *child = list.at(i);
        if (list.indexOf(child) != i)
            return false;
        const Item *first = nullptr;
        for (const Item *c : list) {
            if (c->m_Path == child->m_Path) {
                first = c;
                break;
            }
        }
        if (list.findByPath(child->m_Path) != first)
            return false;
        if (!indexIsRight(*child))
            return false;
    }
    return true;
}

} // namespace

class TestCTree : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void addItem_data();
    void addItem();
    void addItemKeepsFirstAndCopiesSubtree();
    void getItem_data();
    void getItem();
    void names_data();
    void names();
    void rename_data();
    void rename();
    void removeItem_data();
    void removeItem();
    void clear();
    void totalSize();
    void addressesStayFixed();
    void directAppendsAndDuplicates();
    void copyAndMove();
    void metaType();
    void largeFolders();
    void deepTreeDestroyed();
    void randomOperationsMatchLinearModel();
};

void TestCTree::defaults()
{
    Item item;
    QVERIFY(item.m_IsDir);
    QVERIFY(item.m_Path.isEmpty() && item.m_SrcPath.isEmpty());
    QVERIFY(item.m_Size.isEmpty() && item.m_Time.isEmpty());
    QVERIFY(item.m_Children.isEmpty());
    CTree tree;
    QVERIFY(tree.m_Name.isEmpty());
    QVERIFY(tree.m_Root.m_IsDir && tree.m_Root.m_Path.isEmpty());
    QCOMPARE(tree.TotalSize(), qint64(0));
}

// Each add is "path", "path:D" for a folder, optionally "=time" at the end.
void TestCTree::addItem_data()
{
    QTest::addColumn<QStringList>("adds");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("folders created on the way")
        << QStringList { "a/b/c.txt" } << "1" << QStringList { "a|D|", "a/b|D|", "a/b/c.txt|F|" };
    QTest::newRow("insertion order kept, never sorted")
        << QStringList { "z", "a", "m", "a/2", "a/1" } << "11111"
        << QStringList { "z|F|", "a|F|", "a/2|F|", "a/1|F|", "m|F|" };
    QTest::newRow("repeated path refused, first keeps its fields")
        << QStringList { "x=t1", "x=t2" } << "10" << QStringList { "x|F|t1" };
    QTest::newRow("folder row after a descendant is refused")
        << QStringList { "d/f=t1", "d:D=t2" } << "10" << QStringList { "d|D|", "d/f|F|t1" };
    QTest::newRow("child of a file: no type check")
        << QStringList { "a", "a/b" } << "11" << QStringList { "a|F|", "a/b|F|" };
    QTest::newRow("case-sensitive paths")
        << QStringList { "A", "a" } << "11" << QStringList { "A|F|", "a|F|" };
    QTest::newRow("empty path refused") << QStringList { "" } << "0" << QStringList {};
    QTest::newRow("empty middle component")
        << QStringList { "a//b" } << "1" << QStringList { "a|D|", "a/|D|", "a//b|F|" };
    QTest::newRow("trailing separator")
        << QStringList { "a/b/", "a/b" } << "10" << QStringList { "a|D|", "a/b|D|", "a/b/|F|" };
    QTest::newRow("leading separator")
        << QStringList { "/x" } << "1" << QStringList { "|D|", "/x|F|" };
    QTest::newRow("whole paths compared, not names")
        << QStringList { "a/b", "b/b", "b" } << "110"
        << QStringList { "a|D|", "a/b|F|", "b|D|", "b/b|F|" };
}

void TestCTree::addItem()
{
    QFETCH(QStringList, adds);
    QFETCH(QString, results);
    QFETCH(QStringList, expected);

    CTree tree;
    QString got;
    for (const QString &entry : adds) {
        QString path = entry.section('=', 0, 0);
        const QString time = entry.contains('=') ? entry.section('=', 1) : QString();
        const bool isDir = path.endsWith(":D");
        if (isDir)
            path.chop(2);
        got += tree.AddItem(makeItem(path, isDir, time)) ? '1' : '0';
    }
    QCOMPARE(got, results);
    QCOMPARE(dump(tree.m_Root), expected);
    QVERIFY(indexIsRight(tree.m_Root));
}

void TestCTree::addItemKeepsFirstAndCopiesSubtree()
{
    CTree tree;
    Item folder = makeItem("p", true, "t0");
    folder.m_SrcPath = "/src/p";
    folder.m_Children.append(makeItem("p/inner"));
    QVERIFY(tree.AddItem(folder));
    // The tree holds a copy: changing the argument afterwards changes nothing in the tree.
    folder.m_Children.clear();
    folder.m_Time = "changed";
    Item *stored = tree.GetItem("p");
    QVERIFY(stored);
    QCOMPARE(stored->m_Time, QString("t0"));
    QCOMPARE(stored->m_SrcPath, QString("/src/p"));
    QCOMPARE(stored->m_Children.size(), 1);
    QVERIFY(tree.GetItem("p/inner"));

    Item again = makeItem("p", false, "t9");
    QVERIFY(!tree.AddItem(again));
    QVERIFY(tree.GetItem("p")->m_IsDir);
    QCOMPARE(tree.GetItem("p")->m_Time, QString("t0"));
}

void TestCTree::getItem_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("found"); // expected m_Path, or "-" for none

    QTest::newRow("file") << "a/b/c.txt"
                          << "a/b/c.txt";
    QTest::newRow("folder") << "a/b"
                            << "a/b";
    QTest::newRow("top level") << "a"
                               << "a";
    QTest::newRow("trailing separator") << "a/b/"
                                        << "-";
    QTest::newRow("empty") << ""
                           << "-";
    QTest::newRow("other case") << "A/b"
                                << "-";
    QTest::newRow("missing leaf") << "a/b/d.txt"
                                  << "-";
    QTest::newRow("missing middle") << "a/x/c.txt"
                                    << "-";
    QTest::newRow("leading separator") << "/a"
                                       << "-";
    QTest::newRow("below a file") << "a/b/c.txt/x"
                                  << "-";
    QTest::newRow("name alone at the wrong level") << "b"
                                                   << "-";
}

void TestCTree::getItem()
{
    QFETCH(QString, query);
    QFETCH(QString, found);
    CTree tree;
    tree.AddItem(makeItem("a/b/c.txt"));
    const Item *item = tree.GetItem(query);
    QCOMPARE(item ? item->m_Path : QString("-"), found);
}

void TestCTree::names_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("relPath");

    QTest::newRow("nested") << "a/b/c.txt"
                            << "c.txt"
                            << "a/b";
    QTest::newRow("top level") << "c.txt"
                               << "c.txt"
                               << "";
    QTest::newRow("trailing separator") << "a/b/"
                                        << ""
                                        << "a/b";
    QTest::newRow("root") << ""
                          << ""
                          << "";
    QTest::newRow("blanks kept") << " a / b "
                                 << " b "
                                 << " a ";
}

void TestCTree::names()
{
    QFETCH(QString, path);
    Item item = makeItem(path);
    QTEST(item.GetName(), "name");
    QTEST(item.GetRelPath(), "relPath");
}

void TestCTree::rename_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QStringList>("expected");

    const QStringList base {
        "a|D|", "a/b|D|", "a/b/c.txt|F|", "a/b/d|D|", "a/b/d/e|F|", "a/bx|F|"
    };
    QTest::newRow("file") << "a/b/c.txt"
                          << "z.txt" << QStringList { "a|D|",     "a/b|D|",     "a/b/z.txt|F|",
                                                      "a/b/d|D|", "a/b/d/e|F|", "a/bx|F|" };
    QTest::newRow("folder rewrites its descendants, not look-alike siblings")
        << "a/b"
        << "c"
        << QStringList { "a|D|", "a/c|D|", "a/c/c.txt|F|", "a/c/d|D|", "a/c/d/e|F|", "a/bx|F|" };
    QTest::newRow("top-level folder")
        << "a"
        << "q"
        << QStringList { "q|D|", "q/b|D|", "q/b/c.txt|F|", "q/b/d|D|", "q/b/d/e|F|", "q/bx|F|" };
    QTest::newRow("same name changes nothing") << "a/b"
                                               << "b" << base;
    QTest::newRow("longer name") << "a/b/d"
                                 << "dddd"
                                 << QStringList { "a|D|",        "a/b|D|",        "a/b/c.txt|F|",
                                                  "a/b/dddd|D|", "a/b/dddd/e|F|", "a/bx|F|" };
}

void TestCTree::rename()
{
    QFETCH(QString, target);
    QFETCH(QString, newName);
    QFETCH(QStringList, expected);

    CTree tree;
    for (const char *p : { "a/b/c.txt", "a/b/d/e", "a/bx" })
        tree.AddItem(makeItem(p));
    Item *item = tree.GetItem(target);
    QVERIFY(item);
    const int position = item->GetRelPath().isEmpty()
        ? tree.m_Root.m_Children.indexOf(item)
        : tree.GetItem(item->GetRelPath())->m_Children.indexOf(item);
    item->Rename(newName);
    QCOMPARE(dump(tree.m_Root), expected);
    // Every renamed path is found again, at the same address and place; the old ones are gone.
    QCOMPARE(tree.GetItem(item->m_Path), item);
    const Item *parent
        = item->GetRelPath().isEmpty() ? &tree.m_Root : tree.GetItem(item->GetRelPath());
    QCOMPARE(parent->m_Children.indexOf(item), position);
    for (const QString &line : expected)
        QVERIFY2(tree.GetItem(line.section('|', 0, 0)), qPrintable(line));
    if (newName != QFileInfo(target).fileName())
        QVERIFY(!tree.GetItem(target));
    QVERIFY(indexIsRight(tree.m_Root));
}

void TestCTree::removeItem_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("folder with descendants") << "a/b" << QStringList { "a|D|", "a/x|F|", "y|F|" };
    QTest::newRow("file") << "a/b/c" << QStringList { "a|D|", "a/b|D|", "a/x|F|", "y|F|" };
    QTest::newRow("top level") << "a" << QStringList { "y|F|" };
    QTest::newRow("missing") << "a/q"
                             << QStringList { "a|D|", "a/b|D|", "a/b/c|F|", "a/x|F|", "y|F|" };
    QTest::newRow("trailing separator")
        << "a/b/" << QStringList { "a|D|", "a/b|D|", "a/b/c|F|", "a/x|F|", "y|F|" };
    QTest::newRow("empty") << "" << QStringList { "a|D|", "a/b|D|", "a/b/c|F|", "a/x|F|", "y|F|" };
}

void TestCTree::removeItem()
{
    QFETCH(QString, path);
    QFETCH(QStringList, expected);
    CTree tree;
    for (const char *p : { "a/b/c", "a/x", "y" })
        tree.AddItem(makeItem(p));
    Item *survivor = tree.GetItem("y");
    tree.RemoveItem(path);
    QCOMPARE(dump(tree.m_Root), expected);
    QCOMPARE(survivor->m_Path, QString("y")); // still alive at the same address
    QVERIFY(indexIsRight(tree.m_Root));
    if (expected.size() < 5)
        QVERIFY(!tree.GetItem(path));
}

void TestCTree::clear()
{
    CTree tree;
    tree.m_Name = "image.iso";
    tree.AddItem(makeItem("a/b"));
    tree.m_Root.m_Time = "x";
    tree.m_Root.m_IsDir = false;
    tree.Clear();
    QVERIFY(tree.m_Name.isEmpty());
    QVERIFY(tree.m_Root.m_Children.isEmpty());
    QVERIFY(tree.m_Root.m_Time.isEmpty() && tree.m_Root.m_IsDir);
    QVERIFY(!tree.GetItem("a"));
    QVERIFY(tree.AddItem(makeItem("a/b")));
    QVERIFY(tree.GetItem("a/b"));
}

void TestCTree::totalSize()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto writeFile = [&](const QString &name, int bytes) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
    };
    writeFile("one", 100);
    writeFile("two", 23);

    // Filled from a listing: no source paths, sizes never consulted.
    CTree listed;
    Item big = makeItem("f");
    big.m_Size = "999999";
    listed.AddItem(big);
    listed.AddItem(makeItem("d/g"));
    QCOMPARE(listed.TotalSize(), qint64(0));

    // A project: sizes read from disk on every call, also for files appended directly.
    CTree project;
    Item one = makeItem("one");
    one.m_SrcPath = dir.filePath("one");
    one.m_Size = "1";
    project.AddItem(one);
    Item *folder = project.m_Root.m_Children.append(makeItem("sub", true));
    Item two = makeItem("sub/two");
    two.m_SrcPath = dir.filePath("two");
    folder->m_Children.append(two);
    Item gone = makeItem("sub/gone");
    gone.m_SrcPath = dir.filePath("gone");
    folder->m_Children.append(gone);
    QCOMPARE(project.TotalSize(), qint64(123));
    QCOMPARE(project.InnerDirSize(*folder), qint64(23));
    writeFile("two", 1000);
    QCOMPARE(project.TotalSize(), qint64(1100));
    QVERIFY(QFile::remove(dir.filePath("one")));
    QCOMPARE(project.TotalSize(), qint64(1000));
}

void TestCTree::addressesStayFixed()
{
    CTree tree;
    QVector<Item *> kept;
    for (int i = 0; i < 2000; ++i) {
        tree.AddItem(makeItem(QString("d/f%1").arg(i)));
        if (i % 100 == 0)
            kept << tree.GetItem(QString("d/f%1").arg(i));
    }
    Item *folder = tree.GetItem("d");
    for (int i = 0; i < 3000; ++i)
        folder->m_Children.append(makeItem(QString("d/g%1").arg(i)));
    for (int i = 0; i < 2000; i += 3)
        if (i % 100 != 0)
            tree.RemoveItem(QString("d/f%1").arg(i));
    tree.m_Root.m_Children.append(makeItem("later"));
    QCOMPARE(tree.GetItem("d"), folder);
    for (int k = 0; k < kept.size(); ++k) {
        const QString path = QString("d/f%1").arg(k * 100);
        QCOMPARE(kept[k]->m_Path, path); // ASan reports a freed or moved element here
        QCOMPARE(tree.GetItem(path), kept[k]);
        QCOMPARE(folder->m_Children.at(folder->m_Children.indexOf(kept[k])), kept[k]);
    }
    QVERIFY(indexIsRight(tree.m_Root));
    // range-for yields the stored pointers
    int n = 0;
    for (Item *child : folder->m_Children)
        n += child == folder->m_Children[n] ? 1 : 0;
    QCOMPARE(n, folder->m_Children.size());
}

void TestCTree::directAppendsAndDuplicates()
{
    CTree tree;
    Item *root = &tree.m_Root;
    // Appends that bypass AddItem may repeat a path; the first one in list order is found.
    Item *x1 = root->m_Children.append(makeItem("x"));
    Item *y = root->m_Children.append(makeItem("y"));
    Item *x2 = root->m_Children.append(makeItem("x"));
    Item *x3 = root->m_Children.append(makeItem("x"));
    QCOMPARE(tree.GetItem("x"), x1);
    QVERIFY(!tree.AddItem(makeItem("x")));

    x1->Rename("z"); // x2 becomes the first "x"
    QCOMPARE(tree.GetItem("x"), x2);
    QCOMPARE(tree.GetItem("z"), x1);
    x3->Rename("z"); // x1 stays first: it comes earlier in the list
    QCOMPARE(tree.GetItem("z"), x1);
    y->Rename("z");
    QCOMPARE(tree.GetItem("z"), x1);
    QCOMPARE(tree.GetItem("y"), nullptr);
    root->m_Children.removeAt(root->m_Children.indexOf(x1));
    QCOMPARE(tree.GetItem("z"), y);
    tree.RemoveItem("z");
    QCOMPARE(tree.GetItem("z"), x3);
    tree.RemoveItem("z");
    QCOMPARE(tree.GetItem("z"), nullptr);
    QCOMPARE(tree.GetItem("x"), x2);
    QCOMPARE(root->m_Children.size(), 1);

    // Out-of-range removal and foreign pointers are refused, not undefined.
    QTest::ignoreMessage(QtWarningMsg, "ItemList::removeAt: index 5 out of range, size 1");
    root->m_Children.removeAt(5);
    QTest::ignoreMessage(QtWarningMsg, "ItemList::removeAt: index -1 out of range, size 1");
    root->m_Children.removeAt(-1);
    Item loose;
    QCOMPARE(root->m_Children.indexOf(&loose), -1);
    QCOMPARE(root->m_Children.indexOf(nullptr), -1);
    QCOMPARE(root->m_Children.size(), 1);

    // A path assigned directly (not through Rename) is picked up when the old one is looked up.
    x2->m_Path = "w";
    QTest::ignoreMessage(QtWarningMsg, "ItemList::findByPath: stale index for \"x\" - rebuilding");
    QCOMPARE(tree.GetItem("x"), nullptr);
    QCOMPARE(tree.GetItem("w"), x2);
    QVERIFY(indexIsRight(tree.m_Root));
}

void TestCTree::copyAndMove()
{
    CTree tree;
    tree.AddItem(makeItem("a/b/c"));
    tree.AddItem(makeItem("a/d"));
    Item *a = tree.GetItem("a");

    // Deep copy: a separate subtree whose children are indexed on their own.
    Item copy(*a);
    QCOMPARE(dump(copy), dump(*a));
    QVERIFY(copy.m_Children.at(0) != a->m_Children.at(0));
    copy.m_Children.at(0)->Rename("q");
    QCOMPARE(copy.m_Children.findByPath("a/q"), copy.m_Children.at(0));
    QVERIFY(tree.GetItem("a/b/c"));
    QVERIFY(!tree.GetItem("a/q"));

    // Assigning to an element of a list keeps that list's index right.
    Item replacement = makeItem("e", true);
    replacement.m_Children.append(makeItem("e/f"));
    Item *d = tree.GetItem("a/d");
    *d = replacement;
    QCOMPARE(tree.GetItem("a/d"), nullptr);
    QVERIFY(tree.AddItem(makeItem("a/d")));
    QCOMPARE(tree.m_Root.m_Children.findByPath("e"), nullptr); // it stayed under a
    QCOMPARE(a->m_Children.findByPath("e"), d);
    QCOMPARE(d->m_Children.size(), 1);

    // An item assigned from its own descendant.
    Item *b = tree.GetItem("a/b");
    *b = *b->m_Children.at(0);
    QCOMPARE(b->m_Path, QString("a/b/c"));
    QVERIFY(b->m_Children.isEmpty());
    QCOMPARE(tree.GetItem("a/b/c"), nullptr); // "a/b" is no longer there to walk through
    QCOMPARE(a->m_Children.findByPath("a/b/c"), b);

    // Moving into a list takes the children; the moved-from item keeps its own fields.
    Item source = makeItem("m", true);
    Item *grandChild = source.m_Children.append(makeItem("m/n"));
    Item *moved = tree.m_Root.m_Children.append(std::move(source));
    QCOMPARE(moved->m_Children.at(0), grandChild);
    QCOMPARE(moved->m_Children.indexOf(grandChild), 0);
    QCOMPARE(tree.GetItem("m/n"), grandChild);
    QCOMPARE(source.m_Path, QString("m"));
    QVERIFY(source.m_Children.isEmpty());

    // Copying a whole tree root.
    Item rootCopy = tree.m_Root;
    rootCopy = rootCopy; // self-assignment
    QCOMPARE(dump(rootCopy), dump(tree.m_Root));
    QVERIFY(indexIsRight(rootCopy));
    QVERIFY(indexIsRight(tree.m_Root));
}

void TestCTree::metaType()
{
    Item item;
    const QVariant v = QVariant::fromValue(&item);
    QCOMPARE(QByteArray(v.typeName()), QByteArray("Item*"));
    QCOMPARE(v.value<Item *>(), &item);
}

void TestCTree::largeFolders()
{
    // One folder of 20,000 entries, and 100,000 entries over 1,000 folders, each arriving in
    // listing order; with a linear sibling scan this alone would be billions of comparisons.
    CTree flat;
    for (int i = 0; i < 20000; ++i)
        QVERIFY(flat.AddItem(makeItem(QString("big/file%1.txt").arg(i))));
    QCOMPARE(flat.GetItem("big")->m_Children.size(), 20000);
    QCOMPARE(flat.GetItem("big/file19999.txt")->m_Path, QString("big/file19999.txt"));

    CTree wide;
    for (int d = 0; d < 1000; ++d)
        for (int f = 0; f < 100; ++f)
            wide.AddItem(makeItem(QString("top/dir%1/f%2").arg(d).arg(f)));
    QCOMPARE(wide.GetItem("top")->m_Children.size(), 1000);
    QVERIFY(wide.GetItem("top/dir999/f99"));
    Item *top = wide.GetItem("top");
    top->Rename("renamed");
    QVERIFY(wide.GetItem("renamed/dir500/f50"));
    QVERIFY(!wide.GetItem("top/dir500/f50"));
}

void TestCTree::deepTreeDestroyed()
{
    // Far deeper than any real image; destroying it must not recurse once per level.
    CTree tree;
    Item *current = &tree.m_Root;
    for (int depth = 0; depth < 300000; ++depth)
        current = current->m_Children.append(makeItem("d", true));
    current->m_Children.append(makeItem("leaf"));
    tree.Clear();
    QVERIFY(tree.m_Root.m_Children.isEmpty());
    {
        Item local;
        Item *cur = &local;
        for (int depth = 0; depth < 300000; ++depth)
            cur = cur->m_Children.append(makeItem("d", true));
    } // destructor
    QVERIFY(tree.AddItem(makeItem("x")));
}

// A long deterministic run of random operations against a plain model that finds items by
// scanning siblings in order; the tree must give the same answers and the same shape.
void TestCTree::randomOperationsMatchLinearModel()
{
    struct Node
    {
        QString path;
        int id;
        std::vector<Node> children;
    };
    Node model { QString(), 0, {} };
    CTree tree;
    int nextId = 1;
    std::mt19937 rng(20240611);
    auto pick = [&](int n) {
        return int(rng() % unsigned(n));
    };
    const QStringList names { "a", "b", "c", "", "a b", "Ä" };
    auto randomPath = [&]() {
        QStringList parts;
        const int depth = 1 + pick(3);
        for (int i = 0; i < depth; ++i)
            parts << names[pick(names.size())];
        return parts.join('/');
    };

    // Model walk: first child with the cumulative prefix, level by level.
    std::function<Node *(Node &, const QString &, Node **)> find
        = [](Node &root, const QString &path, Node **parent) -> Node * {
        if (path.isEmpty())
            return nullptr;
        Node *cur = &root;
        int start = 0;
        for (;;) {
            const int slash = path.indexOf('/', start);
            const QString prefix = slash < 0 ? path : path.left(slash);
            Node *hit = nullptr;
            for (Node &c : cur->children) {
                if (c.path == prefix) {
                    hit = &c;
                    break;
                }
            }
            if (!hit)
                return nullptr;
            if (slash < 0) {
                if (parent)
                    *parent = cur;
                return hit;
            }
            cur = hit;
            start = slash + 1;
        }
    };
    std::function<void(Node &, const QString &, const QString &)> rewrite
        = [&](Node &n, const QString &from, const QString &to) {
              for (Node &c : n.children) {
                  if (c.path.startsWith(from))
                      c.path = to + c.path.mid(from.size());
                  rewrite(c, from, to);
              }
          };
    // Items carry their model id in m_Size.
    std::function<bool(const Node &, const Item &)> sameChildren;
    auto same = [&](const Node &n, const Item &it) {
        return n.path == it.m_Path && QString::number(n.id) == it.m_Size && sameChildren(n, it);
    };
    sameChildren = [&](const Node &n, const Item &it) {
        if (int(n.children.size()) != it.m_Children.size())
            return false;
        for (int i = 0; i < it.m_Children.size(); ++i)
            if (!same(n.children[size_t(i)], *it.m_Children.at(i)))
                return false;
        return true;
    };

    for (int step = 0; step < 6000; ++step) {
        const QString path = randomPath();
        switch (pick(5)) {
        case 0: { // AddItem
            Item item = makeItem(path);
            item.m_Size = QString::number(nextId);
            const bool added = tree.AddItem(item);
            // model: create folders on the way
            Node *cur = &model;
            int start = 0;
            bool modelAdded = false;
            for (;;) {
                const int slash = path.indexOf('/', start);
                const QString prefix = slash < 0 ? path : path.left(slash);
                Node *hit = nullptr;
                for (Node &c : cur->children)
                    if (c.path == prefix) {
                        hit = &c;
                        break;
                    }
                if (slash < 0) {
                    if (!hit) {
                        cur->children.push_back({ path, nextId, {} });
                        modelAdded = true;
                    }
                    break;
                }
                if (!hit) {
                    cur->children.push_back({ prefix, -1, {} });
                    hit = &cur->children.back();
                }
                cur = hit;
                start = slash + 1;
            }
            QCOMPARE(added, modelAdded);
            ++nextId;
            // folders created on the way carry no id in the tree: give them the model's -1
            std::function<void(Item &)> mark = [&](Item &it) {
                for (Item *c : it.m_Children) {
                    if (c->m_Size.isEmpty())
                        c->m_Size = "-1";
                    mark(*c);
                }
            };
            mark(tree.m_Root);
            break;
        }
        case 1: { // direct append of a possible duplicate under an existing folder
            Node *parentNode = nullptr;
            Node *n = find(model, path.section('/', 0, -2), &parentNode);
            Item *it = tree.GetItem(path.section('/', 0, -2));
            QCOMPARE(bool(it), bool(n));
            Item child = makeItem(path.section('/', 0, -2) + "/" + names[pick(names.size())]);
            child.m_Size = QString::number(nextId);
            if (n) {
                n->children.push_back({ child.m_Path, nextId, {} });
                it->m_Children.append(child);
            }
            ++nextId;
            break;
        }
        case 2: { // RemoveItem
            Node *parentNode = nullptr;
            Node *n = find(model, path, &parentNode);
            if (n)
                parentNode->children.erase(parentNode->children.begin()
                                           + (n - parentNode->children.data()));
            tree.RemoveItem(path);
            break;
        }
        case 3: { // Rename
            Node *n = find(model, path, nullptr);
            Item *it = tree.GetItem(path);
            QCOMPARE(bool(it), bool(n));
            if (n) {
                const QString name = names[pick(names.size())];
                const QString oldPath = n->path;
                const int slash = oldPath.lastIndexOf('/');
                n->path = (slash < 0 ? QString() : oldPath.left(slash + 1)) + name;
                if (n->path != oldPath && !oldPath.isEmpty())
                    rewrite(*n, oldPath + "/", n->path + "/");
                it->Rename(name);
            }
            break;
        }
        default: { // GetItem
            Node *n = find(model, path, nullptr);
            Item *it = tree.GetItem(path);
            QCOMPARE(it ? it->m_Size : QString("none"), n ? QString::number(n->id) : "none");
            break;
        }
        }
        if (step % 500 == 0 || step == 5999) {
            QVERIFY2(sameChildren(model, tree.m_Root), qPrintable(QString("step %1").arg(step)));
            QVERIFY(indexIsRight(tree.m_Root));
        }
        if (step % 1500 == 1499) {
            tree.Clear();
            model.children.clear();
        }
    }
}

QTEST_GUILESS_MAIN(TestCTree)
#include "tst_ctree.moc"
