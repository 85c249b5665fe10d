#ifndef VEXLOR_DISCCOPY_H
#define VEXLOR_DISCCOPY_H

// The exact copy of a disc: the size of the volume it holds, read from its ISO 9660 or UDF
// descriptors, and the copy of that many sectors from the disc's device into an image file, in
// large blocks, with progress and Stop. A sector that cannot be read ends the copy with its
// number; nothing is ever filled in for it.

#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

namespace DiscCopy {

constexpr qint64 SectorSize = 2048;
// Sectors read at a time (1 MiB).
constexpr qint64 BlockSectors = 512;

// Reads up to size bytes at offset into data: the count read (0 at the end of the device), or -1
// with *error set.
using Reader = std::function<qint64(qint64 offset, char *data, qint64 size, QString *error)>;
// Writes size bytes; false with *error set.
using Writer = std::function<bool(const char *data, qint64 size, QString *error)>;

struct Volume
{
    enum Kind { None, Iso9660, Udf };
    Kind kind = None;
    qint64 sectors = 0; // 2048-byte sectors from the start of the disc to the volume's end
    QString error; // why no volume was found (a read error, or no descriptor)
    bool Found() const { return kind != None && sectors > 0; }
};

// The volume of a disc: the ISO 9660 primary volume descriptor's volume space size, or, for a
// UDF volume, the end of its partitions and descriptor sequences (up to a closing anchor in the
// device's last sector); the larger of both when a disc holds both. deviceBytes is the device's
// size (0 when unknown).
Volume ReadVolume(const Reader &read, qint64 deviceBytes);

struct Result
{
    enum Kind {
        Done,
        Stopped,
        ReadError, // sector could not be read: error
        EndOfDisc, // the device ended at sector, before the volume's end
        WriteError // the image could not be written: error
    };
    Kind kind = Done;
    qint64 sector = -1;
    QString error;
};

// Copies sectors [0, sectors) from read to write in blocks of BlockSectors. A block that fails
// is read again sector by sector, so that the first unreadable sector is the one named.
// progress(sectorsDone) is called after each block; it returns false to stop.
Result Copy(const Reader &read, const Writer &write, qint64 sectors,
            const std::function<bool(qint64 done)> &progress);

// The device node's reader and size, through an open descriptor.
Reader FileReader(int fd);
qint64 DeviceBytes(int fd);
// The volume on a device node; none, with the reason, when the device cannot be opened or the
// disc holds several sessions.
Volume DeviceVolume(const QString &device);

} // namespace DiscCopy

// Copies a disc's volume from its device into a new image file on a worker thread. The image is
// created by the copy (never an existing file) and removed again unless the copy succeeds;
// the data is on the disk before Done is reported.
class CDiscCopy : public QThread
{
    Q_OBJECT
public:
    CDiscCopy(const QString &device, const QString &image, qint64 sectors,
              QObject *parent = nullptr);
    ~CDiscCopy() override;

    // Asks the copy to stop after the block being read.
    void Stop() { m_Stop = true; }
    // The page goes: the copy stops, and the thread deletes itself once it has ended.
    void Abandon();
    // How the copy ended; valid once finished() has come.
    DiscCopy::Result Outcome() const { return m_Result; }
    QString Image() const { return m_Image; }
    qint64 Sectors() const { return m_Sectors; }

signals:
    // Sectors copied so far, of Sectors(); at most a few times a second.
    void progress(qint64 done);

protected:
    void run() override;

private:
    const QString m_Device;
    const QString m_Image;
    const qint64 m_Sectors;
    std::atomic<bool> m_Stop { false };
    DiscCopy::Result m_Result;
};

#endif // VEXLOR_DISCCOPY_H
