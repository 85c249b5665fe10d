#ifndef VEXLOR_BURNLOGIC_H
#define VEXLOR_BURNLOGIC_H

// The decisions of the Burn page that need no widgets: the image checks, the volume label
// rules, the arguments of the partitioning command, the space test, the 4 GiB limit of FAT read
// from the image's listing, the boot-loader configuration, the check that the chosen disk is
// still the one the user picked, and the reading of how a step ended.

#include "services/cruncommandthread.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace BurnLogic {

// Room the volume needs beside the image's own bytes: 50 MiB.
constexpr qint64 SpareBytes = Q_INT64_C(52428800);
// The first file size a FAT volume cannot hold: 4 GiB.
constexpr qint64 FatFileLimit = Q_INT64_C(4294967296);
// The longest FAT volume label.
constexpr int LabelMaxLength = 11;

// --- image and inputs ---------------------------------------------------------------------

// Whether path names an existing file whose name ends in ".iso" in any case.
bool IsIsoImage(const QString &path);

// Whether c may stand in a FAT volume label: printable ASCII other than
// " * + , . / : ; < = > ? [ \ ] | (lower-case letters are turned into capitals on the way).
bool IsLabelChar(QChar c);
// The label as the field keeps it: capitals, refused characters left out, at most 11 of them.
QString CleanLabel(const QString &text);
// The partitioning command's arguments for the page's choices: one partition over the whole
// disk, in a GPT table for the GPT entry and an MBR table otherwise, formatted as the file-system
// choice says for a disk of diskSize bytes ("FAT" is FAT16 below 4 GiB), named after the label
// ("NONAME" when it is empty).
QStringList PartitionArgs(const QString &disk, const QString &schemeText, const QString &fileSystem,
                          qint64 diskSize, const QString &label);
// Whether the partition scheme entry is the GPT one.
bool IsGptChoice(const QString &schemeText);

// The disk's total size must hold the image, and 50 MiB more when the image's files go onto a
// new volume (a disk image takes the disk as it is).
bool EnoughSpace(qint64 diskSize, qint64 imageSize, bool diskImage = false);

// The five lines of /syslinux.cfg: a single default entry that chain-loads /bootmgr.
QStringList SyslinuxConfig();

// --- the route ---------------------------------------------------------------------------

// Whether the first sectors of an image (at least 1024 bytes) carry a partition table of their
// own: an MBR signature with a used partition entry, or a GPT header in sector 1. Hybrid images
// (isohybrid, grub-mkrescue, xorriso with an EFI system partition) do.
bool HasPartitionTable(const QByteArray &head);
// Whether the listed paths hold /bootmgr (a Windows installation image), in any case.
bool HasBootmgr(const QStringList &listedPaths);
// Whether the image is offered as a disk image, and chosen so by default: it carries its own
// partition table and holds no /bootmgr. Other images take the file route (partition, format,
// boot loader, files).
bool OfferDiskImage(const QByteArray &head, const QStringList &listedPaths);

// What a stick made from an image starts on.
struct Starts
{
    bool bios = false;
    bool uefi = false;
    bool Any() const { return bios || uefi; }
};
// What the image brings for starting: a BIOS El Torito entry, /bootmgr, a UEFI loader (its own
// EFI/BOOT/BOOTX64.EFI or a UEFI El Torito entry).
struct BootFacts
{
    bool biosEntry = false;
    bool bootmgr = false;
    bool uefiLoader = false;
};
// The disk-image route starts where the image's own boot entries do (BIOS through its hybrid
// MBR, UEFI through its loader); the file route starts on BIOS through the boot loader's chain
// to /bootmgr (MBR only: a GPT stick gets no BIOS boot code), and on UEFI through the image's
// loader.
Starts WillStart(const BootFacts &facts, bool diskImage, bool gpt);
// "BIOS and UEFI", "BIOS", "UEFI" or "nothing".
QString StartsText(const Starts &starts);
// The line under the chosen image: what it can start with (bootKinds, as the boot catalog says),
// and for a USB disk what the stick will start on ("Boot: BIOS; the USB disk will start on BIOS").
QString BootLine(const QString &bootKinds, const BootFacts &facts, bool usb, bool diskImage,
                 bool gpt);
// Why the choice gives a stick that starts nowhere while another choice would not; "" when the
// choice starts somewhere, or when no choice does (a data image).
QString StartsNowhereText(const BootFacts &facts, bool diskImageOffered, bool diskImage, bool gpt);

// Which inputs of the Burn page apply. While a burn runs (busy) none; otherwise the drive list
// for the optical target (dvd), the USB disk's inputs for a USB disk. A disk image (diskImage)
// brings its own partitions, so that the scheme, file system and label do not apply; a GPT
// choice keeps FAT32 locked. The notes: the disk-image route's, and the GPT stick's, which
// speaks of the file route only.
struct FormState
{
    bool idle = false; // the target, the image, Back and Burn
    bool dvdList = false;
    bool usbList = false; // and the disk-image choice
    bool scheme = false; // and the label
    bool fileSystem = false;
    bool routeNote = false;
    bool gptNote = false;
};
FormState Form(bool busy, bool dvd, bool diskImage, bool gpt);

// --- files too large for FAT --------------------------------------------------------------

// One file of an image's listing.
struct ListedFile
{
    QString path;
    qint64 size = 0;
    bool offVolume = false; // not put on the volume as it is (a link, a split image)
};

// Whether a listed path is the Windows installation image that may be split into parts:
// sources/install.wim or sources/install.esd, in any case.
bool IsSplittableWim(const QString &path);
// The size from which a file is too large for FAT: 4 GiB (the test setting
// VEXLOR_TEST_FAT_FILE_LIMIT, in bytes, lowers it).
qint64 FileLimit();

