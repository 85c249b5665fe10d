#include "logic/burnlogic.h"

#include "model/ctree.h"
#include "model/listing.h"
#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "services/wimlib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace BurnLogic {

bool IsIsoImage(const QString &path)
{
    if (path.isEmpty() || !path.toLower().endsWith(QLatin1String(".iso")))
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool IsLabelChar(QChar c)
{
    const ushort u = c.unicode();
    if (u < 0x20 || u > 0x7e)
        return false;
    static const QString refused = QStringLiteral("\"*+,./:;<=>?[\\]|");
    return !refused.contains(c);
}

QString CleanLabel(const QString &text)
{
    QString out;
    for (const QChar c : text.toUpper()) {
        if (IsLabelChar(c) && out.size() < LabelMaxLength)
            out += c;
    }
    return out;
}

bool IsGptChoice(const QString &schemeText)
{
    return schemeText.trimmed().startsWith(QLatin1String("GPT"));
}

QStringList PartitionArgs(const QString &disk, const QString &schemeText, const QString &fileSystem,
                          qint64 diskSize, const QString &label)
{
    return DiskTools::PartitionArgs(disk, DiskTools::FormatArgument(fileSystem, diskSize),
                                    DiskTools::VolumeName(label.trimmed()),
                                    IsGptChoice(schemeText) ? QStringLiteral("GPT")
                                                            : QStringLiteral("MBR"));
}

bool EnoughSpace(qint64 diskSize, qint64 imageSize, bool diskImage)
{
    return diskSize > 0 && diskSize >= imageSize + (diskImage ? 0 : SpareBytes);
}

QStringList SyslinuxConfig()
{
    return { QStringLiteral("default boot"), QStringLiteral("LABEL boot"),
             QStringLiteral("MENU LABEL boot"), QStringLiteral("COM32 /syslinux/chain.c32"),
             QStringLiteral("APPEND fs ntldr=/bootmgr") };
}

bool HasPartitionTable(const QByteArray &head)
{
    if (head.size() >= 520 && head.mid(512, 8) == "EFI PART")
        return true;
    if (head.size() < 512 || quint8(head.at(510)) != 0x55 || quint8(head.at(511)) != 0xaa)
        return false;
    for (int entry = 0; entry < 4; ++entry) {
        const int at = 446 + entry * 16;
        const quint8 status = quint8(head.at(at));
        const quint8 type = quint8(head.at(at + 4));
        qint64 sectors = 0;
        for (int i = 3; i >= 0; --i)
            sectors = sectors << 8 | quint8(head.at(at + 12 + i));
        if ((status == 0x00 || status == 0x80) && type != 0 && sectors > 0)
            return true;
    }
    return false;
}

bool HasBootmgr(const QStringList &listedPaths)
{
    for (const QString &path : listedPaths) {
        if (path.compare(QLatin1String("bootmgr"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool OfferDiskImage(const QByteArray &head, const QStringList &listedPaths)
{
    return HasPartitionTable(head) && !HasBootmgr(listedPaths);
}

bool IsSplittableWim(const QString &path)
{
    return path.compare(QLatin1String("sources/install.wim"), Qt::CaseInsensitive) == 0
        || path.compare(QLatin1String("sources/install.esd"), Qt::CaseInsensitive) == 0;
}

qint64 FileLimit()
{
    bool ok = false;
    const qint64 test = qEnvironmentVariable("VEXLOR_TEST_FAT_FILE_LIMIT").toLongLong(&ok);
    return ok && test > 0 ? qMin(test, FatFileLimit) : FatFileLimit;
}

Starts WillStart(const BootFacts &facts, bool diskImage, bool gpt)
{
    Starts starts;
    starts.uefi = facts.uefiLoader;
    starts.bios = diskImage ? facts.biosEntry : facts.bootmgr && !gpt;
    return starts;
}

QString StartsText(const Starts &starts)
{
    if (starts.bios && starts.uefi)
        return QStringLiteral("BIOS and UEFI");
    if (starts.bios)
        return QStringLiteral("BIOS");
    if (starts.uefi)
        return QStringLiteral("UEFI");
    return QStringLiteral("nothing");
}

QString BootLine(const QString &bootKinds, const BootFacts &facts, bool usb, bool diskImage,
                 bool gpt)
{
    QString text = QStringLiteral("Boot: ") + bootKinds;
    if (usb)
        text += QStringLiteral("; the USB disk will start on ")
            + StartsText(WillStart(facts, diskImage, gpt));
    return text;
}

FormState Form(bool busy, bool dvd, bool diskImage, bool gpt)
{
    FormState form;
    form.idle = !busy;
    form.dvdList = !busy && dvd;
    form.usbList = !busy && !dvd;
    form.scheme = form.usbList && !diskImage;
    form.fileSystem = form.scheme && !gpt;
    form.routeNote = !dvd && diskImage;
    form.gptNote = !dvd && !diskImage && gpt;
    return form;
}

QString StartsNowhereText(const BootFacts &facts, bool diskImageOffered, bool diskImage, bool gpt)
{
    if (WillStart(facts, diskImage, gpt).Any())
        return {};
    bool other = WillStart(facts, false, false).Any() || WillStart(facts, false, true).Any();
    other = other || (diskImageOffered && WillStart(facts, true, false).Any());
    if (!other)
        return {};
    if (gpt && !diskImage)
        return QStringLiteral("The image has no UEFI boot loader, and a GPT USB disk starts only "
                              "on UEFI firmware: the disk would start nowhere. Choose MBR to write "
                              "this image. The USB disk was not changed.");
    return QStringLiteral("With this choice the USB disk would start on neither BIOS nor UEFI "
                          "firmware. Choose another partition scheme or way of writing. The USB "
                          "disk was not changed.");
}

void LargeFileScan::AddLine(const QString &line)
{
    if (m_closed)
        return;
    if (IsListingSeparator(line)) {
        if (m_inTable)
            m_closed = true;
        m_inTable = !m_inTable;
        return;
    }
    if (!m_inTable)
        return;
    Item item;
    if (!ParseListingRow(line, &item) || item.m_IsDir)
        return;
    bool ok = false;
    const qint64 size = item.m_Size.toLongLong(&ok);
    m_files << ListedFile { item.m_Path, ok ? size : 0 };
    if (ok && size >= FileLimit() && IsSplittableWim(item.m_Path) && m_wim.isEmpty()) {
        m_wim = item.m_Path;
    } else if (ok && size >= FileLimit() && !Found()) {
        m_path = item.m_Path;
        m_size = size;
    }
}

QString TooLargeText(const QString &path, qint64 size)
{
    const double gib = double(size) / double(Q_INT64_C(1073741824));
    return QStringLiteral("The image cannot be written to a USB disk: the file \"%1\" (%2 GB) is "
                          "larger than the 4 GB that a FAT volume can hold in one file.\n"
                          "The USB disk was not changed.")
        .arg(path)
        .arg(gib, 0, 'f', 1);
}

DiskIdentity IdentityFromInfo(const QString &node, const QString &report)
{
    DiskIdentity disk;
    disk.node = node;
    disk.size = DiskTools::DiskSizeFromInfo(report);
    disk.model = ModelFromInfo(report);
    disk.serial = DiskTools::InfoValue(report, QStringLiteral("Serial Number"));
    disk.wwn = DiskTools::InfoValue(report, QStringLiteral("WWN"));
    disk.deviceNumber = DiskTools::InfoValue(report, QStringLiteral("Device Number"));
    return disk;
}

bool SameDisk(const DiskIdentity &chosen, const DiskIdentity &now)
{
    return !chosen.node.isEmpty() && chosen.node == now.node && now.size > 0
        && chosen.size == now.size && chosen.model == now.model && chosen.serial == now.serial
        && chosen.wwn == now.wwn && chosen.deviceNumber == now.deviceNumber;
}

int ChoiceAfterListing(const QList<DiskIdentity> &before, int chosen,
                       const QList<DiskIdentity> &now)
{
    if (before.isEmpty())
        return now.isEmpty() ? -1 : 0;
    int at = -1;
    for (int i = 0; i < now.size() && chosen >= 0 && chosen < before.size(); ++i) {
        if (SameDisk(before.at(chosen), now.at(i)))
            at = i;
    }
    return at;
}

QString ModelFromInfo(const QString &report)
{
    return DiskTools::InfoValue(report, QStringLiteral("Device / Media Name"));
}

QStringList IdentityArgs(const DiskIdentity &disk)
{
    return { QStringLiteral("--serial"),        disk.serial,
             QStringLiteral("--wwn"),           disk.wwn,
             QStringLiteral("--device-number"), disk.deviceNumber,
             QStringLiteral("--size"),          QString::number(disk.size),
             QStringLiteral("--model"),         disk.model };
}

QString DiskText(const DiskIdentity &disk)
{
    return QStringLiteral("%1, %2, %3")
        .arg(disk.model.isEmpty() ? QStringLiteral("USB disk") : disk.model,
             Util::SizeToString(disk.size), disk.node);
}

CErrorLineReader FatUnpackReader(const QString &volume, const std::shared_ptr<FatSkips> &skips)
{
    CErrorLineReader inner = SevenZip::ErrorReader();
    const QString root = QDir::cleanPath(volume) + QLatin1Char('/');
    return [inner, skips, root](const QString &line) mutable -> QString {
        const QString kept = inner(line);
        if (line.contains(QLatin1String("Cannot set file attribute"))) {
            ++skips->attributes;
            return QString();
        }
        if (line.contains(QLatin1String("Cannot create symbolic link"))) {
            QString text = line;
            text = text.remove(QLatin1Char('\b')).trimmed();
            const QString path
                = QDir::cleanPath(text.mid(text.lastIndexOf(QLatin1String(" : ")) + 3));
            skips->links << (path.startsWith(root) ? path.mid(root.size()) : path);
            return QString();
        }
        return kept;
    };
}

bool UnpackSucceeded(const CRunOutcome &end, const FatSkips &skips)
{
    if (end.Ok())
        return true;
    if (end.kind != CRunOutcome::ToolError || end.exitCode != 2
        || (skips.attributes == 0 && skips.links.isEmpty()))
        return false;
    for (const QString &line : end.errorLines) {
        if (!SevenZip::IsErrorCount(line) && line != QLatin1String("ERRORS:"))
            return false;
    }
    return true;
}

QList<ListedFile> FilesOnVolume(const QList<ListedFile> &files, const FatSkips &skips)
{
    QList<ListedFile> marked = files;
    for (ListedFile &file : marked) {
        for (const QString &skipped : skips.links)
            file.offVolume = file.offVolume || skipped.compare(file.path, Qt::CaseInsensitive) == 0;
    }
    return marked;
}

QString FlushVolume(const QString &mountPoint, const QString &partition)
{
    const int dir
        = ::open(QFile::encodeName(mountPoint).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return QStringLiteral("The volume at \"%1\" cannot be opened.").arg(mountPoint);
    const bool synced = ::syncfs(dir) == 0;
    const int syncError = errno;
    ::close(dir);
    if (!synced)
        return QStringLiteral("The USB disk reported a write error (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(syncError)));
    // The partition's own cache (the FUSE driver writes through it); only where it may be opened.
    const int device = ::open(QFile::encodeName(partition).constData(), O_RDONLY | O_CLOEXEC);
    if (device >= 0) {
        const bool flushed = ::fsync(device) == 0;
        const int flushError = errno;
        ::posix_fadvise(device, 0, 0, POSIX_FADV_DONTNEED);
        ::close(device);
        if (!flushed)
            return QStringLiteral("The USB disk reported a write error (%1).")
                .arg(QString::fromLocal8Bit(std::strerror(flushError)));
    }
    return {};
}

VerifyResult VerifyVolume(const QString &sevenZip, const QStringList &args,
                          const QList<ListedFile> &files, const QString &volume,
                          const std::function<void(qint64, qint64)> &progress,
                          const std::atomic<bool> *stop)
{
    VerifyResult result;
    qint64 total = 0;
    for (const ListedFile &file : files)
        total += file.size;
    QProcess tool;
    tool.setProcessChannelMode(QProcess::SeparateChannels);
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(sevenZip, args, QIODevice::ReadOnly);
    if (!tool.waitForStarted(-1)) {
        result.error = QStringLiteral("7-Zip could not be started to read the image.");
        return result;
    }
    // Image bytes not yet compared.
    QByteArray pending;
    auto take = [&](qint64 want, QByteArray *out) {
        while (pending.size() < want && !(stop && *stop)) {
            if (tool.bytesAvailable() == 0 && !tool.waitForReadyRead(1000)) {
                if (tool.state() == QProcess::NotRunning && tool.bytesAvailable() == 0)
                    break;
                continue;
            }
            pending += tool.readAll();
        }
        const int n = int(qMin<qint64>(want, pending.size()));
        *out = pending.left(n);
        pending.remove(0, n);
        return n == want;
    };
    constexpr qint64 Chunk = 4 << 20;
    qint64 done = 0;
    for (const ListedFile &listed : files) {
        if (listed.offVolume) {
            // Its bytes in the image's stream are passed over.
            QByteArray skipped;
            for (qint64 at = 0; at < listed.size && result.error.isEmpty(); at += Chunk) {
                if (!take(qMin(Chunk, listed.size - at), &skipped))
                    result.error = QStringLiteral("the image could not be read");
            }
            done += listed.size;
            if (!result.error.isEmpty())
                break;
            continue;
        }
        QFile file(volume + QLatin1Char('/') + listed.path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            result.file = listed.path;
            result.error = file.errorString();
            break;
        }
        // What the kernel still holds of the file is dropped: the bytes come from the stick.
        ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_DONTNEED);
        if (file.size() != listed.size) {
            result.file = listed.path;
            result.error
                = QStringLiteral("it has %1 bytes instead of %2").arg(file.size()).arg(listed.size);
            break;
        }
        QByteArray expected;
        for (qint64 at = 0; at < listed.size && result.error.isEmpty();) {
            const qint64 want = qMin(Chunk, listed.size - at);
            if (stop && *stop) {
                result.error = QStringLiteral("the read-back was stopped");
                break;
            }
            if (!take(want, &expected)) {
                result.error = QStringLiteral("the image could not be read");
                break;
            }
            const QByteArray actual = file.read(want);
            if (actual.size() != want) {
                result.file = listed.path;
                result.error = file.error() != QFileDevice::NoError
                    ? file.errorString()
                    : QStringLiteral("it ends early");
            } else if (actual != expected) {
                qint64 first = 0;
                while (actual.at(int(first)) == expected.at(int(first)))
                    ++first;
                result.file = listed.path;
                result.error
                    = QStringLiteral("it differs from the image from byte %1").arg(at + first + 1);
            }
            at += want;
            done += want;
            if (progress)
                progress(done, total);
        }
        if (!result.error.isEmpty())
            break;
    }
    if (result.error.isEmpty()) {
        // Nothing may be left over: the listing and the image's bytes agree.
        QByteArray rest;
        tool.waitForFinished(-1);
        rest = pending + tool.readAll();
        if (!rest.isEmpty() || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            result.error = QStringLiteral("the image could not be read");
        result.ok = result.error.isEmpty();
    } else {
        tool.kill();
        tool.waitForFinished(-1);
    }
    return result;
}

QString VerifyFailureText(const VerifyResult &result, const QString &disk)
{
    if (result.file.isEmpty())
        return QStringLiteral("The USB disk %1 could not be verified: %2.").arg(disk, result.error);
    return QStringLiteral("The USB disk %1 does not hold the image: the file \"%2\" on it cannot "
                          "be read back as written (%3).")
        .arg(disk, result.file, result.error);
}

CErrorLineReader ToolLineReader()
{
    return [](const QString &line) {
        // 7-Zip redraws its percentage with backspaces; such pieces are progress, not a message.
        static const QRegularExpression progress(QStringLiteral("^\\s*\\d{1,3}%"));
        QString kept = line;
        kept.remove(QLatin1Char('\b'));
        kept = kept.trimmed();
        return progress.match(kept).hasMatch() ? QString() : kept;
    };
}

Outcome Judge(const CRunOutcome &end)
{
    if (PlatformTools::AdministratorRefused(end.exitCode, end.errorLines))
        return Outcome::Refused;
    return end.Ok() ? Outcome::Done : Outcome::Failed;
}

QString FailureText(const QString &what, const CRunOutcome &end)
{
    const QString message = end.ErrorSummary(3);
    if (!message.isEmpty())
        return what + QLatin1Char('\n') + message;
    switch (end.kind) {
    case CRunOutcome::FailedToStart:
        return what + QStringLiteral("\nThe tool could not be started.");
    case CRunOutcome::Crashed:
    case CRunOutcome::Stopped:
        return what + QStringLiteral("\nThe tool stopped unexpectedly.");
    default:
        return what + QStringLiteral("\nThe tool ended with status %1.").arg(end.exitCode);
    }
}

} // namespace BurnLogic
