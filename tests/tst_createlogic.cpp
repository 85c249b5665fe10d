// The Create page's gauge and size label, and the argument mapping of the mkisofs program
// installed beside the executable.

#include "testhelpers.h"

#include "pages/createlogic.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestHelpers;

namespace {

const qint64 GiB = Q_INT64_C(1) << 30;

} // namespace

class TestCreateLogic : public QObject
{
    Q_OBJECT

private slots:
    void gauge_data();
    void gauge();
    void sizeLabel_data();
    void sizeLabel();
    void launcherMapping_data();
    void launcherMapping();
};

void TestCreateLogic::gauge_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << qint64(0) << 0;
    QTest::newRow("1 byte") << qint64(1) << 0;
    QTest::newRow("just under 1%") << qint64(53687091) << 0;
    QTest::newRow("1%") << qint64(53687092) << 1;
    QTest::newRow("2.5 GiB") << (5 * GiB / 2) << 50;
    QTest::newRow("5 GiB - 1") << (5 * GiB - 1) << 99;
    QTest::newRow("5 GiB") << (5 * GiB) << 100;
    QTest::newRow("above the maximum") << (12 * GiB) << 100;
    QTest::newRow("huge") << std::numeric_limits<qint64>::max() << 100;
    QTest::newRow("negative") << qint64(-5) << 0;
}

void TestCreateLogic::gauge()
{
    QFETCH(qint64, size);
    QFETCH(int, value);
    QCOMPARE(CreateLogic::GaugeValue(size), value);
}

void TestCreateLogic::sizeLabel_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << "Total Size: 0 B";
    QTest::newRow("1.5 KB") << qint64(1536) << "Total Size: 1.50 KB";
    QTest::newRow("5 GiB") << (5 * GiB) << "Total Size: 5 GB";
}

void TestCreateLogic::sizeLabel()
{
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(CreateLogic::TotalSizeText(size), text);
}

// The mkisofs program beside the executable runs genisoimage with adjusted switches; a stand-in
// genisoimage that prints its arguments shows what the real one would receive.
void TestCreateLogic::launcherMapping_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("received");

    const QStringList tail { "-R", "-r", "-o", "/o/-l x.iso", "/t/tmp" };
    QTest::newRow("joliet")
        << (QStringList { "-joliet" } + tail)
        << (QStringList { "-input-charset", "utf-8", "-l", "-joliet-long", "-joliet" } + tail);
    QTest::newRow("iso9660") << (QStringList { "-l" } + tail)
                             << (QStringList { "-input-charset", "utf-8", "-l" } + tail);
    QTest::newRow("udf") << (QStringList { "-udf" } + tail)
                         << (QStringList { "-input-charset", "utf-8", "-l", "-udf" } + tail);
    QTest::newRow("udf with large files")
        << (QStringList { "-udf", "-allow-limited-size" } + tail)
        << (QStringList { "-input-charset", "utf-8", "-l", "-udf", "-allow-limited-size" } + tail);
    QTest::newRow("boot image of a saved image")
        << QStringList { "-udf", "-R", "-o", "/o/e.iso", "-b", "boot.bin", "/t/tmp" }
        << QStringList { "-input-charset", "utf-8", "-l",       "-udf",  "-R", "-o",
                         "/o/e.iso",       "-b",    "boot.bin", "/t/tmp" };
    QTest::newRow("caller's charset and naming kept")
        << QStringList { "-J", "-input-charset", "iso8859-1", "-iso-level", "3", "-o", "x", "s" }
        << QStringList { "-joliet-long", "-J",         "-input-charset",
                         "iso8859-1",    "-iso-level", "3",
                         "-o",           "x",          "s" };
    // "-l" as the value of "-o" is a file name, not the naming switch.
    QTest::newRow("option values are not switches")
        << QStringList { "-udf", "-o", "-l", "/t/tmp" }
        << QStringList { "-input-charset", "utf-8", "-l", "-udf", "-o", "-l", "/t/tmp" };
}

void TestCreateLogic::launcherMapping()
{
    QFETCH(QStringList, given);
    QFETCH(QStringList, received);

    const QString launcher = Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs");
    QVERIFY2(QFileInfo(launcher).isExecutable(), qPrintable(launcher));
    QFile script(launcher);
    QVERIFY(script.open(QIODevice::ReadOnly));
    if (!script.readAll().startsWith("#!"))
        QSKIP("The mkisofs beside the executable is not the project's launcher");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fake = dir.path() + QStringLiteral("/genisoimage");
    QVERIFY(writeFile(fake, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done\n"));
    QVERIFY(QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), dir.path() + QStringLiteral(":/usr/bin:/bin"));
    p.setProcessEnvironment(env);
    p.start(launcher, given);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    QCOMPARE(out, received);
}

QTEST_GUILESS_MAIN(TestCreateLogic)
#include "tst_createlogic.moc"
