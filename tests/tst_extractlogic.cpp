#include "testhelpers.h"
// The Extract page's widget-free parts: the progress-line reader, the extraction request and
// command line, clash-free names, the move-up of extracted items and the judging of a run.

#include "logic/extractlogic.h"
#include "services/sevenzip.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

using namespace ExtractLogic;

namespace {
// How a run ended, as the runner tells it.
CRunOutcome outcome(bool failedToStart, bool crashed, int exitCode)
{
    CRunOutcome end;
    end.kind = failedToStart ? CRunOutcome::FailedToStart
        : crashed            ? CRunOutcome::Crashed
        : exitCode == 0      ? CRunOutcome::Succeeded
                             : CRunOutcome::ToolError;
    end.exitCode = failedToStart || crashed ? -1 : exitCode;
    return end;
}

// 7-Zip 26 output, recorded: "7z x -bb3 -bsp2" of a sound image whose path and names hold the
// words of its error messages, of an image cut short after half of its files, and of an image
// whose last file lies beyond its end.
const QStringList kHeader { "Scanning the drive for archives:", "1 file, 684032 bytes (668 KiB)" };
const QStringList kSound = kHeader
    + QStringList { "Extracting archive: Data Error/CRC Failed sound.iso",
                    "--",
                    "Path = Data Error/CRC Failed sound.iso",
                    "Type = Iso",
                    "- Data Error/",
                    "- Data Error/CRC Failed note.txt",
                    "- ERROR_ x.txt",
                    "- Unexpected end of archive.txt",
                    "- Warnings_ z.txt",
                    "Everything is Ok",
                    "Folders: 1",
                    "Files: 5" };
const QStringList kCut = kHeader
    + QStringList { "Extracting archive: cut.iso",
                    "ERRORS:",
                    "Unexpected end of archive",
                    "--",
                    "Path = cut.iso",
                    "Type = Iso",
                    "ERRORS:",
                    "Unexpected end of archive",
                    "- f3.bin",
                    "- f4.bin",
                    "ERROR: Data Error : f4.bin",
                    " 50% 3 - f4.bin\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b               "
                    "\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b- f5.bin",
                    "ERROR: Data Error : f5.bin",
                    "ERROR: Data Error : f6.bin",
                    "ERROR: Data Error : f7.bin",
                    "ERROR: Data Error : f8.bin",
                    "Sub items Errors: 5",
                    "Archives with Errors: 1",
                    "Open Errors: 1",
                    "Sub items Errors: 5" };
const QStringList kBeyondEnd { "Extracting archive: corrupt.iso", "ERRORS:",
                               "Unexpected end of archive",       "- f8.bin",
                               "ERROR: Data Error : f8.bin",      "Sub items Errors: 1" };
} // namespace

class TestExtractLogic : public QObject
{
    Q_OBJECT

private slots:
    void readProgressLineSurvivesNoise();

    void buildRequest_data();
    void buildRequest();
    void toolPaths_data();
    void toolPaths();
    void extractArguments();
    void extractDirectly_data();
    void extractDirectly();

    void clashFreeName_data();
    void clashFreeName();

    void moveUp_data();
    void moveUp();
    void moveUpKeepsWorkDirWhenAMoveFails();
    void missingText();

    void judgeExtraction_data();
    void judgeExtraction();
    void listingFailureText_data();
    void listingFailureText();
    void listingDamageText_data();
    void listingDamageText();
    void successText();
};

