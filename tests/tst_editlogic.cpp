// The Edit page's changes without widgets: the tree after each change and the file tasks it
// stages on the working folder, in order; and the edit session over a small bootable image that
// the real 7-Zip extracts into a plain folder (no mount).

#include "testhelpers.h"

#include "logic/editlogic.h"
#include "logic/editsession.h"
#include "model/ctree.h"
#include "services/cfilecopy.h"
#include "services/util.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;
using EditLogic::FileTask;
using EditLogic::NameCheck;

Q_DECLARE_METATYPE(NameCheck)

namespace {

const QString W = QStringLiteral("/t/tmp/");

Item entry(const QString &path, bool dir,
           const QString &time = QStringLiteral("2024-01-02 03:04:05"),
           const QString &size = QString())
{
    Item item;
    item.m_Path = path;
    item.m_IsDir = dir;
    item.m_Time = time;
    item.m_Size = size;
    return item;
}

// boot/, boot/isolinux.cfg, docs/, docs/a/, docs/a/x.txt, readme.txt
void fill(CTree &tree)
{
    tree.AddItem(entry(QStringLiteral("boot"), true));
    tree.AddItem(entry(QStringLiteral("boot/isolinux.cfg"), false));
    tree.AddItem(entry(QStringLiteral("docs"), true));
    tree.AddItem(entry(QStringLiteral("docs/a"), true));
    tree.AddItem(entry(QStringLiteral("docs/a/x.txt"), false));
    tree.AddItem(entry(QStringLiteral("readme.txt"), false));
}

} // namespace

