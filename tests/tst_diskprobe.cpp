// The readers of the Linux disk tools, on recorded output of lsblk, /proc/self/mountinfo,
// /proc/swaps, /proc/sys/dev/cdrom/info, xorriso and mkisofs, and the script form osascript
// accepts.

#include "lib/probe.h"

#include <QtTest>

using namespace Probe;

namespace {

// A laptop: the system on an NVMe disk (EFI, /boot, LVM with / and /home, swap on LVM), a
// second internal SATA disk, a USB stick with a mounted volume, a removable SD card reader
// without a card, an external USB disk holding /var, an external USB hard disk (hot-pluggable,
// not removable), an SD card reader with a card, a SATA disk in a hot-swap bay, a DVD drive and
// a loop device.
const char *kLsblk
    = "{\n"
      "   \"blockdevices\": [\n"
      "      {\"name\":\"nvme0n1\", \"path\":\"/dev/nvme0n1\", \"type\":\"disk\", "
      "\"tran\":\"nvme\", \"rm\":false, \"hotplug\":false, \"size\":512110190592, "
      "\"model\":\"Samsung SSD 980\", \"vendor\":null, \"mountpoints\":[null], \"fstype\":null, "
      "\"label\":null,\n"
      "         \"children\": [\n"
      "            {\"name\":\"nvme0n1p1\", \"path\":\"/dev/nvme0n1p1\", \"type\":\"part\", "
      "\"tran\":\"nvme\", \"rm\":false, \"hotplug\":false, \"size\":536870912, "
      "\"mountpoints\":[\"/boot/efi\"]},\n"
      "            {\"name\":\"nvme0n1p2\", \"path\":\"/dev/nvme0n1p2\", \"type\":\"part\", "
      "\"tran\":\"nvme\", \"rm\":false, \"hotplug\":false, \"size\":511572312064, "
      "\"mountpoints\":[null],\n"
      "               \"children\": [\n"
      "                  {\"name\":\"vg-root\", \"path\":\"/dev/mapper/vg-root\", "
      "\"type\":\"lvm\", \"rm\":false, \"hotplug\":false, \"size\":100000000000, "
      "\"mountpoints\":[\"/\"]},\n"
      "                  {\"name\":\"vg-home\", \"path\":\"/dev/mapper/vg-home\", "
      "\"type\":\"lvm\", \"rm\":false, \"hotplug\":false, \"size\":400000000000, "
      "\"mountpoints\":[\"/home\"]}\n"
      "               ]\n"
      "            }\n"
      "         ]\n"
      "      },\n"
      "      {\"name\":\"sda\", \"path\":\"/dev/sda\", \"type\":\"disk\", \"tran\":\"sata\", "
      "\"rm\":false, \"hotplug\":false, \"size\":1000204886016, \"model\":\"WDC WD10EZEX\", "
      "\"mountpoints\":[null],\n"
      "         \"children\": [{\"name\":\"sda1\", \"path\":\"/dev/sda1\", \"type\":\"part\", "
      "\"rm\":false, \"hotplug\":false, \"size\":1000203091968, "
      "\"mountpoints\":[\"/srv/data\"]}]},\n"
      "      {\"name\":\"sdb\", \"path\":\"/dev/sdb\", \"type\":\"disk\", \"tran\":\"usb\", "
      "\"rm\":true, \"hotplug\":true, \"size\":15931539456, \"model\":\"Cruzer Blade\", "
      "\"vendor\":\"SanDisk \", \"mountpoints\":[null],\n"
      "         \"children\": [{\"name\":\"sdb1\", \"path\":\"/dev/sdb1\", \"type\":\"part\", "
      "\"tran\":\"usb\", \"rm\":true, \"hotplug\":true, \"size\":15930490880, "
      "\"mountpoints\":[\"/media/ann/STICK\"], \"fstype\":\"vfat\", \"label\":\"STICK\"}]},\n"
      "      {\"name\":\"sdc\", \"path\":\"/dev/sdc\", \"type\":\"disk\", \"tran\":\"usb\", "
      "\"rm\":true, \"hotplug\":true, \"size\":0, \"model\":\"SD Reader\", "
      "\"mountpoints\":[null]},\n"
      "      {\"name\":\"sdd\", \"path\":\"/dev/sdd\", \"type\":\"disk\", \"tran\":\"usb\", "
      "\"rm\":false, \"hotplug\":true, \"size\":2000398934016, \"model\":\"Expansion\", "
      "\"mountpoints\":[null],\n"
      "         \"children\": [\n"
      "            {\"name\":\"sdd1\", \"path\":\"/dev/sdd1\", \"type\":\"part\", \"rm\":false, "
      "\"hotplug\":true, \"size\":2000397885440, \"mountpoints\":[\"/var\"]}\n"
      "         ]},\n"
      "      {\"name\":\"sde\", \"path\":\"/dev/sde\", \"type\":\"disk\", \"tran\":\"usb\", "
      "\"rm\":false, \"hotplug\":true, \"size\":64023257088, \"model\":\"Flash\", "
      "\"mountpoints\":[null],\n"
      "         \"children\": [{\"name\":\"sde1\", \"path\":\"/dev/sde1\", \"type\":\"part\", "
      "\"rm\":false, \"hotplug\":true, \"size\":8589934592, \"mountpoints\":[null]}]},\n"
      "      {\"name\":\"sdf\", \"path\":\"/dev/sdf\", \"type\":\"disk\", \"tran\":\"usb\", "
      "\"rm\":true, \"hotplug\":true, \"size\":31914983424, \"model\":\"SD/MMC Reader\", "
      "\"mountpoints\":[null]},\n"
      "      {\"name\":\"sdg\", \"path\":\"/dev/sdg\", \"type\":\"disk\", \"tran\":\"sata\", "
      "\"rm\":false, \"hotplug\":true, \"size\":4000787030016, \"model\":\"ST4000DM004\", "
      "\"mountpoints\":[null]},\n"
      "      {\"name\":\"sr0\", \"path\":\"/dev/sr0\", \"type\":\"rom\", \"tran\":\"sata\", "
      "\"rm\":true, \"hotplug\":false, \"size\":4700372992, \"model\":\"DVDRAM GH24NSD1\", "
      "\"mountpoints\":[\"/media/ann/DISC\"]},\n"
      "      {\"name\":\"loop2\", \"path\":\"/dev/loop2\", \"type\":\"loop\", \"rm\":false, "
      "\"hotplug\":false, \"size\":67108864, \"mountpoints\":[null]},\n"
      "      {\"name\":\"vda\", \"path\":\"/dev/vda\", \"type\":\"disk\", \"tran\":null, "
      "\"rm\":false, \"hotplug\":false, \"size\":274877906944, \"model\":null, "
      "\"mountpoints\":[\"/\"]},\n"
      "      {\"name\":\"zram0\", \"path\":\"/dev/zram0\", \"type\":\"disk\", \"tran\":null, "
      "\"rm\":false, \"hotplug\":false, \"size\":0, \"mountpoints\":[\"[SWAP]\"]}\n"
      "   ]\n"
      "}";

QStringList names(const QList<BlockDevice> &devices)
{
    QStringList out;
    for (const BlockDevice &device : devices)
        out << device.path;
    return out;
}

} // namespace

