// The Burn page's widget-free parts: label rules, partitioning arguments, the space test, the
// 4 GiB scan of a listing, the check that a disk is still the chosen one and the choice kept
// across listings, step outcomes, the checks of an image before a burn, the read-back of a
// written volume (on a plain folder standing in for it: no mount involved), and how the burn job
// ends before it writes anything (no disk, no mount involved).

#include "logic/burnjob.h"
#include "logic/burnlogic.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "testhelpers.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace BurnLogic;

class TestBurnLogic : public QObject
{
    Q_OBJECT

private slots:
    void isoImage();
    void cleanLabel_data();
    void cleanLabel();
    void partitionArguments_data();
    void partitionArguments();
    void enoughSpace();
    void largeFileScan_data();
    void largeFileScan();
    void sameDisk_data();
    void sameDisk();
    void choiceAfterListing_data();
    void choiceAfterListing();
    void judge_data();
    void judge();
    void partitionTable_data();
    void partitionTable();
    void willStart_data();
    void willStart();
    void fatSkips_data();
    void fatSkips();
    void prepare_data();
    void prepare();
    void verifyVolume_data();
    void verifyVolume();
    void burnJobEnds_data();
    void burnJobEnds();
};

void TestBurnLogic::isoImage()
{
    QTemporaryDir dir;
    const QString upper = dir.filePath("a.ISO"), img = dir.filePath("a.img");
    QVERIFY(TestHelpers::writeFile(upper, "x") && TestHelpers::writeFile(img, "x"));
    QVERIFY(IsIsoImage(upper));
    QVERIFY(!IsIsoImage(img));
    QVERIFY(!IsIsoImage(dir.filePath("missing.iso")));
    QVERIFY(QDir().mkpath(dir.filePath("folder.iso")));
    QVERIFY(!IsIsoImage(dir.filePath("folder.iso")));
}

void TestBurnLogic::cleanLabel_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("capitals") << "usb stick"
                              << "USB STICK";
    QTest::newRow("eleven at most") << "abcdefghijkl"
                                    << "ABCDEFGHIJK";
    QTest::newRow("refused characters") << "a\"*+,./:;<=>?[\\]|b"
                                        << "AB";
    QTest::newRow("allowed punctuation") << "X-1_(2)!#$"
                                         << "X-1_(2)!#$";
    QTest::newRow("non-ASCII and control") << QString::fromUtf8("caf\xc3\xa9\tz") << "CAFZ";
}

void TestBurnLogic::cleanLabel()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QCOMPARE(CleanLabel(typed), kept);
    for (const QChar c : kept)
        QVERIFY(IsLabelChar(c));
}

void TestBurnLogic::partitionArguments_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<qint64>("diskSize");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("args");
    const qint64 gib = Q_INT64_C(1073741824);
    QTest::newRow("FAT on 2 GiB is FAT16")
        << "FAT" << 2 * gib << "MBR(for legacy BIOS/CSM boot)"
        << "STICK"
        << QStringList { "partitionDisk", "/dev/sdb", "1", "MBR", "MS-DOS FAT16", "STICK", "R" };
    QTest::newRow("FAT on 8 GiB is FAT32")
        << "FAT" << 8 * gib << "MBR(for legacy BIOS/CSM boot)"
        << " A " << QStringList { "partitionDisk", "/dev/sdb", "1", "MBR", "FAT32", "A", "R" };
    QTest::newRow("FAT just at 4 GiB is FAT32")
        << "FAT" << 4 * gib << "MBR(for legacy BIOS/CSM boot)"
        << "" << QStringList { "partitionDisk", "/dev/sdb", "1", "MBR", "FAT32", "NONAME", "R" };
    QTest::newRow("GPT") << "FAT32" << gib << "GPT(required for UEFI boot)"
                         << "  " << QStringList { "partitionDisk", "/dev/sdb", "1", "GPT",
                                                  "FAT32",         "NONAME",   "R" };
}

void TestBurnLogic::partitionArguments()
{
    QFETCH(QString, fileSystem);
    QFETCH(qint64, diskSize);
    QFETCH(QString, scheme);
    QFETCH(QString, label);
    QFETCH(QStringList, args);
    QCOMPARE(PartitionArgs("/dev/sdb", scheme, fileSystem, diskSize, label), args);
    QCOMPARE(IsGptChoice(scheme), args.at(3) == "GPT");
}

