#include "pages/burnlogic.h"

#include "model/ctree.h"
#include "model/listing.h"
#include "services/disktools.h"
#include "services/platformtools.h"

#include <QFileInfo>
#include <QRegularExpression>

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

bool EnoughSpace(qint64 diskSize, qint64 imageSize)
{
    return diskSize >= imageSize + SpareBytes;
}

QStringList SyslinuxConfig()
{
    return { QStringLiteral("default boot"), QStringLiteral("LABEL boot"),
             QStringLiteral("MENU LABEL boot"), QStringLiteral("COM32 /syslinux/chain.c32"),
             QStringLiteral("APPEND fs ntldr=/bootmgr") };
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
    if (!m_inTable || Found())
        return;
    Item item;
    if (!ParseListingRow(line, &item) || item.m_IsDir)
        return;
    bool ok = false;
    const qint64 size = item.m_Size.toLongLong(&ok);
    if (ok && size >= FatFileLimit) {
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

bool SameDisk(const DiskIdentity &chosen, const DiskIdentity &now)
{
    return !chosen.node.isEmpty() && chosen.node == now.node && now.size > 0
        && chosen.size == now.size && chosen.model == now.model;
}

QString ModelFromInfo(const QString &report)
{
    static const QString key = QStringLiteral("Device / Media Name:");
    for (const QString &line : report.split(QLatin1Char('\n'))) {
        const int at = line.indexOf(key);
        if (at >= 0)
            return line.mid(at + key.size()).trimmed();
    }
    return QString();
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
