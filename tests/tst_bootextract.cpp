// El Torito boot image extraction on images built here with genisoimage: a no-emulation image,
// a 1.44 MB floppy image and a plain data image, then patched and damaged copies of them.
// The catalog and boot image are located by reading the boot record ourselves.

#include "services/util.h"
#include "testhelpers.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace TestHelpers;

namespace {

const qint64 kSector = 2048;

quint32 le32(const QByteArray &image, qint64 pos)
{
    const auto *p = reinterpret_cast<const unsigned char *>(image.constData() + pos);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

QByteArray le32Bytes(quint32 v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

QByteArray pattern(int size, quint32 seed)
{
    QByteArray bytes(size, 0);
    quint32 x = seed;
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

// Collects what is written to the process's standard output (file descriptor 1) meanwhile.
class StdoutCapture
{
public:
    explicit StdoutCapture(const QString &file)
        : m_file(file)
    {
        std::fflush(stdout);
        m_saved = dup(1);
        const int fd
            = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        ::close(fd);
    }
    QString finish()
    {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, 1);
            ::close(m_saved);
            m_saved = -1;
        }
        return QString::fromLocal8Bit(readFile(m_file));
    }
    ~StdoutCapture() { finish(); }

private:
    QString m_file;
    int m_saved = -1;
};

// A patch: area ("br" boot record, "cat" catalog) + offset + the bytes, kept as hex.
QString patch(const char *area, int offset, const QByteArray &bytes)
{
    return QString("%1:%2:%3").arg(area).arg(offset).arg(QString::fromLatin1(bytes.toHex()));
}
QString patchHex(const char *area, int offset, const char *hex)
{
    return patch(area, offset, QByteArray::fromHex(hex));
}

// Diagnostics of the code under test, collected instead of going to the test log (which shares
// standard output with what ProcessEntry prints).
QStringList *g_messages = nullptr;
void collectMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    if (g_messages)
        *g_messages << text;
}

} // namespace

class TestBootExtract : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noEmulation();
    void floppy();
    void plainDataImage();
    void patched_data();
    void patched();
    void truncated_data();
    void truncated();
    void beyondTwoGiB();
    void outputFile();
    void unreadableImage();
    void read_data();
    void read();

private:
    QString buildImage(const QString &name, const QStringList &bootArgs,
                       const QMap<QString, QByteArray> &files);
    QString run(const QString &iso, const QString &out, bool *result);
    QStringList m_messages;

    QTemporaryDir m_tmp;
    QString m_noEmul, m_floppy, m_data;
    QByteArray m_noEmulBytes, m_floppyBytes;
    QByteArray m_bootBin, m_floppyImg;
    qint64 m_catalogOffset = 0; // of the no-emulation image
    qint64 m_bootOffset = 0;
    int m_case = 0;
};

QString TestBootExtract::buildImage(const QString &name, const QStringList &bootArgs,
                                    const QMap<QString, QByteArray> &files)
{
    QString mkisofs = QStandardPaths::findExecutable("genisoimage");
    if (mkisofs.isEmpty())
        mkisofs = QCoreApplication::applicationDirPath() + "/cdrtools/mkisofs";
    const QString src = m_tmp.filePath(name + "-src");
    QDir().mkpath(src);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        if (!writeFile(src + "/" + it.key(), it.value()))
            return QString();
    const QString iso = m_tmp.filePath(name + ".iso");
    return runCommand(mkisofs, QStringList { "-quiet", "-o", iso } + bootArgs + QStringList { src })
               .ok()
        ? iso
        : QString();
}

void TestBootExtract::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    if (QStandardPaths::findExecutable("genisoimage").isEmpty()
        && !QFileInfo(QCoreApplication::applicationDirPath() + "/cdrtools/mkisofs").isExecutable())
        QSKIP("genisoimage not available");

    m_bootBin = pattern(2048, 1);
    m_floppyImg = pattern(1474560, 2);
    m_noEmul = buildImage(
        "noemul", { "-b", "boot.bin", "-c", "boot.cat", "-no-emul-boot", "-boot-load-size", "4" },
        { { "boot.bin", m_bootBin }, { "readme.txt", "hello\n" } });
    m_floppy
        = buildImage("floppy", { "-b", "fd.img", "-c", "boot.cat" }, { { "fd.img", m_floppyImg } });
    m_data = buildImage("data", {}, { { "readme.txt", "hello\n" } });
    QVERIFY(!m_noEmul.isEmpty() && !m_floppy.isEmpty() && !m_data.isEmpty());
    m_noEmulBytes = readFile(m_noEmul);
    m_floppyBytes = readFile(m_floppy);

    // Locate the catalog (sector 17, bytes 71..74) and the default entry's load RBA ourselves.
    m_catalogOffset = le32(m_noEmulBytes, 17 * kSector + 71) * kSector;
    m_bootOffset = le32(m_noEmulBytes, m_catalogOffset + 40) * kSector;
    QVERIFY(m_catalogOffset > 17 * kSector && m_catalogOffset < m_noEmulBytes.size());
    QCOMPARE(m_noEmulBytes.mid(int(m_bootOffset), 2048), m_bootBin);
    QCOMPARE(quint8(m_noEmulBytes[int(m_catalogOffset + 32)]), quint8(0x88));
    QCOMPARE(quint8(m_noEmulBytes[int(m_catalogOffset + 33)]), quint8(0)); // no emulation
    QCOMPARE(quint8(m_noEmulBytes[int(m_catalogOffset + 38)]), quint8(4)); // 4 virtual sectors
}

