#ifndef VEXLOR_CRUNCOMMANDTHREAD_H
#define VEXLOR_CRUNCOMMANDTHREAD_H

// The command runner: one external program run on a worker thread, its merged standard output
// and standard error cut into lines and delivered to the interface thread, and a synchronous
// helper thread for one-shot commands.

#include "services/linesplitter.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

class QTextCodec;

// How a run of a tool ended, as one value, with the tool's last error lines.
struct CRunOutcome
{
    enum Kind {
        Succeeded, // ended by itself with exit code 0
        ToolError, // ended by itself with another exit code
        Crashed, // killed by a signal
        FailedToStart, // the program could not be started
        Stopped // ended on terminate()
    };
    Kind kind = Stopped;
    int exitCode = -1; // the tool's exit code for Succeeded and ToolError; -1 otherwise
    QStringList errorLines; // the last error lines the tool's reader picked, oldest first

    bool Ok() const { return kind == Succeeded; }
    // The tool's own words for the user: the last maxLines distinct error lines, one per line.
    QString ErrorSummary(int maxLines = 2) const;
};

// Decides which output lines of a tool report an error: returns the text worth keeping for the
// user, or an empty string for any other line. Each tool has one (SevenZip::ErrorReader(),
// Mkisofs::ErrorReader()); it may keep state from line to line (a heading whose message follows
// on the next line), and every run starts with a fresh copy of it.
using CErrorLineReader = std::function<QString(const QString &line)>;

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
    // A variable the program gets in its environment beside the process's own.
    void SetEnvironment(const QString &name, const QString &value);
    // Asks the running program to terminate and ends the worker; no sigfinished() follows.
    virtual void terminate();
    // Kills the running program at once (the process is ending and cannot wait for it).
    void KillTool();
    // Keeps delivering events of the calling thread until the run has ended and its lines and
    // sigfinished() have been handled.
    virtual void waitFinished();
    virtual void start(QThread::Priority priority = QThread::InheritPriority);

    bool m_CollectOutput = false;
    QStringList m_OutputLines;

    // The reader that picks the tool's error lines from its output; set before start().
    void SetErrorReader(CErrorLineReader reader);
    // How many error lines an outcome keeps (the last ones).
    static constexpr int KeptErrorLines = 20;

    // How the last run ended: valid once sigfinished() has come, or after terminate().
    CRunOutcome Outcome() const;
    // Parts of Outcome(), for callers that need one of them.
    int ExitCode() const { return Outcome().exitCode; }
    bool Crashed() const { return Outcome().kind == CRunOutcome::Crashed; }
    bool FailedToStart() const { return Outcome().kind == CRunOutcome::FailedToStart; }
    bool Succeeded() const { return Outcome().Ok(); }

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
    void cutLines(const QByteArray &bytes, bool atEnd);
    void emitPiece(const QByteArray &piece);
    void stopProcess(CProcess *process);
    void finishProcess(CProcess *process);
    void forgetProcess(CProcess *process);
    void postFinished(quint64 generation);
    void readErrorLine(const QString &line);
    void setOutcome(CRunOutcome::Kind kind, int exitCode);

    QString m_command;
    QStringList m_arguments;
    QList<QPair<QString, QString>> m_environment;
    std::atomic<bool> m_running { false };
    std::atomic<bool> m_stopRequested { false };
    QMutex m_processLock; // guards m_process, which the worker creates and deletes
    CProcess *m_process = nullptr;
    std::atomic<qint64> m_pid { 0 }; // the running program's process id, 0 when none

    // Each start() begins a new run; deliveries of an earlier run are dropped.
    std::atomic<quint64> m_generation { 0 };
    std::atomic<bool> m_finishPending { false }; // the end of the run is on its way

    bool m_logLines = false; // worker thread: the log is on for the lines being cut

    // Lines cut by the worker wait here for the owner's thread, which takes them one by one:
    // one queued call delivers every line that has come by then, in order.
    void deliverLines();
    struct PendingLine
    {
        quint64 generation;
        QString text;
    };
    QMutex m_lineLock; // guards the two fields below
    QList<PendingLine> m_lines;
    bool m_deliveryPosted = false;

    // Worker-thread state of the current run.
    CProcess *m_current = nullptr;
    CLineSplitter m_splitter { QByteArrayLiteral("\n\r\b") };
    QTextCodec *m_codec = nullptr;

    CErrorLineReader m_errorReader; // as the owner set it
    CErrorLineReader m_runReader; // the copy the current run reads with (worker thread)
    mutable QMutex m_outcomeLock; // guards m_outcome
    CRunOutcome m_outcome;
};

#endif // VEXLOR_CRUNCOMMANDTHREAD_H