class TestDiskProbe : public QObject
{
    Q_OBJECT

private slots:
    void lsblkTree()
    {
        const QList<BlockDevice> devices = ParseLsblk(kLsblk);
        QCOMPARE(devices.size(), 12);
        const BlockDevice *stick = FindDevice(devices, QStringLiteral("sdb"));
        QVERIFY(stick);
        QCOMPARE(stick->tran, QStringLiteral("usb"));
        QCOMPARE(stick->vendor, QStringLiteral("SanDisk"));
        QVERIFY(stick->removable && stick->hotplug);
        QCOMPARE(stick->size, Q_INT64_C(15931539456));
        const BlockDevice *home = FindDevice(devices, QStringLiteral("/dev/mapper/vg-home"));
        QVERIFY(home);
        QCOMPARE(home->mountPoints, QStringList { "/home" });
        QCOMPARE(FindDevice(devices, QStringLiteral("/dev/sdb1"))->label, QStringLiteral("STICK"));
        QVERIFY(!FindDevice(devices, QStringLiteral("/dev/sdz")));
        QVERIFY(ParseLsblk("not json").isEmpty());
    }

    void writableDisks_data()
    {
        QTest::addColumn<QStringList>("swaps");
        QTest::addColumn<QStringList>("testDisks");
        QTest::addColumn<QStringList>("offered");
        // The system disk (LVM "/" and "/home"), the internal data disk, the empty card reader,
        // the USB disk holding /var, the fixed USB hard disk, the SATA disk in a hot-swap bay,
        // the optical drive, the loop and the virtual disks stay out: the stick and the card
        // reader with a card are removable media.
        QTest::newRow("normal") << QStringList() << QStringList()
                                << QStringList { "/dev/sdb", "/dev/sdf" };
        QTest::newRow("swap on a stick")
            << QStringList { "/dev/sdb1" } << QStringList() << QStringList { "/dev/sdf" };
        // The test seam offers the named loop device only, never a real disk.
        QTest::newRow("seam") << QStringList() << QStringList { "/dev/loop2" }
                              << QStringList { "/dev/loop2" };
        QTest::newRow("seam naming real disks")
            << QStringList() << QStringList { "/dev/sdb", "/dev/vda", "/dev/nvme0n1" }
            << QStringList();
    }
    void writableDisks()
    {
        QFETCH(QStringList, swaps);
        QFETCH(QStringList, testDisks);
        QFETCH(QStringList, offered);
        QCOMPARE(names(WritableDisks(ParseLsblk(kLsblk), swaps, testDisks)), offered);
    }

