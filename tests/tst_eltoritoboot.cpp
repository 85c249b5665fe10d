// The boot fixtures start in qemu (TCG) to their markers, and saves carry every boot entry over:
// 7-Zip extracts the image, the catalog and extents are read, mkisofs builds with the switches,
// and the result boots. No mount: images are read as files and booted as qemu drives.

#include "boothelpers.h"
#include "model/eltorito.h"
#include "services/bootoptions.h"
#include "testhelpers.h"

#include <QRegularExpression>
#include <QTest>

using namespace ElTorito;
using namespace TestHelpers;
using BootHelpers::catalogSummary;
using BootHelpers::imageListing;

class TestElToritoBoot : public QObject
{
    Q_OBJECT

private slots:
    void fixturesBoot_data();
    void fixturesBoot();
    void bootmgrThroughChain();
    void saveKeepsBoot_data();
    void saveKeepsBoot();
};

void TestElToritoBoot::fixturesBoot_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("uefi");
    QTest::addColumn<QString>("marker");
    QTest::newRow("no emulation") << int(BootHelpers::Kind::NoEmulation) << false
                                  << BootHelpers::kBiosMarker;
    QTest::newRow("diskette") << int(BootHelpers::Kind::Diskette) << false
                              << BootHelpers::kBiosMarker;
    QTest::newRow("isolinux") << int(BootHelpers::Kind::Isolinux) << false
                              << BootHelpers::kBiosMarker;
    QTest::newRow("hard disk") << int(BootHelpers::Kind::HardDisk) << false
                               << BootHelpers::kBiosMarker;
    QTest::newRow("BIOS and UEFI, under OVMF")
        << int(BootHelpers::Kind::BiosAndUefi) << true << BootHelpers::kUefiMarker;
}

// Each fixture kind boots in qemu to its marker.
void TestElToritoBoot::fixturesBoot()
{
    QFETCH(int, kind);
    QFETCH(bool, uefi);
    QFETCH(QString, marker);
    if (!BootHelpers::haveTool("qemu-system-x86_64") || !BootHelpers::haveTool("nasm"))
        QSKIP("qemu or nasm missing");
    if (uefi
        && (BootHelpers::uefiFatImage().isEmpty() || !QFileInfo::exists(BootHelpers::kOvmfCode)))
        QSKIP("no UEFI marker program or no OVMF");
    QTemporaryDir dir;
    const QString iso = dir.filePath("boot.iso");
    QString error;
    QVERIFY2(BootHelpers::makeBootableImage(BootHelpers::Kind(kind), dir.filePath("src"), iso, {},
                                            &error),
             qPrintable(error));
    const BootHelpers::BootResult r = BootHelpers::boot(iso, BootHelpers::Medium::Cdrom, uefi);
    QVERIFY2(r.has(marker.toLatin1()), r.serial.right(300).constData());
    QCOMPARE(r.exitCode, uefi ? 0 : 33);
}

// The bootmgr stand-in, started from a stick through the syslinux MBR, ldlinux and chain.c32.
void TestElToritoBoot::bootmgrThroughChain()
{
    if (!BootHelpers::haveTool("qemu-system-x86_64") || BootHelpers::bootmgrProgram().isEmpty())
        QSKIP("qemu or nasm missing");
    QTemporaryDir dir;
    const QString stick = dir.filePath("stick, 1.img");
    QString error;
    QVERIFY2(BootHelpers::makeChainStick(stick, { { "bootmgr", BootHelpers::bootmgrProgram() } },
                                         &error),
             qPrintable(error));
    const auto r = BootHelpers::boot(stick, BootHelpers::Medium::UsbDisk, false);
    QVERIFY2(r.has(BootHelpers::kBootmgrMarker), r.serial.right(300).constData());
    QCOMPARE(r.exitCode, 33);
}

void TestElToritoBoot::saveKeepsBoot_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("no emulation") << int(BootHelpers::Kind::NoEmulation);
    QTest::newRow("diskette") << int(BootHelpers::Kind::Diskette);
    QTest::newRow("isolinux") << int(BootHelpers::Kind::Isolinux);
    QTest::newRow("hard disk") << int(BootHelpers::Kind::HardDisk);
    QTest::newRow("BIOS and UEFI") << int(BootHelpers::Kind::BiosAndUefi);
    QTest::newRow("UEFI only") << int(BootHelpers::Kind::UefiOnly);
}

