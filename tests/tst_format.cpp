// Size and date texts, blank runs, extensions and the file-type catalogue.

#include "services/util.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QTest>

class TestFormat : public QObject
{
    Q_OBJECT

private slots:
    void sizeToString_data();
    void sizeToString();
    void qt2String();
    void replaceBlank_data();
    void replaceBlank();
    void extension_data();
    void extension();

    void typeDescriptions_data();
    void typeDescriptions();
    void catalogueSharesEntriesPerExtension();
    void noExtensionGivesGenericIconAndNoDescription();
    void sampleFilesAreRemoved();
};

void TestFormat::sizeToString_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0 B";
    QTest::newRow("negative") << qint64(-5) << "-5 B";
    QTest::newRow("1024 stays in B") << qint64(1024) << "1024 B";
    QTest::newRow("1025") << qint64(1025) << "1 KB";
    QTest::newRow("1536") << qint64(1536) << "1.50 KB";
    QTest::newRow("1 MiB stays in KB") << qint64(1048576) << "1024 KB";
    QTest::newRow("1 MiB + 1") << qint64(1048577) << "1 MB";
    QTest::newRow("2.1 MiB") << qint64(2.1 * 1048576) << "2.10 MB";
    QTest::newRow("5 GiB") << qint64(5368709120LL) << "5 GB";
    QTest::newRow("2 TiB stays in GB") << qint64(2) * 1024 * 1024 * 1024 * 1024 << "2048 GB";
}

void TestFormat::sizeToString()
{
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(Util::SizeToString(size), text);
}

void TestFormat::qt2String()
{
    QCOMPARE(Util::QT2String(QDateTime(QDate(2024, 3, 7), QTime(21, 5, 9))),
             QStringLiteral("2024-03-07 21:05:09"));
}

void TestFormat::replaceBlank_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    QTest::newRow("five blanks") << "a     b"
                                 << "a b";
    QTest::newRow("unchanged") << "a b c"
                               << "a b c";
    QTest::newRow("odd and even runs") << "a   b    c"
                                       << "a b c";
    QTest::newRow("ends reduced, not removed") << "   a   "
                                               << " a ";
    QTest::newRow("tabs untouched") << "a\t\tb"
                                    << "a\t\tb";
    QTest::newRow("empty") << ""
                           << "";
}

void TestFormat::replaceBlank()
{
    QFETCH(QString, text);
    QFETCH(QString, result);
    QCOMPARE(Util::ReplaceBlank(text), result);
}

void TestFormat::extension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::newRow("plain") << "image.iso"
                           << ".iso";
    QTest::newRow("last dot") << "archive.tar.gz"
                              << ".gz";
    QTest::newRow("case kept") << "IMAGE.ISO"
                               << ".ISO";
    QTest::newRow("hidden file") << ".bashrc"
                                 << "";
    QTest::newRow("no dot") << "README"
                            << "";
    QTest::newRow("trailing dot") << "name."
                                  << ".";
    QTest::newRow("hidden with extension") << ".config.json"
                                           << ".json";
}

void TestFormat::extension()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QCOMPARE(Util::GetExtension(name), extension);
}

void TestFormat::typeDescriptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::newRow("iso") << "disc.iso"
                         << "raw CD image";
    QTest::newRow("txt") << "notes.txt"
                         << "plain text document";
    QTest::newRow("unknown extension") << "data.vexlorzz"
                                       << "vexlorzz File";
}

void TestFormat::typeDescriptions()
{
    QFETCH(QString, name);
    QFETCH(QString, description);
    QCOMPARE(Util::GetExtensionString(name), description);
}

void TestFormat::catalogueSharesEntriesPerExtension()
{
    const int types = Util::m_Types.size();
    const int icons = Util::m_Icons.size();
    const QString first = Util::GetExtensionString(QStringLiteral("archive.tar.gz"));
    QCOMPARE(Util::GetExtensionString(QStringLiteral("b.gz")), first);
    QVERIFY(!first.isEmpty());
    QCOMPARE(Util::m_Types.size(), types + 1);
    QVERIFY(Util::m_Types.contains(QStringLiteral(".gz")));

    Util::GetExtensionIcon(QStringLiteral("archive.tar.gz"));
    Util::GetExtensionIcon(QStringLiteral("b.gz"));
    QCOMPARE(Util::m_Icons.size(), icons + 1);

    // Case matters.
    Util::GetExtensionString(QStringLiteral("X.GZ"));
    QVERIFY(Util::m_Types.contains(QStringLiteral(".GZ")));
    QCOMPARE(Util::m_Types.size(), types + 2);

    // A cached entry is what comes back, even when the desktop would now answer differently.
    Util::m_Types.insert(QStringLiteral(".gz"), QStringLiteral("cached"));
    QCOMPARE(Util::GetExtensionString(QStringLiteral("c.gz")), QStringLiteral("cached"));
}

void TestFormat::noExtensionGivesGenericIconAndNoDescription()
{
    const int types = Util::m_Types.size();
    QCOMPARE(Util::GetExtensionString(QStringLiteral(".bashrc")), QString());
    QCOMPARE(Util::GetExtensionString(QStringLiteral("README")), QString());
    QCOMPARE(Util::m_Types.size(), types);

    const QIcon generic = QFileIconProvider().icon(QFileIconProvider::File);
    const QIcon a = Util::GetExtensionIcon(QStringLiteral(".bashrc"));
    const QIcon b = Util::GetExtensionIcon(QStringLiteral("README"));
    QVERIFY(Util::m_Icons.contains(QString()));
    QCOMPARE(a.cacheKey(), b.cacheKey());
    QCOMPARE(a.name(), generic.name());
}

void TestFormat::sampleFilesAreRemoved()
{
    const QString prefix = QCoreApplication::applicationName() + QStringLiteral("_*");
    const int before = QDir::temp().entryList({ prefix }, QDir::Files).size();
    Util::GetExtensionIcon(QStringLiteral("a.vexlorsample"));
    Util::GetExtensionString(QStringLiteral("a.vexlorsample"));
    QCOMPARE(QDir::temp().entryList({ prefix }, QDir::Files).size(), before);
}

QTEST_MAIN(TestFormat)
#include "tst_format.moc"
