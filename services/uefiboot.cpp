#include "services/uefiboot.h"

#include "model/listing.h"
#include "services/sevenzip.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

Q_LOGGING_CATEGORY(lcUefiBoot, "vexlor.uefiboot", QtWarningMsg)

namespace UefiBoot {

namespace {

const qint64 kMaxFatImage = 1024LL * 1024 * 1024;
const int kToolTimeoutMs = 120000;

quint16 le16(const QByteArray &a, int pos)
{
    return quint16(quint8(a.at(pos)) | (quint8(a.at(pos + 1)) << 8));
}

quint32 le32(const QByteArray &a, int pos)
{
    return quint32(le16(a, pos)) | (quint32(le16(a, pos + 2)) << 16);
}

struct Tool
{
    bool ok = false;
    QString output;
};

Tool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // mtools refuses FAT images whose geometry does not match a real disk's without this.
    env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Tool tool;
    if (!process.waitForStarted() || !process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        tool.output = program + QStringLiteral(" did not run to its end");
        return tool;
    }
    tool.output = QString::fromUtf8(process.readAll());
    tool.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return tool;
}

// Writes the entry's FAT image to path: the entry's sectors, or the FAT's own size when its
// boot sector announces more, up to the image's end.
bool writeFatImage(const QString &isoPath, const ElTorito::BootEntry &entry, const QString &path)
{
    QFile iso(isoPath);
    QFile out(path);
    const qint64 start = qint64(entry.loadRba) * ElTorito::kSectorSize;
    if (!iso.open(QIODevice::ReadOnly) || !iso.seek(start)
        || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 size = qMin(qMax(entry.imageSize(), FatImageSize(iso.peek(512))),
                             qMin(kMaxFatImage, iso.size() - start));
    if (size <= 0)
        return false;
    for (qint64 left = size; left > 0;) {
        const QByteArray chunk = iso.read(qMin<qint64>(left, 1 << 20));
        if (chunk.isEmpty() || out.write(chunk) != chunk.size())
            return false;
        left -= chunk.size();
    }
    return out.flush();
}

// The entry of dir named name without regard to case (the name itself when none is there).
QString existingName(const QString &dir, const QString &name)
{
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                    | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return name;
}

// Copies the tree below from into to; what is already there (by name, without regard to case)
// is kept. *copied receives the written files relative to base.
bool mergeTree(const QString &from, const QString &to, const QString &base, QStringList *copied,
               QString *error)
{
    if (!QFileInfo(to).isDir() && !QDir().mkpath(to)) {
        *error = QStringLiteral("cannot make the folder ") + to;
        return false;
    }
    const QFileInfoList entries = QDir(from).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString target = to + QLatin1Char('/') + existingName(to, entry.fileName());
        const QString relative = base.isEmpty()
            ? QFileInfo(target).fileName()
            : base + QLatin1Char('/') + QFileInfo(target).fileName();
        if (entry.isDir()) {
            if (QFileInfo::exists(target) && !QFileInfo(target).isDir())
                continue; // a file of the image holds the name
            if (!mergeTree(entry.filePath(), target, relative, copied, error))
                return false;
        } else if (!QFileInfo::exists(target)) {
            if (!QFile::copy(entry.filePath(), target)) {
                *error = QStringLiteral("cannot write ") + target;
                return false;
            }
            *copied << relative;
        }
    }
    return true;
}

} // namespace

QStringList ListedPaths(const QStringList &listingLines)
{
    QStringList paths;
    bool inTable = false;
    for (QString line : listingLines) {
        if (IsListingSeparator(line)) {
            inTable = !inTable;
            continue;
        }
        line.remove(QLatin1Char('\r'));
        line.remove(QLatin1Char('\n'));
        if (inTable && line.size() > 53)
            paths << line.mid(53);
    }
    return paths;
}

bool IsUefiLoader(const QString &listedPath)
{
    return listedPath.compare(QLatin1String("EFI/BOOT/BOOTX64.EFI"), Qt::CaseInsensitive) == 0;
}

