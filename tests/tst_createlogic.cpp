// The Create page's gauge and size label.

#include "testhelpers.h"

#include "model/ctree.h"
#include "logic/createlogic.h"
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
    void notedSize();
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

// The label counts the sizes noted at Add, not what the disk says now (no file here exists).
void TestCreateLogic::notedSize()
{
    CTree tree;
    QCOMPARE(CreateLogic::NotedSize(tree.m_Root), qint64(0));
    const auto add = [&](const QString &path, bool dir, const QString &size) {
        Item item;
        item.m_Path = path;
        item.m_SrcPath = "/nowhere/" + path;
        item.m_IsDir = dir;
        item.m_Size = size;
        QVERIFY(tree.AddItem(item));
    };
    add("a.bin", false, "5000000000"); // past 32 bits
    add("d", true, QString());
    add("d/b.txt", false, "7");
    add("d/e", true, QString());
    add("d/e/c.txt", false, "0");
    add("d/e/f.txt", false, "3");
    QCOMPARE(CreateLogic::NotedSize(tree.m_Root), Q_INT64_C(5000000010));
    QCOMPARE(CreateLogic::NotedSize(*tree.GetItem("d")), qint64(10));
}

QTEST_GUILESS_MAIN(TestCreateLogic)
#include "tst_createlogic.moc"
