#ifndef VEXLOR_ELTORITO_H
#define VEXLOR_ELTORITO_H

// The whole El Torito boot catalog of an ISO 9660 image (every entry, not only the default one
// that Util::BootExtract writes out), and a map from file data sectors to the paths 7-Zip lists,
// so that a save can hand each boot image back to mkisofs as the file that holds it.
// Qt Core only; every read is bounded and no input makes the readers crash or loop.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

namespace ElTorito {

const int kSectorSize = 2048;

enum Platform : quint8 {
    PlatformBios = 0x00,
    PlatformPowerPc = 0x01,
    PlatformMac = 0x02,
    PlatformEfi = 0xEF
};

enum Media : quint8 {
    NoEmulation = 0,
    Diskette12 = 1,
    Diskette144 = 2,
    Diskette288 = 3,
    HardDisk = 4,
};

struct BootEntry
{
    int section = 0; // 0: the default entry; 1, 2, ...: the section that holds the entry
    quint8 platform = PlatformBios; // of the section (the validation entry's for the default entry)
    bool bootable = false; // boot indicator 0x88
    quint8 media = NoEmulation; // low 4 bits of the media type byte (5 to 15 kept as read)
    quint16 loadSegment = 0; // 0 means the BIOS default, 0x7C0
    quint8 systemType = 0;
    quint16 sectorCount = 0; // 512-byte virtual sectors
    quint32 loadRba = 0; // first 2048-byte sector of the boot image
    // Bytes 8..15 of the boot image hold 16 (the primary volume descriptor's sector) and the
    // load RBA: mkisofs patched a boot information table into it ("-boot-info-table").
    bool hasBootInfoTable = false;

    bool isDiskette() const { return media >= Diskette12 && media <= Diskette288; }
    // Bytes the firmware loads: the fixed diskette size, else sectorCount * 512.
    qint64 imageSize() const;
};

// The first check of ReadCatalog that an image failed, in the order they are made.
enum class Flaw {
    None,
    Unreadable, // the file cannot be opened
    NoBootRecordSector, // the image ends before sector 18
    NotBootRecord, // sector 17 is no boot record (type 0, version 1)
    NotElTorito, // the boot record lacks "CD001" or "EL TORITO SPECIFICATION"
    CatalogCut, // the catalog's first sector is not whole in the image (what is there is read)
    NoValidationEntry, // the catalog does not start with a validation entry
};

struct Catalog
{
    bool valid = false; // a boot record and a validation entry were found
    Flaw flaw = Flaw::None;
    quint32 sector = 0; // the catalog's first sector
    quint8 validationPlatform = PlatformBios;
    // The default entry first, then the section entries in catalog order (extension records
    // are skipped). Empty when !valid.
    QVector<BootEntry> entries;

    bool hasBios() const; // some bootable entry for platform 0
    bool hasEfi() const; // some bootable entry for platform 0xEF
};

// How far a catalog is followed past its first sector: 16 sectors, 1024 records.
const int kMaxCatalogSectors = 16;

// Reads the boot record (sector 17), the catalog and, for each entry, bytes 8..15 of its boot
// image. A catalog may continue into the sectors after its first one (nothing in the format
// bounds it to one sector); it is followed up to kMaxCatalogSectors or the image's end,
// whichever comes first. Records after the last section, after an all-zero record or after a
// record that is neither a header nor an entry are not read.
Catalog ReadCatalog(const QString &isoPath);

// The catalog part of ReadCatalog on bytes already read (a whole number of 32-byte records);
// hasBootInfoTable stays false. Exposed for tests.
Catalog ParseCatalog(const QByteArray &catalog, quint32 sector = 0);

// The entry's boot image as the firmware would load it (imageSize() bytes at loadRba), or an
// empty array when it cannot be read whole.
QByteArray ReadBootImage(const QString &isoPath, const BootEntry &entry);

// Words for what an image can start with: "BIOS", "UEFI", "BIOS and UEFI" or "not bootable".
QString BootKinds(const Catalog &catalog);

// Files of an ISO 9660 image by the sector where their data starts, with the paths 7-Zip lists
// for them ("dir/sub/name", no leading slash). Names follow 7-Zip's choice of tree: the UDF or
// Joliet names when the image has them, else the Rock Ridge names, else the primary names
// without their ";1" version and a trailing ".". The files are found through the ISO 9660
// tree (Joliet when present, else primary with Rock Ridge): in an image with UDF whose UDF
// names differ from those (a UDF image without Rock Ridge or Joliet, or a Joliet name cut to
// 64 characters) the path can differ from the listed one; callers check that the file exists.
// Empty files and folders are left out; when two files share a start sector the first one in
// the walk is kept. Hostile images (loops, records past their sectors) end the walk quietly.
struct ExtentMap
{
    bool valid = false; // a primary volume descriptor was found
    QMap<quint32, QString> files; // start sector -> path
    QMap<quint32, qint64> sizes; // start sector -> file size in bytes

    QString fileAt(quint32 sector) const { return files.value(sector); }
};
ExtentMap ReadExtents(const QString &isoPath);

// Whether a path of a 7-Zip listing is one of its virtual boot entries ("[BOOT]/...") rather
// than a file of the image.
bool IsVirtualBootEntry(const QString &listedPath);

} // namespace ElTorito

#endif // VEXLOR_ELTORITO_H
