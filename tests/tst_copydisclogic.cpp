// The Copy-disc page's readers on recorded output: the drive list from "drutil status", the
// mount point from "mount", makehybrid progress, and the target check.

#include "pages/copydisclogic.h"

#include <QtTest>

using namespace CopyDiscLogic;

class TestCopyDiscLogic : public QObject
{
    Q_OBJECT

private slots:
    void driveStatus_data();
    void driveStatus();
    void mountPoint_data();
    void mountPoint();
    void progress_data();
    void progress();
    void inside_data();
    void inside();
    void toolMessageLeavesProgressOut();
};

namespace {
const QString Header = QStringLiteral(" Vendor   Product           Rev ");
const QString Matshita = QStringLiteral(" MATSHITA DVD-R   UJ-898     HE13");
const QString TypeDisk2 = QStringLiteral("           Type: DVD-ROM              Name: /dev/disk2");
} // namespace

void TestCopyDiscLogic::driveStatus_data()
{
    QTest::addColumn<QStringList>("lines");
    // "entry text|device" per drive
    QTest::addColumn<QStringList>("drives");

    const QString one = "MATSHITA DVD-R UJ-898 HE13 (/dev/disk2)|/dev/disk2";
    QTest::newRow("one drive") << QStringList { Header, Matshita, "", TypeDisk2,
                                                "       Sessions: 1                  Tracks: 1" }
                               << QStringList { one };
    QTest::newRow("two drives") << QStringList { Header,
                                                 Matshita,
                                                 TypeDisk2,
                                                 Header,
                                                 "  QEMU     QEMU DVD-ROM      2.5+",
                                                 "  Type: DVD-ROM   Name: /dev/sr0" }
                                << QStringList { one,
                                                 "QEMU QEMU DVD-ROM 2.5+ (/dev/sr0)|/dev/sr0" };
    QTest::newRow("carriage returns")
        << QStringList { Header + "\r", Matshita + "\r\n", TypeDisk2 + "\r" }
        << QStringList { one };
    QTest::newRow("no drives") << QStringList {} << QStringList {};
    QTest::newRow("no disc: no name line")
        << QStringList { Header, Matshita, "           Type: No Media Inserted" } << QStringList {};
    // The second drive gets its own description, not the unnamed first one's.
    QTest::newRow("drive without a name, then another")
        << QStringList { Header,
                         Matshita,
                         "  Type: No Media",
                         Header,
                         "  QEMU QEMU DVD-ROM 2.5+",
                         "  Type: DVD-ROM   Name: /dev/sr1" }
        << QStringList { "QEMU QEMU DVD-ROM 2.5+ (/dev/sr1)|/dev/sr1" };
    QTest::newRow("name before any header is ignored")
        << QStringList { "  Type: DVD-ROM   Name: /dev/sr0", Header, Matshita, TypeDisk2 }
        << QStringList { one };
    QTest::newRow("name at the start of a line is not a name")
        << QStringList { Header, Matshita, "Name: /dev/sr0" } << QStringList {};
    QTest::newRow("empty name waits for a later one")
        << QStringList { Header, Matshita, "  Type: DVD-ROM   Name:   ", TypeDisk2 }
        << QStringList { one };
    QTest::newRow("header without leading blank")
        << QStringList { "Vendor   Product           Rev", "A B C", "  Type: CD  Name: /dev/disk3" }
        << QStringList { "A B C (/dev/disk3)|/dev/disk3" };
}

void TestCopyDiscLogic::driveStatus()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, drives);
    QStringList got;
    for (const Drive &drive : ReadDriveStatus(lines))
        got << drive.EntryText() + "|" + drive.device;
    QCOMPARE(got, drives);
}

