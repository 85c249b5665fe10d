// The wimlib module: its recorded progress and failure lines, the part size for each kind of FAT
// volume, where a file's bytes lie in an image, and the split of an image's installation image
// into parts, read in place through a read-only loop device over the image (root) or taken out
// of the image first.
// No mount route: the parts go to a plain folder (the volume's kind is read from recorded mount
// lines, kernel vfat and the FUSE fallback fusefat); neither image nor volume is mounted.

#include "services/wimlib.h"
#include "testhelpers.h"

#include <QBuffer>
#include <QtTest>

#include <unistd.h>

using namespace TestHelpers;

namespace {

void put32(QByteArray &bytes, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// An ISO 9660 directory record.
QByteArray record(quint32 sector, quint32 size, int flags, const QByteArray &name)
{
    QByteArray r(33 + name.size() + (name.size() % 2 ? 0 : 1), '\0');
    r[0] = char(r.size());
    put32(r, 2, sector);
    put32(r, 10, size);
    r[25] = char(flags);
    r[32] = char(name.size());
    r.replace(33, name.size(), name);
    return r;
}

// An image of 64 sectors: the primary volume descriptor, the root folder at sector 18 holding
// SOURCES at 19, whose records are these.
QByteArray isoWithSources(const QList<QByteArray> &sources)
{
    const int sector = 2048;
    QByteArray image(64 * sector, '\0');
    QByteArray pvd(sector, '\0');
    pvd[0] = 1;
    pvd.replace(1, 5, "CD001");
    pvd.replace(156, 34, record(18, sector, 2, QByteArray(1, '\0')));
    image.replace(16 * sector, sector, pvd);
    image.replace(17 * sector, 6,
                  "\xff"
                  "CD001");
    const QByteArray root = record(18, sector, 2, QByteArray(1, '\0'))
        + record(18, sector, 2, QByteArray(1, '\1')) + record(19, sector, 2, "SOURCES");
    image.replace(18 * sector, root.size(), root);
    QByteArray dir = record(19, sector, 2, QByteArray(1, '\0'));
    for (const QByteArray &r : sources)
        dir += r;
    image.replace(19 * sector, dir.size(), dir);
    return image;
}

// Whether a loop device is attached to file.
bool loopHolds(const QString &file)
{
    for (const QString &loop : QDir("/sys/block").entryList({ "loop*" })) {
        if (readFile("/sys/block/" + loop + "/loop/backing_file").trimmed()
            == QFile::encodeName(QFileInfo(file).canonicalFilePath()))
            return true;
    }
    return false;
}

} // namespace

class TestWimlib : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void partSize_data();
    void partSize();
    void contiguousFile_data();
    void contiguousFile();
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

void TestWimlib::contiguousFile_data()
{
    QTest::addColumn<QList<QByteArray>>("records"); // of the folder SOURCES
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("offset"); // -1: not found
    QTest::addColumn<qint64>("size");

    const QByteArray wim = "INSTALL.WIM;1";
    const int more = 0x80; // continued in the next record
    const qint64 at30 = 30 * 2048;
    QTest::newRow("one extent") << QList<QByteArray> { record(30, 5000, 0, wim) }
                                << "sources/install.wim" << at30 << qint64(5000);
    QTest::newRow("extents that follow each other")
        << QList<QByteArray> { record(20, 100, 0, "BOOT.WIM;1"), record(30, 4096, more, wim),
                               record(32, 6144, more, wim), record(35, 10, 0, wim),
                               record(36, 7, 0, "SETUP.EXE;1") }
        << "/SOURCES/Install.Wim" << at30 << qint64(4096 + 6144 + 10);
    QTest::newRow("a gap") << QList<QByteArray> { record(30, 4096, more, wim),
                                                  record(33, 10, 0, wim) }
                           << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("out of order") << QList<QByteArray> { record(32, 4096, more, wim),
                                                         record(30, 4096, 0, wim) }
                                  << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("chain without an end") << QList<QByteArray> { record(30, 4096, more, wim) }
                                          << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("chain broken by another name")
        << QList<QByteArray> { record(30, 4096, more, wim), record(32, 10, 0, "INSTALL.ESD;1") }
        << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("past the image's end") << QList<QByteArray> { record(60, 9000, 0, wim) }
                                          << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("not there") << QList<QByteArray> { record(30, 10, 0, "INSTALL.ESD;1") }
                               << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("a folder") << QList<QByteArray> { record(30, 2048, 2, "INSTALL.WIM") }
                              << "sources/install.wim" << qint64(-1) << qint64(0);
    QTest::newRow("no version, trailing dot") << QList<QByteArray> { record(30, 1, 0, "INSTALL.") }
                                              << "sources/install" << at30 << qint64(1);
}

void TestWimlib::contiguousFile()
{
    QFETCH(QList<QByteArray>, records);
    QFETCH(QString, path);
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QByteArray bytes = isoWithSources(records);
    QBuffer image(&bytes);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const Wimlib::Span span = Wimlib::ContiguousFile(&image, path);
    QCOMPARE(span.offset, offset);
    QCOMPARE(span.size, size);
}

void TestWimlib::splitOnto_data()
{
    QTest::addColumn<QString>("entry"); // what the image is said to hold
    QTest::addColumn<int>("sizeOff"); // added to its true size
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<bool>("stop"); // stopped at the first tool
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("route");

    const int in = int(Wimlib::Route::InPlace), out = int(Wimlib::Route::CopiedOut);
    QTest::newRow("in place") << "sources/install.wim" << 0 << true << false << true << in;
    QTest::newRow("in place, stopped") << "sources/install.wim" << 0 << true << true << false << in;
    QTest::newRow("copied out") << "sources/install.wim" << 0 << false << false << true << out;
    QTest::newRow("listed size disagrees")
        << "sources/install.wim" << 2048 << true << false << true << out;
    QTest::newRow("not in the image")
        << "sources/install.esd" << 0 << true << false << false << out;
}

void TestWimlib::splitOnto()
{
    QFETCH(QString, entry);
    QFETCH(int, sizeOff);
    QFETCH(bool, inPlace);
    QFETCH(bool, stop);
    QFETCH(bool, ok);
    QFETCH(int, route);
    if (route == int(Wimlib::Route::InPlace) && ::geteuid() != 0)
        QSKIP("a loop device needs root");
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
    job.size = QFileInfo(tree + "/sources/install.wim").size() + sizeOff;
    job.inPlace = inPlace;
    job.partMiB = 1;
    bool attached = false;
    if (stop) {
        job.run = [&](const QString &, const QStringList &, const CErrorLineReader &,
                      const std::function<void(QString)> &) {
            attached = loopHolds(image);
            return CRunOutcome(); // ended by a stop
        };
    }
    QList<Wimlib::Stage> stages;
    Wimlib::Route taken = Wimlib::Route(-1);
    const CRunOutcome end = Wimlib::SplitOnto(
        job,
        [&](Wimlib::Stage stage, int percent) {
            QVERIFY(percent >= 0 && percent <= 100);
            if (stages.isEmpty() || stages.last() != stage)
                stages << stage;
        },
        &taken);
    QCOMPARE(end.Ok(), ok);
    QCOMPARE(int(taken), route);
    QVERIFY(!QFileInfo::exists(job.scratch));
    QVERIFY(!loopHolds(image)); // let go of, whatever the end
    QCOMPARE(attached, stop);
    QList<Wimlib::Stage> expected;
    if (!inPlace || route == int(Wimlib::Route::CopiedOut))
        expected << Wimlib::Stage::Extracting;
    if (!ok) {
        if (stop)
            expected << Wimlib::Stage::Splitting;
        QCOMPARE(stages, expected);
        QCOMPARE(QFileInfo::exists(job.volume + "/sources"), stop);
        return;
    }
    QCOMPARE(stages, expected << Wimlib::Stage::Splitting << Wimlib::Stage::Verifying);
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