void TestBurnLogic::enoughSpace()
{
    const qint64 disk = Q_INT64_C(8000000000);
    QVERIFY(EnoughSpace(disk, disk - SpareBytes));
    QVERIFY(!EnoughSpace(disk, disk - SpareBytes + 1));
    QVERIFY(!EnoughSpace(0, 0));
    // A disk image takes the disk as it is: its own size is enough.
    QVERIFY(EnoughSpace(disk, disk, true));
    QVERIFY(!EnoughSpace(disk, disk + 1, true));
}

void TestBurnLogic::largeFileScan_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("split");
    const QString sep
        = "------------------- ----- ------------ ------------  ------------------------";
    auto row = [](const char *attr, const QString &size, const QString &name) {
        return QStringLiteral("2026-12-08 10:00:00 %1 %2 %3  %4")
            .arg(QLatin1String(attr))
            .arg(size, 12)
            .arg(QString(), 12)
            .arg(name);
    };
    const QString header = "   Date      Time    Attr         Size   Compressed  Name";
    QTest::newRow("small files") << QStringList { header,
                                                  sep,
                                                  row(".....", "2048", "a.txt"),
                                                  row("D....", "", "sources"),
                                                  sep,
                                                  "summary" }
                                 << true << ""
                                 << "";
    QTest::newRow("4 GiB - 1 fits")
        << QStringList { sep, row(".....", "4294967295", "sources/install.wim"), sep } << true << ""
        << "";
    QTest::newRow("4 GiB found, first one kept")
        << QStringList { sep, row(".....", "10", "a"),
                         row(".....", "4294967296", "sources/boot.wim"),
                         row(".....", "9999999999", "b.bin"), sep }
        << true << "sources/boot.wim"
        << "";
    QTest::newRow("the installation image is split, not refused")
        << QStringList { sep, row(".....", "5000000000", "Sources/Install.esd"), sep } << true << ""
        << "Sources/Install.esd";
    QTest::newRow("split, and another one refused")
        << QStringList { sep, row(".....", "5000000000", "sources/install.wim"),
                         row(".....", "5000000000", "other/install.wim"), sep }
        << true << "other/install.wim"
        << "sources/install.wim";
    QTest::newRow("rows outside the table ignored")
        << QStringList { row(".....", "9999999999", "x"), sep, sep,
                         row(".....", "9999999999", "y") }
        << true << ""
        << "";
    QTest::newRow("table never closed")
        << QStringList { "Cannot open the file as archive" } << false << ""
        << "";
}

void TestBurnLogic::largeFileScan()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, complete);
    QFETCH(QString, path);
    QFETCH(QString, split);
    LargeFileScan scan;
    for (const QString &line : lines)
        scan.AddLine(line);
    QCOMPARE(scan.Complete(), complete);
    QCOMPARE(scan.Path(), path);
    QCOMPARE(scan.Found(), !path.isEmpty());
    QCOMPARE(scan.SplitWim(), split);
    if (scan.Found())
        QVERIFY(TooLargeText(scan.Path(), scan.Size()).contains(path));
}

void TestBurnLogic::sameDisk_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("same");
    const QString report
        = "   Device Node:              /dev/sdb\n"
          "   Device / Media Name:      Kingston DT \n"
          "   Device Number:            8:16\n"
          "   Serial Number:            4C530001\n"
          "   WWN:                      \n"
          "   Disk Size:                1.0 KB (1000 Bytes) (exactly 1 512-Byte-Units)\n";
    QTest::newRow("same") << "/dev/sdb" << report << true;
    QTest::newRow("same make and size, another stick")
        << "/dev/sdb" << QString(report).replace("4C530001", "4C530002") << false;
    QTest::newRow("another slot") << "/dev/sdb" << QString(report).replace("8:16", "8:32") << false;
    QTest::newRow("other size") << "/dev/sdb" << QString(report).replace("(1000", "(2000") << false;
    QTest::newRow("other model") << "/dev/sdb" << QString(report).replace("Kingston", "SanDisk")
                                 << false;
    QTest::newRow("gone") << "" << QString() << false;
}

