#ifndef VEXLOR_PLATFORM_SYSTEM_H
#define VEXLOR_PLATFORM_SYSTEM_H

// What the disk tools ask the running system: devices, mounts, swap areas, the disks a user
// may write, and the few commands that unmount, mount and re-read partition tables.
//
// Test seams (never set in normal use; an installed tool reads them only from a root-owned file,
// see seams.h):
//   VEXLOR_TEST_USB_DISKS       ':'-separated loop devices treated as USB sticks; while it is
//                               set no other disk is offered.
//   VEXLOR_TEST_OPTICAL_DRIVES  ':'-separated optical drives: a loop device holding an image
//                               is a drive with a disc, a plain file a burner (xorriso "stdio:").
//                               While it is set no other drive is listed.
//   VEXLOR_TEST_MEDIA_DIR       the folder new volumes are mounted in, instead of /media/USER.

#include "probe.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <functional>

namespace Sys {

struct Result
{
    int exitCode = -1; // -1 when it could not be started, crashed or timed out
    QByteArray out;
    QByteArray err;
};
// Runs a program with its arguments as a list (mtools with MTOOLS_SKIP_CHECK=1).
Result Run(const QString &program, const QStringList &arguments, const QByteArray &input = {},
           int timeoutMs = 120000);

// Writes one line to standard output (flushed) or to standard error.
void Say(const QString &line);
void Warn(const QString &line);

QList<Probe::BlockDevice> BlockDevices();
QList<Probe::MountEntry> Mounts();
QStringList Swaps();
QStringList TestUsbDisks();
QStringList TestOpticalDrives();

// The disks "diskutil list" offers; *devices receives the whole tree when asked for.
QList<Probe::BlockDevice> OfferedDisks(QList<Probe::BlockDevice> *devices = nullptr);
// The offered disk named by a path ("/dev/sdb") or a name ("sdb"); false when not offered.
bool FindOfferedDisk(const QString &name, Probe::BlockDevice *disk);

// "major:minor" of a device node; empty when it is none.
QString MajorMinor(const QString &devicePath);
// Mounts whose source is the device (kernel mounts by number, FUSE mounts by their fsname).
QList<Probe::MountEntry> MountsOf(const QString &devicePath);
// Mounts of the device and of everything below it.
QList<Probe::MountEntry> MountsOfTree(const Probe::BlockDevice &device);

// Unmounts one mount; removes the emptied folder when it lies in the media folder.
bool Unmount(const Probe::MountEntry &mount, QString *error);
// Unmounts every file system mounted from the device or from anything below it, chosen by
// source, never by path: when another device's file system is mounted on or below one of those
// mount points nothing is unmounted and the answer is false. The mount table is read again
// afterwards; false (and *error) when anything of the device is still mounted.
bool UnmountTree(const Probe::BlockDevice &device, QString *error);

// What keeps a disk from being written, for the user; empty when nothing does: a system mount
// or an active swap area on it, or a holder of the disk or one of its partitions in sysfs (an
// open crypt container, an LVM or RAID member).
QString InUseReason(const Probe::BlockDevice &disk);

// The identity of the whole disk with the given device number and size, read from sysfs.
Probe::DiskIdentity IdentityOf(quint64 deviceNumber, qint64 size);
// The identity of the disk at a node as the system reports it now; size 0 when it is none.
Probe::DiskIdentity IdentityOfNode(const QString &path);

// A whole disk opened exclusively (O_EXCL): while it is held, no file system of it can be
// mounted, no partition of it opened exclusively, and its node cannot be taken by another
// device. The identity is read from the open descriptor.
class HeldDisk
{
public:
    HeldDisk() = default;
    ~HeldDisk();
    HeldDisk(const HeldDisk &) = delete;
    HeldDisk &operator=(const HeldDisk &) = delete;
    // False (and *error, for the user) when the disk is busy or cannot be opened.
    bool Open(const QString &path, QString *error);
    void Release();
    int Fd() const { return m_fd; }
    const Probe::DiskIdentity &Identity() const { return m_identity; }
    // Opens the disk and checks it is the disk expected; false (and *error) otherwise.
    bool OpenExpected(const QString &path, const Probe::DiskIdentity &expected, QString *error);

private:
    int m_fd = -1;
    Probe::DiskIdentity m_identity;
};

// A partition as the kernel sees it.
struct KernelPartition
{
    QString node; // "/dev/sdb1"
    int number = 0;
    qint64 start = 0; // in 512-byte sectors
    qint64 sectors = 0;
};
QList<KernelPartition> KernelPartitions(const QString &diskPath);
// Removes every partition of the disk from the kernel's view (the disk is not written); false
// (and *error) when one stays.
bool ForgetPartitions(const QString &diskPath, QString *error);

// The steps every tool that writes a disk starts with. FindChosenDisk: the disk at node is one
// the list offers (what names how it would be changed: "erased", "written"), it is the disk the
// user chose and nothing uses it. TakeChosenDisk: its volumes are unmounted by their device, the
// whole disk is held (its identity checked again on the held descriptor) and its old partitions
// are gone from the kernel's view. Each returns false with *error, a sentence for the user that
// says the disk was left unchanged.
bool FindChosenDisk(const QString &node, const Probe::DiskIdentity &expected, const QString &what,
                    Probe::BlockDevice *disk, QString *error);
bool TakeChosenDisk(const Probe::BlockDevice &disk, const Probe::DiskIdentity &expected,
                    HeldDisk *held, QString *error);
// Has the kernel read the disk's partition table and returns its partition 1 once it is there,
// the only one, starting at startSector; an empty node (and *error) otherwise.
KernelPartition NewFirstPartition(const QString &diskPath, qint64 startSector, QString *error);

// Writes the whole image to the held disk from byte 0, sequentially in large aligned blocks,
// and flushes it; progress(fraction) now and then. False (and *error) on any read or write
// error.
bool WriteImage(const HeldDisk &disk, QFile &image, const std::function<void(double)> &progress,
                QString *error);
// Reads the image's length back from the held disk, past the caches, and compares it with the
// image; false (and *error, naming the first differing byte) when it differs or cannot be read.
bool CompareImage(const HeldDisk &disk, QFile &image, const std::function<void(double)> &progress,
                  QString *error);

// Formats a partition of a held disk as FAT ("16" or "32"): mkfs.fat builds the file system
// in a scratch file of the partition's size, and its whole file-system area goes to the disk
// through the held descriptor, then flushed.
bool FormatFat(const HeldDisk &disk, const KernelPartition &partition, const QString &fatSize,
               const QString &label, QString *error);

// The folder volumes are mounted in, and a free mount point for a label in it ("NAME",
// "NAME 1", ...).
QString MediaDir();
QString FreeMountPoint(const QString &label);
// Mounts a FAT volume read-write for the calling user only: the kernel's vfat driver, or
// fusefat where the kernel has none. A mount-point folder it created is removed again when the
// mount fails; one that was there is kept.
bool MountFat(const QString &partition, const QString &mountPoint, QString *error);

// An optical drive: a real one (/sys/block/srN) or one the test seam names.
struct OpticalDrive
{
    QString node; // "/dev/sr0", a test loop device, or a test burner file
    QString vendor;
    QString product;
    QString revision;
    QString type; // "DVD-RW", "CD-ROM", ...
    bool hasDisc = false;
    bool isFile = false; // a test burner, written through xorriso's "stdio:" drive
};
QList<OpticalDrive> OpticalDrives();
// The xorriso drive address of a drive: the node, or "stdio:" + the file of a test burner.
QString XorrisoAddress(const OpticalDrive &drive);

bool IsRoot();
// Runs this program again through pkexec with the same arguments and returns its exit status;
// only called when not root.
int RerunAsRoot(const QStringList &arguments);

} // namespace Sys

#endif // VEXLOR_PLATFORM_SYSTEM_H
