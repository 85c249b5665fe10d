// The Create page driven the way a user drives it: its pickers and prompts are answered on
// screen, the project is staged by the real copier, and the images come from the real mkisofs
// beside the executable and are checked with the real 7-Zip.

#include "app/mainwindow.h"
#include "model/ctree.h"
#include "pages/cpage3.h"
#include "services/filelinks.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <thread>

using namespace TestHelpers;
using Mkisofs::ImageType;

Q_DECLARE_METATYPE(ImageType)

namespace {

const qint64 MiB = Q_INT64_C(1) << 20;
const qint64 GiB = Q_INT64_C(1) << 30;

QString sevenZip()
{
    return Util::GetCurrentExePath() + QStringLiteral("/7z/7z");
}

struct Listing
{
    QString type;
    QStringList paths; // folders and files
    QMap<QString, qint64> sizes; // files only
};

// Reads "7z l -slt": the archive's type and each entry's path (and size for files).
Listing listImage(const QString &image)
{
    Listing listing;
    const QStringList lines = runCommand(sevenZip(), { "l", "-slt", image }).text().split('\n');
    bool entries = false;
    QString path;
    bool folder = false;
    qint64 size = 0;
    auto flush = [&] {
        if (!path.isEmpty()) {
            listing.paths << path;
            if (!folder)
                listing.sizes.insert(path, size);
        }
        path.clear();
        folder = false;
        size = 0;
    };
    for (QString line : lines) {
        line.remove('\r');
        if (line.startsWith(QLatin1String("----------"))) {
            entries = true;
            continue;
        }
        if (!entries) {
            if (line.startsWith(QLatin1String("Type = ")))
                listing.type = line.mid(7);
            continue;
        }
        if (line.startsWith(QLatin1String("Path = "))) {
            flush();
            path = line.mid(7);
        } else if (line.startsWith(QLatin1String("Folder = +"))) {
            folder = true;
        } else if (line.startsWith(QLatin1String("Size = "))) {
            size = line.mid(7).toLongLong();
        }
    }
    flush();
    listing.paths.sort();
    return listing;
}

// Whether the image has a Joliet supplementary volume descriptor.
bool hasJoliet(const QString &image)
{
    QFile f(image);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    for (int sector = 16; sector < 32; ++sector) {
        f.seek(qint64(sector) * 2048);
        const QByteArray vd = f.read(2048);
        if (vd.size() < 2048 || vd.mid(1, 5) != "CD001")
            return false;
        if (static_cast<unsigned char>(vd[0]) == 255)
            return false;
        const QByteArray escape = vd.mid(88, 3);
        if (vd[0] == 2 && (escape == "%/@" || escape == "%/C" || escape == "%/E"))
            return true;
    }
    return false;
}

QByteArray utf16be(const QString &text)
{
    QByteArray out;
    for (QChar c : text) {
        out += char(c.unicode() >> 8);
        out += char(c.unicode() & 0xff);
    }
    return out;
}

// The inode of the entry itself (a link is not followed); 0 when there is none.
ino_t entryId(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Makes each link of the staging take 10 ms while it lives.
struct SlowLinks
{
    SlowLinks()
    {
        FileLinks::SetLinkHook([] { QThread::msleep(10); });
    }
    ~SlowLinks() { FileLinks::SetLinkHook(nullptr); }
};

// Every project path with its item, in tree order.
void projectPaths(const Item &folder, QStringList &paths, QList<const Item *> &files)
{
    for (const Item *child : folder.m_Children) {
        paths << child->m_Path;
        if (child->m_IsDir)
            projectPaths(*child, paths, files);
        else
            files << child;
    }
}

QTreeWidgetItem *findNode(QTreeWidget *list, const QString &path)
{
    const QStringList parts = path.split('/');
    QTreeWidgetItem *node = nullptr;
    for (const QString &part : parts) {
        QTreeWidgetItem *next = nullptr;
        const int count = node ? node->childCount() : list->topLevelItemCount();
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem *c = node ? node->child(i) : list->topLevelItem(i);
            if (c->text(0) == part)
                next = c;
        }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

// The project path of every node, from the names in column 0.
void nodePaths(QTreeWidgetItem *node, const QString &prefix, QStringList &out)
{
    const QString path = prefix + node->text(0);
    out << path;
    for (int i = 0; i < node->childCount(); ++i)
        nodePaths(node->child(i), path + '/', out);
}

QStringList viewPaths(QTreeWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        nodePaths(list->topLevelItem(i), QString(), out);
    return out;
}

// The progress dialog on screen (every page has one of its own), or null.
CProgressDialog *visibleProgress()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *p = qobject_cast<CProgressDialog *>(w);
        if (p && p->isVisible())
            return p;
    }
    return nullptr;
}

// Watches for any file dialog and notes that one appeared (then rejects it).
struct PickerSpy
{
    bool seen = false;
    QPointer<ModalWatcher> watcher;
    explicit PickerSpy(int timeoutMs)
    {
        watcher = onDialog<QFileDialog>(
            [this](QFileDialog *fd) {
                seen = true;
                static_cast<QDialog *>(fd)->done(QDialog::Rejected);
            },
            timeoutMs);
    }
    ~PickerSpy()
    {
        if (watcher)
            delete watcher;
    }
};

// The arguments a run that writes image should have had: mkisofs writes a hidden file beside
// the image, which then takes its place.
QStringList expectedArguments(const QStringList &given, ImageType type, const QString &image,
                              bool large = false)
{
    const QString output = given.value(given.indexOf("-o") + 1);
    const QFileInfo info(image);
    if (!output.startsWith(info.absolutePath() + "/." + info.fileName() + "."))
        return { "wrong output", output };
    return Mkisofs::CreateArgs(type, output, Util::GetTempDir() + "/tmp", large);
}

} // namespace

class TestCreatePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void emptyProjectRefused();
    void buildProject();
    void createEachType_data();
    void createEachType();
    void failingRunLeavesNoImage();
    void fullDiskLeavesNoImage();
    void stopDuringRun();
    void stopWhileStaging();
    void largeFileRefusedForIso9660();
    void stagingFailureReported();
    void largeUdfImage();
    void typeOfFileWithoutExtension();
    void escapeNeverLosesAProject();
    void newPageAsksBeforeDroppingAProject();
    void closedPageStopsItsCopyBetweenFiles();
    void sourceChangedAfterAdd_data();
    void sourceChangedAfterAdd();
    void largeProjectNeedsNoRoomForStaging();
    void cleanupTestCase();

private:
    // Creates an image of the current project with the chosen type; returns the text of the
    // prompt that ended the run.
    QString createImage(CPage3 *page, ImageType type, const QString &image);
    void select(CPage3 *page, const QString &path);
    QTreeWidget *list(CPage3 *page) { return page->findChild<QTreeWidget *>("list"); }
    QString stageDir() const { return Util::GetTempDir() + "/tmp/"; }

    QTemporaryDir m_dir;
    QString m_src; // sources of the project
    QString m_out; // images
    std::unique_ptr<CPage3> m_page;
};

void TestCreatePage::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    m_src = m_dir.path() + "/src";
    m_out = m_dir.path() + "/out";
    QVERIFY(QDir().mkpath(m_out));
    QVERIFY2(QFileInfo(sevenZip()).isExecutable(), qPrintable(sevenZip()));

    QVERIFY(writeFile(m_src + "/a.txt", content("alpha", 3000)));
    QVERIFY(writeFile(m_src + "/b.txt", content("bravo", 5000)));
    QVERIFY(writeFile(m_src + "/c.txt", content("charlie", 700)));
    QVERIFY(writeFile(m_src + "/d.txt", content("delta", 1200)));
    const QString tree = m_src + "/My Docs";
    QVERIFY(writeFile(tree + "/Grüße aus Köln.txt", content("gruss", 4321)));
    QVERIFY(writeFile(tree + "/readme.txt", content("readme", 10)));
    QVERIFY(writeFile(tree + "/sub dir/naïve ünïcödé.bin", content("naive", 70000)));
    QVERIFY(writeFile(tree + "/sub dir/deeper/x y z.txt", content("xyz", 1)));
    QVERIFY(writeFile(tree + "/sub dir/deeper/remove me.txt", content("gone", 99)));
    QVERIFY(QDir().mkpath(tree + "/empty folder"));
    QVERIFY(writeFile(tree + "/.hidden", content("hidden", 50)));
    QVERIFY(writeFile(tree + "/.hidden dir/inside.txt", content("hidden2", 50)));
    // A link to a file is taken as the file; a link back up the tree is left out.
    QVERIFY(QFile::link(tree + "/readme.txt", tree + "/link.txt"));
    QVERIFY(QFile::link(tree, tree + "/sub dir/loop"));
}

