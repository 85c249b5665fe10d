// Drives the real Copy-disc page against drives the disk tools' test seam provides: a loop
// device holding an ISO image built here, mounted with fuseiso so that "mount" lists it under its
// device. The page copies the disc, ejects it, and refuses what cannot work. Skipped where loop
// devices or FUSE are not available.

#include "app/mainwindow.h"
#include "pages/cpage5.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/commdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

const char *const DriveSeam = "VEXLOR_TEST_OPTICAL_DRIVES";

struct Run
{
    int exitCode = -1;
    QByteArray output;
};

Run run(const QString &program, const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.output = p.readAll();
    return r;
}

// A FUSE mount that goes with the guard, whatever happens to the test.
class FuseMount
{
public:
    FuseMount(const QString &program, const QStringList &args, const QString &dir)
        : m_Program(program)
        , m_Args(args)
        , m_Dir(dir)
    {
        QDir().mkpath(dir);
        Mount();
    }
    ~FuseMount() { Unmount(); }
    bool Mount()
    {
        m_Mounted = run(m_Program, m_Args).exitCode == 0;
        return m_Mounted;
    }
    bool Mounted() const { return m_Mounted; }
    void Unmount()
    {
        if (m_Mounted)
            run(QStringLiteral("fusermount"), { QStringLiteral("-u"), m_Dir });
        m_Mounted = false;
    }

private:
    QString m_Program;
    QStringList m_Args;
    QString m_Dir;
    bool m_Mounted = false;
};

// A loop device over an image file; detached by the guard only while it still holds that file.
class LoopDevice
{
public:
    explicit LoopDevice(const QString &image)
        : m_Image(QFileInfo(image).canonicalFilePath())
    {
        const Run r = run(QStringLiteral("losetup"),
                          { QStringLiteral("-f"), QStringLiteral("--show"), m_Image });
        if (r.exitCode == 0)
            m_Device = QString::fromLocal8Bit(r.output).trimmed();
    }
    ~LoopDevice()
    {
        const QString backing
            = QStringLiteral("/sys/block/%1/loop/backing_file").arg(QFileInfo(m_Device).fileName());
        if (!m_Device.isEmpty() && readFile(backing).trimmed() == m_Image.toLocal8Bit())
            run(QStringLiteral("losetup"), { QStringLiteral("-d"), m_Device });
    }
    QString Device() const { return m_Device; }

private:
    QString m_Image;
    QString m_Device;
};

QString labelText(QWidget *dialog)
{
    QLabel *label = dialog->findChild<QLabel *>(QStringLiteral("label"));
    return label ? label->text() : QString();
}

