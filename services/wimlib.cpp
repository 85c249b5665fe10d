#include "services/wimlib.h"

#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/loop.h>
#include <sys/ioctl.h>
#endif

Q_LOGGING_CATEGORY(lcWimlib, "vexlor.wimlib", QtWarningMsg)

namespace Wimlib {

QString Program()
{
    const QString name = QStringLiteral("wimlib-imagex");
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            name, { QStringLiteral("/opt/homebrew/bin"), QStringLiteral("/usr/local/bin") });
    return found.isEmpty() ? name : found;
}

int PartMiB(qint64 fileLimit)
{
    // Parts stay well below the limit: wimlib closes a part before the blob that would pass it,
    // and each part carries its own header and tables.
    if (fileLimit >= FatFileLimit)
        return 3800;
    if (fileLimit >= FuseFatFileLimit)
        return 512;
    return int(qMax<qint64>(1, fileLimit / 2 >> 20));
}

QStringList SplitArgs(const QString &wim, const QString &swm, int partMiB)
{
    return { QStringLiteral("split"), wim, swm, QString::number(partMiB) };
}

QStringList VerifyArgs(const QString &firstPart)
{
    QString pattern = firstPart;
    if (pattern.endsWith(QLatin1String(".swm"), Qt::CaseInsensitive))
        pattern.chop(4);
    return { QStringLiteral("verify"), firstPart,
             QStringLiteral("--ref=") + pattern + QStringLiteral("*.swm") };
}

int ReadProgress(const QString &line)
{
    static const QRegularExpression percent(QStringLiteral(
        "^[A-Za-z][A-Za-z ]*: \\d+ [KMGT]?i?B of \\d+ [KMGT]?i?B \\((\\d{1,3})%\\)"));
    const QRegularExpressionMatch match = percent.match(line.trimmed());
    if (!match.hasMatch())
        return -1;
    return qMin(100, match.captured(1).toInt());
}

CErrorLineReader ErrorReader()
{
    return [](const QString &line) {
        const QString text = line.trimmed();
        if (text.isEmpty() || ReadProgress(text) >= 0
            || text.startsWith(QLatin1String("[WARNING]")))
            return QString();
        return text;
    };
}

QString FirstPart(const QString &volume, const QString &entry)
{
    const QFileInfo wim(volume + QLatin1Char('/') + entry);
    return wim.path() + QLatin1Char('/') + wim.completeBaseName() + QStringLiteral(".swm");
}

qint64 VolumeFileLimit(const QStringList &mountLines, const QString &mountPoint)
{
    const QString wanted = QDir::cleanPath(mountPoint);
    qint64 limit = FatFileLimit;
    DiskTools::MountEntry entry;
    for (const QString &line : mountLines) {
        if (DiskTools::ParseMountLine(line, &entry)
            && QDir::cleanPath(entry.mountPoint) == wanted) // the last mount there wins
            limit = entry.type.startsWith(QLatin1String("fuse")) ? FuseFatFileLimit : FatFileLimit;
    }
    return limit;
}

qint64 VolumeFileLimit(const QString &mountPoint)
{
    const QString lines = Util::callexternapp(PlatformTools::Program(QStringLiteral("mount")),
                                              QStringList(), 30000);
    return VolumeFileLimit(lines.split(QLatin1Char('\n')), mountPoint);
}

