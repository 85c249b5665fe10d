// The command runner against real processes: the emitter helper prints chosen bytes with
// chosen pauses, exits with a chosen code or crashes.

#include "services/cruncommandthread.h"
#include "services/linesplitter.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <clocale>
#include <csignal>
#include <memory>

namespace {

QString emitter()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/emitter");
}

struct Outcome
{
    QStringList lines;
    int finished = 0;
    int linesAtFinish = -1;
};

// Runs one command to its end through waitFinished() and records what reached this thread.
Outcome runToEnd(CRunCommandThread &runner, const QString &command, const QStringList &args)
{
    Outcome outcome;
    QObject context;
    QObject::connect(&runner, &CRunCommandThread::standoutputline, &context,
                     [&](const QString &line) { outcome.lines << line; });
    QObject::connect(&runner, &CRunCommandThread::sigfinished, &context, [&] {
        ++outcome.finished;
        outcome.linesAtFinish = outcome.lines.size();
    });
    runner.SetRunCmd(command, args);
    runner.start();
    runner.waitFinished();
    return outcome;
}

bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class TestRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void splitter_data();
    void splitter();
    void streaming_data();
    void streaming();
    void collectMode();

    void arguments_data();
    void arguments();

    void outcome_data();
    void outcome();
    void missingProgramFinishes_data();
    void missingProgramFinishes();

    void reusedRunnerRunsAgain();
    void restartFromFinishedHandler();
    void linesKeepOrderThroughNestedLoops();

    void terminateEndsProgram_data();
    void terminateEndsProgram();
    void terminateRightAfterStart();

    void nonUtf8LocaleStillGivesNames();

    void callexternappQuotesProgram();
    void callexternappReportsExitCode();
};

void TestRunner::initTestCase()
{
    QVERIFY2(QFile::exists(emitter()), qPrintable(emitter()));
}

void TestRunner::splitter_data()
{
    // Each read is fed as it stands; "|" in the expectation separates the lines handed out.
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("expected");
    using L = QList<QByteArray>;
    QTest::newRow("carriage-return progress")
        << L { "10%\r20%\r30%\n" } << L { "10%", "20%", "30%" };
    QTest::newRow("empty lines dropped") << L { "a\r\n\r\n\nb\n" } << L { "a", "b" };
    QTest::newRow("line in two reads") << L { "abc", "def\n" } << L { "abcdef" };
    QTest::newRow("UTF-8 character across reads")
        << L { "- d/\xc3", "\xa9t\n" } << L { "- d/\xc3\xa9t" };
    QTest::newRow("backspace-rewritten progress")
        << L { "  0%\b\b\b\b    \b\b\b\b", " 21% 1 - f\b\b\b\b" }
        << L { "  0%", "    ", " 21% 1 - f" };
    QTest::newRow("last line without line feed") << L { "one\ntwo" } << L { "one", "two" };
    QTest::newRow("blanks kept") << L { "  name  \n" } << L { "  name  " };
    QTest::newRow("long line in pieces")
        << L { QByteArray(5000, 'x') }
        << L { QByteArray(2047, 'x'), QByteArray(2047, 'x'), QByteArray(906, 'x') };
    // Byte 2047 falls inside the two bytes of the "e acute": the piece ends before it.
    QTest::newRow("long line not cut inside a character")
        << L { QByteArray(2046, 'x') + "\xc3\xa9" "end\n" }
        << L { QByteArray(2046, 'x'), "\xc3\xa9" "end" };
}

void TestRunner::splitter()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, expected);
    CLineSplitter splitter(QByteArrayLiteral("\n\r\b"));
    QList<QByteArray> lines;
    for (const QByteArray &read : qAsConst(reads))
        lines += splitter.Feed(read);
    lines += splitter.Finish();
    QCOMPARE(lines, expected);
}

