// The 7-Zip listing table reader: separator lines, one row by fixed columns, a whole listing fed
// line by line into a tree the way the pages do, and the table of a real image made by
// genisoimage and listed by the real 7-Zip.

#include "model/ctree.h"
#include "model/listing.h"
#include "testhelpers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace TestHelpers;

namespace {

// One table row with the date, attribute, size and name columns where 7-Zip puts them.
QString row(const QString &date, const QString &attr, const QString &size, const QString &name)
{
    return date.leftJustified(19, ' ', true) + ' ' + attr.leftJustified(5, ' ', true) + ' '
        + size.rightJustified(12, ' ', true) + ' ' + size.rightJustified(12, ' ', true) + "  "
        + name;
}

const QString kDate = QStringLiteral("2024-01-02 03:04:05");
const QString kSeparator = QStringLiteral(
    "------------------- ----- ------------ ------------  ------------------------");

void dumpInto(const Item &folder, QStringList &out)
{
    for (const Item *c : folder.m_Children) {
        out << QString("%1|%2|%3|%4").arg(c->m_Path, c->m_IsDir ? "D" : "F", c->m_Size, c->m_Time);
        dumpInto(*c, out);
    }
}

QString findTool(const QString &besideExe, const QString &name)
{
    const QString local = QCoreApplication::applicationDirPath() + besideExe;
    if (QFileInfo(local).isExecutable())
        return local;
    return QStandardPaths::findExecutable(name);
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void separator_data();
    void separator();
    void parseRow_data();
    void parseRow();
    void parseRowLeavesOtherFields();
    void readListing_data();
    void readListing();
    void sharedInTableFlag();
    void realImage();
};

void TestListing::separator_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("isSeparator");

    QTest::newRow("7-Zip separator") << kSeparator << true;
    QTest::newRow("exactly 19") << QString(19, '-') << true;
    QTest::newRow("18 only") << QString(18, '-') << false;
    QTest::newRow("19 in the middle") << "name " + QString(19, '-') + " more" << true;
    QTest::newRow("19 at the end of a row") << row(kDate, ".....", "1", QString(19, '-')) << true;
    QTest::newRow("broken by a blank") << QString(10, '-') + ' ' + QString(10, '-') << false;
    QTest::newRow("the short marker before the properties") << "--" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dashes of another kind") << QString(19, QChar(0x2013)) << false;
}

void TestListing::separator()
{
    QFETCH(QString, line);
    QTEST(IsListingSeparator(line), "isSeparator");
}

void TestListing::parseRow_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("isDir");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("path");

    QTest::newRow("file") << row(kDate, ".....", "2048", "boot/boot.bin") << true << kDate << false
                          << "2048"
                          << "boot/boot.bin";
    QTest::newRow("folder, blank sizes")
        << row(kDate, "D....", "", "boot") << true << kDate << true << ""
        << "boot";
    for (int i = 0; i < 5; ++i) {
        QString attr(".....");
        attr[i] = 'D';
        QTest::addRow("D at attribute position %d", i)
            << row(kDate, attr, "", "x") << true << kDate << true << ""
            << "x";
    }
    QTest::newRow("lower-case d is no folder")
        << row(kDate, "d....", "5", "x") << true << kDate << false << "5"
        << "x";
    QTest::newRow("D outside the attributes") << row("2024-0D-02 03:04:05", "....A", "5", "D/D")
                                              << true << "2024-0D-02 03:04:05" << false << "5"
                                              << "D/D";
    QTest::newRow("blank date gives 19 blanks")
        << row("", ".....", "7", "f") << true << QString(19, ' ') << false << "7"
        << "f";
    QTest::newRow("blanks at both ends of a name kept")
        << row(kDate, ".....", "3", "  a b  ") << true << kDate << false << "3"
        << "  a b  ";
    QTest::newRow("size trimmed, full width")
        << row(kDate, ".....", "999999999999", "big") << true << kDate << false << "999999999999"
        << "big";
    QTest::newRow("carriage return and line feed removed")
        << row(kDate, ".....", "1", "name") + "\r\n"
        << true << kDate << false << "1"
        << "name";
    QTest::newRow("carriage return inside removed")
        << row(kDate, ".....", "1", "na\rme") << true << kDate << false << "1"
        << "name";
    QTest::newRow("53 characters: no path") << QString(53, 'x') << false << "" << false << ""
                                            << "";
    QTest::newRow("54 characters: one-character path")
        << row(kDate, ".....", "1", "z") << true << kDate << false << "1"
        << "z";
    QTest::newRow("53 plus line end: no path") << row(kDate, ".....", "1", "") + "\r\n"
                                               << false << "" << false << ""
                                               << "";
    QTest::newRow("short row") << "2024-01-02" << false << "" << false << ""
                               << "";
    QTest::newRow("empty row") << "" << false << "" << false << ""
                               << "";
    QTest::newRow("non-ASCII name")
        << row(kDate, ".....", "2", QString::fromUtf8("ünï/日本.txt")) << true << kDate << false
        << "2" << QString::fromUtf8("ünï/日本.txt");
    QTest::newRow("name beginning with a hyphen")
        << row(kDate, ".....", "2", "-r") << true << kDate << false << "2"
        << "-r";
    QTest::newRow("size column with letters kept as text")
        << row(kDate, ".....", "12ab", "f") << true << kDate << false << "12ab"
        << "f";
    QTest::newRow("summary-like line wide enough")
        << "2026-12-08 00:27:37               5009         5009  5 files, 4 folders" << true
        << "2026-12-08 00:27:37" << false << "5009"
        << "5 files, 4 folders";
}

