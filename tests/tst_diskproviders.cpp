// The Linux disk tools run as programs on loop devices over files this test creates: the disk
// list, partitioning and formatting, the boot helper through osascript, the refusals, the
// mount listing, and the optical drive tools on a loop device holding an image and a file
// burner. The loop devices are named through the test seams; the machine's own disks are never
// written (their refusal is shown on recorded lsblk output in tst_diskprobe). A GPT stick made by
// the providers boots in qemu under BIOS and under UEFI firmware (OVMF). The safety cases: a
// stick swapped at the same node (before a step, and inside partitionDisk between its unmount
// and its table), a partition held open exclusively, old partitions, a file system stacked on
// the stick's volume. Mount route: the FUSE fallback (fusefat), as this machine has no vfat.

#include "boothelpers.h"
#include "logic/burnlogic.h"
#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/uefiboot.h"
#include "services/util.h"
#include "testhelpers.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace TestHelpers;

namespace {

CommandRun tool(const QString &name, const QStringList &arguments)
{
    return runCommand(PlatformTools::Program(name), arguments);
}

QStringList mountLines()
{
    return tool("mount", {}).text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

constexpr qint64 kStickSize = 64 * 1024 * 1024;

// The identity options of the disk at node, read from its "diskutil info" report the way the
// Burn page reads it.
QStringList identity(const QString &node)
{
    return BurnLogic::IdentityArgs(
        BurnLogic::IdentityFromInfo(node, tool("diskutil", DiskTools::InfoArgs(node)).text()));
}

QStringList partitionArgs(const QString &node, const QString &format, const QString &name,
                          const QString &scheme = QStringLiteral("MBR"))
{
    return DiskTools::PartitionArgs(node, format, name, scheme) + identity(node);
}

QByteArray firstMiB(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(1 << 20) : QByteArray();
}

} // namespace

class TestDiskProviders : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_media;