void TestRunner::streaming_data()
{
    // Through a real process: reads with pauses between them, both channels merged in order,
    // blank lines never emitted.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("blank pieces emit nothing")
        << QStringList { "-o", "a\\r\\n \\r\\n\\t\\n\\nb\\n" } << QStringList { "a", "b" };
    QTest::newRow("UTF-8 name split across bursts")
        << QStringList { "-o", "- d/\\xc3", "-s", "300", "-o", "\\xa9t\\xc3\\xa9.txt\\n" }
        << QStringList { QStringLiteral("- d/\u00e9t\u00e9.txt") };
    QTest::newRow("standard error merged in order")
        << QStringList { "-o", "out\\n", "-s", "100", "-e", "err\\n", "-s", "100", "-o", "out2\\n" }
        << QStringList { "out", "err", "out2" };
    QTest::newRow("long line in pieces")
        << QStringList { "-n", "5000", "x" }
        << QStringList { QString(2047, QLatin1Char('x')), QString(2047, QLatin1Char('x')),
                         QString(906, QLatin1Char('x')) };
    QTest::newRow("no output") << QStringList { "-s", "10" } << QStringList {};
}

void TestRunner::streaming()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    CRunCommandThread runner;
    const Outcome outcome = runToEnd(runner, emitter(), args);
    QCOMPARE(outcome.lines, expected);
    QCOMPARE(outcome.finished, 1);
    QCOMPARE(outcome.linesAtFinish, expected.size());
    QVERIFY(runner.Succeeded());
}

void TestRunner::collectMode()
{
    CRunCommandThread runner;
    runner.m_CollectOutput = true;
    Outcome outcome = runToEnd(runner, emitter(), { "-o", "a\\r\\nb\\n\\nc" });
    QVERIFY(outcome.lines.isEmpty());
    QCOMPARE(outcome.finished, 1);
    QCOMPARE(runner.m_OutputLines, (QStringList { "a", "b", "", "c" }));

    // The next run replaces the lines; non-ASCII text arrives intact.
    outcome = runToEnd(runner, emitter(), { "-o", "\\xc3\\xa9\\n" });
    QCOMPARE(runner.m_OutputLines, (QStringList { QStringLiteral("\u00e9"), QString() }));
}

void TestRunner::arguments_data()
{
    QTest::addColumn<bool>("asList");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("list: blank inside one argument")
        << true << "my folder/file" << QStringList { "[my folder/file]" };
    QTest::newRow("list: quotes and leading dash reach the tool")
        << true << "-\"x\" 'y'" << QStringList { "[-\"x\" 'y']" };
    QTest::newRow("command line: split at the blank")
        << false << "my folder/file" << QStringList { "[my]", "[folder/file]" };
    QTest::newRow("command line: quotes group")
        << false << "\"my folder/file\" b" << QStringList { "[my folder/file]", "[b]" };
}

void TestRunner::arguments()
{
    QFETCH(bool, asList);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    CRunCommandThread runner;
    const Outcome outcome = asList
        ? runToEnd(runner, emitter(), { "-a", text })
        : runToEnd(runner, emitter() + QStringLiteral(" -a ") + text, {});
    QCOMPARE(outcome.lines, expected);
}

void TestRunner::outcome_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<bool>("succeeded");

    QTest::newRow("clean end") << QStringList { "-o", "hi\\n" } << 0 << false << true;
    QTest::newRow("exit code 2") << QStringList { "-o", "ERROR\\n", "-c", "2" } << 2 << false
                                 << false;
    QTest::newRow("exit code 255") << QStringList { "-c", "255" } << 255 << false << false;
    QTest::newRow("crash") << QStringList { "-o", "x\\n", "-k" } << -1 << true << false;
}

void TestRunner::outcome()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(bool, crashed);
    QFETCH(bool, succeeded);
    for (bool collect : { false, true }) {
        CRunCommandThread runner;
        runner.m_CollectOutput = collect;
        const Outcome outcome = runToEnd(runner, emitter(), args);
        QCOMPARE(outcome.finished, 1);
        const CRunOutcome end = runner.Outcome();
        QCOMPARE(end.exitCode, exitCode);
        QCOMPARE(end.kind,
                 crashed         ? CRunOutcome::Crashed
                     : succeeded ? CRunOutcome::Succeeded
                                 : CRunOutcome::ToolError);
        QCOMPARE(runner.Succeeded(), succeeded);
    }
    // The tool's reader picks its error lines; each run starts with a fresh one.
    CRunCommandThread runner;
    int seen = 0;
    runner.SetErrorReader([seen](const QString &line) mutable {
        return line.startsWith("E") ? QStringLiteral("%1 %2").arg(++seen).arg(line) : QString();
    });
    for (int run = 0; run < 2; ++run) {
        runToEnd(runner, emitter(), { "-o", "E1\\nok\\nE2\\n", "-c", "3" });
        QCOMPARE(runner.Outcome().errorLines, (QStringList { "1 E1", "2 E2" }));
    }
    runner.terminate();
    QCOMPARE(runner.Outcome().kind, CRunOutcome::ToolError); // an ended run keeps its outcome
}