// Load (7-Zip extracts the image into a working folder, the catalog and extents are read),
// save with the built switches as the Edit page does ("-udf -R"), list and boot the result.
void TestElToritoBoot::saveKeepsBoot()
{
    QFETCH(int, kind);
    const auto k = BootHelpers::Kind(kind);
    if (!BootHelpers::haveTool("qemu-system-x86_64") || !BootHelpers::haveTool("nasm")
        || !BootHelpers::haveTool("7z"))
        QSKIP("qemu, nasm or 7z missing");
    if (BootHelpers::needsUefi(k)
        && (BootHelpers::uefiFatImage().isEmpty() || !QFileInfo::exists(BootHelpers::kOvmfCode)))
        QSKIP("no UEFI marker program or no OVMF");
    QTemporaryDir dir;
    const QString src = dir.filePath("src");
    QVERIFY(writeFile(src + "/docs/readme.txt", "hello\n"));
    QVERIFY(writeFile(src + "/sub/boot.bin", "a file of the user's named boot.bin\n"));
    const QString iso = dir.filePath("in.iso");
    QString error;
    QVERIFY2(BootHelpers::makeBootableImage(k, src, iso, { "-J", "-R" }, &error),
             qPrintable(error));

    // One save: 7-Zip extracts the image into a working folder, whose virtual entries and
    // catalog the Edit page leaves out; the boot files are written; mkisofs builds the image.
    auto save = [&](const QString &from, const QString &work, const QString &to) {
        BootOptions::Result r;
        if (!runCommand("7z", { "x", "-y", "-o" + work, from }).ok())
            return r;
        r = BootOptions::Build(ReadCatalog(from), ReadExtents(from), work);
        QDir(work + "/[BOOT]").removeRecursively();
        if (!r.catalogPath.isEmpty())
            QFile::remove(work + '/' + r.catalogPath);
        if (!BootOptions::WriteBootFiles(r, from, work)
            || !runCommand("genisoimage",
                           QStringList { "-quiet", "-udf", "-R", "-o", to } + r.args
                               + QStringList { r.sourceArg })
                    .ok())
            r.args.clear();
        return r;
    };
    const Catalog catalog = ReadCatalog(iso);
    const QString out = dir.filePath("out.iso");
    // (A working folder whose path holds pattern characters and blanks.)
    const BootOptions::Result r = save(iso, dir.filePath("work [1] ?"), out);
    QVERIFY(!r.args.isEmpty());
    // The saved image lists exactly the tree: the catalog and the boot images are hidden.
    QMap<QString, qint64> before = imageListing(iso), after = imageListing(out);
    before.remove(r.catalogPath);
    for (const QString &key : before.keys()) {
        if (IsVirtualBootEntry(key))
            before.remove(key);
    }
    QCOMPARE(after.keys(), before.keys());

    const Catalog saved = ReadCatalog(out);
    QCOMPARE(saved.hasBios(), catalog.hasBios());
    QCOMPARE(saved.hasEfi(), catalog.hasEfi());
    QCOMPARE(saved.entries.size(), catalog.entries.size());
    // A second save of the saved image changes nothing more.
    const QString again = dir.filePath("again.iso");
    QVERIFY(!save(out, dir.filePath("work2"), again).args.isEmpty());
    QCOMPARE(imageListing(again), imageListing(out));
    QCOMPARE(catalogSummary(ReadCatalog(again)).remove(QRegularExpression(":\\d+(?= |$)")),
             catalogSummary(saved).remove(QRegularExpression(":\\d+(?= |$)")));
    if (catalog.hasBios()) {
        const auto b = BootHelpers::boot(out, BootHelpers::Medium::Cdrom, false);
        QVERIFY2(b.has(BootHelpers::kBiosMarker), b.serial.right(300).constData());
    }
    if (catalog.hasEfi()) {
        const auto u = BootHelpers::boot(out, BootHelpers::Medium::Cdrom, true);
        QVERIFY2(u.has(BootHelpers::kUefiMarker), u.serial.right(300).constData());
    }
}

QTEST_GUILESS_MAIN(TestElToritoBoot)
#include "tst_eltoritoboot.moc"
