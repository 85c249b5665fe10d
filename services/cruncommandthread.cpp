#include "services/cruncommandthread.h"

#include "services/runner_p.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QMutexLocker>
#include <QProcessEnvironment>
#include <QTextCodec>

#include <langinfo.h>
#include <signal.h>
#include <strings.h>

// Command lines, errors and stops.
Q_LOGGING_CATEGORY(lcRunner, "vexlor.runner", QtWarningMsg)
// Every piece of output as read; off unless enabled with
// QT_LOGGING_RULES="vexlor.runner.output=true".
Q_LOGGING_CATEGORY(lcRunnerOutput, "vexlor.runner.output", QtInfoMsg)

namespace {

// The wait loop of a run checks for a stop request at least this often.
constexpr int kPollMs = 100;
// How long a program may take to end after the termination request before it is killed.
constexpr int kTerminateGraceMs = 3000;

bool isUtf8CodeSet(const char *codeSet)
{
    return codeSet && (strcasecmp(codeSet, "UTF-8") == 0 || strcasecmp(codeSet, "utf8") == 0);
}

// True when both this program's text codec and its C library locale use UTF-8.
bool ownLocaleIsUtf8()
{
    QTextCodec *codec = QTextCodec::codecForLocale();
    return codec && codec->mibEnum() == 106 && isUtf8CodeSet(nl_langinfo(CODESET));
}

} // namespace

namespace RunnerDetail {

QProcessEnvironment childEnvironment(QTextCodec **codec)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!ownLocaleIsUtf8()) {
        if (!env.value(QStringLiteral("LC_ALL")).isEmpty())
            env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        else
            env.insert(QStringLiteral("LC_CTYPE"), QStringLiteral("C.UTF-8"));
    }
    // In a UTF-8 locale the locale codec is UTF-8; otherwise the child now writes UTF-8.
    *codec = QTextCodec::codecForMib(106);
    return env;
}

QString decode(QTextCodec *codec, QByteArray bytes)
{
    bytes.replace('\0', QByteArray());
    return codec->toUnicode(bytes);
}

} // namespace RunnerDetail

QString CRunOutcome::ErrorSummary(int maxLines) const
{
    QStringList picked;
    for (int i = errorLines.size() - 1; i >= 0 && picked.size() < maxLines; --i) {
        if (!picked.contains(errorLines.at(i)))
            picked.prepend(errorLines.at(i));
    }
    return picked.join(QLatin1Char('\n'));
}

void CProcess::OnTerminate()
{
    qCDebug(lcRunner) << "CProcess::OnTerminate()";
    terminate();
}

CRunCommandThread::CRunCommandThread(QObject *parent)
    : QThread(nullptr)
{
    Q_UNUSED(parent)
}

CRunCommandThread::~CRunCommandThread()
{
    if (isRunning()) {
        m_stopRequested = true;
        wait();
    }
}

void CRunCommandThread::SetEnvironment(const QString &name, const QString &value)
{
    m_environment.append({ name, value });
}

void CRunCommandThread::SetRunCmd(const QString &command, const QStringList &arguments)
{
    m_command = command;
    m_arguments = arguments;
}

void CRunCommandThread::start(QThread::Priority priority)
{
    // The worker of the previous run may still be on its way out (just after its sigfinished(),
    // or ending its program after terminate()); starting a running thread would do nothing.
    if (m_running)
        qCWarning(lcRunner) << "CRunCommandThread::start: the last run has not ended" << m_command;
    if (isRunning())
        wait();
    m_stopRequested = false;
    setOutcome(CRunOutcome::Stopped, -1);
    {
        QMutexLocker locker(&m_outcomeLock);
        m_outcome.errorLines.clear();
    }
    m_runReader = m_errorReader;
    ++m_generation;
    m_running = true;
    QThread::start(priority);
}

void CRunCommandThread::terminate()
{
    qCDebug(lcRunner) << "CRunCommandThread::terminate";
    {
        QMutexLocker locker(&m_processLock);
        m_stopRequested = true;
    }
    // A run whose end has been delivered keeps its outcome.
    if (m_running.exchange(false))
        setOutcome(CRunOutcome::Stopped, -1);
    // Reaches the process queued on the worker thread; the worker also sees the stop request
    // and asks the process to terminate before it ends.
    emit terminateprocess();
}

void CRunCommandThread::KillTool()
{
    const qint64 pid = m_pid;
    if (pid > 0)
        ::kill(pid_t(pid), SIGKILL);
}