namespace {

constexpr qint64 Sector = 2048;
// Directories larger than this are not read (a real one holds a few hundred records).
constexpr qint64 MaxDirectoryBytes = 4 << 20;

quint32 le32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

QByteArray readAt(QIODevice *device, qint64 offset, qint64 length)
{
    if (offset < 0 || !device->seek(offset))
        return {};
    return device->read(length);
}

// A primary ISO 9660 name as listed: without its version (";1") and a trailing ".".
QString plainName(const uchar *raw, int length)
{
    QString name = QString::fromLatin1(reinterpret_cast<const char *>(raw), length);
    const int semi = name.lastIndexOf(QLatin1Char(';'));
    if (semi >= 0)
        name.truncate(semi);
    if (name.size() > 1 && name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name;
}

struct Record
{
    quint32 sector;
    quint32 size;
    uchar flags; // 0x02 a folder, 0x80 continued in the next record
};

// The records of name in the directory of size bytes at sector: one, or one per extent of a file
// stored in several. Empty when it is not there or its chain of records does not end.
QVector<Record> findRecords(QIODevice *image, quint32 sector, quint32 size, const QString &name)
{
    const QByteArray dir
        = readAt(image, qint64(sector) * Sector, qMin<qint64>(size, MaxDirectoryBytes));
    QVector<Record> found;
    QString foundName;
    int pos = 0;
    while (pos < dir.size()) {
        const uchar *r = reinterpret_cast<const uchar *>(dir.constData()) + pos;
        const int length = r[0];
        const int sectorEnd = int((pos / Sector + 1) * Sector);
        if (length == 0) {
            pos = sectorEnd; // records never cross a sector; the rest is padding
            continue;
        }
        if (length < 34 || pos + length > dir.size() || pos + length > sectorEnd)
            break;
        pos += length;
        const int nameLength = r[32];
        if (33 + nameLength > length)
            continue;
        const Record record { le32(r + 2) + r[1], le32(r + 10), r[25] };
        const QString recordName = plainName(r + 33, nameLength);
        if (!found.isEmpty()) {
            if (!(found.last().flags & 0x80))
                break;
            if (recordName != foundName)
                return {};
            found << record;
        } else if (recordName.compare(name, Qt::CaseInsensitive) == 0) {
            found << record;
            foundName = recordName;
        }
    }
    if (!found.isEmpty() && (found.last().flags & 0x80))
        return {};
    return found;
}

// Runs one tool to its end while the calling thread's events keep being delivered; each output
// line goes to onLine.
CRunOutcome runTool(const QString &program, const QStringList &arguments,
                    const CErrorLineReader &reader, const std::function<void(QString)> &onLine)
{
    CRunCommandThread runner;
    QObject::connect(&runner, &CRunCommandThread::standoutputline, onLine);
    runner.SetErrorReader(reader);
    runner.SetRunCmd(program, arguments);
    runner.start();
    runner.waitFinished();
    runner.wait();
    const CRunOutcome end = runner.Outcome();
    if (!end.Ok())
        qCWarning(lcWimlib) << program << arguments << "ended with" << end.exitCode
                            << end.errorLines;
    return end;
}

// A step that failed before any tool ran, with its reason as the error line.
CRunOutcome failed(const QString &reason)
{
    CRunOutcome end;
    end.kind = CRunOutcome::ToolError;
    end.errorLines << reason;
    return end;
}

} // namespace

Span ContiguousFile(QIODevice *image, const QString &path)
{
    // The primary volume descriptor is among those from sector 16 on, before the terminator.
    QByteArray pvd;
    for (int i = 0; i < 32 && pvd.isEmpty(); ++i) {
        const QByteArray vd = readAt(image, (16 + i) * Sector, Sector);
        if (vd.size() < Sector || vd.mid(1, 5) != "CD001" || uchar(vd.at(0)) == 255)
            return {};
        if (vd.at(0) == 1)
            pvd = vd;
    }
    if (pvd.isEmpty())
        return {};
    const uchar *root = reinterpret_cast<const uchar *>(pvd.constData()) + 156;
    quint32 sector = le32(root + 2) + root[1], size = le32(root + 10);
    const QStringList names = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int i = 0; i < names.size(); ++i) {
        const QVector<Record> records = findRecords(image, sector, size, names.at(i));
        const bool last = i + 1 == names.size();
        if (records.isEmpty() || bool(records.first().flags & 0x02) == last)
            return {};
        if (!last) {
            sector = records.first().sector;
            size = records.first().size;
            continue;
        }
        Span span;
        span.offset = qint64(records.first().sector) * Sector;
        for (const Record &record : records) {
            if (qint64(record.sector) * Sector != span.offset + span.size)
                return {}; // a gap, or the extents out of order
            span.size += record.size;
        }
        if (span.offset + span.size > image->size())
            return {};
        return span;
    }
    return {};
}

namespace {

// A read-only loop device over length bytes of a file from offset, set to clear itself once the
// last one holding it open lets go. It is held open while the object lives, so whatever ends the
// split (success, failure, a stop, a crash), nothing stays attached once the object and the tools
// reading the device are gone.
class SpanDevice
{
public:
    SpanDevice(const QString &file, qint64 offset, qint64 length)
    {
#ifdef Q_OS_LINUX
#ifdef LOOP_CONFIGURE
        const int backing = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        // Another program may take the free device first: then ask again.
        for (int attempt = 0; backing >= 0 && control >= 0 && attempt < 8; ++attempt) {
            const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
            if (number < 0)
                break;
            const QString node = QStringLiteral("/dev/loop%1").arg(number);
            const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                break;
            loop_config config {};
            config.fd = quint32(backing);
            config.info.lo_offset = quint64(offset);
            config.info.lo_sizelimit = quint64(length);
            config.info.lo_flags = LO_FLAGS_READ_ONLY | LO_FLAGS_AUTOCLEAR;
            const QByteArray name = QFile::encodeName(file).right(LO_NAME_SIZE - 1);
            std::memcpy(config.info.lo_file_name, name.constData(), size_t(name.size()));
            if (::ioctl(fd, LOOP_CONFIGURE, &config) == 0) {
                m_fd = fd;
                m_node = node;
                break;
            }
            const int error = errno;
            ::close(fd);
            qCDebug(lcWimlib) << "no loop device at" << node << std::strerror(error);
            if (error != EBUSY)
                break;
        }
        if (control >= 0)
            ::close(control);
        if (backing >= 0)
            ::close(backing);
#endif
#endif
        Q_UNUSED(file)
        Q_UNUSED(offset)
        Q_UNUSED(length)
    }
    ~SpanDevice()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SpanDevice(const SpanDevice &) = delete;
    SpanDevice &operator=(const SpanDevice &) = delete;

