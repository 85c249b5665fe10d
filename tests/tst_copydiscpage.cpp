// Drives the real Copy-disc page against drives the disk tools' test seam provides: a loop
// device holding an ISO image built here, mounted with fuseiso so that "mount" lists it under its
// device. The page copies the disc, ejects it, and refuses what cannot work. Skipped where loop
// devices or FUSE are not available.

#include "app/mainwindow.h"
#include "pages/cpage5.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

const char *const DriveSeam = "VEXLOR_TEST_OPTICAL_DRIVES";

// Runs a program to its end; its exit code (-1 when it did not end normally) and its output.
int run(const QString &program, const QStringList &args, QByteArray *output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    if (output)
        *output = p.readAll();
    return ended ? p.exitCode() : -1;
}

// A FUSE mount on dir that goes with the guard, whatever happens to the test.
struct FuseMount
{
    FuseMount(const QString &program, const QStringList &args, const QString &folder,
              const QStringList &options = {})
        : dir(folder)
    {
        QDir().mkpath(dir);
        mounted = run(program, QStringList(args) << dir << options) == 0;
    }
    ~FuseMount()
    {
        if (mounted)
            run("fusermount", { "-u", dir });
    }
    QString dir;
    bool mounted = false;
};

// A loop device over an image file; detached by the guard only while it still holds that file.
struct LoopDevice
{
    explicit LoopDevice(const QString &file)
        : image(QFileInfo(file).canonicalFilePath())
    {
        QByteArray out;
        if (run("losetup", { "-f", "--show", image }, &out) == 0)
            device = QString::fromLocal8Bit(out).trimmed();
    }
    ~LoopDevice()
    {
        const QString name = QFileInfo(device).fileName();
        if (!device.isEmpty()
            && readFile("/sys/block/" + name + "/loop/backing_file").trimmed()
                == image.toLocal8Bit())
            run("losetup", { "-d", device });
    }
    QString image;
    QString device;
};

// Every path of an image as 7-Zip lists it, sorted.
QStringList listing(const QString &image)
{
    QStringList paths;
    QByteArray out;
    run(Util::GetCurrentExePath() + "/7z/7z", { "l", "-slt", image }, &out);
    for (const QString &line : QString::fromUtf8(out).split('\n')) {
        if (line.startsWith("Path = ") && line != "Path = " + image)
            paths << line.mid(7);
    }
    paths.sort();
    return paths;
}

QMap<QString, QByteArray> extracted(const QString &image, const QString &dir)
{
    run(Util::GetCurrentExePath() + "/7z/7z", { "x", "-y", "-o" + dir, image });
    return fileTree(dir);
}

} // namespace