void TestExtractLogic::readProgressLineSurvivesNoise()
{
    // Mutated progress and error lines: never a crash, never a value outside 0..100.
    const QStringList seeds = { "45% 12 - boot/grub/grub.cfg", "100% 1 - f3.bin",
                                "ERROR: Data Error : f2.bin", "ERRORS:", "- a/b" };
    const QString alphabet = QStringLiteral("0123456789% -\b\r\nERO:abc/.\t");
    QRandomGenerator rng(42);
    ToolErrors errors;
    for (int i = 0; i < 20000; ++i) {
        QString line = seeds.at(rng.bounded(seeds.size()));
        const int edits = rng.bounded(6);
        for (int e = 0; e < edits; ++e) {
            const int pos = line.isEmpty() ? 0 : rng.bounded(line.size() + 1);
            const QChar c = alphabet.at(rng.bounded(alphabet.size()));
            switch (rng.bounded(3)) {
            case 0:
                line.insert(pos, c);
                break;
            case 1:
                if (pos < line.size())
                    line.remove(pos, 1);
                break;
            default:
                if (pos < line.size())
                    line[pos] = c;
                break;
            }
        }
        const SevenZip::Progress p = SevenZip::ParseProgress(line);
        QVERIFY(!p.valid || (p.percent >= 0 && p.percent <= 100));
        errors.AddLine(line);
    }
    QVERIFY(!errors.IsEmpty());
}

void TestExtractLogic::buildRequest_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QString>("relDir");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("relPaths");

    QTest::newRow("root") << "" << QStringList { "a.txt", "boot" } << ""
                          << QStringList { "a.txt", "boot" } << QStringList { "a.txt", "boot" };
    QTest::newRow("nested") << "boot/grub" << QStringList { "grub.cfg", "fonts" } << "boot/grub/"
                            << QStringList { "grub.cfg", "fonts" }
                            << QStringList { "boot/grub/grub.cfg", "boot/grub/fonts" };
    QTest::newRow("ticked twice") << "d" << QStringList { "x", "x", "y" } << "d/"
                                  << QStringList { "x", "y" } << QStringList { "d/x", "d/y" };
    QTest::newRow("names that are no entry")
        << "d" << QStringList { "", ".", "..", "a/b", "ok" } << "d/" << QStringList { "ok" }
        << QStringList { "d/ok" };
    QTest::newRow("odd names kept")
        << "" << QStringList { "-r", " blank ", "ü.txt" } << ""
        << QStringList { "-r", " blank ", "ü.txt" } << QStringList { "-r", " blank ", "ü.txt" };
    QTest::newRow("nothing") << "d" << QStringList {} << "d/" << QStringList {} << QStringList {};
}

void TestExtractLogic::buildRequest()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, ticked);
    QFETCH(QString, relDir);
    QFETCH(QStringList, names);
    QFETCH(QStringList, relPaths);
    const Request r = BuildRequest(folder, ticked);
    QCOMPARE(r.relDir, relDir);
    QCOMPARE(r.names, names);
    QCOMPARE(r.relPaths, relPaths);
}

void TestExtractLogic::toolPaths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QStringList>("folderNames");
    QTest::addColumn<QStringList>("expected");
    const QStringList all = { "a", "b*", "c" };
    QTest::newRow("all at the top: the whole image") << "" << all << all << QStringList {};
    QTest::newRow("all in any order below: the folder")
        << "boot/grub" << QStringList { "c", "a", "b*" } << all << QStringList { "boot/grub" };
    QTest::newRow("some") << "d" << QStringList { "a", "c" } << all << QStringList { "d/a", "d/c" };
    QTest::newRow("as many, not the same")
        << "" << QStringList { "a", "b", "c" } << all << QStringList { "a", "b", "c" };
    QTest::newRow("a name ticked twice is not two entries")
        << "" << QStringList { "a", "a", "c" } << all << QStringList { "a", "c" };
    QTest::newRow("empty folder, nothing ticked")
        << "" << QStringList {} << QStringList {} << QStringList {};
}

void TestExtractLogic::toolPaths()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, ticked);
    QFETCH(QStringList, folderNames);
    QFETCH(QStringList, expected);
    QCOMPARE(ToolPaths(BuildRequest(folder, ticked), folderNames), expected);
}

void TestExtractLogic::extractArguments()
{
    const QStringList paths = { "-r", "-ofoo", "d/-y", "a b/c" };
    const QStringList args = SevenZip::ExtractArgs("/img/x.iso", "/dest/.w", paths);
    QCOMPARE(args.first(), QStringLiteral("x"));
    QVERIFY(args.contains("-o/dest/.w"));
    QVERIFY(args.contains("-y"));
    const int end = args.indexOf("--");
    QVERIFY(end > 0);
    // Every switch before "--", no recursive matching; image and names after it, names in order.
    for (int i = 0; i < end; ++i)
        QVERIFY2(args.at(i) != "-r", qPrintable(args.join(' ')));
    const QStringList rest = args.mid(end + 1);
    QVERIFY(rest.contains("/img/x.iso"));
    QCOMPARE(rest.mid(rest.size() - paths.size()), paths);
}