Plan Decide(const QStringList &listedPaths, const ElTorito::Catalog &catalog)
{
    Plan plan;
    for (const QString &path : listedPaths) {
        if (IsUefiLoader(path)) {
            plan.need = Need::Nothing;
            return plan;
        }
    }
    if (catalog.valid) {
        for (const ElTorito::BootEntry &entry : catalog.entries) {
            if (entry.bootable && entry.platform == ElTorito::PlatformEfi)
                plan.sources << entry;
        }
    }
    plan.need = plan.sources.isEmpty() ? Need::NoUefi : Need::CopyFromBootImage;
    return plan;
}

qint64 FatImageSize(const QByteArray &bootSector)
{
    if (bootSector.size() < 512 || quint8(bootSector.at(510)) != 0x55
        || quint8(bootSector.at(511)) != 0xAA)
        return 0;
    const quint16 bytesPerSector = le16(bootSector, 11);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)))
        return 0;
    const quint16 small = le16(bootSector, 19);
    const quint64 sectors = small ? small : le32(bootSector, 32);
    return qint64(sectors * bytesPerSector);
}

Result MakeVolumeUefiBootable(const QString &isoPath, const QString &volumeDir)
{
    const Tool list = runTool(SevenZip::Program(), SevenZip::ListArgsUtf8(isoPath));
    if (!list.ok) {
        Result result;
        result.error = QStringLiteral("7-Zip cannot list ") + isoPath;
        qCWarning(lcUefiBoot) << result.error;
        return result;
    }
    return MakeVolumeUefiBootable(isoPath, volumeDir,
                                  ListedPaths(list.output.split(QLatin1Char('\n'))));
}

Result MakeVolumeUefiBootable(const QString &isoPath, const QString &volumeDir,
                              const QStringList &listedPaths)
{
    Result result;
    const Plan plan = Decide(listedPaths, ElTorito::ReadCatalog(isoPath));
    if (plan.need == Need::Nothing) {
        result.outcome = Outcome::AlreadyBootable;
        return result;
    }
    if (plan.need == Need::NoUefi) {
        result.outcome = Outcome::NotUefi;
        return result;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        result.error = QStringLiteral("no temporary folder");
        return result;
    }
    const QString fat = scratch.filePath(QStringLiteral("efi.img"));
    const QString unpacked = scratch.filePath(QStringLiteral("unpacked"));
    for (const ElTorito::BootEntry &entry : plan.sources) {
        QDir(unpacked).removeRecursively();
        if (!writeFatImage(isoPath, entry, fat) || !QDir().mkpath(unpacked)) {
            result.error
                = QStringLiteral("cannot read the boot image at sector %1").arg(entry.loadRba);
            continue;
        }
        // mcopy -s copies the folder with the case its names have in the FAT image.
        const Tool copy = runTool(QStringLiteral("mcopy"),
                                  { QStringLiteral("-s"), QStringLiteral("-i"), fat,
                                    QStringLiteral("::/EFI"), unpacked + QLatin1Char('/') });
        const QStringList top = QDir(unpacked).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (!copy.ok || top.isEmpty()) {
            result.error = QStringLiteral("no EFI folder in the boot image at sector %1: %2")
                               .arg(entry.loadRba)
                               .arg(copy.output.trimmed());
            continue;
        }
        result.error.clear();
        const QString source = unpacked + QLatin1Char('/') + top.first();
        const QString target = volumeDir + QLatin1Char('/') + existingName(volumeDir, top.first());
        if (QFileInfo::exists(target) && !QFileInfo(target).isDir()) {
            result.error = QStringLiteral("a file of the image is named EFI");
            break;
        }
        if (!mergeTree(source, target, QFileInfo(target).fileName(), &result.copied, &result.error))
            break;
        result.outcome = Outcome::Copied;
        qCDebug(lcUefiBoot) << "copied" << result.copied << "from the boot image at"
                            << entry.loadRba;
        return result;
    }
    qCWarning(lcUefiBoot) << "UEFI files not copied:" << result.error;
    return result;
}

} // namespace UefiBoot
