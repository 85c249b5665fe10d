// Hostile input for the readers: thousands of mutated boot records, catalogs and default entries,
// truncated images, and mutated listing rows, from a fixed seed. Nothing may crash or read
// outside a buffer (the sanitizer build checks that), an output file appears only when the whole
// boot image could be read and then holds exactly those bytes, and the tree stays consistent.

#include "model/ctree.h"
#include "model/listing.h"
#include "services/util.h"
#include "testhelpers.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <random>
#include <unistd.h>

using namespace TestHelpers;

namespace {

const int kSector = 2048;

quint32 le32(const QByteArray &b, qint64 pos)
{
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + pos);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

void putLe32(QByteArray &b, int pos, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[pos + i] = char((v >> (8 * i)) & 0xFF);
}

void putLe16(QByteArray &b, int pos, quint16 v)
{
    b[pos] = char(v & 0xFF);
    b[pos + 1] = char(v >> 8);
}

// The byte count the default entry asks for, by the low four bits of its media type.
qint64 entryLength(const unsigned char *entry)
{
    static const int fixed[16] = { 0, 2400, 2880, 5760 };
    const int type = entry[1] & 0x0F;
    const int count = fixed[type] ? fixed[type] : (entry[6] | entry[7] << 8);
    return qint64(count) * 512;
}

// What a correct reader does with this image: the result and the bytes written (if any).
struct Expected
{
    bool result = false;
    bool written = false;
    QByteArray bytes;
};

Expected expectFor(const QByteArray &image)
{
    Expected e;
    const qint64 size = image.size();
    if (size < 18 * kSector)
        return e;
    const auto *br = reinterpret_cast<const unsigned char *>(image.constData() + 17 * kSector);
    if (br[0] != 0 || br[6] != 1 || std::memcmp(br + 1, "CD001", 5) != 0
        || std::memcmp(br + 7, "EL TORITO SPECIFICATION", 23) != 0)
        return e;
    const qint64 catalog = qint64(le32(image, 17 * kSector + 71)) * kSector;
    if (catalog + kSector > size)
        return e;
    const auto *cat = reinterpret_cast<const unsigned char *>(image.constData() + catalog);
    if (cat[0] != 1 || cat[30] != 0x55 || cat[31] != 0xAA)
        return e;
    e.result = true;
    const unsigned char *entry = cat + 32;
    if (entry[0] != 0x88)
        return e;
    const qint64 offset = qint64(le32(image, catalog + 40)) * kSector;
    const qint64 length = entryLength(entry);
    if (offset + length <= size) {
        e.written = true;
        e.bytes = image.mid(int(offset), int(length));
    }
    return e;
}

// A small well-formed El Torito image: boot record at 17, catalog at 20, boot image at 21.
QByteArray baseImage(std::mt19937 &rng)
{
    QByteArray image(26 * kSector, 0);
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(rng());
    QByteArray record(kSector, 0);
    record[0] = 0;
    record.replace(1, 5, "CD001");
    record[6] = 1;
    record.replace(7, 23, "EL TORITO SPECIFICATION");
    putLe32(record, 71, 20);
    image.replace(17 * kSector, kSector, record);
    QByteArray catalog(kSector, 0);
    catalog[0] = 1;
    catalog[30] = char(0x55);
    catalog[31] = char(0xAA);
    catalog[32] = char(0x88);
    catalog[33] = 0;
    putLe16(catalog, 38, 4);
    putLe32(catalog, 40, 21);
    image.replace(20 * kSector, kSector, catalog);
    return image;
}

// Keeps diagnostics and standard output of the code under test out of the test log.
class Quiet
{
public:
    Quiet()
    {
        std::fflush(stdout);
        m_saved = dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        ::close(null);
        m_previous
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    }
    ~Quiet()
    {
        qInstallMessageHandler(m_previous);
        std::fflush(stdout);
        dup2(m_saved, 1);
        ::close(m_saved);
    }

private:
    int m_saved = -1;
    QtMessageHandler m_previous = nullptr;
};

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT

private slots:
    void mutatedImages();
    void mutatedEntries();
    void mutatedListingRows();
};