class TestCopyDiscPage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_Tmp;
    QString m_Source;
    QString m_Iso;
    QString m_Mnt;
    QScopedPointer<LoopDevice> m_Loop;
    QScopedPointer<FuseMount> m_Disc;
    CPage5 *m_Page = nullptr;
    QComboBox *m_List = nullptr;
    QString m_OpenPath; // the folder the last prompt offered to open

    bool mountDisc()
    {
        m_Disc.reset(new FuseMount("fuseiso", { "-p", m_Loop->device }, m_Mnt,
                                   { "-o", "fsname=" + m_Loop->device }));
        return m_Disc->mounted;
    }
    int driveRow() const { return m_List ? m_List->findData(m_Loop->device) : -1; }
    // Opens a page and waits until its list shows the test drive; false when it never does.
    bool openPage(QWidget *parent = nullptr)
    {
        m_Page = new CPage5(parent);
        m_Page->show();
        m_List = m_Page->findChild<QComboBox *>("dvdlist");
        return m_List && waitUntil([this] { return driveRow() >= 0; }, 20000);
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
        QByteArray random(3 * 1024 * 1024 + 123, Qt::Uninitialized);
        QRandomGenerator(20261208).fillRange(reinterpret_cast<quint32 *>(random.data()),
                                             random.size() / 4);
        QVERIFY(writeFile(m_Source + "/data/random.bin", random));
        m_Iso = m_Tmp.path() + "/disc.iso";
        QVERIFY(run(QStandardPaths::findExecutable("genisoimage"),
                    { "-quiet", "-J", "-R", "-o", m_Iso, m_Source })
                == 0);

        if (!QFileInfo("/dev/fuse").exists() || QStandardPaths::findExecutable("fuseiso").isEmpty())
            QSKIP("no FUSE or fuseiso here");
        m_Loop.reset(new LoopDevice(m_Iso));
        if (m_Loop->device.isEmpty())
            QSKIP("no free loop device");
        m_Mnt = m_Tmp.path() + "/mnt";
        if (!mountDisc())
            QSKIP("fuseiso cannot mount the test disc");
        qputenv(DriveSeam, m_Loop->device.toLocal8Bit());
    }

    void cleanup()
    {
        delete m_Page;
        m_Page = nullptr;
        m_List = nullptr;
        if (m_Loop)
            qputenv(DriveSeam, m_Loop->device.toLocal8Bit());
    }

    void rebuildKeepsTheSelection()
    {
        // A second drive: a plain file is a burner with a blank disc to the disk tools.
        const QString burner = m_Tmp.path() + "/burner.img";
        QVERIFY(writeFile(burner, QByteArray()));
        qputenv(DriveSeam, (burner + ":" + m_Loop->device).toLocal8Bit());
        MainWindow home;
        QVERIFY(openPage(&home));
        QVERIFY(waitUntil([&] { return m_List->count() == 2; }));
        QCOMPARE(m_List->currentIndex(), 0);
        m_List->setCurrentIndex(driveRow());
        QSignalSpy rebuilt(m_List->model(), &QAbstractItemModel::rowsRemoved);
        // The second change comes while the first is being read: the drives are read again.
        emit home.sigdrivechange();
        emit home.sigdrivechange();
        QVERIFY(waitUntil([&] { return rebuilt.count() > 0 && m_List->count() == 2; }));
        QCOMPARE(m_List->currentIndex(), driveRow());
        QCOMPARE(CPage5::dvdCurrent, m_List->currentText());
        delete m_Page;
        m_Page = nullptr;
    }

    void refusedBeforeAnythingRuns_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("no drive selected") << "nodrive"
                                           << "Please select a drive first.";
        QTest::newRow("target choice cancelled") << "notarget"
                                                 << "Please select the iso file to save.";
        QTest::newRow("disc not mounted") << "unmounted"
                                          << "is not mounted";
        QTest::newRow("target on the disc") << "ondisc"
                                            << "cannot be saved on the disc being copied";
        QTest::newRow("read-only target folder") << "readonly"
                                                 << "cannot be written";
        QTest::newRow("not enough free space") << "small"
                                               << "not enough free space";
    }

    void refusedBeforeAnythingRuns()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QVERIFY(openPage());
        m_List->setCurrentIndex(kind == "nodrive" ? -1 : driveRow());
        QString target = m_Tmp.path() + "/refused.iso";
        QScopedPointer<FuseMount> place;
        if (kind == "unmounted") {
            m_Disc.reset();
        } else if (kind == "ondisc") {
            target = m_Mnt + "/Folder A/copy.iso";
        } else if (kind == "readonly") {
            // A read-only file system: even root cannot write there.
            place.reset(new FuseMount("fuseiso", { m_Iso }, m_Tmp.path() + "/ro"));
            QVERIFY(place->mounted);
            target = m_Tmp.path() + "/ro/Folder A/copy.iso";
        } else if (kind == "small") {
            const QString fat = m_Tmp.path() + "/small.img";
            QFile::remove(fat);
            if (run("mkfs.fat", { "-C", fat, "1024" }) != 0)
                QSKIP("mkfs.fat cannot make the small volume");
            place.reset(new FuseMount("fusefat", { "-o", "rw+", fat }, m_Tmp.path() + "/small"));
            if (!place->mounted)
                QSKIP("fusefat cannot mount the small volume");
            target = m_Tmp.path() + "/small/copy.iso";
        }
        const QString shown = copyTo(target, kind == "notarget");
        QVERIFY2(shown.contains(message), qPrintable(shown));
        if (kind == "unmounted")
            QVERIFY(mountDisc());
        QVERIFY(m_Page->LastArguments().isEmpty());
        QVERIFY(!QFileInfo::exists(target));
    }

    // The tool fails halfway (it may write no more than 1 MiB): its own message is shown and
    // the partial image goes.
    void failingCopyLeavesNoImage()
    {
        QVERIFY(openPage());
        m_List->setCurrentIndex(driveRow());
        const QString target = m_Tmp.path() + "/failed.iso";
        QString shown;
        {
            FileSizeLimit limit(1024 * 1024);
            shown = copyTo(target);
        }
        QVERIFY2(shown.startsWith("Copy CD/DVD failed.\n") && shown.contains("File too large"),
                 qPrintable(shown));
        QVERIFY(!m_Page->LastArguments().isEmpty());
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(!m_Page->IsCopying());
    }

    // Last: the eject unmounts the disc.
    void copyTheDiscThenEject()
    {
        QVERIFY(openPage());
        QCOMPARE(m_List->itemText(driveRow()),
                 QString("VEXLOR TEST DRIVE 1.00 (%1)").arg(m_Loop->device));
        m_List->setCurrentIndex(driveRow());

        const QString target = m_Tmp.path() + "/out/copy of disc.iso";
        QVERIFY(QDir().mkpath(m_Tmp.path() + "/out"));
        QCOMPARE(copyTo(target), QString("Copy CD/DVD successfully!"));
        QCOMPARE(m_OpenPath, m_Tmp.path() + "/out");
        QCOMPARE(m_Page->LastArguments().last(), m_Mnt);
        bool progressDone = false;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *progress = qobject_cast<CProgressDialog *>(w))
                progressDone
                    |= progress->ProgressBar()->maximum() == 10000 && progress->IsComplete();
        }
        QVERIFY(progressDone);

        // Every file of the disc is in the copy, with the same bytes.
        QCOMPARE(listing(target), listing(m_Iso));
        const auto copy = extracted(target, m_Tmp.path() + "/x-copy");
        QCOMPARE(copy, extracted(m_Iso, m_Tmp.path() + "/x-disc"));
        QCOMPARE(copy, fileTree(m_Source));

        // Eject unmounts the disc and the list is read again; a copy then finds no disc to read.
        QSignalSpy rebuilt(m_List->model(), &QAbstractItemModel::rowsRemoved);
        clickButton(m_Page->findChild<QWidget *>("eject"));
        QVERIFY(waitUntil([&] { return rebuilt.count() > 0 && driveRow() >= 0; }, 20000));
        QByteArray mounts;
        run("mount", {}, &mounts);
        QVERIFY(!mounts.contains(m_Mnt.toLocal8Bit()));
        QFile::remove(target);
        QVERIFY(copyTo(target).contains("is not mounted"));
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_MAIN(TestCopyDiscPage)
#include "tst_copydiscpage.moc"