void TestBurnLogic::sameDisk()
{
    QFETCH(QString, node);
    QFETCH(QString, report);
    QFETCH(bool, same);
    const DiskIdentity chosen { "/dev/sdb", 1000, "Kingston DT", "4C530001", "", "8:16" };
    const DiskIdentity now = IdentityFromInfo(node, report);
    QCOMPARE(SameDisk(chosen, now), same);
    if (same) {
        QCOMPARE(IdentityArgs(now),
                 (QStringList { "--serial", "4C530001", "--wwn", "", "--device-number", "8:16",
                                "--size", "1000", "--model", "Kingston DT" }));
        QCOMPARE(DiskText(now),
                 QStringLiteral("Kingston DT, %1, /dev/sdb").arg(Util::SizeToString(1000)));
    }
}

void TestBurnLogic::judge_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("failedToStart");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("message");
    QTest::newRow("done") << 0 << false << QStringList { "ok" } << int(Outcome::Done) << "ok";
    QTest::newRow("failed, the tool's last lines")
        << 1 << false << QStringList { "a", "b", "mkfs.fat: cannot open", "d" }
        << int(Outcome::Failed) << "b\nmkfs.fat: cannot open\nd";
    QTest::newRow("progress redraws left out")
        << 2 << false << QStringList { "ERROR: disk full", " 45% 3 - a\b\b\b" }
        << int(Outcome::Failed) << "ERROR: disk full";
    QTest::newRow("silent failure")
        << 3 << false << QStringList {} << int(Outcome::Failed) << "ended with status 3";
    QTest::newRow("not started") << -1 << true << QStringList {} << int(Outcome::Failed)
                                 << "could not be started";
    QTest::newRow("prompt refused")
        << 1 << false << QStringList { "execution error: User canceled. (-128)" }
        << int(Outcome::Refused) << "";
    QTest::newRow("request dismissed")
        << 126 << false
        << QStringList { "Error executing command as another user: Request dismissed" }
        << int(Outcome::Refused) << "";
}

void TestBurnLogic::judge()
{
    QFETCH(int, exitCode);
    QFETCH(bool, failedToStart);
    QFETCH(QStringList, lines);
    QFETCH(int, outcome);
    QFETCH(QString, message);
    // As the runner reports it, the lines read by the steps' error reader.
    CRunOutcome end;
    end.kind = failedToStart ? CRunOutcome::FailedToStart
        : exitCode == 0      ? CRunOutcome::Succeeded
                             : CRunOutcome::ToolError;
    end.exitCode = exitCode;
    const CErrorLineReader reader = ToolLineReader();
    for (const QString &line : lines) {
        const QString kept = reader(line);
        if (!kept.isEmpty())
            end.errorLines << kept;
    }
    QCOMPARE(int(Judge(end)), outcome);
    if (outcome == int(Outcome::Failed)) {
        const QString text = FailureText("Step failed.", end);
        QVERIFY2(text.startsWith("Step failed.\n") && text.contains(message), qPrintable(text));
    }
}

void TestBurnLogic::partitionTable_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("table");
    auto mbr = [](quint8 status, quint8 type, quint8 sectors) {
        QByteArray head(1024, '\0');
        head[446] = char(status);
        head[446 + 4] = char(type);
        head[446 + 12] = char(sectors);
        head[510] = char(0x55);
        head[511] = char(0xaa);
        return head;
    };
    QTest::newRow("plain image") << QByteArray(1024, '\0') << false;
    QTest::newRow("isohybrid") << mbr(0x80, 0x17, 64) << true;
    QTest::newRow("grub-mkrescue") << mbr(0x00, 0xcd, 64) << true;
    QTest::newRow("empty entries") << mbr(0x00, 0x00, 0) << false;
    QTest::newRow("no signature") << mbr(0x80, 0x17, 64).left(510) << false;
    QTest::newRow("bad status") << mbr(0x12, 0x0c, 64) << false;
    QTest::newRow("GPT header") << QByteArray(512, '\0') + "EFI PART" + QByteArray(504, '\0')
                                << true;
}

void TestBurnLogic::partitionTable()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, table);
    QCOMPARE(HasPartitionTable(head), table);
    QCOMPARE(OfferDiskImage(head, { "isolinux", "isolinux/isolinux.bin" }), table);
    QVERIFY(!OfferDiskImage(head, { "BOOTMGR", "sources/boot.wim" }));
}

