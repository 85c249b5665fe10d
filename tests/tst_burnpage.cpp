// Drives the real Burn page against the shipped disk tools on loop devices that the test seam
// names as USB sticks, and on a pseudo-drive that writes a disc into a file: a stick that holds
// every file of the image and boots in qemu to the bootmgr marker (BIOS, MBR choice) and to the
// UEFI marker (OVMF, either choice) from an image whose UEFI loader lies only inside its
// El Torito image, and the refusals and failures that must leave the disk as it was: a stick
// swapped for another at the same node while the format warning is open, a stick whose writes
// fail (its file on a full tmpfs), a list refresh that loses the chosen stick. Needs root and
// free loop devices; skips without. Mount route: the FUSE fallback (fusefat), as this machine
// has no vfat.

#include "app/mainwindow.h"
#include "boothelpers.h"
#include "pages/cburndialog.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/gerneraldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

using namespace TestHelpers;

class TestBurnPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formRules();
    void usbStickBootsAndHoldsTheImage_data();
    void usbStickBootsAndHoldsTheImage();
    void fileTooLargeForFatIsRefusedFirst();
    void cancelOnTheFormatWarningChangesNothing();
    void stickRemovedAfterListingGetsNothing();
    void failingBootHelperStopsTheBurn();
    void swappedStickAfterTheWarningIsNotWritten();
    void failingWritesAreNoSuccess();
    void refreshKeepsTheChoiceOrNone();
    void hybridImageIsWrittenAsDiskImage_data();
    void hybridImageIsWrittenAsDiskImage();
    void rockRidgeImageReachesFat();
    void largeInstallImageIsSplit();
    void opticalBurnWritesTheImage();
    void homeWindowAnnouncesNewDisks();

private:
    CBurnDialog *openPage(bool usb);
    QStringList pressBurn(bool acceptFormat = true, const std::function<void()> &atWarning = {});
    void needLoop();

    QTemporaryDir m_Tmp;
    QString m_Source, m_SmallIso, m_Iso, m_BootIso;
    CBurnDialog *m_Page = nullptr;
    QScopedPointer<LoopDevice> m_Disk;
    QString m_DiskName; // the disk the last format warning named
};

void TestBurnPage::initTestCase()
{
    QVERIFY(m_Tmp.isValid());
    qputenv("VEXLOR_TEST_MEDIA_DIR", QFile::encodeName(m_Tmp.filePath("burnmedia")));
    m_Source = m_Tmp.filePath("src");
    const QString bootmgr = BootHelpers::bootmgrProgram();
    if (bootmgr.isEmpty())
        QSKIP("nasm is needed for the bootmgr marker");
    QVERIFY(QDir().mkpath(m_Source) && QFile::copy(bootmgr, m_Source + "/bootmgr"));
    QVERIFY(writeFile(m_Source + "/docs/read me.txt", "read me\n"));
    QByteArray data(300000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 ^ (i >> 8));
    QVERIFY(writeFile(m_Source + "/sources/data.bin", data));
    m_SmallIso = m_Tmp.filePath("small.iso");
    QVERIFY(runCommand("genisoimage", { "-quiet", "-J", "-R", "-o", m_SmallIso, m_Source }).ok());
    // The same files with a BIOS entry and a UEFI entry whose FAT image alone holds the loader.
    m_BootIso = m_Tmp.filePath("boot.iso");
    if (!BootHelpers::makeBootableImage(BootHelpers::Kind::BiosAndUefi, m_Source, m_BootIso,
                                        { "-J", "-R" }))
        m_BootIso.clear();
}

void TestBurnPage::init()
{
    m_Iso = m_SmallIso;
    qputenv("VEXLOR_TEST_USB_DISKS", "");
    qputenv("VEXLOR_TEST_OPTICAL_DRIVES", "");
}

void TestBurnPage::cleanup()
{
    delete m_Page;
    m_Page = nullptr;
    m_Disk.reset();
}

void TestBurnPage::needLoop()
{
    if (::geteuid() != 0)
        QSKIP("writing to loop devices needs root");
    m_Disk.reset(new LoopDevice(m_Tmp.filePath("stick.img"), 64 << 20));
    if (m_Disk->node.isEmpty())
        QSKIP("no free loop device");
    qputenv("VEXLOR_TEST_USB_DISKS", m_Disk->node.toLocal8Bit());
}