void TestRunner::missingProgramFinishes_data()
{
    QTest::addColumn<bool>("collect");
    QTest::addColumn<bool>("asList");
    QTest::newRow("streaming, list") << false << true;
    QTest::newRow("streaming, command line") << false << false;
    QTest::newRow("collect, list") << true << true;
}

void TestRunner::missingProgramFinishes()
{
    QFETCH(bool, collect);
    QFETCH(bool, asList);
    CRunCommandThread runner;
    runner.m_CollectOutput = collect;
    const QString missing = QStringLiteral("/nonexistent/vexlor-no-such-tool");
    const Outcome outcome = asList ? runToEnd(runner, missing, { "l", "x.iso" })
                                   : runToEnd(runner, missing + QStringLiteral(" l x.iso"), {});
    QCOMPARE(outcome.finished, 1);
    QVERIFY(outcome.lines.isEmpty());
    QCOMPARE(runner.Outcome().kind, CRunOutcome::FailedToStart);
    QCOMPARE(runner.ExitCode(), -1);
    QVERIFY(!runner.Succeeded());
    QVERIFY(runner.wait(5000));
}

void TestRunner::reusedRunnerRunsAgain()
{
    CRunCommandThread runner;
    Outcome first = runToEnd(runner, emitter(), { "-o", "one\\n", "-c", "1" });
    QCOMPARE(first.lines, QStringList { "one" });
    QCOMPARE(runner.ExitCode(), 1);
    Outcome second = runToEnd(runner, emitter(), { "-o", "two\\n" });
    QCOMPARE(second.lines, QStringList { "two" });
    QCOMPARE(second.finished, 1);
    QVERIFY(runner.Succeeded());
}

void TestRunner::restartFromFinishedHandler()
{
    // A page that starts its next command as soon as the last one has finished: the worker of
    // the first run may still be on its way out.
    CRunCommandThread runner;
    QStringList lines;
    int finished = 0;
    connect(&runner, &CRunCommandThread::standoutputline, this,
            [&](const QString &line) { lines << line; });
    connect(&runner, &CRunCommandThread::sigfinished, this, [&] {
        if (++finished < 5) {
            runner.SetRunCmd(emitter(), { "-o", QStringLiteral("run%1\\n").arg(finished) });
            runner.start();
        }
    });
    runner.SetRunCmd(emitter(), { "-o", "run0\\n" });
    runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished, 5, 20000);
    QCOMPARE(lines, (QStringList { "run0", "run1", "run2", "run3", "run4" }));
    disconnect(&runner, nullptr, this, nullptr);
    QVERIFY(runner.wait(5000));
}

// A line's handler that runs an event loop of its own (a page waiting for something) still sees
// every later line after its own, in order, and the end after the last line.
void TestRunner::linesKeepOrderThroughNestedLoops()
{
    CRunCommandThread runner;
    QStringList events;
    connect(&runner, &CRunCommandThread::standoutputline, this, [&](const QString &line) {
        events << line;
        if (line == "a5")
            QTest::qWait(300); // the rest of the output arrives meanwhile
    });
    connect(&runner, &CRunCommandThread::sigfinished, this, [&] { events << "end"; });
    QStringList args;
    QStringList expected;
    for (int i = 0; i < 400; ++i) {
        args << "-o" << QStringLiteral("a%1\\n").arg(i);
        expected << QStringLiteral("a%1").arg(i);
        if (i == 200)
            args << "-s"
                 << "50";
    }
    expected << "end";
    runner.SetRunCmd(emitter(), args);
    runner.start();
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), expected.size(), 20000);
    QCOMPARE(events, expected);
}

void TestRunner::terminateEndsProgram_data()
{
    QTest::addColumn<bool>("ignoresTermination");
    QTest::newRow("program ends on request") << false;
    QTest::newRow("program ignores the request") << true;
}

