#include "probe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace Probe {

namespace {

QString stringField(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

// lsblk prints booleans as true/false, older versions as "1"/"0" or 1/0.
bool boolField(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool())
        return value.toBool();
    if (value.isDouble())
        return value.toDouble() != 0;
    return value.toString() == QLatin1String("1");
}

qint64 sizeField(const QJsonObject &object)
{
    const QJsonValue value = object.value(QLatin1String("size"));
    if (value.isDouble())
        return qint64(value.toDouble());
    return value.toString().toLongLong();
}

BlockDevice readDevice(const QJsonObject &object)
{
    BlockDevice device;
    device.name = stringField(object, "name");
    device.path = stringField(object, "path");
    if (device.path.isEmpty() && !device.name.isEmpty())
        device.path = QStringLiteral("/dev/") + device.name;
    device.type = stringField(object, "type");
    device.tran = stringField(object, "tran");
    device.model = stringField(object, "model").trimmed();
    device.vendor = stringField(object, "vendor").trimmed();
    device.fsType = stringField(object, "fstype");
    device.label = stringField(object, "label");
    device.removable = boolField(object, "rm");
    device.hotplug = boolField(object, "hotplug");
    device.size = sizeField(object);
    const QJsonValue points = object.value(QLatin1String("mountpoints"));
    if (points.isArray()) {
        for (const QJsonValue &point : points.toArray()) {
            if (point.isString() && !point.toString().isEmpty())
                device.mountPoints << point.toString();
        }
    } else if (!stringField(object, "mountpoint").isEmpty()) {
        device.mountPoints << stringField(object, "mountpoint");
    }
    for (const QJsonValue &child : object.value(QLatin1String("children")).toArray())
        device.children << readDevice(child.toObject());
    return device;
}

bool isSystemMountPoint(const QString &point)
{
    static const QStringList system { "/", "/boot", "/usr", "/home", "/var" };
    return system.contains(point) || point.startsWith(QLatin1String("/boot/"))
        || point == QLatin1String("[SWAP]");
}

bool holdsSystem(const BlockDevice &device, const QStringList &swaps)
{
    for (const QString &point : device.mountPoints) {
        if (isSystemMountPoint(point))
            return true;
    }
    if (swaps.contains(device.path))
        return true;
    for (const BlockDevice &child : device.children) {
        if (holdsSystem(child, swaps))
            return true;
    }
    return false;
}

} // namespace

QList<BlockDevice> ParseLsblk(const QByteArray &json)
{
    QList<BlockDevice> devices;
    const QJsonDocument document = QJsonDocument::fromJson(json);
    for (const QJsonValue &value : document.object().value(QLatin1String("blockdevices")).toArray())
        devices << readDevice(value.toObject());
    return devices;
}

const BlockDevice *FindDevice(const QList<BlockDevice> &devices, const QString &pathOrName)
{
    for (const BlockDevice &device : devices) {
        if (device.path == pathOrName || device.name == pathOrName
            || QStringLiteral("/dev/") + device.name == pathOrName)
            return &device;
        if (const BlockDevice *found = FindDevice(device.children, pathOrName))
            return found;
    }
    return nullptr;
}

QString DecodeMountEscapes(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 3 < text.size()) {
            const QString digits = text.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && code < 256) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

QList<MountEntry> ParseMountInfo(const QByteArray &text)
{
    QList<MountEntry> entries;
    // Names are UTF-8 on disk; the kernel escapes only blank, tab, line feed and backslash.
    for (const QByteArray &rawLine : text.split('\n')) {
        const QList<QByteArray> fields = rawLine.trimmed().split(' ');
        const int dash = fields.indexOf("-");
        if (dash < 6 || fields.size() < dash + 3)
            continue;
        MountEntry entry;
        entry.majorMinor = QString::fromUtf8(fields.at(2));
        entry.mountPoint = DecodeMountEscapes(QString::fromUtf8(fields.at(4)));
        entry.options = QString::fromUtf8(fields.at(5));
        entry.fsType = DecodeMountEscapes(QString::fromUtf8(fields.at(dash + 1)));
        entry.source = DecodeMountEscapes(QString::fromUtf8(fields.at(dash + 2)));
        if (fields.size() > dash + 3)
            entry.superOptions = QString::fromUtf8(fields.at(dash + 3));
        entries << entry;
    }
    return entries;
}

