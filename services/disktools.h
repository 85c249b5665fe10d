#ifndef VEXLOR_DISKTOOLS_H
#define VEXLOR_DISKTOOLS_H

// The platform's disk tools (diskutil, drutil, hdiutil, mount, osascript and the boot helper
// mkbootable): the argument list of each use, and pure readers of what they print. Programs
// come from PlatformTools::Program(). Every argument is its own list element; nothing here runs
// a tool.

#include <QList>
#include <QString>
#include <QStringList>

namespace DiskTools {

// --- argument lists ---

// "list"
QStringList ListArgs();
// "info", device (a disk or partition node, or a mount point)
QStringList InfoArgs(const QString &device);
// "partitionDisk", disk, "1", scheme, format, name, "R": one partition of that format and name
// over the whole disk, in an MBR table ("MBR") or a GPT one ("GPT", the partition typed as an
// EFI system partition).
QStringList PartitionArgs(const QString &disk, const QString &format, const QString &name,
                          const QString &scheme = QStringLiteral("MBR"));
// The format argument for the file-system choice "FAT" or "FAT32": "MS-DOS FAT16" for "FAT"
// on a disk below 4 GiB (4294967296 bytes), else "FAT32".
QString FormatArgument(const QString &fileSystem, qint64 diskSize);
// The volume name: the label, or "NONAME" when it is empty.
QString VolumeName(const QString &label);
// "unmountDisk", disk
QStringList UnmountDiskArgs(const QString &disk);
// "writeImage", disk, image: the image's bytes onto the whole disk from sector 0, read back and
// compared (progress as "DRStatusPercentCompleteKey: F" lines, "Verifying..." before the
// read-back).
QStringList WriteImageArgs(const QString &disk, const QString &image);
// "status" (drutil)
QStringList DriveStatusArgs();
// "burn", "-verbose", "-noverifyburn", image; with a device: ..., "-device", device, image
QStringList BurnArgs(const QString &image, const QString &device = QString());
// "makehybrid", "-iso", "-joliet", "-debug", "-ov", "-o", target, source
QStringList MakeHybridArgs(const QString &target, const QString &source);
// "eject", device
QStringList EjectArgs(const QString &device);

// --- the administrator command ---

// A word quoted for the POSIX shell: 'it'\''s' style, so that blanks, quotes, backslashes,
// "$" and "`" stay part of the one word.
QString ShellQuote(const QString &word);
// The shell command that runs the boot helper: program, disk, mount point and the further
// words (the disk's identity options), each quoted.
QString MkbootableCommand(const QString &program, const QString &disk, const QString &mountPoint,
                          const QStringList &more = {});
// Text escaped for the inside of an AppleScript string literal (backslash and double quote).
QString AppleScriptString(const QString &text);
// do shell script "COMMAND" with administrator privileges, COMMAND escaped.
QString AdminScript(const QString &shellCommand);
// "-e", AdminScript(shellCommand): the arguments of osascript.
QStringList AdminArgs(const QString &shellCommand);

// --- device names ---

// The node of a disk's first partition: /dev/disk2 -> /dev/disk2s1 (macOS), /dev/sdb ->
// /dev/sdb1, and a name ending in a digit takes "p": /dev/nvme0n1 -> /dev/nvme0n1p1,
// /dev/mmcblk0 -> /dev/mmcblk0p1, /dev/loop3 -> /dev/loop3p1.
QString FirstPartition(const QString &disk);
// True when node is the disk itself or one of its partitions in the naming scheme above
// (/dev/disk2s3 of /dev/disk2, /dev/sdb2 of /dev/sdb; never /dev/disk21 of /dev/disk2).
bool IsDiskOrPartition(const QString &node, const QString &disk);

// --- readers ---

// "diskutil list": the device node of a header line "/dev/disk2 (external, physical):"
// (every "\r", "\n" and "(external, physical):" removed, trimmed); empty for any line without
// "external, physical".
QString ListedDisk(const QString &line);

// "diskutil info" reports (the whole text). A field is a line whose text before its first ":",
// trimmed, is the field's name; a value that merely holds another field's name (a model string
// "Mount Point: /x") is no such line.
// The value of the first line of the field (after the ":", trimmed); empty when there is none.
QString InfoValue(const QString &report, const QString &name);
// The byte count of the "Disk Size" field, "16.0 GB (N Bytes) (exactly M 512-Byte-Units)"
// giving N: the text between the last "(" before " Bytes)" and " Bytes)"; 0 when no line
// qualifies or the count is no number.
qint64 DiskSizeFromInfo(const QString &report);
// The mount point of the first "Mount Point" field holding a "/" (from that "/" to the end of
// the line, trimmed); empty when none does ("Not mounted").
QString MountPointFromInfo(const QString &report);
// A USB stick: a "Protocol" field with "USB", a "Removable Media" field whose value says
// "Removable" (not "Fixed"), and no "Optical Drive Type" field. Case-sensitive.
bool IsUsbStickInfo(const QString &report);

// "drutil status": one drive with a disc.
struct Drive
{
    QString description; // vendor, product and revision, blanks collapsed
    QString device; // the node after " Name:"
    // description + " (" + device + ")"
    QString Text() const;
};
// Reads the listing one line at a time: a line with "Vendor   Product           Rev" starts a
// drive, the next line that is not blank gives its description, and the first later line with
// " Name:" (at a position above 0) its device and completes it. Feed() returns true and fills
// *drive when a line completes a drive.
class DriveStatusReader
{
public:
    bool Feed(const QString &line, Drive *drive);
    void Reset();

private:
    bool m_header = false;
    QString m_description;
    QString m_device;
};
// Every drive of a whole listing, in order.
QList<Drive> ReadDriveStatus(const QStringList &lines);

// "hdiutil burn" and "makehybrid" progress: for a line containing "DRStatusPercentCompleteKey",
// the number after removing "DRStatusPercentCompleteKey:" and trimming (0 when it is no
// number); *isProgress tells whether the line carried the key. Callers act on values above 0.
double ProgressFraction(const QString &line, bool *isProgress = nullptr);

// "mount" (no arguments): "DEVICE on MOUNTPOINT (TYPE, OPTION, ...)".
struct MountEntry
{
    QString device;
    QString mountPoint;
    QString type;
    QStringList options;
};
// Reads one line; the mount point runs from after " on " to the last " (" (so a blank or a
// parenthesis inside it stays). False for a line of another shape.
bool ParseMountLine(const QString &line, MountEntry *entry);
// The mount point of the last line whose device is the given one or one of its partitions
// (IsDiskOrPartition); empty when none is.
QString MountPointForDevice(const QStringList &lines, const QString &device);

} // namespace DiskTools

#endif // VEXLOR_DISKTOOLS_H
