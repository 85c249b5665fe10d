// The Create page's decisions without widgets: argument lists, progress lines, the gauge, the
// 4 GiB check, the staging check, the judging of a run, and the argument mapping of the mkisofs
// program installed beside the executable.

#include "testhelpers.h"

#include "model/ctree.h"
#include "pages/createlogic.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

using CreateLogic::ImageType;

Q_DECLARE_METATYPE(ImageType)

namespace {

const qint64 GiB = Q_INT64_C(1) << 30;

// A file of the given size that occupies (almost) no disk space.
bool makeSparse(const QString &path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

Item fileItem(const QString &path, const QString &src)
{
    Item item;
    item.m_Path = path;
    item.m_SrcPath = src;
    item.m_IsDir = false;
    return item;
}

} // namespace

class TestCreateLogic : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void gauge_data();
    void gauge();
    void sizeLabel_data();
    void sizeLabel();
    void progress_data();
    void progress();
    void toolMessage_data();
    void toolMessage();
    void judging_data();
    void judging();
    void largeFiles();
    void stagingCheck();
    void pathList();
};

void TestCreateLogic::arguments_data()
{
    QTest::addColumn<ImageType>("type");
    QTest::addColumn<bool>("large");
    QTest::addColumn<QStringList>("expected");

    const QString img = QStringLiteral("/out/my image.iso");
    const QString src = QStringLiteral("/data/Vexlor/tmp");
    QTest::newRow("joliet") << ImageType::Joliet << false
                            << QStringList { "-joliet", "-R", "-r", "-o", img, src };
    QTest::newRow("iso9660") << ImageType::Iso9660 << false
                             << QStringList { "-l", "-R", "-r", "-o", img, src };
    QTest::newRow("udf") << ImageType::Udf << false
                         << QStringList { "-udf", "-R", "-r", "-o", img, src };
    QTest::newRow("udf with a 4 GiB file")
        << ImageType::Udf << true
        << QStringList { "-udf", "-allow-limited-size", "-R", "-r", "-o", img, src };
    // The switch would truncate the size in ISO 9660; those types never get it.
    QTest::newRow("joliet never truncates")
        << ImageType::Joliet << true << QStringList { "-joliet", "-R", "-r", "-o", img, src };
    QTest::newRow("iso9660 never truncates")
        << ImageType::Iso9660 << true << QStringList { "-l", "-R", "-r", "-o", img, src };
}

void TestCreateLogic::arguments()
{
    QFETCH(ImageType, type);
    QFETCH(bool, large);
    QFETCH(QStringList, expected);
    QCOMPARE(CreateLogic::CreateArguments(type, QStringLiteral("/out/my image.iso"),
                                          QStringLiteral("/data/Vexlor/tmp"), large),
             expected);
}

void TestCreateLogic::gauge_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << qint64(0) << 0;
    QTest::newRow("1 byte") << qint64(1) << 0;
    QTest::newRow("just under 1%") << qint64(53687091) << 0;
    QTest::newRow("1%") << qint64(53687092) << 1;
    QTest::newRow("2.5 GiB") << (5 * GiB / 2) << 50;
    QTest::newRow("5 GiB - 1") << (5 * GiB - 1) << 99;
    QTest::newRow("5 GiB") << (5 * GiB) << 100;
    QTest::newRow("above the maximum") << (12 * GiB) << 100;
    QTest::newRow("huge") << std::numeric_limits<qint64>::max() << 100;
    QTest::newRow("negative") << qint64(-5) << 0;
}

void TestCreateLogic::gauge()
{
    QFETCH(qint64, size);
    QFETCH(int, value);
    QCOMPARE(CreateLogic::GaugeValue(size), value);
}

void TestCreateLogic::sizeLabel_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << "Total Size: 0 B";
    QTest::newRow("1.5 KB") << qint64(1536) << "Total Size: 1.50 KB";
    QTest::newRow("5 GiB") << (5 * GiB) << "Total Size: 5 GB";
}

void TestCreateLogic::sizeLabel()
{
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(CreateLogic::TotalSizeText(size), text);
}

void TestCreateLogic::progress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value");
    QTest::newRow("12.50") << "12.50% done, estimate finish Tue Dec  8 00:28:05 2026" << 1250;
    QTest::newRow("leading blanks")
        << "  2.17% done, estimate finish Mon Dec  7 23:52:43 2026" << 217;
    QTest::newRow("12.34 is not 1233") << "12.34% done, estimate finish x" << 1234;
    QTest::newRow("smallest") << " 0.01% done, estimate finish x" << 1;
    QTest::newRow("99.99") << "99.99% done, estimate finish x" << 9999;
    QTest::newRow("100") << "100.00% done, estimate finish x" << 10000;
    QTest::newRow("one decimal") << "33.3% done, estimate finish x" << 3330;
    QTest::newRow("three decimals truncate") << "12.345% done, estimate finish x" << 1234;
    QTest::newRow("marker at position 0") << "% done, estimate finish x" << -1;
    QTest::newRow("not a number") << "abc% done, estimate finish x" << 0;
    QTest::newRow("prefixed by another tool")
        << "xorriso : UPDATE : 12.00% done, estimate finish x" << 0;
    QTest::newRow("statistics") << "Total translation table size: 0" << -1;
    QTest::newRow("extents") << "15068 extents written (29 MB)" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("percent without marker") << "12.50% done" << -1;
}