void TestRobustness::mutatedImages()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    std::mt19937 rng(4242);
    const QByteArray base = baseImage(rng);
    QCOMPARE(expectFor(base).written, true);
    const QString iso = tmp.filePath("m.iso");
    const QString out = tmp.filePath("m.bin");
    auto chance = [&](int percent) {
        return int(rng() % 100) < percent;
    };
    const int record = 17 * kSector;
    int results = 0, written = 0;

    for (int round = 0; round < 3000; ++round) {
        QByteArray image = base;
        // Mostly small changes, so that many images get past the early checks.
        if (chance(10))
            image[record + int(rng() % 40)] = char(rng());
        if (chance(40)) {
            const quint32 choices[]
                = { quint32(rng()), quint32(rng() % 40), 20, 0, 25, 26, 0xFFFFFFFFu, 1048576u };
            putLe32(image, record + 71, choices[rng() % 8]);
        }
        const qint64 catalogAt = qint64(le32(image, record + 71)) * kSector;
        if (catalogAt + kSector <= image.size()) {
            const int catalog = int(catalogAt);
            if (catalog != 20 * kSector) { // a catalog somewhere else: make it often valid
                if (chance(60)) {
                    image[catalog] = 1;
                    image[catalog + 30] = char(0x55);
                    image[catalog + 31] = char(0xAA);
                }
            }
            if (chance(10))
                image[catalog + int(rng() % 32)] = char(rng());
            if (chance(70))
                image[catalog + 32] = char(chance(80) ? 0x88 : rng());
            if (chance(50))
                image[catalog + 33] = char(rng());
            if (chance(50))
                putLe16(image, catalog + 38, quint16(chance(50) ? rng() : rng() % 64));
            if (chance(50)) {
                const quint32 choices[]
                    = { quint32(rng()), quint32(rng() % 30), 0, 25, 0xFFFFFFFFu };
                putLe32(image, catalog + 40, choices[rng() % 5]);
            }
        }
        if (chance(30))
            image.truncate(int(rng() % unsigned(image.size() + 1)));

        {
            QFile f(iso);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(image), qint64(image.size()));
        }
        QFile::remove(out);
        bool result;
        {
            Quiet quiet;
            result = Util::BootExtract(iso, out);
        }
        const Expected expected = expectFor(image);
        const QString where = QString("round %1, image of %2 bytes, output of %3 bytes")
                                  .arg(round)
                                  .arg(image.size())
                                  .arg(QFileInfo(out).size());
        QVERIFY2(result == expected.result, qPrintable(where));
        QVERIFY2(QFile::exists(out) == expected.written, qPrintable(where));
        if (expected.written)
            QVERIFY2(readFile(out) == expected.bytes, qPrintable(where));
        results += result;
        written += expected.written;
    }
    // The mutations must reach every outcome often enough to mean something.
    QVERIFY2(results > 600 && written > 300 && results - written > 300,
             qPrintable(QString("%1 good records, %2 written").arg(results).arg(written)));
}

// Default entries fed straight to ProcessEntry over in-memory images of random sizes.
void TestRobustness::mutatedEntries()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    std::mt19937 rng(777);
    QString out = tmp.filePath("e.bin");
    int written = 0;
    QByteArray storage(3 * 1024 * 1024, 0);
    for (int i = 0; i < storage.size(); ++i)
        storage[i] = char(rng());
    for (int round = 0; round < 2000; ++round) {
        // A prefix of random length, without copying.
        QByteArray image
            = QByteArray::fromRawData(storage.constData(), int(rng() % unsigned(storage.size())));
        unsigned char entry[32];
        for (unsigned char &b : entry)
            b = static_cast<unsigned char>(rng());
        entry[0] = (rng() % 4) ? 0x88 : entry[0];
        if (rng() % 2) {
            entry[6] = static_cast<unsigned char>(rng() % 32);
            entry[7] = 0;
        }
        if (rng() % 2) {
            const quint32 rba = rng() % 1600;
            std::memcpy(entry + 8, &rba, 4); // little-endian machine
        }
        QBuffer device(&image);
        device.open(QIODevice::ReadOnly);
        QDataStream stream(&device);
        QFile::remove(out);
        {
            Quiet quiet;
            Util::ProcessEntry(out, stream, entry);
        }
        const qint64 offset
            = qint64(entry[8] | entry[9] << 8 | entry[10] << 16 | quint32(entry[11]) << 24)
            * kSector;
        const qint64 length = entryLength(entry);
        const bool expectWrite = entry[0] == 0x88 && offset + length <= image.size();
        QVERIFY2(QFile::exists(out) == expectWrite, qPrintable(QString("round %1").arg(round)));
        if (expectWrite) {
            QVERIFY(readFile(out) == image.mid(int(offset), int(length)));
            ++written;
        }
    }
    QVERIFY2(written > 100, qPrintable(QString::number(written)));
}