void TestCreatePage::form()
{
    CPage3 page;
    QCOMPARE(page.objectName(), QStringLiteral("CPage3"));
    QCOMPARE(page.size(), QSize(664, 472));
    QTreeWidget *view = list(&page);
    QVERIFY(view);
    QCOMPARE(view->geometry(), QRect(11, 48, 643, 226));
    QCOMPARE(view->columnCount(), 5);
    QCOMPARE(view->headerItem()->text(2), QStringLiteral(" Size"));
    for (int c = 0; c < 5; ++c)
        QCOMPARE(view->columnWidth(c), 128);
    QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(view->contextMenuPolicy(), Qt::CustomContextMenu);

    auto *jolet = page.findChild<QRadioButton *>("jolet");
    auto *iso = page.findChild<QRadioButton *>("iso9600");
    auto *udf = page.findChild<QRadioButton *>("udf");
    QVERIFY(jolet && iso && udf);
    QCOMPARE(jolet->text(), QStringLiteral("ISO9660 Jolet"));
    QCOMPARE(jolet->pos(), QPoint(76, 298));
    QCOMPARE(udf->pos(), QPoint(292, 298));
    QVERIFY(jolet->isChecked() && !iso->isChecked() && !udf->isChecked());
    iso->click();
    QVERIFY(!jolet->isChecked() && iso->isChecked() && !udf->isChecked());

    for (const char *name : { "addfile", "adddir", "remove", "create", "back" })
        QVERIFY2(page.findChild<CImageButton *>(name), name);
    QCOMPARE(page.findChild<CImageButton *>("create")->pos(), QPoint(546, 417));
    auto *widget = page.findChild<QWidget *>("widget");
    QCOMPARE(widget->geometry(), QRect(11, 333, 643, 62));
    QCOMPARE(page.findChild<QLabel *>("totalsize")->text(), QStringLiteral("Total Size: 0KB"));
    auto *max = page.findChild<QLabel *>("label_2");
    QCOMPARE(max->text(), QStringLiteral("Max Size: 5.00 GB"));
    QCOMPARE(max->styleSheet(), QStringLiteral("border:none;"));
    QCOMPARE(max->geometry().right() + 1, widget->width() - 10);
    auto *bar = page.findChild<QProgressBar *>("progressBar");
    QCOMPARE(bar->geometry(), QRect(10, 26, 623, 27));
    QCOMPARE(bar->value(), 0);
    QVERIFY(!bar->isTextVisible());

    // The context menu of the list offers the three project operations.
    auto *menu = view->findChild<QMenu *>();
    QVERIFY(menu);
    QStringList entries;
    for (QAction *a : menu->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(entries, (QStringList { "Add Files(&F)", "Add Dirs(&D)", "-", "Remove(&R)" }));
    bool picker = false;
    WatcherGuard guard { onDialog<QFileDialog>([&](QFileDialog *fd) {
        picker = fd->windowTitle() == QLatin1String("Open Files");
        static_cast<QDialog *>(fd)->done(QDialog::Rejected);
    }) };
    menu->actions().first()->trigger();
    QVERIFY(picker);
}

void TestCreatePage::emptyProjectRefused()
{
    CPage3 page;
    PickerSpy spy(3000);
    QString shown;
    WatcherGuard prompt { closeDialog<CommDialog>(QDialog::Accepted,
                                                  [&](CommDialog *d) { shown = labelText(d); }) };
    page.OnCreate();
    QCOMPARE(shown, QStringLiteral("Please add files or directorys first!"));
    QTest::qWait(100);
    QVERIFY(!spy.seen);
    QVERIFY(!visibleProgress());
}

void TestCreatePage::select(CPage3 *page, const QString &path)
{
    QTreeWidget *view = list(page);
    view->clearSelection();
    if (path.isEmpty())
        return;
    QTreeWidgetItem *node = findNode(view, path);
    QVERIFY2(node, qPrintable(path));
    node->setSelected(true);
}

void TestCreatePage::buildProject()
{
    m_page.reset(new CPage3);
    CPage3 *page = m_page.get();
    QTreeWidget *view = list(page);
    const QString stage = stageDir();

    // Two files at the top.
    answerFileDialog(QStringList { m_src + "/a.txt", m_src + "/b.txt" });
    page->OnAddFile();
    QCOMPARE(view->topLevelItemCount(), 2);
    QCOMPARE(view->topLevelItem(0)->text(0), QStringLiteral("a.txt"));
    QCOMPARE(view->topLevelItem(1)->text(0), QStringLiteral("b.txt"));
    QVERIFY(waitUntil([&] { return readFile(stage + "a.txt") == content("alpha", 3000); }));
    // Staged as a link to the file, not as a copy.
    QVERIFY(QFileInfo(stage + "a.txt").isSymLink());

    // A folder with nested content; hidden entries stay out.
    answerFileDialog(m_src + "/My Docs");
    page->OnAddDir();
    QCOMPARE(view->topLevelItemCount(), 3);
    QTreeWidgetItem *docs = findNode(view, "My Docs");
    QVERIFY(docs);
    QCOMPARE(docs->text(3), QStringLiteral("Folder"));
    QStringList children;
    for (int i = 0; i < docs->childCount(); ++i)
        children << docs->child(i)->text(0);
    QCOMPARE(children,
             (QStringList { "empty folder", "Grüße aus Köln.txt", "link.txt", "readme.txt",
                            "sub dir" })); // by name, ignoring case
    QVERIFY(!page->Tree().GetItem("My Docs/sub dir/loop"));
    QVERIFY(!page->Tree().GetItem("My Docs/.hidden"));
    QVERIFY(!page->Tree().GetItem("My Docs/.hidden dir"));
    const Item *nested = page->Tree().GetItem("My Docs/sub dir/naïve ünïcödé.bin");
    QVERIFY(nested);
    QCOMPARE(nested->m_Size, QStringLiteral("70000"));
    QCOMPARE(nested->m_SrcPath, m_src + "/My Docs/sub dir/naïve ünïcödé.bin");
    QTreeWidgetItem *nestedNode = findNode(view, "My Docs/sub dir/naïve ünïcödé.bin");
    QVERIFY(nestedNode);
    QCOMPARE(nestedNode->text(1), QStringLiteral("My Docs/sub dir"));
    QCOMPARE(nestedNode->text(2), Util::SizeToString(70000));
    QCOMPARE(nestedNode->text(4), nested->m_Time);

    // A selected folder takes the file itself.
    select(page, "My Docs/sub dir");
    answerFileDialog(m_src + "/c.txt");
    page->OnAddFile();
    QVERIFY(page->Tree().GetItem("My Docs/sub dir/c.txt"));
    QVERIFY(findNode(view, "My Docs/sub dir/c.txt"));
    QVERIFY(waitUntil([&] { return QFile::exists(stage + "My Docs/sub dir/c.txt"); }));

    // A selected file: the file goes into the folder that holds it.
    select(page, "My Docs/readme.txt");
    answerFileDialog(m_src + "/d.txt");
    page->OnAddFile();
    QVERIFY(page->Tree().GetItem("My Docs/d.txt"));
    QVERIFY(findNode(view, "My Docs/d.txt"));
    QVERIFY(!page->Tree().GetItem("My Docs/readme.txt/d.txt"));
    QVERIFY(waitUntil([&] { return QFile::exists(stage + "My Docs/d.txt"); }));

    // The same file again: one node, and no second staging (which would make the link anew).
    select(page, QString());
    const ino_t staged = entryId(stage + "a.txt");
    answerFileDialog(m_src + "/a.txt");
    page->OnAddFile();
    QCOMPARE(view->topLevelItemCount(), 3);
    QTest::qWait(500);
    QCOMPARE(entryId(stage + "a.txt"), staged);

    // Removing a top-level file and a file of the scanned folder.
    select(page, "b.txt");
    page->OnRemove();
    select(page, "My Docs/sub dir/deeper/remove me.txt");
    page->OnRemove();
    QVERIFY(!page->Tree().GetItem("b.txt"));
    QVERIFY(!findNode(view, "b.txt"));
    QVERIFY(!page->Tree().GetItem("My Docs/sub dir/deeper/remove me.txt"));
    QVERIFY(waitUntil([&] {
        return !QFile::exists(stage + "b.txt")
            && !QFile::exists(stage + "My Docs/sub dir/deeper/remove me.txt")
            && QFile::exists(stage + "My Docs/sub dir/deeper/x y z.txt");
    }));

    // A press below the last node gives the selection up, so that adds go to the top again.
    select(page, "a.txt");
    page->show();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(20, view->viewport()->height() - 5));
    QVERIFY(view->selectedItems().isEmpty());
    page->hide();

    // The view and the tree hold the same paths.
    QStringList paths;
    QList<const Item *> files;
    projectPaths(page->Tree().m_Root, paths, files);
    QStringList shown = viewPaths(view);
    paths.sort();
    shown.sort();
    QCOMPARE(shown, paths);

    // Size label and gauge.
    const qint64 total = 3000 + 700 + 1200 + 4321 + 10 + 10 + 70000 + 1;
    QCOMPARE(page->findChild<QLabel *>("totalsize")->text(),
             "Total Size: " + Util::SizeToString(total));
    QCOMPARE(page->findChild<QProgressBar *>("progressBar")->value(), 0);
}