void TestCreateLogic::progress()
{
    QFETCH(QString, line);
    QFETCH(int, value);
    QCOMPARE(CreateLogic::ReadProgress(line), value);
}

void TestCreateLogic::toolMessage_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");

    const QStringList stats { "Total translation table size: 0",
                              "Total rockridge attributes bytes: 317",
                              "Total directory bytes: 0",
                              "Path table size(bytes): 10",
                              "Max brk space used 0",
                              "182 extents written (0 MB)" };
    QTest::newRow("success prints nothing to report") << stats << QString();
    QTest::newRow("nothing at all") << QStringList() << QString();
    QTest::newRow("4 GiB file")
        << (QStringList(stats)
            << "File /t/tmp/big.bin is larger than 4GiB-1."
            << "-allow-limited-size was not specified. There is no way do represent this file "
               "size. Aborting.")
        << "File /t/tmp/big.bin is larger than 4GiB-1.\n-allow-limited-size was not specified. "
           "There is no way do represent this file size. Aborting.";
    QTest::newRow("unwritable target")
        << QStringList { "genisoimage: Is a directory. Unable to open disc image file "
                         "'/out/x.iso'." }
        << "genisoimage: Is a directory. Unable to open disc image file '/out/x.iso'.";
    QTest::newRow("disk full after progress")
        << QStringList { " 33.21% done, estimate finish Tue Dec  8 00:28:05 2026",
                         "genisoimage: No space left on device. cannot fwrite 2048*1" }
        << "genisoimage: No space left on device. cannot fwrite 2048*1";
    QTest::newRow("joliet clash, noise after it")
        << QStringList { "Using NNN000.TXT;1 for  /NNN_1.txt (NNN_2.txt)",
                         "genisoimage: Error: d/a and d/b have the same Joliet name",
                         "Joliet tree sort failed. The -joliet-long switch may help you.",
                         "",
                         "ERROR: errno=2 : No such file or directory",
                         "d.iso",
                         "System ERROR:" }
        << "genisoimage: Error: d/a and d/b have the same Joliet name\nJoliet tree sort "
           "failed. The -joliet-long switch may help you.";
    QTest::newRow("no error words: the last line")
        << QStringList { "first remark", "second remark", "Max brk space used 0" }
        << "second remark";
    QTest::newRow("launcher without its tool")
        << QStringList { "mkisofs: genisoimage is not installed" }
        << "mkisofs: genisoimage is not installed";
}

void TestCreateLogic::toolMessage()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    QCOMPARE(CreateLogic::PickToolMessage(lines), message);
}

void TestCreateLogic::judging_data()
{
    QTest::addColumn<bool>("failedToStart");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("imageWritten");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("textStart");

    QTest::newRow("success") << false << false << 0 << true << true << QString();
    QTest::newRow("exit 1") << false << false << 1 << false << false
                            << "Create ISO failed (mkisofs exit code 1).";
    QTest::newRow("exit 2 with a partial image")
        << false << false << 2 << true << false << "Create ISO failed (mkisofs exit code 2).";
    QTest::newRow("exit 0 but no image")
        << false << false << 0 << false << false << "Create ISO failed: mkisofs wrote no";
    QTest::newRow("crash") << false << true << 0 << true << false << "mkisofs stopped";
    QTest::newRow("not started") << true << false << -1 << false << false
                                 << "Could not start mkisofs.";
}

void TestCreateLogic::judging()
{
    QFETCH(bool, failedToStart);
    QFETCH(bool, crashed);
    QFETCH(int, exitCode);
    QFETCH(bool, imageWritten);
    QFETCH(bool, succeeded);
    QFETCH(QString, textStart);

    CreateLogic::RunResult r;
    r.failedToStart = failedToStart;
    r.crashed = crashed;
    r.exitCode = exitCode;
    r.imageWritten = imageWritten;
    QCOMPARE(CreateLogic::RunSucceeded(r), succeeded);
    const QString tool = QStringLiteral("genisoimage: No space left on device.");
    const QString text = CreateLogic::FailureText(r, tool);
    if (succeeded) {
        QVERIFY(text.isEmpty());
    } else {
        QVERIFY2(text.startsWith(textStart), qPrintable(text));
        QVERIFY2(text.endsWith(QLatin1Char('\n') + tool), qPrintable(text));
        QVERIFY(!CreateLogic::FailureText(r, QString()).contains(QLatin1Char('\n')));
    }
}