void TestRobustness::mutatedListingRows()
{
    std::mt19937 rng(99);
    const QString alphabet = QString::fromUtf8(" /D-d.\r\n\t0123456789abcé日") + QChar(0)
        + QChar(0xD800) + QChar(0xDC00);
    const QStringList templates {
        "2024-01-02 03:04:05 D....                            boot",
        "2024-01-02 03:04:05 .....         2048         2048  boot/boot.bin",
        "2024-01-02 03:04:05 .....            3            3  a b/c d.txt ",
        "------------------- ----- ------------ ------------  ------------------------",
        "2024-01-02 03:04:05               5009         5009  5 files, 4 folders",
    };
    CTree tree;
    bool inTable = false;
    int rows = 0, added = 0;
    for (int round = 0; round < 30000; ++round) {
        QString line = templates[int(rng() % unsigned(templates.size()))];
        const int edits = int(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const int pos = line.isEmpty() ? 0 : int(rng() % unsigned(line.size() + 1));
            const QChar c = alphabet[int(rng() % unsigned(alphabet.size()))];
            switch (rng() % 4) {
            case 0:
                line.insert(pos, c);
                break;
            case 1:
                line.remove(pos, 1 + int(rng() % 8));
                break;
            case 2:
                line.insert(pos, QString(int(rng() % 40), c));
                break;
            default:
                if (pos < line.size())
                    line[pos] = c;
            }
        }

        QString cleaned = line;
        cleaned.remove('\r');
        cleaned.remove('\n');
        Item item;
        const bool ok = ParseListingRow(line, &item);
        QCOMPARE(ok, cleaned.size() > 53);
        if (ok) {
            QCOMPARE(item.m_Time, cleaned.left(19));
            QCOMPARE(item.m_IsDir, cleaned.mid(20, 5).contains('D'));
            QCOMPARE(item.m_Size, cleaned.mid(26, 12).trimmed());
            QCOMPARE(item.m_Path, cleaned.mid(53));
        }
        QCOMPARE(IsListingSeparator(line), line.contains(QString(19, '-')));

        // The reader loop as the pages run it.
        if (IsListingSeparator(line)) {
            inTable = !inTable;
            continue;
        }
        if (inTable && ok) {
            ++rows;
            added += tree.AddItem(item);
        }
    }
    QVERIFY(rows > 1000);
    QVERIFY(added > 100);

    // Every item is found again by its own path, and knows its place.
    int count = 0;
    std::function<void(const Item &)> check = [&](const Item &folder) {
        for (int i = 0; i < folder.m_Children.size(); ++i) {
            const Item *child = folder.m_Children.at(i);
            ++count;
            QCOMPARE(folder.m_Children.indexOf(child), i);
            if (!child->m_Path.isEmpty()) // an empty path is never looked up
                QCOMPARE(tree.GetItem(child->m_Path), child);
            check(*child);
        }
    };
    check(tree.m_Root);
    QVERIFY(count >= added);
    tree.Clear();
    QVERIFY(tree.m_Root.m_Children.isEmpty());
}

QTEST_GUILESS_MAIN(TestRobustness)
#include "tst_robustness.moc"
