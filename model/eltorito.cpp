// Reader of the whole El Torito boot catalog and of the ISO 9660 directory trees. All
// multi-byte fields are little-endian (the both-endian fields are read by their first half);
// offsets are 64-bit and every length read from the image is checked against what was read.

#include "model/eltorito.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSet>

#include <cstring>

Q_LOGGING_CATEGORY(lcElTorito, "vexlor.eltorito", QtWarningMsg)

namespace ElTorito {

namespace {

const int kRecord = 32;
const qint64 kBootRecordOffset = 17 * qint64(kSectorSize);

quint32 le32(const unsigned char *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

quint16 le16(const unsigned char *p)
{
    return quint16(p[0] | (p[1] << 8));
}

const unsigned char *bytes(const QByteArray &a, int pos = 0)
{
    return reinterpret_cast<const unsigned char *>(a.constData()) + pos;
}

// Up to length bytes at offset; shorter (or empty) at the end of the file or on a failure.
QByteArray readAt(QFile &file, qint64 offset, qint64 length)
{
    if (offset < 0 || length <= 0 || offset >= file.size() || !file.seek(offset))
        return QByteArray();
    return file.read(qMin(length, file.size() - offset));
}

BootEntry entryFrom(const unsigned char *p, int section, quint8 platform)
{
    BootEntry e;
    e.section = section;
    e.platform = platform;
    e.bootable = p[0] == 0x88;
    e.media = p[1] & 0x0F;
    e.loadSegment = le16(p + 2);
    e.systemType = p[4];
    e.sectorCount = le16(p + 6);
    e.loadRba = le32(p + 8);
    return e;
}

bool allZero(const unsigned char *p, int n)
{
    for (int i = 0; i < n; ++i) {
        if (p[i])
            return false;
    }
    return true;
}

} // namespace

qint64 BootEntry::imageSize() const
{
    switch (media) {
    case Diskette12:
        return 1228800;
    case Diskette144:
        return 1474560;
    case Diskette288:
        return 2949120;
    default:
        return qint64(sectorCount) * 512;
    }
}

bool Catalog::hasBios() const
{
    for (const BootEntry &e : entries) {
        if (e.bootable && e.platform == PlatformBios)
            return true;
    }
    return false;
}

bool Catalog::hasEfi() const
{
    for (const BootEntry &e : entries) {
        if (e.bootable && e.platform == PlatformEfi)
            return true;
    }
    return false;
}

QString BootKinds(const Catalog &catalog)
{
    const bool bios = catalog.hasBios();
    const bool efi = catalog.hasEfi();
    if (bios && efi)
        return QStringLiteral("BIOS and UEFI");
    if (bios)
        return QStringLiteral("BIOS");
    if (efi)
        return QStringLiteral("UEFI");
    return QStringLiteral("not bootable");
}

Catalog ParseCatalog(const QByteArray &data, quint32 sector)
{
    Catalog cat;
    cat.sector = sector;
    const int records = data.size() / kRecord;
    if (records < 2) {
        qCDebug(lcElTorito) << "catalog too short:" << data.size();
        return cat;
    }
    const unsigned char *p = bytes(data);
    if (p[0] != 1 || p[30] != 0x55 || p[31] != 0xAA) {
        qCDebug(lcElTorito) << "invalid validation entry";
        return cat;
    }
    cat.valid = true;
    cat.validationPlatform = p[1];
    cat.entries << entryFrom(p + kRecord, 0, p[1]);

    // Section headers (0x90, the last one 0x91), each followed by its entries; every entry may
    // be followed by extension records (0x44) that are not counted as entries.
    int r = 2;
    int section = 0;
    bool last = false;
    while (!last && r < records) {
        const unsigned char *h = p + r * kRecord;
        if (h[0] != 0x90 && h[0] != 0x91) {
            if (!allZero(h, kRecord))
                qCDebug(lcElTorito) << "catalog record" << r << "is no section header:" << h[0];
            break;
        }
        last = h[0] == 0x91;
        const quint8 platform = h[1];
        const int count = le16(h + 2);
        ++section;
        ++r;
        for (int i = 0; i < count && r < records; ++i) {
            const unsigned char *e = p + r * kRecord;
            if (e[0] != 0x88 && e[0] != 0x00) {
                qCDebug(lcElTorito) << "section" << section << "ends early at record" << r;
                break; // a header or garbage where an entry should be: the count lied
            }
            if (allZero(e, kRecord)) {
                last = true; // the zero-filled rest of the catalog
                break;
            }
            cat.entries << entryFrom(e, section, platform);
            ++r;
            while (r < records && p[r * kRecord] == 0x44)
                ++r;
        }
    }
    return cat;
}

Catalog ReadCatalog(const QString &isoPath)
{
    Catalog failed;
    QFile file(isoPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcElTorito) << "cannot open" << isoPath;
        failed.flaw = Flaw::Unreadable;
        return failed;
    }
    const QByteArray record = readAt(file, kBootRecordOffset, kSectorSize);
    if (record.size() < kSectorSize) {
        qCDebug(lcElTorito) << "no boot record sector";
        failed.flaw = Flaw::NoBootRecordSector;
        return failed;
    }
    const unsigned char *b = bytes(record);
    if (b[0] != 0 || b[6] != 1 || std::memcmp(b + 1, "CD001", 5) != 0
        || std::memcmp(b + 7, "EL TORITO SPECIFICATION", 23) != 0) {
        qCDebug(lcElTorito) << "no El Torito boot record";
        failed.flaw = b[0] != 0 || b[6] != 1 ? Flaw::NotBootRecord : Flaw::NotElTorito;
        return failed;
    }
    const quint32 sector = le32(b + 71);
    QByteArray data
        = readAt(file, qint64(sector) * kSectorSize, qint64(kMaxCatalogSectors) * kSectorSize);
    const bool whole = data.size() >= kSectorSize;
    data.truncate(data.size() - data.size() % kRecord);
    Catalog cat = ParseCatalog(data, sector);
    if (!whole)
        cat.flaw = Flaw::CatalogCut;
    else if (!cat.valid)
        cat.flaw = Flaw::NoValidationEntry;

