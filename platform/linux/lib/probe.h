#ifndef VEXLOR_PLATFORM_PROBE_H
#define VEXLOR_PLATFORM_PROBE_H

// Pure readers of what the Linux system reports about disks, mounts and drives, and the rules
// that decide which disks the disk tools may write. Nothing here touches the system: the
// callers read lsblk's JSON, /proc/self/mountinfo, /proc/swaps and /proc/sys/dev/cdrom/info and
// hand the text over, so every rule can be checked on recorded output.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Probe {

// One node of lsblk's device tree ("lsblk -J -b -o NAME,PATH,TYPE,TRAN,RM,HOTPLUG,SIZE,MODEL,
// VENDOR,MOUNTPOINTS,FSTYPE,LABEL"); missing or null fields read as empty, false or 0.
struct BlockDevice
{
    QString name;
    QString path;
    QString type; // "disk", "part", "loop", "rom", "lvm", "raid1", "crypt", ...
    QString tran; // "usb", "sata", "nvme", ... or empty
    QString model;
    QString vendor;
    QString fsType;
    QString label;
    bool removable = false;
    bool hotplug = false;
    qint64 size = 0;
    QStringList mountPoints; // the non-null entries of MOUNTPOINTS (or MOUNTPOINT)
    QList<BlockDevice> children;
};
// The devices of the JSON text; an empty list when it is not lsblk's JSON.
QList<BlockDevice> ParseLsblk(const QByteArray &json);
// The device whose path (or name, or "/dev/" + name) is the given one, searched through the
// whole tree; nullptr when there is none.
const BlockDevice *FindDevice(const QList<BlockDevice> &devices, const QString &pathOrName);

// One line of /proc/self/mountinfo.
struct MountEntry
{
    QString majorMinor; // "8:17"
    QString mountPoint; // escapes decoded
    QString options; // per-mount options, "rw,nosuid,relatime"
    QString fsType; // "vfat", "fuse", "fuse.fuseiso", ...
    QString source; // "/dev/sdb1", escapes decoded
    QString superOptions;
};
QList<MountEntry> ParseMountInfo(const QByteArray &text);
// Undoes the octal escapes the kernel writes for blanks, tabs, line feeds and backslashes
// ("\040" is a blank).
QString DecodeMountEscapes(const QString &text);
// The line "DEVICE on MOUNTPOINT (TYPE, OPTION, OPTION...)" for one mount.
QString MountLine(const MountEntry &entry);

// Device paths of the active swap areas listed in /proc/swaps (files are left out).
QStringList ParseSwaps(const QByteArray &text);

// One drive column of /proc/sys/dev/cdrom/info.
struct CdromDrive
{
    QString name; // "sr0"
    QMap<QString, QString> values; // "Can write DVD-R" -> "1", ...
};
QList<CdromDrive> ParseCdromInfo(const QByteArray &text);
// "DVD-RW", "DVD-ROM", "CD-RW" or "CD-ROM", from the drive's capabilities.
QString OpticalDriveType(const CdromDrive &drive);

// What an optical drive says of its medium (the kernel's CDROM_DRIVE_STATUS): Unknown when the
// drive cannot be asked or does not know.
enum class MediaStatus { Unknown, NoDisc, TrayOpen, NotReady, DiscOk };
// The status for the ioctl's value (CDS_NO_INFO 0 ... CDS_DISC_OK 4; an error, -1, is Unknown).
MediaStatus MediaStatusFromDrive(int value);
// Whether a drive holds a disc: what the drive says of its medium; only when it cannot tell, a
// size above 0 (an empty drive can still report the size of the last disc it held).
bool HoldsDisc(MediaStatus status, qint64 sizeSectors);

// The medium xorriso reports in "xorriso -outdev DRIVE -toc": the "Media status :" line
// ("is blank", "is written , is appendable", "is written , is closed", ...).
enum class BurnMedium { Unknown, Blank, Written };
BurnMedium XorrisoMedium(const QString &toc);

// The completed fraction (0 to 1) of a xorriso progress line "xorriso : UPDATE : 76 of 450 MB
// written ..." or of an mkisofs line " 2.17% done, estimate finish ..."; -1 for other lines.
double XorrisoProgress(const QString &line);
double MkisofsProgress(const QString &line);
// "DRStatusPercentCompleteKey: 0.168889"
QString ProgressLine(double fraction);

// The shell command of the one script form the osascript provider accepts:
// do shell script "CMD" with administrator privileges, CMD an AppleScript string literal
// (escapes \" \\ \n \r \t). False for any other script.
bool ParseAdminScript(const QString &script, QString *command);

// Size as the disk reports print it: "16.0 GB", "512.0 MB", "1.5 TB" (powers of 1000).
QString HumanSize(qint64 bytes);

// What identifies a whole disk: its serial number or its WWN (for a loop device, the device and
// inode of its backing file), its device number ("8:16"), its size in bytes and its model (vendor
// and model, as "Device / Media Name" prints them). Two sticks of one make and size differ in
// serial; the same stick in another slot differs in device number.
struct DiskIdentity
{
    QString serial;
    QString wwn;
    QString deviceNumber;
    qint64 size = 0;
    QString model;
};
// The options that carry an identity to the tools that write: "--serial", S, "--wwn", W,
// "--device-number", D, "--size", N, "--model", M (every value its own argument, maybe empty).
QStringList IdentityOptions(const DiskIdentity &identity);
// Takes those options off the end of arguments: *rest receives what stands before them. False
// when one of the five is missing, repeated, unknown or without its value, or the size is no
// positive number.
bool TakeIdentityOptions(const QStringList &arguments, DiskIdentity *identity, QStringList *rest);
// Empty when actual is the disk expected; else what differs, for the user ("serial number
// 123 instead of 456").
QString IdentityDifference(const DiskIdentity &expected, const DiskIdentity &actual);
// The serial number in a SCSI unit serial number page (VPD page 0x80, as sysfs "vpd_pg80"
// gives it), trimmed; empty when it is no such page.
QString SerialFromVpdPage(const QByteArray &page);

// The disk-selection rules.
//
// A whole disk is a system disk when it or anything below it (partitions, LVM volumes, RAID
// and crypt members) is mounted at "/", "/boot", "/usr", "/home" or "/var" (or below "/boot"),
// or is an active swap area.
bool IsSystemDisk(const BlockDevice &disk, const QStringList &swaps);
// Whether a whole disk counts as removable media: its removable flag (rm) is set. A USB or
// hot-pluggable disk without it (an external hard disk, a SATA disk in a hot-swap bay) is Fixed.
bool IsRemovableMedia(const BlockDevice &disk);
// The whole disks a user may repartition: type "disk", not a system disk, with a medium
// (size > 0), and removable media (IsRemovableMedia). Loop, optical and virtual devices never
// qualify. When testDisks is not empty (the test seam) only the loop devices it
// names qualify instead, and still never one that holds a system mount.
QList<BlockDevice> WritableDisks(const QList<BlockDevice> &devices, const QStringList &swaps,
                                 const QStringList &testDisks);

} // namespace Probe

#endif // VEXLOR_PLATFORM_PROBE_H