void CRunCommandThread::waitFinished()
{
    while (m_running) {
        if (isFinished() && !m_finishPending)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!m_running)
            break;
        QThread::msleep(10);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CRunCommandThread::SetErrorReader(CErrorLineReader reader)
{
    m_errorReader = std::move(reader);
}

CRunOutcome CRunCommandThread::Outcome() const
{
    QMutexLocker locker(&m_outcomeLock);
    return m_outcome;
}

void CRunCommandThread::setOutcome(CRunOutcome::Kind kind, int exitCode)
{
    QMutexLocker locker(&m_outcomeLock);
    m_outcome.kind = kind;
    m_outcome.exitCode = exitCode;
}

// Worker thread: hands one output line to the tool's error reader.
void CRunCommandThread::readErrorLine(const QString &line)
{
    if (!m_runReader)
        return;
    const QString error = m_runReader(line);
    if (error.isEmpty())
        return;
    QMutexLocker locker(&m_outcomeLock);
    m_outcome.errorLines << error;
    while (m_outcome.errorLines.size() > KeptErrorLines)
        m_outcome.errorLines.removeFirst();
}

void CRunCommandThread::OnTerminateProcess()
{
    QMutexLocker locker(&m_processLock);
    qCDebug(lcRunner) << "CRunCommandThread::OnTerminateProcess is called" << m_process;
    if (m_process) {
        if (QThread::currentThread() == m_process->thread())
            m_process->terminate();
        else
            QMetaObject::invokeMethod(m_process, "OnTerminate", Qt::QueuedConnection);
    }
    m_process = nullptr;
}

void CRunCommandThread::sloterrorstart(QProcess::ProcessError error)
{
    const char *name = QMetaEnum::fromType<QProcess::ProcessError>().valueToKey(error);
    qCWarning(lcRunner) << "CRunCommandThread::sloterrorstart" << name << m_command;
    Util::WriteLog(QStringLiteral("CRunCommandThread::sloterrorstart"));
}

void CRunCommandThread::onReadOutput()
{
    if (m_current)
        readAvailable(m_current);
}

void CRunCommandThread::readAvailable(CProcess *process)
{
    const QByteArray bytes = process->readAll();
    if (bytes.isEmpty())
        return;
    qCDebug(lcRunnerOutput) << "CRunCommandThread::onReadOutput" << bytes;
    cutLines(bytes, false);
}

// Cuts the output into lines (see CLineSplitter): a line feed, a carriage return and a backspace
// each end a line, since tools redraw one console line with carriage returns and 7-Zip rewrites
// its progress with runs of backspaces. At the end of the run the unfinished tail is flushed.
void CRunCommandThread::cutLines(const QByteArray &bytes, bool atEnd)
{
    // Asked once for the lines of one read rather than once a line: a tool may print a
    // hundred thousand lines.
    m_logLines = Util::IsLogOn();
    for (const QByteArray &piece : m_splitter.Feed(bytes))
        emitPiece(piece);
    if (atEnd) {
        for (const QByteArray &piece : m_splitter.Finish())
            emitPiece(piece);
    }
}

void CRunCommandThread::emitPiece(const QByteArray &piece)
{
    const QString text = RunnerDetail::decode(m_codec, piece);
    if (text.trimmed().isEmpty())
        return;
    if (m_logLines)
        Util::WriteLog(text);
    readErrorLine(text);
    QMutexLocker locker(&m_lineLock);
    m_lines.append(PendingLine { m_generation, text });
    if (!m_deliveryPosted) {
        m_deliveryPosted = true;
        QMetaObject::invokeMethod(
            this, [this] { deliverLines(); }, Qt::QueuedConnection);
    }
}

void CRunCommandThread::deliverLines()
{
    for (;;) {
        PendingLine line;
        {
            QMutexLocker locker(&m_lineLock);
            if (m_lines.isEmpty()) {
                m_deliveryPosted = false;
                return;
            }
            line = m_lines.takeFirst();
        }
        if (line.generation == m_generation && !m_stopRequested)
            emit standoutputline(line.text);
    }
}

void CRunCommandThread::run()
{
    OnTerminateProcess();
    m_splitter.Clear();
    const quint64 generation = m_generation;
    QProcessEnvironment env = RunnerDetail::childEnvironment(&m_codec);
    for (const auto &variable : qAsConst(m_environment))
        env.insert(variable.first, variable.second);

    auto *process = new CProcess;
    {
        QMutexLocker locker(&m_processLock);
        if (m_stopRequested) {
            delete process;
            return;
        }
        m_process = process;
    }
    m_current = process;
    connect(this, &CRunCommandThread::terminateprocess, process, &CProcess::OnTerminate);
    process->setProcessEnvironment(env);
    process->setReadChannel(QProcess::StandardOutput);
    process->setProcessChannelMode(QProcess::MergedChannels);
    if (!m_CollectOutput) {
        connect(process, &QProcess::readyReadStandardOutput, this, &CRunCommandThread::onReadOutput,
                Qt::DirectConnection);
    }
    connect(process, &QProcess::errorOccurred, this, &CRunCommandThread::sloterrorstart,
            Qt::DirectConnection);

    if (m_arguments.isEmpty()) {
        // A whole command line: blanks separate arguments, double quotes group.
        QStringList words = QProcess::splitCommand(m_command);
        const QString program = words.isEmpty() ? QString() : words.takeFirst();
        process->start(program, words, QIODevice::ReadWrite);
    } else {
        process->start(m_command, m_arguments, QIODevice::ReadWrite);
    }
    qCDebug(lcRunner) << "CRunCommandThread run " << m_command << m_arguments;
    QString logLine = m_command + QLatin1Char(' ');
    for (const QString &argument : qAsConst(m_arguments))
        logLine += argument + QLatin1Char(' ');
    Util::WriteLog(logLine);

    if (!process->waitForStarted(-1)) {
        setOutcome(CRunOutcome::FailedToStart, -1);
        if (m_CollectOutput)
            m_OutputLines.clear();
        forgetProcess(process);
        postFinished(generation);
        return;
    }
    m_pid = process->processId();
    // Nothing is ever written to a tool: a tool that asks a question sees the end of its input
    // instead of waiting for ever.
    process->closeWriteChannel();

    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_stopRequested) {
            stopProcess(process);
            forgetProcess(process);
            return;
        }
        if (process->state() == QProcess::NotRunning || process->waitForFinished(kPollMs))
            break;
    }
    finishProcess(process);
    forgetProcess(process);
    postFinished(generation);
}