void TestExtractLogic::extractDirectly_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QStringList>("there");
    QTest::addColumn<bool>("direct");
    QTest::newRow("top folder, empty destination")
        << "" << QStringList { "a", "b" } << QStringList {} << true;
    QTest::newRow("top folder, other names there")
        << "" << QStringList { "a", "b" } << QStringList { "c", "ab" } << true;
    QTest::newRow("top folder, a ticked name there")
        << "" << QStringList { "a", "b" } << QStringList { "c", "b" } << false;
    QTest::newRow("a ticked name there in another case")
        << "" << QStringList { "README.TXT" } << QStringList { "Readme.txt" } << false;
    QTest::newRow("a ticked name there with its accent apart")
        << "" << QStringList { QString::fromUtf8("caf\xc3\xa9") }
        << QStringList { QString::fromUtf8("cafe\xcc\x81") } << false;
    QTest::newRow("a hidden name there")
        << "" << QStringList { ".h" } << QStringList { ".h" } << false;
    QTest::newRow("below the top folder")
        << "boot" << QStringList { "a" } << QStringList {} << false;
}

void TestExtractLogic::extractDirectly()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, ticked);
    QFETCH(QStringList, there);
    QFETCH(bool, direct);
    QCOMPARE(CanExtractDirectly(BuildRequest(folder, ticked), there), direct);
    // Straight into a destination, 7-Zip never replaces what is there.
    const QStringList args = ToolArgs("/i.iso", "/dest", { "a" }, direct);
    QCOMPARE(args.contains("-o/dest"), true);
    QCOMPARE(args.indexOf("-aos") > 0 && args.indexOf("-aos") < args.indexOf("--"), direct);
    QVERIFY(args.contains("-bsp2") && !args.contains("-bb3"));
}

void TestExtractLogic::clashFreeName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isDir");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free") << "a.txt" << false << QStringList { "b.txt" } << "a.txt";
    QTest::newRow("file") << "grub.cfg" << false << QStringList { "grub.cfg" } << "grub (2).cfg";
    QTest::newRow("file, 2 taken")
        << "grub.cfg" << false << QStringList { "grub.cfg", "grub (2).cfg" } << "grub (3).cfg";
    QTest::newRow("folder with dot") << "v1.2" << true << QStringList { "v1.2" } << "v1.2 (2)";
    QTest::newRow("no extension") << "README" << false << QStringList { "README" } << "README (2)";
    QTest::newRow("hidden file") << ".hidden" << false << QStringList { ".hidden" }
                                 << ".hidden (2)";
    QTest::newRow("trailing dot") << "name." << false << QStringList { "name." } << "name. (2)";
    QTest::newRow("two extensions")
        << "a.tar.gz" << false << QStringList { "a.tar.gz" } << "a.tar (2).gz";
    QTest::newRow("dash name") << "-r" << false << QStringList { "-r" } << "-r (2)";
    QTest::newRow("empty") << "" << false << QStringList {} << "";
}

void TestExtractLogic::clashFreeName()
{
    QFETCH(QString, name);
    QFETCH(bool, isDir);
    QFETCH(QStringList, taken);
    QFETCH(QString, expected);
    const QSet<QString> set(taken.begin(), taken.end());
    QCOMPARE(ClashFreeName(name, isDir, [&](const QString &n) { return set.contains(n); }),
             expected);
}

