#include "testhelpers.h"
// The background copier: order, remaining bytes, removal, failures and stopping. Hooks hold
// the worker after a chunk or between two tasks, so the states in between can be looked at.

#include "services/cfilecopy.h"
#include "services/cfilecopy_p.h"
#include "services/util.h"
#include "services/util_files_p.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <memory>

using namespace TestHelpers;

namespace {

std::atomic<bool> g_holdChunks { false };
QSemaphore g_atChunk;
QSemaphore g_resumeChunk;
void holdAfterChunk(qint64)
{
    if (g_holdChunks.exchange(false)) {
        g_atChunk.release();
        g_resumeChunk.tryAcquire(1, 30000); // a failed test must not hang the worker
    }
}

std::atomic<bool> g_holdBetweenTasks { false };
QSemaphore g_atTaskDone;
QSemaphore g_resumeTask;
void holdAfterTask()
{
    if (g_holdBetweenTasks.exchange(false)) {
        g_atTaskDone.release();
        g_resumeTask.tryAcquire(1, 30000);
    }
}

QByteArray pattern(int size, char seed = 'a')
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(seed + i % 23);
    return data;
}

} // namespace

class TestCopier : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyQueueLeavesNothing();
    void tasksRunInOrder();
    void leftBytesOfPartlyCopiedFile();
    void leftBytesBetweenTwoTasks();
    void leftBytesCountFoldersAndDeletes();
    void idleOnlyWhenZeroByteTasksAreDone();
    void folderCopyGoesIntoDestination();
    void removeTaskTakesFirstOfTwo();
    void removingTaskInProgressKeepsQueuedBytes();
    void clearAllTasks();
    void vanishedSourceFailsAndMakesNothing();
    void copyThatRunsOutOfRoomFails();
    void deleteAndRename();
    void stopWhileIdle();
    void stopDuringLongCopy();
    void stopBetweenFilesOfAFolder();
    void addClearStopStress();

private:
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    // Waits until every task queued so far has been carried out.
    bool drain(CFileCopy &copier);
    // Queues a copy of a 10000-byte file and waits until its first chunk of 4096 is written.
    bool startHeldCopy(CFileCopy &copier, const QString &name);
    void release();

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_markers = 0;
};

void TestCopier::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Util::copyedsize = 0;
    UtilFiles::SetChunkSize(4096);
    UtilFiles::SetChunkHook(holdAfterChunk);
    CFileCopyHooks::SetTaskDoneHook(holdAfterTask);
}

void TestCopier::cleanup()
{
    g_holdChunks = false;
    g_holdBetweenTasks = false;
    UtilFiles::SetChunkHook(nullptr);
    UtilFiles::SetChunkSize(0);
    CFileCopyHooks::SetTaskDoneHook(nullptr);
    for (QSemaphore *s : { &g_atChunk, &g_resumeChunk, &g_atTaskDone, &g_resumeTask })
        s->acquire(s->available());
    m_dir.reset();
}

bool TestCopier::drain(CFileCopy &copier)
{
    const QString marker = path(QStringLiteral("marker%1").arg(++m_markers));
    if (!writeFile(marker, "m"))
        return false;
    copier.AddTask(marker, QString(), 1);
    QElapsedTimer clock;
    clock.start();
    while (QFileInfo::exists(marker)) {
        if (clock.elapsed() > 20000)
            return false;
        QThread::msleep(2);
    }
    return true;
}

bool TestCopier::startHeldCopy(CFileCopy &copier, const QString &name)
{
    if (!writeFile(path(name), pattern(10000)))
        return false;
    g_holdChunks = true;
    copier.AddTask(path(name), path(QStringLiteral("out/") + name), 0);
    return g_atChunk.tryAcquire(1, 20000);
}

void TestCopier::release()
{
    g_resumeChunk.release();
}

void TestCopier::emptyQueueLeavesNothing()
{
    CFileCopy copier;
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
    QVERIFY(copier.TakeFailedTasks().isEmpty());
}

void TestCopier::tasksRunInOrder()
{
    CFileCopy copier;
    for (int i = 0; i < 40; ++i) {
        const QString source = path(QStringLiteral("src%1").arg(i));
        QVERIFY(writeFile(source, QByteArray::number(i)));
        copier.AddTask(source, path("target"), 0);
    }
    copier.AddTask(path("target"), path("renamed"), 2);
    copier.AddTask(path("src0"), path("target"), 0);
    QVERIFY(drain(copier));
    QCOMPARE(readFile(path("renamed")), QByteArray("39"));
    QCOMPARE(readFile(path("target")), QByteArray("0"));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
}