QString MountLine(const MountEntry &entry)
{
    QStringList parts { entry.fsType };
    parts << entry.options.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return entry.source + QStringLiteral(" on ") + entry.mountPoint + QStringLiteral(" (")
        + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QStringList ParseSwaps(const QByteArray &text)
{
    QStringList devices;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() >= 2 && fields.at(1) == "partition")
            devices << DecodeMountEscapes(QString::fromUtf8(fields.at(0)));
    }
    return devices;
}

QList<CdromDrive> ParseCdromInfo(const QByteArray &text)
{
    QList<CdromDrive> drives;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine);
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QString key = line.left(colon).trimmed();
        const QStringList values = line.mid(colon + 1).split(
            QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (key == QLatin1String("drive name")) {
            drives.clear();
            for (const QString &name : values)
                drives << CdromDrive { name, {} };
            continue;
        }
        for (int i = 0; i < drives.size() && i < values.size(); ++i)
            drives[i].values.insert(key, values.at(i));
    }
    return drives;
}

QString OpticalDriveType(const CdromDrive &drive)
{
    auto can = [&drive](const char *key) {
        return drive.values.value(QLatin1String(key)) == "1";
    };
    if (can("Can write DVD-R") || can("Can write DVD-RAM"))
        return QStringLiteral("DVD-RW");
    if (can("Can read DVD"))
        return can("Can write CD-R") ? QStringLiteral("DVD-ROM, CD-RW") : QStringLiteral("DVD-ROM");
    if (can("Can write CD-R") || can("Can write CD-RW"))
        return QStringLiteral("CD-RW");
    return QStringLiteral("CD-ROM");
}

MediaStatus MediaStatusFromDrive(int value)
{
    switch (value) {
    case 1:
        return MediaStatus::NoDisc;
    case 2:
        return MediaStatus::TrayOpen;
    case 3:
        return MediaStatus::NotReady;
    case 4:
        return MediaStatus::DiscOk;
    default:
        return MediaStatus::Unknown;
    }
}

bool HoldsDisc(MediaStatus status, qint64 sizeSectors)
{
    if (status == MediaStatus::Unknown)
        return sizeSectors > 0;
    return status == MediaStatus::DiscOk;
}

BurnMedium XorrisoMedium(const QString &toc)
{
    for (const QString &line : toc.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(QLatin1String("Media status :")))
            continue;
        const QString status = trimmed.mid(14).trimmed();
        if (status.startsWith(QLatin1String("is blank")))
            return BurnMedium::Blank;
        if (status.startsWith(QLatin1String("is written")))
            return BurnMedium::Written;
        return BurnMedium::Unknown;
    }
    return BurnMedium::Unknown;
}

double XorrisoProgress(const QString &line)
{
    static const QRegularExpression pattern(
        QStringLiteral("UPDATE\\s*:\\s*(\\d+)\\s+of\\s+(\\d+)\\s+MB\\s+written"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return -1;
    const double done = match.captured(1).toDouble();
    const double total = match.captured(2).toDouble();
    if (total <= 0)
        return -1;
    return qBound(0.0, done / total, 1.0);
}

double MkisofsProgress(const QString &line)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)% done"));
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return -1;
    return qBound(0.0, match.captured(1).toDouble() / 100.0, 1.0);
}

QString ProgressLine(double fraction)
{
    return QStringLiteral("DRStatusPercentCompleteKey: ") + QString::number(fraction, 'f', 6);
}

bool ParseAdminScript(const QString &script, QString *command)
{
    static const QString head = QStringLiteral("do shell script \"");
    static const QString tail = QStringLiteral("\" with administrator privileges");
    if (!script.startsWith(head) || !script.endsWith(tail)
        || script.size() < head.size() + tail.size())
        return false;
    const QString body = script.mid(head.size(), script.size() - head.size() - tail.size());
    QString out;
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c == QLatin1Char('"'))
            return false; // an unescaped quote ends the literal early: another script form
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i >= body.size())
            return false;
        switch (body.at(i).unicode()) {
        case '"':
            out += QLatin1Char('"');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        default:
            return false;
        }
    }
    if (command)
        *command = out;
    return true;
}

