// The Edit page driven the way a user drives it, on images this test builds: its pickers and
// prompts are answered on screen, the image is listed and extracted by the real 7-Zip, the
// changes are carried out by the real copier, and the saved image comes from the real mkisofs
// and is read back with 7-Zip.

#include "app/startup.h"
#include "pages/cpage4.h"
#include "services/cfilecopy_p.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/cimagebutton.h"
#include "ui/cinputdialog.h"
#include "ui/clineedit.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"

#include <QLabel>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace TestHelpers;

namespace {

const qint64 MiB = Q_INT64_C(1) << 20;

QString mkisofs()
{
    return Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs");
}

// An image of folder src, as a user's tool would make it.
bool makeImage(const QString &src, const QString &image, const QStringList &extra = {})
{
    return runCommand(mkisofs(), QStringList { "-quiet", "-R", "-J", "-o", image } + extra << src)
        .ok();
}

// The home window's stand-in: the page is embedded in it as the home window embeds it.
struct Host
{
    QWidget window;
    CPage4 *page = nullptr;
    Host()
    {
        window.resize(860, 580);
        page = new CPage4(&window);
        page->setParent(&window, Qt::Widget);
        page->InitializeUI();
        page->move(3, 107);
        window.show();
    }
    template<class T> T *child(const char *name) const
    {
        return page->findChild<T *>(QString::fromLatin1(name));
    }
    QTableWidget *list() const { return child<QTableWidget>("list"); }
    QTreeWidget *tree() const { return child<QTreeWidget>("tree"); }
    CImageButton *button(const char *name) const { return child<CImageButton>(name); }

    QStringList rowNames() const
    {
        QStringList names;
        for (int row = 0; row < list()->rowCount(); ++row)
            names << list()->item(row, 0)->text();
        return names;
    }
    QStringList sortedRows() const
    {
        QStringList names = rowNames();
        names.sort();
        return names;
    }
    int row(const QString &name) const { return rowNames().indexOf(name); }
    void tick(const QStringList &names) const
    {
        for (const QString &name : names)
            list()->item(row(name), 0)->setCheckState(Qt::Checked);
    }
    // Opens a folder of the current one as a double-click does.
    void open(const QString &name) const
    {
        list()->setCurrentCell(row(name), 0);
        page->OnListViewDoubleClicked();
    }
    void openRoot() const
    {
        tree()->setCurrentItem(tree()->topLevelItem(0));
        page->OnTreeCurrentChanged();
    }
};

} // namespace

class TestEditPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void loadBrowseSearch();
    void editExportSave();
    void unreadableImage_data();
    void unreadableImage();
    void saveFailureKeepsTarget_data();
    void saveFailureKeepsTarget();
    void stopDuringSave();
    void largeFileKeptWhole();
    void secondLoadWhileExtracting();
    void copyTextOnlyWhileBytesAreLeft();
    void cleanupTestCase();

private:
    // Loads image through Load ISO and waits until the listing is shown and W is complete.
    void load(Host &host, const QString &image);
    // Saves through Save; returns the text of the prompt that ended it.
    QString save(Host &host, const QString &target);

    QTemporaryDir m_dir;
    QString m_src; // the files of the test image
    QString m_image;
};

void TestEditPage::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    m_src = m_dir.path() + "/src";
    QVERIFY(writeFile(m_src + "/ISOLINUX/boot.txt", content("boot", 300)));
    QVERIFY(writeFile(m_src + "/isolinux.cfg", content("cfg", 40)));
    QVERIFY(writeFile(m_src + "/docs/a/x.txt", content("x", 5000)));
    QVERIFY(writeFile(m_src + "/docs/a/deep/y.bin", content("y", 70000)));
    QVERIFY(writeFile(m_src + "/docs/b.txt", content("b", 10)));
    QVERIFY(writeFile(m_src + "/readme.txt", content("readme", 123)));
    QVERIFY(writeFile(m_src + "/Grüße -dash.txt", content("gruss", 77)));
    QVERIFY(QDir().mkpath(m_src + "/empty"));
    m_image = m_dir.path() + "/test image.iso";
    QVERIFY(makeImage(m_src, m_image));
}

