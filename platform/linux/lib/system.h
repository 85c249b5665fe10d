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
#include <QString>
#include <QStringList>

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
// Unmounts every mount of the device tree; false (and *error) when one stays mounted.
bool UnmountTree(const Probe::BlockDevice &device, QString *error);

// The folder volumes are mounted in, and a free mount point for a label in it ("NAME",
// "NAME 1", ...).
QString MediaDir();
QString FreeMountPoint(const QString &label);
// Mounts a FAT volume read-write for the calling user: the kernel's vfat driver, or fusefat
// where the kernel has none.
bool MountFat(const QString &partition, const QString &mountPoint, QString *error);

// Makes the kernel see the disk's partitions and returns the first partition's node once it
// exists; empty when none appears.
QString FirstPartition(const QString &diskPath);

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
