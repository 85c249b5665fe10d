// mkbootable DISK MOUNTPOINT IDENTITY: makes the FAT volume on a disk that "diskutil
// partitionDisk" prepared bootable by a PC BIOS, and leaves it mounted at MOUNTPOINT. IDENTITY is
// the disk the user chose, as diskutil takes it ("--serial" S "--wwn" W "--device-number" D
// "--size" N "--model" M).
//
//  1. The volume is unmounted, if it still is (by its device, never another file system), and
//     the whole disk is opened exclusively and checked to be the disk chosen; it stays held
//     through steps 2 and 3.
//  2. The syslinux MBR code is written into the first 440 bytes of the disk, and the first
//     partition is marked active. On a disk with a GPT table the syslinux GPT MBR code is
//     written instead and the partition gets the legacy BIOS bootable attribute: the protective
//     MBR stays inactive, as UEFI firmware requires of it.
//  3. ldlinux is installed into /syslinux on the volume (syslinux --install --directory
//     /syslinux), and chain.c32 with the modules it loads (libcom32.c32, libutil.c32) is copied
//     beside it (mtools). The boot loader then reads /syslinux.cfg from the volume.
//  4. The volume is mounted at MOUNTPOINT.
//
// It runs as root and refuses any disk that "diskutil list" would not offer.

#include "lib/probe.h"
#include "lib/system.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

int fail(const QString &message)
{
    Sys::Warn(QStringLiteral("mkbootable: ") + message);
    return 1;
}

QString firstExisting(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

bool writeMbrCode(const Sys::HeldDisk &disk, const QString &mbrFile, QString *error)
{
    QFile source(mbrFile);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read ") + mbrFile;
        return false;
    }
    const QByteArray code = source.read(440);
    if (code.isEmpty()) {
        *error = mbrFile + QStringLiteral(" is empty");
        return false;
    }
    const bool written
        = ::pwrite(disk.Fd(), code.constData(), size_t(code.size()), 0) == code.size()
        && ::fsync(disk.Fd()) == 0;
    if (!written)
        *error = QStringLiteral("cannot write the boot code to the disk");
    return written;
}

// Whether the disk holds a GPT partition table (sfdisk --dump prints "label: gpt").
bool hasGpt(const QString &disk)
{
    const Sys::Result dump = Sys::Run(QStringLiteral("sfdisk"), { QStringLiteral("--dump"), disk });
    for (const QByteArray &line : dump.out.split('\n')) {
        if (line.trimmed() == "label: gpt")
            return true;
    }
    return false;
}

bool run(const QString &program, const QStringList &arguments, QString *error)
{
    const Sys::Result result = Sys::Run(program, arguments);
    if (result.exitCode == 0)
        return true;
    *error = QStringLiteral("%1 failed: %2")
                 .arg(program, QString::fromLocal8Bit(result.err + result.out).trimmed());
    return false;
}

