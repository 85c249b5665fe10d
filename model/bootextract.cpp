// El Torito boot image extraction: the boot catalog of an ISO 9660 image, as ElTorito::ReadCatalog
// reads it, names the boot image of the initial/default entry, which is written to a file.
// Offsets are computed in 64 bits.

#include "model/eltorito.h"
#include "services/util.h"

#include <QDebug>
#include <QFile>

#include <cstdio>
#include <memory>
#include <new>

namespace {

const int kVirtualSectorSize = 512;

// Writes the boot image of entry, read from stream, to outPath (nothing when it is cut short).
void writeBootImage(QString &outPath, QDataStream &stream, const ElTorito::BootEntry &entry)
{
    if (!entry.bootable) {
        std::puts("  Boot-Indicator: Not Bootable");
        std::fflush(stdout);
        return;
    }
    std::puts("  Boot-Indicator: Bootable");
    const char *const media[] = { "No emulation\n", "1.2 meg diskette\n", "1.44 meg diskette\n",
                                  "2.88 meg diskette\n", "Hard disk (drive 80)\n" };
    qDebug("%s", entry.media <= ElTorito::HardDisk ? media[entry.media] : "Unknown\n");
    // imageSize(): the fixed size of a diskette, else the entry's sector count.
    const int length = int(entry.imageSize()); // at most 65535 * 512
    if (entry.isDiskette() && entry.sectorCount * kVirtualSectorSize != length)
        std::printf("  Sector count to read: %d (%d bytes)\n", length / kVirtualSectorSize, length);
    std::fflush(stdout);

    // Left uninitialised: Read fills all of it or the buffer is dropped.
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size_t(length) + 1]);
    if (!buffer) {
        qWarning() << "Util::ProcessEntry: cannot allocate" << length << "bytes";
        return;
    }
    // The whole image is read before anything is written, so a short image leaves no file.
    const qint64 offset = qint64(entry.loadRba) * ElTorito::kSectorSize;
    if (Util::Read(stream, offset, length, buffer.get()) == 0)
        Util::WriteData(outPath, buffer.get(), length);
}

} // namespace

bool Util::BootExtract(const QString &isoPath, const QString &outPath)
{
    const ElTorito::Catalog catalog = ElTorito::ReadCatalog(isoPath);
    QFile file(isoPath);
    switch (catalog.flaw) {
    case ElTorito::Flaw::Unreadable:
        qDebug("Util::BootExtract open file error!");
        return false;
    case ElTorito::Flaw::NoBootRecordSector:
        qDebug("Could not read the file/drive\n");
        return false;
    case ElTorito::Flaw::NotBootRecord:
        qDebug("Invalid boot-record-volume!\n");
        return false;
    case ElTorito::Flaw::NotElTorito:
        qDebug("Invalid signature in boot-record-volume!\n");
        return false;
    default:
        break;
    }
    qDebug("\nReading boot-catalog from sector %u", catalog.sector);
    if (catalog.flaw == ElTorito::Flaw::CatalogCut) {
        qDebug("Could not read the file/drive ");
        return false;
    }
    // The validation entry's checksum is not verified.
    if (!catalog.valid) {
        qDebug("Invalid validation-entry in boot-catalog!\n");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug("Util::BootExtract open file error!");
        return false;
    }
    QDataStream stream(&file);
    QString out = outPath;
    writeBootImage(out, stream, catalog.entries.first());
    return true;
}

void Util::ProcessEntry(QString &outPath, QDataStream &stream, unsigned char *entry)
{
    // A default entry alone, as the catalog reader reads it after a validation entry.
    QByteArray records(64, 0);
    records[0] = 1;
    records[30] = char(0x55);
    records[31] = char(0xAA);
    records.replace(32, 32, reinterpret_cast<const char *>(entry), 32);
    writeBootImage(outPath, stream, ElTorito::ParseCatalog(records).entries.first());
}

int Util::Read(QDataStream &stream, qint64 offset, int length, void *buffer)
{
    QIODevice *device = stream.device();
    // A file seeks past its end without complaint; a position that is not in it fails here.
    // (A block device reports no size, so it is left to the read.)
    if (!device || offset < 0)
        return 25;
    const qint64 size = device->isSequential() ? 0 : device->size();
    if ((size > 0 && offset > size) || !device->seek(offset))
        return 25;
    qint64 done = 0;
    if (length > 0 && buffer) {
        char *out = static_cast<char *>(buffer);
        while (done < length) {
            const qint64 got = device->read(out + done, length - done);
            if (got <= 0)
                break;
            done += got;
        }
    }
    if (length < 0 || (length > 0 && !buffer) || done < length) {
        qDebug("Util::Read error");
        return 32;
    }
    return 0;
}

void Util::WriteData(QString &path, void *data, int length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        qDebug("Util::WriteData can not open file");
        return;
    }
    const qint64 wanted = qMax(length, 0);
    const qint64 written
        = wanted > 0 && data ? file.write(static_cast<const char *>(data), wanted) : 0;
    // resize() also cuts off what an older, longer file held beyond the new data.
    if (written != wanted || !file.flush() || !file.resize(wanted)) {
        qDebug("WriteData error");
        // A half-written boot image must not pass for a whole one.
        file.close();
        file.remove();
        return;
    }
    file.close();
}
