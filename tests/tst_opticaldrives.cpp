// Optical drives in the Linux disk tools: whether a drive holds a disc (the drive's own media
// status, not the size it reports), the medium xorriso reports (recorded output), and the burn
// that refuses a disc holding data. The burns go to plain files, which the drive seam
// (VEXLOR_TEST_OPTICAL_DRIVES) turns into burners; no loop device and no mount is involved.

#include "lib/probe.h"
#include "services/disktools.h"
#include "services/platformtools.h"
#include "testhelpers.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;
using Probe::MediaStatus;

class TestOpticalDrives : public QObject
{
    Q_OBJECT

private slots:
    void holdsDisc_data()
    {
        QTest::addColumn<int>("ioctl");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("disc");
        // An empty drive may still report the size of the disc it held last.
        QTest::newRow("empty drive reporting a size") << 1 << qint64(1331200) << false;
        QTest::newRow("tray open") << 2 << qint64(1331200) << false;
        QTest::newRow("disc") << 4 << qint64(1331200) << true;
        QTest::newRow("drive cannot be asked, size") << -1 << qint64(1331200) << true;
        QTest::newRow("no information, no size") << 0 << qint64(0) << false;
    }
    void holdsDisc()
    {
        QFETCH(int, ioctl);
        QFETCH(qint64, size);
        QFETCH(bool, disc);
        QCOMPARE(Probe::HoldsDisc(Probe::MediaStatusFromDrive(ioctl), size), disc);
    }

    void xorrisoMedium_data()
    {
        QTest::addColumn<QString>("toc");
        QTest::addColumn<int>("medium");
        QTest::newRow("blank") << "Drive current: -outdev 'stdio:/tmp/blank.img'\n"
                                  "Media current: stdio file, overwriteable\n"
                                  "Media status : is blank\n"
                                  "Media summary: 0 sessions, 0 data blocks, 0 data, 76.7g free\n"
                               << int(Probe::BurnMedium::Blank);
        QTest::newRow("written, appendable")
            << "Media current: stdio file, overwriteable\n"
               "Media status : is written , is appendable\n"
               "Media summary: 1 session, 565 data blocks, 1130k data, 76.7g free\n"
            << int(Probe::BurnMedium::Written);
        QTest::newRow("written, closed") << "Media current: DVD-R sequential recording\n"
                                            "Media status : is written , is closed\n"
                                         << int(Probe::BurnMedium::Written);
        QTest::newRow("no medium") << "Drive current: -outdev '/dev/sr0'\n"
                                      "Media current: is not present\n"
                                   << int(Probe::BurnMedium::Unknown);
    }
    void xorrisoMedium()
    {
        QFETCH(QString, toc);
        QFETCH(int, medium);
        QCOMPARE(int(Probe::XorrisoMedium(toc)), medium);
    }

    // "hdiutil burn" refuses a disc that holds data, changing nothing (the blank burner's burn
    // is shown by the disk tools' own test).
    void refusesDiscHoldingData()
    {
        if (QStandardPaths::findExecutable("xorriso").isEmpty()
            || QStandardPaths::findExecutable("genisoimage").isEmpty())
            QSKIP("xorriso or genisoimage missing");
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("src/hello.txt"), "hello\n"));
        const QString image = dir.filePath("image.iso");
        QCOMPARE(QProcess::execute("genisoimage", { "-quiet", "-o", image, dir.filePath("src") }),
                 0);
        const QString burner = dir.filePath("burner.img");
        const QByteArray before = readFile(image);
        QVERIFY(writeFile(burner, before));
        qputenv("VEXLOR_TEST_OPTICAL_DRIVES", burner.toLocal8Bit());

        const CommandRun burn
            = runCommand(PlatformTools::Program("hdiutil"), DiskTools::BurnArgs(image, burner));
        qunsetenv("VEXLOR_TEST_OPTICAL_DRIVES");
        QVERIFY(burn.code > 0);
        QVERIFY2(burn.output.contains("is not blank: it holds data"), burn.output.constData());
        QCOMPARE(readFile(burner), before);
    }
};

QTEST_GUILESS_MAIN(TestOpticalDrives)
#include "tst_opticaldrives.moc"