// Runs BootExtract with standard output captured; returns what it printed there.
QString TestBootExtract::run(const QString &iso, const QString &out, bool *result)
{
    m_messages.clear();
    g_messages = &m_messages;
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    StdoutCapture capture(m_tmp.filePath(QString("stdout%1.txt").arg(++m_case)));
    *result = Util::BootExtract(iso, out);
    const QString printed = capture.finish();
    qInstallMessageHandler(previous);
    g_messages = nullptr;
    return printed;
}

void TestBootExtract::noEmulation()
{
    const QString out = m_tmp.filePath("noemul.bin");
    bool ok = false;
    const QString printed = run(m_noEmul, out, &ok);
    QVERIFY(ok);
    QCOMPARE(m_messages,
             QStringList(
                 { QString("\nReading boot-catalog from sector %1").arg(m_catalogOffset / kSector),
                   "No emulation\n" }));
    QCOMPARE(printed, QString("  Boot-Indicator: Bootable\n"));
    QCOMPARE(readFile(out), m_bootBin); // 4 x 512 bytes from load RBA x 2048
}

void TestBootExtract::floppy()
{
    const QString out = m_tmp.filePath("floppy.bin");
    const qint64 catalog = le32(m_floppyBytes, 17 * kSector + 71) * kSector;
    QCOMPARE(quint8(m_floppyBytes[int(catalog + 33)]), quint8(2)); // 1.44 MB diskette
    bool ok = false;
    const QString printed = run(m_floppy, out, &ok);
    QVERIFY(ok);
    QVERIFY(m_messages.contains("1.44 meg diskette\n"));
    QCOMPARE(printed,
             QString("  Boot-Indicator: Bootable\n  Sector count to read: 2880 (1474560 bytes)\n"));
    const QByteArray written = readFile(out);
    QCOMPARE(written.size(), 1474560);
    QVERIFY(written == m_floppyImg);
}

void TestBootExtract::plainDataImage()
{
    const QString out = m_tmp.filePath("data.bin");
    bool ok = true;
    QCOMPARE(run(m_data, out, &ok), QString());
    QVERIFY(!ok);
    QCOMPARE(m_messages, QStringList("Invalid boot-record-volume!\n"));
    QVERIFY(!QFile::exists(out));
}

