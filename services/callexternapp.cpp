// Util::callexternapp: one command run to its end on a short-lived thread while the caller's
// thread keeps handling events in a nested loop.

#include "services/runner_p.h"
#include "services/util.h"

#include <QEventLoop>
#include <QProcess>
#include <QThread>

// The short-lived thread of Util::callexternapp: runs "program" (quoted) followed by the argument
// string, split by the platform rules, and keeps its standard output.
class callexternappT : public QThread
{
public:
    callexternappT(const QString &program, const QString &arguments);
    // The program with an argument list, each element one argument; a program still running
    // after timeoutMs (-1: no limit) is killed.
    callexternappT(const QString &program, const QStringList &arguments, int timeoutMs);

    QString m_Program;
    QString m_Arguments;
    QStringList m_ArgumentList;
    bool m_UseList = false;
    int m_TimeoutMs = -1;
    QString m_Result;
    int m_ExitCode = -1; // -1 when the program could not be started or crashed

protected:
    void run() override;
};

callexternappT::callexternappT(const QString &program, const QString &arguments)
    : m_Program(program)
    , m_Arguments(arguments)
{
}

callexternappT::callexternappT(const QString &program, const QStringList &arguments, int timeoutMs)
    : m_Program(program)
    , m_Arguments(arguments.join(QLatin1Char(' ')))
    , m_ArgumentList(arguments)
    , m_UseList(true)
    , m_TimeoutMs(timeoutMs)
{
}

void callexternappT::run()
{
    QTextCodec *codec = nullptr;
    QProcess process;
    process.setProcessEnvironment(RunnerDetail::childEnvironment(&codec));
    // The program is taken whole (so its path may hold blanks); an argument string is split
    // by the platform rules.
    process.start(m_Program, m_UseList ? m_ArgumentList : QProcess::splitCommand(m_Arguments),
                  QIODevice::ReadWrite);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(m_TimeoutMs);
    if (!finished && process.state() != QProcess::NotRunning) {
        qCWarning(lcRunner) << "callexternappT::run: no end in time, killing" << m_Program;
        process.kill();
        process.waitForFinished(RunnerDetail::kKillWaitMs);
    }
    m_Result = RunnerDetail::decode(codec, process.readAllStandardOutput());
    if (finished && process.exitStatus() == QProcess::NormalExit)
        m_ExitCode = process.exitCode();
    else
        m_ExitCode = -1;
    qCDebug(lcRunner) << "callexternappT::run" << m_Program << m_Arguments << m_Result;
    Util::WriteLog(m_Program + QLatin1Char(' ') + m_Arguments + QStringLiteral(" result:")
                   + m_Result);
}

static QString runCallexternapp(callexternappT &thread, int *exitCode);

QString Util::callexternapp(const QString &program, const QString &arguments)
{
    return callexternapp(program, arguments, nullptr);
}

QString Util::callexternapp(const QString &program, const QString &arguments, int *exitCode)
{
    callexternappT thread(program, arguments);
    return runCallexternapp(thread, exitCode);
}

QString Util::callexternapp(const QString &program, const QStringList &arguments, int timeoutMs,
                            int *exitCode)
{
    callexternappT thread(program, arguments, timeoutMs);
    return runCallexternapp(thread, exitCode);
}

static QString runCallexternapp(callexternappT &thread, int *exitCode)
{
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread.start();
    loop.exec();
    thread.wait();
    if (exitCode)
        *exitCode = thread.m_ExitCode;
    return thread.m_Result;
}