QString HumanSize(qint64 bytes)
{
    static const char *units[] = { "B", "KB", "MB", "GB", "TB", "PB" };
    double value = double(bytes);
    int unit = 0;
    while (value >= 1000.0 && unit < 5) {
        value /= 1000.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QStringList IdentityOptions(const DiskIdentity &identity)
{
    return { QStringLiteral("--serial"),        identity.serial,
             QStringLiteral("--wwn"),           identity.wwn,
             QStringLiteral("--device-number"), identity.deviceNumber,
             QStringLiteral("--size"),          QString::number(identity.size),
             QStringLiteral("--model"),         identity.model };
}

bool TakeIdentityOptions(const QStringList &arguments, DiskIdentity *identity, QStringList *rest)
{
    static const QStringList names { QStringLiteral("--serial"), QStringLiteral("--wwn"),
                                     QStringLiteral("--device-number"), QStringLiteral("--size"),
                                     QStringLiteral("--model") };
    const int first = arguments.size() - 2 * names.size();
    if (first < 0)
        return false;
    QMap<QString, QString> values;
    for (int i = first; i < arguments.size(); i += 2) {
        if (!names.contains(arguments.at(i)) || values.contains(arguments.at(i)))
            return false;
        values.insert(arguments.at(i), arguments.at(i + 1));
    }
    bool ok = false;
    const qint64 size = values.value(QStringLiteral("--size")).toLongLong(&ok);
    if (!ok || size <= 0)
        return false;
    identity->serial = values.value(QStringLiteral("--serial"));
    identity->wwn = values.value(QStringLiteral("--wwn"));
    identity->deviceNumber = values.value(QStringLiteral("--device-number"));
    identity->size = size;
    identity->model = values.value(QStringLiteral("--model"));
    if (rest)
        *rest = arguments.mid(0, first);
    return true;
}

QString IdentityDifference(const DiskIdentity &expected, const DiskIdentity &actual)
{
    QStringList differences;
    auto compare = [&differences](const char *what, const QString &want, const QString &have) {
        if (want != have)
            differences << QStringLiteral("%1 \"%2\" instead of \"%3\"")
                               .arg(QLatin1String(what), have, want);
    };
    compare("serial number", expected.serial, actual.serial);
    compare("WWN", expected.wwn, actual.wwn);
    compare("device number", expected.deviceNumber, actual.deviceNumber);
    compare("size", QString::number(expected.size), QString::number(actual.size));
    compare("model", expected.model, actual.model);
    return differences.join(QStringLiteral(", "));
}

QString SerialFromVpdPage(const QByteArray &page)
{
    // Byte 1: page code 0x80; bytes 2-3: length; the serial follows in ASCII.
    if (page.size() < 4 || quint8(page.at(1)) != 0x80)
        return {};
    const int length = (quint8(page.at(2)) << 8) | quint8(page.at(3));
    return QString::fromLatin1(page.mid(4, length)).remove(QChar(0)).trimmed();
}

bool IsRemovableMedia(const BlockDevice &disk)
{
    return disk.removable;
}

bool IsSystemDisk(const BlockDevice &disk, const QStringList &swaps)
{
    return holdsSystem(disk, swaps);
}

QList<BlockDevice> WritableDisks(const QList<BlockDevice> &devices, const QStringList &swaps,
                                 const QStringList &testDisks)
{
    QList<BlockDevice> disks;
    for (const BlockDevice &device : devices) {
        if (IsSystemDisk(device, swaps) || device.size <= 0)
            continue;
        if (!testDisks.isEmpty()) {
            if (device.type == QLatin1String("loop") && testDisks.contains(device.path))
                disks << device;
            continue;
        }
        if (device.type != QLatin1String("disk"))
            continue;
        if (IsRemovableMedia(device))
            disks << device;
    }
    return disks;
}

} // namespace Probe
