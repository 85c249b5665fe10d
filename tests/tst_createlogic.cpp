// The Create page's gauge and size label.

#include "testhelpers.h"

#include "pages/createlogic.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

QTEST_GUILESS_MAIN(TestCreateLogic)
#include "tst_createlogic.moc"