CBurnDialog *TestBurnPage::openPage(bool usb)
{
    m_Page = new CBurnDialog;
    m_Page->show();
    m_Page->findChild<QRadioButton *>(usb ? "rusb" : "rdvd")->setChecked(true);
    m_Page->findChild<QLineEdit *>("isofile")->setText(m_Iso);
    return m_Page;
}

// Presses Burn and answers every prompt until the burn has ended; returns what each prompt
// showed: its text, or its picture when it has no text.
QStringList TestBurnPage::pressBurn(bool acceptFormat, const std::function<void()> &atWarning)
{
    QStringList seen;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *d = qobject_cast<ImageDialog *>(w);
            const QMetaObject *kind = w->metaObject();
            if (!d || !d->isVisible()
                || (kind != &CommDialog::staticMetaObject
                    && kind != &GerneralDialog::staticMetaObject))
                continue;
            QLabel *label = d->findChild<QLabel *>("label");
            const QString text
                = label && !label->text().isEmpty() ? label->text() : d->BackGround();
            seen << text;
            if (QLabel *disk = d->findChild<QLabel *>("diskname"))
                m_DiskName = disk->text();
            if (text.endsWith("format_usb") && atWarning)
                atWarning();
            d->done(text.endsWith("format_usb") && !acceptFormat ? 0 : 1);
        }
    });
    answer.start(20);
    clickButton(m_Page->findChild<CImageButton *>("burn"));
    waitUntil([&] { return !m_Page->IsBurning(); }, 120000);
    return seen;
}

void TestBurnPage::formRules()
{
    openPage(true);
    auto *starts = m_Page->findChild<QLabel *>("bootkinds");
    QCOMPARE(starts->text(), QString("Boot: not bootable; the USB disk will start on BIOS"));
    auto *label = m_Page->findChild<QLineEdit *>("volumelab");
    QTest::keyClicks(label, "my.stick:a*bcdefgh");
    QCOMPARE(label->text(), QString("MYSTICKABCD"));
    auto *pt = m_Page->findChild<QComboBox *>("ptlist");
    auto *fs = m_Page->findChild<QComboBox *>("sysfilelist");
    fs->setCurrentIndex(1);
    pt->setCurrentIndex(1);
    QVERIFY(!fs->isEnabled() && fs->currentIndex() == 0);
    QVERIFY(m_Page->findChild<QLabel *>("gptnote")->isVisible());
    QCOMPARE(starts->text(), QString("Boot: not bootable; the USB disk will start on nothing"));
    // The note is about USB disks: the optical target hides it, the USB target shows it again.
    m_Page->findChild<QRadioButton *>("rdvd")->setChecked(true);
    QVERIFY(!m_Page->findChild<QLabel *>("gptnote")->isVisible());
    m_Page->findChild<QRadioButton *>("rusb")->setChecked(true);
    QVERIFY(m_Page->findChild<QLabel *>("gptnote")->isVisible());
    pt->setCurrentIndex(0);
    QVERIFY(fs->isEnabled());
    // Not an image: the picture message, before any target is looked at.
    m_Page->findChild<QLineEdit *>("isofile")->setText(m_Tmp.filePath("none.img"));
    QCOMPARE(pressBurn(), QStringList { ":/nwu/burn-fails" });
}

void TestBurnPage::usbStickBootsAndHoldsTheImage_data()
{
    QTest::addColumn<int>("scheme");
    QTest::newRow("MBR") << 0;
    QTest::newRow("GPT") << 1;
}

