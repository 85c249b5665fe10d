// What a burned volume needs to start under UEFI firmware: the decision on an image's listing
// and catalog, the size of a FAT image by its boot sector, and the copy of the EFI folder out of
// a UEFI El Torito image into a folder standing for the mounted volume.

#include "boothelpers.h"
#include "services/uefiboot.h"
#include "testhelpers.h"

#include <QTest>

using namespace TestHelpers;
using namespace UefiBoot;
using ElTorito::BootEntry;
using ElTorito::Catalog;

Q_DECLARE_METATYPE(Catalog)

namespace {

BootEntry entry(quint8 platform, bool bootable, quint32 rba)
{
    BootEntry e;
    e.platform = platform;
    e.bootable = bootable;
    e.sectorCount = 4;
    e.loadRba = rba;
    return e;
}

Catalog catalog(const QVector<BootEntry> &entries, bool valid = true)
{
    Catalog c;
    c.valid = valid;
    c.entries = entries;
    return c;
}

QByteArray bootSector(int bytesPerSector, int small, quint32 large, bool signature = true)
{
    QByteArray s(512, '\0');
    s[11] = char(bytesPerSector & 0xFF);
    s[12] = char(bytesPerSector >> 8);
    s[19] = char(small & 0xFF);
    s[20] = char(small >> 8);
    for (int i = 0; i < 4; ++i)
        s[32 + i] = char((large >> (8 * i)) & 0xFF);
    if (signature)
        s.replace(510, 2, "\x55\xAA");
    return s;
}

} // namespace

class TestUefiBoot : public QObject
{
    Q_OBJECT

private slots:
    void decide_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<Catalog>("cat");
        QTest::addColumn<int>("need");
        QTest::addColumn<QList<quint32>>("sources");
        const BootEntry bios = entry(ElTorito::PlatformBios, true, 30);
        const BootEntry efi = entry(ElTorito::PlatformEfi, true, 40);
        const BootEntry efi2 = entry(ElTorito::PlatformEfi, true, 50);
        const BootEntry dead = entry(ElTorito::PlatformEfi, false, 60);
        const QStringList files { "boot/efi.img", "readme.txt" };
        QTest::newRow("loader in the files, any case")
            << QStringList { "efi/Boot/bootx64.EFI" } << catalog({ bios, efi })
            << int(Need::Nothing) << QList<quint32>();
        QTest::newRow("loader only in the boot image")
            << files << catalog({ bios, efi, dead, efi2 }) << int(Need::CopyFromBootImage)
            << QList<quint32> { 40, 50 };
        QTest::newRow("a loader below the root does not count")
            << QStringList { "x/EFI/BOOT/BOOTX64.EFI", "EFI/BOOT/BOOTIA32.EFI" } << catalog({ efi })
            << int(Need::CopyFromBootImage) << QList<quint32> { 40 };
        QTest::newRow("BIOS only")
            << files << catalog({ bios }) << int(Need::NoUefi) << QList<quint32>();
        QTest::newRow("UEFI entry not bootable")
            << files << catalog({ bios, dead }) << int(Need::NoUefi) << QList<quint32>();
        QTest::newRow("no catalog")
            << files << catalog({ efi }, false) << int(Need::NoUefi) << QList<quint32>();
    }

    void decide()
    {
        QFETCH(QStringList, listed);
        QFETCH(Catalog, cat);
        QFETCH(int, need);
        QFETCH(QList<quint32>, sources);
        const Plan plan = Decide(listed, cat);
        QCOMPARE(int(plan.need), need);
        QList<quint32> rbas;
        for (const BootEntry &e : plan.sources)
            rbas << e.loadRba;
        QCOMPARE(rbas, sources);
    }

    void fatImageSize_data()
    {
        QTest::addColumn<QByteArray>("sector");
        QTest::addColumn<qint64>("size");
        QTest::newRow("16-bit count") << bootSector(512, 2880, 0) << qint64(1474560);
        QTest::newRow("32-bit count") << bootSector(512, 0, 204800) << qint64(104857600);
        QTest::newRow("no signature") << bootSector(512, 2880, 0, false) << qint64(0);
        QTest::newRow("sector size 0") << bootSector(0, 2880, 0) << qint64(0);
        QTest::newRow("too short") << bootSector(512, 2880, 0).left(300) << qint64(0);
    }

    void fatImageSize()
    {
        QFETCH(QByteArray, sector);
        QFETCH(qint64, size);
        QCOMPARE(FatImageSize(sector), size);
    }

    // A UEFI-only image built with genisoimage, made UEFI-bootable into a plain folder.
    void copyIntoVolume()
    {
        const QString efi = BootHelpers::uefiFatImage();
        if (efi.isEmpty())
            QSKIP("grub-mkstandalone, mkfs.fat or mtools missing");
        QTemporaryDir dir;
        const QByteArray loader = readFile(BootHelpers::uefiMarkerProgram());

        // The loader only inside the El Torito image; its entry announces one sector, fewer than
        // the FAT image has.
        const QString uefiOnly = dir.filePath("uefi only.iso");
        QString error;
        QVERIFY2(BootHelpers::makeBootableImage(BootHelpers::Kind::UefiOnly, dir.filePath("src1"),
                                                uefiOnly, { "-J", "-R" }, &error),
                 qPrintable(error));
        const Catalog cat = ElTorito::ReadCatalog(uefiOnly);
        QFile patch(uefiOnly);
        QVERIFY(patch.open(QIODevice::ReadWrite));
        QVERIFY(patch.seek(qint64(cat.sector) * ElTorito::kSectorSize + 32 + 6));
        patch.write("\x01\x00", 2);
        patch.close();
        QCOMPARE(ElTorito::ReadCatalog(uefiOnly).entries.first().sectorCount, quint16(1));

        const QString volume = dir.filePath("volume");
        QVERIFY(writeFile(volume + "/readme.txt", "image file\n"));
        Result r = MakeVolumeUefiBootable(uefiOnly, volume);
        QCOMPARE(int(r.outcome), int(Outcome::Copied));
        QCOMPARE(r.copied, QStringList { "EFI/BOOT/BOOTX64.EFI" });
        QCOMPARE(readFile(volume + "/EFI/BOOT/BOOTX64.EFI"), loader);

        // Files the image provides stay as they are, found without regard to case.
        const QString second = dir.filePath("second");
        QVERIFY(writeFile(second + "/efi/Boot/bootx64.efi", "the image's own\n"));
        r = MakeVolumeUefiBootable(uefiOnly, second, { "boot/efi.img" });
        QCOMPARE(int(r.outcome), int(Outcome::Copied));
        QVERIFY(r.copied.isEmpty());
        QCOMPARE(readFile(second + "/efi/Boot/bootx64.efi"), QByteArray("the image's own\n"));
        QVERIFY(!QFileInfo::exists(second + "/EFI"));

        QCOMPARE(int(MakeVolumeUefiBootable(dir.filePath("missing.iso"), second).outcome),
                 int(Outcome::Failed));
    }
};

QTEST_GUILESS_MAIN(TestUefiBoot)
#include "tst_uefiboot.moc"