    void seam(const QString &usb, const QString &optical = QString())
    {
        qputenv("VEXLOR_TEST_USB_DISKS", usb.toLocal8Bit());
        qputenv("VEXLOR_TEST_OPTICAL_DRIVES", optical.toLocal8Bit());
    }

private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("loop devices need root");
        QVERIFY(m_dir.isValid());
        // The media folder holds a blank and a non-ASCII letter, so every mount point does.
        m_media = m_dir.path() + QStringLiteral("/media dir \u00fc");
        QVERIFY(QDir().mkpath(m_media));
        qputenv("VEXLOR_TEST_MEDIA_DIR", m_media.toLocal8Bit());
    }

    void cleanup() { seam(QString()); }

    void listOffersOnlyTheTestDisk()
    {
        LoopDevice loop(m_dir.filePath("list.img"), kStickSize);
        if (loop.node.isEmpty())
            QSKIP("no loop device free");
        // Without the seam a loop device is never offered.
        seam(QString());
        QVERIFY(!tool("diskutil", { "list" }).text().contains(loop.node));

        seam(loop.node);
        const CommandRun list = tool("diskutil", { "list" });
        QCOMPARE(list.code, 0);
        QStringList listed;
        for (const QString &line : list.text().split('\n')) {
            if (!DiskTools::ListedDisk(line).isEmpty())
                listed << DiskTools::ListedDisk(line);
        }
        QCOMPARE(listed, QStringList { loop.node });

        const QString info = tool("diskutil", DiskTools::InfoArgs(loop.node)).text();
        QVERIFY2(DiskTools::IsUsbStickInfo(info), qPrintable(info));
        QCOMPARE(Util::DiskSpaceTotal(loop.node), kStickSize);
    }

    // The Burn page's path: partition and format, find the mount point, unmount, make the disk
    // bootable through osascript, write the configuration.
    void partitionAndMakeBootable()
    {
        const QString image = m_dir.filePath("stick.img");
        LoopDevice loop(image, kStickSize);
        if (loop.node.isEmpty())
            QSKIP("no loop device free");
        seam(loop.node);
        const CommandRun partition = tool("diskutil", partitionArgs(loop.node, "FAT32", "testvol"));
        QVERIFY2(partition.code == 0, qPrintable(partition.text()));

        const QString first = DiskTools::FirstPartition(loop.node);
        const QString mountPoint = Util::GetMountPoint(first);
        QCOMPARE(mountPoint, m_media + QStringLiteral("/TESTVOL"));
        QCOMPARE(DiskTools::MountPointForDevice(mountLines(), loop.node), mountPoint);
        QCOMPARE(Util::GetMountPoint(mountPoint), mountPoint); // a blank in the one argument

        const CommandRun unmount = runCommand(PlatformTools::Program("diskutil"),
                                              QProcess::splitCommand("unmountDisk " + loop.node));
        QVERIFY2(unmount.code == 0, qPrintable(unmount.text()));
        QVERIFY(Util::GetMountPoint(first).isEmpty());

        const QString command = DiskTools::MkbootableCommand(
            PlatformTools::Program("mkbootable"), loop.node, mountPoint, identity(loop.node));
        const CommandRun boot = tool("osascript", DiskTools::AdminArgs(command));
        QVERIFY2(boot.code == 0, qPrintable(boot.text()));
        QCOMPARE(Util::GetMountPoint(first), mountPoint);
        QVERIFY(Util::WriteMulLinesToFile({ "default boot" }, mountPoint + "/syslinux.cfg"));
        QCOMPARE(tool("diskutil", DiskTools::UnmountDiskArgs(loop.node)).code, 0);

        // The volume, read with mtools: label, boot loader and modules, configuration.
        const CommandRun label = runCommand("mlabel", { "-s", "-i", first, "::" });
        QVERIFY2(label.text().contains("TESTVOL"), qPrintable(label.text()));
        const QString files
            = runCommand("mdir", { "-a", "-b", "-i", first, "::/syslinux" }).text().toLower();
        for (const char *name : { "ldlinux.sys", "chain.c32", "libcom32.c32", "libutil.c32" })
            QVERIFY2(files.contains(QLatin1String("/syslinux/") + name), qPrintable(files));
        RunOptions apart;
        apart.separateErrors = true;
        QCOMPARE(runCommand("mtype", { "-i", first, "::/syslinux.cfg" }, apart).output,
                 QByteArray("default boot\n"));

        // On the disk: the syslinux MBR code, the partition active, a FAT32 boot sector.
        QFile disk(image);
        QVERIFY(disk.open(QIODevice::ReadOnly));
        const QByteArray mbr = disk.read(512);
        QFile code("/usr/lib/syslinux/mbr/mbr.bin");
        QVERIFY(code.open(QIODevice::ReadOnly));
        QCOMPARE(mbr.left(440), code.read(440));
        QCOMPARE(quint8(mbr.at(446)), quint8(0x80));
        disk.seek(2048 * 512 + 82);
        QCOMPARE(disk.read(8), QByteArray("FAT32   "));
    }

    void refusals()
    {
        const QString image = m_dir.filePath("refuse.img");
        LoopDevice loop(image, kStickSize);
        if (loop.node.isEmpty())
            QSKIP("no loop device free");

        // A loop device the seam does not name is no disk that may be written.
        seam(QStringLiteral("/dev/loop-none"));
        const QByteArray before = digest(image);
        CommandRun refused = tool("diskutil", partitionArgs(loop.node, "FAT32", "NONAME"));
        QVERIFY(refused.code != 0);
        QVERIFY2(refused.text().contains("refused"), qPrintable(refused.text()));
        refused = tool("diskutil", partitionArgs(loop.node, "FAT32", "NONAME", "GPT"));
        QVERIFY2(refused.code != 0 && refused.text().contains("refused"),
                 qPrintable(refused.text()));
        refused = tool("mkbootable",
                       QStringList { loop.node, m_media + QStringLiteral("/mnt") }
                           + identity(loop.node));
        QVERIFY(refused.code != 0);
        // Without the disk's identity nothing is written, whatever the disk.
        seam(loop.node);
        QVERIFY(tool("diskutil", DiskTools::PartitionArgs(loop.node, "FAT32", "NONAME")).code != 0);
        QVERIFY(tool("mkbootable", { loop.node, m_media + QStringLiteral("/mnt") }).code != 0);
        QCOMPARE(digest(image), before);

        // A volume that is in use cannot be unmounted: refused, and the disk stays as it was.
        QCOMPARE(tool("diskutil", partitionArgs(loop.node, "MS-DOS FAT16", "BUSY")).code, 0);
        const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(loop.node));
        QVERIFY(!mountPoint.isEmpty());
        QProcess holder;
        holder.setWorkingDirectory(mountPoint);
        holder.start("sleep", { "60" });
        QVERIFY(holder.waitForStarted());
        const QByteArray busy = digest(image);
        refused = tool("diskutil", partitionArgs(loop.node, "FAT32", "OTHER"));
        holder.kill();
        holder.waitForFinished();
        QVERIFY(refused.code != 0);
        QVERIFY2(refused.text().contains("in use"), qPrintable(refused.text()));
        QCOMPARE(digest(image), busy);
        QCOMPARE(Util::GetMountPoint(DiskTools::FirstPartition(loop.node)), mountPoint);

        // A scheme other than MBR or GPT, labels FAT cannot hold: refused before anything.
        for (const QStringList &args :
             { partitionArgs(loop.node, "FAT32", "OTHER", "APM"),
               partitionArgs(loop.node, "FAT32", "TWELVE_CHARS"),
               partitionArgs(loop.node, "FAT32", QString::fromUtf8("\u20acURO")) }) {
            refused = tool("diskutil", args);
            QVERIFY2(refused.code != 0, qPrintable(args.join(' ')));
        }
        QCOMPARE(digest(image), busy);
    }

    // Another stick at the same node, at each step that writes: the tool refuses and the other
    // stick stays as it was, byte for byte.
    void swappedStickIsNeverWritten()
    {
        const QString first = m_dir.filePath("first.img"), other = m_dir.filePath("other.img");
        LoopDevice loop(first, kStickSize);
        if (loop.node.isEmpty())
            QSKIP("no loop device free");
        QFile spare(other);
        QVERIFY(spare.open(QIODevice::WriteOnly) && spare.resize(kStickSize));
        spare.close();
        seam(loop.node);
        const QStringList chosen = identity(loop.node);
        QVERIFY(chosen.contains(QStringLiteral("--serial")) && !chosen.at(1).isEmpty());

        // Before partitionDisk and before the boot helper.
        QVERIFY(loop.swapTo(other));
        const QByteArray otherBefore = digest(other);
        QVERIFY(identity(loop.node) != chosen);
        CommandRun refused
            = tool("diskutil", DiskTools::PartitionArgs(loop.node, "FAT32", "X") + chosen);
        QVERIFY2(refused.code != 0 && refused.text().contains("no longer the disk"),
                 qPrintable(refused.text()));
        refused = tool("mkbootable",
                       QStringList { loop.node, m_media + QStringLiteral("/mnt") } + chosen);
        QVERIFY2(refused.code != 0 && refused.text().contains("no longer the disk"),
                 qPrintable(refused.text()));
        QCOMPARE(digest(other), otherBefore);

        // Inside partitionDisk, between its unmount and its table: an umount that swaps the
        // stick right after it has unmounted the volume.
        QVERIFY(loop.swapTo(first));
        QCOMPARE(tool("diskutil", partitionArgs(loop.node, "FAT32", "FIRST")).code, 0);
        const QString bin = m_dir.filePath("swapbin");
        QVERIFY(QDir().mkpath(bin));
        QFile script(bin + "/umount");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\n/bin/umount \"$@\" || exit 1\nsleep 0.3\n"
                           "losetup -d '%1'\n"
                           "for i in 1 2 3 4 5 6 7 8 9 10; do losetup '%1' '%2' && exit 0; "
                           "sleep 0.2; done\nexit 0\n")
                .arg(loop.node, other)
                .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList firstIdentity = identity(loop.node);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ":" + path);
        refused
            = tool("diskutil", DiskTools::PartitionArgs(loop.node, "FAT32", "Y") + firstIdentity);
        qputenv("PATH", path);
        QVERIFY2(refused.code != 0 && refused.text().contains("no longer the disk"),
                 qPrintable(refused.text()));
        QCOMPARE(digest(other), otherBefore);
        QVERIFY(loop.swapTo(first));
    }

    // A partition held open exclusively (as an open crypt container or an LVM or RAID member
    // holds it), and a file system mounted over the stick's volume: refused, nothing changed.
    void diskInUseIsRefused()
    {
        const QString image = m_dir.filePath("inuse.img");
        LoopDevice loop(image, kStickSize);
        if (loop.node.isEmpty())
            QSKIP("no loop device free");
        seam(loop.node);
        QCOMPARE(tool("diskutil", partitionArgs(loop.node, "FAT32", "INUSE")).code, 0);
        const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(loop.node));
        QVERIFY(!mountPoint.isEmpty());

        // Stacked: a tmpfs over the volume stays, and so does the stick.
        QCOMPARE(runCommand("mount", { "-t", "tmpfs", "stacked", mountPoint }).code, 0);
        QByteArray before = firstMiB(image);
        CommandRun refused = tool("diskutil", partitionArgs(loop.node, "FAT32", "OTHER"));
        QVERIFY2(refused.code != 0 && refused.text().contains("stacked on"),
                 qPrintable(refused.text()));
        QVERIFY(mountLines().filter("stacked on " + mountPoint).size() == 1);
        QCOMPARE(firstMiB(image), before);
        QCOMPARE(runCommand("umount", { mountPoint }).code, 0);

        // Held open exclusively.
        QCOMPARE(tool("diskutil", DiskTools::UnmountDiskArgs(loop.node)).code, 0);
        const int held
            = ::open(QFile::encodeName(DiskTools::FirstPartition(loop.node)), O_RDONLY | O_EXCL);
        QVERIFY(held >= 0);
        before = digest(image);
        refused = tool("diskutil", partitionArgs(loop.node, "FAT32", "OTHER"));
        ::close(held);
        QVERIFY2(refused.code != 0 && refused.text().contains("in use"),
                 qPrintable(refused.text()));
        QCOMPARE(digest(image), before);
    }

    // A stick with three old partitions: afterwards the kernel sees one partition, at the new
    // table's start, and it holds the new volume.
    void oldPartitionsAreReplaced_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("MBR") << "dos";
        QTest::newRow("GPT") << "gpt";
    }
    void oldPartitionsAreReplaced()
    {
        QFETCH(QString, label);
        const QString image = m_dir.filePath("old.img");
        LoopDevice loop(image, kStickSize);
        if (loop.node.isEmpty())
            QSKIP("no loop device free");
        RunOptions table;
        table.input = QStringLiteral("label: %1\nstart=2048, size=8192\nstart=10240, size=40960\n"
                                     "start=51200\n")
                          .arg(label)
                          .toLatin1();
        QVERIFY(runCommand("sfdisk", { "--quiet", "--no-reread", loop.node }, table).ok());
        QCOMPARE(runCommand("partx", { "-a", loop.node }).code, 0);
        QCOMPARE(runCommand("mkfs.fat", { "-n", "OLDTWO", loop.node + "p2" }).code, 0);
        seam(loop.node);
        const CommandRun partition = tool("diskutil", partitionArgs(loop.node, "FAT32", "NEW"));
        QVERIFY2(partition.code == 0, qPrintable(partition.text()));
        const QStringList parts = QDir("/sys/class/block")
                                      .entryList({ QFileInfo(loop.node).fileName() + "p*" },
                                                 QDir::AllEntries | QDir::System);
        QCOMPARE(parts, QStringList { QFileInfo(loop.node).fileName() + "p1" });
        QFile start(QStringLiteral("/sys/class/block/%1/start").arg(parts.first()));
        QVERIFY(start.open(QIODevice::ReadOnly));
        QCOMPARE(start.readAll().trimmed(), QByteArray("2048"));
        const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(loop.node));
        QCOMPARE(mountPoint, m_media + "/NEW");
        QCOMPARE(tool("diskutil", DiskTools::UnmountDiskArgs(loop.node)).code, 0);
        const CommandRun volume = runCommand("mlabel", { "-s", "-i", loop.node + "p1", "::" });
        QVERIFY2(volume.text().contains("NEW"), qPrintable(volume.text()));
    }

    // A GPT stick made by the providers as a burn makes an MBR one (the Burn page itself leaves
    // out the boot helper for GPT): the EFI system partition, the syslinux GPT code with the
    // partition's legacy BIOS bootable attribute and an inactive protective MBR, the image's
    // files with its own UEFI loader. It boots under OVMF and, through syslinux, under BIOS.
    void gptStickBootsBiosAndUefi()
    {
        const QString efi = BootHelpers::uefiMarkerProgram();
        if (efi.isEmpty() || BootHelpers::bootmgrProgram().isEmpty()
            || !BootHelpers::haveTool("qemu-system-x86_64")
            || !QFileInfo::exists(BootHelpers::kOvmfCode))
            QSKIP("qemu, OVMF, nasm or grub-mkstandalone missing");
        const QString src = m_dir.filePath("gpt src");
        QVERIFY(BootHelpers::copyFile(BootHelpers::bootmgrProgram(), src + "/bootmgr"));
        QVERIFY(BootHelpers::copyFile(efi, src + "/EFI/BOOT/BOOTX64.EFI"));
        const QString iso = m_dir.filePath("gpt image.iso");
        QVERIFY(BootHelpers::makeBootableImage(BootHelpers::Kind::BiosAndUefi, src, iso));
        const QString stick = m_dir.filePath("gpt stick.img");
        {
            LoopDevice loop(stick, kStickSize);
            if (loop.node.isEmpty())
                QSKIP("no loop device free");
            seam(loop.node);
            const CommandRun partition
                = tool("diskutil", partitionArgs(loop.node, "FAT32", "STICK", "GPT"));
            QVERIFY2(partition.code == 0, qPrintable(partition.text()));
            const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(loop.node));
            QCOMPARE(tool("diskutil", DiskTools::UnmountDiskArgs(loop.node)).code, 0);
            const CommandRun boot
                = tool("mkbootable", QStringList { loop.node, mountPoint } + identity(loop.node));
            QVERIFY2(boot.code == 0, qPrintable(boot.text()));
            QVERIFY(Util::WriteMulLinesToFile({ "default boot", "LABEL boot", "MENU LABEL boot",
                                                "COM32 /syslinux/chain.c32",
                                                "APPEND fs ntldr=/bootmgr" },
                                              mountPoint + "/syslinux.cfg"));
            QCOMPARE(runCommand(SevenZip::Program(), SevenZip::UnpackArgs(mountPoint, iso)).code,
                     0);
            QCOMPARE(int(UefiBoot::MakeVolumeUefiBootable(iso, mountPoint).outcome),
                     int(UefiBoot::Outcome::AlreadyBootable));
            QCOMPARE(tool("diskutil", DiskTools::UnmountDiskArgs(loop.node)).code, 0);
            const QString dump = runCommand("sfdisk", { "--dump", loop.node }).text();
            QVERIFY2(dump.contains("label: gpt")
                         && dump.contains("type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B")
                         && dump.contains("LegacyBIOSBootable"),
                     qPrintable(dump));
            QFile disk(stick);
            QVERIFY(disk.open(QIODevice::ReadOnly));
            QCOMPARE(quint8(disk.read(512).at(446)), quint8(0x00));
            disk.seek(2048 * 512 + 82);
            QCOMPARE(disk.read(8), QByteArray("FAT32   "));
        }
        const auto uefi = BootHelpers::boot(stick, BootHelpers::Medium::UsbDisk, true);
        QVERIFY2(uefi.has(BootHelpers::kUefiMarker), uefi.serial.right(300).constData());
        const auto bios = BootHelpers::boot(stick, BootHelpers::Medium::UsbDisk, false, 60);
        QVERIFY2(bios.has(BootHelpers::kBootmgrMarker), bios.serial.right(300).constData());
    }

    // The Copy-disc and optical Burn paths: a loop device holding an image is a drive with a
    // disc, a plain file a burner.
    void opticalDrives()
    {
        const QString source = m_dir.filePath("disc source");
        QVERIFY(QDir().mkpath(source + "/sub dir"));
        QVERIFY(Util::WriteMulLinesToFile({ "hello" }, source + "/sub dir/read me.txt"));
        const QString discImage = m_dir.filePath("disc.iso");
        QCOMPARE(runCommand(Util::GetCurrentExePath() + "/cdrtools/mkisofs",
                            { "-J", "-R", "-V", "MY DISC", "-o", discImage, source })
                     .code,
                 0);
        QFile disc(discImage);
        QVERIFY(disc.open(QIODevice::ReadOnly));
        LoopDevice loop(m_dir.filePath("drive.img"), disc.size(), disc.readAll());
        if (loop.node.isEmpty())
            QSKIP("no loop device free");
        const QString burner = m_dir.filePath("burner.img");
        QVERIFY(Util::WriteMulLinesToFile({}, burner));
        seam(QString(), loop.node + ":" + burner);

        const QList<DiskTools::Drive> drives
            = DiskTools::ReadDriveStatus(tool("drutil", { "status" }).text().split('\n'));
        QCOMPARE(drives.size(), 2);
        QCOMPARE(drives.at(0).Text(), QStringLiteral("VEXLOR TEST DRIVE 1.00 (%1)").arg(loop.node));
        QCOMPARE(drives.at(1).device, burner);
        QVERIFY(tool("diskutil", { "info", loop.node }).text().contains("Optical Drive Type:"));

        // The disc mounted (FUSE here), found in the mount listing and copied to an image.
        const QString mounted = m_dir.filePath("MY DISC");
        QVERIFY(QDir().mkpath(mounted));
        QCOMPARE(
            runCommand("fuseiso", { "-p", loop.node, mounted, "-o", "fsname=" + loop.node }).code,
            0);
        QCOMPARE(DiskTools::MountPointForDevice(mountLines(), loop.node), mounted);
        const QString copy = m_dir.filePath("copy.iso");
        const CommandRun hybrid = tool("hdiutil", DiskTools::MakeHybridArgs(copy, mounted));
        QVERIFY2(hybrid.code == 0, qPrintable(hybrid.text()));
        QVERIFY(hybrid.text().contains("DRStatusPercentCompleteKey: 1.000000"));
        const CommandRun listing = runCommand(Util::GetCurrentExePath() + "/7z/7z", { "l", copy });
        QVERIFY2(listing.text().contains("sub dir/read me.txt"), qPrintable(listing.text()));
        QVERIFY(tool("hdiutil", { "makehybrid", "-o", copy, mounted }).code != 0); // no -ov

        QCOMPARE(tool("hdiutil", DiskTools::EjectArgs(loop.node)).code, 0);
        QVERIFY(DiskTools::MountPointForDevice(mountLines(), loop.node).isEmpty());

        // Burning to the file burner writes the image at its start.
        const CommandRun burn = tool("hdiutil", DiskTools::BurnArgs(copy, burner));
        QVERIFY2(burn.code == 0, qPrintable(burn.text()));
        QVERIFY(burn.text().contains("DRStatusPercentCompleteKey: 1.000000"));
        QFile written(burner);
        QFile original(copy);
        QVERIFY(written.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(original.size()), original.readAll());
        QVERIFY(tool("hdiutil", DiskTools::BurnArgs(copy, "/dev/vda")).code != 0);
    }
};

QTEST_GUILESS_MAIN(TestDiskProviders)
#include "tst_diskproviders.moc"
