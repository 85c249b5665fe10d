#include "services/disktools.h"

#include <QRegularExpression>

namespace DiskTools {

QStringList ListArgs()
{
    return { QStringLiteral("list") };
}

QStringList InfoArgs(const QString &device)
{
    return { QStringLiteral("info"), device };
}

QStringList PartitionArgs(const QString &disk, const QString &format, const QString &name,
                          const QString &scheme)
{
    return { QStringLiteral("partitionDisk"),
             disk,
             QStringLiteral("1"),
             scheme,
             format,
             name,
             QStringLiteral("R") };
}

QString FormatArgument(const QString &fileSystem, qint64 diskSize)
{
    if (fileSystem == QLatin1String("FAT") && diskSize < Q_INT64_C(4294967296))
        return QStringLiteral("MS-DOS FAT16");
    return QStringLiteral("FAT32");
}

QString VolumeName(const QString &label)
{
    return label.isEmpty() ? QStringLiteral("NONAME") : label;
}

QStringList UnmountDiskArgs(const QString &disk)
{
    return { QStringLiteral("unmountDisk"), disk };
}

QStringList WriteImageArgs(const QString &disk, const QString &image)
{
    return { QStringLiteral("writeImage"), disk, image };
}

QStringList DriveStatusArgs()
{
    return { QStringLiteral("status") };
}

QStringList BurnArgs(const QString &image, const QString &device)
{
    QStringList args { QStringLiteral("burn"), QStringLiteral("-verbose"),
                       QStringLiteral("-noverifyburn") };
    if (!device.isEmpty())
        args << QStringLiteral("-device") << device;
    args << image;
    return args;
}

QStringList MakeHybridArgs(const QString &target, const QString &source)
{
    return { QStringLiteral("makehybrid"),
             QStringLiteral("-iso"),
             QStringLiteral("-joliet"),
             QStringLiteral("-debug"),
             QStringLiteral("-ov"),
             QStringLiteral("-o"),
             target,
             source };
}

QStringList EjectArgs(const QString &device)
{
    return { QStringLiteral("eject"), device };
}

QString ShellQuote(const QString &word)
{
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString MkbootableCommand(const QString &program, const QString &disk, const QString &mountPoint,
                          const QStringList &more)
{
    QStringList words;
    for (const QString &word : QStringList { program, disk, mountPoint } + more)
        words << ShellQuote(word);
    return words.join(QLatin1Char(' '));
}

QString AppleScriptString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return escaped;
}

QString AdminScript(const QString &shellCommand)
{
    return QStringLiteral("do shell script \"") + AppleScriptString(shellCommand)
        + QStringLiteral("\" with administrator privileges");
}

QStringList AdminArgs(const QString &shellCommand)
{
    return { QStringLiteral("-e"), AdminScript(shellCommand) };
}

namespace {

bool isMacDisk(const QString &disk)
{
    static const QRegularExpression pattern(QStringLiteral("^(/dev/)?r?disk\\d+$"));
    return pattern.match(disk).hasMatch();
}

// The letters between a disk's node and a partition number.
QString partitionInfix(const QString &disk)
{
    if (isMacDisk(disk))
        return QStringLiteral("s");
    if (!disk.isEmpty() && disk.back().isDigit())
        return QStringLiteral("p");
    return QString();
}

} // namespace

QString FirstPartition(const QString &disk)
{
    return disk + partitionInfix(disk) + QLatin1Char('1');
}

bool IsDiskOrPartition(const QString &node, const QString &disk)
{
    if (disk.isEmpty())
        return false;
    if (node == disk)
        return true;
    if (!node.startsWith(disk))
        return false;
    const QString infix = partitionInfix(disk);
    const QString rest = node.mid(disk.size());
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    return rest.startsWith(infix) && digits.match(rest.mid(infix.size())).hasMatch();
}

QString ListedDisk(const QString &line)
{
    if (!line.contains(QLatin1String("external, physical")))
        return {};
    QString node = line;
    node.remove(QLatin1Char('\n'));
    node.remove(QLatin1Char('\r'));
    node.remove(QStringLiteral("(external, physical):"));
    return node.trimmed();
}

namespace {

// The lines of the report that belong to the field: the name before the first ":".
QStringList fieldLines(const QString &report, const QString &name)
{
    QStringList found;
    for (const QString &line : report.split(QLatin1Char('\n'))) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && line.left(colon).trimmed() == name)
            found << line;
    }
    return found;
}

} // namespace

QString InfoValue(const QString &report, const QString &name)
{
    const QStringList lines = fieldLines(report, name);
    if (lines.isEmpty())
        return {};
    const QString line = lines.first();
    return line.mid(line.indexOf(QLatin1Char(':')) + 1).trimmed();
}

