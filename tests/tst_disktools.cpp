// The disk tools' argument lists and readers (services/disktools), the lookup of the tools,
// and the administrator command carried through the real osascript provider.

#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/util.h"

#include <QtTest>

#include <unistd.h>

using namespace DiskTools;

namespace {

// A "diskutil info" report as the Linux provider prints it (and the macOS tool's shape).
const char *kStickInfo = "   Device Identifier:          sdb\n"
                         "   Device Node:                /dev/sdb\n"
                         "   Whole:                      Yes\n"
                         "   Device / Media Name:        SanDisk Cruzer Blade\n\n"
                         "   Volume Name:                NONAME\n"
                         "   Mounted:                    Yes\n"
                         "   Mount Point:                /media/ann/MY STICK\n\n"
                         "   Protocol:                   USB\n"
                         "   Disk Size:                  15.9 GB (15931539456 Bytes) (exactly "
                         "31116288 512-Byte-Units)\n"
                         "   Removable Media:            Removable\n";

} // namespace

class TestDiskTools : public QObject
{
    Q_OBJECT

private slots:
    void argumentLists()
    {
        QCOMPARE(ListArgs(), QStringList { "list" });
        QCOMPARE(InfoArgs("/Volumes/MY DISK"), (QStringList { "info", "/Volumes/MY DISK" }));
        QCOMPARE(PartitionArgs("/dev/sdb", "MS-DOS FAT16", "NONAME"),
                 (QStringList { "partitionDisk", "/dev/sdb", "1", "MBR", "MS-DOS FAT16", "NONAME",
                                "R" }));
        QCOMPARE(PartitionArgs("/dev/sdb", "FAT32", "NONAME", "GPT"),
                 (QStringList { "partitionDisk", "/dev/sdb", "1", "GPT", "FAT32", "NONAME", "R" }));
        QCOMPARE(UnmountDiskArgs("/dev/sdb"), (QStringList { "unmountDisk", "/dev/sdb" }));
        QCOMPARE(DriveStatusArgs(), QStringList { "status" });
        QCOMPARE(BurnArgs("-a.iso"),
                 (QStringList { "burn", "-verbose", "-noverifyburn", "-a.iso" }));
        QCOMPARE(
            BurnArgs("a.iso", "/dev/sr0"),
            (QStringList { "burn", "-verbose", "-noverifyburn", "-device", "/dev/sr0", "a.iso" }));
        QCOMPARE(MakeHybridArgs("o.iso", "/media/MY DISC"),
                 (QStringList { "makehybrid", "-iso", "-joliet", "-debug", "-ov", "-o", "o.iso",
                                "/media/MY DISC" }));
        QCOMPARE(EjectArgs("/dev/sr0"), (QStringList { "eject", "/dev/sr0" }));
        QCOMPARE(FormatArgument("FAT", Q_INT64_C(4294967295)), QStringLiteral("MS-DOS FAT16"));
        QCOMPARE(FormatArgument("FAT", Q_INT64_C(4294967296)), QStringLiteral("FAT32"));
        QCOMPARE(FormatArgument("FAT32", 1000), QStringLiteral("FAT32"));
        QCOMPARE(VolumeName(""), QStringLiteral("NONAME"));
        QCOMPARE(VolumeName("BOOT"), QStringLiteral("BOOT"));
    }

    void programs()
    {
        for (const char *name :
             { "diskutil", "drutil", "hdiutil", "mount", "osascript", "mkbootable" }) {
            const QString program = PlatformTools::Program(name);
            QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
            QVERIFY(QFileInfo(program).isAbsolute());
        }
        QVERIFY(!PlatformTools::Program("sync").isEmpty());
        QVERIFY(PlatformTools::Program("rm").isEmpty());
    }