void TestEditPage::cleanupTestCase()
{
    QDir(Util::GetTempDir()).removeRecursively();
}

void TestEditPage::load(Host &host, const QString &image)
{
    WatcherGuard picker { answerFileDialog(image) };
    clickButton(host.button("loadiso"));
    QVERIFY(waitUntil([&] { return host.button("add")->isEnabled(); }));
    QVERIFY(waitUntil([&] { return !host.page->IsExtracting(); }));
}

QString TestEditPage::save(Host &host, const QString &target)
{
    QString text;
    WatcherGuard picker { answerFileDialog(target) };
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *d) { text = labelText(d); }, 60000) };
    clickButton(host.button("save"));
    waitUntil([&] { return !text.isEmpty(); }, 60000);
    return text;
}

void TestEditPage::form()
{
    Host host;
    QCOMPARE(host.page->size(), QSize(854, 470));
    QVERIFY(host.button("new_2")->isHidden());
    for (const char *name : { "add", "export_2", "rename", "delete_2", "save" })
        QVERIFY2(!host.button(name)->isEnabled(), name);
    QVERIFY(host.button("back")->isEnabled());
    QVERIFY(host.button("loadiso")->isEnabled());
    QCOMPARE(host.child<CLineEdit>("search")->placeholderText(), QStringLiteral("Search"));
    QCOMPARE(host.list()->columnCount(), 4);
    // With nothing loaded, Escape does what Back does.
    QTest::keyClick(host.page, Qt::Key_Escape);
    QVERIFY(host.page->isHidden());
}

void TestEditPage::loadBrowseSearch()
{
    Host host;
    load(host, m_image);
    QCOMPARE(host.tree()->topLevelItem(0)->text(0), QStringLiteral("test image.iso"));
    QCOMPARE(host.sortedRows(),
             (QStringList { "Grüße -dash.txt", "ISOLINUX", "docs", "empty", "isolinux.cfg",
                            "readme.txt" }));
    // The working folder holds the image.
    QCOMPARE(fileTree(Util::GetTempDir() + "/tmp"), fileTree(m_src));

    // Load ISO cancelled: the loaded image and its working copy stay.
    {
        WatcherGuard picker { cancelFileDialog() };
        clickButton(host.button("loadiso"));
    }
    QTest::qWait(200);
    QCOMPARE(host.sortedRows().size(), 6);
    QCOMPARE(fileTree(Util::GetTempDir() + "/tmp"), fileTree(m_src));

    // A loaded image is not given up by Escape.
    QTest::keyClick(host.page, Qt::Key_Escape);
    QVERIFY(host.page->isVisible());

    auto *search = host.child<CLineEdit>("search");
    search->setText("iso");
    QCOMPARE(host.rowNames(), (QStringList { "ISOLINUX", "isolinux.cfg" }));
    // With a filter the rows are not the children's positions.
    host.open("ISOLINUX");
    QCOMPARE(host.rowNames(), QStringList());
    search->clear();
    QCOMPARE(host.rowNames(), QStringList { "boot.txt" });
    QCOMPARE(host.tree()->selectedItems().value(0)->text(0), QStringLiteral("ISOLINUX"));
}

