// The Copy-disc page's readings of recorded output: the drive list from "drutil status" and
// makehybrid progress; the volume size read from a disc's descriptors and the sector copy, on
// discs laid out in memory (a bad sector, a short device). The checks before a copy are shown by
// the page test.

#include "logic/copydisclogic.h"

#include <QtTest>

#include <cstring>

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
    void volume_data();
    void volume();
    void copy_data();
    void copy();
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

namespace {

using DiscCopy::SectorSize;

// A disc in memory: its bytes, and sectors from badFrom on (when set) that cannot be read.
struct Disc
{
    QByteArray bytes;
    qint64 badFrom = -1;
    qint64 badTo = -1;

    DiscCopy::Reader reader() const
    {
        return [this](qint64 offset, char *data, qint64 size, QString *error) -> qint64 {
            if (badFrom >= 0 && offset + size > badFrom * SectorSize
                && offset < badTo * SectorSize) {
                *error = "Input/output error";
                return -1;
            }
            // Reads come back in pieces of at most 100 KiB, as devices may return them.
            const qint64 n
                = qBound<qint64>(0, qMin<qint64>(size, 100 * 1024), bytes.size() - offset);
            memcpy(data, bytes.constData() + offset, size_t(n));
            return n;
        };
    }
    char *sector(qint64 index)
    {
        if (bytes.size() < (index + 1) * SectorSize)
            bytes.append(int((index + 1) * SectorSize - bytes.size()), '\0');
        return bytes.data() + index * SectorSize;
    }
    void put(qint64 sectorIndex, int at, quint32 value, int size = 4)
    {
        char *s = sector(sectorIndex);
        for (int i = 0; i < size; ++i)
            s[at + i] = char(value >> (8 * i));
    }
    void descriptor(qint64 index, quint8 type, const char *id)
    {
        sector(index)[0] = char(type);
        memcpy(sector(index) + 1, id, 5);
    }
    // An ISO 9660 primary volume descriptor and terminator at 16.
    void iso(quint32 sectors)
    {
        descriptor(16, 1, "CD001");
        put(16, 80, sectors);
        put(16, 128, 2048, 2);
        descriptor(17, 255, "CD001");
    }
    // A UDF tag naming its sector, with its checksum.
    void tag(qint64 index, quint16 id)
    {
        put(index, 0, id, 2);
        put(index, 12, quint32(index));
        char *s = sector(index);
        quint8 sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += i == 4 ? 0 : quint8(s[i]);
        s[4] = char(sum);
    }
    // The UDF recognition sequence after the ISO descriptors, the anchor at 256, a main
    // sequence at 32 with one partition (start, length), a reserve sequence at 48, and, when
    // closingAnchor, an anchor in the last sector of a device of deviceSectors.
    void udf(quint32 start, quint32 length, qint64 deviceSectors, bool closingAnchor)
    {
        const qint64 first = sector(16)[1] == 'C' ? 18 : 16;
        descriptor(first, 0, "BEA01");
        descriptor(first + 1, 0, "NSR03");
        descriptor(first + 2, 0, "TEA01");
        put(256, 16, 4 * SectorSize);
        put(256, 20, 32);
        put(256, 24, 4 * SectorSize);
        put(256, 28, 48);
        tag(256, 2);
        put(32, 188, start);
        put(32, 192, length);
        tag(32, 5);
        tag(33, 8);
        sector(deviceSectors - 1);
        if (closingAnchor)
            tag(deviceSectors - 1, 2);
    }
};

} // namespace

void TestCopyDiscLogic::volume_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("sectors");
    QTest::newRow("ISO 9660") << "iso 400" << int(DiscCopy::Volume::Iso9660) << qint64(400);
    QTest::newRow("UDF closed by an anchor at the device's end")
        << "udf 300 200 anchor" << int(DiscCopy::Volume::Udf) << qint64(600);
    QTest::newRow("UDF without a closing anchor: its partition's end")
        << "udf 300 200" << int(DiscCopy::Volume::Udf) << qint64(500);
    QTest::newRow("ISO 9660 and UDF: the larger")
        << "iso 400 udf 300 200" << int(DiscCopy::Volume::Udf) << qint64(500);
    QTest::newRow("ISO 9660 larger than UDF")
        << "iso 550 udf 300 200" << int(DiscCopy::Volume::Iso9660) << qint64(550);
    QTest::newRow("no volume") << "" << int(DiscCopy::Volume::None) << qint64(0);
    QTest::newRow("descriptors unreadable")
        << "iso 400 bad" << int(DiscCopy::Volume::None) << qint64(0);
}

