#include "services/disccopy.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#endif

Q_LOGGING_CATEGORY(lcDiscCopy, "vexlor.disccopy", QtWarningMsg)

namespace DiscCopy {

namespace {

quint32 le32(const QByteArray &b, int at)
{
    const auto *p = reinterpret_cast<const uchar *>(b.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 le16(const QByteArray &b, int at)
{
    const auto *p = reinterpret_cast<const uchar *>(b.constData()) + at;
    return quint16(p[0] | p[1] << 8);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Reads size bytes at offset; the count read (less at the end of the device) or -1.
qint64 readFully(const Reader &read, qint64 offset, char *data, qint64 size, QString *error)
{
    qint64 got = 0;
    while (got < size) {
        const qint64 n = read(offset + got, data + got, size - got, error);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

bool readSector(const Reader &read, qint64 sector, QByteArray *data, QString *error)
{
    data->resize(int(SectorSize));
    const qint64 got = readFully(read, sector * SectorSize, data->data(), SectorSize, error);
    if (got == SectorSize)
        return true;
    if (got >= 0)
        *error = QStringLiteral("the disc ends before sector %1").arg(sector);
    return false;
}

// A UDF descriptor tag of the given kind that names its own sector, with a valid checksum.
bool isUdfTag(const QByteArray &s, quint16 id, qint64 sector)
{
    if (s.size() < 16 || le16(s, 0) != id || le32(s, 12) != quint32(sector))
        return false;
    quint8 sum = 0;
    for (int i = 0; i < 16; ++i) {
        if (i != 4)
            sum += quint8(s.at(i));
    }
    return sum == quint8(s.at(4));
}

qint64 sectorsOf(qint64 bytes)
{
    return (bytes + SectorSize - 1) / SectorSize;
}

// The end of a UDF volume (in sectors), or 0 when no anchor is found.
qint64 udfEnd(const Reader &read, qint64 deviceSectors, QString *error)
{
    QByteArray s;
    qint64 anchor = -1;
    for (const qint64 at : { qint64(256), deviceSectors - 1, deviceSectors - 257 }) {
        if (at >= 256 && readSector(read, at, &s, error) && isUdfTag(s, 2, at)) {
            anchor = at;
            break;
        }
    }
    if (anchor < 0)
        return 0;
    qint64 end = anchor + 1;
    const qint64 mainLength = le32(s, 16);
    const qint64 mainAt = le32(s, 20);
    const qint64 reserveLength = le32(s, 24);
    const qint64 reserveAt = le32(s, 28);
    end = qMax(end, mainAt + sectorsOf(mainLength));
    end = qMax(end, reserveAt + sectorsOf(reserveLength));
    // Partition descriptors (tag 5) in the main sequence, up to its terminator (tag 8).
    for (qint64 i = 0; i < qMin<qint64>(sectorsOf(mainLength), 64); ++i) {
        if (!readSector(read, mainAt + i, &s, error))
            return 0;
        const quint16 tag = le16(s, 0);
        if (tag == 8)
            break;
        if (tag == 5)
            end = qMax(end, qint64(le32(s, 188)) + qint64(le32(s, 192)));
    }
    // The closing anchor lies in the device's last sector or 256 sectors before it.
    if (deviceSectors > end) {
        for (const qint64 at : { deviceSectors - 1, deviceSectors - 257 }) {
            QString ignored;
            if (at >= end && readSector(read, at, &s, &ignored) && isUdfTag(s, 2, at))
                return deviceSectors;
        }
    }
    return end;
}

} // namespace

Volume ReadVolume(const Reader &read, qint64 deviceBytes)
{
    Volume volume;
    qint64 isoSectors = 0;
    bool nsr = false;
    QByteArray s;
    // The volume recognition area: ISO 9660 descriptors, then UDF's extended area.
    for (qint64 sector = 16; sector < 16 + 64; ++sector) {
        if (!readSector(read, sector, &s, &volume.error))
            return volume;
        const QByteArray id = s.mid(1, 5);
        if (id == "CD001") {
            if (quint8(s.at(0)) == 1)
                isoSectors = sectorsOf(qint64(le32(s, 80)) * le16(s, 128));
        } else if (id == "NSR02" || id == "NSR03") {
            nsr = true;
        } else if (id != "BEA01" && id != "TEA01" && id != "BOOT2" && id != "CDW02") {
            break;
        }
    }
    qint64 udfSectors = 0;
    if (nsr) {
        udfSectors = udfEnd(read, deviceBytes / SectorSize, &volume.error);
        if (udfSectors == 0 && isoSectors == 0)
            return volume;
    }
    volume.sectors = qMax(isoSectors, udfSectors);
    volume.kind = udfSectors > isoSectors ? Volume::Udf
        : isoSectors > 0                  ? Volume::Iso9660
                                          : Volume::None;
    if (volume.kind == Volume::None)
        volume.error = QStringLiteral("no ISO 9660 or UDF volume");
    else
        volume.error.clear();
    return volume;
}

Result Copy(const Reader &read, const Writer &write, qint64 sectors,
            const std::function<bool(qint64 done)> &progress)
{
    Result result;
    QByteArray buffer(int(BlockSectors * SectorSize), Qt::Uninitialized);
    for (qint64 at = 0; at < sectors;) {
        const qint64 count = qMin(BlockSectors, sectors - at);
        const qint64 bytes = count * SectorSize;
        QString error;
        qint64 got = readFully(read, at * SectorSize, buffer.data(), bytes, &error);
        if (got < 0) {
            // Which sector of the block fails: each is read on its own.
            for (qint64 i = 0; i < count; ++i) {
                const qint64 n = readFully(read, (at + i) * SectorSize,
                                           buffer.data() + i * SectorSize, SectorSize, &error);
                if (n < 0)
                    return { Result::ReadError, at + i, error };
                if (n < SectorSize)
                    return { Result::EndOfDisc, at + i, QString() };
            }
            got = bytes;
        }
        if (got < bytes)
            return { Result::EndOfDisc, at + got / SectorSize, QString() };
        if (!write(buffer.constData(), bytes, &error))
            return { Result::WriteError, at, error };
        at += count;
        if (!progress(at))
            return { Result::Stopped, at, QString() };
    }
    return result;
}

Reader FileReader(int fd)
{
    return [fd](qint64 offset, char *data, qint64 size, QString *error) -> qint64 {
        for (;;) {
            const ssize_t n = ::pread(fd, data, size_t(size), off_t(offset));
            if (n >= 0)
                return n;
            if (errno != EINTR) {
                *error = systemError();
                return -1;
            }
        }
    };
}

qint64 DeviceBytes(int fd)
{
    const off_t end = ::lseek(fd, 0, SEEK_END);
    return end > 0 ? qint64(end) : 0;
}

Volume DeviceVolume(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Volume volume;
        volume.error = systemError();
        return volume;
    }
    Volume volume = ReadVolume(FileReader(fd), DeviceBytes(fd));
#ifdef __linux__
    // A disc of several sessions has gaps between them that cannot be read, and the descriptors
    // at sector 16 describe only the first session: no plain image is that disc.
    cdrom_multisession session {};
    session.addr_format = CDROM_LBA;
    if (volume.Found() && ::ioctl(fd, CDROMMULTISESSION, &session) == 0 && session.xa_flag
        && session.addr.lba > 0) {
        volume = Volume();
        volume.error = QStringLiteral("a disc of several sessions (the last from sector %1)")
                           .arg(session.addr.lba);
    }
#endif
    ::close(fd);
    return volume;
}

} // namespace DiscCopy

CDiscCopy::CDiscCopy(const QString &device, const QString &image, qint64 sectors, QObject *parent)
    : QThread(parent)
    , m_Device(device)
    , m_Image(image)
    , m_Sectors(sectors)
{
    m_Result.kind = DiscCopy::Result::Stopped;
}

CDiscCopy::~CDiscCopy()
{
    m_Stop = true;
    wait();
}

void CDiscCopy::Abandon()
{
    m_Stop = true;
    // A copy that has just succeeded leaves an image nobody takes any more.
    const QString image = m_Image;
    auto dispose = [this, image] {
        if (m_Result.kind == DiscCopy::Result::Done)
            QFile::remove(image);
        deleteLater();
    };
    connect(this, &QThread::finished, this, dispose);
    if (isFinished())
        dispose();
}

void CDiscCopy::run()
{
    using DiscCopy::Result;
    const int in = ::open(QFile::encodeName(m_Device).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        m_Result = { Result::ReadError, -1, DiscCopy::systemError() };
        return;
    }
    // The image is a new file (the name is one nobody else uses) with the usual mode.
    const int out = ::open(QFile::encodeName(m_Image).constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        m_Result = { Result::WriteError, -1, DiscCopy::systemError() };
        ::close(in);
        return;
    }
    auto write = [out](const char *data, qint64 size, QString *error) {
        while (size > 0) {
            const ssize_t n = ::write(out, data, size_t(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *error = DiscCopy::systemError();
                return false;
            }
            data += n;
            size -= n;
        }
        return true;
    };
    QElapsedTimer shown;
    shown.start();
    auto progress = [this, &shown](qint64 done) {
        if (done == m_Sectors || shown.elapsed() >= 200) {
            shown.restart();
            emit this->progress(done);
        }
        return !m_Stop;
    };
    m_Result = DiscCopy::Copy(DiscCopy::FileReader(in), write, m_Sectors, progress);
    ::close(in);
    // Write errors that only the flush reveals count as well.
    if (m_Result.kind == Result::Done && ::fsync(out) != 0)
        m_Result = { Result::WriteError, m_Sectors, DiscCopy::systemError() };
    if (::close(out) != 0 && m_Result.kind == Result::Done)
        m_Result = { Result::WriteError, m_Sectors, DiscCopy::systemError() };
    if (m_Result.kind != Result::Done) {
        qCWarning(lcDiscCopy) << "copy of" << m_Device << "ended" << m_Result.kind << "at"
                              << m_Result.sector << m_Result.error;
        QFile::remove(m_Image);
    }
}