void TestBurnLogic::willStart_data()
{
    QTest::addColumn<bool>("biosEntry");
    QTest::addColumn<bool>("bootmgr");
    QTest::addColumn<bool>("uefiLoader");
    QTest::addColumn<bool>("diskImage");
    QTest::addColumn<bool>("gpt");
    QTest::addColumn<QString>("starts");
    QTest::addColumn<bool>("refused");
    QTest::newRow("windows, MBR") << true << true << true << false << false << "BIOS and UEFI"
                                  << false;
    QTest::newRow("windows, GPT") << true << true << true << false << true << "UEFI" << false;
    QTest::newRow("BIOS only image, GPT")
        << true << true << false << false << true << "nothing" << true;
    QTest::newRow("hybrid as disk image")
        << true << false << true << true << false << "BIOS and UEFI" << false;
    QTest::newRow("hybrid as files, MBR")
        << true << false << true << false << false << "UEFI" << false;
    QTest::newRow("isolinux as files") << true << false << false << false << false << "nothing"
                                       << false; // no choice starts it: no refusal
    QTest::newRow("data image") << false << false << false << false << false << "nothing" << false;
}

void TestBurnLogic::willStart()
{
    QFETCH(bool, biosEntry);
    QFETCH(bool, bootmgr);
    QFETCH(bool, uefiLoader);
    QFETCH(bool, diskImage);
    QFETCH(bool, gpt);
    QFETCH(QString, starts);
    QFETCH(bool, refused);
    const BootFacts facts { biosEntry, bootmgr, uefiLoader };
    QCOMPARE(StartsText(WillStart(facts, diskImage, gpt)), starts);
    QCOMPARE(!StartsNowhereText(facts, false, diskImage, gpt).isEmpty(), refused);
}

void TestBurnLogic::fatSkips_data()
{
    QTest::addColumn<QStringList>("lines"); // 7-Zip's output onto the FUSE FAT volume /m
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("links");
    const QStringList rockRidge {
        "ERROR: Cannot set file attribute : errno=38 : Function not implemented : /m/d",
        " 50% 2      ERROR: Cannot set file attribute : errno=38 : Function not implemented : "
        "/m/ro.txt",
        "100% 4      ERROR: Cannot create symbolic link : errno=38 : Function not implemented : "
        "/m/sub/link",
        "Sub items Errors: 3", "Archives with Errors: 1"
    };
    QTest::newRow("attributes and a link") << rockRidge << 2 << true << QStringList { "sub/link" };
    QTest::newRow("and a real failure")
        << QStringList(rockRidge) + QStringList { "ERROR: No space left on device : /m/big.bin" }
        << 2 << false << QStringList { "sub/link" };
    QTest::newRow("real failure alone")
        << QStringList { "ERROR: Input/output error : /m/a", "Sub items Errors: 1" } << 2 << false
        << QStringList();
    QTest::newRow("clean") << QStringList { "Everything is Ok" } << 0 << true << QStringList();
    QTest::newRow("status 2 with nothing skipped")
        << QStringList { "Sub items Errors: 1" } << 2 << false << QStringList();
}

void TestBurnLogic::fatSkips()
{
    QFETCH(QStringList, lines);
    QFETCH(int, exitCode);
    QFETCH(bool, ok);
    QFETCH(QStringList, links);
    const auto skips = std::make_shared<FatSkips>();
    CErrorLineReader reader = FatUnpackReader("/m/", skips);
    CRunOutcome end;
    end.kind = exitCode == 0 ? CRunOutcome::Succeeded : CRunOutcome::ToolError;
    end.exitCode = exitCode;
    for (const QString &line : lines) {
        const QString kept = reader(line);
        if (!kept.isEmpty())
            end.errorLines << kept;
    }
    QCOMPARE(UnpackSucceeded(end, *skips), ok);
    QCOMPARE(skips->links, links);
    const QList<ListedFile> marked = FilesOnVolume({ { "SUB/LINK", 0 }, { "ro.txt", 2 } }, *skips);
    QCOMPARE(marked.first().offVolume, !links.isEmpty());
    QVERIFY(!marked.last().offVolume);
}