void TestCopier::leftBytesOfPartlyCopiedFile()
{
    CFileCopy copier;
    QVERIFY(startHeldCopy(copier, "big"));
    QCOMPARE(qint64(Util::copyedsize), qint64(4096));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(5904));
    release();
    QVERIFY(drain(copier));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
    QCOMPARE(readFile(path("out/big")), pattern(10000));
}

void TestCopier::leftBytesBetweenTwoTasks()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("first"), pattern(10000)));
    QVERIFY(writeFile(path("second"), pattern(3000)));
    g_holdBetweenTasks = true;
    copier.AddTask(path("first"), path("out/first"), 0);
    copier.AddTask(path("second"), path("out/second"), 0);
    QVERIFY(g_atTaskDone.tryAcquire(1, 20000));
    QCOMPARE(readFile(path("out/first")), pattern(10000));
    QVERIFY(!QFile::exists(path("out/second")));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(3000));
    g_resumeTask.release();
    QVERIFY(drain(copier));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
}

void TestCopier::leftBytesCountFoldersAndDeletes()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("folder/a"), pattern(1000)));
    QVERIFY(writeFile(path("folder/sub/b"), pattern(2000)));
    QVERIFY(writeFile(path("doomed"), pattern(5000)));
    QVERIFY(startHeldCopy(copier, "big"));
    copier.AddTask(path("folder"), path("dest"), 0);
    copier.AddTask(path("doomed"), QString(), 1);
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(5904 + 3000 + 5000));
    release();
    QVERIFY(drain(copier));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
    QVERIFY(!QFile::exists(path("doomed")));
}

// No bytes left is not the same as done: an empty file and a removal wait behind a task.
void TestCopier::idleOnlyWhenZeroByteTasksAreDone()
{
    CFileCopy copier;
    QVERIFY(copier.IsIdle());
    QVERIFY(writeFile(path("empty"), QByteArray()));
    QVERIFY(writeFile(path("gone"), pattern(10)));
    g_holdBetweenTasks = true;
    copier.AddTask(path("gone"), QString(), 1);
    copier.AddTask(path("empty"), path("out/empty"), 0);
    QVERIFY(g_atTaskDone.tryAcquire(1, 20000));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
    QVERIFY(!copier.IsIdle());
    g_resumeTask.release();
    QVERIFY(TestHelpers::waitUntil([&] { return copier.IsIdle(); }, 20000));
    QVERIFY(QFile::exists(path("out/empty")));
}

void TestCopier::folderCopyGoesIntoDestination()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("f/one"), "1"));
    QVERIFY(writeFile(path("f/deep/two"), "2"));
    copier.AddTask(path("f"), path("d"), 0);
    QVERIFY(drain(copier));
    QCOMPARE(readFile(path("d/f/one")), QByteArray("1"));
    QCOMPARE(readFile(path("d/f/deep/two")), QByteArray("2"));
    QVERIFY(copier.TakeFailedTasks().isEmpty());
}

void TestCopier::removeTaskTakesFirstOfTwo()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("x"), pattern(700)));
    QVERIFY(startHeldCopy(copier, "big"));
    copier.AddTask(path("x"), path("d1"), 0);
    copier.AddTask(path("x"), path("d2"), 0);
    copier.RemoveTask(path("x"));
    copier.RemoveTask(path("not queued"));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(5904 + 700));
    release();
    QVERIFY(drain(copier));
    QVERIFY(!QFile::exists(path("d1")));
    QCOMPARE(readFile(path("d2")), pattern(700));
}

void TestCopier::removingTaskInProgressKeepsQueuedBytes()
{
    // Once the task in progress is off the list, its counter must not eat into what is still
    // queued: a page waiting for 0 would go on before the queued copy was made.
    CFileCopy copier;
    QVERIFY(writeFile(path("small"), pattern(3000)));
    QVERIFY(startHeldCopy(copier, "big"));
    copier.AddTask(path("small"), path("out/small"), 0);
    copier.RemoveTask(path("big"));
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(3000));
    release();
    QVERIFY(drain(copier));
    QCOMPARE(readFile(path("out/small")), pattern(3000));
    QCOMPARE(readFile(path("out/big")), pattern(10000)); // the copy in progress was finished
}

void TestCopier::clearAllTasks()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("x"), pattern(500)));
    QVERIFY(startHeldCopy(copier, "big"));
    for (int i = 0; i < 5; ++i)
        copier.AddTask(path("x"), path(QStringLiteral("c%1").arg(i)), 0);
    copier.ClearAllTasks();
    QCOMPARE(copier.GetLeftTaskBytes(), qint64(0));
    release();
    QVERIFY(drain(copier));
    for (int i = 0; i < 5; ++i)
        QVERIFY(!QFile::exists(path(QStringLiteral("c%1").arg(i))));
}