// Every path of an image as 7-Zip lists it, sorted.
QStringList listing(const QString &image)
{
    QStringList paths;
    const Run r = run(Util::GetCurrentExePath() + "/7z/7z", { "l", "-slt", image });
    for (const QString &line : QString::fromUtf8(r.output).split('\n')) {
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

private slots:
    void initTestCase();
    void cleanup();

    void rebuildKeepsTheSelection();
    void refusedBeforeAnythingRuns_data();
    void refusedBeforeAnythingRuns();
    void failingCopyLeavesNoImage();
    // Last: the eject unmounts the disc.
    void copyTheDiscThenEject();

private:
    // Opens a page and waits until its list shows the test drive; false when it never does.
    bool openPage(QWidget *parent = nullptr);
    // Chooses the target with the picker, presses Start and returns the message shown.
    QString copyTo(const QString &target);
    int driveRow() const;

    QTemporaryDir m_Tmp;
    QString m_Source;
    QString m_Iso;
    QScopedPointer<LoopDevice> m_Loop;
    QScopedPointer<FuseMount> m_Disc;
    CPage5 *m_Page = nullptr;
    QComboBox *m_List = nullptr;
};

void TestCopyDiscPage::initTestCase()
{
    QVERIFY(m_Tmp.isValid());
    m_Source = m_Tmp.path() + "/disc";
    QVERIFY(writeFile(m_Source + "/Folder A/Sub Folder/deep/notes.txt", "deep down\n"));
    QVERIFY(writeFile(m_Source + QString::fromUtf8("/Ünïcødé/naïve café.txt"), "caf\xc3\xa9\n"));
    QVERIFY(writeFile(m_Source + "/with blank.txt", "blank\n"));
    QVERIFY(QDir().mkpath(m_Source + "/empty folder"));
    QByteArray random(3 * 1024 * 1024 + 123, Qt::Uninitialized);
    QRandomGenerator generator(20261208);
    generator.fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    QVERIFY(writeFile(m_Source + "/data/random.bin", random));
    m_Iso = m_Tmp.path() + "/disc.iso";
    const Run made = run(QStandardPaths::findExecutable("genisoimage"),
                         { "-quiet", "-J", "-R", "-V", "TESTDISC", "-o", m_Iso, m_Source });
    QVERIFY2(made.exitCode == 0, made.output);

    if (!QFileInfo("/dev/fuse").exists() || QStandardPaths::findExecutable("fuseiso").isEmpty())
        QSKIP("no FUSE or fuseiso here");
    m_Loop.reset(new LoopDevice(m_Iso));
    if (m_Loop->Device().isEmpty())
        QSKIP("no free loop device");
    const QString device = m_Loop->Device();
    m_Disc.reset(new FuseMount("fuseiso",
                               { "-p", device, m_Tmp.path() + "/mnt", "-o", "fsname=" + device },
                               m_Tmp.path() + "/mnt"));
    if (!m_Disc->Mounted())
        QSKIP("fuseiso cannot mount the test disc");
    qputenv(DriveSeam, device.toLocal8Bit());
}

void TestCopyDiscPage::cleanup()
{
    delete m_Page;
    m_Page = nullptr;
    m_List = nullptr;
    if (m_Loop)
        qputenv(DriveSeam, m_Loop->Device().toLocal8Bit());
}

int TestCopyDiscPage::driveRow() const
{
    return m_List ? m_List->findData(m_Loop->Device()) : -1;
}

bool TestCopyDiscPage::openPage(QWidget *parent)
{
    m_Page = new CPage5(parent);
    m_Page->show();
    m_List = m_Page->findChild<QComboBox *>("dvdlist");
    return m_List && waitUntil([this] { return driveRow() >= 0; }, 20000);
}

QString TestCopyDiscPage::copyTo(const QString &target)
{
    auto picker = answerFileDialog(target);
    clickButton(m_Page->findChild<QWidget *>("browser"));
    waitUntil([&] { return picker.isNull() || picker->done(); }, 20000);
    QString message;
    auto prompt = closeDialog<CommDialog>(QDialog::Accepted,
                                          [&](CommDialog *d) { message = labelText(d); });
    clickButton(m_Page->findChild<QWidget *>("start"));
    waitUntil([&] { return prompt.isNull() || prompt->done(); }, 60000);
    return message;
}

void TestCopyDiscPage::copyTheDiscThenEject()
{
    QVERIFY(openPage());
    QCOMPARE(m_List->itemText(driveRow()),
             QString("VEXLOR TEST DRIVE 1.00 (%1)").arg(m_Loop->Device()));
    m_List->setCurrentIndex(driveRow());

    const QString target = m_Tmp.path() + "/out/copy of disc.iso";
    QVERIFY(QDir().mkpath(m_Tmp.path() + "/out"));
    QCOMPARE(copyTo(target), QString("Copy CD/DVD successfully!"));
    QCOMPARE(m_Page->LastArguments().last(), m_Tmp.path() + "/mnt");

    // Every file of the disc is in the copy, with the same bytes.
    QCOMPARE(listing(target), listing(m_Iso));
    const auto copy = extracted(target, m_Tmp.path() + "/x-copy");
    QCOMPARE(copy, extracted(m_Iso, m_Tmp.path() + "/x-disc"));
    QCOMPARE(copy, fileTree(m_Source));

    // Eject unmounts the disc and the list is read again; a copy then finds no disc to read.
    QSignalSpy rebuilt(m_List->model(), &QAbstractItemModel::rowsRemoved);
    clickButton(m_Page->findChild<QWidget *>("eject"));
    QVERIFY(waitUntil([&] { return rebuilt.count() > 0 && driveRow() >= 0; }, 20000));
    QVERIFY(!run("mount", {}).output.contains(m_Tmp.path().toLocal8Bit() + "/mnt"));
    QFile::remove(target);
    QVERIFY(copyTo(target).contains("is not mounted"));
    QVERIFY(!QFileInfo::exists(target));
}

void TestCopyDiscPage::rebuildKeepsTheSelection()
{
    // A second drive: a plain file is a burner with a blank disc to the disk tools.
    const QString burner = m_Tmp.path() + "/burner.img";
    QVERIFY(writeFile(burner, QByteArray()));
    qputenv(DriveSeam, (burner + ":" + m_Loop->Device()).toLocal8Bit());
    MainWindow home;
    QVERIFY(openPage(&home));
    QVERIFY(waitUntil([&] { return m_List->count() == 2; }));
    QCOMPARE(m_List->currentIndex(), 0);
    m_List->setCurrentIndex(driveRow());
    QSignalSpy rebuilt(m_List->model(), &QAbstractItemModel::rowsRemoved);
    emit home.sigdrivechange();
    QVERIFY(waitUntil([&] { return rebuilt.count() > 0 && m_List->count() == 2; }));
    QCOMPARE(m_List->currentIndex(), driveRow());
    QCOMPARE(CPage5::dvdCurrent, m_List->currentText());
    delete m_Page;
    m_Page = nullptr;
}

void TestCopyDiscPage::refusedBeforeAnythingRuns_data()
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

void TestCopyDiscPage::refusedBeforeAnythingRuns()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QVERIFY(openPage());
    m_List->setCurrentIndex(driveRow());
    QString target = m_Tmp.path() + "/refused.iso";
    QScopedPointer<FuseMount> place;
    if (kind == "nodrive") {
        m_List->setCurrentIndex(-1);
    } else if (kind == "unmounted") {
        m_Disc->Unmount();
    } else if (kind == "ondisc") {
        target = m_Tmp.path() + "/mnt/Folder A/copy.iso";
    } else if (kind == "readonly") {
        // A read-only file system: even root cannot write there.
        place.reset(
            new FuseMount("fuseiso", { m_Iso, m_Tmp.path() + "/ro" }, m_Tmp.path() + "/ro"));
        QVERIFY(place->Mounted());
        target = m_Tmp.path() + "/ro/Folder A/copy.iso";
    } else if (kind == "small") {
        const QString fat = m_Tmp.path() + "/small.img";
        QFile::remove(fat);
        if (run("mkfs.fat", { "-C", fat, "1024" }).exitCode != 0)
            QSKIP("mkfs.fat cannot make the small volume");
        place.reset(new FuseMount("fusefat", { "-o", "rw+", fat, m_Tmp.path() + "/small" },
                                  m_Tmp.path() + "/small"));
        if (!place->Mounted())
            QSKIP("fusefat cannot mount the small volume");
        target = m_Tmp.path() + "/small/copy.iso";
    }
    if (kind == "notarget") {
        auto first = answerFileDialog(target);
        clickButton(m_Page->findChild<QWidget *>("browser"));
        QVERIFY(waitUntil([&] { return first.isNull() || first->done(); }));
        auto picker = cancelFileDialog();
        QString shown;
        auto prompt = closeDialog<CommDialog>(QDialog::Accepted,
                                              [&](CommDialog *d) { shown = labelText(d); });
        clickButton(m_Page->findChild<QWidget *>("browser"));
        QVERIFY(waitUntil([&] { return picker.isNull() || picker->done(); }));
        clickButton(m_Page->findChild<QWidget *>("start"));
        QVERIFY(waitUntil([&] { return prompt.isNull() || prompt->done(); }));
        QCOMPARE(shown, message);
    } else {
        const QString shown = copyTo(target);
        QVERIFY2(shown.contains(message), qPrintable(shown));
    }
    if (kind == "unmounted")
        QVERIFY(m_Disc->Mount());
    QVERIFY(m_Page->LastArguments().isEmpty());
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(m_Page->isVisible());
}

// The tool fails halfway (it may write no more than 1 MiB): its own message is shown and the
// partial image goes.
void TestCopyDiscPage::failingCopyLeavesNoImage()
{
    QVERIFY(openPage());
    m_List->setCurrentIndex(driveRow());
    const QString target = m_Tmp.path() + "/failed.iso";
    QString shown;
    {
        FileSizeLimit limit(1024 * 1024);
        shown = copyTo(target);
    }
    QVERIFY2(shown.startsWith("Copy CD/DVD failed."), qPrintable(shown));
    QVERIFY2(shown.count('\n') >= 1, qPrintable(shown));
    QVERIFY(!m_Page->LastArguments().isEmpty());
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(!m_Page->IsCopying());
}

QTEST_MAIN(TestCopyDiscPage)
#include "tst_copydiscpage.moc"