void CRunCommandThread::postFinished(quint64 generation)
{
    m_finishPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            // Every line comes before the end, also when a line's handler is still running
            // an event loop of its own.
            deliverLines();
            if (generation != m_generation)
                return;
            m_finishPending = false;
            if (m_stopRequested)
                return;
            // Idle again before the owner hears of it, so its handler may start the next run.
            m_running = false;
            emit sigfinished();
        },
        Qt::QueuedConnection);
}

// Asks the program to terminate and waits for it to end; one that ignores the request is
// killed, so no process outlives the worker.
void CRunCommandThread::stopProcess(CProcess *process)
{
    // Ending it is what was asked for: no more lines, and its end is no error.
    disconnect(process, &QProcess::readyReadStandardOutput, this, &CRunCommandThread::onReadOutput);
    disconnect(process, &QProcess::errorOccurred, this, &CRunCommandThread::sloterrorstart);
    if (process->state() == QProcess::NotRunning)
        return;
    qCDebug(lcRunner) << "CRunCommandThread::stopProcess" << m_command;
    process->terminate();
    if (!process->waitForFinished(kTerminateGraceMs)) {
        qCWarning(lcRunner) << "CRunCommandThread::stopProcess: no end after the termination "
                               "request, killing"
                            << m_command;
        process->kill();
        process->waitForFinished(RunnerDetail::kKillWaitMs);
    }
}

void CRunCommandThread::finishProcess(CProcess *process)
{
    if (m_CollectOutput) {
        QString text = RunnerDetail::decode(m_codec, process->readAll());
        text.remove(QLatin1Char('\r'));
        m_OutputLines = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
        for (const QString &line : qAsConst(m_OutputLines)) {
            if (!line.trimmed().isEmpty()) {
                Util::WriteLog(line);
                readErrorLine(line);
            }
        }
    } else {
        const QByteArray bytes = process->readAll();
        qCDebug(lcRunnerOutput) << "CRunCommandThread::finishProcess" << bytes;
        cutLines(bytes, true);
    }
    if (process->exitStatus() == QProcess::CrashExit)
        setOutcome(CRunOutcome::Crashed, -1);
    else if (process->exitCode() == 0)
        setOutcome(CRunOutcome::Succeeded, 0);
    else
        setOutcome(CRunOutcome::ToolError, process->exitCode());
}

void CRunCommandThread::forgetProcess(CProcess *process)
{
    m_pid = 0;
    {
        QMutexLocker locker(&m_processLock);
        if (m_process == process)
            m_process = nullptr;
    }
    m_current = nullptr;
    // The process was made on this thread; it goes with it. A process still running here
    // (one that could not be stopped) is killed by its destructor.
    delete process;
}
