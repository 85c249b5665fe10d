// The folder scan behind Add: which entries of a local folder become items, in which order, with
// which paths, sizes and times (the sizes and times checked against QFileInfo's own).
// Mount route: none (plain folders of the local file system).

#include "testhelpers.h"

#include "model/ctree.h"
#include "model/localscan.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestHelpers;

namespace {

using Setup = std::function<void(const QString &folder, QStringList *leaveOut)>;

// Pre-order, one "path" per folder and "path size" per file.
void dump(const Item &folder, QStringList &out)
{
    for (const Item *child : folder.m_Children) {
        out << (child->m_IsDir ? child->m_Path : child->m_Path + ' ' + child->m_Size);
        dump(*child, out);
    }
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestLocalScan : public QObject
{
    Q_OBJECT

private slots:
    void scan_data();
    void scan();
};

void TestLocalScan::scan_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("expected");

    const auto files = [](const QStringList &names) {
        return [names](const QString &folder, QStringList *) {
            for (const QString &name : names)
                QVERIFY(
                    writeFile(folder + '/' + name, QByteArray(name.section('/', -1).size(), 'x')));
        };
    };
    // By name ignoring case: lower-cased names compared as they are, so "_" comes before the
    // letters and "Ä" after them.
    QTest::newRow("order ignoring case")
        << Setup(files({ "b.txt", "A.txt", "c.TXT", QStringLiteral("Ä.txt"), "_x", "10", "9" }))
        << QStringList { "P/10 2",
                         "P/9 1",
                         "P/_x 2",
                         "P/A.txt 5",
                         "P/b.txt 5",
                         "P/c.TXT 5",
                         QStringLiteral("P/Ä.txt 5") };
    QTest::newRow("names equal but for case, by their exact text")
        << Setup(files({ "readme", "README", "ReadMe" }))
        << QStringList { "P/README 6", "P/ReadMe 6", "P/readme 6" };
    QTest::newRow("nested folders, each folder's entries sorted")
        << Setup(files({ "z/b", "z/A", "a/y/1", "a/x", "m" }))
        << QStringList { "P/a",   "P/a/x 1", "P/a/y",   "P/a/y/1 1",
                         "P/m 1", "P/z",     "P/z/A 1", "P/z/b 1" };
    QTest::newRow("hidden, special and dangling entries stay out; links count as their targets")
        << Setup([](const QString &folder, QStringList *) {
               QVERIFY(writeFile(folder + "/.hidden", "h"));
               QVERIFY(writeFile(folder + "/.hidden dir/inner", "h"));
               QVERIFY(writeFile(folder + "/target/file", "12345"));
               QCOMPARE(::mkfifo(QFile::encodeName(folder + "/pipe").constData(), 0600), 0);
               QVERIFY(QFile::link(folder + "/nowhere", folder + "/dangling"));
               QVERIFY(QFile::link(folder + "/pipe", folder + "/link to pipe"));
               QVERIFY(QFile::link(folder + "/target/file", folder + "/link to file"));
               QVERIFY(QFile::link(folder + "/target", folder + "/link to folder"));
           })
        << QStringList { "P/link to file 5", "P/link to folder", "P/link to folder/file 5",
                         "P/target", "P/target/file 5" };
    QTest::newRow("folders leading back and the left-out folder stay out")
        << Setup([](const QString &folder, QStringList *leaveOut) {
               QVERIFY(writeFile(folder + "/sub/deeper/f", "f"));
               QVERIFY(QFile::link(folder + "/sub", folder + "/sub/deeper/back to sub"));
               QVERIFY(QFile::link(folder, folder + "/sub/back to top"));
               QVERIFY(writeFile(folder + "/work/staged", "s"));
               // The left-out folder is named by a path of its own, not the scanned one.
               QVERIFY(QFile::link(folder + "/work", folder + "/../work alias"));
               *leaveOut << folder + "/../work alias";
           })
        << QStringList { "P/sub", "P/sub/deeper", "P/sub/deeper/f 1" };
    // The times themselves are checked against QFileInfo for every row.
    QTest::newRow("times shared, apart, and before 1970")
        << Setup([](const QString &folder, QStringList *) {
               const QDateTime first(QDate(2001, 2, 3), QTime(4, 5, 6));
               const QDateTime times[]
                   = { first, first.addSecs(1), first, QDateTime(QDate(1960, 7, 8), QTime(9, 0)) };
               for (int i = 0; i < 4; ++i) {
                   QFile file(folder + '/' + QString::number(i));
                   QVERIFY(file.open(QIODevice::WriteOnly));
                   QVERIFY(file.setFileTime(times[i], QFileDevice::FileModificationTime));
               }
           })
        << QStringList { "P/0 0", "P/1 0", "P/2 0", "P/3 0" };
    QTest::newRow("empty folder") << Setup(files({})) << QStringList();
}

void TestLocalScan::scan()
{
    QFETCH(Setup, setup);
    QFETCH(QStringList, expected);
    QTemporaryDir temp;
    const QString folder = temp.path() + "/scanned";
    QVERIFY(QDir().mkpath(folder));
    QStringList leaveOut;
    setup(folder, &leaveOut);
    if (QTest::currentTestFailed())
        return;

    Item parent;
    parent.m_Path = "P";
    // Given with a trailing "/" and a "." on the way: the items still carry clean paths.
    ScanLocalFolder(&parent, temp.path() + "/./scanned/", leaveOut);
    QStringList got;
    dump(parent, got);
    QCOMPARE(got, expected);

    WalkItems(parent, [&](const Item &item) {
        const QString relative = item.m_Path.mid(2);
        [&] {
            QCOMPARE(item.m_SrcPath, folder + '/' + relative);
            const QFileInfo info(item.m_SrcPath);
            QCOMPARE(item.m_IsDir, info.isDir());
            if (!item.m_IsDir)
                QCOMPARE(item.m_Size, QString::number(info.size()));
            QCOMPARE(item.m_Time, info.lastModified().toString("yyyy-MM-dd hh:mm:ss"));
        }();
        return !QTest::currentTestFailed();
    });
}

QTEST_GUILESS_MAIN(TestLocalScan)
#include "tst_localscan.moc"
