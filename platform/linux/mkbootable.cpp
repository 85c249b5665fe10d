// mkbootable DISK MOUNTPOINT: makes the FAT volume on a disk that "diskutil partitionDisk"
// prepared bootable by a PC BIOS, and leaves it mounted at MOUNTPOINT.
//
//  1. The volume is unmounted, if it still is.
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

bool writeMbrCode(const QString &disk, const QString &mbrFile, QString *error)
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
    const int fd = ::open(QFile::encodeName(disk).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1 for writing").arg(disk);
        return false;
    }
    const bool written
        = ::pwrite(fd, code.constData(), size_t(code.size()), 0) == code.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written)
        *error = QStringLiteral("cannot write the boot code to ") + disk;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() != 2)
        return fail(QStringLiteral("usage: mkbootable DISK MOUNTPOINT"));
    const QString mountPoint = QDir::cleanPath(arguments.at(1));
    if (!QDir::isAbsolutePath(mountPoint) || mountPoint == QLatin1String("/"))
        return fail(QStringLiteral("the mount point must be an absolute folder: ")
                    + arguments.at(1));
    // It runs as root for whoever asked: it mounts only in the media folder, never over a place
    // of the system.
    if (QFileInfo(mountPoint).absolutePath() != Sys::MediaDir())
        return fail(QStringLiteral("the mount point must be a folder in %1: ").arg(Sys::MediaDir())
                    + arguments.at(1));

    Probe::BlockDevice disk;
    if (!Sys::FindOfferedDisk(arguments.at(0), &disk))
        return fail(QStringLiteral("%1 is not an external disk that may be written; refused")
                        .arg(arguments.at(0)));

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

    QString error;
    if (!Sys::UnmountTree(disk, &error))
        return fail(QStringLiteral("%1 is in use: %2").arg(disk.path, error));
    // Mount over nothing the user keeps there.
    if (QFileInfo::exists(mountPoint) && !QDir(mountPoint).isEmpty())
        return fail(QStringLiteral("%1 is not an empty folder").arg(mountPoint));
    const QString partition = Sys::FirstPartition(disk.path);
    if (partition.isEmpty())
        return fail(QStringLiteral("%1 has no partition").arg(disk.path));

    Sys::Say(QStringLiteral("Writing the boot code to %1").arg(disk.path));
    if (!writeMbrCode(disk.path, mbr, &error))
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

    if (!Sys::MountFat(partition, mountPoint, &error))
        return fail(
            QStringLiteral("mounting %1 at %2 failed: %3").arg(partition, mountPoint, error));
    Sys::Say(
        QStringLiteral("%1 is bootable; %2 mounted at %3").arg(disk.path, partition, mountPoint));
    return 0;
}