void TestEditPage::editExportSave()
{
    // What the user keeps (exported files, the saved image) gets the user's own file-creation
    // mask, also after the program's start-up settings.
    FileMask mask(077);
    const QString appName = QCoreApplication::applicationName();
    Startup::PrepareProcess();
    QCoreApplication::setApplicationName(appName);
    const QString local = m_dir.path() + "/local";
    QVERIFY(writeFile(local + "/new.txt", content("new", 2500)));
    QVERIFY(writeFile(local + "/added dir/sub/inner.txt", content("inner", 900)));
    QVERIFY(writeFile(local + "/added dir/top.txt", content("top", 20)));
    const QString dest = m_dir.path() + "/export";
    QVERIFY(writeFile(dest + "/x.txt", "already here"));

    QMap<QString, QByteArray> expected = fileTree(m_src);
    const QString saved = m_dir.path() + "/out/saved.iso";
    QStringList edited;
    {
        Host host;
        load(host, m_image);

        // Add a file and a folder into docs.
        host.open("docs");
        {
            WatcherGuard picker { answerFileDialog(
                QStringList { local + "/new.txt", local + "/added dir" }) };
            clickButton(host.button("add"));
        }
        QCOMPARE(host.rowNames(), (QStringList { "a", "b.txt", "new.txt", "added dir" }));
        expected.insert("docs/new.txt", content("new", 2500));
        expected.insert("docs/added dir/", {});
        expected.insert("docs/added dir/sub/", {});
        expected.insert("docs/added dir/sub/inner.txt", content("inner", 900));
        expected.insert("docs/added dir/top.txt", content("top", 20));

        // Adding a name that is there already is refused and said.
        {
            QString said;
            WatcherGuard picker { answerFileDialog(local + "/new.txt") };
            WatcherGuard prompt { closeDialog<CommDialog>(
                QDialog::Accepted, [&](CommDialog *d) { said = labelText(d); }) };
            clickButton(host.button("add"));
            QVERIFY(waitUntil([&] { return !said.isEmpty(); }));
            QVERIFY2(said.contains("\"new.txt\""), qPrintable(said));
        }

        // Rename the folder a, then export a file inside it: the export reads the new path.
        host.tick({ "a" });
        {
            WatcherGuard input { closeDialog<CInputDialog>(
                QDialog::Accepted, [](CInputDialog *d) { d->SetInput("renamed a"); }) };
            clickButton(host.button("rename"));
        }
        QCOMPARE(host.rowNames(), (QStringList { "renamed a", "b.txt", "new.txt", "added dir" }));
        for (const QString &key : expected.keys()) {
            if (key.startsWith("docs/a/"))
                expected.insert("docs/renamed a/" + key.mid(7), expected.take(key));
        }
        expected.remove("docs/a/");
        expected.insert("docs/renamed a/", {});
        // The folder view follows the new name.
        QVERIFY(host.tree()->findItems("renamed a", Qt::MatchRecursive).size() == 1);
        host.open("renamed a");
        host.tick({ "x.txt", "deep" });
        {
            QString said;
            WatcherGuard picker { answerFileDialog(dest) };
            WatcherGuard prompt { closeDialog<CommDialog>(
                QDialog::Accepted, [&](CommDialog *d) { said = labelText(d); }, 30000) };
            clickButton(host.button("export_2"));
            QVERIFY(waitUntil([&] { return !said.isEmpty(); }));
            QVERIFY2(said.startsWith("Export Successfully !"), qPrintable(said));
            QVERIFY2(said.contains("\"x (2).txt\""), qPrintable(said));
        }
        // Nothing in the destination was replaced.
        QCOMPARE(fileTree(dest),
                 (QMap<QString, QByteArray> { { "x.txt", "already here" },
                                              { "x (2).txt", content("x", 5000) },
                                              { "deep/", {} },
                                              { "deep/y.bin", content("y", 70000) } }));
        QCOMPARE(openToOthers(dest), QStringList());

        // Delete a file and a folder at the top.
        host.openRoot();
        host.tick({ "readme.txt", "ISOLINUX" });
        clickButton(host.button("delete_2"));
        QCOMPARE(host.sortedRows(),
                 (QStringList { "Grüße -dash.txt", "docs", "empty", "isolinux.cfg" }));
        expected.remove("readme.txt");
        expected.remove("ISOLINUX/");
        expected.remove("ISOLINUX/boot.txt");

        // The saved image holds exactly the edited tree, byte for byte.
        QVERIFY(QDir().mkpath(m_dir.path() + "/out"));
        QCOMPARE(save(host, saved), QStringLiteral("Save ISO file successfully!"));
        QCOMPARE(openToOthers(m_dir.path() + "/out"), QStringList());
        QCOMPARE(imageContent(saved, m_dir.path() + "/check"), expected);
        edited = treePaths(host.page->m_Tree);
        QCOMPARE(edited, expected.keys());
    }

    // Loaded again, the saved image shows the same tree, and saving it again changes nothing.
    Host again;
    load(again, saved);
    QCOMPARE(treePaths(again.page->m_Tree), edited);
    const QString second = m_dir.path() + "/out/second.iso";
    QCOMPARE(save(again, second), QStringLiteral("Save ISO file successfully!"));
    QCOMPARE(imageContent(second, m_dir.path() + "/check"), expected);
}