void TestBurnPage::usbStickBootsAndHoldsTheImage()
{
    QFETCH(int, scheme);
    if (m_BootIso.isEmpty())
        QSKIP("grub-mkstandalone, mkfs.fat or mtools missing");
    needLoop();
    m_Iso = m_BootIso;
    openPage(true);
    QCOMPARE(m_Page->findChild<QLabel *>("bootkinds")->text(),
             QString("Boot: BIOS and UEFI; the USB disk will start on BIOS and UEFI"));
    QCOMPARE(m_Page->findChild<QComboBox *>("usblist")->currentText(), m_Disk->node);
    m_Page->findChild<QComboBox *>("ptlist")->setCurrentIndex(scheme);
    m_Page->findChild<QLineEdit *>("volumelab")->setText("vexlor");
    QCOMPARE(pressBurn(), (QStringList { ":/nwu/format_usb", "Burning Successfully..." }));
    QVERIFY2(m_DiskName.endsWith(", " + m_Disk->node), qPrintable(m_DiskName));
    const CommandRun table = runCommand("sfdisk", { "--dump", m_Disk->node });
    QVERIFY2(table.output.contains(scheme ? "type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B" : "type=c"),
             table.output.constData());

    // Read back unmounted, with mtools: every file of the image, byte for byte, and the UEFI
    // loader taken from the image's UEFI boot image.
    const QString volume = m_Tmp.filePath("burnmedia/VEXLOR");
    QVERIFY(runCommand("umount", { volume }).ok());
    const QString copy = m_Tmp.filePath("copy%1").arg(scheme);
    const auto onStick = fatFiles(m_Disk->node + "p1", copy);
    QVERIFY(!onStick.isEmpty());
    const QString differs = firstMissingOrChanged(fileTree(m_Source), onStick);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
    QCOMPARE(onStick.value("efi/boot/bootx64.efi"), readFile(BootHelpers::uefiMarkerProgram()));
    QCOMPARE(onStick.contains("syslinux/chain.c32"), scheme == 0);

    if (!BootHelpers::haveTool("qemu-system-x86_64") || !QFileInfo::exists(BootHelpers::kOvmfCode))
        QSKIP("qemu and OVMF are needed for the boot");
    // The MBR stick: syslinux MBR, ldlinux, /syslinux.cfg and chain.c32 start the image's bootmgr.
    if (scheme == 0) {
        const BootHelpers::BootResult boot
            = BootHelpers::boot(m_Disk->file, BootHelpers::Medium::IdeDisk, false, 60);
        QVERIFY2(boot.has(BootHelpers::kBootmgrMarker), boot.serial.right(500).constData());
        QCOMPARE(boot.exitCode, 33);
    }
    const BootHelpers::BootResult uefi
        = BootHelpers::boot(m_Disk->file, BootHelpers::Medium::UsbDisk, true);
    QVERIFY2(uefi.has(BootHelpers::kUefiMarker), uefi.serial.right(500).constData());
}

void TestBurnPage::fileTooLargeForFatIsRefusedFirst()
{
    needLoop();
    // 4 GiB of nothing in a UDF image, kept sparse and built once per build folder.
    m_Iso = BootHelpers::cached("burn-4gib-udf.iso", [this](const QString &out) {
        const QString src = m_Tmp.filePath("big");
        QDir().mkpath(src);
        QFile big(src + "/install.wim");
        if (!big.open(QIODevice::WriteOnly) || !big.resize(Q_INT64_C(4294967296)))
            return false;
        big.close();
        QProcess make, keep;
        make.setStandardOutputProcess(&keep);
        make.start("genisoimage",
                   { "-quiet", "-udf", "-allow-limited-size", "-o", "/dev/stdout", src });
        keep.start("cp", { "--sparse=always", "/dev/stdin", out });
        return make.waitForFinished(600000) && keep.waitForFinished(600000) && make.exitCode() == 0
            && keep.exitCode() == 0;
    });
    QVERIFY(!m_Iso.isEmpty());
    const QByteArray before = digest(m_Disk->file);
    openPage(true);
    const QStringList seen = pressBurn();
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().contains("\"install.wim\""), qPrintable(seen.first()));
    QCOMPARE(digest(m_Disk->file), before);
}

void TestBurnPage::cancelOnTheFormatWarningChangesNothing()
{
    needLoop();
    const QByteArray before = digest(m_Disk->file);
    openPage(true);
    // GPT for an image without a UEFI loader: a stick that starts nowhere, refused first.
    m_Page->findChild<QComboBox *>("ptlist")->setCurrentIndex(1);
    const QStringList refused = pressBurn(false);
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused.first().contains("GPT"), qPrintable(refused.first()));
    m_Page->findChild<QComboBox *>("ptlist")->setCurrentIndex(0);
    QCOMPARE(pressBurn(false), QStringList { ":/nwu/format_usb" });
    QCOMPARE(digest(m_Disk->file), before);
}

