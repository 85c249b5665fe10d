// Drives the real Copy-disc page against drives the disk tools' test seam provides, on the FUSE
// route (this machine's kernel has no iso9660): a loop device holding a bootable ISO image built
// here, mounted with fuseiso so that "mount" lists it under its device, whose sectors the page
// copies exactly; and a loop device that starts 64 KiB into the same image, so that it holds no
// volume the page can read, standing for a drive whose device cannot be read: its disc (the
// image file mounted with fuseiso under that device's name) is rebuilt from its files. The page
// copies, ejects, and refuses what cannot work. Skipped where loop devices or FUSE are missing.

#include "app/mainwindow.h"
#include "boothelpers.h"
#include "pages/cpage5.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

const char *const DriveSeam = "VEXLOR_TEST_OPTICAL_DRIVES";

// A FUSE mount on dir that goes with the guard, whatever happens to the test.
struct FuseMount
{
    FuseMount(const QString &program, const QStringList &args, const QString &folder,
              const QStringList &options = {})
        : dir(folder)
    {
        QDir().mkpath(dir);
        mounted = runCommand(program, QStringList(args) << dir << options).ok();
    }
    ~FuseMount()
    {
        if (mounted)
            runCommand("fusermount", { "-u", dir });
    }
    QString dir;
    bool mounted = false;
};

// The files of a folder, or those 7-Zip extracts of an image, without the boot files.
QMap<QString, QByteArray> withoutBoot(QMap<QString, QByteArray> files)
{
    for (auto it = files.begin(); it != files.end();)
        it = it.key().startsWith("boot") ? files.erase(it) : std::next(it);
    return files;
}

} // namespace