    for (BootEntry &e : cat.entries) {
        const QByteArray head = readAt(file, qint64(e.loadRba) * kSectorSize, 16);
        e.hasBootInfoTable
            = head.size() == 16 && le32(bytes(head, 8)) == 16 && le32(bytes(head, 12)) == e.loadRba;
    }
    return cat;
}

QByteArray ReadBootImage(const QString &isoPath, const BootEntry &entry)
{
    QFile file(isoPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const qint64 size = entry.imageSize();
    QByteArray data = readAt(file, qint64(entry.loadRba) * kSectorSize, size);
    if (data.size() != size) {
        qCDebug(lcElTorito) << "boot image at" << entry.loadRba << "is cut short";
        return QByteArray();
    }
    return data;
}

bool IsVirtualBootEntry(const QString &listedPath)
{
    return listedPath == QLatin1String("[BOOT]") || listedPath.startsWith(QLatin1String("[BOOT]/"));
}

// --- ISO 9660 directory trees ---------------------------------------------------------------

namespace {

const int kMaxDescriptors = 64;
const qint64 kMaxDirectoryBytes = 64LL * 1024 * 1024;
const int kMaxDepth = 64;
const int kMaxDirectories = 200000;
const qint64 kMaxTreeBytes = 512LL * 1024 * 1024; // all directories of one tree together

struct Tree
{
    quint32 extent = 0;
    quint32 size = 0;
    bool found = false;
};

// The Rock Ridge name in a system use area (NM entries, following one CE continuation chain).
QString rockRidgeName(QFile &file, QByteArray area)
{
    QByteArray name;
    bool named = false;
    for (int hops = 0; hops < 8; ++hops) {
        qint64 ceBlock = -1, ceOffset = 0, ceLength = 0;
        int pos = 0;
        while (pos + 4 <= area.size()) {
            const unsigned char *s = bytes(area, pos);
            const int len = s[2];
            if (len < 4 || pos + len > area.size())
                break;
            if (s[0] == 'N' && s[1] == 'M' && len >= 5) {
                if (!(s[4] & 0x06)) { // not "." or ".."
                    name.append(reinterpret_cast<const char *>(s + 5), len - 5);
                    named = true;
                }
            } else if (s[0] == 'C' && s[1] == 'E' && len >= 28) {
                ceBlock = le32(s + 4);
                ceOffset = le32(s + 12);
                ceLength = le32(s + 20);
            } else if (s[0] == 'S' && s[1] == 'T') {
                break;
            }
            pos += len;
        }
        if (ceBlock < 0 || ceLength <= 0 || ceLength > kSectorSize)
            break;
        area = readAt(file, ceBlock * kSectorSize + ceOffset, ceLength);
    }
    return named ? QString::fromUtf8(name) : QString();
}

QString jolietName(const unsigned char *p, int len)
{
    QString s;
    s.reserve(len / 2);
    for (int i = 0; i + 1 < len; i += 2)
        s.append(QChar(ushort((p[i] << 8) | p[i + 1])));
    return s;
}

// 7-Zip drops a ";N" version and then one trailing ".".
QString plainName(QString name, bool isDir)
{
    if (!isDir) {
        const int semi = name.lastIndexOf(QLatin1Char(';'));
        if (semi >= 0) {
            bool digits = semi + 1 < name.size();
            for (int i = semi + 1; i < name.size(); ++i)
                digits = digits && name.at(i).isDigit();
            if (digits)
                name.truncate(semi);
        }
        if (name.endsWith(QLatin1Char('.')) && name.size() > 1)
            name.chop(1);
    }
    return name;
}

void walk(QFile &file, const Tree &root, bool joliet, bool useRockRidge, ExtentMap &map)
{
    struct Dir
    {
        quint32 extent;
        quint32 size;
        QString path;
        int depth;
    };
    QVector<Dir> stack { { root.extent, root.size, QString(), 0 } };
    QSet<quint32> seen;
    qint64 budget = kMaxTreeBytes;
    while (!stack.isEmpty() && budget > 0) {
        const Dir dir = stack.takeLast();
        if (seen.contains(dir.extent) || seen.size() >= kMaxDirectories || dir.depth > kMaxDepth)
            continue;
        seen.insert(dir.extent);
        const QByteArray data = readAt(file, qint64(dir.extent) * kSectorSize,
                                       qMin<qint64>(dir.size, kMaxDirectoryBytes));
        budget -= qMax(data.size(), 1);
        QVector<Dir> children;
        QString previous;
        int pos = 0;
        while (pos < data.size()) {
            const unsigned char *r = bytes(data, pos);
            const int len = r[0];
            const int sectorEnd = (pos / kSectorSize + 1) * kSectorSize;
            if (len == 0) {
                pos = sectorEnd; // records never cross a sector; the rest is padding
                continue;
            }
            if (len < 34 || pos + len > data.size() || pos + len > sectorEnd)
                break;
            const int nameLen = r[32];
            if (33 + nameLen > len) {
                pos += len;
                continue;
            }
            const bool isDir = r[25] & 0x02;
            const quint32 extent = le32(r + 2) + r[1];
            const quint32 size = le32(r + 10);
            const unsigned char *rawName = r + 33;
            pos += len;
            if (nameLen == 1 && (rawName[0] == 0 || rawName[0] == 1))
                continue; // "." and ".."
            QString name;
            if (useRockRidge) {
                const int suStart = 33 + nameLen + ((nameLen % 2) ? 0 : 1);
                if (suStart < len)
                    name = rockRidgeName(
                        file,
                        QByteArray(reinterpret_cast<const char *>(r + suStart), len - suStart));
            }
            if (name.isEmpty()) {
                name = joliet
                    ? jolietName(rawName, nameLen)
                    : QString::fromLatin1(reinterpret_cast<const char *>(rawName), nameLen);
                name = plainName(name, isDir);
            }
            if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == previous)
                continue; // unnamed, unusable, or the next part of a multi-extent file
            previous = name;
            const QString path = dir.path.isEmpty() ? name : dir.path + QLatin1Char('/') + name;
            if (isDir)
                children.append({ extent, size, path, dir.depth + 1 });
            else if (size > 0 && !map.files.contains(extent)) {
                map.files.insert(extent, path);
                map.sizes.insert(extent, size);
            }
        }
        // Depth first, in directory order, as 7-Zip lists.
        for (int i = children.size() - 1; i >= 0; --i)
            stack.append(children.at(i));
    }
}

} // namespace

ExtentMap ReadExtents(const QString &isoPath)
{
    ExtentMap map;
    QFile file(isoPath);
    if (!file.open(QIODevice::ReadOnly))
        return map;
    Tree primary, jolietTree;
    bool udf = false;
    for (int i = 0; i < kMaxDescriptors; ++i) {
        const QByteArray vd = readAt(file, qint64(16 + i) * kSectorSize, kSectorSize);
        if (vd.size() < kSectorSize)
            break;
        const unsigned char *d = bytes(vd);
        if (std::memcmp(d + 1, "NSR02", 5) == 0 || std::memcmp(d + 1, "NSR03", 5) == 0) {
            udf = true;
            continue;
        }
        if (std::memcmp(d + 1, "CD001", 5) != 0)
            continue; // the UDF recognition sequence (BEA01, TEA01) sits among them
        if (d[0] == 1 && !primary.found) {
            primary = { le32(d + 156 + 2), le32(d + 156 + 10), true };
        } else if (d[0] == 2 && !jolietTree.found && d[88] == '%' && d[89] == '/'
                   && (d[90] == '@' || d[90] == 'C' || d[90] == 'E')) {
            jolietTree = { le32(d + 156 + 2), le32(d + 156 + 10), true };
        }
    }
    if (!primary.found)
        return map;
    map.valid = true;

    // Rock Ridge: the root's "." record starts its system use area with an "SP" entry.
    bool rockRidge = false;
    const QByteArray root = readAt(file, qint64(primary.extent) * kSectorSize, 255);
    if (root.size() >= 34 && bytes(root)[0] >= 34 && bytes(root)[0] <= root.size()) {
        const unsigned char *r = bytes(root);
        const int suStart = 33 + r[32] + ((r[32] % 2) ? 0 : 1);
        rockRidge = suStart + 7 <= r[0] && r[suStart] == 'S' && r[suStart + 1] == 'P'
            && r[suStart + 4] == 0xBE && r[suStart + 5] == 0xEF;
    }
    // 7-Zip shows the UDF tree when there is one (whose names Rock Ridge keeps whole), else
    // the Joliet tree, else the primary one with its Rock Ridge names.
    if (jolietTree.found && !(udf && rockRidge))
        walk(file, jolietTree, true, false, map);
    else
        walk(file, primary, false, rockRidge, map);
    return map;
}

} // namespace ElTorito