void TestExtractLogic::moveUp_data()
{
    // Each case: files in the work folder, files already in the destination, the request, and
    // the destination's entries afterwards (the work folder must be gone).
    QTest::addColumn<QStringList>("extracted");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("relDir");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("renamed");
    QTest::addColumn<QStringList>("missing");

    QTest::newRow("root items") << QStringList { "a.txt", "d/x" } << QStringList {} << ""
                                << QStringList { "a.txt", "d" }
                                << QStringList { "a.txt", "d/", "d/x" } << QStringList {}
                                << QStringList {};
    QTest::newRow("nested file, pre-existing first component kept")
        << QStringList { "boot/grub/grub.cfg" } << QStringList { "boot/old.txt" } << "boot/grub/"
        << QStringList { "grub.cfg" } << QStringList { "boot/", "boot/old.txt", "grub.cfg" }
        << QStringList {} << QStringList {};
    QTest::newRow("clash with a file")
        << QStringList { "d/a.txt" } << QStringList { "a.txt" } << "d/" << QStringList { "a.txt" }
        << QStringList { "a (2).txt", "a.txt" } << QStringList { "a (2).txt" } << QStringList {};
    QTest::newRow("clash with a folder")
        << QStringList { "x/d/new" } << QStringList { "d/old" } << "x/" << QStringList { "d" }
        << QStringList { "d (2)/", "d (2)/new", "d/", "d/old" } << QStringList { "d (2)" }
        << QStringList {};
    QTest::newRow("clash with a hidden file and with an item moved before")
        << QStringList { "a (2).txt", "a.txt", ".h" } << QStringList { "a.txt", ".h" } << ""
        << QStringList { "a (2).txt", "a.txt", ".h" }
        << QStringList { ".h", ".h (2)", "a (2).txt", "a (3).txt", "a.txt" }
        << QStringList { "a (3).txt", ".h (2)" } << QStringList {};
    QTest::newRow("not extracted is reported")
        << QStringList { "d/a" } << QStringList {} << "d/" << QStringList { "a", "missing" }
        << QStringList { "a" } << QStringList {} << QStringList { "missing" };
    QTest::newRow("nothing extracted")
        << QStringList {} << QStringList { "keep" } << "d/" << QStringList { "x", "y" }
        << QStringList { "keep" } << QStringList {} << QStringList { "x", "y" };
    QTest::newRow("same name elsewhere in the work folder is not it")
        << QStringList { "other/a" } << QStringList {} << "d/" << QStringList { "a" }
        << QStringList {} << QStringList {} << QStringList { "a" };
    QTest::newRow("the same name twice, one below a folder of its own")
        << QStringList { "r.txt", ".1/r.txt", ".2/d/x" } << QStringList { "d/keep" } << ""
        << QStringList { "r.txt", ".1/r.txt", ".2/d" }
        << QStringList { "d (2)/", "d (2)/x", "d/", "d/keep", "r (2).txt", "r.txt" }
        << QStringList { "r (2).txt", "d (2)" } << QStringList {};
    QTest::newRow("dash and blanks")
        << QStringList { "-r", " b c " } << QStringList {} << "" << QStringList { "-r", " b c " }
        << QStringList { " b c ", "-r" } << QStringList {} << QStringList {};
}

void TestExtractLogic::moveUp()
{
    QFETCH(QStringList, extracted);
    QFETCH(QStringList, existing);
    QFETCH(QString, relDir);
    QFETCH(QStringList, names);
    QFETCH(QStringList, after);
    QFETCH(QStringList, renamed);
    QFETCH(QStringList, missing);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dest = tmp.path() + "/dest";
    const QString work = dest + "/" + WorkDirPrefix() + "abc";
    QVERIFY(QDir().mkpath(work));
    for (const QString &f : extracted)
        writeFile(work + "/" + f, "new:" + f.toUtf8());
    for (const QString &f : existing)
        writeFile(dest + "/" + f, "old:" + f.toUtf8());

    const Delivery d = MoveUp(work, dest, relDir, names);
    QVERIFY(d.failed.isEmpty());
    QVERIFY(d.workDirRemoved);
    QCOMPARE(entries(dest), after);
    QStringList keptAs;
    for (const Renamed &r : d.renamed)
        keptAs << r.keptAs;
    QCOMPARE(keptAs, renamed);
    QCOMPARE(d.missing, missing);
    for (const QString &f : existing)
        QCOMPARE(readFile(dest + "/" + f), "old:" + f.toUtf8());
}