QString TestCreatePage::createImage(CPage3 *page, ImageType type, const QString &image)
{
    const char *name = type == ImageType::Joliet ? "jolet"
        : type == ImageType::Iso9660             ? "iso9600"
                                                 : "udf";
    page->findChild<QRadioButton *>(name)->setChecked(true);
    QString shown;
    answerFileDialog(image);
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *d) { shown = labelText(d); }, 60000) };
    QTimer::singleShot(0, page, &CPage3::OnCreate);
    waitUntil([&] { return !shown.isEmpty(); }, 60000);
    return shown;
}

void TestCreatePage::createEachType_data()
{
    QTest::addColumn<ImageType>("type");
    QTest::addColumn<QString>("sevenZipType");
    QTest::newRow("ISO9660 Jolet") << ImageType::Joliet << "Iso";
    QTest::newRow("ISO9660") << ImageType::Iso9660 << "Iso";
    QTest::newRow("UDF ISO") << ImageType::Udf << "Udf";
}

void TestCreatePage::createEachType()
{
    QFETCH(ImageType, type);
    QFETCH(QString, sevenZipType);
    if (!m_page)
        QSKIP("no project");
    const QString image = m_out + "/" + QTest::currentDataTag() + ".iso";
    QCOMPARE(createImage(m_page.get(), type, image), QStringLiteral("Create ISO successfully!"));
    QVERIFY(QFileInfo(image).size() > 0);
    QCOMPARE(m_page->LastArguments(), expectedArguments(m_page->LastArguments(), type, image));
    QVERIFY(!visibleProgress());

    // The listing holds exactly the project's paths.
    QStringList paths;
    QList<const Item *> files;
    projectPaths(m_page->Tree().m_Root, paths, files);
    paths.sort();
    const Listing listing = listImage(image);
    QCOMPARE(listing.type, sevenZipType);
    QCOMPARE(listing.paths, paths);

    // The extracted bytes equal the sources; the source folder's own link to a file (link.txt)
    // is that file in the image, as a copy of the folder gave it.
    const QString x = m_out + "/x-" + QTest::currentDataTag();
    QVERIFY(runCommand(sevenZip(), { "x", "-y", "-o" + x, image }).ok());
    for (const Item *file : files) {
        QCOMPARE(listing.sizes.value(file->m_Path), QFileInfo(file->m_SrcPath).size());
        QVERIFY2(readFile(x + "/" + file->m_Path) == readFile(file->m_SrcPath),
                 qPrintable(file->m_Path));
    }
    QVERIFY(QFileInfo(x + "/My Docs/empty folder").isDir());

    const QByteArray bytes = readFile(image);
    if (type == ImageType::Joliet) {
        QVERIFY(hasJoliet(image));
        QVERIFY(bytes.contains(utf16be("Grüße aus Köln.txt")));
        QVERIFY(bytes.contains(utf16be("naïve ünïcödé.bin")));
    } else if (type == ImageType::Iso9660) {
        QVERIFY(!hasJoliet(image));
    }
    // Rock Ridge names are in every type, in UTF-8.
    QVERIFY(bytes.contains(QString("Grüße aus Köln.txt").toUtf8()));
}