void TestListing::parseRow()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    Item item;
    QCOMPARE(ParseListingRow(line, &item), ok);
    if (!ok)
        return;
    QTEST(item.m_Time, "time");
    QTEST(item.m_IsDir, "isDir");
    QTEST(item.m_Size, "size");
    QTEST(item.m_Path, "path");
    QVERIFY(item.m_SrcPath.isEmpty());
}

void TestListing::parseRowLeavesOtherFields()
{
    Item item;
    item.m_Path = "keep";
    item.m_SrcPath = "/src";
    item.m_IsDir = false;
    QVERIFY(!ParseListingRow(QString(40, ' '), &item));
    QCOMPARE(item.m_Path, QString("keep"));
    QVERIFY(!item.m_IsDir);
    QVERIFY(!ParseListingRow(row(kDate, ".....", "1", "x"), nullptr));
    QVERIFY(ParseListingRow(row(kDate, "D....", "", "d"), &item));
    QCOMPARE(item.m_SrcPath, QString("/src"));
    QVERIFY(item.m_IsDir);
}

void TestListing::readListing_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("finished");
    QTest::addColumn<QStringList>("expected");

    const QStringList preamble {
        "",           "7-Zip [64] 26.02",
        "--",         "Path = x.iso",
        "Type = Iso", "   Date      Time    Attr         Size   Compressed  Name"
    };
    QTest::newRow("image with no entries: two separators in a row")
        << preamble + QStringList { kSeparator, kSeparator, "summary" } << 1 << QStringList {};
    QTest::newRow("parents first, as 7-Zip prints")
        << preamble
            + QStringList { kSeparator, row(kDate, "D....", "", "boot"),
                            row(kDate, ".....", "10", "boot/a b.cfg"), kSeparator,
                            row(kDate, ".....", "10", "after/summary") }
        << 1 << QStringList { "boot|D||" + kDate, "boot/a b.cfg|F|10|" + kDate };
    QTest::newRow("file before its folder: the folder shows no time")
        << QStringList { kSeparator, row(kDate, ".....", "1", "d/f"), row(kDate, "D....", "", "d"),
                         kSeparator }
        << 1 << QStringList { "d|D||", "d/f|F|1|" + kDate };
    QTest::newRow("repeated row changes nothing")
        << QStringList { kSeparator, row(kDate, ".....", "1", "f"),
                         row("2000-01-01 00:00:00", ".....", "2", "f"), kSeparator }
        << 1 << QStringList { "f|F|1|" + kDate };
    QTest::newRow("rows without a path skipped")
        << QStringList { kSeparator, "short", QString(53, ' '), row(kDate, ".....", "1", "f"),
                         kSeparator }
        << 1 << QStringList { "f|F|1|" + kDate };
    QTest::newRow("rows outside the table ignored")
        << QStringList { row(kDate, ".....", "1", "before"), kSeparator, kSeparator,
                         row(kDate, ".....", "1", "after") }
        << 1 << QStringList {};
    QTest::newRow("separator inside a line closes the table")
        << QStringList { kSeparator, row(kDate, ".....", "1", "a"),
                         row(kDate, ".....", "1", "x" + QString(19, '-')),
                         row(kDate, ".....", "1", "b") }
        << 1 << QStringList { "a|F|1|" + kDate };
    QTest::newRow("a second table goes into the same tree")
        << QStringList { kSeparator, row(kDate, ".....", "1", "a"), kSeparator,
                         kSeparator, row(kDate, ".....", "1", "b"), kSeparator }
        << 2 << QStringList { "a|F|1|" + kDate, "b|F|1|" + kDate };
    QTest::newRow("not an image: no table")
        << QStringList { "ERROR: x.iso", "Cannot open the file as archive" } << 0 << QStringList {};
    QTest::newRow("cut off before the closing separator")
        << QStringList { kSeparator, row(kDate, ".....", "1", "a") } << 0
        << QStringList { "a|F|1|" + kDate };
}

