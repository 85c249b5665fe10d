// The resource bundle: every picture the windows, pages and dialogs load by path resolves at its
// fixed size, nothing else is in the bundle, and the state pictures of one control really differ.

#include <QColor>
#include <QDirIterator>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QtTest>

namespace {

// A button's pictures: name + digit for each state, all of one size.
struct Family
{
    const char *name;
    int states; // 3: normal, hover, pressed; 4: plus disabled
    int width;
    int height;
};

const Family kFamilies[] = {
    // Home window feature buttons.
    { "mburn", 3, 428, 220 },
    { "Extract", 3, 206, 220 },
    { "Create", 3, 208, 219 },
    { "Edit", 3, 210, 219 },
    { "Copy-Disc", 3, 206, 219 },
    // Burn page.
    { "Broswe", 3, 64, 24 },
    { "burn", 3, 108, 30 },
    { "backwhite", 3, 108, 30 },
    // Extract and Create pages.
    { "Back", 3, 108, 30 },
    { "loadiso", 3, 88, 26 },
    { "btnextract", 3, 108, 30 },
    { "addfile", 3, 91, 24 },
    { "adddir", 3, 91, 24 },
    { "Remove", 3, 91, 24 },
    { "Create-IOS", 3, 108, 30 },
    // Edit page.
    { "Add", 3, 74, 19 },
    { "Export", 3, 74, 19 },
    { "Rename", 3, 74, 19 },
    { "Delete", 3, 74, 19 },
    { "New", 3, 74, 19 },
    { "save", 3, 108, 30 },
    // Copy page.
    { "start", 3, 108, 30 },
    { "refresh", 3, 88, 28 },
    { "filedialog", 3, 88, 28 },
    // Dialogs.
    { "OK", 3, 90, 21 },
    { "Open-Folder", 3, 90, 21 },
    { "OK_", 3, 92, 22 },
    { "NO_", 3, 92, 22 },
    { "Stop", 3, 73, 20 },
    { "osxclose", 4, 12, 12 },
    { "osxmin", 4, 12, 12 },
    // In the bundle without a window that shows them.
    { "close_small_", 3, 28, 25 },
    { "loadiso5", 3, 108, 30 },
};

struct Picture
{
    const char *name;
    int width;
    int height;
};

const Picture kPictures[] = {
    // Four-frame strips of the home window's header.
    { "Home", 300, 68 },
    { "Help", 300, 68 },
    // Window backgrounds.
    { "main", 860, 580 },
    { "page1", 664, 472 },
    { "page2", 664, 472 },
    { "page3", 664, 472 },
    { "page4", 664, 472 },
    { "page5", 664, 472 },
    { "commdialogbg", 420, 188 },
    { "about_us", 420, 188 },
    // Picture messages.
    { "format_usb", 420, 188 },
    { "insert_usb", 420, 188 },
    { "insufficient_space", 420, 188 },
    { "burn-fails", 420, 188 },
    { "select_files_extract", 420, 188 },
    { "import_iso_file", 420, 188 },
    { "select_files_remove", 420, 188 },
    { "add_files_create", 420, 188 },
    { "insert_dvd", 420, 188 },
    { "burn-successfully", 420, 188 },
    // Small parts.
    { "rchecked", 12, 12 },
    { "runchecked", 12, 12 },
    { "zoom", 15, 14 },
    { "checked", 20, 20 },
    { "unchecked", 20, 20 },
    { "select", 10, 5 },
    // In the bundle without a window that shows them.
    { "close", 84, 28 },
    { "menu", 84, 28 },
    { "minimize", 84, 28 },
    { "extractprogress", 340, 186 },
    { "loadprogress", 520, 174 },
};

const char *const kTexts[] = { "qss", "qss.qss" };

QString familyEntry(const Family &f, int digit)
{
    return QString::fromLatin1(f.name) + QString::number(digit);
}

QStringList allEntryNames()
{
    QStringList names;
    for (const Family &f : kFamilies) {
        for (int digit = 1; digit <= f.states; ++digit)
            names << familyEntry(f, digit);
    }
    for (const Picture &p : kPictures)
        names << QString::fromLatin1(p.name);
    names << QStringLiteral("logo");
    for (const char *t : kTexts)
        names << QString::fromLatin1(t);
    return names;
}

// Mean lightness of the visible pixels, weighted by their opacity.
double meanLightness(const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    double weight = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = QColor::fromRgba(img.pixel(x, y));
            sum += c.alphaF() * c.lightnessF();
            weight += c.alphaF();
        }
    }
    return weight > 0 ? sum / weight : 0;
}

// Mean colour saturation of the visible pixels (0 for a grey picture).
double meanSaturation(const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    double weight = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = QColor::fromRgba(img.pixel(x, y));
            sum += c.alphaF() * qMax(0.0, c.hslSaturationF());
            weight += c.alphaF();
        }
    }
    return weight > 0 ? sum / weight : 0;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void pictureResolvesAtItsSize_data();
    void pictureResolvesAtItsSize();
    void stopHasNoDisabledPicture();
    void entriesHaveNoExtension();
    void bundleHoldsNothingElse();
    void statePicturesShowTheState_data();
    void statePicturesShowTheState();
    void headerStripsHoldFourFrames_data();
    void headerStripsHoldFourFrames();
    void logoIsAWindowsIcon();
    void styleSheetTexts_data();
    void styleSheetTexts();
};