void TestBurnLogic::choiceAfterListing_data()
{
    // Disks by serial; the node is /dev/sd and the serial's first letter.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QStringList>("now");
    QTest::addColumn<int>("choice");
    QTest::newRow("first listing") << QStringList() << -1 << QStringList { "a", "b" } << 0;
    QTest::newRow("first listing, no disk") << QStringList() << -1 << QStringList() << -1;
    QTest::newRow("the chosen disk, listed further down")
        << QStringList { "a", "b" } << 1 << QStringList { "c", "a", "b" } << 2;
    QTest::newRow("the chosen disk gone, not the other in its place")
        << QStringList { "a", "b" } << 1 << QStringList { "a" } << -1;
    QTest::newRow("another stick at the chosen node")
        << QStringList { "a" } << 0 << QStringList { "a2" } << -1;
    QTest::newRow("nothing chosen") << QStringList { "a" } << -1 << QStringList { "a" } << -1;
}

void TestBurnLogic::choiceAfterListing()
{
    QFETCH(QStringList, before);
    QFETCH(int, chosen);
    QFETCH(QStringList, now);
    QFETCH(int, choice);
    const auto disks = [](const QStringList &serials) {
        QList<DiskIdentity> list;
        for (const QString &serial : serials)
            list << DiskIdentity { "/dev/sd" + serial.left(1), 1000, "Stick", serial, "", "8:16" };
        return list;
    };
    QCOMPARE(ChoiceAfterListing(disks(before), chosen, disks(now)), choice);
}

void TestBurnLogic::prepare_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("fatLimit"); // VEXLOR_TEST_FAT_FILE_LIMIT
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("refusal"); // part of it; "" for none
    QTest::newRow("MBR") << "MBR" << QByteArray() << false << "";
    QTest::newRow("no image") << "MBR" << QByteArray() << true << "cannot be read";
    QTest::newRow("a file too large for FAT")
        << "MBR" << QByteArray("100000") << false << "\"data/big.bin\"";
    QTest::newRow("GPT for an image without a UEFI loader")
        << "GPT(required for UEFI boot)" << QByteArray() << false << "GPT";
}

void TestBurnLogic::prepare()
{
    // An image with /bootmgr (it starts on BIOS from an MBR stick) and no UEFI loader.
    QFETCH(QString, scheme);
    QFETCH(QByteArray, fatLimit);
    QFETCH(bool, missing);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QVERIFY(TestHelpers::writeFile(dir.filePath("src/bootmgr"), "bootmgr\n"));
    QVERIFY(TestHelpers::writeFile(dir.filePath("src/data/big.bin"), QByteArray(300000, 'x')));
    BurnJob::Request request;
    request.image = dir.filePath("t.iso");
    request.scheme = scheme;
    if (!missing)
        QVERIFY(
            TestHelpers::runCommand(
                "genisoimage", { "-quiet", "-J", "-R", "-o", request.image, dir.filePath("src") })
                .ok());
    qputenv("VEXLOR_TEST_FAT_FILE_LIMIT", fatLimit);
    const QString why = BurnJob::Prepare(&request, false);
    qunsetenv("VEXLOR_TEST_FAT_FILE_LIMIT");
    QVERIFY2(refusal.isEmpty() ? why.isEmpty() : why.contains(refusal), qPrintable(why));
    if (why.isEmpty())
        QCOMPARE(request.files.size(), 2);
}

void TestBurnLogic::verifyVolume_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("file"); // the file named by the failure; "" for none
    QTest::addColumn<QString>("error");
    QTest::newRow("intact") << ""
                            << ""
                            << "";
    QTest::newRow("a byte changed") << "change"
                                    << "data/big.bin"
                                    << "from byte 70001";
    QTest::newRow("missing") << "remove"
                             << "data/big.bin"
                             << "";
    QTest::newRow("shorter") << "truncate"
                             << "data/big.bin"
                             << "bytes instead of";
}

