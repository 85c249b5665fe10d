// diskutil for Linux: lists the disks a user may write, reports on a disk, partition or mount
// point, repartitions and formats a disk, and unmounts a disk's volumes.
//
//   diskutil list
//   diskutil info DISK|PARTITION|MOUNTPOINT
//   diskutil partitionDisk DISK 1 MBR FAT32|"MS-DOS FAT32"|"MS-DOS FAT16"|FAT16 NAME R
//   diskutil unmountDisk DISK
//
// Only the disks that "list" offers (USB-attached, removable or hot-pluggable, never one that
// holds the running system) can be partitioned.

#include "lib/probe.h"
#include "lib/system.h"

#include <QCoreApplication>
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
    const bool usbTest = usbSeam.contains(whole->path);
    const bool opticalTest = opticalSeam.contains(whole->path);
    const bool optical = opticalTest || whole->type == QLatin1String("rom");
    const QString protocol = usbTest ? QStringLiteral("USB")
        : opticalTest                ? QStringLiteral("ATAPI")
                                     : protocolName(whole->tran);
    const bool removable = usbTest || opticalTest || whole->removable || whole->hotplug;

    const QList<Probe::MountEntry> mounts = Sys::MountsOf(device->path);
    const QString fsType = mounts.isEmpty() ? device->fsType : mounts.first().fsType;
    const bool isWhole = whole == device;
    Sys::Say(field(QStringLiteral("Device Identifier"), device->name));
    Sys::Say(field(QStringLiteral("Device Node"), device->path));
    Sys::Say(
        field(QStringLiteral("Whole"), isWhole ? QStringLiteral("Yes") : QStringLiteral("No")));
    Sys::Say(field(QStringLiteral("Part of Whole"), whole->name));
    Sys::Say(field(QStringLiteral("Device / Media Name"),
                   QStringList { whole->vendor, whole->model }.join(QLatin1Char(' ')).trimmed()));
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

int unmountDisk(const QStringList &arguments, const QString &name)
{
    // Only the disks the list offers, and optical drives: never the volumes of the system.
    BlockDevice disk;
    const QList<BlockDevice> devices = Sys::BlockDevices();
    const BlockDevice *found = Probe::FindDevice(devices, name);
    if (!found || found->type == QLatin1String("part"))
        return fail(QStringLiteral("Could not find disk: ") + name);
    const bool optical
        = found->type == QLatin1String("rom") || Sys::TestOpticalDrives().contains(found->path);
    if (!optical && !Sys::FindOfferedDisk(found->path, &disk))
        return fail(QStringLiteral("%1 is not an external disk; refused").arg(name));
    disk = *found;
    QString error;
    if (!Sys::UnmountTree(disk, &error)) {
        if (!Sys::IsRoot())
            return Sys::RerunAsRoot(arguments);
        return fail(QStringLiteral("Unmount of %1 failed: %2").arg(name, error));
    }
    Sys::Say(QStringLiteral("Unmount of all volumes on %1 was successful").arg(disk.name));
    return 0;
}

// A FAT volume label: at most 11 characters, upper case, none of the characters FAT forbids.
bool validLabel(const QString &label)
{
    static const QRegularExpression bad(QStringLiteral("[\\x00-\\x1f*?.,;:/\\\\|+=<>\\[\\]\"]"));
    return !label.isEmpty() && label.size() <= 11 && !label.contains(bad)
        && label.toLatin1().size() == label.size() && label.trimmed() == label;
}

