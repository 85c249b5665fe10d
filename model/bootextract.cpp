// El Torito boot image extraction: follows the boot record volume descriptor of an ISO 9660
// image to its boot catalog and writes the boot image of the initial/default entry to a file.
// All multi-byte fields are little-endian; every offset is computed in 64 bits.

#include "services/util.h"

#include <QDebug>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

const int kSectorSize = 2048;
const int kVirtualSectorSize = 512;
const qint64 kBootRecordOffset = 17 * kSectorSize; // 34816
const int kEntrySize = 32;

quint32 le32(const unsigned char *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

quint16 le16(const unsigned char *p)
{
    return quint16(p[0] | (p[1] << 8));
}

// Compares the fixed-width field at p with text as C strings do: a NUL in the field ends it.
bool fieldEquals(const unsigned char *p, const char *text, size_t width)
{
    return std::strncmp(reinterpret_cast<const char *>(p), text, width) == 0
        && std::strlen(text) == width;
}

} // namespace

bool Util::BootExtract(const QString &isoPath, const QString &outPath)
{
    QFile file(isoPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug("Util::BootExtract open file error!");
        return false;
    }
    QDataStream stream(&file);

    unsigned char record[kSectorSize];
    if (Read(stream, kBootRecordOffset, kSectorSize, record) != 0) {
        qDebug("Could not read the file/drive\n");
        return false;
    }
    if (record[0] != 0 || record[6] != 1) {
        qDebug("Invalid boot-record-volume!\n");
        return false;
    }
    if (!fieldEquals(record + 1, "CD001", 5)
        || !fieldEquals(record + 7, "EL TORITO SPECIFICATION", 23)) {
        qDebug("Invalid signature in boot-record-volume!\n");
        return false;
    }

    const quint32 catalogSector = le32(record + 71);
    qDebug("\nReading boot-catalog from sector %u", catalogSector);

    unsigned char catalog[kSectorSize];
    if (Read(stream, qint64(catalogSector) * kSectorSize, kSectorSize, catalog) != 0) {
        qDebug("Could not read the file/drive ");
        return false;
    }
    // Validation entry: header ID 1 and the key bytes 55 AA; the checksum is not verified.
    if (catalog[0] != 1 || catalog[30] != 0x55 || catalog[31] != 0xAA) {
        qDebug("Invalid validation-entry in boot-catalog!\n");
        return false;
    }

    QString out = outPath;
    ProcessEntry(out, stream, catalog + kEntrySize);
    return true;
}

void Util::ProcessEntry(QString &outPath, QDataStream &stream, unsigned char *entry)
{
    if (entry[0] != 0x88) {
        std::puts("  Boot-Indicator: Not Bootable");
        std::fflush(stdout);
        return;
    }
    std::puts("  Boot-Indicator: Bootable");

    const int entryCount = le16(entry + 6);
    int count = entryCount;
    int fixedCount = 0;
    switch (entry[1] & 0x0F) {
    case 0:
        qDebug("No emulation\n");
        break;
    case 1:
        qDebug("1.2 meg diskette\n");
        fixedCount = 2400;
        break;
    case 2:
        qDebug("1.44 meg diskette\n");
        fixedCount = 2880;
        break;
    case 3:
        qDebug("2.88 meg diskette\n");
        fixedCount = 5760;
        break;
    case 4:
        qDebug("Hard disk (drive 80)\n");
        break;
    default:
        qDebug("Unknown\n");
        break;
    }
    if (fixedCount) {
        count = fixedCount;
        if (entryCount != fixedCount)
            std::printf("  Sector count to read: %d (%d bytes)\n", fixedCount,
                        fixedCount * kVirtualSectorSize);
    }
    std::fflush(stdout);

    const int length = count * kVirtualSectorSize; // at most 65535 * 512
    const qint64 offset = qint64(le32(entry + 8)) * kSectorSize;
    // Left uninitialised: Read fills all of it or the buffer is dropped.
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size_t(length) + 1]);
    if (!buffer) {
        qWarning() << "Util::ProcessEntry: cannot allocate" << length << "bytes";
        return;
    }
    // The whole image is read before anything is written, so a short image leaves no file.
    if (Read(stream, offset, length, buffer.get()) == 0)
        WriteData(outPath, buffer.get(), length);
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
