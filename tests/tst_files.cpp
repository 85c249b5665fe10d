#include "testhelpers.h"
// File and folder operations on real files in a temporary folder.

#include "services/util.h"
#include "services/util_files_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

using namespace TestHelpers;

namespace {

QList<qint64> g_chunks;
void recordChunk(qint64 bytes)
{
    g_chunks << bytes;
}

QByteArray pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + (i * 7) % 26);
    return data;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fileCopy_data();
    void fileCopy();
    void fileCopyWritesChunksAndCounts();
    void fileCopyAcrossFileSystems();
    void fileCopyOfSameFileUnderAnotherName();
    void fileCopyReplacesLinkNotItsTarget();
    void fileCopyThatRunsOutOfRoomFails();

    void dirCopyReplacesAndKeepsSource();
    void dirCopy2CopiesFolderItself();
    void dirCopyEndsOnLinkLoops();
    void dirCopyIntoItsOwnSubfolder();

    void dirSize();
    void removeFile_data();
    void removeFile();
    void removeDirRefusesEmptyPath();
    void removeDirOfLinkKeepsTarget();
    void writeMulLinesToFile();

private:
    QTemporaryDir *m_dir = nullptr;
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
};

void TestFiles::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    Util::copyedsize = 0;
}

void TestFiles::cleanup()
{
    UtilFiles::SetChunkHook(nullptr);
    UtilFiles::SetChunkSize(0);
    delete m_dir;
    m_dir = nullptr;
}

void TestFiles::fileCopy_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("dstAfter"); // "<missing>" when dst must not exist

    QTest::newRow("onto itself") << "a.txt"
                                 << "a.txt" << true << QByteArray("alpha");
    QTest::newRow("missing source leaves dst") << "nope"
                                               << "old.txt" << false << QByteArray("old");
    QTest::newRow("empty file") << "empty"
                                << "copy" << true << QByteArray();
    QTest::newRow("replaces a file") << "a.txt"
                                     << "old.txt" << true << QByteArray("alpha");
    QTest::newRow("creates missing folders") << "a.txt"
                                             << "x/y/z/a.txt" << true << QByteArray("alpha");
    QTest::newRow("source is a folder") << "folder"
                                        << "f2" << false << QByteArray("<missing>");
    QTest::newRow("non-ASCII and blanks") << "n\u00e4me with blank"
                                          << "d\u00e9st/-x" << true << QByteArray("unicode");
}

void TestFiles::fileCopy()
{
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(bool, result);
    QFETCH(QByteArray, dstAfter);
    QVERIFY(writeFile(path("a.txt"), "alpha"));
    QVERIFY(writeFile(path("old.txt"), "old"));
    QVERIFY(writeFile(path("empty"), QByteArray()));
    QVERIFY(writeFile(path(QStringLiteral("n\u00e4me with blank")), "unicode"));
    QVERIFY(QDir().mkpath(path("folder")));

    QCOMPARE(Util::FileCopy(path(src), path(dst)), result);
    QCOMPARE(readFile(path(dst)), dstAfter);
    if (QFileInfo(path(src)).isFile())
        QVERIFY(readFile(path(src)) != "<missing>");
}

void TestFiles::fileCopyWritesChunksAndCounts()
{
    const QByteArray data = pattern(10000);
    QVERIFY(writeFile(path("big"), data));
    g_chunks.clear();
    UtilFiles::SetChunkSize(4096);
    UtilFiles::SetChunkHook(recordChunk);
    Util::copyedsize = 5;
    QVERIFY(Util::FileCopy(path("big"), path("out/big")));
    QCOMPARE(g_chunks, (QList<qint64> { 4096, 4096, 1808 }));
    QCOMPARE(qint64(Util::copyedsize), qint64(10005));
    QCOMPARE(readFile(path("out/big")), data);
}