void TestCopyDiscLogic::volume()
{
    QFETCH(QString, layout);
    QFETCH(int, kind);
    QFETCH(qint64, sectors);
    Disc disc;
    disc.sector(599); // a device of 600 sectors
    const QStringList words = layout.split(' ', Qt::SkipEmptyParts);
    for (int i = 0; i < words.size(); ++i) {
        if (words[i] == "iso")
            disc.iso(words[++i].toUInt());
        else if (words[i] == "udf")
            disc.udf(words[i + 1].toUInt(), words[i + 2].toUInt(), 600,
                     words.value(i + 3) == "anchor");
        else if (words[i] == "bad")
            disc.badFrom = 16, disc.badTo = 17;
    }
    const DiscCopy::Volume volume = DiscCopy::ReadVolume(disc.reader(), disc.bytes.size());
    QCOMPARE(int(volume.kind), kind);
    QCOMPARE(volume.sectors, sectors);
    QCOMPARE(volume.Found(), kind != DiscCopy::Volume::None);
    QCOMPARE(volume.error.isEmpty(), volume.Found());
    if (layout.endsWith("bad"))
        QCOMPARE(volume.error, QString("Input/output error"));
}

void TestCopyDiscLogic::copy_data()
{
    QTest::addColumn<qint64>("deviceSectors");
    QTest::addColumn<qint64>("badSector");
    QTest::addColumn<qint64>("writeLimit"); // bytes the image may take, -1 for no limit
    QTest::addColumn<int>("stopAfter"); // blocks, -1 to run to the end
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("sector");
    QTest::addColumn<QString>("message");
    const qint64 all = -1;
    QTest::newRow("whole volume") << qint64(1300) << all << all << -1 << int(DiscCopy::Result::Done)
                                  << qint64(-1) << "";
    QTest::newRow("an unreadable sector is named")
        << qint64(1300) << qint64(700) << all << -1 << int(DiscCopy::Result::ReadError)
        << qint64(700) << "cannot be read at sector 700 (byte 1433600): Input/output error.";
    QTest::newRow("device shorter than its volume")
        << qint64(1000) << all << all << -1 << int(DiscCopy::Result::EndOfDisc) << qint64(1000)
        << "ends at sector 1000 (byte 2048000), before the end of its volume.";
    QTest::newRow("image cannot be written")
        << qint64(1300) << all << qint64(1024 * 1024) << -1 << int(DiscCopy::Result::WriteError)
        << qint64(512) << "The ISO file cannot be written: No space left on device.";
    QTest::newRow("stopped") << qint64(1300) << all << all << 1 << int(DiscCopy::Result::Stopped)
                             << qint64(512) << "";
}

// A volume of 1200 sectors (three blocks, the last one short) on devices that fail in turn.
void TestCopyDiscLogic::copy()
{
    QFETCH(qint64, deviceSectors);
    QFETCH(qint64, badSector);
    QFETCH(qint64, writeLimit);
    QFETCH(int, stopAfter);
    QFETCH(int, kind);
    QFETCH(qint64, sector);
    QFETCH(QString, message);
    Disc disc;
    for (qint64 i = 0; i < deviceSectors; ++i)
        memset(disc.sector(i), int(i % 251), size_t(SectorSize));
    disc.badFrom = badSector;
    disc.badTo = badSector + 1;
    QByteArray image;
    auto write = [&](const char *data, qint64 size, QString *error) {
        if (writeLimit >= 0 && image.size() + size > writeLimit) {
            *error = "No space left on device";
            return false;
        }
        image.append(data, int(size));
        return true;
    };
    int blocks = 0;
    const DiscCopy::Result result = DiscCopy::Copy(disc.reader(), write, 1200, [&](qint64 done) {
        return done == qMin<qint64>(++blocks * DiscCopy::BlockSectors, 1200) && blocks != stopAfter;
    });
    QCOMPARE(int(result.kind), kind);
    QCOMPARE(result.sector, sector);
    QVERIFY(disc.bytes.startsWith(image));
    if (kind == DiscCopy::Result::Done)
        QCOMPARE(image.size(), 1200 * SectorSize);
    const QString shown = DeviceCopyFailure(result, "/dev/sr0");
    QVERIFY2(message.isEmpty() ? shown.isEmpty() : shown.endsWith(message), qPrintable(shown));
}

QTEST_GUILESS_MAIN(TestCopyDiscLogic)
#include "tst_copydisclogic.moc"
