#ifndef VEXLOR_COPYDISCLOGIC_H
#define VEXLOR_COPYDISCLOGIC_H

// The decisions of the Copy-disc page that need no widgets: the drive list from "drutil status",
// the mount point of a drive from the lines of "mount", the progress of "hdiutil makehybrid",
// and the checks made before a copy starts.

#include <QList>
#include <QString>
#include <QStringList>

namespace CopyDiscLogic {

// The range of the progress bar while the disc is copied.
constexpr int ProgressMaximum = 10000;

// One optical drive with a disc, as "drutil status" reports it.
struct Drive
{
    QString description; // vendor, product and revision, blanks collapsed
    QString device; // the device node, for example /dev/disk2 or /dev/sr0

    // The text of its entry in the drive list: "description (device)".
    QString EntryText() const;
    bool operator==(const Drive &other) const
    {
        return description == other.description && device == other.device;
    }
};

// Reads "drutil status" output one line at a time. A header line ("Vendor   Product
// Rev") starts a drive, the next non-blank line gives its description and the first later line
// with " Name:" its device node, which completes it. A drive that never gets a name is dropped
// when the next header comes.
class DriveStatusReader
{
public:
    // Reads one line; returns true and fills *drive when the line completes a drive.
    bool Feed(const QString &line, Drive *drive);

private:
    bool m_InDrive = false;
    QString m_Description;
};

// Every drive of a whole "drutil status" output, in output order.
QList<Drive> ReadDriveStatus(const QStringList &lines);

// Splits one line of "mount" ("DEVICE on MOUNTPOINT (TYPE, OPTIONS)") into its device and its
// mount point; false for a line of another shape. A mount point may hold blanks and brackets.
bool ReadMountLine(const QString &line, QString *device, QString *mountPoint);

// Whether mounted names the drive's device itself or one of its own partitions: /dev/disk2s1
// and /dev/loop1p1 belong to /dev/disk2 and /dev/loop1, /dev/sdb1 to /dev/sdb, but /dev/disk21
// and /dev/sr10 are other drives.
bool IsDeviceOrPartition(const QString &mounted, const QString &device);

// The mount point of the disc in device from the lines of "mount" (the last matching line wins);
// empty when it is not mounted.
QString MountPointOf(const QStringList &lines, const QString &device);

// Progress on the 0 to 10000 range from one "hdiutil makehybrid" line
// ("DRStatusPercentCompleteKey: 0.25" gives 2500), or -1 when the line carries no progress
// above 0.
int ReadProgress(const QString &line);

// Whether path is folder itself or lies below it; both are compared as given (clean, absolute
// and with links resolved by the caller).
bool IsInside(const QString &path, const QString &folder);

// The tool's own message about a failed copy from its output lines (progress lines left out);
// empty when it printed nothing else.
QString PickToolMessage(const QStringList &lines);

} // namespace CopyDiscLogic

#endif // VEXLOR_COPYDISCLOGIC_H
