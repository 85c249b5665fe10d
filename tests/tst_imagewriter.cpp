// The image writer: the judging of a mkisofs run, the 4 GiB check, the check of the working
// folder (the widget-free half), and a run that writes beside its target and replaces it only
// when it succeeds (the widget side showing the failure).
// Mount route: none (plain folders of the local file system).

#include "testhelpers.h"

#include "logic/imagewrite.h"
#include "model/ctree.h"
#include "model/localscan.h"
#include "pages/common/cimagewriter.h"
#include "services/cfilecopy.h"
#include "services/filelinks.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

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
    // Noted when added, as adding a local entry does.
    if (!src.isEmpty())
        item.m_Size = QString::number(QFileInfo(src).size());
    return item;
}

} // namespace

class TestImageWriter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void judging_data();
    void judging();
    void largeFiles();
    void stagingCheck();
    void linkedSourcesChecked_data();
    void linkedSourcesChecked();
    void pathList();
    void failedRunKeepsTheTarget();
};

void TestImageWriter::judging_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("imageWritten");
    QTest::addColumn<QString>("textStart");

    QTest::newRow("success") << int(CRunOutcome::Succeeded) << 0 << true << QString();
    QTest::newRow("exit 1") << int(CRunOutcome::ToolError) << 1 << false
                            << "Create ISO failed (mkisofs exit code 1).";
    QTest::newRow("exit 2 with a partial image")
        << int(CRunOutcome::ToolError) << 2 << true << "Create ISO failed (mkisofs exit code 2).";
    QTest::newRow("exit 0 but no image")
        << int(CRunOutcome::Succeeded) << 0 << false << "Create ISO failed: mkisofs wrote no";
    QTest::newRow("crash") << int(CRunOutcome::Crashed) << -1 << true << "mkisofs stopped";
    QTest::newRow("not started") << int(CRunOutcome::FailedToStart) << -1 << false
                                 << "Could not start mkisofs.";
}

void TestImageWriter::judging()
{
    QFETCH(int, kind);
    QFETCH(int, exitCode);
    QFETCH(bool, imageWritten);
    QFETCH(QString, textStart);

    CRunOutcome outcome;
    outcome.kind = CRunOutcome::Kind(kind);
    outcome.exitCode = exitCode;
    const QString failed = QStringLiteral("Create ISO failed");
    QVERIFY(!CImageWrite::FailureText(outcome, imageWritten, failed).contains('\n'));
    const QString tool = QStringLiteral("genisoimage: No space left on device.");
    outcome.errorLines << tool;
    const QString text = CImageWrite::FailureText(outcome, imageWritten, failed);
    if (textStart.isEmpty()) {
        QVERIFY(text.isEmpty());
    } else {
        QVERIFY2(text.startsWith(textStart), qPrintable(text));
        QVERIFY2(text.endsWith(QLatin1Char('\n') + tool), qPrintable(text));
    }
}

void TestImageWriter::largeFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString d = dir.path();
    QVERIFY(makeSparse(d + "/limit.bin", Mkisofs::Iso9660FileLimit));
    QVERIFY(makeSparse(d + "/four.bin", 4 * GiB));
    QVERIFY(makeSparse(d + "/five.bin", 5 * GiB));
    QVERIFY(writeFile(d + "/small.txt", "x"));

    CTree tree;
    QVERIFY(tree.AddItem(fileItem("limit.bin", d + "/limit.bin")));
    QVERIFY(tree.AddItem(fileItem("a/b/five.bin", d + "/five.bin")));
    QVERIFY(tree.AddItem(fileItem("a/small.txt", d + "/small.txt")));
    QVERIFY(tree.AddItem(fileItem("four.bin", d + "/four.bin")));
    QVERIFY(tree.AddItem(fileItem("gone.bin", d + "/gone.bin")));
    // Items of a loaded image have no source: their listed size counts.
    Item listed = fileItem("listed.bin", QString());
    listed.m_Size = QString::number(5 * GiB);
    QVERIFY(tree.AddItem(listed));
    listed.m_Path = "listed small.bin";
    listed.m_Size = "10";
    QVERIFY(tree.AddItem(listed));

    QCOMPARE(CImageWrite::LargeFiles(tree.m_Root),
             (QStringList { "a/b/five.bin", "four.bin", "listed.bin" }));
    QVERIFY(!Mkisofs::TooLargeForIso9660(Mkisofs::Iso9660FileLimit));
    QVERIFY(Mkisofs::TooLargeForIso9660(Mkisofs::Iso9660FileLimit + 1));

    // What the image holds is the staged copy: the staging check measures it, so a source that
    // grew past the limit after it was added is seen there.
    CFileCopy copier;
    CImageWrite writer(&copier);
    const QString stage = CImageWrite::WorkDir();
    QVERIFY(QDir(stage).removeRecursively());
    QVERIFY(QDir().mkpath(stage + "a"));
    QVERIFY(makeSparse(stage + "a/small.txt", 5 * GiB));
    QVERIFY(makeSparse(stage + "limit.bin", Mkisofs::Iso9660FileLimit));
    writer.UnstagedItems(tree.m_Root);
    QCOMPARE(writer.StagedLargeFiles(), QStringList { "a/small.txt" });
    QVERIFY(QDir(stage).removeRecursively());
}