class TestCopyDiscPage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_Tmp;
    QString m_Source;
    QString m_Iso;
    bool m_Bootable = false;
    QString m_Mnt; // the mount of the readable drive's disc
    QString m_RebuiltMnt; // the mount of the unreadable drive's disc
    QScopedPointer<LoopDevice> m_Loop; // the drive whose sectors are read
    QScopedPointer<LoopDevice> m_Unreadable; // the drive whose disc is rebuilt from its files
    QScopedPointer<FuseMount> m_Disc;
    QScopedPointer<FuseMount> m_RebuiltDisc;
    CPage5 *m_Page = nullptr;
    QComboBox *m_List = nullptr;
    QString m_OpenPath; // the folder the last prompt offered to open

    bool mountDisc()
    {
        m_Disc.reset(new FuseMount("fuseiso", { "-p", m_Loop->node }, m_Mnt,
                                   { "-o", "fsname=" + m_Loop->node }));
        return m_Disc->mounted;
    }
    bool mountRebuiltDisc()
    {
        m_RebuiltDisc.reset(new FuseMount("fuseiso", { "-p", m_Iso }, m_RebuiltMnt,
                                          { "-o", "fsname=" + m_Unreadable->node }));
        return m_RebuiltDisc->mounted;
    }
    QString device(bool exact) const { return exact ? m_Loop->node : m_Unreadable->node; }
    int driveRow(bool exact = true) const { return m_List ? m_List->findData(device(exact)) : -1; }
    // Opens a page and waits until its list shows both test drives; false when it never does.
    // From the home window when given, as a user opens it: the page follows its drive changes.
    bool openPage(MainWindow *home = nullptr)
    {
        if (home)
            home->onCopy();
        m_Page = home ? home->findChild<CPage5 *>() : new CPage5;
        m_Page->show();
        m_List = m_Page->findChild<QComboBox *>("dvdlist");
        return m_List
            && waitUntil([this] { return driveRow(true) >= 0 && driveRow(false) >= 0; }, 20000);
    }
    // Chooses the target with the picker (then cancels a second choice when asked to), presses
    // Start and returns the message shown.
    QString copyTo(const QString &target, bool cancelSecondChoice = false)
    {
        for (int choice = 0; choice < (cancelSecondChoice ? 2 : 1); ++choice) {
            auto picker = choice == 0 ? answerFileDialog(target) : cancelFileDialog();
            clickButton(m_Page->findChild<QWidget *>("browser"));
            waitUntil([&] { return picker.isNull() || picker->done(); }, 20000);
        }
        QString message;
        auto prompt = closeDialog<CommDialog>(QDialog::Accepted, [&](CommDialog *d) {
            message = d->findChild<QLabel *>("label")->text();
            m_OpenPath = d->OpenPath();
        });
        clickButton(m_Page->findChild<QWidget *>("start"));
        waitUntil([&] { return prompt.isNull() || prompt->done(); }, 60000);
        return message;
    }
    // What the copy left beside the target besides the target itself.
    static QStringList hiddenFiles(const QString &folder)
    {
        return QDir(folder).entryList({ ".*.iso.*" }, QDir::Files | QDir::Hidden);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Tmp.isValid());
        m_Source = m_Tmp.path() + "/disc";
        QVERIFY(writeFile(m_Source + "/Folder A/Sub Folder/deep/notes.txt", "deep down\n"));
        QVERIFY(
            writeFile(m_Source + QString::fromUtf8("/Ünïcødé/naïve café.txt"), "caf\xc3\xa9\n"));
        QVERIFY(writeFile(m_Source + "/with blank.txt", "blank\n"));
        QVERIFY(QDir().mkpath(m_Source + "/empty folder"));
        QVERIFY(writeFile(m_Source + "/data/random.bin", noise(3 * 1024 * 1024 + 123, 20261208)));
        m_Iso = m_Tmp.path() + "/disc.iso";
        // A disc that starts a computer (BIOS, no emulation) when nasm is at hand.
        m_Bootable = BootHelpers::makeBootableImage(BootHelpers::Kind::NoEmulation, m_Source, m_Iso,
                                                    { "-J", "-R" });
        if (!m_Bootable)
            QVERIFY(
                runCommand("genisoimage", { "-quiet", "-J", "-R", "-o", m_Iso, m_Source }).ok());

        if (!QFileInfo("/dev/fuse").exists() || QStandardPaths::findExecutable("fuseiso").isEmpty())
            QSKIP("no FUSE or fuseiso here");
        m_Loop.reset(new LoopDevice(m_Iso));
        m_Unreadable.reset(new LoopDevice(m_Iso, LoopDevice::Offset { 65536 }));
        if (m_Loop->node.isEmpty() || m_Unreadable->node.isEmpty())
            QSKIP("no free loop devices");
        m_Mnt = m_Tmp.path() + "/mnt";
        m_RebuiltMnt = m_Tmp.path() + "/mnt-rebuilt";
        if (!mountDisc() || !mountRebuiltDisc())
            QSKIP("fuseiso cannot mount the test disc");
        qputenv(DriveSeam, (m_Loop->node + ":" + m_Unreadable->node).toLocal8Bit());
    }

    void cleanup()
    {
        delete m_Page;
        m_Page = nullptr;
        m_List = nullptr;
        if (m_Loop)
            qputenv(DriveSeam, (m_Loop->node + ":" + m_Unreadable->node).toLocal8Bit());
    }

    void rebuildKeepsTheSelection()
    {
        // A third drive: a plain file is a burner with a blank disc to the disk tools.
        const QString burner = m_Tmp.path() + "/burner.img";
        QVERIFY(writeFile(burner, QByteArray()));
        qputenv(DriveSeam, (burner + ":" + m_Loop->node + ":" + m_Unreadable->node).toLocal8Bit());
        MainWindow home;
        QVERIFY(openPage(&home));
        QVERIFY(waitUntil([&] { return m_List->count() == 3; }));
        QCOMPARE(m_List->currentIndex(), 0);
        m_List->setCurrentIndex(driveRow());
        QSignalSpy rebuilt(m_List->model(), &QAbstractItemModel::rowsRemoved);
        // The second change comes while the first is being read: the drives are read again.
        emit home.sigdrivechange();
        emit home.sigdrivechange();
        QVERIFY(waitUntil([&] { return rebuilt.count() > 0 && m_List->count() == 3; }));
        QCOMPARE(m_List->currentIndex(), driveRow());
        delete m_Page;
        m_Page = nullptr;
    }

    void refusedBeforeAnythingRuns_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QString>("message");
        QTest::newRow("no drive selected") << "nodrive" << false << "Please select a drive first.";
        QTest::newRow("target choice cancelled")
            << "notarget" << false << "Please select the iso file to save.";
        QTest::newRow("unreadable disc not mounted") << "unmounted" << false << "is not mounted";
        QTest::newRow("target on the disc")
            << "ondisc" << false << "cannot be saved on the disc being copied";
        QTest::newRow("read-only target folder") << "readonly" << false << "cannot be written";
        QTest::newRow("not enough free space, rebuilt")
            << "small" << false << "not enough free space";
        QTest::newRow("not enough free space, exact") << "small" << true << "not enough free space";
    }

    void refusedBeforeAnythingRuns()
    {
        QFETCH(QString, kind);
        QFETCH(bool, exact);
        QFETCH(QString, message);
        QVERIFY(openPage());
        m_List->setCurrentIndex(kind == "nodrive" ? -1 : driveRow(exact));
        QString target = m_Tmp.path() + "/refused.iso";
        QScopedPointer<FuseMount> place;
        if (kind == "unmounted") {
            m_RebuiltDisc.reset();
        } else if (kind == "ondisc") {
            target = m_RebuiltMnt + "/Folder A/copy.iso";
        } else if (kind == "readonly") {
            // A read-only file system: even root cannot write there.
            place.reset(new FuseMount("fuseiso", { m_Iso }, m_Tmp.path() + "/ro"));
            QVERIFY(place->mounted);
            target = m_Tmp.path() + "/ro/Folder A/copy.iso";
        } else if (kind == "small") {
            const QString fat = m_Tmp.path() + "/small.img";
            QFile::remove(fat);
            if (runCommand("mkfs.fat", { "-C", fat, "1024" }).code != 0)
                QSKIP("mkfs.fat cannot make the small volume");
            place.reset(new FuseMount("fusefat", { "-o", "rw+", fat }, m_Tmp.path() + "/small"));
            if (!place->mounted)
                QSKIP("fusefat cannot mount the small volume");
            target = m_Tmp.path() + "/small/copy.iso";
        }
        const QString shown = copyTo(target, kind == "notarget");
        if (kind == "unmounted")
            QVERIFY(mountRebuiltDisc());
        QVERIFY2(shown.contains(message), qPrintable(shown));
        QCOMPARE(m_Page->LastCopy(), CPage5::CopyKind::None);
        QVERIFY(!QFileInfo::exists(target));
    }

    // The copy fails halfway (no more than 1 MiB may be written): the message says why, and an
    // ISO file already at the target is left as it was, with nothing beside it.
    void failedCopyKeepsTheTarget_data()
    {
        QTest::addColumn<bool>("exact");
        QTest::newRow("exact copy") << true;
        QTest::newRow("rebuilt copy") << false;
    }

    void failedCopyKeepsTheTarget()
    {
        QFETCH(bool, exact);
        QVERIFY(openPage());
        m_List->setCurrentIndex(driveRow(exact));
        const QString folder = m_Tmp.path() + (exact ? "/kept-exact" : "/kept-rebuilt");
        const QString target = folder + "/earlier.iso";
        QVERIFY(writeFile(target, "an image made earlier"));
        QString shown;
        {
            FileSizeLimit limit(1024 * 1024);
            shown = copyTo(target);
        }
        QVERIFY2(shown.startsWith("Copy CD/DVD failed.\n") && shown.contains("File too large"),
                 qPrintable(shown));
        QCOMPARE(m_Page->LastCopy(), exact ? CPage5::CopyKind::Exact : CPage5::CopyKind::Rebuilt);
        QCOMPARE(readFile(target), QByteArray("an image made earlier"));
        QCOMPARE(hiddenFiles(folder), QStringList());
        QVERIFY(!m_Page->IsCopying());
    }

    // The readable drive's disc is copied sector by sector: the image is the disc's volume,
    // byte for byte, and starts in qemu as the disc does.
    void exactCopyIsTheDisc()
    {
        QVERIFY(openPage());
        m_List->setCurrentIndex(driveRow());
        const QString folder = m_Tmp.path() + "/exact";
        const QString target = folder + "/copy of disc.iso";
        QVERIFY(writeFile(target, "replaced once the copy is complete"));
        const QString shown = copyTo(target);
        QVERIFY2(shown.startsWith("Copy CD/DVD successfully!\n")
                     && shown.contains("exact copy of the disc's ISO 9660 volume"),
                 qPrintable(shown));
        QCOMPARE(m_Page->LastCopy(), CPage5::CopyKind::Exact);
        QCOMPARE(m_OpenPath, folder);
        QVERIFY(readFile(target) == readFile(m_Iso));
        QCOMPARE(hiddenFiles(folder), QStringList());
        if (!m_Bootable || !BootHelpers::haveTool("qemu-system-x86_64"))
            QSKIP("no bootable test disc or no qemu");
        const auto disc = BootHelpers::boot(m_Iso, BootHelpers::Medium::Cdrom, false);
        QVERIFY(disc.has(BootHelpers::kBiosMarker));
        const auto copy = BootHelpers::boot(target, BootHelpers::Medium::Cdrom, false);
        QVERIFY(copy.has(BootHelpers::kBiosMarker));
        QCOMPARE(copy.exitCode, disc.exitCode);
    }

    // Stop during the exact copy of a large disc (a sparse image whose volume claims 2 GiB): the
    // copy ends quietly, the ISO file already at the target stays as it was, and what the copy
    // wrote beside it goes.
    void stopKeepsTheTarget()
    {
        const quint32 sectors = 1024 * 1024;
        QByteArray head = readFile(m_Iso).left(40 * 2048);
        // The volume space size, both-endian.
        for (int i = 0; i < 4; ++i) {
            head[16 * 2048 + 80 + i] = char(sectors >> (8 * i));
            head[16 * 2048 + 87 - i] = char(sectors >> (8 * i));
        }
        const QString big = m_Tmp.path() + "/big.iso";
        QVERIFY(writeFile(big, head) && QFile(big).resize(qint64(sectors) * 2048));
        LoopDevice loop(big);
        if (loop.node.isEmpty())
            QSKIP("no free loop device");
        qputenv(DriveSeam, loop.node.toLocal8Bit());
        m_Page = new CPage5;
        m_Page->show();
        m_List = m_Page->findChild<QComboBox *>("dvdlist");
        QVERIFY(waitUntil([&] { return m_List->findData(loop.node) >= 0; }, 20000));
        m_List->setCurrentIndex(m_List->findData(loop.node));
        const QString folder = m_Tmp.path() + "/stopped";
        const QString target = folder + "/earlier.iso";
        QVERIFY(writeFile(target, "an image made earlier"));
        auto picker = answerFileDialog(target);
        clickButton(m_Page->findChild<QWidget *>("browser"));
        QVERIFY(waitUntil([&] { return picker.isNull() || picker->done(); }, 20000));

        // A stopped copy shows nothing.
        bool prompted = false;
        WatcherGuard prompt { closeDialog<CommDialog>(QDialog::Accepted,
                                                      [&](CommDialog *) { prompted = true; }) };
        clickButton(m_Page->findChild<QWidget *>("start"));
        CProgressDialog *progress = nullptr;
        QVERIFY(waitUntil([&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *p = qobject_cast<CProgressDialog *>(w);
                if (p && p->isVisible() && p->ProgressBar()->value() > 0)
                    progress = p;
            }
            return progress != nullptr;
        }));
        QVERIFY(m_Page->IsCopying());
        progress->OnBtnCancel();
        QVERIFY(!m_Page->IsCopying());
        QVERIFY(waitUntil([&] { return hiddenFiles(folder).isEmpty(); }));
        QCOMPARE(readFile(target), QByteArray("an image made earlier"));
        QVERIFY(!prompted);
    }

    // Last: the unreadable drive's disc is rebuilt from its files, and the eject unmounts it.
    void rebuiltCopyThenEject()
    {
        QVERIFY(openPage());
        QCOMPARE(m_List->itemText(driveRow(false)),
                 QString("VEXLOR TEST DRIVE 1.00 (%1)").arg(m_Unreadable->node));
        m_List->setCurrentIndex(driveRow(false));

        const QString target = m_Tmp.path() + "/out/copy of disc.iso";
        QVERIFY(QDir().mkpath(m_Tmp.path() + "/out"));
        const QString shown = copyTo(target);
        QVERIFY2(shown.startsWith("Copy CD/DVD successfully!\n") && shown.contains("rebuilt"),
                 qPrintable(shown));
        QCOMPARE(m_Page->LastCopy(), CPage5::CopyKind::Rebuilt);
        QCOMPARE(m_OpenPath, m_Tmp.path() + "/out");
        QCOMPARE(m_Page->LastArguments().last(), m_RebuiltMnt);
        bool progressDone = false;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *progress = qobject_cast<CProgressDialog *>(w))
                progressDone
                    |= progress->ProgressBar()->maximum() == 10000 && progress->IsComplete();
        }
        QVERIFY(progressDone);

        // Every file of the disc is in the copy, with the same bytes.
        const auto copy = withoutBoot(imageContent(target, m_Tmp.path() + "/x-copy"));
        QCOMPARE(copy, withoutBoot(fileTree(m_Source)));

        // Eject unmounts the disc and the list is read again; a copy then finds no disc to read.
        QSignalSpy rebuilt(m_List->model(), &QAbstractItemModel::rowsRemoved);
        clickButton(m_Page->findChild<QWidget *>("eject"));
        QVERIFY(waitUntil([&] { return rebuilt.count() > 0 && driveRow(false) >= 0; }, 20000));
        QVERIFY(!runCommand("mount", {}).output.contains(m_RebuiltMnt.toLocal8Bit()));
        QFile::remove(target);
        QVERIFY(copyTo(target).contains("is not mounted"));
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_MAIN(TestCopyDiscPage)
#include "tst_copydiscpage.moc"