// A folder holding anything, hidden entries included.
bool holdsEntries(const QString &folder)
{
    return !QDir(folder)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    Probe::DiskIdentity expected;
    QStringList words;
    if (!Probe::TakeIdentityOptions(arguments, &expected, &words) || words.size() != 2)
        return fail(QStringLiteral("usage: mkbootable DISK MOUNTPOINT --serial S --wwn W "
                                   "--device-number D --size N --model M"));
    const QString mountPoint = QDir::cleanPath(words.at(1));
    if (!QDir::isAbsolutePath(mountPoint) || mountPoint == QLatin1String("/"))
        return fail(QStringLiteral("the mount point must be an absolute folder: ") + words.at(1));
    // It runs as root for whoever asked: it mounts only in the media folder, never over a place
    // of the system.
    if (QFileInfo(mountPoint).absolutePath() != Sys::MediaDir())
        return fail(QStringLiteral("the mount point must be a folder in %1: ").arg(Sys::MediaDir())
                    + words.at(1));

    Probe::BlockDevice disk;
    QString error;
    if (!Sys::FindChosenDisk(words.at(0), expected, QStringLiteral("written"), &disk, &error))
        return fail(error);

    const bool gpt = hasGpt(disk.path);
    const QString code = gpt ? QStringLiteral("gptmbr.bin") : QStringLiteral("mbr.bin");
    const QString mbr = firstExisting({ QStringLiteral("/usr/lib/syslinux/mbr/") + code,
                                        QStringLiteral("/usr/lib/syslinux/bios/") + code,
                                        QStringLiteral("/usr/share/syslinux/") + code });
    const QString modules = firstExisting({ QStringLiteral("/usr/lib/syslinux/modules/bios"),
                                            QStringLiteral("/usr/lib/syslinux/bios"),
                                            QStringLiteral("/usr/share/syslinux") });
    if (mbr.isEmpty() || modules.isEmpty())
        return fail(
            QStringLiteral("syslinux is not installed (packages syslinux, syslinux-common)"));

    if (!Sys::UnmountTree(disk, &error))
        return fail(QStringLiteral("%1 is in use: %2").arg(disk.path, error));
    // Mount over nothing the user keeps there.
    if (QFileInfo::exists(mountPoint)
        && (!QFileInfo(mountPoint).isDir() || holdsEntries(mountPoint)))
        return fail(QStringLiteral("%1 is not an empty folder").arg(mountPoint));

    Sys::HeldDisk held;
    if (!held.OpenExpected(disk.path, expected, &error))
        return fail(error + QStringLiteral("; it was left unchanged"));
    const QList<Sys::KernelPartition> partitions = Sys::KernelPartitions(disk.path);
    if (partitions.size() != 1 || partitions.first().number != 1)
        return fail(
            QStringLiteral("%1 does not hold the one partition it was given").arg(disk.path));
    const QString partition = partitions.first().node;

    Sys::Say(QStringLiteral("Writing the boot code to %1").arg(disk.path));
    if (!writeMbrCode(held, mbr, &error))
        return fail(error);
    const QStringList mark = gpt
        ? QStringList { QStringLiteral("--no-reread"), QStringLiteral("--part-attrs"), disk.path,
                        QStringLiteral("1"), QStringLiteral("LegacyBIOSBootable") }
        : QStringList { QStringLiteral("--no-reread"), QStringLiteral("--activate"), disk.path,
                        QStringLiteral("1") };
    if (!run(QStringLiteral("sfdisk"), mark, &error))
        return fail(error);

    Sys::Say(QStringLiteral("Installing the boot loader on %1").arg(partition));
    // mmd fails when the folder exists already, which is fine; syslinux checks for it below.
    Sys::Run(QStringLiteral("mmd"),
             { QStringLiteral("-i"), partition, QStringLiteral("::/syslinux") });
    if (!run(QStringLiteral("syslinux"),
             { QStringLiteral("--install"), QStringLiteral("--directory"),
               QStringLiteral("/syslinux"), partition },
             &error))
        return fail(error);
    QStringList copy { QStringLiteral("-D"), QStringLiteral("o"), QStringLiteral("-i"), partition };
    for (const char *module : { "chain.c32", "libcom32.c32", "libutil.c32" })
        copy << modules + QLatin1Char('/') + QLatin1String(module);
    copy << QStringLiteral("::/syslinux/");
    if (!run(QStringLiteral("mcopy"), copy, &error))
        return fail(error);
    // A mounted volume holds its partition exclusively, which the held disk would refuse.
    held.Release();

    if (!Sys::MountFat(partition, mountPoint, &error))
        return fail(
            QStringLiteral("mounting %1 at %2 failed: %3").arg(partition, mountPoint, error));
    Sys::Say(
        QStringLiteral("%1 is bootable; %2 mounted at %3").arg(disk.path, partition, mountPoint));
    return 0;
}