void TestCopier::vanishedSourceFailsAndMakesNothing()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("gone"), "x"));
    QVERIFY(writeFile(path("fine"), "y"));
    QVERIFY(startHeldCopy(copier, "big"));
    copier.AddTask(path("gone"), path("dest"), 0);
    copier.AddTask(path("fine"), path("dest/fine"), 0);
    QVERIFY(QFile::remove(path("gone")));
    release();
    QVERIFY(drain(copier));
    QVERIFY(!Util::IsFileExists(path("dest/gone")));
    QCOMPARE(readFile(path("dest/fine")), QByteArray("y"));
    QCOMPARE(copier.TakeFailedTasks(), QStringList { path("gone") });
    QVERIFY(copier.TakeFailedTasks().isEmpty());
}

void TestCopier::copyThatRunsOutOfRoomFails()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("large"), pattern(10000)));
    QVERIFY(writeFile(path("folder/large"), pattern(10000)));
    {
        FileSizeLimit limit(6000);
        copier.AddTask(path("large"), path("out/large"), 0);
        copier.AddTask(path("folder"), path("out"), 0);
        QVERIFY(drain(copier));
    }
    QCOMPARE(copier.TakeFailedTasks(), (QStringList { path("large"), path("folder") }));
    QVERIFY(!QFile::exists(path("out/large")));
    QVERIFY(!QFile::exists(path("out/folder/large")));
}

void TestCopier::deleteAndRename()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("tree/a/b"), "b"));
    QVERIFY(writeFile(path("file"), "f"));
    QVERIFY(writeFile(path("real/keep"), "k"));
    QVERIFY(QFile::link(path("real"), path("link")));
    copier.AddTask(path("file"), path("moved file"), 2);
    copier.AddTask(path("tree"), path("moved tree"), 2);
    copier.AddTask(path("moved tree/a"), QString(), 1);
    copier.AddTask(path("link"), QString(), 1);
    copier.AddTask(path("nothing here"), QString(), 1);
    copier.AddTask(path("nothing here"), path("elsewhere"), 2);
    QVERIFY(drain(copier));
    QCOMPARE(readFile(path("moved file")), QByteArray("f"));
    QVERIFY(QFileInfo(path("moved tree")).isDir());
    QVERIFY(!QFileInfo::exists(path("moved tree/a")));
    QVERIFY(!Util::IsFileExists(path("link")));
    QCOMPARE(readFile(path("real/keep")), QByteArray("k"));
    QVERIFY(!Util::IsFileExists(path("elsewhere")));
    QVERIFY(copier.TakeFailedTasks().isEmpty());
}

void TestCopier::stopWhileIdle()
{
    CFileCopy copier;
    QTest::qWait(20); // let the worker reach its wait
    copier.stop();
    QVERIFY(copier.wait(5000));
}

void TestCopier::stopDuringLongCopy()
{
    CFileCopy copier;
    QVERIFY(writeFile(path("next"), "n"));
    QVERIFY(startHeldCopy(copier, "big"));
    copier.AddTask(path("next"), path("out/next"), 0);
    copier.stop();
    QVERIFY(!copier.wait(200));
    release();
    QVERIFY(copier.wait(10000));
    // The copy stopped inside the file: no partial file is left, and nothing else was begun.
    QCOMPARE(QDir(path("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void TestCopier::stopBetweenFilesOfAFolder()
{
    CFileCopy copier;
    for (const char *name : { "a", "b", "c", "d" })
        QVERIFY(writeFile(path(QStringLiteral("tree/") + name), pattern(10000)));
    g_holdChunks = true;
    copier.AddTask(path("tree"), path("out"), 0);
    QVERIFY(g_atChunk.tryAcquire(1, 20000));
    copier.stop();
    release();
    QVERIFY(copier.wait(10000));
    // The file in progress stops too, and goes; the rest of the folder is left.
    QCOMPARE(QDir(path("out/tree")).entryList(QDir::Files), QStringList());
}

void TestCopier::addClearStopStress()
{
    UtilFiles::SetChunkHook(nullptr);
    CFileCopyHooks::SetTaskDoneHook(nullptr);
    QVERIFY(writeFile(path("s"), pattern(100)));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 3000; ++i) {
        CFileCopy copier;
        copier.AddTask(path("s"), path(QStringLiteral("o/%1").arg(i % 7)), 0);
        if (i % 3 == 0)
            copier.ClearAllTasks();
        copier.AddTask(path("missing"), QString(), 1);
        if (i % 5 == 0)
            copier.GetLeftTaskBytes();
        if (i % 2)
            copier.stop();
        // the destructor stops and waits
    }
    qDebug() << "3000 cycles in" << clock.elapsed() << "ms";
}

QTEST_GUILESS_MAIN(TestCopier)
#include "tst_copier.moc"
