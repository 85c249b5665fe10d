// The whole boot catalog reader on hand-made catalogs, the extent map against 7-Zip's listing of
// real images and the mkisofs boot switches; no image is started here (tst_eltoritoboot boots
// them). No mount: images are read as files.

#include "boothelpers.h"
#include "model/eltorito.h"
#include "services/bootoptions.h"
#include "testhelpers.h"

#include <QTest>

using namespace ElTorito;
using namespace TestHelpers;
using BootHelpers::catalogSummary;
using BootHelpers::imageListing;

namespace {

QByteArray rec(std::initializer_list<int> head)
{
    QByteArray r(32, '\0');
    int i = 0;
    for (int b : head)
        r[i++] = char(b);
    return r;
}
QByteArray validation(int platform)
{
    return rec({ 1, platform, 0, 0 }).replace(30, 2, "\x55\xAA");
}
QByteArray entry(int boot, int media, int count, quint32 rba, int seg = 0)
{
    return rec({ boot, media, seg & 0xFF, seg >> 8, 0, 0, count & 0xFF, count >> 8, int(rba & 0xFF),
                 int((rba >> 8) & 0xFF), int((rba >> 16) & 0xFF), int(rba >> 24) });
}
QByteArray header(int id, int platform, int count)
{
    return rec({ id, platform, count & 0xFF, count >> 8 });
}
QByteArray sector(const QByteArray &records, int sectors = 1)
{
    return records + QByteArray(sectors * kSectorSize - records.size(), '\0');
}

} // namespace

Q_DECLARE_METATYPE(QVector<BootEntry>)

class TestElTorito : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void readFromImage();
    void extents_data();
    void extents();
    void hostileTrees();
    void optionsAvoidNames();
    void options_data();
    void options();
};

void TestElTorito::parse_data()
{
    QTest::addColumn<QByteArray>("catalog");
    QTest::addColumn<QString>("expected");

    const QByteArray v0 = validation(0);
    const QByteArray def = entry(0x88, 0, 4, 40);
    QTest::newRow("default only") << sector(v0 + def) << "0:0:B:0:4:40";
    QTest::newRow("bad key bytes") << sector(rec({ 1 }) + def) << "invalid";
    QTest::newRow("too short") << v0 + def.left(16) << "invalid";
    QTest::newRow("uefi only") << sector(validation(0xEF) + entry(0x88, 0, 8, 35))
                               << "0:ef:B:0:8:35";
    QTest::newRow("not bootable, diskette, media high bits")
        << sector(v0 + entry(0, 0x12, 1, 30)) << "0:0:-:2:1:30";
    QTest::newRow("several sections, last 0x91")
        << sector(v0 + def + header(0x90, 0, 2) + entry(0x88, 4, 1, 50) + entry(0, 0, 4, 51)
                  + header(0x91, 0xEF, 1) + entry(0x88, 0, 2880, 60))
        << "0:0:B:0:4:40 1:0:B:4:1:50 1:0:-:0:4:51 2:ef:B:0:2880:60";
    QTest::newRow("nothing read after the 0x91 section")
        << sector(v0 + def + header(0x91, 0xEF, 1) + entry(0x88, 0, 8, 60) + entry(0x88, 0, 8, 61))
        << "0:0:B:0:4:40 1:ef:B:0:8:60";
    // Extension records follow an entry whose media byte has bit 5; they are not entries.
    QTest::newRow("extension records")
        << sector(v0 + def + header(0x91, 0xEF, 2) + entry(0x88, 0x20, 8, 60) + rec({ 0x44, 0x20 })
                  + rec({ 0x44, 0 }) + entry(0x88, 0, 9, 61))
        << "0:0:B:0:4:40 1:ef:B:0:8:60 1:ef:B:0:9:61";
    QTest::newRow("count larger than the entries: zero record ends")
        << sector(v0 + def + header(0x91, 0xEF, 7) + entry(0x88, 0, 8, 60))
        << "0:0:B:0:4:40 1:ef:B:0:8:60";
    QTest::newRow("count larger: next header ends the section")
        << sector(v0 + def + header(0x90, 0, 3) + entry(0x88, 0, 4, 50) + header(0x91, 0xEF, 1)
                  + entry(0x88, 0, 8, 60))
        << "0:0:B:0:4:40 1:0:B:0:4:50 2:ef:B:0:8:60";
    QTest::newRow("odd count smaller than the entries")
        << sector(v0 + def + header(0x90, 0, 1) + entry(0x88, 0, 4, 50) + entry(0x88, 0, 4, 51))
        << "0:0:B:0:4:40 1:0:B:0:4:50";
    QTest::newRow("garbage where a header should be")
        << sector(v0 + def + rec({ 0x33, 1, 2 }) + header(0x91, 0xEF, 1) + entry(0x88, 0, 8, 60))
        << "0:0:B:0:4:40";
    QByteArray hostile = v0 + def;
    for (int i = 0; i < 62; ++i)
        hostile += header(0x90, 2, 0xFFFF);
    QTest::newRow("hostile counts, no last header") << hostile << "0:0:B:0:4:40";
    QByteArray many = v0 + def + header(0x91, 0xEF, 0xFFFF);
    while (many.size() < 2 * kSectorSize)
        many += entry(0x88, 0, 1, 70);
    QString manyExpected = "0:0:B:0:4:40";
    for (int i = 0; i < 2 * kSectorSize / 32 - 3; ++i)
        manyExpected += " 1:ef:B:0:1:70";
    QTest::newRow("65535 entries announced, 125 there") << many << manyExpected;
    // A section that starts in the catalog's first sector and goes on in the next one.
    QByteArray span = v0 + def;
    for (int i = 2; i < 63; ++i)
        span += header(0x90, 0, 0);
    span += header(0x91, 0xEF, 2) + entry(0x88, 0, 8, 60) + entry(0x88, 0, 9, 61);
    QTest::newRow("catalog running past its sector")
        << sector(span, 2) << "0:0:B:0:4:40 62:ef:B:0:8:60 62:ef:B:0:9:61";
}