void TestCreatePage::failingRunLeavesNoImage()
{
    if (!m_page)
        QSKIP("no project");
    // A folder where the image file should go: mkisofs cannot open it for writing.
    const QString image = m_out + "/taken.iso";
    QVERIFY(QDir().mkpath(image));
    const QString shown = createImage(m_page.get(), ImageType::Joliet, image);
    QVERIFY2(shown.startsWith("Create ISO failed"), qPrintable(shown));
    QVERIFY2(shown.contains(image), qPrintable(shown));
    QVERIFY(QFileInfo(image).isDir()); // left as it was
    QVERIFY(QDir(m_out).entryList({ ".taken.iso*" }, QDir::Hidden | QDir::AllEntries).isEmpty());
    QVERIFY(QDir(image).isEmpty());
    QVERIFY(!visibleProgress());
}

void TestCreatePage::fullDiskLeavesNoImage()
{
    if (!m_page)
        QSKIP("no project");
    // A small file system of its own gives a real "disk full"; it needs root and tmpfs.
    const TmpfsMount small(m_out + "/small-disk", "size=64k");
    if (!small.mounted)
        QSKIP("cannot mount a small tmpfs here");
    const QString image = small.dir + "/full.iso";
    const QString shown = createImage(m_page.get(), ImageType::Udf, image);
    const bool left = QFile::exists(image);
    QVERIFY2(shown.startsWith("Create ISO failed"), qPrintable(shown));
    QVERIFY2(shown.contains("No space left on device"), qPrintable(shown));
    QVERIFY(!left);
}

void TestCreatePage::stopDuringRun()
{
    CPage3 page;
    // Enough bytes that the run is still writing when it is held.
    const QString big = m_dir.path() + "/stop/big.bin";
    QVERIFY(writeFile(big, content("big", 1)));
    QVERIFY(QFile::resize(big, 256 * MiB));
    answerFileDialog(big);
    page.OnAddFile();

    const QString image = m_out + "/stopped.iso";
    bool anyPrompt = false;
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *) { anyPrompt = true; }, 30000) };
    answerFileDialog(image);
    QTimer::singleShot(0, &page, &CPage3::OnCreate);

    // Hold mkisofs once it has written part of the image, press Stop, then let it go on: the
    // termination request is waiting for it. The tool runs in short slices until then, so that
    // it cannot finish unseen.
    pid_t pid = 0;
    // mkisofs writes a hidden file beside the image.
    const QString written = m_out + "/.stopped.iso.";
    QVERIFY(waitUntil([&] { return (pid = processWith(written)) != 0; }, 60000));
    const QString output = page.LastArguments().value(page.LastArguments().indexOf("-o") + 1);
    QVERIFY2(output.startsWith(written), qPrintable(output));
    bool held = false;
    for (int slice = 0; slice < 100000 && !held; ++slice) {
        if (::kill(pid, SIGSTOP) != 0)
            break;
        QThread::usleep(200); // the stop takes effect
        if (QFileInfo(output).size() > 2 * MiB)
            held = true;
        else {
            ::kill(pid, SIGCONT);
            QThread::usleep(300);
        }
    }
    QVERIFY(held);
    // Let it go on from another thread, in case Stop waits for the tool.
    struct Resume
    {
        std::thread thread;
        ~Resume() { thread.join(); }
    } resume { std::thread([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::kill(pid, SIGCONT);
    }) };
    CProgressDialog *progress = visibleProgress();
    QVERIFY(progress && progress->isVisible());
    QCOMPARE(progress->Text(), QStringLiteral("Creating ISO file..."));
    QVERIFY(QFileInfo(output).size() < 256 * MiB);
    progress->OnBtnCancel();
    QVERIFY(waitUntil([&] { return ::kill(pid, 0) != 0; }, 10000));
    QVERIFY(waitUntil([&] { return !QFile::exists(output); }, 5000));
    QTest::qWait(300);
    QVERIFY(!QFile::exists(output));
    QVERIFY(!QFile::exists(image));
    QVERIFY(!progress->isVisible());
    QVERIFY(!anyPrompt); // no success and no error after Stop
}