void TestBurnPage::stickRemovedAfterListingGetsNothing()
{
    needLoop();
    const QByteArray before = digest(m_Disk->file);
    openPage(true);
    QCOMPARE(m_Page->findChild<QComboBox *>("usblist")->currentText(), m_Disk->node);
    qputenv("VEXLOR_TEST_USB_DISKS", "");
    const QStringList seen = pressBurn();
    QCOMPARE(seen.size(), 2);
    QVERIFY2(seen.last().contains("no longer"), qPrintable(seen.last()));
    QCOMPARE(digest(m_Disk->file), before);
}

void TestBurnPage::failingBootHelperStopsTheBurn()
{
    needLoop();
    // A syslinux that fails, found first on the way.
    const QString bin = m_Tmp.filePath("failbin");
    QVERIFY(writeFile(bin + "/syslinux",
                      "#!/bin/sh\necho 'syslinux: simulated failure' >&2\nexit 1\n"));
    QFile::setPermissions(bin + "/syslinux", QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ":" + path);
    openPage(true);
    const QStringList seen = pressBurn();
    qputenv("PATH", path);
    QCOMPARE(seen.size(), 2);
    QVERIFY2(seen.last().contains("could not be made bootable")
                 && seen.last().contains("simulated failure"),
             qPrintable(seen.last()));
    QVERIFY(!seen.last().contains("Successfully"));
}

void TestBurnPage::swappedStickAfterTheWarningIsNotWritten()
{
    needLoop();
    const QString other = m_Tmp.filePath("other stick.img");
    QFile spare(other);
    QVERIFY(spare.open(QIODevice::WriteOnly) && spare.resize(64 << 20));
    spare.close();
    const QByteArray stickBefore = digest(m_Disk->file), otherBefore = digest(other);
    openPage(true);
    auto *list = m_Page->findChild<QComboBox *>("usblist");
    bool locked = false, swapped = false;
    // While the warning is open the stick is replaced by another one at the same node.
    const QStringList seen = pressBurn(true, [&] {
        locked = !list->isEnabled() && !m_Page->findChild<QComboBox *>("ptlist")->isEnabled();
        swapped = m_Disk->swapTo(other);
    });
    QVERIFY(locked && swapped);
    QCOMPARE(seen.size(), 2);
    QVERIFY2(seen.last().contains("no longer"), qPrintable(seen.last()));
    QCOMPARE(digest(other), otherBefore);
    QCOMPARE(digest(m_Disk->file), stickBefore);
    QVERIFY(list->isEnabled());
    // The chosen stick is gone from the list's point of view: nothing is chosen.
    QCOMPARE(list->currentIndex(), -1);
}

void TestBurnPage::failingWritesAreNoSuccess()
{
    if (::geteuid() != 0)
        QSKIP("writing to loop devices needs root");
    // A stick whose file lies on a full tmpfs: its writes fail part-way.
    const TmpfsMount full(m_Tmp.filePath("full"), "size=24m");
    QVERIFY(full.mounted);
    const QString src = m_Tmp.filePath("bigsrc");
    QVERIFY(writeFile(src + "/big.bin", noise(32 << 20)));
    m_Iso = m_Tmp.filePath("big.iso");
    QVERIFY(runCommand("genisoimage", { "-quiet", "-J", "-R", "-o", m_Iso, src }).ok());
    m_Disk.reset(new LoopDevice(full.dir + "/stick.img", 128 << 20));
    if (m_Disk->node.isEmpty())
        QSKIP("no free loop device");
    qputenv("VEXLOR_TEST_USB_DISKS", m_Disk->node.toLocal8Bit());
    openPage(true);
    const QStringList seen = pressBurn();
    QCOMPARE(seen.size(), 2);
    QVERIFY2(!seen.last().contains("Successfully") && seen.last().contains(m_Disk->node),
             qPrintable(seen.last()));
}