void TestElTorito::parse()
{
    QFETCH(QByteArray, catalog);
    QFETCH(QString, expected);
    QCOMPARE(catalogSummary(ParseCatalog(catalog)), expected);
}

// The catalog read from a file: past its sector, at the image's end, out of range; and the
// boot information table seen in an isolinux image.
void TestElTorito::readFromImage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray br(kSectorSize, '\0');
    br.replace(1, 5, "CD001");
    br[6] = 1;
    br.replace(7, 23, "EL TORITO SPECIFICATION");
    auto image = [&](quint32 catalogSector, const QByteArray &catalog) {
        QByteArray img(18 * kSectorSize, '\0');
        QByteArray b = br;
        for (int i = 0; i < 4; ++i)
            b[71 + i] = char((catalogSector >> (8 * i)) & 0xFF);
        img.replace(17 * kSectorSize, kSectorSize, b);
        img += catalog;
        const QString path = dir.filePath(QString::number(img.size()) + ".iso");
        writeFile(path, img);
        return path;
    };
    const QByteArray v0 = validation(0);
    // The last section header is the last record of the image: its entries are missing.
    QByteArray tail = v0 + entry(0x88, 0, 4, 0);
    while (tail.size() < kSectorSize - 32)
        tail += header(0x90, 0, 0);
    tail += header(0x91, 0xEF, 40);
    Catalog c = ReadCatalog(image(18, tail));
    QVERIFY(c.valid);
    QCOMPARE(c.sector, 18u);
    QCOMPARE(c.entries.size(), 1);
    QCOMPARE(c.entries.first().hasBootInfoTable, false);
    // It goes on in the next sector (the last one of the image, a short one).
    c = ReadCatalog(image(18, tail + entry(0x88, 0, 8, 19) + entry(0x88, 0, 9, 18)));
    QCOMPARE(catalogSummary(c), QString("0:0:B:0:4:0 62:ef:B:0:8:19 62:ef:B:0:9:18"));
    QCOMPARE(BootKinds(c), QString("BIOS and UEFI"));
    QVERIFY(ReadBootImage(dir.filePath("x.iso"), c.entries.at(1)).isEmpty()); // no such file
    QVERIFY(ReadBootImage(image(18, tail + entry(0x88, 0, 8, 19)), c.entries.at(1)).isEmpty());
    QCOMPARE(ReadBootImage(image(18, tail + entry(0x88, 0, 8, 19)), c.entries.at(0)).size(), 2048);
    QVERIFY(!ReadCatalog(image(0xFFFFFFFFu, tail)).valid);
    QVERIFY(!ReadCatalog(dir.filePath("missing.iso")).valid);
    QCOMPARE(BootKinds(Catalog()), QString("not bootable"));

    if (!BootHelpers::haveTool("genisoimage") || !QFileInfo::exists(BootHelpers::kIsolinuxBin))
        QSKIP("genisoimage or isolinux missing");
    const QString iso = dir.filePath("isolinux.iso");
    QString error;
    QVERIFY2(BootHelpers::makeBootableImage(BootHelpers::Kind::Isolinux, dir.filePath("src"), iso,
                                            { "-J", "-R" }, &error),
             qPrintable(error));
    c = ReadCatalog(iso);
    QCOMPARE(c.entries.size(), 1);
    QVERIFY(c.entries.first().hasBootInfoTable);
    QCOMPARE(BootKinds(c), QString("BIOS"));
    const ExtentMap map = ReadExtents(iso);
    QCOMPARE(map.fileAt(c.entries.first().loadRba), QString("isolinux/isolinux.bin"));
    QCOMPARE(map.fileAt(c.sector), QString("isolinux/boot.cat"));
}