    QString Node() const
    {
        return m_node;
    } // empty when none could be set up

private:
    int m_fd = -1;
    QString m_node;
};

// The loop device for the in-place route, or none when it does not apply.
std::unique_ptr<SpanDevice> inPlaceDevice(const SplitJob &job)
{
    if (!job.inPlace || job.size <= 0)
        return {};
    QFile image(job.image);
    if (!image.open(QIODevice::ReadOnly))
        return {};
    const Span span = ContiguousFile(&image, job.entry);
    // Installation images, .esd ones too, begin with this.
    static const QByteArray magic("MSWIM\0\0\0", 8);
    if (!span.Found() || span.size != job.size
        || readAt(&image, span.offset, magic.size()) != magic) {
        qCDebug(lcWimlib) << job.entry << "is not in one piece of" << job.size << "bytes in"
                          << job.image << span.offset << span.size;
        return {};
    }
    // Whole sectors: a device ends at a multiple of 512 bytes, and the file's last sector is its
    // own in the image.
    const qint64 length = (span.size + Sector - 1) / Sector * Sector;
    auto device = std::make_unique<SpanDevice>(job.image, span.offset, length);
    if (device->Node().isEmpty())
        return {};
    return device;
}

// Writes each part through and drops it from the cache, so that the check reads the disk; an
// error text when a part could not be written through.
QString flushParts(const QString &firstPart)
{
    const QFileInfo first(firstPart);
    const QString pattern = first.completeBaseName() + QStringLiteral("*.swm");
    for (const QFileInfo &part : QDir(first.path()).entryInfoList({ pattern }, QDir::Files)) {
        const int fd = ::open(QFile::encodeName(part.filePath()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue; // the check says what is missing
        const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
        const int error = errno;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
        if (!synced)
            return QStringLiteral("\"%1\" could not be written (%2).")
                .arg(part.filePath(), QString::fromLocal8Bit(std::strerror(error)));
    }
    return {};
}

} // namespace

CRunOutcome SplitOnto(const SplitJob &job, const std::function<void(Stage, int)> &progress,
                      Route *route)
{
    const auto report = [&](Stage stage, int percent) {
        if (progress)
            progress(stage, percent);
    };
    const auto runTool = job.run ? job.run : decltype(job.run)(Wimlib::runTool);
    QDir(job.scratch).removeRecursively();
    CRunOutcome end;
    std::unique_ptr<SpanDevice> device = inPlaceDevice(job);
    QString wim;
    if (device) {
        wim = device->Node();
        end.kind = CRunOutcome::Succeeded; // nothing to take out
        end.exitCode = 0;
    } else {
        report(Stage::Extracting, 0);
        end = runTool(SevenZip::Program(),
                      SevenZip::ExtractArgs(job.image, job.scratch, { job.entry }),
                      SevenZip::ErrorReader(), [&](const QString &line) {
                          const SevenZip::Progress p = SevenZip::ParseProgress(line);
                          if (p.valid)
                              report(Stage::Extracting, p.percent);
                      });
        // 7-Zip ends without an error when the entry is not there: nothing to split then.
        wim = job.scratch + QLatin1Char('/') + job.entry;
        if (end.Ok() && !QFileInfo(wim).isFile())
            end = failed(QStringLiteral("\"%1\" was not taken out of the image.").arg(job.entry));
    }
    if (route)
        *route = device ? Route::InPlace : Route::CopiedOut;
    const QString first = FirstPart(job.volume, job.entry);
    const auto wimProgress = [&](Stage stage) {
        return [&, stage](const QString &line) {
            const int percent = ReadProgress(line);
            if (percent >= 0)
                report(stage, percent);
        };
    };
    if (end.Ok()) {
        if (!QDir().mkpath(QFileInfo(first).path())) {
            end = failed(QStringLiteral("The folder \"%1\" could not be made.")
                             .arg(QFileInfo(first).path()));
        } else {
            report(Stage::Splitting, 0);
            end = runTool(Program(), SplitArgs(wim, first, job.partMiB), ErrorReader(),
                          wimProgress(Stage::Splitting));
        }
    }
    device.reset(); // the kernel takes the device back: the split, its only reader, has ended
    QDir(job.scratch).removeRecursively();
    if (end.Ok()) {
        // Writing gigabytes through can take minutes: on a worker, while events are delivered.
        QString error;
        QEventLoop wait;
        QThread *worker = QThread::create([&] {
            error = flushParts(first);
            if (error.isEmpty() && job.flush)
                error = job.flush();
        });
        QObject::connect(worker, &QThread::finished, &wait, &QEventLoop::quit);
        worker->start();
        wait.exec(QEventLoop::ExcludeUserInputEvents);
        worker->wait();
        delete worker;
        if (!error.isEmpty())
            end = failed(error);
    }
    if (end.Ok()) {
        report(Stage::Verifying, 0);
        end = runTool(Program(), VerifyArgs(first), ErrorReader(), wimProgress(Stage::Verifying));
    }
    return end;
}

} // namespace Wimlib
