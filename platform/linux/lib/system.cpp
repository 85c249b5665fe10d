#include "system.h"

#include "seams.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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
    QList<Probe::MountEntry> own = MountsOfTree(device);
    // Another device's file system on or below one of them: unmounting by path would take that
    // one down instead, or fail half-way.
    for (const Probe::MountEntry &mount : Mounts()) {
        bool isOwn = false;
        for (const Probe::MountEntry &mine : qAsConst(own))
            isOwn = isOwn || (mine.source == mount.source && mine.majorMinor == mount.majorMinor);
        if (isOwn)
            continue;
        for (const Probe::MountEntry &mine : qAsConst(own)) {
            if (mount.mountPoint == mine.mountPoint
                || mount.mountPoint.startsWith(mine.mountPoint + QLatin1Char('/'))
                || mine.mountPoint == QLatin1String("/")) {
                if (error)
                    *error = QStringLiteral("another file system (%1) is stacked on %2, where "
                                            "the volume %3 of the disk is mounted")
                                 .arg(mount.source, mount.mountPoint, mine.source);
                return false;
            }
        }
    }
    // The deepest first.
    std::sort(own.begin(), own.end(), [](const Probe::MountEntry &a, const Probe::MountEntry &b) {
        return a.mountPoint.size() > b.mountPoint.size();
    });
    for (const Probe::MountEntry &mount : qAsConst(own)) {
        QString why;
        if (!Unmount(mount, &why)) {
            if (error)
                *error = QStringLiteral("%1 stays mounted at %2: %3")
                             .arg(mount.source, mount.mountPoint, why);
            return false;
        }
    }
    const QList<Probe::MountEntry> left = MountsOfTree(device);
    if (!left.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 stays mounted at %2")
                         .arg(left.first().source, left.first().mountPoint);
        return false;
    }
    return true;
}

namespace {

QString sysfsBase(quint64 number)
{
    return QStringLiteral("/sys/dev/block/%1:%2").arg(major(number)).arg(minor(number));
}

QString sysfsText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

QStringList holdersOf(const QString &base)
{
    QStringList found = QDir(base + QStringLiteral("/holders"))
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &entry : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo::exists(base + QLatin1Char('/') + entry + QStringLiteral("/partition")))
            found << holdersOf(base + QLatin1Char('/') + entry);
    }
    return found;
}

quint64 deviceNumber(const QString &path)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISBLK(info.st_mode))
        return 0;
    return info.st_rdev;
}

} // namespace

QString InUseReason(const Probe::BlockDevice &disk)
{
    if (Probe::IsSystemDisk(disk, Swaps()))
        return QStringLiteral("%1 holds a system volume or an active swap area").arg(disk.path);
    const quint64 number = deviceNumber(disk.path);
    if (number == 0)
        return QStringLiteral("%1 is no block device").arg(disk.path);
    const QStringList holders = holdersOf(sysfsBase(number));
    if (!holders.isEmpty())
        return QStringLiteral("%1 is in use by %2 (an open container, a volume group or an array)")
            .arg(disk.path, holders.join(QStringLiteral(", ")));
    return {};
}