void TestImageWriter::stagingCheck()
{
    CFileCopy copier;
    CImageWrite writer(&copier);
    const QString stage = CImageWrite::WorkDir();
    QVERIFY(QDir(stage).removeRecursively());
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
    QCOMPARE(writer.UnstagedItems(tree.m_Root), (QStringList { "docs", "top.txt", "other" }));

    QVERIFY(writeFile(stage + "docs/a.txt", "a"));
    QVERIFY(writeFile(stage + "docs/sub/c.txt", "c"));
    QVERIFY(writeFile(stage + "top.txt", "t"));
    QVERIFY(QDir().mkpath(stage + "other/x.txt")); // a folder where a file belongs
    QCOMPARE(writer.UnstagedItems(tree.m_Root), (QStringList { "docs/b.txt", "other/x.txt" }));

    QVERIFY(QDir(stage + "other/x.txt").removeRecursively());
    QVERIFY(writeFile(stage + "other/x.txt", "x"));
    QVERIFY(writeFile(stage + "docs/b.txt", "b"));
    QVERIFY(writer.UnstagedItems(tree.m_Root).isEmpty());

    // A failed copy task names a file or a whole folder by its source, until it is queued again.
    copier.AddTask("/src/docs/sub", stage + "docs", 0);
    copier.AddTask("/src/top.txt", stage + "top.txt", 0);
    QVERIFY(waitUntil([&] { return copier.IsIdle(); }, 5000));
    QCOMPARE(writer.UnstagedItems(tree.m_Root), (QStringList { "docs/sub", "top.txt" }));
    writer.Restaged("/src/top.txt");
    QCOMPARE(writer.UnstagedItems(tree.m_Root), QStringList { "docs/sub" });
    QVERIFY(QDir(stage).removeRecursively());
}

// Files staged as links are checked where they lie: what changed in the source folder since the
// folder was added is named, and what did not passes, the user's own links included.
void TestImageWriter::linkedSourcesChecked_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QStringList>("changed");
    QTest::addColumn<QStringList>("large");

    QTest::newRow("nothing") << "" << QStringList() << QStringList() << QStringList();
    QTest::newRow("file removed") << "remove" << QStringList { "src/in/b.txt" } << QStringList()
                                  << QStringList();
    QTest::newRow("file shorter") << "shorten" << QStringList() << QStringList { "src/in/b.txt" }
                                  << QStringList();
    QTest::newRow("file made a folder")
        << "folder" << QStringList { "src/in/b.txt" } << QStringList() << QStringList();
    QTest::newRow("source folder renamed")
        << "rename" << QStringList { "src/in/b.txt", "src/in/own link.txt" } << QStringList()
        << QStringList();
    QTest::newRow("link removed from the working folder")
        << "unlink" << QStringList { "src/in/b.txt" } << QStringList() << QStringList();
    QTest::newRow("large file not in the project")
        << "extra" << QStringList() << QStringList() << QStringList { "src/in/extra/big.bin" };
}