void TestCopyDiscLogic::mountPoint_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("mountPoint");

    const QString root = "/dev/disk1s1 on / (apfs, local, journaled)";
    const QString disc = "/dev/disk2 on /Volumes/MY DISC (cd9660, local, read-only)";
    QTest::newRow("the drive's disc") << QStringList { root, disc } << "/dev/disk2"
                                      << "/Volumes/MY DISC";
    QTest::newRow("not mounted") << QStringList { root } << "/dev/disk2"
                                 << "";
    QTest::newRow("another drive whose name starts alike")
        << QStringList { root, "/dev/disk21 on /Volumes/OTHER (cd9660, local)" } << "/dev/disk2"
        << "";
    QTest::newRow("own slice") << QStringList { "/dev/disk2s1 on /Volumes/A (hfs, local)" }
                               << "/dev/disk2"
                               << "/Volumes/A";
    QTest::newRow("sr1 is not sr10")
        << QStringList { "/dev/sr10 on /media/x (iso9660, ro)" } << "/dev/sr1"
        << "";
    QTest::newRow("sr1 itself, others around")
        << QStringList { "/dev/sr10 on /media/x (iso9660, ro)", "/dev/sr1 on /media/y (iso9660)",
                         "/dev/sr11 on /media/z (iso9660)" }
        << "/dev/sr1"
        << "/media/y";
    QTest::newRow("loop partition")
        << QStringList { "/dev/loop1p1 on /mnt/p (vfat, rw)", "/dev/loop10 on /mnt/q (vfat)" }
        << "/dev/loop1"
        << "/mnt/p";
    QTest::newRow("letter-named disk and its partition")
        << QStringList { "/dev/sdb1 on /media/stick (vfat, rw)" } << "/dev/sdb"
        << "/media/stick";
    QTest::newRow("sdbb is another disk")
        << QStringList { "/dev/sdbb on /media/stick (vfat, rw)" } << "/dev/sdb"
        << "";
    QTest::newRow("brackets in the mount point")
        << QStringList { "/dev/sr0 on /media/u/Disc (2) x (iso9660, ro)" } << "/dev/sr0"
        << "/media/u/Disc (2) x";
    QTest::newRow("the last matching line wins")
        << QStringList { "/dev/sr0 on /media/a (iso9660)", "/dev/sr0 on /media/b (fuse)" }
        << "/dev/sr0"
        << "/media/b";
    QTest::newRow("no options") << QStringList { "/dev/sr0 on /media/a" } << "/dev/sr0"
                                << "/media/a";
    QTest::newRow("no device selected") << QStringList { disc } << ""
                                        << "";
    QTest::newRow("not a mount line")
        << QStringList { "/dev/sr0", "/dev/sr0 on", "/dev/sr0 on relative (x)" } << "/dev/sr0"
        << "";
}

void TestCopyDiscLogic::mountPoint()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, device);
    QFETCH(QString, mountPoint);
    QCOMPARE(MountPointOf(lines, device), mountPoint);
}

void TestCopyDiscLogic::progress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value");
    QTest::newRow("half") << "DRStatusPercentCompleteKey: 0.5" << 5000;
    QTest::newRow("quarter, blanks around") << "  DRStatusPercentCompleteKey:   0.25  " << 2500;
    QTest::newRow("done") << "DRStatusPercentCompleteKey: 1" << 10000;
    QTest::newRow("above one is done") << "DRStatusPercentCompleteKey: 1.5" << 10000;
    QTest::newRow("property-list shape") << "DRStatusPercentCompleteKey = 0.75;" << 7500;
    QTest::newRow("zero changes nothing") << "DRStatusPercentCompleteKey: 0" << -1;
    QTest::newRow("negative") << "DRStatusPercentCompleteKey: -0.2" << -1;
    QTest::newRow("not a number") << "DRStatusPercentCompleteKey: soon" << -1;
    QTest::newRow("empty value") << "DRStatusPercentCompleteKey:" << -1;
    QTest::newRow("other line") << "  2.17% done, estimate finish Mon Dec  7 23:52:43 2026" << -1;
}

void TestCopyDiscLogic::progress()
{
    QFETCH(QString, line);
    QFETCH(int, value);
    QCOMPARE(ReadProgress(line), value);
}

void TestCopyDiscLogic::inside_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("inside");
    QTest::newRow("the folder itself") << "/media/disc"
                                       << "/media/disc" << true;
    QTest::newRow("below") << "/media/disc/a/b"
                           << "/media/disc" << true;
    QTest::newRow("trailing slash") << "/media/disc/a"
                                    << "/media/disc/" << true;
    QTest::newRow("a sibling starting alike") << "/media/disc2/a"
                                              << "/media/disc" << false;
    QTest::newRow("above") << "/media"
                           << "/media/disc" << false;
    QTest::newRow("root holds everything") << "/tmp/x"
                                           << "/" << true;
    QTest::newRow("no folder") << "/tmp/x"
                               << "" << false;
}

void TestCopyDiscLogic::inside()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(bool, inside);
    QCOMPARE(IsInside(path, folder), inside);
}

void TestCopyDiscLogic::toolMessageLeavesProgressOut()
{
    const QStringList lines { "DRStatusPercentCompleteKey: 0.1",
                              "genisoimage: No space left on device. cannot fwrite 32768*1",
                              "DRStatusPercentCompleteKey: 0.2" };
    QCOMPARE(PickToolMessage(lines),
             QString("genisoimage: No space left on device. cannot fwrite 32768*1"));
    QCOMPARE(PickToolMessage({ "DRStatusPercentCompleteKey: 0.5" }), QString());
}

QTEST_GUILESS_MAIN(TestCopyDiscLogic)
#include "tst_copydisclogic.moc"