void TestEditPage::unreadableImage_data()
{
    QTest::addColumn<bool>("cut"); // else a file that is no image
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rows");
    QTest::newRow("not an image") << false << "The file could not be read as an ISO image." << 0;
    QTest::newRow("cut short after its listing") << true << "The image is damaged" << 2;
}

// The load says what is wrong as Extract's does, and the page is usable again; an image cut
// short is shown, but not saved without its lost files (plain folders, no mount).
void TestEditPage::unreadableImage()
{
    QFETCH(bool, cut);
    QFETCH(QString, message);
    QFETCH(int, rows);
    const QString file = m_dir.path() + (cut ? "/cut.iso" : "/bogus.iso");
    for (int i = 1; cut && i <= 3; ++i)
        QVERIFY(
            writeFile(m_dir.path() + QString("/cutsrc/d/f%1.bin").arg(i), content("f", int(MiB))));
    QVERIFY(cut ? writeFile(m_dir.path() + "/cutsrc/a.txt", "a")
                    && makeImage(m_dir.path() + "/cutsrc", file)
                    && QFile::resize(file, QFileInfo(file).size() * 2 / 3)
                : writeFile(file, content("not an image", 5000)));
    Host host;
    QString said;
    {
        WatcherGuard prompt { closeDialog<CommDialog>(
            QDialog::Accepted, [&](CommDialog *d) { said = labelText(d); }, 30000) };
        WatcherGuard picker { answerFileDialog(file) };
        clickButton(host.button("loadiso"));
        QVERIFY(waitUntil([&] { return !said.isEmpty(); }));
    }
    QVERIFY2(said.startsWith(message), qPrintable(said));
    QVERIFY(waitUntil([&] { return host.button("back")->isEnabled(); }));
    QVERIFY(host.button("loadiso")->isEnabled());
    QCOMPARE(host.list()->rowCount(), rows);
    if (cut) {
        QVERIFY(waitUntil([&] { return !host.page->IsExtracting(); }));
        const QString refused = save(host, m_dir.path() + "/cut-saved.iso");
        QVERIFY2(refused.contains("could not be read completely"), qPrintable(refused));
    }
}

void TestEditPage::saveFailureKeepsTarget_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("said");
    QTest::newRow("read-only folder") << true << "cannot be written to";
    QTest::newRow("full folder") << false << "Save ISO failed (mkisofs exit code";
}

// A save that cannot be written leaves the file it would replace as it was, and says why.
void TestEditPage::saveFailureKeepsTarget()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, said);
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    // Content larger than the folder's room.
    const QString src = m_dir.path() + "/large";
    QVERIFY(writeFile(src + "/big.bin", content("big", 3 * int(MiB))));
    const QString image = m_dir.path() + "/large.iso";
    QVERIFY(makeImage(src, image));

    TmpfsMount folder(m_dir.path() + (readOnly ? "/ro" : "/full"), "size=1m");
    QVERIFY(folder.mounted);
    const QString target = folder.dir + "/target.iso";
    QVERIFY(writeFile(target, "the old image"));
    if (readOnly)
        QVERIFY(folder.makeReadOnly("size=1m"));

    Host host;
    load(host, image);
    const QString text = save(host, target);
    QVERIFY2(text.contains(said), qPrintable(text));
    QCOMPARE(readFile(target), QByteArray("the old image"));
    QCOMPARE(QDir(folder.dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList { "target.iso" });
}