void TestCreatePage::stopWhileStaging()
{
    CPage3 page;
    // A folder whose staging is still running when Create is pressed.
    const QString folder = m_dir.path() + "/staging";
    for (int i = 0; i < 300; ++i)
        QVERIFY(writeFile(folder + QStringLiteral("/f%1.txt").arg(i), content("slow", 100)));
    SlowLinks slow;
    answerFileDialog(folder);
    page.OnAddDir();

    const QString image = m_out + "/never.iso";
    bool anyPrompt = false;
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *) { anyPrompt = true; }, 10000) };
    bool stopped = false;
    QString waitText;
    WatcherGuard stopper { onModal(
        [&](QWidget *w) {
            auto *p = qobject_cast<CProgressDialog *>(w);
            if (!p || !p->isVisible())
                return false;
            waitText = p->Text();
            p->OnBtnCancel();
            stopped = true;
            return true;
        },
        10000) };
    answerFileDialog(image);
    page.OnCreate(); // returns once the wait has ended
    QVERIFY(stopped);
    QCOMPARE(waitText, QStringLiteral("Copy files and directories..."));
    QTest::qWait(1500);
    QVERIFY(!QFile::exists(image));
    QVERIFY(page.LastArguments().isEmpty()); // mkisofs never ran
    QVERIFY(!anyPrompt);
}

void TestCreatePage::largeFileRefusedForIso9660()
{
    CPage3 page;
    // The size noted when the file was added counts; it is set to 5 GB here after a small copy,
    // so that no 5 GB copy is ever made.
    const QString grow = m_dir.path() + "/large/grow.bin";
    QVERIFY(writeFile(grow, content("grow", 100)));
    answerFileDialog(grow);
    page.OnAddFile();
    QVERIFY(waitUntil([&] { return QFileInfo(stageDir() + "grow.bin").size() == 100; }));
    const_cast<CTree &>(page.Tree()).GetItem("grow.bin")->m_Size = QString::number(5 * GiB);
    auto *udf = page.findChild<QRadioButton *>("udf");

    // ISO9660 and Jolet: our question comes before any picker; Cancel stops everything.
    for (const char *type : { "iso9600", "jolet" }) {
        page.findChild<QRadioButton *>(type)->setChecked(true);
        PickerSpy spy(2000);
        QString asked;
        WatcherGuard question { closeDialog<CommDialog>(
            QDialog::Rejected, [&](CommDialog *d) { asked = labelText(d); }) };
        page.OnCreate();
        QVERIFY2(asked.contains("grow.bin") && asked.contains("UDF"), qPrintable(asked));
        QTest::qWait(100);
        QVERIFY(!spy.seen);
        QVERIFY(!udf->isChecked());
        QVERIFY(page.LastArguments().isEmpty());
        QVERIFY(!visibleProgress());
    }

    // OK switches to UDF and goes on to the picker (cancelled here).
    page.findChild<QRadioButton *>("iso9600")->setChecked(true);
    closeDialog<CommDialog>(QDialog::Accepted);
    bool picker = false;
    WatcherGuard pickerGuard { onDialog<QFileDialog>([&](QFileDialog *fd) {
        picker = true;
        static_cast<QDialog *>(fd)->done(QDialog::Rejected);
    }) };
    page.OnCreate();
    QVERIFY(picker);
    QVERIFY(udf->isChecked());
    QVERIFY(page.LastArguments().isEmpty());

    // UDF asks nothing and passes the switch for large files. The image is made from the file
    // itself, which is made that large now (sparse); the run is stopped once it has started.
    QVERIFY(QFile::resize(grow, 5 * GiB));
    const QString image = m_out + "/large.iso";
    answerFileDialog(image);
    QTimer::singleShot(0, &page, &CPage3::OnCreate);
    QVERIFY(waitUntil([&] { return !page.LastArguments().isEmpty(); }, 10000));
    QCOMPARE(page.LastArguments(),
             expectedArguments(page.LastArguments(), ImageType::Udf, image, true));
    QVERIFY(page.LastArguments().contains("-allow-limited-size"));
    QVERIFY(visibleProgress());
    visibleProgress()->OnBtnCancel();
    QVERIFY(waitUntil([&] { return !visibleProgress(); }));

    // A source that grew after it was added is seen when staging is checked: asked then.
    const_cast<CTree &>(page.Tree()).GetItem("grow.bin")->m_Size = "100";
    page.findChild<QRadioButton *>("jolet")->setChecked(true);
    const QString refused = m_out + "/refused.iso";
    answerFileDialog(refused);
    QString asked;
    WatcherGuard late { closeDialog<CommDialog>(
        QDialog::Rejected, [&](CommDialog *d) { asked = labelText(d); }, 10000) };
    QTimer::singleShot(0, &page, &CPage3::OnCreate);
    QVERIFY(waitUntil([&] { return !asked.isEmpty(); }, 10000));
    QVERIFY2(asked.contains("grow.bin") && asked.contains("UDF"), qPrintable(asked));
    QTest::qWait(100);
    QVERIFY(!udf->isChecked());
    QVERIFY(!QFile::exists(refused));
    QVERIFY(!visibleProgress());
    QVERIFY(QFile::resize(grow, 100));
}

