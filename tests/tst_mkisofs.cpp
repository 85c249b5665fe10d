// The mkisofs module: argument lists of a new and of an edited image, progress lines, and the
// choice of the tool's message.

#include "services/mkisofs.h"

#include <QtTest>

using Mkisofs::ImageType;

Q_DECLARE_METATYPE(ImageType)

class TestMkisofs : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void saveArguments();
    void progress_data();
    void progress();
    void toolMessage_data();
    void toolMessage();
    void skippedFile_data();
    void skippedFile();
};

void TestMkisofs::arguments_data()
{
    QTest::addColumn<ImageType>("type");
    QTest::addColumn<bool>("large");
    QTest::addColumn<QStringList>("expected");

    const QString img = QStringLiteral("/out/my image.iso");
    const QString src = QStringLiteral("/data/Vexlor/tmp");
    QTest::newRow("joliet") << ImageType::Joliet << false
                            << QStringList { "-joliet", "-f", "-R", "-r", "-o", img, src };
    QTest::newRow("iso9660") << ImageType::Iso9660 << false
                             << QStringList { "-l", "-f", "-R", "-r", "-o", img, src };
    QTest::newRow("udf") << ImageType::Udf << false
                         << QStringList { "-udf", "-f", "-R", "-r", "-o", img, src };
    QTest::newRow("udf with a 4 GiB file")
        << ImageType::Udf << true
        << QStringList { "-udf", "-allow-limited-size", "-f", "-R", "-r", "-o", img, src };
    // The switch would truncate the size in ISO 9660; those types never get it.
    QTest::newRow("joliet never truncates")
        << ImageType::Joliet << true << QStringList { "-joliet", "-f", "-R", "-r", "-o", img, src };
    QTest::newRow("iso9660 never truncates")
        << ImageType::Iso9660 << true << QStringList { "-l", "-f", "-R", "-r", "-o", img, src };
}

void TestMkisofs::arguments()
{
    QFETCH(ImageType, type);
    QFETCH(bool, large);
    QFETCH(QStringList, expected);
    QCOMPARE(Mkisofs::CreateArgs(type, QStringLiteral("/out/my image.iso"),
                                 QStringLiteral("/data/Vexlor/tmp"), large),
             expected);
}

void TestMkisofs::saveArguments()
{
    const QString img = QStringLiteral("/out/-e dit.iso");
    const QString src = QStringLiteral("/data/Vexlor/tmp");
    const QStringList boot { "-b", "isolinux/isolinux.bin", "-no-emul-boot", "-boot-load-size",
                             "4",  "-boot-info-table" };
    QCOMPARE(Mkisofs::SaveArgs(img, src, {}), (QStringList { "-udf", "-f", "-R", "-o", img, src }));
    QCOMPARE(Mkisofs::SaveArgs(img, src, boot, true),
             QStringList({ "-udf", "-allow-limited-size", "-f", "-R", "-o", img }) + boot
                 + QStringList { src });
}

void TestMkisofs::progress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value");
    QTest::newRow("12.50") << "12.50% done, estimate finish Tue Dec  8 00:28:05 2026" << 1250;
    QTest::newRow("leading blanks")
        << "  2.17% done, estimate finish Mon Dec  7 23:52:43 2026" << 217;
    QTest::newRow("12.34 is not 1233") << "12.34% done, estimate finish x" << 1234;
    QTest::newRow("smallest") << " 0.01% done, estimate finish x" << 1;
    QTest::newRow("99.99") << "99.99% done, estimate finish x" << 9999;
    QTest::newRow("100") << "100.00% done, estimate finish x" << 10000;
    QTest::newRow("one decimal") << "33.3% done, estimate finish x" << 3330;
    QTest::newRow("three decimals truncate") << "12.345% done, estimate finish x" << 1234;
    QTest::newRow("marker at position 0") << "% done, estimate finish x" << -1;
    QTest::newRow("not a number") << "abc% done, estimate finish x" << 0;
    QTest::newRow("prefixed by another tool")
        << "xorriso : UPDATE : 12.00% done, estimate finish x" << 0;
    QTest::newRow("statistics") << "Total translation table size: 0" << -1;
    QTest::newRow("extents") << "15068 extents written (29 MB)" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("percent without marker") << "12.50% done" << -1;
}