void TestBurnPage::refreshKeepsTheChoiceOrNone()
{
    needLoop();
    LoopDevice second(m_Tmp.filePath("second.img"), 64 << 20);
    if (second.node.isEmpty())
        QSKIP("no free loop device");
    qputenv("VEXLOR_TEST_USB_DISKS", (m_Disk->node + ":" + second.node).toLocal8Bit());
    openPage(true);
    auto *list = m_Page->findChild<QComboBox *>("usblist");
    QCOMPARE(list->count(), 2);
    list->setCurrentIndex(1);
    const QString chosen = list->currentText();
    m_Page->InitializeUSBAndDVDComboBox(2);
    QCOMPARE(list->currentText(), chosen);
    // The chosen stick leaves: nothing is chosen, not the other stick, and Burn asks for one.
    qputenv("VEXLOR_TEST_USB_DISKS",
            (chosen == second.node ? m_Disk->node : second.node).toLocal8Bit());
    m_Page->InitializeUSBAndDVDComboBox(2);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(pressBurn(), QStringList { ":/nwu/insert_usb" });
}

void TestBurnPage::hybridImageIsWrittenAsDiskImage_data()
{
    QTest::addColumn<bool>("uefi");
    QTest::addColumn<bool>("grub");
    QTest::newRow("isohybrid") << false << false;
    QTest::newRow("xorriso with an EFI system partition") << true << false;
    QTest::newRow("grub-mkrescue, BIOS only (type 0xcd)") << false << true;
    QTest::newRow("grub-mkrescue, BIOS and UEFI (GPT)") << true << true;
}

void TestBurnPage::hybridImageIsWrittenAsDiskImage()
{
    // Hybrid images: isolinux with an MBR of its own in sector 0, the same with a UEFI El Torito
    // entry that is also an EFI system partition, and grub-mkrescue's (GRUB's own MBR code and
    // a partition of type 0xcd from sector 1; with UEFI a GPT and an EFI system partition). No
    // mount involved: the image's bytes go to the whole stick.
    QFETCH(bool, uefi);
    QFETCH(bool, grub);
    if (grub) {
        m_Iso = BootHelpers::grubRescueImage(uefi);
        if (m_Iso.isEmpty())
            QSKIP("grub-mkrescue with GRUB's BIOS and UEFI modules, xorriso and mtools needed");
        const QByteArray mbr = readFile(m_Iso).left(512);
        QCOMPARE(quint8(mbr.at(450)), quint8(uefi ? 0xee : 0xcd));
        QCOMPARE(mbr.mid(454, 4), QByteArray("\x01\0\0\0", 4));
    } else {
        if (!BootHelpers::haveTool("xorriso")
            || !QFileInfo::exists("/usr/lib/ISOLINUX/isohdpfx.bin"))
            QSKIP("xorriso and isolinux are needed for a hybrid image");
        const QString src = m_Tmp.filePath(uefi ? "hybrid efi src" : "hybrid src");
        QVERIFY(QDir().mkpath(src));
        QVERIFY(BootHelpers::makeBootableImage(BootHelpers::Kind::Isolinux, src,
                                               m_Tmp.filePath("plain isolinux.iso")));
        QStringList args { "-as",
                           "mkisofs",
                           "-quiet",
                           "-o",
                           m_Tmp.filePath("hybrid.iso"),
                           "-isohybrid-mbr",
                           "/usr/lib/ISOLINUX/isohdpfx.bin",
                           "-c",
                           "isolinux/boot.cat",
                           "-b",
                           "isolinux/isolinux.bin",
                           "-no-emul-boot",
                           "-boot-load-size",
                           "4",
                           "-boot-info-table" };
        if (uefi) {
            const QString fat = BootHelpers::uefiFatImage();
            if (fat.isEmpty())
                QSKIP("grub-mkstandalone, mkfs.fat or mtools missing");
            QVERIFY(BootHelpers::copyFile(fat, src + "/boot/efi.img"));
            args << "-eltorito-alt-boot"
                 << "-e"
                 << "boot/efi.img"
                 << "-no-emul-boot"
                 << "-isohybrid-gpt-basdat";
        }
        m_Iso = m_Tmp.filePath("hybrid.iso");
        QVERIFY(runCommand("xorriso", args << src).ok());
    }
    needLoop();
    openPage(true);
    auto *route = m_Page->findChild<QCheckBox *>("diskimage");
    QVERIFY(route->isVisible() && route->isChecked());
    QVERIFY(!m_Page->findChild<QComboBox *>("ptlist")->isEnabled());
    QVERIFY(m_Page->findChild<QLabel *>("routenote")->isVisible());
    QVERIFY(m_Page->findChild<QLabel *>("bootkinds")
                ->text()
                .endsWith(uefi ? "start on BIOS and UEFI" : "start on BIOS"));
    QCOMPARE(pressBurn(), (QStringList { ":/nwu/format_usb", "Burning Successfully..." }));
    const QByteArray image = readFile(m_Iso);
    QCOMPARE(readFile(m_Disk->file).left(image.size()), image);
    // A plain image is not offered the route.
    m_Page->findChild<QLineEdit *>("isofile")->setText(m_SmallIso);
    QVERIFY(!route->isVisible());
    if (!BootHelpers::haveTool("qemu-system-x86_64"))
        QSKIP("qemu is needed for the boot");
    const BootHelpers::BootResult boot
        = BootHelpers::boot(m_Disk->file, BootHelpers::Medium::UsbDisk, false, 60);
    QVERIFY2(boot.has(BootHelpers::kBiosMarker), boot.serial.right(500).constData());
    if (uefi && QFileInfo::exists(BootHelpers::kOvmfCode)) {
        const BootHelpers::BootResult firmware
            = BootHelpers::boot(m_Disk->file, BootHelpers::Medium::UsbDisk, true);
        QVERIFY2(firmware.has(BootHelpers::kUefiMarker), firmware.serial.right(500).constData());
    }
}