// Stop while mkisofs writes: the target stays as it was, nothing is left beside it, and the
// page says so.
void TestEditPage::stopDuringSave()
{
    const QString src = m_dir.path() + "/stop";
    QVERIFY(writeFile(src + "/big.bin", content("big", 1)));
    QVERIFY(QFile::resize(src + "/big.bin", 96 * MiB));
    const QString image = m_dir.path() + "/stop.iso";
    QVERIFY(makeImage(src, image));
    const QString out = m_dir.path() + "/stopout";
    const QString target = out + "/stopped.iso";
    QVERIFY(writeFile(target, "the old image"));

    Host host;
    load(host, image);
    QString said;
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *d) { said = labelText(d); }, 30000) };
    {
        WatcherGuard picker { answerFileDialog(target) };
        clickButton(host.button("save"));
    }
    // The run has just started: hold it, press Stop, then let it go on.
    pid_t pid = 0;
    // (Only this test's mkisofs: the Create page's test writes a hidden file of the same name.)
    QVERIFY(waitUntil([&] { return (pid = processWith(out + "/.stopped.iso.")) != 0; }, 10000));
    ::kill(pid, SIGSTOP);
    CProgressDialog *progress = &host.page->m_ProgressDialog;
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->Text(), QStringLiteral("Saving ISO file..."));
    progress->OnBtnCancel();
    ::kill(pid, SIGCONT);
    QVERIFY(waitUntil([&] { return ::kill(pid, 0) != 0; }, 10000));
    QVERIFY(waitUntil([&] { return !said.isEmpty(); }));
    QVERIFY2(said.contains("stopped"), qPrintable(said));
    QVERIFY(waitUntil([&] {
        return QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            == QStringList { "stopped.iso" };
    }));
    QCOMPARE(readFile(target), QByteArray("the old image"));
    QVERIFY(!progress->isVisible());
}

// A file of 4 GiB or more stays whole: the save asks mkisofs for it ("-allow-limited-size").
void TestEditPage::largeFileKeptWhole()
{
    Host host;
    load(host, m_image);
    // As an image holding such a file lists and extracts it (sparse: no room taken).
    const QString huge = Util::GetTempDir() + "/tmp/huge.img";
    QVERIFY(writeFile(huge, "x"));
    QVERIFY(QFile::resize(huge, Q_INT64_C(4) << 30));
    Item item;
    item.m_Path = "huge.img";
    item.m_IsDir = false;
    item.m_Size = QString::number(Q_INT64_C(4) << 30);
    QVERIFY(host.page->m_Tree.AddItem(item));

    const QString target = m_dir.path() + "/out/huge.iso";
    QVERIFY(QDir().mkpath(m_dir.path() + "/out"));
    WatcherGuard prompt { closeDialog<CommDialog>(QDialog::Accepted, {}, 30000) };
    {
        WatcherGuard picker { answerFileDialog(target) };
        clickButton(host.button("save"));
    }
    QVERIFY(host.page->m_CreateThread);
    QVERIFY2(host.page->LastSaveArguments().contains("-allow-limited-size"),
             qPrintable(host.page->LastSaveArguments().join(' ')));
    host.page->m_ProgressDialog.OnBtnCancel();
    QVERIFY(waitUntil([&] {
        return QDir(m_dir.path() + "/out")
            .entryList(QStringList { ".huge.iso*" }, QDir::Hidden | QDir::Files)
            .isEmpty();
    }));
    QVERIFY(!QFile::exists(target));
}

