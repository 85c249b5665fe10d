#ifndef VEXLOR_BOOTOPTIONS_H
#define VEXLOR_BOOTOPTIONS_H

// The mkisofs boot switches that make a saved image start the way the loaded one did: one
// El Torito entry per bootable BIOS or UEFI entry of the loaded catalog, in catalog order.
// Qt Core only.

#include "model/eltorito.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace BootOptions {

// A boot image the caller writes at the top of the working folder before mkisofs runs, because
// no file of the loaded image holds it whole (or, for a BIOS entry without a boot information
// table, because the firmware loads only the entry's sectors; see Build).
struct BootFile
{
    QString name; // relative to the working folder, at its top ("boot.bin", "boot-2.img")
    ElTorito::BootEntry entry; // its content is ElTorito::ReadBootImage(loaded image, entry)
};

struct Result
{
    // Boot switches, to be placed before the source folder: e.g.
    // "-c" "boot.catalog" "-hide" ... "-b" "isolinux/isolinux.bin" "-no-emul-boot"
    // "-boot-load-size" "4" "-boot-info-table" "-eltorito-alt-boot" "-e" "boot/efi.img"
    // "-no-emul-boot". Empty when the loaded image has no usable bootable entry.
    QStringList args;
    // The source folder argument the hide patterns were made for: the caller passes exactly
    // this string to mkisofs as its folder (mkisofs matches "-hide" patterns against it).
    QString sourceArg;
    // The boot catalog the saved image gets, at the top of the working folder ("boot.catalog"
    // unless a file of the tree has that name).
    QString catalogName;
    QVector<BootFile> files; // to write into the working folder (see WriteBootFiles)
    // Paths relative to the working folder that args hide from every tree (ISO 9660, Rock
    // Ridge, Joliet and UDF): the new boot catalog, the files above, the old catalog.
    QStringList hidden;
    // The loaded image's boot catalog as 7-Zip lists it ("boot.catalog", "isolinux/boot.cat");
    // leave it out of the tree. Empty when no listed file holds it.
    QString catalogPath;
    // Listed files that hold a boot image and stay in the saved image as files ("-b"/"-e").
    QStringList bootImagePaths;
    int entries = 0; // El Torito entries the saved image will have
    int dropped = 0; // bootable entries that cannot be carried over (other platforms, no data)
    bool bios = false; // some BIOS entry is kept
    bool efi = false; // some UEFI entry is kept
};

// Builds the switches from the loaded image's catalog and its extent map.
// - BIOS entry: "-b FILE", then by media type "-no-emul-boot" "-boot-load-size" N (the entry's
//   sector count; left out when 0, mkisofs then loads the whole file), nothing for the three
//   diskettes, "-hard-disk-boot" for a hard disk; "-boot-load-seg" N (decimal) when the load
//   segment is neither 0 nor 0x7C0; "-boot-info-table" when the loaded boot image carried one.
//   FILE is the listed file whose data starts at the load sector when the entry carried a
//   boot information table (the loader reads the rest of itself from that file) or emulates
//   a hard disk (the whole disk image); otherwise, or when no such file exists, "boot.bin":
//   the loaded boot image, written by the caller at the top of the working folder and hidden
//   (named "boot (2).bin" and so on when a file of the tree has the name).
// - UEFI entry: "-e FILE" "-no-emul-boot", FILE the listed file whose data starts at the load
//   sector; when none does, the entry's sectors are written to a hidden "boot-N.img" (N: the
//   entry's index), and an entry with sector count 0 then cannot be carried over (dropped).
// - Every entry after the first is preceded by "-eltorito-alt-boot"; an image with UEFI entries
//   only stays UEFI-only (its first UEFI entry becomes the default entry). Entries that are not
//   bootable, or for other platforms, are dropped (mkisofs has no switch for them).
// - "-c" catalogName with "-hide" and "-hide-joliet" (the latter also hides from UDF) for each
//   hidden path, as sourceDir + "/" + path with glob characters escaped, so that a file of the
//   same name in a subfolder stays visible.
// - exists, when given, tells whether a path (relative to the working folder) is there now, as
//   the edited tree has it, before the boot files are written: a listed boot file that is gone
//   (deleted or renamed since the load) falls back to a written copy, and the names of the
//   written files and the catalog avoid the files there. Without it, the listed files are
//   taken as present and names are checked against the loaded tree only.
Result Build(const ElTorito::Catalog &catalog, const ElTorito::ExtentMap &extents,
             const QString &sourceDir, const std::function<bool(const QString &)> &exists = {});

// Writes result.files into workDir from the loaded image. False when a boot image cannot be
// read whole or a file cannot be written.
bool WriteBootFiles(const Result &result, const QString &isoPath, const QString &workDir);

} // namespace BootOptions

#endif // VEXLOR_BOOTOPTIONS_H
