// The image browser on a tree built here: folder view and table, the search filter, double-click
// into a filtered row, ticks and select-all, rows appended for new children.

#include "model/ctree.h"
#include "pages/common/cimagebrowser.h"
#include "pages/common/pagestyle.h"
#include "ui/scheckboxheaderview.h"

#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

namespace {

Item entry(const QString &path, bool isDir)
{
    Item item;
    item.m_Path = path;
    item.m_IsDir = isDir;
    item.m_Size = isDir ? QString() : QStringLiteral("2048");
    return item;
}

QStringList names(QTableWidget *list)
{
    QStringList out;
    for (int row = 0; row < list->rowCount(); ++row)
        out << list->item(row, 0)->text();
    return out;
}

} // namespace

class TestImageBrowser : public QObject
{
    Q_OBJECT

private slots:
    void browseSearchAndTick();
};

void TestImageBrowser::browseSearchAndTick()
{
    CTree tree;
    tree.m_Name = QStringLiteral("boot.iso");
    for (const Item &item :
         { entry("boot", true), entry("ISOLINUX", true), entry("ISOLINUX/isolinux.bin", false),
           entry("isolinux.cfg", false), entry("readme", false) })
        QVERIFY(tree.AddItem(item));
    QTreeWidget view;
    QTableWidget list;
    list.resize(658, 338);
    Item *current = nullptr;
    CImageBrowser browser(&view, &list, &current);
    SCheckBoxHeaderView *header
        = browser.SetUp(QString::fromLatin1(PageStyle::List), QString::fromLatin1(PageStyle::List));
    QCOMPARE(list.horizontalHeader(), header);
    QCOMPARE(list.columnWidth(3), 164);

    browser.Show(tree);
    QCOMPARE(current, &tree.m_Root);
    QCOMPARE(view.topLevelItem(0)->text(0), QStringLiteral("boot.iso"));
    QCOMPARE(view.topLevelItem(0)->childCount(), 2); // folders only
    QCOMPARE(names(&list), (QStringList { "boot", "ISOLINUX", "isolinux.cfg", "readme" }));
    QCOMPARE(list.item(1, 0)->data(Qt::UserRole).toInt(), 1);
    QVERIFY(!list.item(2, 0)->data(Qt::UserRole).isValid());
    QCOMPARE(list.item(1, 2)->text(), QStringLiteral("Folder"));

    // The filter matches names in any case; rows then stand for other children.
    browser.SetFilter(QStringLiteral(" iso "));
    QCOMPARE(names(&list), (QStringList { "ISOLINUX", "isolinux.cfg" }));
    QCOMPARE(browser.RowItem(1), tree.GetItem("isolinux.cfg"));
    browser.slotSelectAll(true);
    QCOMPARE(browser.CheckedItems(),
             (QList<Item *> { tree.GetItem("ISOLINUX"), tree.GetItem("isolinux.cfg") }));
    list.setCurrentCell(0, 1);
    browser.OnListViewDoubleClicked();
    QCOMPARE(current, tree.GetItem("ISOLINUX"));
    QCOMPARE(view.currentItem()->text(0), QStringLiteral("ISOLINUX"));
    QCOMPARE(names(&list), QStringList { "isolinux.bin" });
    QVERIFY(browser.CheckedRows().isEmpty()); // every rebuild starts unticked
    browser.SetFilter(QString());
    list.setCurrentCell(0, 1);
    browser.OnListViewDoubleClicked(); // a file: nothing happens
    QCOMPARE(current, tree.GetItem("ISOLINUX"));

    // A child added to the current folder gets its row at the end.
    QVERIFY(tree.AddItem(entry("ISOLINUX/new.txt", false)));
    browser.AppendRow(current->m_Children.last(), false);
    QCOMPARE(names(&list), (QStringList { "isolinux.bin", "new.txt" }));
    QCOMPARE(browser.RowItem(1), tree.GetItem("ISOLINUX/new.txt"));

    QTreeWidgetItem *node = CImageBrowser::GetTreeWidgetItemByData(view.topLevelItem(0), current);
    QCOMPARE(node, view.currentItem());
    QVERIFY(!CImageBrowser::GetTreeWidgetItemByData(nullptr, current));
    browser.Clear();
    QVERIFY(!current && list.rowCount() == 0 && view.topLevelItemCount() == 0);
}

QTEST_MAIN(TestImageBrowser)
#include "tst_imagebrowser.moc"
