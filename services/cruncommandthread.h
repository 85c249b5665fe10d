#ifndef VEXLOR_CRUNCOMMANDTHREAD_H
#define VEXLOR_CRUNCOMMANDTHREAD_H

// The command runner: one external program run on a worker thread, its merged standard output
// and standard error cut into lines and delivered to the interface thread, and a synchronous
// helper thread for one-shot commands.

#include <QByteArray>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

class QTextCodec;

// The process a runner drives. OnTerminate() lets a request made on another thread reach the
// process through a queued signal.
class CProcess : public QProcess
{
    Q_OBJECT
public:
    using QProcess::QProcess;

public slots:
    void OnTerminate();
};

class CRunCommandThread : public QThread
{
    Q_OBJECT
public:
    // The parent is ignored: a runner belongs to whoever created it, which also destroys it.
    explicit CRunCommandThread(QObject *parent = nullptr);
    // Waits for the worker to end; a command still running is asked to terminate first.
    ~CRunCommandThread() override;

    void SetRunCmd(const QString &command, const QStringList &arguments);
    // Asks the running program to terminate and ends the worker; no sigfinished() follows.
    virtual void terminate();
    // Keeps delivering events of the calling thread until the run has ended and its lines and
    // sigfinished() have been handled.
    virtual void waitFinished();
    virtual void start(QThread::Priority priority = QThread::InheritPriority);

    bool m_CollectOutput = false;
    QStringList m_OutputLines;

    // Outcome of the last run, valid once sigfinished() has been emitted:
    int ExitCode() const; // the exit code; -1 when it could not be started or crashed
    bool Crashed() const;
    bool FailedToStart() const;
    bool Succeeded() const; // started, not crashed, exit code 0

signals:
    void standoutputline(QString line);
    void sigfinished();
    void terminateprocess();

public slots:
    void onReadOutput();
    void sloterrorstart(QProcess::ProcessError error);
    void OnTerminateProcess();

protected:
    void run() override;

private:
    void readAvailable(CProcess *process);
    void cutLines(bool atEnd);
    void emitPiece(const QByteArray &piece);
    void stopProcess(CProcess *process);
    void finishProcess(CProcess *process);
    void forgetProcess(CProcess *process);
    void postFinished(quint64 generation);

    QString m_command;
    QStringList m_arguments;
    std::atomic<bool> m_running { false };
    std::atomic<bool> m_stopRequested { false };
    QMutex m_processLock; // guards m_process, which the worker creates and deletes
    CProcess *m_process = nullptr;

    // Each start() begins a new run; deliveries of an earlier run are dropped.
    std::atomic<quint64> m_generation { 0 };
    std::atomic<bool> m_finishPending { false }; // the end of the run is on its way

    // Worker-thread state of the current run.
    CProcess *m_current = nullptr;
    QByteArray m_pending; // read but not yet cut into lines
    QTextCodec *m_codec = nullptr;

    std::atomic<int> m_exitCode { -1 };
    std::atomic<bool> m_crashed { false };
    std::atomic<bool> m_failedToStart { false };
};

// The short-lived thread of Util::callexternapp: runs "program" (quoted) followed by the argument
// string, split by the platform rules, and keeps its standard output.
class callexternappT : public QThread
{
    Q_OBJECT
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

#endif // VEXLOR_CRUNCOMMANDTHREAD_H
