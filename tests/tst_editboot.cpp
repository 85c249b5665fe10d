// An image edited on the Edit page and saved starts the way the loaded one did: bootable images
// of each kind are built, loaded in the real page, changed (a file added, another deleted) and
// saved, and the saved image is booted in qemu to the same marker as the original. The saved
// image holds exactly the edited content: no boot catalog, no boot image file, no "[BOOT]". The
// page says what the image starts with, and a UEFI-only image stays UEFI-only.

#include "boothelpers.h"
#include "model/eltorito.h"
#include "pages/cpage4.h"
#include "services/util.h"
#include "testhelpers.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"

#include <QLabel>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;
using BootHelpers::Kind;

Q_DECLARE_METATYPE(BootHelpers::Kind)

class TestEditBoot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        if (!BootHelpers::haveTool("qemu-system-x86_64") || !BootHelpers::haveTool("nasm"))
            QSKIP("qemu-system-x86_64 and nasm are needed");
    }
    void cleanupTestCase() { QDir(Util::GetTempDir()).removeRecursively(); }

    void savedImageBootsAlike_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("boots"); // what the page says the image starts with
        QTest::newRow("no emulation, 4 sectors") << Kind::NoEmulation << "BIOS";
        QTest::newRow("1.44 MB diskette") << Kind::Diskette << "BIOS";
        QTest::newRow("isolinux with boot information table") << Kind::Isolinux << "BIOS";
        QTest::newRow("BIOS and UEFI entries") << Kind::BiosAndUefi << "BIOS and UEFI";
        QTest::newRow("UEFI only stays UEFI only") << Kind::UefiOnly << "UEFI";
    }

    void savedImageBootsAlike()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, boots);
        const bool bios = kind != Kind::UefiOnly;
        if (BootHelpers::needsUefi(kind) && BootHelpers::uefiMarkerProgram().isEmpty())
            QSKIP("grub-mkstandalone is needed for the UEFI marker");
        const QString base = m_dir.path() + "/" + QString::number(int(kind));
        const QString src = base + "/src";
        QVERIFY(writeFile(src + "/keep.txt", "kept"));
        QVERIFY(writeFile(src + "/gone.txt", "deleted"));
        QVERIFY(writeFile(base + "/local/added.txt", "added"));
        const QString original = base + "/original.iso";
        QString error;
        QVERIFY2(BootHelpers::makeBootableImage(kind, src, original, { "-R", "-J" }, &error),
                 qPrintable(error));
        const BootHelpers::BootResult before = bios
            ? BootHelpers::boot(original, BootHelpers::Medium::Cdrom, false)
            : BootHelpers::BootResult();
        QVERIFY2(!bios || before.has(BootHelpers::kBiosMarker), before.serial.constData());

        QWidget window;
        window.resize(860, 580);
        auto *page = new CPage4(&window);
        page->setParent(&window, Qt::Widget);
        page->InitializeUI();
        window.show();
        {
            WatcherGuard picker { answerFileDialog(original) };
            clickButton(page->findChild<CImageButton *>("loadiso"));
            QVERIFY(waitUntil([&] { return page->findChild<CImageButton *>("add")->isEnabled(); }));
        }
        QCOMPARE(page->findChild<QLabel *>("bootkinds")->text(), "Boot: " + boots);
        QStringList expected = treePaths(page->m_Tree.m_Root);
        // Neither 7-Zip's "[BOOT]" entries nor the boot catalog are content.
        for (const QString &path : expected) {
            QVERIFY2(!path.startsWith("[BOOT]") && !path.endsWith("boot.cat"), qPrintable(path));
        }
        {
            WatcherGuard picker { answerFileDialog(base + "/local/added.txt") };
            clickButton(page->findChild<CImageButton *>("add"));
        }
        auto *list = page->findChild<QTableWidget *>("list");
        for (int row = 0; row < list->rowCount(); ++row) {
            if (list->item(row, 0)->text() == "gone.txt")
                list->item(row, 0)->setCheckState(Qt::Checked);
        }
        clickButton(page->findChild<CImageButton *>("delete_2"));
        expected.removeAll("gone.txt");
        expected << "added.txt";
        expected.sort();

        // Saved over the loaded image itself.
        QString said;
        {
            WatcherGuard picker { answerFileDialog(original) };
            WatcherGuard prompt { closeDialog<CommDialog>(
                QDialog::Accepted, [&](CommDialog *d) { said = labelText(d); }, 60000) };
            clickButton(page->findChild<CImageButton *>("save"));
            QVERIFY(waitUntil([&] { return !said.isEmpty(); }, 60000));
        }
        QCOMPARE(said, QStringLiteral("Save ISO file successfully!"));
        QCOMPARE(ElTorito::BootKinds(ElTorito::ReadCatalog(original)), boots);
        if (bios) {
            const BootHelpers::BootResult after
                = BootHelpers::boot(original, BootHelpers::Medium::Cdrom, false);
            QVERIFY2(after.has(BootHelpers::kBiosMarker), after.serial.constData());
            QCOMPARE(after.exitCode, before.exitCode);
        }
        if (BootHelpers::needsUefi(kind)) {
            // Every UEFI entry is kept, beside the BIOS one when there is one.
            const BootHelpers::BootResult uefi
                = BootHelpers::boot(original, BootHelpers::Medium::Cdrom, true);
            QVERIFY2(uefi.has(BootHelpers::kUefiMarker), uefi.serial.constData());
        }

        // Loaded again, the saved image shows exactly the edited content.
        auto *again = new CPage4(&window);
        again->setParent(&window, Qt::Widget);
        again->InitializeUI();
        again->show();
        again->raise();
        {
            WatcherGuard picker { answerFileDialog(original) };
            clickButton(again->findChild<CImageButton *>("loadiso"));
            QVERIFY(
                waitUntil([&] { return again->findChild<CImageButton *>("add")->isEnabled(); }));
        }
        QStringList reloaded = treePaths(again->m_Tree.m_Root);
        reloaded.sort();
        QCOMPARE(reloaded, expected);
        QVERIFY(waitUntil([&] { return !again->IsExtracting(); }));
        QCOMPARE(readFile(Util::GetTempDir() + "/tmp/added.txt"), QByteArray("added"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestEditBoot)
#include "tst_editboot.moc"
