#include "testhelpers.h"
// The 7-Zip argument lists and line readers, and each list checked against the real program
// on a small image made with mkisofs (-J -R) beside the executable.

#include "services/cruncommandthread.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace TestHelpers;

namespace {

struct Run
{
    QStringList lines;
    int exitCode = -1;
    bool succeeded = false;
};

Run run(const QStringList &args, bool collect)
{
    Run result;
    CRunCommandThread runner;
    runner.m_CollectOutput = collect;
    QObject context;
    QObject::connect(&runner, &CRunCommandThread::standoutputline, &context,
                     [&](const QString &line) { result.lines << line; });
    runner.SetRunCmd(SevenZip::Program(), args);
    runner.start();
    runner.waitFinished();
    runner.wait();
    if (collect)
        result.lines = runner.m_OutputLines;
    result.exitCode = runner.ExitCode();
    result.succeeded = runner.Succeeded();
    return result;
}

// The names of the listing table's rows (from column 53), between the two separator lines.
QStringList listedNames(const QStringList &lines)
{
    QStringList names;
    int separators = 0;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("-------------------"))) {
            ++separators;
            continue;
        }
        if (separators == 1 && line.size() > 53)
            names << line.mid(53);
    }
    return separators == 2 ? names : QStringList { QStringLiteral("<no table>") };
}

} // namespace

class TestSevenZip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void argumentLists_data();
    void argumentLists();
    void programIsInPlace();

    void parseProgress_data();
    void parseProgress();
    void isErrorLine_data();
    void isErrorLine();

    void listImage_data();
    void listImage();
    void listRelativeImageNamedLikeASwitch();
    void extractChosenEntries();
    void extractChosenFolderBringsItsContent();
    void extractChosenFileOnlyAtItsPath();
    void extractChosenNamesAreNotPatterns_data();
    void extractChosenNamesAreNotPatterns();
    void extractAll();
    void unpackOverwrites();
    void notAnImage();

private:
    QString path(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir m_dir;
    QString m_image;
    QMap<QString, QByteArray> m_source;
};

void TestSevenZip::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString name = QStringLiteral("my file \u00e9\u65e5.txt");
    QVERIFY(writeFile(path("src/-r"), "dash r"));
    QVERIFY(writeFile(path("src/d/-ofoo.txt"), "dash o"));
    QVERIFY(writeFile(path("src/") + name, "blank and non-ASCII"));
    QVERIFY(writeFile(path("src/a.txt"), "top a"));
    QVERIFY(writeFile(path("src/folder/deep/x.bin"), QByteArray(300000, 'x')));
    QVERIFY(writeFile(path("src/folder/y.txt"), "y"));
    QVERIFY(writeFile(path("src/folder/a.txt"), "deep a"));
    QVERIFY(QDir().mkpath(path("src/empty")));
    m_source = fileTree(path("src"));

    m_image = path("image.iso");
    QVERIFY(runCommand(Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs"),
                       { "-quiet", "-J", "-R", "-o", m_image, path("src") })
                .ok());
}

void TestSevenZip::cleanupTestCase()
{
    QDir::setCurrent(QDir::tempPath());
}

void TestSevenZip::argumentLists_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("list") << SevenZip::ListArgs("/i/-a b.iso")
                          << QStringList { "l", "--", "/i/-a b.iso" };
    QTest::newRow("list UTF-8") << SevenZip::ListArgsUtf8("-x.iso")
                                << QStringList { "-scsUTF-8", "l", "--", "-x.iso" };
    QTest::newRow("extract chosen")
        << SevenZip::ExtractArgs("/i/a.iso", "/out dir", { "-r", "d/-ofoo.txt", "a b" })
        << QStringList { "x",  "-y",       "-bb3", "-bsp2",       "-spd", "-o/out dir",
                         "--", "/i/a.iso", "-r",   "d/-ofoo.txt", "a b" };
    QTest::newRow("extract nothing chosen")
        << SevenZip::ExtractArgs("i.iso", "o", {})
        << QStringList { "x", "-y", "-bb3", "-bsp2", "-spd", "-oo", "--", "i.iso" };
    QTest::newRow("extract all") << SevenZip::ExtractAllArgs("/w/tmp/", "-i.iso")
                                 << QStringList { "x",         "-y", "-bb3",  "-bsp2",
                                                  "-o/w/tmp/", "--", "-i.iso" };
    QTest::newRow("unpack") << SevenZip::UnpackArgs(
        "/media/USB",
        "/i/a.iso") << QStringList { "x", "-bsp2", "-y", "-o/media/USB/", "--", "/i/a.iso" };
}

void TestSevenZip::argumentLists()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    QCOMPARE(args, expected);
}