void TestBurnPage::rockRidgeImageReachesFat()
{
    // Rock Ridge only (no Joliet, so 7-Zip reads the modes): read-only files and folders, a
    // private folder, a symbolic link and a time before 1980, onto the FUSE FAT volume.
    const QString src = m_Tmp.filePath("rock ridge");
    QVERIFY(runCommand("cp", { "-r", m_Source, src }).ok());
    QVERIFY(writeFile(src + "/ro.txt", "read only\n") && writeFile(src + "/old.txt", "old\n")
            && writeFile(src + "/private/x.txt", "x\n"));
    QVERIFY(runCommand("chmod", { "0444", src + "/ro.txt" }).ok()
            && runCommand("chmod", { "0555", src + "/docs" }).ok()
            && runCommand("chmod", { "0700", src + "/private" }).ok()
            && runCommand("ln", { "-s", "ro.txt", src + "/link" }).ok()
            && runCommand("touch", { "-d", "1975-01-01", src + "/old.txt" }).ok());
    m_Iso = m_Tmp.filePath("rockridge.iso");
    QVERIFY(runCommand("genisoimage", { "-quiet", "-R", "-o", m_Iso, src }).ok());
    needLoop();
    openPage(true);
    QCOMPARE(pressBurn(), (QStringList { ":/nwu/format_usb", "Burning Successfully..." }));
    const QString volume = m_Tmp.filePath("burnmedia/NONAME");
    QCOMPARE(readFile(volume + "/ro.txt"), QByteArray("read only\n"));
    QCOMPARE(readFile(volume + "/private/x.txt"), QByteArray("x\n"));
    QVERIFY(!QFileInfo::exists(volume + "/link"));
    QVERIFY(runCommand("umount", { volume }).ok());
    if (!BootHelpers::haveTool("qemu-system-x86_64"))
        QSKIP("qemu is needed for the boot");
    const BootHelpers::BootResult boot
        = BootHelpers::boot(m_Disk->file, BootHelpers::Medium::IdeDisk, false, 60);
    QVERIFY2(boot.has(BootHelpers::kBootmgrMarker), boot.serial.right(500).constData());
}

