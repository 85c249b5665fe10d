// The wimlib module: its recorded progress and failure lines, the part size for each kind of FAT
// volume, and the split of an image's installation image into parts.
// No mount route: the parts go to a plain folder (the volume's kind is read from recorded mount
// lines, kernel vfat and the FUSE fallback fusefat).

#include "services/wimlib.h"
#include "testhelpers.h"

#include <QtTest>

using namespace TestHelpers;

class TestWimlib : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void partSize_data();
    void partSize();
    void splitOnto_data();
    void splitOnto();
};

void TestWimlib::lines_data()
{
    // As wimlib-imagex 1.13 printed them, split at the carriage returns of its redraws.
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("kept"); // by the error reader

    QTest::newRow("split") << "Splitting WIM: 2046 MiB of 4400 MiB (46%) written, part 1 of 2" << 46
                           << "";
    QTest::newRow("split start") << "Splitting WIM: 0 MiB of 47 MiB (0%) written, part 1 of 3" << 0
                                 << "";
    QTest::newRow("verify") << "Verifying file data: 47 MiB of 47 MiB (100%) done" << 100 << "";
    QTest::newRow("capture") << "Archiving file data: 4 MiB of 4400 MiB (0%) done" << 0 << "";
    QTest::newRow("warning")
        << "[WARNING] \"out.swm\" does not contain integrity information.  Skipping integrity "
           "check."
        << -1 << "";
    QTest::newRow("metadata") << "Verifying metadata for image 1 of 1" << -1
                              << "Verifying metadata for image 1 of 1";
    QTest::newRow("write error")
        << "[ERROR] Error writing chunk data to WIM file: Operation not permitted" << -1
        << "[ERROR] Error writing chunk data to WIM file: Operation not permitted";
    QTest::newRow("reason") << "       Failed to write data to a file." << -1
                            << "Failed to write data to a file.";
    QTest::newRow("percent in a name") << "[ERROR] Can't open \"a (5%) b.wim\" read-only" << -1
                                       << "[ERROR] Can't open \"a (5%) b.wim\" read-only";
    QTest::newRow("blank") << "   " << -1 << "";
}

void TestWimlib::lines()
{
    QFETCH(QString, line);
    QFETCH(int, percent);
    QFETCH(QString, kept);
    QCOMPARE(Wimlib::ReadProgress(line), percent);
    QCOMPARE(Wimlib::ErrorReader()(line), kept);
}

void TestWimlib::partSize_data()
{
    QTest::addColumn<QStringList>("mountLines");
    QTest::addColumn<qint64>("limit"); // a lower limit set for tests, 0 for none
    QTest::addColumn<int>("partMiB");

    const QString vfat = "/dev/sdb1 on /media/u/STICK (vfat, rw, nosuid)";
    const QString fuse = "/dev/loop3p1 on /media/u/STICK (fuse.fusefat, rw, user_id=0)";
    const QString other = "/dev/sda1 on /media/u/STICKER (fuse, rw)";
    QTest::newRow("kernel vfat") << QStringList { other, vfat } << qint64(0) << 3800;
    QTest::newRow("FUSE FAT") << QStringList { vfat, fuse } << qint64(0) << 512;
    QTest::newRow("not mounted") << QStringList { other } << qint64(0) << 3800;
    QTest::newRow("lowered, vfat") << QStringList { vfat } << qint64(40 << 20) << 20;
    QTest::newRow("lowered, FUSE") << QStringList { fuse } << qint64(3 << 20) << 1;
    QTest::newRow("lowered below a MiB") << QStringList { vfat } << qint64(1000) << 1;
}

void TestWimlib::partSize()
{
    QFETCH(QStringList, mountLines);
    QFETCH(qint64, limit);
    QFETCH(int, partMiB);
    qint64 fileLimit = Wimlib::VolumeFileLimit(mountLines, "/media/u/STICK/");
    if (limit > 0)
        fileLimit = qMin(fileLimit, limit);
    QCOMPARE(Wimlib::PartMiB(fileLimit), partMiB);
}

void TestWimlib::splitOnto_data()
{
    QTest::addColumn<QString>("entry"); // what the image is said to hold
    QTest::addColumn<bool>("ok");

    QTest::newRow("install.wim") << "sources/install.wim" << true;
    QTest::newRow("not in the image") << "sources/install.esd" << false;
}

void TestWimlib::splitOnto()
{
    QFETCH(QString, entry);
    QFETCH(bool, ok);
    if (QStandardPaths::findExecutable("wimlib-imagex").isEmpty()
        || QStandardPaths::findExecutable("genisoimage").isEmpty())
        QSKIP("wimtools and genisoimage are needed");
    QTemporaryDir tmp;
    // Two files of random bytes (nothing to compress), one larger than a part.
    const QString content = tmp.filePath("wim content");
    QFile random("/dev/urandom");
    QVERIFY(random.open(QIODevice::ReadOnly));
    QVERIFY(writeFile(content + "/a.bin", random.read(1536 << 10)));
    QVERIFY(writeFile(content + "/b.bin", random.read(700 << 10)));
    const QString tree = tmp.filePath("tree");
    QVERIFY(QDir().mkpath(tree + "/sources"));
    QCOMPARE(runCommand("wimlib-imagex",
                        { "capture", content, tree + "/sources/install.wim", "--compress=none" })
                 .code,
             0);
    const QString image = tmp.filePath("win.iso");
    QCOMPARE(runCommand("genisoimage", { "-quiet", "-J", "-R", "-o", image, tree }).code, 0);

    Wimlib::SplitJob job;
    job.image = image;
    job.entry = entry;
    job.volume = tmp.filePath("volume -x");
    job.scratch = tmp.filePath("scratch");
    job.partMiB = 1;
    QList<Wimlib::Stage> stages;
    const CRunOutcome end = Wimlib::SplitOnto(job, [&](Wimlib::Stage stage, int percent) {
        QVERIFY(percent >= 0 && percent <= 100);
        if (stages.isEmpty() || stages.last() != stage)
            stages << stage;
    });
    QCOMPARE(end.Ok(), ok);
    QVERIFY(!QFileInfo::exists(job.scratch));
    if (!ok) {
        QCOMPARE(stages, QList<Wimlib::Stage> { Wimlib::Stage::Extracting });
        QVERIFY(!QFileInfo::exists(job.volume + "/sources"));
        return;
    }
    QCOMPARE(stages,
             (QList<Wimlib::Stage> { Wimlib::Stage::Extracting, Wimlib::Stage::Splitting,
                                     Wimlib::Stage::Verifying }));
    QCOMPARE(Wimlib::FirstPart(job.volume, entry), job.volume + "/sources/install.swm");
    const QStringList parts = entries(job.volume + "/sources");
    QVERIFY2(parts.size() >= 2 && parts.first() == "install.swm", qPrintable(parts.join(' ')));
    // The parts apply to the files captured.
    const QString applied = tmp.filePath("applied");
    QCOMPARE(runCommand("wimlib-imagex",
                        { "apply", job.volume + "/sources/install.swm", "1", applied,
                          "--ref=" + job.volume + "/sources/install*.swm" })
                 .code,
             0);
    QCOMPARE(fileTree(applied), fileTree(content));
}

QTEST_GUILESS_MAIN(TestWimlib)
#include "tst_wimlib.moc"