void TestSevenZip::programIsInPlace()
{
    QCOMPARE(SevenZip::Program(), Util::GetCurrentExePath() + QStringLiteral("/7z/7z"));
    QVERIFY(QFileInfo(SevenZip::Program()).isExecutable());
    QVERIFY(
        QFileInfo(Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs")).isExecutable());
}

void TestSevenZip::parseProgress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("path");

    QTest::newRow("percentage alone") << "  0%" << true << 0 << -1 << "";
    QTest::newRow("count and path") << " 21% 1 - file2.bin" << true << 21 << 1 << "file2.bin";
    QTest::newRow("hundred") << "100% 7 - d/x" << true << 100 << 7 << "d/x";
    QTest::newRow("count only") << " 42% 12" << true << 42 << 12 << "";
    QTest::newRow("path with blanks and dash")
        << "  5% 3 - my dir/a - b.txt " << true << 5 << 3 << "my dir/a - b.txt ";
    QTest::newRow("trailing blank after percent") << " 63% " << true << 63 << -1 << "";
    QTest::newRow("processed-file line with percent in name")
        << "- 50% off.txt" << false << 0 << -1 << "";
    QTest::newRow("scan line") << "  0M Scan" << false << 0 << -1 << "";
    QTest::newRow("listing summary") << "Everything is Ok" << false << 0 << -1 << "";
    QTest::newRow("above hundred") << "250% 1 - x" << false << 0 << -1 << "";
    QTest::newRow("fraction is not ours")
        << "  2.17% done, estimate finish" << false << 0 << -1 << "";
    QTest::newRow("empty") << "" << false << 0 << -1 << "";
}

void TestSevenZip::parseProgress()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(int, percent);
    QFETCH(int, count);
    QFETCH(QString, path);
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    QCOMPARE(progress.valid, valid);
    if (valid) {
        QCOMPARE(progress.percent, percent);
        QCOMPARE(progress.count, count);
        QCOMPARE(progress.path, path);
    }
}

void TestSevenZip::isErrorLine_data()
{
    // Lines as 7-Zip 26 prints them; item is what ErrorItem() reads from the line.
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QString>("item");
    QTest::newRow("ERROR:") << "ERROR: Data Error : a.txt" << true << "a.txt";
    QTest::newRow("item path with blanks")
        << "ERROR: CRC Failed : Data Error/x : y.bin" << true << "Data Error/x : y.bin";
    QTest::newRow("ERRORS:") << "ERRORS:" << true << "";
    QTest::newRow("open error") << "Open ERROR: Can not open the file as [iso] archive" << true
                                << "";
    QTest::newRow("cannot open") << "Cannot open the file as archive" << true << "";
    QTest::newRow("not archive") << "ERROR: garbage.iso : Cannot open the file as archive" << true
                                 << "";
    QTest::newRow("data error") << "Data Error" << true << "";
    QTest::newRow("unexpected end") << "Unexpected end of archive" << true << "";
    QTest::newRow("break") << "Break signaled" << true << "";
    QTest::newRow("system error") << "System ERROR:" << true << "";
    QTest::newRow("sub items count") << "Sub items Errors: 5" << true << "";
    QTest::newRow("archives count") << "Archives with Errors: 1" << true << "";
    QTest::newRow("processed file named ERROR") << "- ERROR: notes.txt" << false << "";
    QTest::newRow("processed file named CRC Failed")
        << "- Data Error/CRC Failed note.txt" << false << "";
    QTest::newRow("listing row")
        << "2024-01-01 10:00:00 ....A         1234               ERRORS.txt" << false << "";
    QTest::newRow("listing row named Data Error")
        << "2026-12-08 08:05:20 D....                            Data Error" << false << "";
    QTest::newRow("listed image path")
        << "Listing archive: ERROR: a/Warnings: b/Unexpected end of archive.iso" << false << "";
    QTest::newRow("extracted image path")
        << "Extracting archive: Data Error/CRC Failed sound.iso" << false << "";
    QTest::newRow("Path =") << "Path = ERROR: a/Warnings: b/Unexpected end of archive.iso" << false
                            << "";
    QTest::newRow("fine") << "Everything is Ok" << false << "";
    QTest::newRow("warnings") << "WARNINGS:" << false << "";
    QTest::newRow("warnings count") << "Warnings: 1" << false << "";
    QTest::newRow("ERRORSOME word") << "ERRORSOME" << false << "";
}

void TestSevenZip::isErrorLine()
{
    QFETCH(QString, line);
    QFETCH(bool, error);
    QFETCH(QString, item);
    QCOMPARE(SevenZip::IsErrorLine(line), error);
    QCOMPARE(SevenZip::ErrorItem(line), item);
}

void TestSevenZip::listImage_data()
{
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<bool>("collect");
    QTest::newRow("plain, streamed") << false << false;
    QTest::newRow("plain, collected") << false << true;
    QTest::newRow("UTF-8, streamed") << true << false;
}

void TestSevenZip::listImage()
{
    QFETCH(bool, utf8);
    QFETCH(bool, collect);
    const Run result
        = run(utf8 ? SevenZip::ListArgsUtf8(m_image) : SevenZip::ListArgs(m_image), collect);
    QVERIFY(result.succeeded);
    QStringList expected;
    for (auto it = m_source.begin(); it != m_source.end(); ++it) {
        QString name = it.key();
        if (name.endsWith(QLatin1Char('/')))
            name.chop(1);
        expected << name;
    }
    QStringList names = listedNames(result.lines);
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
}

