// diskutil for Linux: lists the disks a user may write, reports on a disk, partition or mount
// point, repartitions and formats a disk, and unmounts a disk's volumes.
//
//   diskutil list
//   diskutil info DISK|PARTITION|MOUNTPOINT
//   diskutil partitionDisk DISK 1 MBR|GPT FAT32|"MS-DOS FAT32"|"MS-DOS FAT16"|FAT16 NAME R IDENTITY
//
// With MBR the partition is typed FAT (0x0c for FAT32, 0x0e for FAT16); with GPT it is typed as
// an EFI system partition, which UEFI firmware looks into for \EFI\BOOT\BOOTX64.EFI.
//   diskutil unmountDisk DISK [IDENTITY]
//   diskutil writeImage DISK IMAGE IDENTITY
//
// writeImage writes the image's bytes to the whole disk from sector 0 (an image that carries its
// own partition table), flushes them, reads them back and compares, printing
// "DRStatusPercentCompleteKey: F" progress lines, and "Verifying..." before the read-back.
//
// IDENTITY is "--serial" S "--wwn" W "--device-number" D "--size" N "--model" M, as "info" reports
// them ("Serial Number:", "WWN:", "Device Number:", "Disk Size:", "Device / Media Name:"): the
// disk the user chose. Only the disks that "list" offers (removable media, never one that holds
// the running system) can be partitioned, and only while they are that disk: partitionDisk
// opens the whole disk exclusively, checks the identity on it and holds it while it writes the
// table and the file system. A disk in use in any way (a volume it cannot unmount, another file
// system mounted over one, an open container, a volume group or array member) is refused before
// anything is written.

#include "lib/probe.h"
#include "lib/system.h"
#include "lib/toolmain.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using Probe::BlockDevice;