qint64 DiskSizeFromInfo(const QString &report)
{
    for (const QString &line : fieldLines(report, QStringLiteral("Disk Size"))) {
        const int q = line.indexOf(QLatin1String(" Bytes)"));
        if (q < 0)
            continue;
        const int open = line.lastIndexOf(QLatin1Char('('), q);
        if (open <= 0)
            continue;
        bool ok = false;
        const qint64 size = line.mid(open + 1, q - open).trimmed().toLongLong(&ok, 10);
        return ok ? size : 0;
    }
    return 0;
}

QString MountPointFromInfo(const QString &report)
{
    for (const QString &line : fieldLines(report, QStringLiteral("Mount Point"))) {
        const int slash = line.indexOf(QLatin1Char('/'), line.indexOf(QLatin1Char(':')));
        if (slash > 0)
            return line.mid(slash).trimmed();
    }
    return {};
}

bool IsUsbStickInfo(const QString &report)
{
    bool usb = false;
    bool removable = false;
    for (const QString &line : fieldLines(report, QStringLiteral("Protocol")))
        usb = usb || line.mid(line.indexOf(QLatin1Char(':'))).contains(QLatin1String("USB"));
    for (const QString &line : fieldLines(report, QStringLiteral("Removable Media")))
        removable = removable
            || line.mid(line.indexOf(QLatin1Char(':'))).contains(QLatin1String("Removable"));
    return usb && removable && fieldLines(report, QStringLiteral("Optical Drive Type")).isEmpty();
}

QString Drive::Text() const
{
    return description + QStringLiteral(" (") + device + QLatin1Char(')');
}

bool DriveStatusReader::Feed(const QString &rawLine, Drive *drive)
{
    QString line = rawLine;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    if (line.contains(QLatin1String("Vendor   Product           Rev"))) {
        // A new drive starts here: what an earlier drive without a name line left is dropped.
        m_header = true;
        m_description.clear();
        m_device.clear();
        return false;
    }
    if (!m_header)
        return false;
    if (m_description.isEmpty()) {
        for (const QString &part : line.split(QLatin1Char(' '))) {
            if (part.trimmed().isEmpty())
                continue;
            if (!m_description.isEmpty())
                m_description += QLatin1Char(' ');
            m_description += part;
        }
    }
    const int name = line.indexOf(QLatin1String(" Name:"));
    if (name > 0)
        m_device = line.mid(name + 6).trimmed();
    if (m_device.isEmpty())
        return false;
    m_header = false;
    if (drive)
        *drive = Drive { m_description, m_device };
    m_description.clear();
    m_device.clear();
    return true;
}

void DriveStatusReader::Reset()
{
    m_header = false;
    m_description.clear();
    m_device.clear();
}

QList<Drive> ReadDriveStatus(const QStringList &lines)
{
    QList<Drive> drives;
    DriveStatusReader reader;
    Drive drive;
    for (const QString &line : lines) {
        if (!line.trimmed().isEmpty() && reader.Feed(line, &drive))
            drives << drive;
    }
    return drives;
}

double ProgressFraction(const QString &rawLine, bool *isProgress)
{
    QString line = rawLine;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    const bool has = line.contains(QLatin1String("DRStatusPercentCompleteKey"));
    if (isProgress)
        *isProgress = has;
    if (!has)
        return 0;
    line.remove(QLatin1String("DRStatusPercentCompleteKey:"));
    return line.trimmed().toDouble();
}

bool ParseMountLine(const QString &rawLine, MountEntry *entry)
{
    QString line = rawLine;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    const int on = line.indexOf(QLatin1String(" on "));
    const int open = line.lastIndexOf(QLatin1String(" ("));
    if (on <= 0 || open < on + 4 || !line.endsWith(QLatin1Char(')')))
        return false;
    const QString inside = line.mid(open + 2).chopped(1);
    QStringList parts = inside.split(QLatin1Char(','));
    for (QString &part : parts)
        part = part.trimmed();
    if (entry) {
        entry->device = line.left(on);
        entry->mountPoint = line.mid(on + 4, open - on - 4);
        entry->type = parts.takeFirst();
        entry->options = parts;
    }
    return true;
}

QString MountPointForDevice(const QStringList &lines, const QString &device)
{
    QString found;
    MountEntry entry;
    for (const QString &line : lines) {
        if (ParseMountLine(line, &entry) && IsDiskOrPartition(entry.device, device))
            found = entry.mountPoint;
    }
    return found;
}

} // namespace DiskTools
