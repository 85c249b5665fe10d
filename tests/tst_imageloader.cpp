// The image loader alone: a listing fills the tree and the views, a listing replaced by another
// leaves nothing of its own, and the loading state is announced around each.

#include "testhelpers.h"

#include "model/ctree.h"
#include "pages/common/cimagebrowser.h"
#include "pages/common/cimageloader.h"
#include "services/util.h"

#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace TestHelpers;

class TestImageLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void laterLoadReplacesTheEarlierOne();

private:
    QString makeImage(const QString &name, const QStringList &files);
    QTemporaryDir m_dir;
};

void TestImageLoader::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestImageLoader::makeImage(const QString &name, const QStringList &files)
{
    const QString src = m_dir.path() + "/" + name;
    for (const QString &file : files)
        writeFile(src + "/" + file, file.toUtf8());
    return runCommand(Util::GetCurrentExePath() + "/cdrtools/mkisofs",
                      { "-quiet", "-J", "-R", "-o", src + ".iso", src })
               .ok()
        ? src + ".iso"
        : QString();
}

void TestImageLoader::laterLoadReplacesTheEarlierOne()
{
    const QString first = makeImage("first", { "a.txt", "b.txt", "dir/c.txt" });
    const QString second = makeImage("second", { "only.txt" });
    QVERIFY(!first.isEmpty() && !second.isEmpty());

    QTreeWidget tree;
    QTableWidget list;
    list.resize(400, 300);
    Item *current = nullptr;
    CImageBrowser browser(&tree, &list, &current);
    browser.SetUp(QString(), QString());
    CTree model;
    CImageLoader loader(&model, &browser);
    QList<bool> states;
    connect(&loader, &CImageLoader::loadingChanged, [&](bool loading) { states << loading; });
    connect(&loader, &CImageLoader::lineOutput, [&](const QString &line) {
        if (loader.ReadLine(line))
            loader.Show();
    });

    loader.Load(first);
    loader.Load(second); // the first listing's lines must not reach the tree
    QVERIFY(waitUntil([&] { return !loader.IsLoading() && !loader.Runner(); }));
    QCOMPARE(model.m_Name, QStringLiteral("second.iso"));
    QCOMPARE(model.m_Root.m_Children.size(), 1);
    QCOMPARE(model.m_Root.m_Children.first()->GetName(), QStringLiteral("only.txt"));
    QCOMPARE(current, &model.m_Root);
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(states, (QList<bool> { true, true, false }));
}

QTEST_MAIN(TestImageLoader)
#include "tst_imageloader.moc"