namespace {

int fail(const QString &message)
{
    Sys::Warn(QStringLiteral("diskutil: ") + message);
    return 1;
}

QString protocolName(const QString &tran)
{
    if (tran == QLatin1String("usb"))
        return QStringLiteral("USB");
    if (tran == QLatin1String("sata") || tran == QLatin1String("ata"))
        return QStringLiteral("SATA");
    if (tran == QLatin1String("nvme"))
        return QStringLiteral("PCI-Express");
    if (tran == QLatin1String("mmc"))
        return QStringLiteral("Secure Digital");
    if (tran.isEmpty())
        return QStringLiteral("Virtual");
    return tran.toUpper();
}

QString field(const QString &name, const QString &value)
{
    return QStringLiteral("   %1 %2").arg(name + QLatin1Char(':'), -27).arg(value);
}

int list()
{
    for (const BlockDevice &disk : Sys::OfferedDisks()) {
        Sys::Say(disk.path + QStringLiteral(" (external, physical):"));
        Sys::Say(QStringLiteral("   #:  %1 %2 %3")
                     .arg(QStringLiteral("TYPE"), -24)
                     .arg(QStringLiteral("SIZE"), 10)
                     .arg(QStringLiteral("IDENTIFIER")));
        Sys::Say(QStringLiteral("   0:  %1 %2 %3")
                     .arg(disk.children.isEmpty() ? QStringLiteral("(no partitions)")
                                                  : QStringLiteral("FDisk_partition_scheme"),
                          -24)
                     .arg(Probe::HumanSize(disk.size), 10)
                     .arg(disk.name));
        int index = 1;
        for (const BlockDevice &part : disk.children) {
            Sys::Say(QStringLiteral("   %1:  %2 %3 %4")
                         .arg(index++)
                         .arg(part.fsType.isEmpty() ? part.type : part.fsType, -24)
                         .arg(Probe::HumanSize(part.size), 10)
                         .arg(part.name));
        }
        Sys::Say(QString());
    }
    return 0;
}

// The device tree entry that holds the given one (itself for a whole device).
const BlockDevice *wholeOf(const QList<BlockDevice> &devices, const QString &path)
{
    for (const BlockDevice &device : devices) {
        if (device.path == path || Probe::FindDevice(device.children, path))
            return &device;
    }
    return nullptr;
}

QString volumeLabel(const QString &path)
{
    const Sys::Result result = Sys::Run(QStringLiteral("blkid"),
                                        { QStringLiteral("-o"), QStringLiteral("value"),
                                          QStringLiteral("-s"), QStringLiteral("LABEL"), path });
    return QString::fromUtf8(result.out).trimmed();
}

int info(const QString &target)
{
    const QList<BlockDevice> devices = Sys::BlockDevices();
    QString path = target;
    if (!Probe::FindDevice(devices, path)) {
        // A mount point: the device it was mounted from.
        const QString wanted = QDir::cleanPath(QFileInfo(target).absoluteFilePath());
        path.clear();
        for (const Probe::MountEntry &mount : Sys::Mounts()) {
            if (mount.mountPoint == wanted && Probe::FindDevice(devices, mount.source))
                path = mount.source;
        }
    }
    const BlockDevice *device = path.isEmpty() ? nullptr : Probe::FindDevice(devices, path);
    if (!device)
        return fail(QStringLiteral("Could not find disk: ") + target);
    const BlockDevice *whole = wholeOf(devices, device->path);
    if (!whole)
        whole = device;

    const QStringList usbSeam = Sys::TestUsbDisks();
    const QStringList opticalSeam = Sys::TestOpticalDrives();
    const bool loop = whole->type == QLatin1String("loop");
    const bool usbTest = loop && usbSeam.contains(whole->path);
    const bool opticalTest = loop && opticalSeam.contains(whole->path);
    const bool optical = opticalTest || whole->type == QLatin1String("rom");
    const QString protocol = usbTest ? QStringLiteral("USB")
        : opticalTest                ? QStringLiteral("ATAPI")
                                     : protocolName(whole->tran);
    const bool removable = usbTest || opticalTest || Probe::IsRemovableMedia(*whole);
    const Probe::DiskIdentity identity = Sys::IdentityOfNode(whole->path);

    const QList<Probe::MountEntry> mounts = Sys::MountsOf(device->path);
    const QString fsType = mounts.isEmpty() ? device->fsType : mounts.first().fsType;
    const bool isWhole = whole == device;
    Sys::Say(field(QStringLiteral("Device Identifier"), device->name));
    Sys::Say(field(QStringLiteral("Device Node"), device->path));
    Sys::Say(
        field(QStringLiteral("Whole"), isWhole ? QStringLiteral("Yes") : QStringLiteral("No")));
    Sys::Say(field(QStringLiteral("Part of Whole"), whole->name));
    Sys::Say(field(QStringLiteral("Device / Media Name"), identity.model));
    Sys::Say(field(QStringLiteral("Device Number"), identity.deviceNumber));
    Sys::Say(field(QStringLiteral("Serial Number"), identity.serial));
    Sys::Say(field(QStringLiteral("WWN"), identity.wwn));
    Sys::Say(QString());
    if (!isWhole || !device->children.isEmpty() || !mounts.isEmpty())
        Sys::Say(field(QStringLiteral("Volume Name"), volumeLabel(device->path)));
    Sys::Say(field(QStringLiteral("Mounted"),
                   mounts.isEmpty() ? QStringLiteral("No") : QStringLiteral("Yes")));
    Sys::Say(field(QStringLiteral("Mount Point"),
                   mounts.isEmpty() ? QStringLiteral("Not mounted") : mounts.first().mountPoint));
    if (!fsType.isEmpty())
        Sys::Say(field(QStringLiteral("File System Personality"), fsType));
    Sys::Say(QString());
    Sys::Say(field(QStringLiteral("Protocol"), protocol));
    Sys::Say(field(QStringLiteral("Disk Size"),
                   QStringLiteral("%1 (%2 Bytes) (exactly %3 512-Byte-Units)")
                       .arg(Probe::HumanSize(device->size))
                       .arg(device->size)
                       .arg(device->size / 512)));
    Sys::Say(field(QStringLiteral("Device Block Size"), QStringLiteral("512 Bytes")));
    Sys::Say(QString());
    Sys::Say(field(QStringLiteral("Removable Media"),
                   removable ? QStringLiteral("Removable") : QStringLiteral("Fixed")));
    if (optical)
        Sys::Say(field(QStringLiteral("Optical Drive Type"), QStringLiteral("CD-ROM, DVD-ROM")));
    return 0;
}

int unmountDisk(const QStringList &arguments)
{
    // unmountDisk DISK [IDENTITY]: only the disks the list offers, and optical drives; never
    // the volumes of the system.
    Probe::DiskIdentity expected;
    QStringList rest = arguments;
    const bool identified = Probe::TakeIdentityOptions(arguments, &expected, &rest);
    if (rest.size() != 2)
        return fail(QStringLiteral("usage: diskutil unmountDisk DISK [IDENTITY]"));
    const QString name = rest.at(1);
    BlockDevice disk;
    const QList<BlockDevice> devices = Sys::BlockDevices();
    const BlockDevice *found = Probe::FindDevice(devices, name);
    if (!found || found->type == QLatin1String("part"))
        return fail(QStringLiteral("Could not find disk: ") + name);
    const bool optical = found->type == QLatin1String("rom")
        || (found->type == QLatin1String("loop") && Sys::TestOpticalDrives().contains(found->path));
    if (!optical && !Sys::FindOfferedDisk(found->path, &disk))
        return fail(QStringLiteral("%1 is not an external disk; refused").arg(name));
    disk = *found;
    if (identified) {
        const QString difference
            = Probe::IdentityDifference(expected, Sys::IdentityOfNode(disk.path));
        if (!difference.isEmpty())
            return fail(QStringLiteral("%1 is no longer the disk that was chosen (%2); nothing "
                                       "was unmounted")
                            .arg(disk.path, difference));
    }
    QString error;
    if (!Sys::UnmountTree(disk, &error)) {
        if (!Sys::IsRoot())
            return Sys::RerunAsRoot(arguments);
        return fail(QStringLiteral("Unmount of %1 failed: %2").arg(name, error));
    }
    Sys::Say(QStringLiteral("Unmount of all volumes on %1 was successful").arg(disk.name));
    return 0;
}

// A FAT volume label: 1 to 11 printable ASCII characters, none of those FAT forbids, no blank
// at either end.
bool validLabel(const QString &label)
{
    static const QString bad = QStringLiteral("*?.,;:/\\|+=<>[]\"");
    for (const QChar c : label) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || bad.contains(c))
            return false;
    }
    return !label.isEmpty() && label.size() <= 11 && label.trimmed() == label;
}

