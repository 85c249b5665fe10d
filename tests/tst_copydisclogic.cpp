// The Copy-disc page's own decisions on recorded output: the drive list from "drutil status",
// makehybrid progress, the target check and the tool's message.

#include "pages/copydisclogic.h"

#include <QtTest>

using namespace CopyDiscLogic;

class TestCopyDiscLogic : public QObject
{
    Q_OBJECT

private slots:
    void driveStatus_data();
    void driveStatus();
    void progress_data();
    void progress();
    void inside_data();
    void inside();
    void toolMessageLeavesProgressOut();
};

namespace {
const QString Header = QStringLiteral(" Vendor   Product           Rev ");
const QString Matshita = QStringLiteral(" MATSHITA DVD-R   UJ-898     HE13");
const QString TypeDisk2 = QStringLiteral("           Type: DVD-ROM              Name: /dev/disk2");
} // namespace

void TestCopyDiscLogic::driveStatus_data()
{
    QTest::addColumn<QStringList>("lines");
    // "entry text|device" per drive
    QTest::addColumn<QStringList>("drives");

    const QString one = "MATSHITA DVD-R UJ-898 HE13 (/dev/disk2)|/dev/disk2";
    QTest::newRow("two drives") << QStringList { Header,
                                                 Matshita,
                                                 TypeDisk2,
                                                 Header,
                                                 "  QEMU     QEMU DVD-ROM      2.5+",
                                                 "  Type: DVD-ROM   Name: /dev/sr0" }
                                << QStringList { one,
                                                 "QEMU QEMU DVD-ROM 2.5+ (/dev/sr0)|/dev/sr0" };
    // The second drive gets its own description, not the unnamed first one's.
    QTest::newRow("drive without a name, then another")
        << QStringList { Header,
                         Matshita,
                         "  Type: No Media",
                         Header,
                         "  QEMU QEMU DVD-ROM 2.5+",
                         "  Type: DVD-ROM   Name: /dev/sr1" }
        << QStringList { "QEMU QEMU DVD-ROM 2.5+ (/dev/sr1)|/dev/sr1" };
}

void TestCopyDiscLogic::driveStatus()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, drives);
    QStringList got;
    DiskTools::DriveStatusReader reader;
    DiskTools::Drive drive;
    for (const QString &line : lines) {
        if (FeedDriveStatus(reader, line, &drive))
            got << drive.Text() + "|" + drive.device;
    }
    QCOMPARE(got, drives);
}

void TestCopyDiscLogic::progress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value");
    QTest::newRow("half") << "DRStatusPercentCompleteKey: 0.5" << 5000;
    QTest::newRow("quarter, blanks around") << "  DRStatusPercentCompleteKey:   0.25  " << 2500;
    QTest::newRow("done") << "DRStatusPercentCompleteKey: 1" << 10000;
    QTest::newRow("above one is done") << "DRStatusPercentCompleteKey: 1.5" << 10000;
    QTest::newRow("zero changes nothing") << "DRStatusPercentCompleteKey: 0" << -1;
    QTest::newRow("negative") << "DRStatusPercentCompleteKey: -0.2" << -1;
    QTest::newRow("not a number") << "DRStatusPercentCompleteKey: soon" << -1;
    QTest::newRow("empty value") << "DRStatusPercentCompleteKey:" << -1;
    QTest::newRow("other line") << "  2.17% done, estimate finish Mon Dec  7 23:52:43 2026" << -1;
}

void TestCopyDiscLogic::progress()
{
    QFETCH(QString, line);
    QFETCH(int, value);
    QCOMPARE(ProgressValue(line), value);
}

void TestCopyDiscLogic::inside_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("inside");
    QTest::newRow("the folder itself") << "/media/disc"
                                       << "/media/disc" << true;
    QTest::newRow("below") << "/media/disc/a/b"
                           << "/media/disc" << true;
    QTest::newRow("trailing slash") << "/media/disc/a"
                                    << "/media/disc/" << true;
    QTest::newRow("a sibling starting alike") << "/media/disc2/a"
                                              << "/media/disc" << false;
    QTest::newRow("above") << "/media"
                           << "/media/disc" << false;
    QTest::newRow("root holds everything") << "/tmp/x"
                                           << "/" << true;
    QTest::newRow("no folder") << "/tmp/x"
                               << "" << false;
}

void TestCopyDiscLogic::inside()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(bool, inside);
    QCOMPARE(IsInside(path, folder), inside);
}

void TestCopyDiscLogic::toolMessageLeavesProgressOut()
{
    const QStringList lines { "DRStatusPercentCompleteKey: 0.1",
                              "genisoimage: No space left on device. cannot fwrite 32768*1",
                              "DRStatusPercentCompleteKey: 0.2" };
    QCOMPARE(PickToolMessage(lines),
             QString("genisoimage: No space left on device. cannot fwrite 32768*1"));
    QCOMPARE(PickToolMessage({ "DRStatusPercentCompleteKey: 0.5" }), QString());
}

QTEST_GUILESS_MAIN(TestCopyDiscLogic)
#include "tst_copydisclogic.moc"