void TestElTorito::extents_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("primary") << QStringList();
    QTest::newRow("joliet") << QStringList { "-J" };
    QTest::newRow("rock ridge") << QStringList { "-R" };
    QTest::newRow("joliet + rock ridge") << QStringList { "-J", "-R" };
    QTest::newRow("udf + rock ridge") << QStringList { "-udf", "-R" };
    QTest::newRow("udf + joliet") << QStringList { "-udf", "-J" };
    QTest::newRow("udf + joliet + rock ridge") << QStringList { "-udf", "-J", "-R" };
}

// Every file of 7-Zip's listing is in the map under its listed path, and the map's sector
// holds that file's bytes.
void TestElTorito::extents()
{
    QFETCH(QStringList, args);
    if (!BootHelpers::haveTool("genisoimage") || !BootHelpers::haveTool("7z"))
        QSKIP("genisoimage or 7z missing");
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    const QStringList names { "a.txt",
                              "noext",
                              "multi.dot.name.tar.gz",
                              "Dir.One/big.bin",
                              "Dir.One/sub/deeper/a name with blanks and 40 chars.data",
                              QString::fromUtf8("Ünïcödé dir/fïlé.txt"),
                              "lower_case.TXT",
                              "boot/marker.img" };
    for (int i = 0; i < names.size(); ++i)
        QVERIFY(writeFile(src + '/' + names.at(i), QByteArray(100 + i * 3000, char('a' + i))));
    QDir(src).mkpath("empty/folder");
    writeFile(src + "/zero", QByteArray());
    const QString iso = dir.filePath("t.iso");
    QVERIFY(runCommand("genisoimage",
                       QStringList { "-quiet", "-o", iso } + args
                           + QStringList { "-c", "boot/boot.cat", "-b", "boot/marker.img",
                                           "-no-emul-boot", src })
                .ok());
    const ExtentMap map = ReadExtents(iso);
    QVERIFY(map.valid);
    // (In the UDF tree the boot catalog lists with size 0.)
    const QMap<QString, qint64> listed = imageListing(iso);
    QStringList nonEmpty, all;
    for (auto it = listed.cbegin(); it != listed.cend(); ++it) {
        if (!IsVirtualBootEntry(it.key()))
            (it.value() > 0 ? nonEmpty : all) << it.key();
    }
    all += nonEmpty;
    QStringList mapped = map.files.values();
    for (const QString &path : nonEmpty)
        QVERIFY2(mapped.contains(path), qPrintable(path));
    for (const QString &path : mapped)
        QVERIFY2(all.contains(path), qPrintable(path));
    QFile img(iso);
    QVERIFY(img.open(QIODevice::ReadOnly));
    for (auto it = map.files.cbegin(); it != map.files.cend(); ++it) {
        const QString onDisk = src + '/' + it.value();
        if (!QFileInfo::exists(onDisk))
            continue; // the boot catalog
        const QByteArray want = readFile(onDisk);
        img.seek(qint64(it.key()) * kSectorSize);
        QCOMPARE(img.read(want.size()), want);
    }
    const Catalog c = ReadCatalog(iso);
    const QString catalogName = map.fileAt(c.sector);
    QVERIFY(catalogName.compare("boot/boot.cat", Qt::CaseInsensitive) == 0);
    QVERIFY(listed.contains(catalogName));
}