void TestListing::readListing()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    CTree tree;
    CListingReader reader(&tree);
    // The error reader sees only the lines outside the table.
    reader.SetErrorReader([](const QString &line) { return line.startsWith("--") ? line : ""; });
    int finished = 0;
    for (const QString &line : lines)
        finished += reader.ReadLine(line) ? 1 : 0;
    QTEST(finished, "finished");
    QCOMPARE(reader.Closed(), finished > 0);
    QCOMPARE(reader.InTable(), lines.filter(QString(19, '-')).size() % 2 == 1);
    QCOMPARE(reader.Errors(), lines.contains("--") ? QStringList { "--" } : QStringList());
    QStringList got;
    dumpInto(tree.m_Root, got);
    QCOMPARE(got, expected);
}

// Readers that share one in-table flag (the Edit pages) see one state; Reset() clears it.
void TestListing::sharedInTableFlag()
{
    bool inTable = false;
    CTree first, second;
    CListingReader a(&first, &inTable), b(&second, &inTable);
    QVERIFY(!a.ReadLine(kSeparator));
    QVERIFY(b.InTable());
    QVERIFY(!b.ReadLine(row(kDate, ".....", "1", "f")));
    QVERIFY(b.ReadLine(kSeparator));
    QVERIFY(!inTable && b.Closed() && !a.Closed());
    QVERIFY(second.GetItem("f") && !first.GetItem("f"));
    inTable = true;
    a.Reset();
    QVERIFY(!inTable);
}

// The columns checked against what the real tools produce on this machine.
void TestListing::realImage()
{
    const QString mkisofs = findTool("/cdrtools/mkisofs", "genisoimage");
    const QString sevenZip = findTool("/7z/7z", "7z");
    if (mkisofs.isEmpty() || sevenZip.isEmpty())
        QSKIP("genisoimage or 7z not available");

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString src = tmp.filePath("src");
    QMap<QString, qint64> files; // relative path -> size
    const QStringList folders { "a b", "a b/deep", "a b/deep/er", "empty",
                                QString::fromUtf8("ünï") };
    for (const QString &f : folders)
        QVERIFY(QDir().mkpath(src + "/" + f));
    files.insert(" lead", 1);
    files.insert("trail ", 2);
    files.insert("-dash", 3);
    files.insert("a b/deep/er/c d.bin", 5000);
    files.insert(QString::fromUtf8("ünï/日本.txt"), 77);
    files.insert("zero", 0);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile f(src + "/" + it.key());
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(it.key()));
        f.write(QByteArray(int(it.value()), 'q'));
    }
    const QString iso = tmp.filePath("t.iso");
    QVERIFY(runCommand(mkisofs, { "-quiet", "-J", "-R", "-o", iso, src }).ok());

    QProcess list;
    list.start(sevenZip, { "l", iso });
    QVERIFY(list.waitForFinished(60000));
    QCOMPARE(list.exitCode(), 0);
    CTree tree;
    CListingReader reader(&tree);
    for (const QByteArray &line : list.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            reader.ReadLine(QString::fromUtf8(line));

    QVERIFY(reader.Closed());
    int count = 0;
    for (auto it = files.cbegin(); it != files.cend(); ++it, ++count) {
        const Item *item = tree.GetItem(it.key());
        QVERIFY2(item, qPrintable(it.key()));
        QVERIFY(!item->m_IsDir);
        QCOMPARE(item->m_Size, QString::number(it.value()));
        QCOMPARE(item->m_Time.size(), 19);
        QVERIFY(QDateTime::fromString(item->m_Time, "yyyy-MM-dd HH:mm:ss").isValid());
    }
    for (const QString &f : folders) {
        const Item *item = tree.GetItem(f);
        QVERIFY2(item, qPrintable(f));
        QVERIFY(item->m_IsDir);
        QVERIFY(item->m_Size.isEmpty());
        QVERIFY(!item->m_Time.trimmed().isEmpty()); // listed before its children: has a time
    }
    QVERIFY(tree.GetItem("empty")->m_Children.isEmpty());
    int total = 0;
    std::function<void(const Item &)> countAll = [&](const Item &i) {
        for (const Item *c : i.m_Children) {
            ++total;
            countAll(*c);
        }
    };
    countAll(tree.m_Root);
    QCOMPARE(total, files.size() + folders.size());
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
