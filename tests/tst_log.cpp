// The program's folders and the log switched on by "config.dat" beside the executable or in the
// data folder.
// This is the one test program that creates "config.dat"; it removes it again.

#include "services/cruncommandthread.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString switchFile()
{
    return Util::GetCurrentExePath() + QStringLiteral("/config.dat");
}

QString logFile()
{
    return Util::GetTempDir() + QStringLiteral("/log.txt");
}

QStringList logLines()
{
    QFile file(logFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

// The text of an entry, or a null string when the line is not an entry.
QString entryText(const QString &line)
{
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} (.*)$"));
    const QRegularExpressionMatch match = form.match(line);
    return match.hasMatch() ? match.captured(1) : QString();
}

class LogWriter : public QThread
{
public:
    LogWriter(int id, int count)
        : m_id(id)
        , m_count(count)
    {
    }

protected:
    void run() override
    {
        const QString filler(200, QLatin1Char('x'));
        for (int i = 0; i < m_count; ++i)
            Util::WriteLog(QStringLiteral("w%1 %2 %3").arg(m_id).arg(i).arg(filler));
    }

private:
    int m_id;
    int m_count;
};

} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void exePathIsTheExecutablesFolder();
    void tempDirIsPrivateAndStable();
    void tempDirFallsBackWhenLocationIsShared_data();
    void tempDirFallsBackWhenLocationIsShared();

    void tempDirFallbackWithoutHome();
    void noSwitchNoLog();
    void entriesWithSwitch();
    void concurrentWritersGiveWholeLines();
    void runnerLogsCommandAndLines();

private:
    void switchOn();
};

void TestLog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(switchFile());
}

void TestLog::init()
{
    QFile::remove(logFile());
}

void TestLog::cleanup()
{
    QFile::remove(switchFile());
}

void TestLog::cleanupTestCase()
{
    QFile::remove(switchFile());
    QFile::remove(logFile());
}

void TestLog::switchOn()
{
    QFile file(switchFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestLog::exePathIsTheExecutablesFolder()
{
    const QString path = Util::GetCurrentExePath();
    QCOMPARE(path, QCoreApplication::applicationDirPath());
    QVERIFY(!path.endsWith(QLatin1Char('/')));
    QVERIFY(QFileInfo(path + QStringLiteral("/tst_log")).isExecutable());
}

void TestLog::tempDirIsPrivateAndStable()
{
    const QString dir = Util::GetTempDir();
    QCOMPARE(Util::GetTempDir(), dir);
    QVERIFY(QFileInfo(dir).isDir());
    QVERIFY(dir != QLatin1String("/"));
    QVERIFY(QDir::cleanPath(dir) != QDir::cleanPath(QDir::homePath()));
    QVERIFY(QDir::cleanPath(dir) != QDir::cleanPath(QDir::tempPath()));
    QCOMPARE(QFileInfo(dir).fileName(), QCoreApplication::applicationName());
}

void TestLog::tempDirFallsBackWhenLocationIsShared_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("shared data folder") << ".";
    QTest::newRow("its parent") << "..";
    QTest::newRow("the home folder") << "../../..";
    QTest::newRow("the root") << "../../../../../../../../../..";
}

void TestLog::tempDirFallsBackWhenLocationIsShared()
{
    // An application name that leads the data location out of a folder of its own.
    QFETCH(QString, name);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QString oldName = QCoreApplication::applicationName();
    qputenv("HOME", QFile::encodeName(home.path()));
    QCoreApplication::setApplicationName(name);
    const QString shared = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString dir = Util::GetTempDir();
    QCoreApplication::setApplicationName(oldName);
    qputenv("HOME", oldHome);

    QVERIFY(QDir::cleanPath(dir) != QDir::cleanPath(shared));
    QCOMPARE(dir, home.path() + QStringLiteral("/.vexlor"));
    QVERIFY(QFileInfo(dir).isDir());
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(dir).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0700);
}