void TestCreateLogic::largeFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString d = dir.path();
    QVERIFY(makeSparse(d + "/limit.bin", CreateLogic::Iso9660FileLimit));
    QVERIFY(makeSparse(d + "/four.bin", 4 * GiB));
    QVERIFY(makeSparse(d + "/five.bin", 5 * GiB));
    QVERIFY(writeFile(d + "/small.txt", "x"));

    CTree tree;
    QVERIFY(tree.AddItem(fileItem("limit.bin", d + "/limit.bin")));
    QVERIFY(tree.AddItem(fileItem("a/b/five.bin", d + "/five.bin")));
    QVERIFY(tree.AddItem(fileItem("a/small.txt", d + "/small.txt")));
    QVERIFY(tree.AddItem(fileItem("four.bin", d + "/four.bin")));
    QVERIFY(tree.AddItem(fileItem("gone.bin", d + "/gone.bin")));
    QVERIFY(tree.AddItem(fileItem("listed.bin", QString()))); // no source: nothing to measure

    QCOMPARE(CreateLogic::FilesTooLargeForIso9660(tree.m_Root),
             (QStringList { "a/b/five.bin", "four.bin" }));
    QVERIFY(!CreateLogic::TooLargeForIso9660(CreateLogic::Iso9660FileLimit));
    QVERIFY(CreateLogic::TooLargeForIso9660(CreateLogic::Iso9660FileLimit + 1));

    // The check reads the size on disk now, not the size noted when the file was added.
    QVERIFY(QFile::resize(d + "/five.bin", 10));
    QCOMPARE(CreateLogic::FilesTooLargeForIso9660(tree.m_Root), QStringList { "four.bin" });
}

void TestCreateLogic::stagingCheck()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stage = dir.path() + "/stage/";
    CTree tree;
    Item folder;
    folder.m_Path = "docs";
    folder.m_SrcPath = "/src/docs";
    QVERIFY(tree.AddItem(folder));
    QVERIFY(tree.AddItem(fileItem("docs/a.txt", "/src/docs/a.txt")));
    QVERIFY(tree.AddItem(fileItem("docs/b.txt", "/src/docs/b.txt")));
    QVERIFY(tree.AddItem(fileItem("top.txt", "/src/top.txt")));
    Item sub;
    sub.m_Path = "docs/sub";
    sub.m_SrcPath = "/src/docs/sub";
    QVERIFY(tree.AddItem(sub));
    QVERIFY(tree.AddItem(fileItem("docs/sub/c.txt", "/src/docs/sub/c.txt")));
    QVERIFY(tree.AddItem(fileItem("other/x.txt", "/elsewhere/x.txt")));

    // Nothing staged: the top entries are named, not their content.
    QCOMPARE(CreateLogic::MissingStagedItems(tree.m_Root, stage),
             (QStringList { "docs", "top.txt", "other" }));
    QCOMPARE(CreateLogic::MissingStagedItems(tree.m_Root, stage, 2),
             (QStringList { "docs", "top.txt" }));

    QVERIFY(writeFile(stage + "docs/a.txt", "a"));
    QVERIFY(writeFile(stage + "docs/sub/c.txt", "c"));
    QVERIFY(writeFile(stage + "top.txt", "t"));
    QVERIFY(QDir().mkpath(stage + "other/x.txt")); // a folder where a file belongs
    QCOMPARE(CreateLogic::MissingStagedItems(tree.m_Root, stage),
             (QStringList { "docs/b.txt", "other/x.txt" }));

    QVERIFY(QDir(stage + "other/x.txt").removeRecursively());
    QVERIFY(writeFile(stage + "other/x.txt", "x"));
    QVERIFY(writeFile(stage + "docs/b.txt", "b"));
    QVERIFY(CreateLogic::MissingStagedItems(tree.m_Root, stage).isEmpty());

    // Failed copy tasks name a file or a whole folder by its source.
    QCOMPARE(CreateLogic::ItemsWithSources(tree.m_Root, { "/src/docs/sub/c.txt", "/nothing" }),
             QStringList { "docs/sub/c.txt" });
    QCOMPARE(CreateLogic::ItemsWithSources(tree.m_Root, { "/src/docs", "/src/top.txt" }),
             (QStringList { "docs", "top.txt" }));
    QVERIFY(CreateLogic::ItemsWithSources(tree.m_Root, {}).isEmpty());
}

void TestCreateLogic::pathList()
{
    QCOMPARE(CreateLogic::PathListText({ "a", "b" }), QStringLiteral("a\nb"));
    QCOMPARE(CreateLogic::PathListText({ "a", "b", "c", "d" }, 2),
             QStringLiteral("a\nb\n... and 2 more"));
}

QTEST_GUILESS_MAIN(TestCreateLogic)
#include "tst_createlogic.moc"