Probe::DiskIdentity IdentityOf(quint64 number, qint64 size)
{
    Probe::DiskIdentity identity;
    const QString base = sysfsBase(number);
    identity.deviceNumber = QStringLiteral("%1:%2").arg(major(number)).arg(minor(number));
    identity.size = size;
    identity.model = (sysfsText(base + QStringLiteral("/device/vendor")) + QLatin1Char(' ')
                      + sysfsText(base + QStringLiteral("/device/model")))
                         .simplified();
    const QString backing = sysfsText(base + QStringLiteral("/loop/backing_file"));
    if (!backing.isEmpty()) {
        // A loop device is the file behind it.
        struct stat info;
        if (stat(QFile::encodeName(backing).constData(), &info) == 0)
            identity.serial
                = QStringLiteral("file %1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
        else
            identity.serial = QStringLiteral("file ") + backing;
        return identity;
    }
    QFile vpd(base + QStringLiteral("/device/vpd_pg80"));
    if (vpd.open(QIODevice::ReadOnly))
        identity.serial = Probe::SerialFromVpdPage(vpd.readAll());
    for (const QString &candidate :
         { base + QStringLiteral("/serial"), base + QStringLiteral("/device/serial") }) {
        if (identity.serial.isEmpty())
            identity.serial = sysfsText(candidate);
    }
    // A USB disk: the serial number of the nearest USB device above it (none when that device
    // has none; a hub's or controller's number would name no disk).
    QString up = QFileInfo(base + QStringLiteral("/device")).canonicalFilePath();
    for (int level = 0; identity.serial.isEmpty() && !up.isEmpty() && level < 12; ++level) {
        if (QFileInfo::exists(up + QStringLiteral("/idVendor"))) {
            identity.serial = sysfsText(up + QStringLiteral("/serial"));
            break;
        }
        up = QFileInfo(up).path();
    }
    identity.wwn = sysfsText(base + QStringLiteral("/wwid"));
    if (identity.wwn.isEmpty())
        identity.wwn = sysfsText(base + QStringLiteral("/device/wwid"));
    return identity;
}

Probe::DiskIdentity IdentityOfNode(const QString &path)
{
    const quint64 number = deviceNumber(path);
    if (number == 0)
        return {};
    const qint64 sectors = sysfsText(sysfsBase(number) + QStringLiteral("/size")).toLongLong();
    return IdentityOf(number, sectors * 512);
}

HeldDisk::~HeldDisk()
{
    Release();
}

bool HeldDisk::Open(const QString &path, QString *error)
{
    Release();
    // A device being set up (a loop device just attached) is busy for a moment.
    for (int attempt = 0; attempt < 10 && m_fd < 0; ++attempt) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_EXCL | O_CLOEXEC);
        if (m_fd < 0 && errno == EBUSY && attempt < 9)
            QThread::msleep(100);
        else if (m_fd < 0)
            break;
    }
    if (m_fd < 0) {
        *error = errno == EBUSY
            ? QStringLiteral("%1 is in use (a volume or partition of it is open)").arg(path)
            : QStringLiteral("%1 cannot be opened: %2")
                  .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info;
    quint64 size = 0;
    if (fstat(m_fd, &info) != 0 || !S_ISBLK(info.st_mode)
        || ioctl(m_fd, BLKGETSIZE64, &size) != 0) {
        *error = QStringLiteral("%1 is no disk").arg(path);
        Release();
        return false;
    }
    m_identity = IdentityOf(info.st_rdev, qint64(size));
    return true;
}

bool HeldDisk::OpenExpected(const QString &path, const Probe::DiskIdentity &expected,
                            QString *error)
{
    if (!Open(path, error))
        return false;
    const QString difference = Probe::IdentityDifference(expected, m_identity);
    if (difference.isEmpty())
        return true;
    *error = QStringLiteral("%1 is no longer the disk that was chosen (%2)").arg(path, difference);
    Release();
    return false;
}

void HeldDisk::Release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QList<KernelPartition> KernelPartitions(const QString &diskPath)
{
    QList<KernelPartition> found;
    const quint64 number = deviceNumber(diskPath);
    if (number == 0)
        return found;
    const QString base = sysfsBase(number);
    for (const QString &entry : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = base + QLatin1Char('/') + entry;
        if (!QFileInfo::exists(dir + QStringLiteral("/partition")))
            continue;
        KernelPartition partition;
        partition.node = QStringLiteral("/dev/") + entry;
        partition.number = sysfsText(dir + QStringLiteral("/partition")).toInt();
        partition.start = sysfsText(dir + QStringLiteral("/start")).toLongLong();
        partition.sectors = sysfsText(dir + QStringLiteral("/size")).toLongLong();
        found << partition;
    }
    std::sort(found.begin(), found.end(), [](const KernelPartition &a, const KernelPartition &b) {
        return a.number < b.number;
    });
    return found;
}