int partitionDisk(const QStringList &arguments)
{
    // partitionDisk DISK 1 MBR FORMAT NAME R
    if (arguments.size() != 7)
        return fail(QStringLiteral("Usage: diskutil partitionDisk DISK 1 MBR FORMAT NAME R"));
    const QString name = arguments.at(1);
    if (arguments.at(2) != QLatin1String("1") || arguments.at(3) != QLatin1String("MBR")
        || arguments.at(6).toUpper() != QLatin1String("R"))
        return fail(QStringLiteral("only one partition over the whole disk in an MBR table (1 MBR "
                                   "... R) is supported"));
    const QString format = arguments.at(4).toUpper();
    QString fatSize;
    if (format == QLatin1String("FAT32") || format == QLatin1String("MS-DOS FAT32"))
        fatSize = QStringLiteral("32");
    else if (format == QLatin1String("FAT16") || format == QLatin1String("MS-DOS FAT16"))
        fatSize = QStringLiteral("16");
    else
        return fail(QStringLiteral("unknown file system: ") + arguments.at(4));
    const QString label = arguments.at(5).toUpper();
    if (!validLabel(label))
        return fail(QStringLiteral("%1 is not a valid FAT volume name (at most 11 characters, no "
                                   "punctuation)")
                        .arg(arguments.at(5)));

    BlockDevice disk;
    if (!Sys::FindOfferedDisk(name, &disk))
        return fail(
            QStringLiteral("%1 is not an external disk that may be erased; refused").arg(name));
    if (!Sys::IsRoot())
        return Sys::RerunAsRoot(arguments);

    Sys::Say(QStringLiteral("Started partitioning on %1").arg(disk.path));
    Sys::Say(QStringLiteral("Unmounting disk"));
    QString error;
    if (!Sys::UnmountTree(disk, &error))
        return fail(
            QStringLiteral("%1 is in use and was left unchanged: %2").arg(disk.path, error));

    Sys::Say(QStringLiteral("Creating the partition map"));
    const QString type = fatSize == QLatin1String("32") ? QStringLiteral("c") : QStringLiteral("e");
    Sys::Result result
        = Sys::Run(QStringLiteral("sfdisk"),
                   { QStringLiteral("--wipe"), QStringLiteral("always"),
                     QStringLiteral("--wipe-partitions"), QStringLiteral("always"),
                     QStringLiteral("--no-reread"), QStringLiteral("--quiet"), disk.path },
                   QStringLiteral("label: dos\nstart=2048, type=%1\n").arg(type).toLatin1());
    if (result.exitCode != 0)
        return fail(QStringLiteral("partitioning failed: ")
                    + QString::fromLocal8Bit(result.err).trimmed());
    const QString partition = Sys::FirstPartition(disk.path);
    if (partition.isEmpty())
        return fail(QStringLiteral("the new partition of %1 did not appear").arg(disk.path));

    Sys::Say(QStringLiteral("Formatting %1 as MS-DOS (FAT%2) with name %3")
                 .arg(partition, fatSize, label));
    result = Sys::Run(QStringLiteral("mkfs.fat"),
                      { QStringLiteral("-F"), fatSize, QStringLiteral("-n"), label, partition });
    if (result.exitCode != 0)
        return fail(QStringLiteral("formatting failed: ")
                    + QString::fromLocal8Bit(result.err).trimmed());

    Sys::Say(QStringLiteral("Mounting disk"));
    const QString mountPoint = Sys::FreeMountPoint(label);
    if (!Sys::MountFat(partition, mountPoint, &error))
        return fail(QStringLiteral("mounting %1 failed: %2").arg(partition, error));
    Sys::Say(QStringLiteral("Finished partitioning on %1").arg(disk.path));
    Sys::Say(QStringLiteral("%1 mounted at %2").arg(partition, mountPoint));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("list") && arguments.size() == 1)
        return list();
    if (verb == QLatin1String("info") && arguments.size() == 2)
        return info(arguments.at(1));
    if (verb == QLatin1String("unmountDisk") && arguments.size() == 2)
        return unmountDisk(arguments, arguments.at(1));
    if (verb == QLatin1String("partitionDisk"))
        return partitionDisk(arguments);
    return fail(QStringLiteral("usage: diskutil list | info DEVICE | unmountDisk DISK | "
                               "partitionDisk DISK 1 MBR FORMAT NAME R"));
}
