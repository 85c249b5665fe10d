// The Copy-disc page's readings of recorded output: the drive list from "drutil status" and
// makehybrid progress. The checks before a copy are shown by the page test.

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
    void toolMessage_data();
    void toolMessage();
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
        if (reader.Feed(line, &drive))
            got << drive.Text() + "|" + drive.device;
    }
    QCOMPARE(got, drives);
}

void TestCopyDiscLogic::progress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value");
    QTest::newRow("half") << "DRStatusPercentCompleteKey: 0.5" << 5000;
    QTest::newRow("done") << "DRStatusPercentCompleteKey: 1" << 10000;
    QTest::newRow("above one is done") << "DRStatusPercentCompleteKey: 1.5" << 10000;
    QTest::newRow("zero changes nothing") << "DRStatusPercentCompleteKey: 0" << -1;
    QTest::newRow("not a number") << "DRStatusPercentCompleteKey: soon" << -1;
    QTest::newRow("other line") << "  2.17% done, estimate finish Mon Dec  7 23:52:43 2026" << -1;
}

void TestCopyDiscLogic::progress()
{
    QFETCH(QString, line);
    QFETCH(int, value);
    QCOMPARE(ProgressValue(line), value);
}

void TestCopyDiscLogic::toolMessage_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");
    QTest::newRow("the tool's error, progress left out")
        << QStringList { "DRStatusPercentCompleteKey: 0.5",
                         "genisoimage: File too large. Cannot write image.",
                         "DRStatusPercentCompleteKey: 0.6" }
        << "genisoimage: File too large. Cannot write image.";
    QTest::newRow("only progress") << QStringList { "DRStatusPercentCompleteKey: 0.5" } << "";
    QTest::newRow("nothing") << QStringList {} << "";
}

// The message is picked from what the copy run's error reader keeps.
void TestCopyDiscLogic::toolMessage()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    CRunOutcome end;
    end.kind = CRunOutcome::ToolError;
    const CErrorLineReader reader = ErrorReader();
    for (const QString &line : lines) {
        const QString kept = reader(line);
        if (!kept.isEmpty())
            end.errorLines << kept;
    }
    QCOMPARE(ToolMessage(end), message);
}

QTEST_GUILESS_MAIN(TestCopyDiscLogic)
#include "tst_copydisclogic.moc"
