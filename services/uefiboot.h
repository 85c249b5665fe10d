#ifndef VEXLOR_UEFIBOOT_H
#define VEXLOR_UEFIBOOT_H

// Makes a burned stick start under UEFI firmware. The stick's FAT volume holds the image's
// files, so an image that carries the removable-media loader EFI/BOOT/BOOTX64.EFI boots from it
// as it is. Many images keep their UEFI loader only inside the FAT image of their UEFI El Torito
// entry; for those the EFI folder of that FAT image is copied onto the volume (read with mtools,
// never mounted), beside the image's own files and never over one of them. Qt Core only.

#include "model/eltorito.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace UefiBoot {

// The paths of the rows of 7-Zip's listing of an image ("7z l"), given as its output lines.
QStringList ListedPaths(const QStringList &listingLines);

// Whether a path of an image listing ("/"-separated, no leading slash) is EFI/BOOT/BOOTX64.EFI,
// compared without regard to case.
bool IsUefiLoader(const QString &listedPath);

enum class Need {
    Nothing, // the image's own files start under UEFI
    CopyFromBootImage, // the loader is in a UEFI El Torito image: copy its EFI folder
    NoUefi, // no loader and no UEFI entry: the stick starts under BIOS only, if at all
};

struct Plan
{
    Need need = Need::NoUefi;
    // The bootable UEFI entries to take the EFI folder from, in catalog order (the first one
    // whose FAT image holds an EFI folder is used).
    QVector<ElTorito::BootEntry> sources;
};

// What a volume holding the image's files needs, from the image's listing and its catalog.
Plan Decide(const QStringList &listedPaths, const ElTorito::Catalog &catalog);

// The size in bytes of the FAT file system whose boot sector is given (bytes per sector times
// the total sector count of its BIOS parameter block); 0 when it is no FAT boot sector. UEFI
// entries often announce fewer sectors than their FAT image has (the count field holds 16 bits),
// so the FAT image is read by its own size when that is larger.
qint64 FatImageSize(const QByteArray &bootSector);

enum class Outcome {
    AlreadyBootable, // the image's files hold the loader
    Copied, // the EFI folder of a UEFI El Torito image was copied
    NotUefi, // the image has nothing for UEFI firmware
    Failed, // the image could not be read, or the copy failed
};

struct Result
{
    Outcome outcome = Outcome::Failed;
    QStringList copied; // files written, relative to the volume ("EFI/BOOT/BOOTX64.EFI")
    QString error; // for the log
};

// Lists the image with 7-Zip, decides and, when needed, copies the EFI folder of its UEFI
// El Torito image into volumeDir (the mounted volume). Files and folders already there are kept;
// names are matched without regard to case, as on FAT. Runs to its end (a few seconds at most).
Result MakeVolumeUefiBootable(const QString &isoPath, const QString &volumeDir);

// The same with the listing given: the copy step alone.
Result MakeVolumeUefiBootable(const QString &isoPath, const QString &volumeDir,
                              const QStringList &listedPaths);

} // namespace UefiBoot

#endif // VEXLOR_UEFIBOOT_H