void TestBurnPage::largeInstallImageIsSplit()
{
    // A Windows-style image whose sources/install.wim passes the FAT file limit, lowered here to
    // 2 MiB; FUSE FAT route.
    if (!BootHelpers::haveTool("wimlib-imagex"))
        QSKIP("wimtools is needed for the installation image");
    const QString src = m_Tmp.filePath("windows");
    const QString content = m_Tmp.filePath("wim content");
    QVERIFY(runCommand("cp", { "-r", m_Source, src }).ok());
    QByteArray noise(5 << 20, Qt::Uninitialized);
    quint32 x = 7;
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((x = x * 1103515245u + 12345u) >> 24);
    QVERIFY(writeFile(content + "/a.bin", noise.left(3 << 20))
            && writeFile(content + "/b.bin", noise.mid(3 << 20)));
    QVERIFY(runCommand("wimlib-imagex",
                       { "capture", content, src + "/sources/install.wim", "--compress=none" })
                .ok());
    m_Iso = m_Tmp.filePath("windows.iso");
    QVERIFY(runCommand("genisoimage", { "-quiet", "-J", "-R", "-o", m_Iso, src }).ok());
    needLoop();
    qputenv("VEXLOR_TEST_FAT_FILE_LIMIT", "2097152");
    openPage(true);
    const QStringList seen = pressBurn();
    qunsetenv("VEXLOR_TEST_FAT_FILE_LIMIT");
    QCOMPARE(seen, (QStringList { ":/nwu/format_usb", "Burning Successfully..." }));
    const QString sources = m_Tmp.filePath("burnmedia/NONAME/sources");
    QVERIFY(!QFileInfo::exists(sources + "/install.wim"));
    QVERIFY(QFileInfo::exists(sources + "/install2.swm"));
    QVERIFY(runCommand("wimlib-imagex",
                       { "verify", sources + "/install.swm", "--ref=" + sources + "/install*.swm" })
                .ok());
    QVERIFY(runCommand("umount", { m_Tmp.filePath("burnmedia/NONAME") }).ok());
    if (!BootHelpers::haveTool("qemu-system-x86_64"))
        QSKIP("qemu is needed for the boot");
    const BootHelpers::BootResult boot
        = BootHelpers::boot(m_Disk->file, BootHelpers::Medium::IdeDisk, false, 60);
    QVERIFY2(boot.has(BootHelpers::kBootmgrMarker), boot.serial.right(500).constData());
}

void TestBurnPage::opticalBurnWritesTheImage()
{
    if (!BootHelpers::haveTool("xorriso"))
        QSKIP("xorriso is needed for the pseudo-drive");
    // Two burners; the chosen one stays chosen across a refresh and is the one written.
    const QString other = m_Tmp.filePath("other.img"), disc = m_Tmp.filePath("disc.img");
    QVERIFY(writeFile(other, "") && writeFile(disc, ""));
    qputenv("VEXLOR_TEST_OPTICAL_DRIVES", QFile::encodeName(other + ":" + disc));
    openPage(false);
    auto *drives = m_Page->findChild<QComboBox *>("dvdlist");
    QCOMPARE(drives->count(), 2);
    drives->setCurrentIndex(1);
    m_Page->InitializeUSBAndDVDComboBox(1);
    QCOMPARE(drives->currentData().toString(), disc);
    QCOMPARE(pressBurn(), QStringList { "Burning disc successfully." });
    const QByteArray iso = readFile(m_Iso);
    QCOMPARE(readFile(disc).left(iso.size()), iso);
    QCOMPARE(QFileInfo(other).size(), 0);

    // A drive holding a pressed disc (a loop device over an image) cannot take the burn.
    if (::geteuid() != 0)
        QSKIP("a drive with a disc needs a loop device");
    QVERIFY(QFile::copy(m_Iso, m_Tmp.filePath("pressed.iso")));
    LoopDevice pressed(m_Tmp.filePath("pressed.iso"));
    if (pressed.node.isEmpty())
        QSKIP("no free loop device");
    qputenv("VEXLOR_TEST_OPTICAL_DRIVES", pressed.node.toLocal8Bit());
    delete m_Page;
    openPage(false);
    QCOMPARE(m_Page->findChild<QComboBox *>("dvdlist")->count(), 1);
    const QStringList seen = pressBurn();
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().startsWith("The disc could not be burnt.\n"), qPrintable(seen.first()));
}

void TestBurnPage::homeWindowAnnouncesNewDisks()
{
    if (::geteuid() != 0)
        QSKIP("attaching loop devices needs root");
    MainWindow w;
    QSignalSpy spy(&w, &MainWindow::sigdrivechange);
    LoopDevice disk(m_Tmp.filePath("new.img"), 1 << 20);
    if (disk.node.isEmpty())
        QSKIP("no free loop device");
    QVERIFY(spy.wait(5000));
}

QTEST_MAIN(TestBurnPage)
#include "tst_burnpage.moc"