void TestMkisofs::progress()
{
    QFETCH(QString, line);
    QFETCH(int, value);
    QCOMPARE(Mkisofs::ReadProgress(line), value);
}

void TestMkisofs::toolMessage_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");

    const QStringList stats { "Total translation table size: 0",
                              "Total rockridge attributes bytes: 317",
                              "Total directory bytes: 0",
                              "Path table size(bytes): 10",
                              "Max brk space used 0",
                              "182 extents written (0 MB)" };
    QTest::newRow("success prints nothing to report") << stats << QString();
    QTest::newRow("following links is routine")
        << (QStringList { "Warning: -follow-links does not always work correctly; be careful." }
            + stats)
        << QString();
    QTest::newRow("nothing at all") << QStringList() << QString();
    QTest::newRow("4 GiB file")
        << (QStringList(stats)
            << "File /t/tmp/big.bin is larger than 4GiB-1."
            << "-allow-limited-size was not specified. There is no way do represent this file "
               "size. Aborting.")
        << "File /t/tmp/big.bin is larger than 4GiB-1.\n-allow-limited-size was not specified. "
           "There is no way do represent this file size. Aborting.";
    QTest::newRow("unwritable target")
        << QStringList { "genisoimage: Is a directory. Unable to open disc image file "
                         "'/out/x.iso'." }
        << "genisoimage: Is a directory. Unable to open disc image file '/out/x.iso'.";
    QTest::newRow("disk full after progress")
        << QStringList { " 33.21% done, estimate finish Tue Dec  8 00:28:05 2026",
                         "genisoimage: No space left on device. cannot fwrite 2048*1" }
        << "genisoimage: No space left on device. cannot fwrite 2048*1";
    QTest::newRow("joliet clash, noise after it")
        << QStringList { "Using NNN000.TXT;1 for  /NNN_1.txt (NNN_2.txt)",
                         "genisoimage: Error: d/a and d/b have the same Joliet name",
                         "Joliet tree sort failed. The -joliet-long switch may help you.",
                         "",
                         "ERROR: errno=2 : No such file or directory",
                         "d.iso",
                         "System ERROR:" }
        << "genisoimage: Error: d/a and d/b have the same Joliet name\nJoliet tree sort "
           "failed. The -joliet-long switch may help you.";
    QTest::newRow("no error words: the last line")
        << QStringList { "first remark", "second remark", "Max brk space used 0" }
        << "second remark";
    QTest::newRow("launcher without its tool")
        << QStringList { "mkisofs: genisoimage is not installed" }
        << "mkisofs: genisoimage is not installed";
}

void TestMkisofs::toolMessage()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    QCOMPARE(Mkisofs::PickMessage(lines), message);
    // The runner keeps what the error reader picks; the message comes out the same from those.
    const CErrorLineReader reader = Mkisofs::ErrorReader();
    QStringList kept;
    for (const QString &line : lines) {
        if (!reader(line).isEmpty())
            kept << reader(line);
    }
    QCOMPARE(Mkisofs::PickMessage(kept), message);
}

void TestMkisofs::skippedFile_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("file");
    QTest::newRow("gone") << "genisoimage: No such file or directory. File /t/tmp/a b.txt is not "
                             "readable - ignoring"
                          << "/t/tmp/a b.txt";
    QTest::newRow("no permission")
        << "genisoimage: Permission denied. File /t/tmp/d/x is not readable - ignoring"
        << "/t/tmp/d/x";
    QTest::newRow("other error") << "genisoimage: Is a directory. Unable to open disc image file "
                                    "'/out/x.iso'."
                                 << QString();
    QTest::newRow("progress") << " 33.21% done, estimate finish Tue Dec  8 00:28:05 2026"
                              << QString();
}

void TestMkisofs::skippedFile()
{
    QFETCH(QString, line);
    QFETCH(QString, file);
    QCOMPARE(Mkisofs::SkippedFile(line), file);
}

QTEST_GUILESS_MAIN(TestMkisofs)
#include "tst_mkisofs.moc"