void TestRunner::terminateEndsProgram()
{
    QFETCH(bool, ignoresTermination);
    auto runner = std::make_unique<CRunCommandThread>();
    QStringList lines;
    QSignalSpy finished(runner.get(), &CRunCommandThread::sigfinished);
    connect(runner.get(), &CRunCommandThread::standoutputline, this,
            [&](const QString &line) { lines << line; });
    QStringList args;
    if (ignoresTermination)
        args << "-t";
    args << "-p"
         << "-s"
         << "60000"
         << "-o"
         << "late\\n";
    runner->SetRunCmd(emitter(), args);
    runner->start();
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 10000);
    const qint64 pid = lines.first().toLongLong();
    QVERIFY(pid > 0);
    QVERIFY(processExists(pid));

    runner->terminate();
    runner->waitFinished(); // returns at once after a stop
    QVERIFY(runner->wait(15000));
    QVERIFY2(!processExists(pid), "the program outlived its runner");
    QTest::qWait(300);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(lines.size(), 1);
    runner.reset(); // destroying a stopped runner is safe
}

void TestRunner::terminateRightAfterStart()
{
    for (int i = 0; i < 20; ++i) {
        CRunCommandThread runner;
        QSignalSpy finished(&runner, &CRunCommandThread::sigfinished);
        runner.SetRunCmd(emitter(), { "-s", "30000" });
        runner.start();
        if (i % 2)
            QTest::qWait(5 * (i % 7));
        runner.terminate();
        QVERIFY(runner.wait(10000));
        QCoreApplication::processEvents();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(runner.Outcome().kind, CRunOutcome::Stopped);
    }
}

void TestRunner::nonUtf8LocaleStillGivesNames()
{
    // The emitter, like many tools, prints names in its locale's character set and '?' for
    // what that set cannot hold. Under a plain ASCII locale a started child gets UTF-8.
    const QByteArray oldLcAll = qgetenv("LC_ALL");
    const std::string oldLocale = std::setlocale(LC_ALL, nullptr);
    qputenv("LC_ALL", "C");
    std::setlocale(LC_ALL, "C");

    QProcess plain; // the same program started as it is, for comparison
    plain.start(emitter(), { "-l", "\\xc3\\xa9t\\xc3\\xa9" });
    QVERIFY(plain.waitForFinished(10000));
    const QByteArray plainOutput = plain.readAllStandardOutput();

    CRunCommandThread runner;
    const Outcome outcome
        = runToEnd(runner, emitter(), { "-L", "-l", "caf\\xc3\\xa9 \\xe6\\x97\\xa5.txt" });

    qputenv("LC_ALL", oldLcAll);
    if (oldLcAll.isEmpty())
        qunsetenv("LC_ALL");
    std::setlocale(LC_ALL, oldLocale.c_str());

    QCOMPARE(plainOutput, QByteArray("?t?\n"));
    QCOMPARE(outcome.lines, (QStringList { "UTF-8", QStringLiteral("caf\u00e9 \u65e5.txt") }));
}

void TestRunner::callexternappQuotesProgram()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/tool folder");
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/emit ter");
    QVERIFY(QFile::copy(emitter(), program));

    int exitCode = 99;
    const QString result = Util::callexternapp(program, QStringLiteral("-a \"x y\" z"), &exitCode);
    QCOMPARE(result, QStringLiteral("[x y]\n[z]\n"));
    QCOMPARE(exitCode, 0);
    // Standard error is not part of the result.
    QCOMPARE(Util::callexternapp(program, QStringLiteral("-e err -o \\xc3\\xa9")),
             QStringLiteral("\u00e9"));
}

void TestRunner::callexternappReportsExitCode()
{
    int exitCode = 99;
    QCOMPARE(Util::callexternapp(emitter(), QStringLiteral("-o out -c 7"), &exitCode),
             QStringLiteral("out"));
    QCOMPARE(exitCode, 7);
    QCOMPARE(Util::callexternapp(emitter(), QStringLiteral("-k"), &exitCode), QString());
    QCOMPARE(exitCode, -1);
    QCOMPARE(Util::callexternapp(QStringLiteral("/nonexistent/tool"), QString(), &exitCode),
             QString());
    QCOMPARE(exitCode, -1);
}

QTEST_GUILESS_MAIN(TestRunner)
#include "tst_runner.moc"