void TestExtractLogic::moveUpKeepsWorkDirWhenAMoveFails()
{
    // A destination that has gone away: nothing can be moved, and the work folder with the
    // extracted copy must stay.
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString work = tmp.path() + "/work";
    writeFile(work + "/d/a.txt", "data");
    const Delivery d = MoveUp(work, tmp.path() + "/gone", "d/", { "a.txt" });
    QCOMPARE(d.failed, QStringList { "a.txt" });
    QVERIFY(!d.workDirRemoved);
    QCOMPARE(readFile(work + "/d/a.txt"), QByteArray("data"));
}

void TestExtractLogic::missingText()
{
    QCOMPARE(MissingText({}), QString());
    const QString one = MissingText({ "nomatch.txt" });
    QCOMPARE(one, QStringLiteral("These items were not extracted: \"nomatch.txt\"."));
    const QString many = MissingText({ "a", "b", "c", "d", "e" });
    QVERIFY2(many.contains("\"c\"") && !many.contains("\"d\"") && many.contains("and 2 more"),
             qPrintable(many));
}

void TestExtractLogic::judgeExtraction_data()
{
    QTest::addColumn<bool>("failedToStart");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("messagePart");

    QTest::newRow("clean") << false << false << 0
                           << QStringList { "- a.txt", "45% 1 - a.txt", "Everything is Ok" } << true
                           << "";
    QTest::newRow("not started") << true << false << -1 << QStringList {} << false
                                 << "could not be started";
    QTest::newRow("crashed") << false << true << -1 << QStringList {} << false
                             << "stopped unexpectedly";
    QTest::newRow("exit status only")
        << false << false << 2 << QStringList {} << false << "exit status 2";
    QTest::newRow("data error") << false << false << 2
                                << QStringList { "- f2.bin", "ERROR: Data Error : f2.bin",
                                                 "Sub items Errors: 1" }
                                << false << "1 item did not arrive whole: \"f2.bin\"";
    QTest::newRow("ERRORS heading")
        << false << false << 2
        << QStringList { "Extracting archive: t.iso", "ERRORS:", "Unexpected end of archive",
                         "Physical Size = 1" }
        << false << "Unexpected end of archive";
    QTest::newRow("error line with status 0")
        << false << false << 0 << QStringList { "ERROR: Data Error : x" } << false << "\"x\"";
    QTest::newRow("recorded: sound image named like errors")
        << false << false << 0 << kSound << true << "";
    QTest::newRow("recorded: image cut short")
        << false << false << 2 << kCut << false
        << "5 items did not arrive whole: \"f4.bin\", \"f5.bin\", \"f6.bin\", \"f7.bin\", "
           "\"f8.bin\".\nWhat did arrive was kept.";
    QTest::newRow("recorded: file beyond the end")
        << false << false << 2 << kBeyondEnd << false << "1 item did not arrive whole: \"f8.bin\"";
    QTest::newRow("many broken items")
        << false << false << 2
        << QStringList { "ERROR: CRC Failed : 1", "ERROR: CRC Failed : 2", "ERROR: CRC Failed : 3",
                         "ERROR: CRC Failed : 4", "ERROR: CRC Failed : 5", "ERROR: CRC Failed : 6" }
        << false << "\"5\" and 1 more.";
    QTest::newRow("warning is no error")
        << false << false << 0
        << QStringList { "WARNINGS:", "There are data after the end of archive" } << true << "";
}

void TestExtractLogic::judgeExtraction()
{
    QFETCH(bool, failedToStart);
    QFETCH(bool, crashed);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QFETCH(bool, success);
    QFETCH(QString, messagePart);

    ToolErrors errors;
    for (const QString &l : lines)
        errors.AddLine(l);
    const CRunOutcome end = outcome(failedToStart, crashed, exitCode);
    const Verdict v = JudgeExtraction(end, errors);
    QCOMPARE(v.success, success);
    if (!success) {
        QVERIFY2(v.message.contains(messagePart), qPrintable(v.message));
        QVERIFY(!v.message.contains("successfully"));
    }
}

