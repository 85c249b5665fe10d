#include "pages/copydisclogic.h"

#include "pages/createlogic.h"

#include <QDir>

namespace CopyDiscLogic {

namespace {

const QString HeaderMarker = QStringLiteral("Vendor   Product           Rev");
const QString NameMarker = QStringLiteral(" Name:");
const QString ProgressKey = QStringLiteral("DRStatusPercentCompleteKey");

bool allDigits(const QStringRef &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

QString Drive::EntryText() const
{
    return description + QStringLiteral(" (") + device + QLatin1Char(')');
}

bool DriveStatusReader::Feed(const QString &rawLine, Drive *drive)
{
    QString line = rawLine;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    if (line.contains(HeaderMarker)) {
        // A new drive; what an earlier one left unfinished is dropped.
        m_InDrive = true;
        m_Description.clear();
        return false;
    }
    if (!m_InDrive)
        return false;
    if (m_Description.isEmpty())
        m_Description = line.simplified();
    const int name = line.indexOf(NameMarker);
    if (name <= 0)
        return false;
    const QString device = line.mid(name + NameMarker.size()).trimmed();
    if (device.isEmpty())
        return false;
    drive->description = m_Description;
    drive->device = device;
    m_InDrive = false;
    m_Description.clear();
    return true;
}

QList<Drive> ReadDriveStatus(const QStringList &lines)
{
    QList<Drive> drives;
    DriveStatusReader reader;
    Drive drive;
    for (const QString &line : lines) {
        if (reader.Feed(line, &drive))
            drives << drive;
    }
    return drives;
}

bool ReadMountLine(const QString &rawLine, QString *device, QString *mountPoint)
{
    QString line = rawLine;
    while (!line.isEmpty() && line.back().isSpace())
        line.chop(1);
    const int on = line.indexOf(QStringLiteral(" on "));
    if (on <= 0)
        return false;
    QString point = line.mid(on + 4);
    // The options are the last bracketed part; a bracket inside the mount point stays.
    const int options = point.lastIndexOf(QStringLiteral(" ("));
    if (options >= 0 && point.endsWith(QLatin1Char(')')))
        point.truncate(options);
    if (!point.startsWith(QLatin1Char('/')))
        return false;
    *device = line.left(on).trimmed();
    *mountPoint = point;
    return true;
}

bool IsDeviceOrPartition(const QString &mounted, const QString &device)
{
    if (device.isEmpty() || !mounted.startsWith(device))
        return false;
    const QStringRef suffix = mounted.midRef(device.size());
    if (suffix.isEmpty())
        return true;
    const bool endsInDigit = device.back().isDigit();
    // /dev/disk2s1 (the disk's slices), /dev/loop1p1 or /dev/nvme0n1p1 (a digit before the
    // partition number needs a "p"), /dev/sdb1 (a letter before it needs nothing).
    if (suffix.startsWith(QLatin1Char('s')) && endsInDigit)
        return allDigits(suffix.mid(1));
    if (suffix.startsWith(QLatin1Char('p')) && endsInDigit)
        return allDigits(suffix.mid(1));
    return !endsInDigit && allDigits(suffix);
}

QString MountPointOf(const QStringList &lines, const QString &device)
{
    QString found;
    for (const QString &line : lines) {
        QString mounted;
        QString point;
        if (ReadMountLine(line, &mounted, &point) && IsDeviceOrPartition(mounted, device))
            found = point;
    }
    return found;
}

int ReadProgress(const QString &line)
{
    const int key = line.indexOf(ProgressKey);
    if (key < 0)
        return -1;
    QString rest = line.mid(key + ProgressKey.size()).trimmed();
    if (rest.startsWith(QLatin1Char(':')) || rest.startsWith(QLatin1Char('=')))
        rest = rest.mid(1).trimmed();
    if (rest.endsWith(QLatin1Char(';')))
        rest.chop(1);
    bool ok = false;
    const double fraction = rest.toDouble(&ok);
    if (!ok || !(fraction > 0))
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

QString PickToolMessage(const QStringList &lines)
{
    QStringList rest;
    for (const QString &line : lines) {
        if (!line.contains(ProgressKey))
            rest << line;
    }
    return CreateLogic::PickToolMessage(rest);
}

} // namespace CopyDiscLogic