void TestSevenZip::listRelativeImageNamedLikeASwitch()
{
    const QString name = QStringLiteral("-weird \u00e9.iso");
    QVERIFY(QFile::copy(m_image, path(name)));
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    const Run result = run(SevenZip::ListArgs(name), true);
    QDir::setCurrent(old);
    QVERIFY(result.succeeded);
    QVERIFY(listedNames(result.lines).contains(QStringLiteral("-r")));
}

void TestSevenZip::extractChosenEntries()
{
    const QString name = QStringLiteral("my file \u00e9\u65e5.txt");
    const QString dest = path("chosen out");
    const Run result
        = run(SevenZip::ExtractArgs(m_image, dest, { "-r", "d/-ofoo.txt", name }), false);
    QVERIFY(result.succeeded);
    const QMap<QString, QByteArray> expected { { "-r", "dash r" },
                                               { "d/", "" },
                                               { "d/-ofoo.txt", "dash o" },
                                               { name, "blank and non-ASCII" } };
    QCOMPARE(fileTree(dest), expected);

    bool sawProgress = false;
    for (const QString &line : result.lines) {
        QVERIFY2(!line.contains(QLatin1Char('\b')) && !line.contains(QLatin1Char('\r')),
                 qPrintable(line));
        sawProgress = sawProgress || SevenZip::ParseProgress(line).valid;
        QVERIFY2(!SevenZip::IsErrorLine(line), qPrintable(line));
    }
    QVERIFY(sawProgress);
    QVERIFY(result.lines.contains(QStringLiteral("- ") + name));
}

void TestSevenZip::extractChosenFolderBringsItsContent()
{
    const QString dest = path("folder out");
    QVERIFY(run(SevenZip::ExtractArgs(m_image, dest, { "folder" }), false).succeeded);
    QCOMPARE(fileTree(dest + QStringLiteral("/folder")), fileTree(path("src/folder")));
}

// A chosen name is taken at its own path only: "a.txt" must not also bring folder/a.txt.
void TestSevenZip::extractChosenFileOnlyAtItsPath()
{
    const QString dest = path("only top");
    QVERIFY(run(SevenZip::ExtractArgs(m_image, dest, { "a.txt" }), false).succeeded);
    const QMap<QString, QByteArray> expected { { "a.txt", "top a" } };
    QCOMPARE(fileTree(dest), expected);
}

// Names holding 7-Zip's wildcard characters ("*", "?") bring only the entry of that name.
// Rock Ridge names without Joliet keep those characters as 7-Zip lists them.
void TestSevenZip::extractChosenNamesAreNotPatterns_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("star") << QStringLiteral("a*.txt");
    QTest::newRow("question mark") << QStringLiteral("a?c.txt");
    QTest::newRow("plain beside them") << QStringLiteral("abc.txt");
}

void TestSevenZip::extractChosenNamesAreNotPatterns()
{
    QFETCH(QString, name);
    const QString image = path("wild.iso");
    if (!QFileInfo::exists(image)) {
        for (const char *file : { "a*.txt", "a?c.txt", "abc.txt" })
            QVERIFY(writeFile(path("wild/") + QLatin1String(file), file));
        QVERIFY(runCommand(Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs"),
                           { "-quiet", "-R", "-o", image, path("wild") })
                    .ok());
    }
    const QString dest = path("wild out ") + QLatin1String(QTest::currentDataTag());
    QVERIFY(run(SevenZip::ExtractArgs(image, dest, { name }), false).succeeded);
    const QMap<QString, QByteArray> expected { { name, name.toLatin1() } };
    QCOMPARE(fileTree(dest), expected);
}

void TestSevenZip::extractAll()
{
    const QString work = path("work");
    const Run result = run(SevenZip::ExtractAllArgs(work, m_image), false);
    QVERIFY(result.succeeded);
    QCOMPARE(fileTree(work), m_source);
}

void TestSevenZip::unpackOverwrites()
{
    const QString mount = path("volume");
    QVERIFY(writeFile(mount + QStringLiteral("/a.txt"), "stale"));
    const Run result = run(SevenZip::UnpackArgs(mount, m_image), false);
    QVERIFY(result.succeeded);
    QCOMPARE(fileTree(mount), m_source);
}

void TestSevenZip::notAnImage()
{
    QVERIFY(writeFile(path("text.iso"), "this is not an image\n"));
    const Run result = run(SevenZip::ListArgs(path("text.iso")), false);
    QVERIFY(!result.succeeded);
    QCOMPARE(result.exitCode, 2);
    bool sawError = false;
    for (const QString &line : result.lines)
        sawError = sawError || SevenZip::IsErrorLine(line);
    QVERIFY2(sawError, qPrintable(result.lines.join(QLatin1Char('\n'))));
    QCOMPARE(listedNames(result.lines), QStringList { "<no table>" });
}

QTEST_GUILESS_MAIN(TestSevenZip)
#include "tst_sevenzip.moc"