bool ForgetPartitions(const QString &diskPath, QString *error)
{
    if (KernelPartitions(diskPath).isEmpty())
        return true;
    Run(QStringLiteral("partx"), { QStringLiteral("-d"), diskPath });
    const QList<KernelPartition> left = KernelPartitions(diskPath);
    if (left.isEmpty())
        return true;
    *error = QStringLiteral("the old partition %1 cannot be removed (it is in use)")
                 .arg(left.first().node);
    return false;
}

KernelPartition NewFirstPartition(const QString &diskPath, qint64 startSector, QString *error)
{
    // The kernel parses the table of a real disk itself only on a re-read; a loop device
    // attached without partition scanning learns of it only through partx. No udev: devtmpfs
    // makes the node.
    Run(QStringLiteral("partx"), { QStringLiteral("-a"), diskPath });
    QList<KernelPartition> seen;
    for (int attempt = 0; attempt < 50; ++attempt) {
        seen = KernelPartitions(diskPath);
        if (seen.size() == 1 && seen.first().number == 1 && QFileInfo::exists(seen.first().node))
            break;
        QThread::msleep(100);
    }
    if (seen.size() != 1 || seen.first().number != 1 || !QFileInfo::exists(seen.first().node)) {
        *error = QStringLiteral("the new partition of %1 did not appear as its only one")
                     .arg(diskPath);
        return {};
    }
    if (seen.first().start != startSector) {
        *error = QStringLiteral("partition 1 of %1 starts at sector %2, not at %3")
                     .arg(diskPath)
                     .arg(seen.first().start)
                     .arg(startSector);
        return {};
    }
    return seen.first();
}