void TestResources::pictureResolvesAtItsSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Family &f : kFamilies) {
        for (int digit = 1; digit <= f.states; ++digit) {
            const QString path = QStringLiteral(":/nwu/") + familyEntry(f, digit);
            QTest::newRow(qPrintable(path)) << path << QSize(f.width, f.height);
        }
    }
    for (const Picture &p : kPictures) {
        const QString path = QStringLiteral(":/nwu/") + QString::fromLatin1(p.name);
        QTest::newRow(qPrintable(path)) << path << QSize(p.width, p.height);
    }
}

void TestResources::pictureResolvesAtItsSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path + QStringLiteral(" does not load")));
    QCOMPARE(image.size(), size);
}

void TestResources::stopHasNoDisabledPicture()
{
    // The progress dialog names it, but a disabled Stop button is meant to paint nothing.
    QVERIFY(!QFile::exists(QStringLiteral(":/nwu/Stop4")));
    QVERIFY(QImage(QStringLiteral(":/nwu/Stop4")).isNull());
    QVERIFY(!QImage(QStringLiteral(":/nwu/Stop3")).isNull());
}

void TestResources::entriesHaveNoExtension()
{
    QVERIFY(QFile::exists(QStringLiteral(":/nwu/main")));
    QVERIFY(!QFile::exists(QStringLiteral(":/nwu/main.png")));
    QVERIFY(!QFile::exists(QStringLiteral(":/nwu/logo.ico")));
    QVERIFY(!QFile::exists(QStringLiteral(":/nwu/OK_1.png")));
}

void TestResources::bundleHoldsNothingElse()
{
    QSet<QString> found;
    QDirIterator it(QStringLiteral(":/nwu"), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        found.insert(it.fileName());
    }
    const QStringList expectedList = allEntryNames();
    const QSet<QString> expected(expectedList.cbegin(), expectedList.cend());
    QCOMPARE(expectedList.size(), expected.size()); // the table itself lists no name twice
    const QSet<QString> extra = found - expected;
    const QSet<QString> missing = expected - found;
    QVERIFY2(extra.isEmpty(), qPrintable(QStringList(extra.values()).join(QLatin1Char(' '))));
    QVERIFY2(missing.isEmpty(), qPrintable(QStringList(missing.values()).join(QLatin1Char(' '))));
}

void TestResources::statePicturesShowTheState_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("states");
    QTest::addColumn<bool>("shaded"); // hover lighter and pressed darker than normal
    for (const Family &f : kFamilies) {
        // The round window buttons show their sign on hover and press, so a dark sign may
        // outweigh a lighter fill: for them only a visible difference is required.
        const bool round = f.width == 12;
        QTest::newRow(f.name) << QString::fromLatin1(f.name) << f.states << !round;
    }
}

void TestResources::statePicturesShowTheState()
{
    QFETCH(QString, family);
    QFETCH(int, states);
    QFETCH(bool, shaded);
    QList<QImage> images;
    for (int digit = 1; digit <= states; ++digit) {
        images << QImage(QStringLiteral(":/nwu/") + family + QString::number(digit))
                      .convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!images.last().isNull());
    }
    for (int i = 0; i < images.size(); ++i) {
        for (int j = i + 1; j < images.size(); ++j)
            QVERIFY2(
                images.at(i) != images.at(j),
                qPrintable(QStringLiteral("states %1 and %2 look the same").arg(i + 1).arg(j + 1)));
    }
    if (shaded) {
        const double normal = meanLightness(images.at(0));
        QVERIFY2(meanLightness(images.at(1)) > normal + 0.02, "hover is not lighter");
        QVERIFY2(meanLightness(images.at(2)) < normal - 0.02, "pressed is not darker");
    }
    if (states == 4) {
        QVERIFY2(meanSaturation(images.at(3)) < 0.05, "disabled is not grey");
        QVERIFY(meanSaturation(images.at(0)) > 0.3);
    }
}

void TestResources::headerStripsHoldFourFrames_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Home") << QStringLiteral(":/nwu/Home");
    QTest::newRow("Help") << QStringLiteral(":/nwu/Help");
}

void TestResources::headerStripsHoldFourFrames()
{
    QFETCH(QString, path);
    const QImage strip = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(strip.size(), QSize(300, 68));
    // Normal, hover (pixels 75 to 149), pressed, disabled: four different frames of 75 x 68.
    QList<QImage> frames;
    for (int i = 0; i < 4; ++i)
        frames << strip.copy(i * 75, 0, 75, 68);
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(meanLightness(frames.at(i)) > 0, "empty frame");
        for (int j = i + 1; j < 4; ++j)
            QVERIFY(frames.at(i) != frames.at(j));
    }
}

void TestResources::logoIsAWindowsIcon()
{
    // The entry point loads it as ":nwu/logo", without the slash.
    for (const QString &path : { QStringLiteral(":/nwu/logo"), QStringLiteral(":nwu/logo") }) {
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("ico"));
        const QIcon icon(path);
        QVERIFY(!icon.isNull());
        QVERIFY(!icon.pixmap(32, 32).isNull());
    }
    const QImage image(QStringLiteral(":/nwu/logo"));
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 32);
    QCOMPARE(image.width(), image.height());
}

void TestResources::styleSheetTexts_data()
{
    QTest::addColumn<QString>("path");
    for (const char *t : kTexts)
        QTest::newRow(t) << QStringLiteral(":/nwu/") + QString::fromLatin1(t);
}

void TestResources::styleSheetTexts()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(text.contains(QLatin1Char('{')));
    QVERIFY(text.contains(QStringLiteral("#daffc8")));
    QCOMPARE(text.count(QLatin1Char('{')), text.count(QLatin1Char('}')));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
