#include "system.h"

#include "seams.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>

namespace Sys {

namespace {

QStringList seamList(const char *name)
{
    return Seams::Value(name).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

// The user the disk is prepared for: the one who asked through pkexec or sudo, else us.
uid_t callerUid()
{
    bool ok = false;
    uid_t uid = QString::fromLocal8Bit(qgetenv("PKEXEC_UID")).toUInt(&ok);
    if (!ok)
        uid = QString::fromLocal8Bit(qgetenv("SUDO_UID")).toUInt(&ok);
    return ok ? uid : getuid();
}

gid_t callerGid(uid_t uid)
{
    const passwd *entry = getpwuid(uid);
    return entry ? entry->pw_gid : getgid();
}

QString callerName()
{
    const passwd *entry = getpwuid(callerUid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("user");
}

bool isMountPoint(const QString &path)
{
    for (const Probe::MountEntry &mount : Mounts()) {
        if (mount.mountPoint == path)
            return true;
    }
    return false;
}

} // namespace

Result Run(const QString &program, const QStringList &arguments, const QByteArray &input,
           int timeoutMs)
{
    Result result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        result.err = QStringLiteral("%1: cannot be started\n").arg(program).toLocal8Bit();
        return result;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        result.err = QStringLiteral("%1: no end in time\n").arg(program).toLocal8Bit();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

void Say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void Warn(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QList<Probe::BlockDevice> BlockDevices()
{
    const Result result = Run(QStringLiteral("lsblk"),
                              { QStringLiteral("-J"), QStringLiteral("-b"), QStringLiteral("-o"),
                                QStringLiteral("NAME,PATH,TYPE,TRAN,RM,HOTPLUG,SIZE,MODEL,VENDOR,"
                                               "MOUNTPOINTS,FSTYPE,LABEL") });
    return Probe::ParseLsblk(result.out);
}

QList<Probe::MountEntry> Mounts()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Probe::ParseMountInfo(file.readAll());
}

QStringList Swaps()
{
    QFile file(QStringLiteral("/proc/swaps"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Probe::ParseSwaps(file.readAll());
}

QStringList TestUsbDisks()
{
    return seamList("VEXLOR_TEST_USB_DISKS");
}

QStringList TestOpticalDrives()
{
    return seamList("VEXLOR_TEST_OPTICAL_DRIVES");
}

QList<Probe::BlockDevice> OfferedDisks(QList<Probe::BlockDevice> *devices)
{
    const QList<Probe::BlockDevice> all = BlockDevices();
    if (devices)
        *devices = all;
    QList<Probe::BlockDevice> disks = Probe::WritableDisks(all, Swaps(), TestUsbDisks());
    // lsblk does not see FUSE mounts; a disk whose volume is mounted at a system place through
    // one is still a system disk.
    for (int i = disks.size() - 1; i >= 0; --i) {
        for (const Probe::MountEntry &mount : MountsOfTree(disks.at(i))) {
            Probe::BlockDevice probe;
            probe.mountPoints << mount.mountPoint;
            if (Probe::IsSystemDisk(probe, {})) {
                disks.removeAt(i);
                break;
            }
        }
    }
    return disks;
}

bool FindOfferedDisk(const QString &name, Probe::BlockDevice *disk)
{
    const QList<Probe::BlockDevice> disks = OfferedDisks();
    if (const Probe::BlockDevice *match = Probe::FindDevice(disks, name)) {
        // Only whole disks are offered; a partition's name is no disk.
        for (const Probe::BlockDevice &candidate : disks) {
            if (candidate.path == match->path) {
                *disk = candidate;
                return true;
            }
        }
    }
    return false;
}

QString MajorMinor(const QString &devicePath)
{
    struct stat info;
    if (stat(QFile::encodeName(devicePath).constData(), &info) != 0 || !S_ISBLK(info.st_mode))
        return {};
    return QStringLiteral("%1:%2").arg(major(info.st_rdev)).arg(minor(info.st_rdev));
}

QList<Probe::MountEntry> MountsOf(const QString &devicePath)
{
    const QString number = MajorMinor(devicePath);
    QList<Probe::MountEntry> found;
    for (const Probe::MountEntry &mount : Mounts()) {
        if (mount.source == devicePath || (!number.isEmpty() && mount.majorMinor == number))
            found << mount;
    }
    return found;
}

QList<Probe::MountEntry> MountsOfTree(const Probe::BlockDevice &device)
{
    QList<Probe::MountEntry> found = MountsOf(device.path);
    for (const Probe::BlockDevice &child : device.children)
        found << MountsOfTree(child);
    return found;
}

bool Unmount(const Probe::MountEntry &mount, QString *error)
{
    Result result = Run(QStringLiteral("umount"), { mount.mountPoint });
    if (result.exitCode != 0 && mount.fsType.startsWith(QLatin1String("fuse")))
        result = Run(QStringLiteral("fusermount"), { QStringLiteral("-u"), mount.mountPoint });
    if (result.exitCode != 0) {
        if (error)
            *error = QString::fromLocal8Bit(result.err).trimmed();
        return false;
    }
    if (QFileInfo(mount.mountPoint).absolutePath() == MediaDir())
        QDir().rmdir(mount.mountPoint);
    return true;
}

bool UnmountTree(const Probe::BlockDevice &device, QString *error)
{
    for (const Probe::MountEntry &mount : MountsOfTree(device)) {
        QString why;
        if (!Unmount(mount, &why)) {
            if (error)
                *error = QStringLiteral("%1 stays mounted at %2: %3")
                             .arg(mount.source, mount.mountPoint, why);
            return false;
        }
    }
    return true;
}

QString MediaDir()
{
    const QString test = Seams::Value("VEXLOR_TEST_MEDIA_DIR");
    if (!test.isEmpty())
        return QDir::cleanPath(test);
    return QStringLiteral("/media/") + callerName();
}

QString FreeMountPoint(const QString &label)
{
    const QString base = MediaDir() + QLatin1Char('/') + label;
    QString candidate = base;
    for (int n = 1; QFileInfo::exists(candidate); ++n) {
        if (QFileInfo(candidate).isDir() && QDir(candidate).isEmpty() && !isMountPoint(candidate))
            break;
        candidate = base + QLatin1Char(' ') + QString::number(n);
    }
    return candidate;
}

bool MountFat(const QString &partition, const QString &mountPoint, QString *error)
{
    if (!QDir().mkpath(mountPoint)) {
        *error = QStringLiteral("cannot create %1").arg(mountPoint);
        return false;
    }
    const uid_t uid = callerUid();
    const QString options
        = QStringLiteral("uid=%1,gid=%2,utf8,shortname=mixed,flush").arg(uid).arg(callerGid(uid));
    Result result = Run(QStringLiteral("mount"),
                        { QStringLiteral("-t"), QStringLiteral("vfat"), QStringLiteral("-o"),
                          options, partition, mountPoint });
    if (result.exitCode == 0)
        return true;
    // No vfat in the kernel: the FUSE driver, its source shown as the partition.
    QStringList fuseOptions { QStringLiteral("rw+"), QStringLiteral("fsname=") + partition };
    if (IsRoot())
        fuseOptions << QStringLiteral("allow_other");
    result
        = Run(QStringLiteral("fusefat"),
              { QStringLiteral("-o"), fuseOptions.join(QLatin1Char(',')), partition, mountPoint });
    if (result.exitCode == 0 && !MountsOf(partition).isEmpty())
        return true;
    *error = QString::fromLocal8Bit(result.err).trimmed();
    QDir().rmdir(mountPoint);
    return false;
}

QString FirstPartition(const QString &diskPath)
{
    // The kernel parses the table of a real disk itself; a loop device attached without
    // partition scanning learns of it only through partx. No udev: devtmpfs makes the node.
    Run(QStringLiteral("partx"), { QStringLiteral("-u"), diskPath });
    for (int attempt = 0; attempt < 50; ++attempt) {
        const QList<Probe::BlockDevice> devices = BlockDevices();
        if (const Probe::BlockDevice *disk = Probe::FindDevice(devices, diskPath)) {
            for (const Probe::BlockDevice &child : disk->children) {
                if (child.type == QLatin1String("part") && QFileInfo::exists(child.path))
                    return child.path;
            }
        }
        QThread::msleep(100);
    }
    return {};
}

namespace {

QString sysText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// The drive's own word on its medium; opened without waiting for a disc, so that an empty drive
// answers at once.
Probe::MediaStatus mediaStatus(const QString &node)
{
    const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Probe::MediaStatus::Unknown;
    const int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
    ::close(fd);
    return Probe::MediaStatusFromDrive(status);
}

} // namespace

QList<OpticalDrive> OpticalDrives()
{
    QList<OpticalDrive> drives;
    const QStringList test = TestOpticalDrives();
    if (!test.isEmpty()) {
        for (const QString &node : test) {
            OpticalDrive drive;
            drive.node = node;
            drive.vendor = QStringLiteral("VEXLOR");
            drive.isFile = QFileInfo(node).isFile();
            drive.product
                = drive.isFile ? QStringLiteral("TEST BURNER") : QStringLiteral("TEST DRIVE");
            drive.revision = QStringLiteral("1.00");
            drive.type = drive.isFile ? QStringLiteral("DVD-RW") : QStringLiteral("DVD-ROM");
            const QString name = QFileInfo(node).fileName();
            drive.hasDisc = drive.isFile
                || sysText(QStringLiteral("/sys/block/%1/size").arg(name)).toLongLong() > 0;
            drives << drive;
        }
        return drives;
    }
    QFile info(QStringLiteral("/proc/sys/dev/cdrom/info"));
    const QList<Probe::CdromDrive> caps = info.open(QIODevice::ReadOnly)
        ? Probe::ParseCdromInfo(info.readAll())
        : QList<Probe::CdromDrive>();
    QStringList names = QDir(QStringLiteral("/sys/block"))
                            .entryList({ QStringLiteral("sr*") }, QDir::AllEntries | QDir::System);
    for (const QString &name : names) {
        const QString base = QStringLiteral("/sys/block/") + name;
        OpticalDrive drive;
        drive.node = QStringLiteral("/dev/") + name;
        drive.vendor = sysText(base + QStringLiteral("/device/vendor"));
        drive.product = sysText(base + QStringLiteral("/device/model"));
        drive.revision = sysText(base + QStringLiteral("/device/rev"));
        drive.hasDisc = Probe::HoldsDisc(mediaStatus(drive.node),
                                         sysText(base + QStringLiteral("/size")).toLongLong());
        drive.type = QStringLiteral("CD-ROM");
        for (const Probe::CdromDrive &cap : caps) {
            if (cap.name == name)
                drive.type = Probe::OpticalDriveType(cap);
        }
        drives << drive;
    }
    return drives;
}

QString XorrisoAddress(const OpticalDrive &drive)
{
    return drive.isFile ? QStringLiteral("stdio:") + QFileInfo(drive.node).absoluteFilePath()
                        : drive.node;
}

bool IsRoot()
{
    return geteuid() == 0;
}

int RerunAsRoot(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("pkexec"),
                  QStringList { QCoreApplication::applicationFilePath() } + arguments);
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1))
        return 1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : 1;
}

} // namespace Sys