// Reads the 7-Zip listing of an image, one output line at a time, and keeps the first file of
// FileLimit() or more (other than a Windows installation image, which is kept apart as the one
// to split), and every file in listing order.
class LargeFileScan
{
public:
    // The installation image of FileLimit() or more, to be split; "" when there is none.
    QString SplitWim() const { return m_wim; }
    // The files of the table (folders left out), in the order "7z x -so" writes their bytes.
    QList<ListedFile> Files() const { return m_files; }
    void AddLine(const QString &line);
    // The table was read up to its closing separator.
    bool Complete() const { return m_closed; }
    bool Found() const { return !m_path.isEmpty(); }
    QString Path() const { return m_path; }
    qint64 Size() const { return m_size; }

private:
    bool m_inTable = false;
    bool m_closed = false;
    QList<ListedFile> m_files;
    QString m_path;
    QString m_wim;
    qint64 m_size = 0;
};

// The refusal that names the file too large for FAT.
QString TooLargeText(const QString &path, qint64 size);

// --- the chosen disk ----------------------------------------------------------------------

// What identifies a listed disk: its node, total size and model, and what identifies the device
// itself: its serial number or WWN and its device number, as "diskutil info" reports them
// ("Serial Number:", "WWN:", "Device Number:"). Two sticks of one make and size differ in
// serial; a stick replugged elsewhere differs in node and device number.
struct DiskIdentity
{
    QString node;
    qint64 size = 0;
    QString model;
    QString serial;
    QString wwn;
    QString deviceNumber;
};
// The identity of the disk at node from its "diskutil info" report.
DiskIdentity IdentityFromInfo(const QString &node, const QString &report);
// Whether now (read right before writing) is still the disk chosen earlier: every field the
// same, and a size above 0.
bool SameDisk(const DiskIdentity &chosen, const DiskIdentity &now);
// Which disk of the list read just now (now) is chosen when the list before it had the entry at
// chosen (-1: none) of before chosen: that disk wherever it is listed now, and none when it is
// gone, never another in its place. A first listing (before empty) chooses its first disk, as a
// list does by itself.
int ChoiceAfterListing(const QList<DiskIdentity> &before, int chosen,
                       const QList<DiskIdentity> &now);
// The model line of a "diskutil info" report ("Device / Media Name:"), trimmed; "" when there
// is none.
QString ModelFromInfo(const QString &report);
// The options that hand the identity to the disk tools that write: "--serial", S, "--wwn", W,
// "--device-number", D, "--size", N, "--model", M.
QStringList IdentityArgs(const DiskIdentity &disk);
// The disk for the user: model, size and node ("Cruzer Blade, 15.9 GB, /dev/sdb"; no model:
// "USB disk").
QString DiskText(const DiskIdentity &disk);

// --- the image's files on FAT --------------------------------------------------------------

// What 7-Zip could not put on a FAT volume that FAT readers never see: attributes FAT cannot
// store ("Cannot set file attribute": Rock Ridge modes, owners, times) and symbolic links
// ("Cannot create symbolic link").
struct FatSkips
{
    int attributes = 0;
    QStringList links; // relative to the volume
};
// Wraps 7-Zip's error reader for an unpack onto the FAT volume at volume: those failures are
// left out of the error lines and noted in *skips instead.
CErrorLineReader FatUnpackReader(const QString &volume, const std::shared_ptr<FatSkips> &skips);
// Whether the unpack wrote every file: ended by itself with status 0, or with 7-Zip's error
// status 2 while nothing but the skipped failures (and their counts) was reported.
bool UnpackSucceeded(const CRunOutcome &end, const FatSkips &skips);
// The listing with the links left out marked as not on the volume.
QList<ListedFile> FilesOnVolume(const QList<ListedFile> &files, const FatSkips &skips);

// --- flushing and reading back -----------------------------------------------------------

// Writes out everything of the mounted volume (syncfs) and of its partition (fsync, where the
// partition can be opened), so that write errors of the medium surface, and drops the
// partition's cached blocks so that what is read next comes from the medium. Empty when all
// went well, else what failed, for the user.
QString FlushVolume(const QString &mountPoint, const QString &partition);

struct VerifyResult
{
    bool ok = false;
    QString file; // the file that differs or could not be read ("" for the image itself)
    QString error; // for the user
};
// Reads every file back from the volume and compares it, byte for byte, with the image's own
// bytes, which 7-Zip writes to its standard output in listing order (sevenZip and args: the
// program and its "x -so" arguments). progress(done, total) follows the bytes compared; once
// *stop turns true the read-back ends with an error. Blocks the calling thread (run it on a
// worker).
VerifyResult VerifyVolume(const QString &sevenZip, const QStringList &args,
                          const QList<ListedFile> &files, const QString &volume,
                          const std::function<void(qint64, qint64)> &progress,
                          const std::atomic<bool> *stop = nullptr);
// The failure text of a verification.
QString VerifyFailureText(const VerifyResult &result, const QString &disk);

// --- how a step ended ---------------------------------------------------------------------

enum class Outcome { Done, Failed, Refused };

// The error reader of the disk tools and the boot helpers, whose every line may be the message:
// each non-blank line, trimmed, with 7-Zip's progress redraws and backspaces left out.
CErrorLineReader ToolLineReader();

// A step succeeded when its tool started, ended by itself with exit status 0. An authorisation
// the user did not give (a dismissed prompt, or one polkit refused) is Refused.
Outcome Judge(const CRunOutcome &end);

// The failure text of a step: what failed, then the tool's own message (its last three error
// lines) when it said something, or how it ended when it did not.
QString FailureText(const QString &what, const CRunOutcome &end);

} // namespace BurnLogic

#endif // VEXLOR_BURNLOGIC_H