QByteArray dirRecord(const QByteArray &name, quint32 extent, quint32 size, bool dir, int len = 0)
{
    QByteArray r(len ? len : 33 + name.size() + (name.size() % 2 ? 0 : 1), '\0');
    r[0] = char(r.size());
    for (int i = 0; i < 4; ++i) {
        r[2 + i] = char((extent >> (8 * i)) & 0xFF);
        r[10 + i] = char((size >> (8 * i)) & 0xFF);
    }
    r[25] = dir ? 2 : 0;
    r[32] = char(name.size());
    r.replace(33, name.size(), name);
    return r.left(qMax(r.size(), 33 + name.size()));
}

// Trees that loop (a folder holding itself or its parent) or whose records run past their
// sector end the walk with what was found; random bytes never crash the readers.
void TestElTorito::hostileTrees()
{
    QTemporaryDir dir;
    QByteArray img(24 * kSectorSize, '\0');
    QByteArray pvd(kSectorSize, '\0');
    pvd[0] = 1;
    pvd.replace(1, 5, "CD001");
    pvd.replace(156, 34, dirRecord(QByteArray(1, '\0'), 20, 2 * kSectorSize, true));
    img.replace(16 * kSectorSize, kSectorSize, pvd);
    img.replace(17 * kSectorSize, 6,
                QByteArray("\xff"
                           "CD001",
                           6));
    const QByteArray root = dirRecord(QByteArray(1, '\0'), 20, 2 * kSectorSize, true)
        + dirRecord(QByteArray(1, '\1'), 20, 2 * kSectorSize, true)
        + dirRecord("SELF", 20, 2 * kSectorSize, true) + dirRecord("DEEP", 22, 0xFFFFFFFF, true)
        + dirRecord("A.TXT;1", 23, 5, false) + dirRecord("EMPTY.TXT;1", 23, 0, false);
    // Empty files up to the sector's end, then a record that runs past it.
    QByteArray records = root;
    for (int i = 10; records.size() + 42 < kSectorSize - 40; ++i)
        records += dirRecord("F" + QByteArray::number(i) + ".TXT;1", 23, 0, false);
    records += dirRecord("LATE.TXT;1", 23, 5, false, 80).left(kSectorSize - records.size());
    img.replace(20 * kSectorSize, records.size(), records);
    const QByteArray deep = dirRecord("UP", 20, 2048, true) + dirRecord("B.TXT;1", 21, 9, false)
        + dirRecord("ME", 22, 2048, true);
    img.replace(22 * kSectorSize, deep.size(), deep);
    img.replace(23 * kSectorSize, 5, "hello");
    const QString iso = dir.filePath("loop.iso");
    QVERIFY(writeFile(iso, img));
    const ExtentMap map = ReadExtents(iso);
    QVERIFY(map.valid);
    QCOMPARE(map.files, (QMap<quint32, QString> { { 21, "DEEP/B.TXT" }, { 23, "A.TXT" } }));

    quint32 x = 12345;
    for (int round = 0; round < 20; ++round) {
        QByteArray noise(40 * kSectorSize, '\0');
        for (char &c : noise)
            c = char((x = x * 1664525u + 1013904223u) >> 24);
        // Keep the signatures, so that the readers get past their first checks.
        noise.replace(16 * kSectorSize, kSectorSize, pvd);
        noise.replace(16 * kSectorSize + 156, 34,
                      dirRecord(QByteArray(1, '\0'), 18 + round, 0xFFFFFFFF, true));
        noise.replace(17 * kSectorSize + 1, 29, QByteArray("CD001\x01EL TORITO SPECIFICATION", 29));
        noise[17 * kSectorSize] = 0;
        noise.replace(20 * kSectorSize, 32, validation(round));
        const QString path = dir.filePath(QString("noise%1.iso").arg(round));
        QVERIFY(writeFile(path, noise));
        ReadExtents(path);
        const Catalog c = ReadCatalog(path);
        for (const BootEntry &e : c.entries)
            ReadBootImage(path, e);
    }
}

