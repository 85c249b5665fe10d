// Disk queries: the size and the mount point of a disk or volume, read from the report of
// "diskutil info".

#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/util.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDisk, "vexlor.disk")

namespace {

// How long a disk query may take.
constexpr int kInfoTimeoutMs = 30000;

QString infoReport(const QString &disk)
{
    QString report = Util::callexternapp(PlatformTools::Program(QStringLiteral("diskutil")),
                                         DiskTools::InfoArgs(disk), kInfoTimeoutMs);
    return report;
}

} // namespace

qint64 Util::DiskSpaceTotal(const QString &disk)
{
    const QString report = infoReport(disk);
    qCDebug(lcDisk) << "Util::DiskSpaceTotal" << disk << report;
    return DiskTools::DiskSizeFromInfo(report);
}

QString Util::GetMountPoint(const QString &disk)
{
    const QString report = infoReport(disk);
    qCDebug(lcDisk) << "Util::GetMountPoint" << disk << report;
    return DiskTools::MountPointFromInfo(report);
}