void TestCreatePage::stagingFailureReported()
{
    CPage3 page;
    // The copier is busy with a large file while a second source disappears before its turn.
    const QString big = m_dir.path() + "/fail/first.bin";
    QVERIFY(writeFile(big, content("first", 1)));
    QVERIFY(QFile::resize(big, 100 * MiB));
    const QString lost = m_dir.path() + "/fail/lost.txt";
    QVERIFY(writeFile(lost, content("lost", 10)));
    answerFileDialog(QStringList { big, lost });
    page.OnAddFile();
    QVERIFY(QFile::remove(lost));

    const QString image = m_out + "/incomplete.iso";
    QString shown;
    answerFileDialog(image);
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *d) { shown = labelText(d); }, 60000) };
    page.OnCreate();
    QVERIFY(waitUntil([&] { return !shown.isEmpty(); }, 60000));
    QVERIFY2(shown.contains("lost.txt"), qPrintable(shown));
    QVERIFY2(!shown.contains("first.bin"), qPrintable(shown));
    QVERIFY(!QFile::exists(image));
    QVERIFY(page.LastArguments().isEmpty());
    QVERIFY(!visibleProgress());
}

// Writes a real image with a 5 GiB file; needs about 10 GB of disk, so it only runs on request.
void TestCreatePage::largeUdfImage()
{
    if (qEnvironmentVariableIntValue("VEXLOR_LARGE_TESTS") != 1)
        QSKIP("set VEXLOR_LARGE_TESTS=1 to write a UDF image holding a 5 GiB file");
    CPage3 page;
    const QString big = m_dir.path() + "/huge/five.bin";
    QVERIFY(writeFile(big, content("five", 4096)));
    QVERIFY(QFile::resize(big, 5 * GiB));
    answerFileDialog(big);
    page.OnAddFile();
    const QString image = m_out + "/five.iso";
    QCOMPARE(createImage(&page, ImageType::Udf, image), QStringLiteral("Create ISO successfully!"));
    const Listing listing = listImage(image);
    QCOMPARE(listing.type, QStringLiteral("Udf"));
    QCOMPARE(listing.sizes.value("five.bin"), 5 * GiB);
    QFile::remove(image);
}

void TestCreatePage::typeOfFileWithoutExtension()
{
    CPage3 page;
    QVERIFY(writeFile(m_dir.path() + "/plain/README", "read me\n"));
    answerFileDialog(m_dir.path() + "/plain/README");
    page.OnAddFile();
    QVERIFY(!findNode(list(&page), "README")->text(3).isEmpty());
}

void TestCreatePage::escapeNeverLosesAProject()
{
    CPage3 page;
    page.show();
    QTest::keyClick(list(&page), Qt::Key_Escape); // nothing to lose: Escape is Back
    QVERIFY(!page.isVisible());
    page.show();
    answerFileDialog(m_src + "/a.txt");
    page.OnAddFile();
    QTest::keyClick(list(&page), Qt::Key_Escape);
    QVERIFY(page.isVisible());
}

// A closed page that holds a project goes only when the user agrees; Cancel brings it back.
void TestCreatePage::newPageAsksBeforeDroppingAProject()
{
    MainWindow home;
    home.show();
    auto pages = [&home] {
        return home.findChildren<CPage3 *>(QString(), Qt::FindDirectChildrenOnly);
    };
    QMetaObject::invokeMethod(&home, "onCreate");
    QCOMPARE(pages().size(), 1);
    QPointer<CPage3> first = pages().first();
    answerFileDialog(m_src + "/a.txt");
    first->OnAddFile();
    first->close();

    QString asked;
    WatcherGuard cancel { closeDialog<CommDialog>(QDialog::Rejected,
                                                  [&](CommDialog *d) { asked = labelText(d); }) };
    QMetaObject::invokeMethod(&home, "onCreate");
    QVERIFY(asked.contains("project"));
    QVERIFY(first && first->isVisible());
    QCOMPARE(pages().size(), 1);

    first->close();
    WatcherGuard agree { closeDialog<CommDialog>(QDialog::Accepted) };
    QMetaObject::invokeMethod(&home, "onCreate");
    QVERIFY(!first);
    QCOMPARE(pages().size(), 1);
    QVERIFY(pages().first()->Tree().m_Root.m_Children.isEmpty());
}