void TestElTorito::options_data()
{
    QTest::addColumn<int>("validationPlatform");
    QTest::addColumn<QVector<BootEntry>>("entries");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("written");

    auto e = [](int platform, int media, int count, quint32 rba, bool table = false, int seg = 0,
                bool bootable = true) {
        BootEntry b;
        b.platform = quint8(platform);
        b.media = quint8(media);
        b.sectorCount = quint16(count);
        b.loadRba = rba;
        b.hasBootInfoTable = table;
        b.loadSegment = quint16(seg);
        b.bootable = bootable;
        return b;
    };
    const QString hideCat = "-c boot.catalog -hide W/boot.catalog -hide-joliet W/boot.catalog ";
    const QString hideOld = "-hide W/isolinux/boot.cat -hide-joliet W/isolinux/boot.cat ";
    const QString hideBin = "-hide W/boot.bin -hide-joliet W/boot.bin ";
    QTest::newRow("no emulation, no table: boot.bin")
        << 0 << QVector<BootEntry> { e(0, 0, 4, 30) } << "W/"
        << hideCat + hideBin + hideOld + "-b boot.bin -no-emul-boot -boot-load-size 4"
        << QStringList { "boot.bin" };
    QTest::newRow("isolinux: the whole file, with its table")
        << 0 << QVector<BootEntry> { e(0, 0, 4, 31, true) } << "W"
        << hideCat + hideOld
            + "-b isolinux/isolinux.bin -no-emul-boot -boot-load-size 4 -boot-info-table"
        << QStringList();
    QTest::newRow("table but no file there: boot.bin")
        << 0 << QVector<BootEntry> { e(0, 0, 4, 99, true) } << "W"
        << hideCat + hideBin + hideOld
            + "-b boot.bin -no-emul-boot -boot-load-size 4 -boot-info-table"
        << QStringList { "boot.bin" };
    QTest::newRow("1.44 MB diskette, count 1")
        << 0 << QVector<BootEntry> { e(0, 2, 1, 32) } << "W"
        << hideCat + hideBin + hideOld + "-b boot.bin" << QStringList { "boot.bin" };
    QTest::newRow("hard disk image file at segment 0x1000")
        << 0 << QVector<BootEntry> { e(0, 4, 1, 33, false, 0x1000) } << "W"
        << hideCat + hideOld + "-b disk/hd.img -hard-disk-boot -boot-load-seg 4096"
        << QStringList();
    QTest::newRow("segment 0x7C0 is the default, count 0 left out")
        << 0 << QVector<BootEntry> { e(0, 0, 0, 31, true, 0x7C0) } << "W"
        << hideCat + hideOld + "-b isolinux/isolinux.bin -no-emul-boot -boot-info-table"
        << QStringList();
    QTest::newRow("BIOS and UEFI")
        << 0 << QVector<BootEntry> { e(0, 0, 4, 31, true), e(0xEF, 0, 8, 34) } << "W"
        << hideCat + hideOld
            + "-b isolinux/isolinux.bin -no-emul-boot -boot-load-size 4 -boot-info-table "
              "-eltorito-alt-boot -e boot/efi.img -no-emul-boot"
        << QStringList();
    QTest::newRow("UEFI only stays UEFI only")
        << 0xEF << QVector<BootEntry> { e(0xEF, 0, 8, 34) } << "W"
        << hideCat + hideOld + "-e boot/efi.img -no-emul-boot" << QStringList();
    QTest::newRow("UEFI image inside no file: extracted, not bootable ones dropped")
        << 0
        << QVector<BootEntry> { e(0, 0, 4, 30, false, 0, false), e(0xEF, 0, 8, 77), e(2, 0, 4, 30),
                                e(0xEF, 0, 0, 78) }
        << "/tmp/a[1]*?"
        << "-c boot.catalog -hide /tmp/a\\[1\\]\\*\\?/boot.catalog -hide-joliet "
           "/tmp/a\\[1\\]\\*\\?/boot.catalog "
           "-hide /tmp/a\\[1\\]\\*\\?/boot-1.img -hide-joliet /tmp/a\\[1\\]\\*\\?/boot-1.img "
           "-hide /tmp/a\\[1\\]\\*\\?/isolinux/boot.cat -hide-joliet "
           "/tmp/a\\[1\\]\\*\\?/isolinux/boot.cat "
           "-e boot-1.img -no-emul-boot"
        << QStringList { "boot-1.img" };
    QTest::newRow("nothing bootable") << 0 << QVector<BootEntry> { e(0, 0, 4, 30, false, 0, false) }
                                      << "W" << QString() << QStringList();
}