void TestBootExtract::patched_data()
{
    QTest::addColumn<QString>("base"); // "noemul" or "floppy"
    QTest::addColumn<QStringList>("patches");
    QTest::addColumn<bool>("result");
    // "none", "boot" (the whole no-emulation boot file), "floppy:N" (the first N bytes of the
    // floppy image), "at:OFFSET:LENGTH" (bytes of the patched image)
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("diagnostic"); // one message that must appear, or empty

    const QString bootable = "  Boot-Indicator: Bootable\n";
    const QString notBootable = "  Boot-Indicator: Not Bootable\n";
    const int past = int(m_noEmulBytes.size() / kSector + 5);

    QTest::newRow("default entry not bootable")
        << "noemul" << QStringList { patchHex("cat", 32, "00") } << true << "none" << notBootable
        << "";
    QTest::newRow("boot indicator other than 0x88")
        << "noemul" << QStringList { patchHex("cat", 32, "80") } << true << "none" << notBootable
        << "";
    QTest::newRow("media type 0x14 read as hard disk")
        << "noemul" << QStringList { patchHex("cat", 33, "14") } << true << "boot" << bootable
        << "Hard disk (drive 80)\n";
    QTest::newRow("high bits of the media type ignored")
        << "noemul" << QStringList { patchHex("cat", 33, "f0") } << true << "boot" << bootable
        << "No emulation\n";
    QTest::newRow("media types 5 to 15 unknown")
        << "noemul" << QStringList { patchHex("cat", 33, "0f") } << true << "boot" << bootable
        << "Unknown\n";
    QTest::newRow("wrong validation checksum accepted")
        << "noemul" << QStringList { patchHex("cat", 28, "1234") } << true << "boot" << bootable
        << "No emulation\n";
    QTest::newRow("platform ID and ID string not examined")
        << "noemul" << QStringList { patchHex("cat", 1, "ef"), patch("cat", 4, "junk junk") }
        << true << "boot" << bootable << "";
    QTest::newRow("sector count 0 writes an empty file")
        << "noemul" << QStringList { patch("cat", 38, QByteArray(2, 0)) } << true << "at:0:0"
        << bootable << "";
    QTest::newRow("sector count 1")
        << "noemul" << QStringList { patch("cat", 38, QByteArray("\x01\x00", 2)) } << true
        << QString("at:%1:512").arg(m_bootOffset) << bootable << "";
    QTest::newRow("load RBA 0") << "noemul" << QStringList { patch("cat", 40, QByteArray(4, 0)) }
                                << true << "at:0:2048" << bootable << "";
    QTest::newRow("huge sector count past the end")
        << "noemul" << QStringList { patchHex("cat", 38, "ffff") } << true << "none" << bootable
        << "Util::Read error";
    QTest::newRow("load RBA past the end")
        << "noemul" << QStringList { patch("cat", 40, le32Bytes(quint32(past))) } << true << "none"
        << bootable << "";
    QTest::newRow("empty boot image past the end: no file")
        << "noemul"
        << QStringList { patch("cat", 38, QByteArray(2, 0)),
                         patch("cat", 40, le32Bytes(quint32(past))) }
        << true << "none" << bootable << "";
    QTest::newRow("load RBA 0xFFFFFFFF")
        << "noemul" << QStringList { patchHex("cat", 40, "ffffffff") } << true << "none" << bootable
        << "";
    QTest::newRow("1.2 MB diskette past the end of a small image")
        << "noemul" << QStringList { patchHex("cat", 33, "01") } << true << "none"
        << bootable + "  Sector count to read: 2400 (1228800 bytes)\n"
        << "1.2 meg diskette\n";
    QTest::newRow("1.2 MB diskette type on the floppy image")
        << "floppy" << QStringList { patchHex("cat", 33, "01") } << true << "floppy:1228800"
        << bootable + "  Sector count to read: 2400 (1228800 bytes)\n"
        << "";
    QTest::newRow("2.88 MB diskette runs past the end")
        << "floppy" << QStringList { patchHex("cat", 33, "03") } << true << "none"
        << bootable + "  Sector count to read: 5760 (2949120 bytes)\n"
        << "2.88 meg diskette\n";
    QTest::newRow("diskette whose entry count equals the fixed count: no count line")
        << "floppy" << QStringList { patch("cat", 38, QByteArray("\x40\x0B", 2)) } << true
        << "floppy:1474560" << bootable << "";
    QTest::newRow("validation header ID 0")
        << "noemul" << QStringList { patchHex("cat", 0, "00") } << false << "none"
        << ""
        << "Invalid validation-entry in boot-catalog!\n";
    QTest::newRow("key byte 30") << "noemul" << QStringList { patchHex("cat", 30, "54") } << false
                                 << "none"
                                 << ""
                                 << "Invalid validation-entry in boot-catalog!\n";
    QTest::newRow("key byte 31") << "noemul" << QStringList { patchHex("cat", 31, "ab") } << false
                                 << "none"
                                 << ""
                                 << "Invalid validation-entry in boot-catalog!\n";
    QTest::newRow("boot record indicator")
        << "noemul" << QStringList { patchHex("br", 0, "01") } << false << "none"
        << ""
        << "Invalid boot-record-volume!\n";
    QTest::newRow("boot record version")
        << "noemul" << QStringList { patchHex("br", 6, "02") } << false << "none"
        << ""
        << "Invalid boot-record-volume!\n";
    QTest::newRow("standard identifier")
        << "noemul" << QStringList { patch("br", 1, "CD002") } << false << "none"
        << ""
        << "Invalid signature in boot-record-volume!\n";
    QTest::newRow("lower-case system identifier")
        << "noemul" << QStringList { patch("br", 7, "el torito specification") } << false << "none"
        << ""
        << "Invalid signature in boot-record-volume!\n";
    QTest::newRow("NUL inside the system identifier")
        << "noemul" << QStringList { patchHex("br", 12, "00") } << false << "none"
        << ""
        << "Invalid signature in boot-record-volume!\n";
    QTest::newRow("identifier padded with blanks")
        << "noemul" << QStringList { patch("br", 30, QByteArray(9, ' ')) } << true << "boot"
        << bootable << "";
    QTest::newRow("catalog sector past the end")
        << "noemul" << QStringList { patch("br", 71, le32Bytes(quint32(past))) } << false << "none"
        << ""
        << "Could not read the file/drive ";
    QTest::newRow("catalog sector 0xFFFFFFFF")
        << "noemul" << QStringList { patchHex("br", 71, "ffffffff") } << false << "none"
        << ""
        << "Could not read the file/drive ";
    QTest::newRow("catalog sector 0")
        << "noemul" << QStringList { patch("br", 71, QByteArray(4, 0)) } << false << "none"
        << ""
        << "Invalid validation-entry in boot-catalog!\n";
}