void TestBurnLogic::verifyVolume()
{
    QFETCH(QString, damage);
    QFETCH(QString, file);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString src = dir.filePath("src"), volume = dir.filePath("volume");
    QByteArray big(300000, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 13 ^ (i >> 7));
    QVERIFY(TestHelpers::writeFile(src + "/data/big.bin", big));
    QVERIFY(TestHelpers::writeFile(src + "/read me.txt", "hello\n"));
    QVERIFY(TestHelpers::writeFile(src + "/empty", ""));
    const QString iso = dir.filePath("t.iso");
    QCOMPARE(QProcess::execute("genisoimage", { "-quiet", "-J", "-R", "-o", iso, src }), 0);
    QProcess list;
    list.start(SevenZip::Program(), SevenZip::ListArgs(iso));
    QVERIFY(list.waitForFinished());
    LargeFileScan scan;
    for (const QByteArray &line : list.readAllStandardOutput().split('\n'))
        scan.AddLine(QString::fromUtf8(line));
    QCOMPARE(scan.Files().size(), 3);
    QCOMPARE(QProcess::execute(SevenZip::Program(), { "x", "-y", "-o" + volume, "--", iso }), 0);
    QFile target(volume + "/data/big.bin");
    if (damage == "change") {
        QVERIFY(target.open(QIODevice::ReadWrite) && target.seek(70000));
        target.write("?");
        target.close();
    } else if (damage == "remove") {
        QVERIFY(target.remove());
    } else if (damage == "truncate") {
        QVERIFY(target.resize(1000));
    }
    QList<ListedFile> files = scan.Files();
    if (damage == "offvolume") {
        QVERIFY(target.remove());
        for (ListedFile &listed : files)
            listed.offVolume = listed.path == "data/big.bin";
    }
    qint64 last = -1;
    const VerifyResult result
        = VerifyVolume(SevenZip::Program(), { "x", "-so", "--", iso }, scan.Files(), volume,
                       [&last](qint64 done, qint64 total) { last = done == total ? total : last; });
    QCOMPARE(result.ok, file.isEmpty());
    QCOMPARE(result.file, file);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
    if (result.ok)
        QCOMPARE(last, qint64(big.size() + 6));
    else
        QVERIFY(VerifyFailureText(result, "/dev/sdb").contains("\"" + file + "\""));
}

void TestBurnLogic::burnJobEnds_data()
{
    QTest::addColumn<int>("syncSeconds"); // how long the first step runs
    QTest::addColumn<QString>("press"); // while it runs: "Stop", or "Abandon" (the page goes)
    QTest::addColumn<BurnJob::Outcome>("outcome");
    QTest::addColumn<QString>("message");
    QTest::newRow("the disk is gone") << 0 << "" << BurnJob::Outcome::Failed << "no longer";
    QTest::newRow("a step past its time limit")
        << 30 << "" << BurnJob::Outcome::Failed << "did not end within";
    QTest::newRow("stopped") << 30 << "Stop" << BurnJob::Outcome::Stopped
                             << "stopped before it ended; the USB disk /dev/vexlor-no-such-disk";
    QTest::newRow("abandoned: stopped, and gone by itself")
        << 30 << "Abandon" << BurnJob::Outcome::Stopped << "";
}

void TestBurnLogic::burnJobEnds()
{
    // The first step, sync, is a stand-in found first on PATH; the disk is one no tool lists, so
    // nothing can be written.
    QFETCH(int, syncSeconds);
    QFETCH(QString, press);
    QFETCH(BurnJob::Outcome, outcome);
    QFETCH(QString, message);
    QTemporaryDir bin;
    QVERIFY(TestHelpers::writeFile(
        bin.filePath("sync"), QString("#!/bin/sh\nexec sleep %1\n").arg(syncSeconds).toUtf8()));
    QFile::setPermissions(bin.filePath("sync"), QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    BurnJob::Request request;
    request.image = QCoreApplication::applicationFilePath();
    request.disk.node = "/dev/vexlor-no-such-disk";
    request.disk.size = 1;
    QPointer<BurnJob> job = new BurnJob(request);
    BurnJob::Limits limits;
    limits.quick = 1000;
    job->SetLimits(limits);
    QString failure;
    connect(job, &BurnJob::stepFailed, [&failure](const QString &text) { failure = text; });
    QSignalSpy finished(job.data(), &BurnJob::finished);
    QElapsedTimer clock;
    clock.start();
    job->Start();
    if (!press.isEmpty())
        QTimer::singleShot(300, job, press == "Stop" ? &BurnJob::Stop : &BurnJob::Abandon);
    const bool ended = press == "Abandon" ? QTest::qWaitFor([&] { return job.isNull(); }, 20000)
                                          : finished.wait(20000);
    qputenv("PATH", path);
    QVERIFY(ended);
    QVERIFY(clock.elapsed() < 15000);
    if (press == "Abandon")
        return;
    QScopedPointer<BurnJob> done(job.data());
    QCOMPARE(finished.first().first().value<BurnJob::Outcome>(), outcome);
    QVERIFY2(failure.contains(message), qPrintable(failure));
    QVERIFY(!job->IsRunning());
}

QTEST_GUILESS_MAIN(TestBurnLogic)
#include "tst_burnlogic.moc"