void TestFiles::fileCopyAcrossFileSystems()
{
    // Between two kinds of file system the chunks go through a buffer of this process.
    struct stat here, shm;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(QFile::encodeName(m_dir->path()), &here) != 0
        || shm.st_dev == here.st_dev)
        QSKIP("no second file system at /dev/shm");
    QTemporaryDir other(QStringLiteral("/dev/shm/tst_files-XXXXXX"));
    QVERIFY(other.isValid());
    const QByteArray data = pattern(10000);
    QVERIFY(writeFile(path("big"), data));
    g_chunks.clear();
    UtilFiles::SetChunkSize(4096);
    UtilFiles::SetChunkHook(recordChunk);
    QVERIFY(Util::FileCopy(path("big"), other.path() + QStringLiteral("/big")));
    QVERIFY(Util::FileCopy(other.path() + QStringLiteral("/big"), path("back")));
    QCOMPARE(g_chunks, (QList<qint64> { 4096, 4096, 1808, 4096, 4096, 1808 }));
    QCOMPARE(readFile(other.path() + QStringLiteral("/big")), data);
    QCOMPARE(readFile(path("back")), data);
}

void TestFiles::fileCopyOfSameFileUnderAnotherName()
{
    QVERIFY(writeFile(path("d/f"), "keep me"));
    QVERIFY(Util::FileCopy(path("d/f"), path("d/./f")));
    QVERIFY(Util::FileCopy(path("d/f"), path("d/../d/f")));
    QCOMPARE(readFile(path("d/f")), QByteArray("keep me"));
    // The folder copied onto itself keeps its files as well.
    QVERIFY(Util::DirCopy(path("d"), path("d/.")));
    QCOMPARE(readFile(path("d/f")), QByteArray("keep me"));
}

void TestFiles::fileCopyReplacesLinkNotItsTarget()
{
    QVERIFY(writeFile(path("target"), "elsewhere"));
    QVERIFY(writeFile(path("src"), "new"));
    QVERIFY(QFile::link(path("target"), path("dst")));
    QVERIFY(QFile::link(path("gone"), path("dangling")));
    QVERIFY(Util::FileCopy(path("src"), path("dst")));
    QVERIFY(Util::FileCopy(path("src"), path("dangling")));
    QVERIFY(!QFileInfo(path("dst")).isSymLink());
    QCOMPARE(readFile(path("dst")), QByteArray("new"));
    QCOMPARE(readFile(path("dangling")), QByteArray("new"));
    QCOMPARE(readFile(path("target")), QByteArray("elsewhere"));
    QVERIFY(!QFile::exists(path("gone")));
}

void TestFiles::fileCopyThatRunsOutOfRoomFails()
{
    QVERIFY(writeFile(path("big"), pattern(10000)));
    bool ok = true;
    {
        FileSizeLimit limit(6000);
        ok = Util::FileCopy(path("big"), path("copy"));
    }
    QVERIFY(!ok);
    QVERIFY2(!QFile::exists(path("copy")), "a partial copy was left behind");
    QCOMPARE(readFile(path("big")), pattern(10000));
}

void TestFiles::dirCopyReplacesAndKeepsSource()
{
    QVERIFY(writeFile(path("src/a.txt"), "new a"));
    QVERIFY(writeFile(path("src/sub/b.txt"), "b"));
    QVERIFY(writeFile(path("src/.hidden"), "h"));
    QVERIFY(writeFile(path("dst/a.txt"), "old a"));
    QVERIFY(writeFile(path("dst/other"), "stays"));
    QString src = path("src"), dst = path("dst");
    QVERIFY(Util::DirCopy(src, dst));
    const QMap<QString, QByteArray> expected {
        { "a.txt", "new a" }, { "other", "stays" }, { "sub/", "" }, { "sub/b.txt", "b" }
    };
    QCOMPARE(fileTree(dst), expected);
    QCOMPARE(readFile(path("src/a.txt")), QByteArray("new a"));
}

void TestFiles::dirCopy2CopiesFolderItself()
{
    QVERIFY(writeFile(path("a/b/one"), "1"));
    QVERIFY(writeFile(path("a/b/deep/two"), "2"));
    QVERIFY(writeFile(path("a/notme"), "x"));
    QVERIFY(QDir().mkpath(path("a/b/empty")));
    QString src = path("a/b/"), dst = path("c");
    QVERIFY(Util::DirCopy2(src, dst));
    const QMap<QString, QByteArray> expected {
        { "b/", "" }, { "b/deep/", "" }, { "b/deep/two", "2" }, { "b/empty/", "" }, { "b/one", "1" }
    };
    QCOMPARE(fileTree(path("c")), expected);
}