void TestBootExtract::patched()
{
    QFETCH(QString, base);
    QFETCH(QStringList, patches);
    QFETCH(QString, output);
    QFETCH(QString, diagnostic);

    QByteArray image = base == "noemul" ? m_noEmulBytes : m_floppyBytes;
    const qint64 catalog = le32(image, 17 * kSector + 71) * kSector;
    for (const QString &p : patches) {
        const QString area = p.section(':', 0, 0);
        qint64 at = p.section(':', 1, 1).toLongLong();
        at += area == "br" ? 17 * kSector : area == "cat" ? catalog : 0;
        const QByteArray bytes = QByteArray::fromHex(p.section(':', 2).toLatin1());
        image.replace(int(at), bytes.size(), bytes);
    }
    const QString iso = m_tmp.filePath(QString("patched%1.iso").arg(m_case));
    const QString out = m_tmp.filePath(QString("patched%1.bin").arg(m_case));
    QVERIFY(writeFile(iso, image));

    bool ok = false;
    const QString printed = run(iso, out, &ok);
    if (!diagnostic.isEmpty())
        QVERIFY2(m_messages.contains(diagnostic), qPrintable(m_messages.join('|')));
    QTEST(ok, "result");
    QTEST(printed, "printed");
    if (output == "none") {
        QVERIFY(!QFile::exists(out));
    } else {
        QByteArray expected;
        if (output == "boot")
            expected = m_bootBin;
        else if (output.startsWith("floppy:"))
            expected = m_floppyImg.left(output.section(':', 1).toInt());
        else
            expected = image.mid(output.section(':', 1, 1).toInt(), output.section(':', 2).toInt());
        QVERIFY(QFile::exists(out));
        const QByteArray written = readFile(out);
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected);
    }
}

void TestBootExtract::truncated_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("written");

    const qint64 record = 17 * kSector;
    QTest::newRow("empty file") << qint64(0) << false << false;
    QTest::newRow("first sectors only") << qint64(100) << false << false;
    QTest::newRow("before the boot record") << record << false << false;
    QTest::newRow("inside the boot record") << record + 1000 << false << false;
    QTest::newRow("before the catalog") << m_catalogOffset << false << false;
    QTest::newRow("inside the catalog") << m_catalogOffset + 40 << false << false;
    QTest::newRow("one byte short of the catalog")
        << m_catalogOffset + kSector - 1 << false << false;
    const qint64 catalogEnd = m_catalogOffset + kSector;
    QTest::newRow("after the catalog") << qMax(catalogEnd, m_bootOffset)
                                       << (catalogEnd <= qMax(catalogEnd, m_bootOffset)) << false;
    QTest::newRow("inside the boot image") << m_bootOffset + 1000 << true << false;
    QTest::newRow("one byte short of the boot image") << m_bootOffset + 2047 << true << false;
    QTest::newRow("boot image complete") << m_bootOffset + 2048 << true << true;
}

void TestBootExtract::truncated()
{
    QFETCH(qint64, length);
    QFETCH(bool, written);
    const QString iso = m_tmp.filePath(QString("cut%1.iso").arg(m_case));
    const QString out = m_tmp.filePath(QString("cut%1.bin").arg(m_case));
    QVERIFY(writeFile(iso, m_noEmulBytes.left(int(length))));
    bool ok = false;
    run(iso, out, &ok);
    QTEST(ok, "result");
    QCOMPARE(QFile::exists(out), written);
    if (written)
        QCOMPARE(readFile(out), m_bootBin);
}