void TestExtractLogic::listingFailureText_data()
{
    QTest::addColumn<bool>("failedToStart");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("second");

    QTest::newRow("not an archive")
        << false
        << QStringList { "Errors: 1", "ERROR: /x/notes.iso : Cannot open the file as archive" }
        << "/x/notes.iso : Cannot open the file as archive";
    QTest::newRow("missing file") << false
                                  << QStringList { "System ERROR:",
                                                   "errno=2 : No such file or directory" }
                                  << "errno=2 : No such file or directory";
    QTest::newRow("no tool") << true << QStringList {} << "The 7-Zip program could not be started.";
    QTest::newRow("nothing said") << false << QStringList {} << "";
    QTest::newRow("recorded: not an image")
        << false
        << QStringList { "Listing archive: garbage.iso",
                         "ERROR: garbage.iso : Cannot open the file as archive", "Errors: 1" }
        << "garbage.iso : Cannot open the file as archive";
}

void TestExtractLogic::listingFailureText()
{
    QFETCH(bool, failedToStart);
    QFETCH(QStringList, lines);
    QFETCH(QString, second);
    ToolErrors errors;
    for (const QString &l : lines)
        errors.AddLine(l);
    const CRunOutcome end = outcome(failedToStart, false, 2);
    const QStringList text = ListingFailureText(end, errors).split('\n');
    QCOMPARE(text.first(), QStringLiteral("The file could not be read as an ISO image."));
    QCOMPARE(text.value(1), second);
}

void TestExtractLogic::listingDamageText_data()
{
    // How a listing that was read to its closing separator ended; "" when nothing is to be said.
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("messagePart");

    const QStringList header { "Listing archive: cut.iso", "--", "Path = cut.iso", "Type = Iso" };
    QTest::newRow("sound image") << false << 0 << header << "";
    QTest::newRow("recorded: sound image named like errors")
        << false << 0
        << QStringList { "Listing archive: ERROR: a/Warnings: b/Unexpected end of archive.iso",
                         "--", "Path = ERROR: a/Warnings: b/Unexpected end of archive.iso",
                         "Type = Udf", "  VolumeId: CDROM" }
        << "";
    QTest::newRow("warnings only")
        << false << 1 << (header + QStringList { "WARNINGS:", "There are data after the end" })
        << "";
    QTest::newRow("cut short")
        << false << 2
        << (header + QStringList { "ERRORS:", "Unexpected end of archive", "Physical Size = 3" })
        << "Unexpected end of archive";
    QTest::newRow("error line with status 0")
        << false << 0 << (header + QStringList { "ERROR: Headers Error" }) << "Headers Error";
    QTest::newRow("status only") << false << 2 << header << "exit status 2";
    QTest::newRow("crashed") << true << -1 << header << "damaged";
}

void TestExtractLogic::listingDamageText()
{
    QFETCH(bool, crashed);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QFETCH(QString, messagePart);
    ToolErrors errors;
    for (const QString &l : lines)
        errors.AddLine(l);
    const CRunOutcome end = outcome(false, crashed, exitCode);
    const QString text = ListingDamageText(end, errors);
    if (messagePart.isEmpty()) {
        QCOMPARE(text, QString());
        return;
    }
    QVERIFY2(text.startsWith("The image is damaged"), qPrintable(text));
    QVERIFY2(text.contains(messagePart), qPrintable(text));
}

void TestExtractLogic::successText()
{
    QCOMPARE(SuccessText({}), QStringLiteral("Extract files successfully."));
    const QString one = SuccessText({ Renamed { "a.txt", "a (2).txt" } });
    QVERIFY(one.startsWith("Extract files successfully.\n"));
    QVERIFY(one.contains("\"a (2).txt\""));
    QList<Renamed> many;
    for (int i = 0; i < 5; ++i)
        many << Renamed { QString::number(i), QString::number(i) + " (2)" };
    QVERIFY(SuccessText(many).contains("and 2 more"));
}

QTEST_GUILESS_MAIN(TestExtractLogic)
#include "tst_extractlogic.moc"