void TestElTorito::options()
{
    QFETCH(int, validationPlatform);
    QFETCH(QVector<BootEntry>, entries);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    QFETCH(QStringList, written);
    Catalog c;
    c.valid = true;
    c.sector = 29;
    c.validationPlatform = quint8(validationPlatform);
    c.entries = entries;
    for (int i = 0; i < c.entries.size(); ++i)
        c.entries[i].section = i;
    ExtentMap map;
    map.valid = true;
    map.files = { { 29, "isolinux/boot.cat" },
                  { 30, "boot/marker.img" },
                  { 31, "isolinux/isolinux.bin" },
                  { 33, "disk/hd.img" },
                  { 34, "boot/efi.img" } };
    const BootOptions::Result r = BootOptions::Build(c, map, source);
    QCOMPARE(r.args.join(' '), expected);
    QStringList names;
    for (const BootOptions::BootFile &f : r.files)
        names << f.name;
    QCOMPARE(names, written);
    QCOMPARE(r.catalogPath, QString("isolinux/boot.cat"));
    QVERIFY(!r.sourceArg.endsWith('/'));
}

// The written boot image and the new catalog take names no file of the edited tree has, and a
// listed boot file that is gone falls back to a written copy.
void TestElTorito::optionsAvoidNames()
{
    Catalog c;
    c.valid = true;
    c.sector = 29;
    BootEntry e;
    e.bootable = true;
    e.sectorCount = 4;
    e.loadRba = 31;
    e.hasBootInfoTable = true;
    c.entries << e;
    ExtentMap map;
    map.files = { { 29, "isolinux/boot.cat" },
                  { 31, "isolinux/isolinux.bin" },
                  { 40, "Boot.bin" },
                  { 41, "boot.catalog" } };
    const QStringList present { "Boot.bin", "boot.catalog", "boot (2).catalog" };
    const BootOptions::Result r = BootOptions::Build(
        c, map, "W", [&](const QString &path) { return present.contains(path); });
    QCOMPARE(r.catalogName, QString("boot (3).catalog"));
    QCOMPARE(r.files.size(), 1);
    QCOMPARE(r.files.first().name, QString("boot (2).bin"));
    QCOMPARE(r.args.mid(r.args.indexOf("-b")).join(' '),
             QString("-b boot (2).bin -no-emul-boot -boot-load-size 4 -boot-info-table"));
    QCOMPARE(r.hidden, (QStringList { "boot (3).catalog", "boot (2).bin", "isolinux/boot.cat" }));
}

QTEST_GUILESS_MAIN(TestElTorito)
#include "tst_eltorito.moc"