// A catalog and boot image that start beyond 2 GiB, in a sparse copy of the image.
void TestBootExtract::beyondTwoGiB()
{
    const quint32 catalogSector = 1100000; // byte offset 2,252,800,000
    QByteArray catalog = m_noEmulBytes.mid(int(m_catalogOffset), int(kSector));
    catalog.replace(40, 4, le32Bytes(catalogSector + 1));
    QByteArray head = m_noEmulBytes;
    head.replace(int(17 * kSector + 71), 4, le32Bytes(catalogSector));

    const QString iso = m_tmp.filePath("sparse.iso");
    QFile f(iso);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(head) == head.size());
    if (!f.seek(qint64(catalogSector) * kSector) || f.write(catalog) != kSector
        || f.write(m_bootBin) != m_bootBin.size())
        QSKIP("no room for a sparse file of 2 GiB here");
    f.close();

    const QString out = m_tmp.filePath("sparse.bin");
    bool ok = false;
    run(iso, out, &ok);
    QFile::remove(iso);
    QVERIFY(ok);
    QVERIFY(m_messages.contains("\nReading boot-catalog from sector 1100000"));
    QCOMPARE(readFile(out), m_bootBin);
}

void TestBootExtract::outputFile()
{
    bool ok = false;

    // A longer file already at the output path is replaced, not overwritten at its start only.
    const QString out = m_tmp.filePath("existing.bin");
    QVERIFY(writeFile(out, QByteArray(10000, 'Z')));
    run(m_noEmul, out, &ok);
    QVERIFY(ok);
    QCOMPARE(readFile(out), m_bootBin);

    // An output folder that does not exist: the boot record was good, nothing is written.
    const QString nowhere = m_tmp.filePath("no/such/folder/boot.bin");
    run(m_noEmul, nowhere, &ok);
    QVERIFY(ok);
    QVERIFY(m_messages.contains("Util::WriteData can not open file"));
    QVERIFY(!QFile::exists(nowhere));

    // WriteData alone: creates, then rewrites to exactly the new length.
    QString direct = m_tmp.filePath("direct.bin");
    QByteArray data("abcdef");
    Util::WriteData(direct, data.data(), data.size());
    QCOMPARE(readFile(direct), QByteArray("abcdef"));
    QByteArray shorter("xy");
    Util::WriteData(direct, shorter.data(), shorter.size());
    QCOMPARE(readFile(direct), QByteArray("xy"));
    Util::WriteData(direct, nullptr, 0);
    QVERIFY(QFile::exists(direct));
    QCOMPARE(QFileInfo(direct).size(), qint64(0));
}

void TestBootExtract::unreadableImage()
{
    bool ok = true;
    const QString out = m_tmp.filePath("unreadable.bin");
    run(m_tmp.filePath("missing.iso"), out, &ok);
    QVERIFY(!ok);
    QCOMPARE(m_messages, QStringList("Util::BootExtract open file error!"));

    ok = true;
    run(m_tmp.path(), out, &ok); // a folder
    QVERIFY(!ok);

    ok = true;
    run(QString(), out, &ok);
    QVERIFY(!ok);
    QVERIFY(!QFile::exists(out));
}

void TestBootExtract::read_data()
{
    QTest::addColumn<bool>("device");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("result");

    QTest::newRow("whole buffer") << true << qint64(0) << 100 << 0;
    QTest::newRow("tail") << true << qint64(90) << 10 << 0;
    QTest::newRow("nothing at the end") << true << qint64(100) << 0 << 0;
    QTest::newRow("one byte short") << true << qint64(91) << 10 << 32;
    QTest::newRow("seek past the end of a buffer") << true << qint64(1000) << 1 << 25;
    QTest::newRow("negative offset") << true << qint64(-1) << 1 << 25;
    QTest::newRow("negative length") << true << qint64(0) << -5 << 32;
    QTest::newRow("no device") << false << qint64(0) << 1 << 25;
}

void TestBootExtract::read()
{
    QFETCH(bool, device);
    QFETCH(qint64, offset);
    QFETCH(int, length);
    QFETCH(int, result);

    QByteArray data = pattern(100, 7);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream;
    if (device)
        stream.setDevice(&buffer);
    QByteArray target(qMax(length, 0) + 8, '\xEE');
    if (result == 32)
        QTest::ignoreMessage(QtDebugMsg, "Util::Read error");
    QCOMPARE(Util::Read(stream, offset, length, target.data()), result);
    if (result == 0) {
        QCOMPARE(target.left(length), data.mid(int(offset), length));
        QCOMPARE(target.mid(length), QByteArray(8, '\xEE')); // nothing written past length
    }
}

QTEST_GUILESS_MAIN(TestBootExtract)
#include "tst_bootextract.moc"