class TestEditLogic : public QObject
{
    Q_OBJECT

private slots:
    // Edits made while the extraction runs reach W after it, the virtual boot entries and the old
    // catalog leave the tree and W, and the boot switches follow the edits: a boot image that is
    // gone comes back as the copy kept at the load.
    void sessionEditsAnExtractedImage_data()
    {
        QTest::addColumn<QString>("edit"); // "rename", "delete" or "add", then a path
        QTest::addColumn<QStringList>("inW");
        QTest::addColumn<QString>("bootFile");
        QTest::newRow("boot folder renamed") << "rename isolinux"
                                             << QStringList { "docs/", "docs/a.txt", "readme.txt",
                                                              "syslinux/", "syslinux/isolinux.bin" }
                                             << "syslinux/isolinux.bin";
        QTest::newRow("boot image deleted")
            << "delete isolinux/isolinux.bin"
            << QStringList { "boot.bin", "docs/", "docs/a.txt", "isolinux/", "readme.txt" }
            << "boot.bin";
        QTest::newRow("file added")
            << "add new.txt"
            << QStringList { "docs/",   "docs/a.txt", "isolinux/", "isolinux/isolinux.bin",
                             "new.txt", "readme.txt" }
            << "isolinux/isolinux.bin";
    }
    void sessionEditsAnExtractedImage()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, inW);
        QFETCH(QString, bootFile);
        QStandardPaths::setTestModeEnabled(true);
        QTemporaryDir dir;
        const QString src = dir.filePath("src"), image = dir.filePath("boot.iso");
        QVERIFY(writeFile(src + "/isolinux/isolinux.bin", QByteArray(2048, 'B')));
        QVERIFY(writeFile(src + "/docs/a.txt", "a") && writeFile(src + "/readme.txt", "r"));
        QVERIFY(writeFile(dir.filePath("new.txt"), "new"));
        QCOMPARE(runCommand(Util::GetCurrentExePath() + "/cdrtools/mkisofs",
                            { "-quiet", "-R", "-J", "-o", image, "-b", "isolinux/isolinux.bin",
                              "-c", "boot.cat", "-no-emul-boot", "-boot-load-size", "4",
                              "-boot-info-table", src })
                     .code,
                 0);
        // The tree as the listing fills it.
        CTree tree;
        for (const char *folder : { "isolinux", "docs" })
            tree.AddItem(entry(folder, true));
        for (const char *file : { "isolinux/isolinux.bin", "docs/a.txt", "readme.txt", "boot.cat" })
            tree.AddItem(entry(file, false));
        tree.AddItem(entry("[BOOT]/Boot-NoEmul.img", false, QString()));
        CFileCopy copier;
        const QString w = dir.filePath("w/");
        EditSession session(&tree, &copier, w);
        session.Load(image);
        session.ListingDone();
        QVERIFY(!tree.GetItem("boot.cat") && !tree.GetItem("[BOOT]"));

        QVERIFY(session.IsExtracting());
        const QString path = edit.section(' ', 1);
        if (edit.startsWith("rename"))
            QCOMPARE(session.Rename(tree.GetItem(path), tree.m_Root, "syslinux"), NameCheck::Ok);
        else if (edit.startsWith("delete"))
            session.Delete(tree.GetItem("isolinux"), { tree.GetItem(path) });
        else
            QCOMPARE(session.Add(&tree.m_Root, { dir.filePath(path) }).added.size(), 1);
        QCOMPARE(session.Pending().size(), 3); // the two removals of the load, then the edit
        QVERIFY(session.HasUnsavedChanges());
        QTRY_VERIFY_WITH_TIMEOUT(!session.IsExtracting() && copier.IsIdle(), 30000);
        QCOMPARE(session.ExtractFailure(), QString());

        // A refused save places no boot image in W.
        QVERIFY(session.PrepareSave({ "docs/a.txt" }, {}).contains("docs/a.txt"));
        QVERIFY(!QFile::exists(w + "boot.bin"));
        const QString refusal = session.PrepareSave({}, {});
        QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
        const QStringList args = session.SaveArgs("out.iso");
        QCOMPARE(args.value(args.indexOf("-b") + 1), bootFile);
        QCOMPARE(entries(w), inW);
        if (bootFile == "boot.bin")
            QCOMPARE(readFile(w + "boot.bin"),
                     ElTorito::ReadBootImage(image, session.Catalog().entries.first()));
        session.SaveEnded();
        QVERIFY(!QFile::exists(w + "boot.bin"));
        QDir(Util::GetTempDir()).removeRecursively();
    }

    void checkName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<NameCheck>("check");
        QTest::newRow("same") << "docs" << NameCheck::Unchanged;
        QTest::newRow("empty") << "" << NameCheck::Invalid;
        QTest::newRow("dot") << "." << NameCheck::Invalid;
        QTest::newRow("dotdot") << ".." << NameCheck::Invalid;
        QTest::newRow("slash") << "a/b" << NameCheck::Invalid;
        QTest::newRow("sibling") << "readme.txt" << NameCheck::Taken;
        QTest::newRow("other case") << "DOCS" << NameCheck::Ok;
        QTest::newRow("fresh") << "papers" << NameCheck::Ok;
    }
    void checkName()
    {
        QFETCH(QString, name);
        QFETCH(NameCheck, check);
        CTree tree;
        fill(tree);
        QCOMPARE(EditLogic::CheckName(*tree.GetItem(QStringLiteral("docs")), tree.m_Root, name),
                 check);
        QCOMPARE(EditLogic::NameCheckText(check).isEmpty(),
                 check == NameCheck::Ok || check == NameCheck::Unchanged);
    }

    void exportCopiesIntoAStageFolder()
    {
        CTree tree;
        fill(tree);
        Item added = entry(QStringLiteral("docs/mine.txt"), false);
        added.m_SrcPath = QStringLiteral("/home/u/original.txt");
        tree.AddItem(added);
        // Added from a file named like the image's own readme.txt, then renamed beside it.
        Item same = entry(QStringLiteral("notes.txt"), false);
        same.m_SrcPath = QStringLiteral("/home/u/readme.txt");
        tree.AddItem(same);
        const QList<const Item *> items { tree.GetItem(QStringLiteral("docs/a")),
                                          tree.GetItem(QStringLiteral("docs/mine.txt")),
                                          tree.GetItem(QStringLiteral("readme.txt")),
                                          tree.GetItem(QStringLiteral("notes.txt")) };
        const auto plan = EditLogic::PlanExport(items, W, QStringLiteral("/dest"));
        QVERIFY(plan.stageDir.startsWith(QStringLiteral("/dest/.")));
        QCOMPARE(plan.names,
                 (QStringList { QStringLiteral("a"), QStringLiteral("original.txt"),
                                QStringLiteral("readme.txt"), QStringLiteral(".1/readme.txt") }));
        QCOMPARE(
            plan.tasks,
            (QList<FileTask> {
                { 0, QStringLiteral("/t/tmp/docs/a"), plan.stageDir },
                { 0, QStringLiteral("/home/u/original.txt"), plan.stageDir + "/original.txt" },
                { 0, QStringLiteral("/t/tmp/readme.txt"), plan.stageDir + "/readme.txt" },
                { 0, QStringLiteral("/home/u/readme.txt"), plan.stageDir + "/.1/readme.txt" } }));
        QCOMPARE(
            EditLogic::ExportSuccessText({ { "a", "a (2)" } }),
            QStringLiteral("Export Successfully !\nNames already in use, so kept as: \"a (2)\"."));
    }

    void virtualBootEntries_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("removed");
        QTest::newRow("no emulation") << "[BOOT]/Boot-NoEmul.img"
                                      << "" << true;
        QTest::newRow("diskette") << "[BOOT]/Boot-1.44M.img"
                                  << "                   " << true;
        QTest::newRow("real file with time") << "[BOOT]/Boot-NoEmul.img"
                                             << "2024-01-02 03:04:05" << false;
        QTest::newRow("other name") << "[BOOT]/notes.txt"
                                    << "" << false;
        QTest::newRow("elsewhere") << "boot/Boot-NoEmul.img"
                                   << "" << false;
    }
    void virtualBootEntries()
    {
        QFETCH(QString, path);
        QFETCH(QString, time);
        QFETCH(bool, removed);
        CTree tree;
        fill(tree);
        tree.AddItem(entry(path, false, time));
        QCOMPARE(EditLogic::RemoveVirtualBootEntries(tree), removed);
        QCOMPARE(tree.GetItem(path) == nullptr, removed);
        QVERIFY(tree.GetItem(QStringLiteral("boot/isolinux.cfg")));
    }
};

QTEST_GUILESS_MAIN(TestEditLogic)
#include "tst_editlogic.moc"