void TestImageWriter::linkedSourcesChecked()
{
    QFETCH(QString, change);
    QFETCH(QStringList, missing);
    QFETCH(QStringList, changed);
    QFETCH(QStringList, large);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString src = dir.path() + "/src";
    QVERIFY(writeFile(src + "/a.txt", "a"));
    QVERIFY(writeFile(src + "/in/b.txt", "bbbb"));
    QVERIFY(QFile::link(src + "/a.txt", src + "/in/own link.txt"));
    const QString stage = CImageWrite::WorkDir();
    QVERIFY(QDir(stage).removeRecursively());
    QVERIFY(QDir().mkpath(stage));
    CTree tree;
    QVERIFY(AddLocalEntry(tree, src, QString(), { stage }));
    QVERIFY(FileLinks::Link(src, stage, nullptr));

    if (change == "remove")
        QVERIFY(QFile::remove(src + "/in/b.txt"));
    else if (change == "shorten")
        QVERIFY(writeFile(src + "/in/b.txt", "b"));
    else if (change == "folder")
        QVERIFY(QFile::remove(src + "/in/b.txt") && QDir().mkpath(src + "/in/b.txt"));
    else if (change == "rename")
        QVERIFY(QDir().rename(src + "/in", src + "/out"));
    else if (change == "unlink")
        QVERIFY(QFile::remove(stage + "src/in/b.txt"));
    else if (change == "extra")
        QVERIFY(QDir().mkpath(stage + "src/in/extra")
                && makeSparse(stage + "src/in/extra/big.bin", 5 * GiB));

    CFileCopy copier;
    CImageWrite writer(&copier);
    QCOMPARE(writer.UnstagedItems(tree.m_Root), missing);
    QCOMPARE(writer.ChangedItems(), changed);
    QCOMPARE(writer.StagedLargeFiles(), large);
    QCOMPARE(writer.TakeNamesHint(), QStringLiteral("0 0")); // short ASCII names
    QVERIFY(writer.TakeNamesHint().isEmpty());
    QVERIFY(QDir(stage).removeRecursively());
    QVERIFY(QDir(FileLinks::AnchorFolder()).removeRecursively());
}

void TestImageWriter::pathList()
{
    QCOMPARE(CImageWrite::PathListText({ "a", "b" }), QStringLiteral("a\nb"));
    QCOMPARE(CImageWrite::PathListText({ "a", "b", "c", "d" }, 2),
             QStringLiteral("a\nb\n... and 2 more"));
}

// A run that fails leaves an existing target as it was and no file of its own; one that
// succeeds takes the target's place.
void TestImageWriter::failedRunKeepsTheTarget()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.path() + "/old image.iso";
    QVERIFY(writeFile(target, "keep me"));
    QVERIFY(writeFile(dir.path() + "/src/a.txt", "a"));
    CFileCopy copier;
    CProgressDialog progress;
    CImageWriter writer(&copier, &progress);

    auto write = [&](const QString &source) {
        writer.Begin();
        CRunCommandThread *runner = writer.Prepare(
            target,
            [&](const QString &out) {
                return Mkisofs::CreateArgs(Mkisofs::ImageType::Joliet, out, source);
            },
            "Creating ISO file...", "Create ISO failed");
        bool ended = false, ok = false;
        connect(runner, &CRunCommandThread::sigfinished, this, [&] {
            ok = writer.Finish();
            ended = true;
        });
        runner->start();
        return waitUntil([&] { return ended; }, 60000) && ok;
    };
    QString shown;
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *d) { shown = labelText(d); }, 60000) };
    QVERIFY(!write(dir.path() + "/no such folder"));
    QVERIFY2(shown.startsWith("Create ISO failed (mkisofs exit code"), qPrintable(shown));
    QCOMPARE(readFile(target), QByteArray("keep me"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList { "old image.iso" });
    const QStringList args = writer.LastArguments();
    QVERIFY(args.value(args.indexOf("-o") + 1).startsWith(dir.path() + "/.old image.iso."));

    QVERIFY(write(dir.path() + "/src"));
    QVERIFY(QFileInfo(target).size() > 32 * 1024);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList { "old image.iso" });
}

QTEST_MAIN(TestImageWriter)
#include "tst_imagewriter.moc"