void TestLog::tempDirFallbackWithoutHome()
{
    const QString expected = QStringLiteral("/tmp/vexlor-%1").arg(::geteuid());
    const bool existed = QFileInfo::exists(expected);
    const QByteArray oldHome = qgetenv("HOME");
    const QString oldName = QCoreApplication::applicationName();
    qputenv("HOME", "/");
    QCoreApplication::setApplicationName(QStringLiteral(".."));
    const QString dir = Util::GetTempDir();
    QCoreApplication::setApplicationName(oldName);
    qputenv("HOME", oldHome);

    QVERIFY2(dir.startsWith(expected), qPrintable(dir));
    struct stat st;
    QCOMPARE(::lstat(QFile::encodeName(dir).constData(), &st), 0);
    QVERIFY(S_ISDIR(st.st_mode));
    QCOMPARE(st.st_uid, ::geteuid());
    QCOMPARE(int(st.st_mode & 0777), 0700);
    if (!existed)
        QDir(dir).removeRecursively();
}

void TestLog::noSwitchNoLog()
{
    QVERIFY(!QFile::exists(switchFile()));
    Util::WriteLog(QStringLiteral("a"));
    QVERIFY(!QFile::exists(logFile()));
}

void TestLog::entriesWithSwitch()
{
    switchOn();
    Util::WriteLog(QStringLiteral("a"));
    Util::WriteLog(QStringLiteral("b"));
    Util::WriteLog(QString());
    Util::WriteLog(QStringLiteral("ends with line feed\n"));
    Util::WriteLog(QStringLiteral("caf\u00e9"));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 6);
    QCOMPARE(entryText(lines.at(0)), QStringLiteral("a"));
    QCOMPARE(entryText(lines.at(1)), QStringLiteral("b"));
    QVERIFY(!entryText(lines.at(2)).isNull());
    QCOMPARE(entryText(lines.at(2)), QString(""));
    QCOMPARE(entryText(lines.at(3)), QStringLiteral("ends with line feed"));
    QCOMPARE(lines.at(4), QString());
    QCOMPARE(entryText(lines.at(5)), QStringLiteral("caf\u00e9"));
    QCOMPARE(QFileInfo(logFile()).permissions() & (QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());

    // Switched off again: nothing more is appended.
    QFile::remove(switchFile());
    Util::WriteLog(QStringLiteral("c"));
    QCOMPARE(logLines().size(), 6);

    // An installed program's folder is root's: the switch may lie in the data folder instead.
    const QString userSwitch = Util::GetTempDir() + QStringLiteral("/config.dat");
    QVERIFY(QFile(userSwitch).open(QIODevice::WriteOnly));
    Util::WriteLog(QStringLiteral("d"));
    QFile::remove(userSwitch);
    Util::WriteLog(QStringLiteral("e"));
    QCOMPARE(logLines().size(), 7);
    QCOMPARE(entryText(logLines().last()), QStringLiteral("d"));
}

void TestLog::concurrentWritersGiveWholeLines()
{
    switchOn();
    constexpr int writers = 6;
    constexpr int perWriter = 300;
    QList<LogWriter *> threads;
    for (int i = 0; i < writers; ++i)
        threads << new LogWriter(i, perWriter);
    for (LogWriter *t : threads)
        t->start();
    for (LogWriter *t : threads) {
        QVERIFY(t->wait(60000));
        delete t;
    }
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), writers * perWriter);
    static const QRegularExpression form(QStringLiteral("^w(\\d) (\\d+) x{200}$"));
    QVector<int> next(writers, 0);
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = form.match(entryText(line));
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const int writer = match.captured(1).toInt();
        QCOMPARE(match.captured(2).toInt(), next[writer]++);
    }
}

void TestLog::runnerLogsCommandAndLines()
{
    switchOn();
    const QString emitter = QCoreApplication::applicationDirPath() + QStringLiteral("/emitter");
    CRunCommandThread runner;
    runner.SetRunCmd(emitter, { "-o", "a\\r\\n \\r\\n\\t\\nb\\n", "-e", "x y\\n" });
    runner.start();
    runner.waitFinished();
    QVERIFY(runner.wait(5000));
    QStringList texts;
    for (const QString &line : logLines())
        texts << entryText(line);
    QCOMPARE(texts,
             (QStringList { emitter + QStringLiteral(" -o a\\r\\n \\r\\n\\t\\nb\\n -e x y\\n "),
                            "a", "b", "x y" }));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
