// The Linux disk tools run as programs on loop devices over files this test creates: the disk
// list, partitioning and formatting, the boot helper through osascript, the refusals, the
// mount listing, and the optical drive tools on a loop device holding an image and a file
// burner. The loop devices are named through the test seams; the machine's own disks are never
// written (their refusal is shown on recorded lsblk output in tst_diskprobe).

#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/util.h"

#include <QCryptographicHash>
#include <QtTest>

#include <unistd.h>

namespace {

struct Run
{
    int code = -1;
    QString output; // standard output, then standard error
    QString out; // standard output alone
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
             out + QString::fromUtf8(process.readAllStandardError()), out };
}

Run tool(const QString &name, const QStringList &arguments)
{
    return run(PlatformTools::Program(name), arguments);
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result();
}

QStringList mountLines()
{
    return tool("mount", {}).output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A loop device over a new sparse file; everything mounted from it is unmounted and the device
// detached when the guard ends, also when the test fails.
class LoopDevice
{
public:
    LoopDevice(const QString &file, qint64 size, const QByteArray &content = {})
    {
        QFile backing(file);
        if (!backing.open(QIODevice::WriteOnly) || !backing.resize(size))
            return;
        backing.write(content);
        backing.close();
        const Run attach = run("losetup", { "-f", "--show", file });
        if (attach.code == 0)
            m_node = attach.output.trimmed();
    }
    ~LoopDevice()
    {
        if (m_node.isEmpty())
            return;
        for (const QString &line : mountLines()) {
            DiskTools::MountEntry entry;
            if (DiskTools::ParseMountLine(line, &entry)
                && DiskTools::IsDiskOrPartition(entry.device, m_node))
                run("umount", { "-l", entry.mountPoint });
        }
        run("partx", { "-d", m_node });
        run("losetup", { "-d", m_node });
    }
    QString node() const { return m_node; }

private:
    QString m_node;
};

constexpr qint64 kStickSize = 64 * 1024 * 1024;

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
        if (loop.node().isEmpty())
            QSKIP("no loop device free");
        // Without the seam a loop device is never offered.
        seam(QString());
        QVERIFY(!tool("diskutil", { "list" }).output.contains(loop.node()));

        seam(loop.node());
        const Run list = tool("diskutil", { "list" });
        QCOMPARE(list.code, 0);
        QStringList listed;
        for (const QString &line : list.output.split('\n')) {
            if (!DiskTools::ListedDisk(line).isEmpty())
                listed << DiskTools::ListedDisk(line);
        }
        QCOMPARE(listed, QStringList { loop.node() });

        const QString info = tool("diskutil", DiskTools::InfoArgs(loop.node())).output;
        QVERIFY2(DiskTools::IsUsbStickInfo(info), qPrintable(info));
        QCOMPARE(Util::DiskSpaceTotal(loop.node()), kStickSize);
    }

    // The Burn page's path: partition and format, find the mount point, unmount, make the disk
    // bootable through osascript, write the configuration.
    void partitionAndMakeBootable()
    {
        const QString image = m_dir.filePath("stick.img");
        LoopDevice loop(image, kStickSize);
        if (loop.node().isEmpty())
            QSKIP("no loop device free");
        seam(loop.node());
        const Run partition
            = tool("diskutil", DiskTools::PartitionArgs(loop.node(), "FAT32", "testvol"));
        QVERIFY2(partition.code == 0, qPrintable(partition.output));

        const QString first = DiskTools::FirstPartition(loop.node());
        const QString mountPoint = Util::GetMountPoint(first);
        QCOMPARE(mountPoint, m_media + QStringLiteral("/TESTVOL"));
        QCOMPARE(DiskTools::MountPointForDevice(mountLines(), loop.node()), mountPoint);
        QCOMPARE(Util::GetMountPoint(mountPoint), mountPoint); // a blank in the one argument

        const Run unmount = run(PlatformTools::Program("diskutil"),
                                QProcess::splitCommand("unmountDisk " + loop.node()));
        QVERIFY2(unmount.code == 0, qPrintable(unmount.output));
        QVERIFY(Util::GetMountPoint(first).isEmpty());

        const QString command = DiskTools::MkbootableCommand(PlatformTools::Program("mkbootable"),
                                                             loop.node(), mountPoint);
        const Run boot = tool("osascript", DiskTools::AdminArgs(command));
        QVERIFY2(boot.code == 0, qPrintable(boot.output));
        QCOMPARE(Util::GetMountPoint(first), mountPoint);
        QVERIFY(Util::WriteMulLinesToFile({ "default boot" }, mountPoint + "/syslinux.cfg"));
        QCOMPARE(tool("diskutil", DiskTools::UnmountDiskArgs(loop.node())).code, 0);

        // The volume, read with mtools: label, boot loader and modules, configuration.
        const Run label = run("mlabel", { "-s", "-i", first, "::" });
        QVERIFY2(label.output.contains("TESTVOL"), qPrintable(label.output));
        const QString files
            = run("mdir", { "-a", "-b", "-i", first, "::/syslinux" }).output.toLower();
        for (const char *name : { "ldlinux.sys", "chain.c32", "libcom32.c32", "libutil.c32" })
            QVERIFY2(files.contains(QLatin1String("/syslinux/") + name), qPrintable(files));
        QCOMPARE(run("mtype", { "-i", first, "::/syslinux.cfg" }).out,
                 QStringLiteral("default boot\n"));

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
        if (loop.node().isEmpty())
            QSKIP("no loop device free");

        // A loop device the seam does not name is no disk that may be written.
        seam(QStringLiteral("/dev/loop-none"));
        const QByteArray before = fileHash(image);
        Run refused = tool("diskutil", DiskTools::PartitionArgs(loop.node(), "FAT32", "NONAME"));
        QVERIFY(refused.code != 0);
        QVERIFY2(refused.output.contains("refused"), qPrintable(refused.output));
        refused = tool("mkbootable", { loop.node(), m_dir.filePath("mnt") });
        QVERIFY(refused.code != 0);
        QCOMPARE(fileHash(image), before);

        // A volume that is in use cannot be unmounted: refused, and the disk stays as it was.
        seam(loop.node());
        QCOMPARE(
            tool("diskutil", DiskTools::PartitionArgs(loop.node(), "MS-DOS FAT16", "BUSY")).code,
            0);
        const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(loop.node()));
        QVERIFY(!mountPoint.isEmpty());
        QProcess holder;
        holder.setWorkingDirectory(mountPoint);
        holder.start("sleep", { "60" });
        QVERIFY(holder.waitForStarted());
        const QByteArray busy = fileHash(image);
        refused = tool("diskutil", DiskTools::PartitionArgs(loop.node(), "FAT32", "OTHER"));
        holder.kill();
        holder.waitForFinished();
        QVERIFY(refused.code != 0);
        QVERIFY2(refused.output.contains("in use"), qPrintable(refused.output));
        QCOMPARE(fileHash(image), busy);
        QCOMPARE(Util::GetMountPoint(DiskTools::FirstPartition(loop.node())), mountPoint);

        // A label FAT cannot hold.
        QVERIFY(
            tool("diskutil", DiskTools::PartitionArgs(loop.node(), "FAT32", "TWELVE_CHARS")).code
            != 0);
    }

    // The Copy-disc and optical Burn paths: a loop device holding an image is a drive with a
    // disc, a plain file a burner.
    void opticalDrives()
    {
        const QString source = m_dir.filePath("disc source");
        QVERIFY(QDir().mkpath(source + "/sub dir"));
        QVERIFY(Util::WriteMulLinesToFile({ "hello" }, source + "/sub dir/read me.txt"));
        const QString discImage = m_dir.filePath("disc.iso");
        QCOMPARE(run(Util::GetCurrentExePath() + "/cdrtools/mkisofs",
                     { "-J", "-R", "-V", "MY DISC", "-o", discImage, source })
                     .code,
                 0);
        QFile disc(discImage);
        QVERIFY(disc.open(QIODevice::ReadOnly));
        LoopDevice loop(m_dir.filePath("drive.img"), disc.size(), disc.readAll());
        if (loop.node().isEmpty())
            QSKIP("no loop device free");
        const QString burner = m_dir.filePath("burner.img");
        QVERIFY(Util::WriteMulLinesToFile({}, burner));
        seam(QString(), loop.node() + ":" + burner);

        const QList<DiskTools::Drive> drives
            = DiskTools::ReadDriveStatus(tool("drutil", { "status" }).output.split('\n'));
        QCOMPARE(drives.size(), 2);
        QCOMPARE(drives.at(0).Text(),
                 QStringLiteral("VEXLOR TEST DRIVE 1.00 (%1)").arg(loop.node()));
        QCOMPARE(drives.at(1).device, burner);
        QVERIFY(tool("diskutil", { "info", loop.node() }).output.contains("Optical Drive Type:"));

        // The disc mounted (FUSE here), found in the mount listing and copied to an image.
        const QString mounted = m_dir.filePath("MY DISC");
        QVERIFY(QDir().mkpath(mounted));
        QCOMPARE(run("fuseiso", { "-p", loop.node(), mounted, "-o", "fsname=" + loop.node() }).code,
                 0);
        QCOMPARE(DiskTools::MountPointForDevice(mountLines(), loop.node()), mounted);
        const QString copy = m_dir.filePath("copy.iso");
        const Run hybrid = tool("hdiutil", DiskTools::MakeHybridArgs(copy, mounted));
        QVERIFY2(hybrid.code == 0, qPrintable(hybrid.output));
        QVERIFY(hybrid.output.contains("DRStatusPercentCompleteKey: 1.000000"));
        const Run listing = run(Util::GetCurrentExePath() + "/7z/7z", { "l", copy });
        QVERIFY2(listing.output.contains("sub dir/read me.txt"), qPrintable(listing.output));
        QVERIFY(tool("hdiutil", { "makehybrid", "-o", copy, mounted }).code != 0); // no -ov

        QCOMPARE(tool("hdiutil", DiskTools::EjectArgs(loop.node())).code, 0);
        QVERIFY(DiskTools::MountPointForDevice(mountLines(), loop.node()).isEmpty());

        // Burning to the file burner writes the image at its start.
        const Run burn = tool("hdiutil", DiskTools::BurnArgs(copy, burner));
        QVERIFY2(burn.code == 0, qPrintable(burn.output));
        QVERIFY(burn.output.contains("DRStatusPercentCompleteKey: 1.000000"));
        QFile written(burner);
        QFile original(copy);
        QVERIFY(written.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(written.read(original.size()), original.readAll());
        QVERIFY(tool("hdiutil", DiskTools::BurnArgs(copy, "/dev/vda")).code != 0);
    }
};

QTEST_GUILESS_MAIN(TestDiskProviders)
#include "tst_diskproviders.moc"