void TestFiles::dirCopyEndsOnLinkLoops()
{
    QVERIFY(writeFile(path("src/f"), "f"));
    QVERIFY(QDir().mkpath(path("src/sub")));
    QVERIFY(QFile::link(path("src"), path("src/sub/back")));
    QString src = path("src"), dst = path("dst");
    QVERIFY(Util::DirCopy(src, dst));
    QCOMPARE(readFile(path("dst/f")), QByteArray("f"));
    QVERIFY(!QFileInfo::exists(path("dst/sub/back/sub")));
    QCOMPARE(Util::DirSize(path("src")), qint64(1));
}

void TestFiles::dirCopyIntoItsOwnSubfolder()
{
    QVERIFY(writeFile(path("a/f"), "f"));
    QVERIFY(QDir().mkpath(path("a/inner")));
    QString src = path("a"), dst = path("a/inner");
    QVERIFY(Util::DirCopy2(src, dst));
    QCOMPARE(readFile(path("a/inner/a/f")), QByteArray("f"));
    QVERIFY(!QFileInfo::exists(path("a/inner/a/inner/a")));
}

void TestFiles::dirSize()
{
    QVERIFY(writeFile(path("t/a"), pattern(100)));
    QVERIFY(writeFile(path("t/s/b"), pattern(2000)));
    QVERIFY(writeFile(path("t/s/.hidden"), pattern(50)));
    QVERIFY(writeFile(path("t/.hdir/c"), pattern(70)));
    QVERIFY(QDir().mkpath(path("t/empty")));
    QCOMPARE(Util::DirSize(path("t")), qint64(2100));
    QCOMPARE(Util::DirSize(path("t/")), qint64(2100));
    QCOMPARE(Util::DirSize(path("t/empty")), qint64(0));
    QCOMPARE(Util::DirSize(path("missing")), qint64(0));
    QCOMPARE(Util::DirSize(QString()), qint64(0));
}

void TestFiles::removeFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("remains");
    QTest::newRow("file") << "file" << false;
    QTest::newRow("empty folder") << "empty" << false;
    QTest::newRow("non-empty folder stays") << "full" << true;
    QTest::newRow("dangling link") << "dangling" << false;
    QTest::newRow("missing") << "missing" << false;
}

void TestFiles::removeFile()
{
    QFETCH(QString, name);
    QFETCH(bool, remains);
    QVERIFY(writeFile(path("file"), "x"));
    QVERIFY(QDir().mkpath(path("empty")));
    QVERIFY(writeFile(path("full/inner"), "x"));
    QVERIFY(QFile::link(path("gone"), path("dangling")));
    Util::RemoveFile(path(name));
    QCOMPARE(Util::IsFileExists(path(name)), remains);
    if (remains)
        QVERIFY(QFile::exists(path("full/inner")));
}

void TestFiles::removeDirRefusesEmptyPath()
{
    // An empty path would name the current folder.
    QVERIFY(writeFile(path("cwd/canary"), "x"));
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path("cwd")));
    Util::RemoveDir(QString());
    Util::RemoveDir(QStringLiteral("  "));
    Util::RemoveFile(QString());
    QVERIFY(QDir::setCurrent(old));
    QVERIFY(QFile::exists(path("cwd/canary")));
}

void TestFiles::removeDirOfLinkKeepsTarget()
{
    QVERIFY(writeFile(path("real/keep"), "x"));
    QVERIFY(QFile::link(path("real"), path("link")));
    Util::RemoveDir(path("link"));
    QVERIFY(!Util::IsFileExists(path("link")));
    QVERIFY(QFile::exists(path("real/keep")));
    Util::RemoveDir(path("real"));
    QVERIFY(!Util::IsFileExists(path("real")));
}

void TestFiles::writeMulLinesToFile()
{
    QVERIFY(Util::WriteMulLinesToFile({}, path("empty.txt")));
    QCOMPARE(readFile(path("empty.txt")), QByteArray());
    QVERIFY(writeFile(path("lines.txt"), "old content that is longer"));
    QVERIFY(
        Util::WriteMulLinesToFile({ "one", "", QStringLiteral("dr\u00e9i") }, path("lines.txt")));
    QCOMPARE(readFile(path("lines.txt")), QByteArray("one\n\ndr\xc3\xa9i\n"));
    QVERIFY(!Util::WriteMulLinesToFile({ "x" }, path("no/such/folder/f.txt")));
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
