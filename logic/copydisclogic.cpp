#include "logic/copydisclogic.h"

#include "services/mkisofs.h"
#include "services/util.h"

#include <QDir>

namespace CopyDiscLogic {

int ProgressValue(const QString &line)
{
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (!isProgress || !(fraction > 0))
        return -1;
    return static_cast<int>(qMin(fraction, 1.0) * ProgressMaximum);
}

bool IsInside(const QString &path, const QString &folder)
{
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString p = QDir::cleanPath(path);
    const QString f = QDir::cleanPath(folder);
    if (p == f || f == QLatin1String("/"))
        return true;
    return p.startsWith(f + QLatin1Char('/'));
}

CErrorLineReader ErrorReader()
{
    return [tool = Mkisofs::ErrorReader()](const QString &line) {
        return line.contains(QLatin1String("DRStatusPercentCompleteKey")) ? QString() : tool(line);
    };
}

QString ToolMessage(const CRunOutcome &end)
{
    return Mkisofs::PickMessage(end.errorLines);
}

QString ExactCopyNote(const DiscCopy::Volume &volume)
{
    return QStringLiteral("The ISO file is an exact copy of the disc's %1 volume (%2).")
        .arg(volume.kind == DiscCopy::Volume::Udf ? QStringLiteral("UDF")
                                                  : QStringLiteral("ISO 9660"),
             Util::SizeToString(volume.sectors * DiscCopy::SectorSize));
}

QString RebuiltCopyNote()
{
    return QStringLiteral("The disc's device could not be read, so the ISO file was rebuilt from "
                          "the disc's files: it does not start a computer, and hidden files or "
                          "content only in UDF are not in it.");
}

QString DeviceCopyFailure(const DiscCopy::Result &result, const QString &device)
{
    using DiscCopy::Result;
    const qint64 byte = result.sector * DiscCopy::SectorSize;
    switch (result.kind) {
    case Result::Done:
    case Result::Stopped:
        return QString();
    case Result::ReadError:
        if (result.sector < 0)
            return QStringLiteral("The disc in %1 cannot be opened: %2.").arg(device, result.error);
        return QStringLiteral("The disc in %1 cannot be read at sector %2 (byte %3): %4.")
            .arg(device)
            .arg(result.sector)
            .arg(byte)
            .arg(result.error);
    case Result::EndOfDisc:
        return QStringLiteral("The disc in %1 ends at sector %2 (byte %3), before the end of its "
                              "volume.")
            .arg(device)
            .arg(result.sector)
            .arg(byte);
    case Result::WriteError:
        return QStringLiteral("The ISO file cannot be written: %1.").arg(result.error);
    }
    return QString();
}

} // namespace CopyDiscLogic