int partitionDisk(const QStringList &arguments)
{
    // partitionDisk DISK 1 MBR|GPT FORMAT NAME R IDENTITY
    Probe::DiskIdentity expected;
    QStringList words;
    if (!Probe::TakeIdentityOptions(arguments, &expected, &words) || words.size() != 7)
        return fail(QStringLiteral("Usage: diskutil partitionDisk DISK 1 MBR|GPT FORMAT NAME R "
                                   "--serial S --wwn W --device-number D --size N --model M"));
    const QString name = words.at(1);
    const QString scheme = words.at(3).toUpper();
    const bool gpt = scheme == QLatin1String("GPT");
    if (words.at(2) != QLatin1String("1") || (scheme != QLatin1String("MBR") && !gpt)
        || words.at(6).toUpper() != QLatin1String("R"))
        return fail(QStringLiteral("only one partition over the whole disk in an MBR or GPT table "
                                   "(1 MBR|GPT ... R) is supported"));
    const QString format = words.at(4).toUpper();
    QString fatSize;
    if (format == QLatin1String("FAT32") || format == QLatin1String("MS-DOS FAT32"))
        fatSize = QStringLiteral("32");
    else if (format == QLatin1String("FAT16") || format == QLatin1String("MS-DOS FAT16"))
        fatSize = QStringLiteral("16");
    else
        return fail(QStringLiteral("unknown file system: ") + words.at(4));
    const QString label = words.at(5).toUpper();
    if (!validLabel(label))
        return fail(QStringLiteral("%1 is not a valid FAT volume name (at most 11 characters, no "
                                   "punctuation)")
                        .arg(words.at(5)));

    BlockDevice disk;
    QString error;
    if (!Sys::FindChosenDisk(name, expected, QStringLiteral("erased"), &disk, &error))
        return fail(error);
    if (!Sys::IsRoot())
        return Sys::RerunAsRoot(arguments);

    Sys::Say(QStringLiteral("Started partitioning on %1").arg(disk.path));
    Sys::Say(QStringLiteral("Unmounting disk"));
    // From here to the file system the disk is held, and it is the disk the user chose.
    Sys::HeldDisk held;
    if (!Sys::TakeChosenDisk(disk, expected, &held, &error))
        return fail(error);

    Sys::Say(QStringLiteral("Creating the partition map"));
    const QString type = gpt             ? QStringLiteral("C12A7328-F81F-11D2-BA4B-00A0C93EC93B")
        : fatSize == QLatin1String("32") ? QStringLiteral("c")
                                         : QStringLiteral("e");
    constexpr qint64 start = 2048;
    Sys::Result result
        = Sys::Run(QStringLiteral("sfdisk"),
                   { QStringLiteral("--wipe"), QStringLiteral("always"),
                     QStringLiteral("--wipe-partitions"), QStringLiteral("always"),
                     QStringLiteral("--no-reread"), QStringLiteral("--quiet"), disk.path },
                   QStringLiteral("label: %1\nstart=%2, type=%3\n")
                       .arg(gpt ? QStringLiteral("gpt") : QStringLiteral("dos"))
                       .arg(start)
                       .arg(type)
                       .toLatin1());
    if (result.exitCode != 0)
        return fail(QStringLiteral("partitioning failed: ")
                    + QString::fromLocal8Bit(result.err).trimmed());
    const Sys::KernelPartition partition = Sys::NewFirstPartition(disk.path, start, &error);
    if (partition.node.isEmpty())
        return fail(error);

    Sys::Say(QStringLiteral("Formatting %1 as MS-DOS (FAT%2) with name %3")
                 .arg(partition.node, fatSize, label));
    if (!Sys::FormatFat(held, partition, fatSize, label, &error))
        return fail(error);
    // A mounted volume holds its partition exclusively, which the held disk would refuse.
    held.Release();

    Sys::Say(QStringLiteral("Mounting disk"));
    const QString mountPoint = Sys::FreeMountPoint(label);
    if (!Sys::MountFat(partition.node, mountPoint, &error))
        return fail(QStringLiteral("mounting %1 failed: %2").arg(partition.node, error));
    Sys::Say(QStringLiteral("Finished partitioning on %1").arg(disk.path));
    Sys::Say(QStringLiteral("%1 mounted at %2").arg(partition.node, mountPoint));
    return 0;
}