    void partitionNames_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("first");
        QTest::newRow("macOS") << "/dev/disk2"
                               << "/dev/disk2s1";
        QTest::newRow("macOS raw") << "/dev/rdisk12"
                                   << "/dev/rdisk12s1";
        QTest::newRow("sd") << "/dev/sdb"
                            << "/dev/sdb1";
        QTest::newRow("nvme") << "/dev/nvme0n1"
                              << "/dev/nvme0n1p1";
        QTest::newRow("mmc") << "/dev/mmcblk0"
                             << "/dev/mmcblk0p1";
        QTest::newRow("loop") << "/dev/loop3"
                              << "/dev/loop3p1";
    }
    void partitionNames()
    {
        QFETCH(QString, disk);
        QFETCH(QString, first);
        QCOMPARE(FirstPartition(disk), first);
        QVERIFY(IsDiskOrPartition(first, disk));
        QVERIFY(IsDiskOrPartition(disk, disk));
    }

    void notPartitions()
    {
        QVERIFY(!IsDiskOrPartition("/dev/disk21", "/dev/disk2"));
        QVERIFY(!IsDiskOrPartition("/dev/sdbb1", "/dev/sdb"));
        QVERIFY(!IsDiskOrPartition("/dev/loop31", "/dev/loop3"));
        QVERIFY(!IsDiskOrPartition("/dev/sdb", ""));
        QVERIFY(IsDiskOrPartition("/dev/disk2s12", "/dev/disk2"));
    }

    void listedDisk_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("disk");
        QTest::newRow("header") << "/dev/disk2 (external, physical):"
                                << "/dev/disk2";
        QTest::newRow("crlf") << "/dev/sdb (external, physical):\r\n"
                              << "/dev/sdb";
        QTest::newRow("internal") << "/dev/disk0 (internal, physical):"
                                  << "";
        QTest::newRow("partition row") << "   1:  vfat   15.9 GB sdb1"
                                       << "";
    }
    void listedDisk()
    {
        QFETCH(QString, line);
        QFETCH(QString, disk);
        QCOMPARE(ListedDisk(line), disk);
    }

    void infoReport_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<bool>("usbStick");
        QTest::newRow("stick") << kStickInfo << Q_INT64_C(15931539456) << "/media/ann/MY STICK"
                               << true;
        QString fixed = kStickInfo;
        fixed.replace("Removable Media:            Removable", "Removable Media:            Fixed");
        QTest::newRow("usb hard disk")
            << fixed << Q_INT64_C(15931539456) << "/media/ann/MY STICK" << false;
        QString sata = kStickInfo;
        sata.replace("Protocol:                   USB", "Protocol:                   SATA");
        QTest::newRow("sata") << sata << Q_INT64_C(15931539456) << "/media/ann/MY STICK" << false;
        QTest::newRow("optical") << QString(kStickInfo)
                + "   Optical Drive Type:  CD-ROM, DVD-ROM\n"
                                 << Q_INT64_C(15931539456) << "/media/ann/MY STICK" << false;
        QTest::newRow("no size, not mounted")
            << "   Mount Point:                Not mounted\n   Mount Point: /Volumes/NONAME\n"
            << Q_INT64_C(0) << "/Volumes/NONAME" << false;
        QTest::newRow("size without bytes") << "   Disk Size:   16.0 GB\n"
                                            << Q_INT64_C(0) << "" << false;
        QTest::newRow("size not a number") << "   Disk Size:   16.0 GB (many Bytes)\n"
                                           << Q_INT64_C(0) << "" << false;
        QTest::newRow("empty") << "" << Q_INT64_C(0) << "" << false;
        // A model string holding other fields' names is no such field.
        QTest::newRow("model holding field names")
            << "   Device / Media Name:      Mount Point: /etc Protocol: USB Removable Media: "
               "Removable Disk Size: 1 (5 Bytes)\n   Mount Point:   Not mounted\n"
               "   Protocol:   SATA\n   Removable Media:   Fixed\n"
            << Q_INT64_C(0) << "" << false;
    }
    void infoReport()
    {
        QFETCH(QString, report);
        QFETCH(qint64, size);
        QFETCH(QString, mountPoint);
        QFETCH(bool, usbStick);
        QCOMPARE(DiskSizeFromInfo(report), size);
        QCOMPARE(MountPointFromInfo(report), mountPoint);
        QCOMPARE(IsUsbStickInfo(report), usbStick);
    }

    void driveStatus()
    {
        const QStringList lines {
            " Vendor   Product           Rev ",
            " MATSHITA DVD-R   UJ-898    HE13",
            "           Type: DVD-ROM              Name: /dev/disk2",
            " Vendor   Product           Rev ",
            " VEXLOR   TEST DRIVE        1.00",
            "           Type: DVD-ROM              Name: /dev/loop4",
            " Vendor   Product           Rev ",
            " NODISC   DRIVE 1.0", // no Name: line, no entry
        };
        const QList<Drive> drives = ReadDriveStatus(lines);
        QCOMPARE(drives.size(), 2);
        QCOMPARE(drives.at(0).Text(), QStringLiteral("MATSHITA DVD-R UJ-898 HE13 (/dev/disk2)"));
        QCOMPARE(drives.at(0).device, QStringLiteral("/dev/disk2"));
        QCOMPARE(drives.at(1).Text(), QStringLiteral("VEXLOR TEST DRIVE 1.00 (/dev/loop4)"));
        QVERIFY(ReadDriveStatus({ "           Type: DVD-ROM   Name: /dev/sr0" }).isEmpty());
    }

    void progress_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isProgress");
        QTest::addColumn<double>("fraction");
        QTest::newRow("fraction") << "DRStatusPercentCompleteKey: 0.456" << true << 0.456;
        QTest::newRow("one") << "DRStatusPercentCompleteKey: 1\r\n" << true << 1.0;
        QTest::newRow("no number") << "DRStatusPercentCompleteKey: soon" << true << 0.0;
        QTest::newRow("other form") << "DRStatusPercentCompleteKey = 0.5" << true << 0.0;
        QTest::newRow("other line") << "Burning image.iso" << false << 0.0;
    }
    void progress()
    {
        QFETCH(QString, line);
        QFETCH(bool, isProgress);
        QFETCH(double, fraction);
        bool seen = !isProgress;
        QCOMPARE(ProgressFraction(line, &seen), fraction);
        QCOMPARE(seen, isProgress);
    }

    void mountLines_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("mountPoint");
        const QStringList mac { "/dev/disk1s1 on / (apfs, local, journaled)",
                                "/dev/disk2 on /Volumes/MY DISC (cd9660, local, read-only)",
                                "/dev/disk21 on /Volumes/OTHER (msdos, local)" };
        QTest::newRow("blank in name") << mac << "/dev/disk2"
                                       << "/Volumes/MY DISC";
        QTest::newRow("not disk21's") << mac << "/dev/disk21"
                                      << "/Volumes/OTHER";
        QTest::newRow("partition") << mac << "/dev/disk1"
                                   << "/";
        QTest::newRow("parenthesis")
            << QStringList { "/dev/sr0 on /media/a (b) c (iso9660, ro)" } << "/dev/sr0"
            << "/media/a (b) c";
        QTest::newRow("last wins")
            << QStringList { "/dev/loop4 on /mnt/x (fuse, rw)", "/dev/loop4 on /mnt/y (fuse, rw)" }
            << "/dev/loop4"
            << "/mnt/y";
        QTest::newRow("none") << mac << "/dev/disk3"
                              << "";
        QTest::newRow("other shapes")
            << QStringList { "/dev/sr0 on /media/x", "garbage" } << "/dev/sr0"
            << "";
    }
    void mountLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, device);
        QFETCH(QString, mountPoint);
        QCOMPARE(MountPointForDevice(lines, device), mountPoint);
    }

    void mountLineFields()
    {
        MountEntry entry;
        QVERIFY(
            ParseMountLine("/dev/disk2 on /Volumes/MY DISC (cd9660, local, read-only)", &entry));
        QCOMPARE(entry.device, QStringLiteral("/dev/disk2"));
        QCOMPARE(entry.type, QStringLiteral("cd9660"));
        QCOMPARE(entry.options, (QStringList { "local", "read-only" }));
    }

    // The administrator command reaches the helper as three words whatever the paths hold,
    // through the real osascript provider (this test runs as root, so without a prompt).
    void adminCommandThroughOsascript()
    {
        if (geteuid() != 0)
            QSKIP("as another user osascript asks for the administrator password");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path() + QStringLiteral("/it's \"odd\" $HOME `id` \\ ü");
        QVERIFY(QDir().mkpath(folder));
        const QString helper = folder + QStringLiteral("/mkbootable");
        QFile script(helper);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

        const QString disk
            = QStringLiteral("/dev/loop9; touch ") + dir.path() + QStringLiteral("/pwned");
        const QString mountPoint = QStringLiteral("/media/a b/\"q\" 'x' $(id) `id` \\n\\ \\\" end");
        const QString command = MkbootableCommand(helper, disk, mountPoint);
        int exitCode = -1;
        const QString output = Util::callexternapp(PlatformTools::Program("osascript"),
                                                   AdminArgs(command), 30000, &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(output, QStringLiteral("[%1]\n[%2]\n").arg(disk, mountPoint));
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/pwned")));

        // Anything but the one script form is refused and runs nothing.
        const QString touch = QStringLiteral("touch ") + ShellQuote(dir.path() + "/pwned");
        Util::callexternapp(
            PlatformTools::Program("osascript"),
            QStringList { "-e", QStringLiteral("do shell script \"%1\"").arg(touch) }, 30000,
            &exitCode);
        QCOMPARE(exitCode, 1);
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/pwned")));
    }

    // A query that does not end in time is killed and gives what it wrote so far.
    void queryTimeout()
    {
        QElapsedTimer timer;
        timer.start();
        int exitCode = 0;
        const QString output = Util::callexternapp(
            Util::GetCurrentExePath() + "/emitter",
            { "-o", "Disk Size: 1 (5 Bytes)\\n", "-s", "20000" }, 500, &exitCode);
        QCOMPARE(exitCode, -1);
        QCOMPARE(DiskSizeFromInfo(output), Q_INT64_C(5));
        QVERIFY(timer.elapsed() < 10000);
    }

    void shellQuote()
    {
        QCOMPARE(ShellQuote("a b"), QStringLiteral("'a b'"));
        QCOMPARE(ShellQuote("it's"), QStringLiteral("'it'\\''s'"));
        QCOMPARE(AppleScriptString("a\\\"b"), QStringLiteral("a\\\\\\\"b"));
        QCOMPARE(AdminScript("x"),
                 QStringLiteral("do shell script \"x\" with administrator privileges"));
    }
};

QTEST_GUILESS_MAIN(TestDiskTools)
#include "tst_disktools.moc"