void TestCreatePage::closedPageStopsItsCopyBetweenFiles()
{
    const QString folder = m_dir.path() + "/many";
    for (int i = 0; i < 300; ++i)
        QVERIFY(writeFile(folder + QStringLiteral("/f%1.bin").arg(i, 3, 10, QLatin1Char('0')),
                          content("f", 4096)));
    // Each link takes 10 ms: the folder, one task, takes three seconds.
    SlowLinks slow;
    auto page = std::make_unique<CPage3>();
    answerFileDialog(folder);
    page->OnAddDir();
    QVERIFY(waitUntil([&] { return QFile::exists(stageDir() + "many/f000.bin"); }));
    QElapsedTimer clock;
    clock.start();
    page.reset();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(QDir(stageDir() + "many").entryList(QDir::Files).size() < 300);
}

// A file added from disk is read when the image is written: one that is gone or has another
// size by then is named, and no image is written.
void TestCreatePage::sourceChangedAfterAdd_data()
{
    QTest::addColumn<int>("change"); // 0 removed, else the new size
    QTest::addColumn<QString>("message");
    const QString removed = "The ISO file was not created: these items could not be copied";
    const QString changed = "The ISO file was not created: these files changed since they";
    QTest::newRow("removed") << 0 << removed;
    QTest::newRow("shorter") << 10 << changed;
    QTest::newRow("longer") << 5000 << changed;
}

void TestCreatePage::sourceChangedAfterAdd()
{
    QFETCH(int, change);
    QFETCH(QString, message);
    const QString folder = m_dir.path() + "/changes/" + QTest::currentDataTag();
    QVERIFY(writeFile(folder + "/keep.txt", content("keep", 100)));
    QVERIFY(writeFile(folder + "/inner/victim.txt", content("victim", 1000)));
    CPage3 page;
    answerFileDialog(folder);
    page.OnAddDir();
    const QString staged = stageDir() + QTest::currentDataTag() + "/inner/victim.txt";
    QVERIFY(waitUntil([&] { return QFileInfo(staged).isFile(); }));
    if (change == 0)
        QVERIFY(QFile::remove(folder + "/inner/victim.txt"));
    else
        QVERIFY(writeFile(folder + "/inner/victim.txt", content("victim", change)));

    const QString image = m_out + "/changed.iso";
    QString shown;
    answerFileDialog(image);
    WatcherGuard prompt { closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *d) { shown = labelText(d); }, 30000) };
    page.OnCreate();
    QVERIFY(waitUntil([&] { return !shown.isEmpty(); }, 30000));
    QVERIFY2(shown.startsWith(message), qPrintable(shown));
    QVERIFY2(shown.contains(QString(QTest::currentDataTag()) + "/inner/victim.txt"),
             qPrintable(shown));
    QVERIFY2(!shown.contains("keep.txt"), qPrintable(shown));
    QVERIFY(page.LastArguments().isEmpty());
    QVERIFY(!QFile::exists(image));
}

// The project is staged without a copy of its files: a 1 GiB project is written on a file system
// that holds the working folder and the image and has only 10 MiB to spare beyond the image.
// Needs root (a small tmpfs is mounted over the program's temporary folder).
void TestCreatePage::largeProjectNeedsNoRoomForStaging()
{
    m_page.reset(); // it gives the working folder up
    const QString big = m_dir.path() + "/room/big.bin";
    QVERIFY(writeFile(big, content("big", 4096)));
    QVERIFY(QFile::resize(big, GiB)); // sparse: no room taken where it lies
    // The image: the file, rounded up to whole sectors, and the image's own structures.
    const qint64 imageSize = GiB + 512 * 1024;
    const QString temp = Util::GetTempDir();
    const TmpfsMount mount(
        temp, QStringLiteral("size=%1k,mode=0700").arg((imageSize + 10 * MiB) / 1024).toLatin1());
    if (!mount.mounted)
        QSKIP("cannot mount a small tmpfs here");
    QString shown;
    {
        CPage3 page;
        answerFileDialog(big);
        page.OnAddFile();
        shown = createImage(&page, ImageType::Joliet, temp + "/big.iso");
    }
    QCOMPARE(shown, QStringLiteral("Create ISO successfully!"));
    QVERIFY(QFileInfo(temp + "/big.iso").size() <= imageSize);
    QCOMPARE(listImage(temp + "/big.iso").sizes.value("big.bin"), GiB);
}

void TestCreatePage::cleanupTestCase()
{
    m_page.reset();
    QDir(stageDir()).removeRecursively();
    QDir(FileLinks::AnchorFolder()).removeRecursively();
}

QTEST_MAIN(TestCreatePage)
#include "tst_createpage.moc"