int writeImage(const QStringList &arguments)
{
    Probe::DiskIdentity expected;
    QStringList words;
    if (!Probe::TakeIdentityOptions(arguments, &expected, &words) || words.size() != 3)
        return fail(QStringLiteral("Usage: diskutil writeImage DISK IMAGE --serial S --wwn W "
                                   "--device-number D --size N --model M"));
    BlockDevice disk;
    QString error;
    if (!Sys::FindChosenDisk(words.at(1), expected, QStringLiteral("erased"), &disk, &error))
        return fail(error);
    QFile image(words.at(2));
    if (!image.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("the image %1 cannot be read").arg(words.at(2)));
    const qint64 size = image.size();
    if (size <= 0 || size > disk.size)
        return fail(QStringLiteral("the image does not fit on %1").arg(disk.path));
    if (!Sys::IsRoot())
        return Sys::RerunAsRoot(arguments);

    Sys::HeldDisk held;
    if (!Sys::TakeChosenDisk(disk, expected, &held, &error))
        return fail(error);

    Sys::Say(QStringLiteral("Writing the image to %1").arg(disk.path));
    if (!Sys::WriteImage(
            held, image, [](double f) { Sys::Say(Probe::ProgressLine(f * 0.7)); }, &error))
        return fail(error);
    Sys::Say(QStringLiteral("Verifying..."));
    if (!Sys::CompareImage(
            held, image, [](double f) { Sys::Say(Probe::ProgressLine(0.7 + f * 0.3)); }, &error))
        return fail(error);
    held.Release();
    // The kernel learns of the image's partitions.
    Sys::Run(QStringLiteral("partx"), { QStringLiteral("-a"), disk.path });
    Sys::Say(Probe::ProgressLine(1.0));
    Sys::Say(QStringLiteral("Finished writing the image to %1").arg(disk.path));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    return ToolMain::Run(
        argc, argv, QStringLiteral("diskutil"),
        { { QStringLiteral("list"), [](const QStringList &) { return list(); }, 1 },
          { QStringLiteral("info"),
            [](const QStringList &arguments) { return info(arguments.at(1)); }, 2 },
          { QStringLiteral("unmountDisk"), unmountDisk },
          { QStringLiteral("partitionDisk"), partitionDisk },
          { QStringLiteral("writeImage"), writeImage } },
        QStringLiteral("diskutil list | info DEVICE | unmountDisk DISK | "
                       "partitionDisk DISK 1 MBR|GPT FORMAT NAME R IDENTITY"));
}
