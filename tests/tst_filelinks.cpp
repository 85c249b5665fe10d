// Staging by links: a folder of the local disk mirrored as real folders and short links to its
// files, with the entries a copy would have taken, and nothing of the user's touched.
// Mount route: none (plain folders of the local file system).

#include "testhelpers.h"

#include "services/filelinks.h"
#include "services/util.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

using namespace TestHelpers;

namespace {

// The target a symbolic link holds, as written.
QByteArray linkText(const QString &path)
{
    QByteArray raw(4096, 0);
    const ssize_t n
        = ::readlink(QFile::encodeName(path).constData(), raw.data(), size_t(raw.size()));
    return raw.left(int(qMax<ssize_t>(n, 0)));
}

} // namespace

class TestFileLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void folderMirrored();
    void fileLinkedAndReplaced();
    void crowdedFolderListedDescending();
    void cleanupTestCase() { QDir(FileLinks::AnchorFolder()).removeRecursively(); }
};

void TestFileLinks::folderMirrored()
{
    QTemporaryDir dir;
    // A deep source path: the links stay short all the same (a link target the file system
    // cannot keep in the link's inode takes a block of its own).
    const QString src = dir.path() + "/" + QString(100, 'p') + "/" + QString(100, 'q') + "/Docs";
    QVERIFY(writeFile(src + "/a.txt", "alpha"));
    QVERIFY(writeFile(src + "/sub dir/b.txt", "bravo"));
    QVERIFY(writeFile(src + "/.hidden", "hidden"));
    QVERIFY(QDir().mkpath(src + "/empty"));
    QVERIFY(QFile::link(src + "/a.txt", src + "/link.txt"));
    QVERIFY(QFile::link(src + "/missing", src + "/dangling"));
    QVERIFY(QFile::link(src, src + "/sub dir/up"));
    QVERIFY(::mkfifo(QFile::encodeName(src + "/fifo").constData(), 0600) == 0);
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1500000000);
    QVERIFY(QProcess::execute("touch", { "-h", "-d", "@1500000000", src + "/sub dir" }) == 0);

    // The working folder lies beside the anchors, as the pages' does.
    const QString work = Util::GetTempDir() + "/work-test/";
    QVERIFY(FileLinks::Link(src, work, nullptr));
    const QString w = work + "Docs";
    QStringList entries;
    QDirIterator it(w, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next().mid(w.size() + 1);
    entries.sort();
    QCOMPARE(entries, (QStringList { "a.txt", "empty", "link.txt", "sub dir", "sub dir/b.txt" }));
    for (const QString &folder :
         { QString(), QStringLiteral("/empty"), QStringLiteral("/sub dir") })
        QVERIFY(QFileInfo(w + folder).isDir() && !QFileInfo(w + folder).isSymLink());
    QCOMPARE(QFileInfo(w + "/sub dir").lastModified(), old);
    for (const char *file : { "a.txt", "link.txt", "sub dir/b.txt" }) {
        const QFileInfo info(w + "/" + file);
        QVERIFY(info.isSymLink());
        const QByteArray target = linkText(info.filePath());
        QVERIFY2(!target.isEmpty() && target.size() < FileLinks::InodeTargetLimit(work),
                 target.constData());
    }
    QCOMPARE(readFile(w + "/link.txt"), QByteArray("alpha"));
    QCOMPARE(readFile(w + "/sub dir/b.txt"), QByteArray("bravo"));

    // Removing the working folder and the anchors removes links only.
    Util::RemoveDir(work);
    Util::RemoveDir(FileLinks::AnchorFolder());
    QVERIFY(!QFileInfo::exists(work));
    QCOMPARE(readFile(src + "/a.txt"), QByteArray("alpha"));
    QCOMPARE(readFile(src + "/sub dir/b.txt"), QByteArray("bravo"));
    QVERIFY(QFileInfo(src + "/link.txt").isSymLink());
}

void TestFileLinks::fileLinkedAndReplaced()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + "/one.txt", "one"));
    QVERIFY(writeFile(dir.path() + "/two.txt", "two"));
    const QString place = dir.path() + "/work/x/y.txt";
    QVERIFY(FileLinks::Link(dir.path() + "/one.txt", place, nullptr)); // makes x
    QCOMPARE(readFile(place), QByteArray("one"));
    QVERIFY(FileLinks::Link(dir.path() + "/two.txt", place, nullptr));
    QCOMPARE(readFile(place), QByteArray("two"));
    QCOMPARE(readFile(dir.path() + "/one.txt"), QByteArray("one"));
    // A short path is the link's target as it is: one step to the file, and still no block.
    if ((dir.path() + "/two.txt").toUtf8().size() < FileLinks::InodeTargetLimit(dir.path()))
        QCOMPARE(linkText(place), QFile::encodeName(dir.path() + "/two.txt"));
    // A source that is gone is a failed task and leaves nothing behind.
    QVERIFY(!FileLinks::Link(dir.path() + "/gone.txt", dir.path() + "/work/gone.txt", nullptr));
    QVERIFY(!QFileInfo(dir.path() + "/work/gone.txt").isSymLink());
}

// Mount route: tmpfs (/dev/shm), whose folders list their entries newest first, while the
// machine's other disks list them by hashed name.
void TestFileLinks::crowdedFolderListedDescending()
{
    if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        QSKIP("no tmpfs at /dev/shm");
    QTemporaryDir home(QStringLiteral("/dev/shm/tst_filelinks-XXXXXX"));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
    // Made in ascending order, as a picture folder fills: tmpfs lists it descending.
    const QString src = home.path() + "/src/Pictures";
    QStringList made;
    for (int i = 0; i < 40; ++i) {
        made << QStringLiteral("Screenshot %1.png").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(writeFile(src + "/" + made.last(), "x"));
    }
    QVERIFY(writeFile(src + "/sub/z.txt", "z"));
    made << "sub";
    const QString work = Util::GetTempDir() + "/tmp";
    QVERIFY(work.startsWith(home.path()));
    QVERIFY(FileLinks::Link(src, work, nullptr));
    // The working folder lists them descending all the same (for xorrisofs the cheap order).
    std::sort(made.begin(), made.end(), std::greater<QString>());
    QCOMPARE(
        QDir(work + "/Pictures").entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted),
        made);
}

QTEST_MAIN(TestFileLinks)
#include "tst_filelinks.moc"