// A second image loaded while the first is still being extracted: the first 7-Zip has ended
// before the working folder is emptied for the second, and a save holds the second image only
// (plain folders, no mount).
void TestEditPage::secondLoadWhileExtracting()
{
    const QString src = m_dir.path() + "/firstsrc";
    QVERIFY(writeFile(src + "/first-only.txt", "first"));
    QVERIFY(writeFile(src + "/zz/big.bin", "big"));
    QVERIFY(QFile::resize(src + "/zz/big.bin", 128 * MiB));
    const QString first = m_dir.path() + "/first.iso";
    QVERIFY(makeImage(src, first));
    // The second takes long enough to extract that its 7-Zip is seen running.
    const QString src2 = m_dir.path() + "/secondsrc";
    QVERIFY(writeFile(src2 + "/second-only.txt", "second"));
    QVERIFY(writeFile(src2 + "/big2.bin", "big"));
    QVERIFY(QFile::resize(src2 + "/big2.bin", 256 * MiB));
    const QString second = m_dir.path() + "/second.iso";
    QVERIFY(makeImage(src2, second));
    // The extraction of image into W (the listing names no W).
    const QString work = Util::GetTempDir() + "/tmp/";
    auto extraction = [&](const QString &image) {
        return processWith("-o" + work + QChar(0) + "--" + QChar(0) + image + QChar(0));
    };
    Host host;
    std::atomic<pid_t> firstPid { 0 }, secondPid { 0 };
    std::atomic<bool> firstAliveThen { false }, polling { true };
    // Watched from a thread of its own, so that a busy interface thread cannot miss the first
    // extraction.
    std::thread poll([&] {
        while (polling) {
            if (!firstPid && (firstPid = extraction(first)) != 0)
                ::kill(firstPid, SIGSTOP); // still writing W when the second load comes
            if (firstPid && !secondPid && (secondPid = extraction(second)) != 0)
                firstAliveThen = extraction(first) != 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto endPoll = [&] {
        polling = false;
        if (poll.joinable())
            poll.join();
    };
    const auto pollEnds = qScopeGuard(endPoll);
    {
        WatcherGuard picker { answerFileDialog(first) };
        clickButton(host.button("loadiso"));
        QVERIFY2(waitUntil([&] { return firstPid != 0 && host.button("loadiso")->isEnabled(); }),
                 qPrintable(QStringLiteral("first 7-Zip %1, Load ISO %2")
                                .arg(firstPid)
                                .arg(host.button("loadiso")->isEnabled())));
    }
    load(host, second);
    endPoll();
    if (extraction(first))
        ::kill(firstPid, SIGCONT);
    QVERIFY(secondPid != 0);
    QVERIFY(!firstAliveThen);
    QVERIFY(QDir().mkpath(m_dir.path() + "/out"));
    const QString saved = m_dir.path() + "/out/second.iso";
    QCOMPARE(save(host, saved), QStringLiteral("Save ISO file successfully!"));
    QCOMPARE(imageContent(saved, m_dir.path() + "/check"), fileTree(src2));
    QDir(m_dir.path() + "/check").removeRecursively();
}

// A save that waits only for changes that move no bytes never says "Copy files and
// directories..." (plain folders, no mount).
void TestEditPage::copyTextOnlyWhileBytesAreLeft()
{
    Host host;
    load(host, m_image);
    // The copier pauses after each task, so the save waits for the second one.
    CFileCopyHooks::SetTaskDoneHook([] { QThread::msleep(300); });
    host.tick({ "empty" });
    {
        WatcherGuard input { closeDialog<CInputDialog>(
            QDialog::Accepted, [](CInputDialog *d) { d->SetInput("still empty"); }) };
        clickButton(host.button("rename"));
    }
    host.tick({ "still empty" });
    clickButton(host.button("delete_2"));
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QString text = host.page->m_ProgressDialog.Text();
        if (host.page->m_ProgressDialog.isVisible() && !texts.contains(text))
            texts << text;
    });
    poll.start(5);
    QVERIFY(QDir().mkpath(m_dir.path() + "/out"));
    const QString said = save(host, m_dir.path() + "/out/nocopy.iso");
    CFileCopyHooks::SetTaskDoneHook(nullptr);
    QCOMPARE(said, QStringLiteral("Save ISO file successfully!"));
    QVERIFY2(!texts.contains("Copy files and directories..."), qPrintable(texts.join('|')));
    QVERIFY2(texts.contains("Saving ISO file..."), qPrintable(texts.join('|')));
}

QTEST_MAIN(TestEditPage)
#include "tst_editpage.moc"