namespace {

constexpr qint64 ImageBlock = 4 << 20;

struct AlignedBuffer
{
    char *data = nullptr;
    AlignedBuffer()
    {
        if (posix_memalign(reinterpret_cast<void **>(&data), 4096, size_t(ImageBlock)) != 0)
            data = nullptr;
    }
    ~AlignedBuffer() { free(data); }
};

// Reads up to want bytes at offset; the count read, -1 on an error.
qint64 readFully(int fd, char *buffer, qint64 want, qint64 offset)
{
    qint64 done = 0;
    while (done < want) {
        const ssize_t n = ::pread(fd, buffer + done, size_t(want - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

} // namespace

bool WriteImage(const HeldDisk &disk, QFile &image, const std::function<void(double)> &progress,
                QString *error)
{
    AlignedBuffer buffer;
    if (!buffer.data) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    const qint64 size = image.size();
    const int flags = fcntl(disk.Fd(), F_GETFL);
    // Whole aligned blocks go past the page cache; the tail, if any, through it.
    const bool direct = fcntl(disk.Fd(), F_SETFL, flags | O_DIRECT) == 0;
    for (qint64 at = 0; at < size;) {
        const qint64 got = readFully(image.handle(), buffer.data, qMin(ImageBlock, size - at), at);
        if (got <= 0) {
            *error = QStringLiteral("the image cannot be read at byte %1").arg(at);
            return false;
        }
        if (direct && got % 512 != 0)
            fcntl(disk.Fd(), F_SETFL, flags);
        qint64 written = 0;
        while (written < got) {
            const ssize_t n
                = ::pwrite(disk.Fd(), buffer.data + written, size_t(got - written), at + written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *error = QStringLiteral("the disk reported a write error at byte %1 (%2)")
                             .arg(at + written)
                             .arg(QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            written += n;
        }
        at += got;
        progress(double(at) / double(size));
    }
    fcntl(disk.Fd(), F_SETFL, flags);
    if (::fsync(disk.Fd()) != 0) {
        *error = QStringLiteral("the disk reported a write error (%1)")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool CompareImage(const HeldDisk &disk, QFile &image, const std::function<void(double)> &progress,
                  QString *error)
{
    AlignedBuffer buffer;
    QByteArray expected(int(ImageBlock), Qt::Uninitialized);
    if (!buffer.data) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    // What is read next comes from the medium: the cached blocks are dropped, and whole aligned
    // blocks are read past the page cache (no copy through it, no read-ahead beyond the image);
    // the tail, if any, through it.
    ioctl(disk.Fd(), BLKFLSBUF, 0);
    posix_fadvise(disk.Fd(), 0, 0, POSIX_FADV_DONTNEED);
    const int flags = fcntl(disk.Fd(), F_GETFL);
    bool direct = fcntl(disk.Fd(), F_SETFL, flags | O_DIRECT) == 0;
    struct Restore
    {
        int fd, flags;
        ~Restore() { fcntl(fd, F_SETFL, flags); }
    } restore { disk.Fd(), flags };
    const qint64 size = image.size();
    for (qint64 at = 0; at < size;) {
        const qint64 want = qMin(ImageBlock, size - at);
        if (readFully(image.handle(), expected.data(), want, at) != want) {
            *error = QStringLiteral("the image cannot be read at byte %1").arg(at);
            return false;
        }
        if (direct && want % 512 != 0)
            direct = fcntl(disk.Fd(), F_SETFL, flags) != 0;
        if (readFully(disk.Fd(), buffer.data, want, at) != want) {
            *error = QStringLiteral("the disk cannot be read back at byte %1").arg(at);
            return false;
        }
        if (std::memcmp(buffer.data, expected.constData(), size_t(want)) != 0) {
            qint64 first = 0;
            while (buffer.data[first] == expected.at(int(first)))
                ++first;
            *error = QStringLiteral("the disk differs from the image from byte %1")
                         .arg(at + first + 1);
            return false;
        }
        at += want;
        progress(double(at) / double(size));
    }
    return true;
}

bool FormatFat(const HeldDisk &disk, const KernelPartition &partition, const QString &fatSize,
               const QString &label, QString *error)
{
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        *error = QStringLiteral("no scratch folder for formatting");
        return false;
    }
    const QString image = scratch.filePath(QStringLiteral("fat.img"));
    const qint64 bytes = partition.sectors * 512;
    const Result made
        = Run(QStringLiteral("mkfs.fat"),
              { QStringLiteral("-C"), QStringLiteral("-F"), fatSize, QStringLiteral("-n"), label,
                QStringLiteral("-h"), QString::number(partition.start), image,
                QString::number(bytes / 1024) });
    QFile file(image);
    if (made.exitCode != 0 || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("formatting failed: ")
            + QString::fromLocal8Bit(made.err + made.out).trimmed();
        return false;
    }
    // The file-system area: reserved sectors, the FATs, the root folder (its first cluster on
    // FAT32), all of it, zeros included.
    const QByteArray boot = file.read(512);
    auto u16 = [&boot](int at) {
        return int(quint8(boot.at(at))) | int(quint8(boot.at(at + 1))) << 8;
    };
    auto u32 = [&boot, &u16](int at) {
        return qint64(u16(at)) | qint64(u16(at + 2)) << 16;
    };
    if (boot.size() < 512 || quint8(boot.at(510)) != 0x55 || quint8(boot.at(511)) != 0xaa) {
        *error = QStringLiteral("formatting failed: no boot sector was made");
        return false;
    }
    const qint64 sectorSize = u16(11);
    const qint64 clusterSectors = quint8(boot.at(13));
    const qint64 fatSectors = u16(22) ? u16(22) : u32(36);
    const qint64 rootSectors = (qint64(u16(17)) * 32 + sectorSize - 1) / sectorSize;
    const qint64 end = qMin(
        bytes,
        (u16(14) + quint8(boot.at(16)) * fatSectors + rootSectors + clusterSectors) * sectorSize);
    file.seek(0);
    const qint64 offset = partition.start * 512;
    for (qint64 at = 0; at < end;) {
        const QByteArray chunk = file.read(qMin<qint64>(end - at, 1 << 20));
        if (chunk.isEmpty()
            || ::pwrite(disk.Fd(), chunk.constData(), size_t(chunk.size()), offset + at)
                != chunk.size()) {
            *error = QStringLiteral("formatting failed: the disk could not be written");
            return false;
        }
        at += chunk.size();
    }
    if (::fsync(disk.Fd()) != 0) {
        *error = QStringLiteral("formatting failed: the disk reported a write error");
        return false;
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
        if (QFileInfo(candidate).isDir()
            && QDir(candidate)
                   .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                   .isEmpty()
            && !isMountPoint(candidate))
            break;
        candidate = base + QLatin1Char(' ') + QString::number(n);
    }
    return candidate;
}

bool MountFat(const QString &partition, const QString &mountPoint, QString *error)
{
    const bool created = !QFileInfo::exists(mountPoint);
    if (!QDir().mkpath(mountPoint)) {
        *error = QStringLiteral("cannot create %1").arg(mountPoint);
        return false;
    }
    const uid_t uid = callerUid();
    // quiet: mode and owner changes FAT cannot store succeed without effect instead of failing.
    const QString options = QStringLiteral("uid=%1,gid=%2,utf8,shortname=mixed,flush,quiet")
                                .arg(uid)
                                .arg(callerGid(uid));
    Result result = Run(QStringLiteral("mount"),
                        { QStringLiteral("-t"), QStringLiteral("vfat"), QStringLiteral("-o"),
                          options, partition, mountPoint });
    if (result.exitCode == 0)
        return true;
    // No vfat in the kernel: the FUSE driver, its source shown as the partition.
    // Only the user it is prepared for may reach it: the kernel checks the owner and mode the
    // mount shows.
    QStringList fuseOptions { QStringLiteral("rw+"), QStringLiteral("fsname=") + partition };
    if (IsRoot())
        fuseOptions << QStringLiteral("allow_other") << QStringLiteral("default_permissions")
                    << QStringLiteral("uid=%1").arg(uid)
                    << QStringLiteral("gid=%1").arg(callerGid(uid)) << QStringLiteral("umask=077");
    result
        = Run(QStringLiteral("fusefat"),
              { QStringLiteral("-o"), fuseOptions.join(QLatin1Char(',')), partition, mountPoint });
    if (result.exitCode == 0 && !MountsOf(partition).isEmpty())
        return true;
    *error = QString::fromLocal8Bit(result.err).trimmed();
    if (created)
        QDir().rmdir(mountPoint);
    return false;
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
            // The seam names loop devices and plain files only, never a real drive or disk.
            if (!drive.isFile
                && !QFileInfo::exists(
                    QStringLiteral("/sys/block/%1/loop").arg(QFileInfo(node).fileName())))
                continue;
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

bool FindChosenDisk(const QString &node, const Probe::DiskIdentity &expected, const QString &what,
                    Probe::BlockDevice *disk, QString *error)
{
    if (!FindOfferedDisk(node, disk)) {
        *error = QStringLiteral("%1 is not an external disk that may be %2; refused").arg(node, what);
        return false;
    }
    const QString difference = Probe::IdentityDifference(expected, IdentityOfNode(disk->path));
    if (!difference.isEmpty()) {
        *error = QStringLiteral("%1 is no longer the disk that was chosen (%2); it was left "
                                "unchanged")
                     .arg(disk->path, difference);
        return false;
    }
    const QString inUse = InUseReason(*disk);
    if (!inUse.isEmpty()) {
        *error = QStringLiteral("%1; it was left unchanged").arg(inUse);
        return false;
    }
    return true;
}

bool TakeChosenDisk(const Probe::BlockDevice &disk, const Probe::DiskIdentity &expected,
                    HeldDisk *held, QString *error)
{
    QString why;
    if (!UnmountTree(disk, &why)) {
        *error = QStringLiteral("%1 is in use and was left unchanged: %2").arg(disk.path, why);
        return false;
    }
    if (!held->OpenExpected(disk.path, expected, &why)) {
        *error = why + QStringLiteral("; it was left unchanged");
        return false;
    }
    if (!ForgetPartitions(disk.path, &why)) {
        *error = QStringLiteral("%1 is in use and was left unchanged: %2").arg(disk.path, why);
        return false;
    }
    return true;
}

} // namespace Sys