    void systemDisk_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<bool>("system");
        QTest::newRow("root on lvm") << "/dev/nvme0n1" << true;
        QTest::newRow("var on usb") << "/dev/sdd" << true;
        QTest::newRow("root directly") << "/dev/vda" << true;
        QTest::newRow("swap device") << "/dev/zram0" << true;
        QTest::newRow("data disk") << "/dev/sda" << false;
        QTest::newRow("stick") << "/dev/sdb" << false;
    }
    void systemDisk()
    {
        QFETCH(QString, disk);
        QFETCH(bool, system);
        const QList<BlockDevice> devices = ParseLsblk(kLsblk);
        QCOMPARE(IsSystemDisk(*FindDevice(devices, disk), {}), system);
    }

    void mountInfo()
    {
        const QByteArray text
            = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
              "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
              "45 27 0:40 / /tmp/plx/mp\\040a rw,nosuid,nodev,relatime - fuse /dev/loop0p1 "
              "rw,user_id=0,group_id=0\n"
              "46 27 8:17 / /media/ann/My\\011Tab\\134Back rw - vfat /dev/sdb1 rw,fmask=0022\n"
              "garbage line\n";
        const QList<MountEntry> entries = ParseMountInfo(text);
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries.at(1).source, QStringLiteral("/dev/vda"));
        QCOMPARE(entries.at(1).mountPoint, QStringLiteral("/"));
        QCOMPARE(entries.at(1).fsType, QStringLiteral("ext4"));
        QCOMPARE(entries.at(2).mountPoint, QStringLiteral("/tmp/plx/mp a"));
        QCOMPARE(entries.at(2).majorMinor, QStringLiteral("0:40"));
        QCOMPARE(entries.at(3).mountPoint, QStringLiteral("/media/ann/My\tTab\\Back"));
        QCOMPARE(
            MountLine(entries.at(2)),
            QStringLiteral("/dev/loop0p1 on /tmp/plx/mp a (fuse, rw, nosuid, nodev, relatime)"));
        QCOMPARE(DecodeMountEscapes(QStringLiteral("a\\04")), QStringLiteral("a\\04"));
        QCOMPARE(DecodeMountEscapes(QStringLiteral("\\999x")), QStringLiteral("\\999x"));
    }

    void swaps()
    {
        const QByteArray text
            = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
              "/dev/nvme0n1p3                          partition\t8388604\t\t0\t\t-2\n"
              "/swapfile                               file\t\t2097148\t\t0\t\t-3\n";
        QCOMPARE(ParseSwaps(text), QStringList { "/dev/nvme0n1p3" });
        QVERIFY(ParseSwaps("Filename\tType\tSize\tUsed\tPriority\n").isEmpty());
    }

    void cdromInfo()
    {
        const QByteArray text = "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n\n"
                                "drive name:\t\tsr1\tsr0\n"
                                "drive speed:\t\t24\t48\n"
                                "Can write CD-R:\t\t0\t1\n"
                                "Can write CD-RW:\t\t0\t1\n"
                                "Can read DVD:\t\t1\t1\n"
                                "Can write DVD-R:\t\t0\t1\n"
                                "Can write DVD-RAM:\t0\t1\n\n";
        const QList<CdromDrive> drives = ParseCdromInfo(text);
        QCOMPARE(drives.size(), 2);
        QCOMPARE(drives.at(0).name, QStringLiteral("sr1"));
        QCOMPARE(drives.at(1).values.value("drive speed"), QStringLiteral("48"));
        QCOMPARE(OpticalDriveType(drives.at(0)), QStringLiteral("DVD-ROM"));
        QCOMPARE(OpticalDriveType(drives.at(1)), QStringLiteral("DVD-RW"));
        QCOMPARE(OpticalDriveType(CdromDrive { "sr2", { { "Can write CD-R", "1" } } }),
                 QStringLiteral("CD-RW"));
        QCOMPARE(OpticalDriveType(CdromDrive()), QStringLiteral("CD-ROM"));
        QVERIFY(ParseCdromInfo("").isEmpty());
    }

    void progress_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("xorriso");
        QTest::addColumn<double>("fraction");
        QTest::newRow("xorriso")
            << "xorriso : UPDATE :   76 of  450 MB written (fifo  0%) [buf  50%]  54.7x." << true
            << 76.0 / 450.0;
        QTest::newRow("xorriso done")
            << "xorriso : UPDATE :  450 of  450 MB written (fifo 0%)" << true << 1.0;
        QTest::newRow("xorriso zero total")
            << "xorriso : UPDATE : 0 of 0 MB written" << true << -1.0;
        QTest::newRow("xorriso other")
            << "xorriso : NOTE : Writing to 'stdio:/tmp/d.img'" << true << -1.0;
        QTest::newRow("mkisofs") << "  2.17% done, estimate finish Mon Dec  7 23:52:43 2026"
                                 << false << 0.0217;
        QTest::newRow("mkisofs 100") << "100.00% done, estimate finish" << false << 1.0;
        QTest::newRow("mkisofs summary") << "2270 extents written (4 MB)" << false << -1.0;
    }
    void progress()
    {
        QFETCH(QString, line);
        QFETCH(bool, xorriso);
        QFETCH(double, fraction);
        const double read = xorriso ? XorrisoProgress(line) : MkisofsProgress(line);
        QVERIFY2(qAbs(read - fraction) < 1e-9, qPrintable(QString::number(read)));
        // Neither reader takes the other's lines.
        QCOMPARE(xorriso ? MkisofsProgress(line) : XorrisoProgress(line), -1.0);
        QCOMPARE(ProgressLine(0.5), QStringLiteral("DRStatusPercentCompleteKey: 0.500000"));
    }

    void adminScript_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("command");
        QTest::newRow("plain") << "do shell script \"/opt/v/mkbootable /dev/sdb /media/NONAME\" "
                                  "with administrator privileges"
                               << true << "/opt/v/mkbootable /dev/sdb /media/NONAME";
        QTest::newRow("escapes")
            << "do shell script \"echo \\\"a\\\\b\\\" \\tx\\n\" with administrator privileges"
            << true << "echo \"a\\b\" \tx\n";
        QTest::newRow("empty") << "do shell script \"\" with administrator privileges" << true
                               << "";
        QTest::newRow("quote ends early")
            << "do shell script \"a\" & \"b\" with administrator privileges" << false << "";
        QTest::newRow("unknown escape")
            << "do shell script \"a\\qb\" with administrator privileges" << false << "";
        QTest::newRow("dangling backslash")
            << "do shell script \"a\\\" with administrator privileges" << false << "";
        QTest::newRow("no privileges") << "do shell script \"id\"" << false << "";
        QTest::newRow("other script") << "display dialog \"hi\"" << false << "";
    }
    void adminScript()
    {
        QFETCH(QString, script);
        QFETCH(bool, accepted);
        QFETCH(QString, command);
        QString read;
        QCOMPARE(ParseAdminScript(script, &read), accepted);
        QCOMPARE(read, command);
    }

    void identityOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("rest"); // {"-"} when refused
        const QStringList id {
            "--serial", "4C53",   "--wwn",       "",        "--device-number",
            "8:16",     "--size", "15931539456", "--model", "SanDisk Cruzer Blade"
        };
        QTest::newRow("after the words") << QStringList { "partitionDisk", "/dev/sdb" } + id
                                         << QStringList { "partitionDisk", "/dev/sdb" };
        QTest::newRow("alone") << id << QStringList();
        QTest::newRow("missing") << QStringList(id.mid(2)) << QStringList { "-" };
        QStringList repeated = id;
        repeated[2] = "--serial";
        QTest::newRow("repeated") << repeated << QStringList { "-" };
        QStringList noSize = id;
        noSize[7] = "0";
        QTest::newRow("no size") << noSize << QStringList { "-" };
        QTest::newRow("none") << QStringList { "unmountDisk", "/dev/sdb" } << QStringList { "-" };
    }
    void identityOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, rest);
        DiskIdentity identity;
        QStringList words;
        const bool taken = TakeIdentityOptions(arguments, &identity, &words);
        QCOMPARE(taken, rest != QStringList { "-" });
        if (!taken)
            return;
        QCOMPARE(words, rest);
        QCOMPARE(identity.serial, QStringLiteral("4C53"));
        QCOMPARE(identity.size, Q_INT64_C(15931539456));
        QCOMPARE(IdentityOptions(identity), arguments.mid(rest.size()));
        QVERIFY(IdentityDifference(identity, identity).isEmpty());
        DiskIdentity other = identity;
        other.serial = "4C54"; // the same make and size, another stick
        QCOMPARE(IdentityDifference(identity, other),
                 QStringLiteral("serial number \"4C54\" instead of \"4C53\""));
        other = identity;
        other.deviceNumber = "8:32";
        QVERIFY(IdentityDifference(identity, other).contains("device number"));
    }

    void vpdSerial()
    {
        QCOMPARE(SerialFromVpdPage(QByteArray::fromHex("0080000c") + "  4C530001  "),
                 QStringLiteral("4C530001"));
        QCOMPARE(SerialFromVpdPage(QByteArray::fromHex("00830004") + "abcd"), QString());
        QCOMPARE(SerialFromVpdPage("\0"), QString());
    }

    void humanSize()
    {
        QCOMPARE(HumanSize(15931539456), QStringLiteral("15.9 GB"));
        QCOMPARE(HumanSize(67108864), QStringLiteral("67.1 MB"));
        QCOMPARE(HumanSize(512), QStringLiteral("512.0 B"));
    }
};

QTEST_APPLESS_MAIN(TestDiskProbe)
#include "tst_diskprobe.moc"
