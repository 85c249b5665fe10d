#include "services/crunners.h"

#include "services/runner_p.h"

#include <QElapsedTimer>

namespace {
// How long the end of a killed tool is waited for when the process is ending.
constexpr int kKilledWaitMs = 200;
} // namespace

bool CRunners::s_exiting = false;
QDeadlineTimer CRunners::s_exitDeadline;

void CRunners::SetExitDeadline(int ms)
{
    s_exiting = true;
    s_exitDeadline = QDeadlineTimer(ms);
}

CRunners::CRunners(QObject *parent)
    : QObject(parent)
{
}

CRunners::~CRunners()
{
    for (CRunCommandThread *runner : qAsConst(m_Live))
        Retire(runner);
    m_Live.clear();
    QElapsedTimer clock;
    clock.start();
    const QList<Retired> retired = m_Retired;
    m_Retired.clear();
    for (const Retired &r : retired) {
        qint64 left = qMax<qint64>(0, WaitMs - clock.elapsed());
        if (s_exiting)
            left = qMin(left, qMax<qint64>(0, s_exitDeadline.remainingTime()));
        if (r.runner->wait(static_cast<unsigned long>(left))) {
            if (r.after)
                r.after();
            delete r.runner;
            continue;
        }
        if (s_exiting) {
            // No time is left: the tool is killed, so it writes nothing more, and what it wrote
            // is dealt with now. The runner goes with the process.
            qCWarning(lcRunner) << "CRunners: killing a tool that has not ended in time";
            r.runner->KillTool();
            r.runner->wait(kKilledWaitMs);
            if (r.after)
                r.after();
            continue;
        }
        // Still ending its tool: it goes by itself once its thread has ended.
        qCWarning(lcRunner) << "CRunners: a stopped tool has not ended yet; left to end";
        CRunCommandThread *runner = r.runner;
        const std::function<void()> after = r.after;
        connect(runner, &QThread::finished, runner, [runner, after] {
            if (after)
                after();
            runner->deleteLater();
        });
        if (runner->isFinished()) {
            disconnect(runner, &QThread::finished, runner, nullptr);
            if (after)
                after();
            runner->deleteLater();
        }
    }
}

CRunCommandThread *CRunners::Create(const QString &program, const QStringList &arguments,
                                    CErrorLineReader reader)
{
    auto *runner = new CRunCommandThread;
    runner->SetRunCmd(program, arguments);
    runner->SetErrorReader(std::move(reader));
    m_Live << runner;
    return runner;
}

void CRunners::Retire(CRunCommandThread *runner, std::function<void()> after)
{
    if (!runner) {
        if (after)
            after();
        return;
    }
    m_Live.removeAll(runner);
    // Nothing it still delivers reaches its owner.
    disconnect(runner, &CRunCommandThread::standoutputline, nullptr, nullptr);
    disconnect(runner, &CRunCommandThread::sigfinished, nullptr, nullptr);
    if (runner->isRunning())
        runner->terminate();
    m_Retired << Retired { runner, std::move(after) };
    connect(
        runner, &QThread::finished, this, [this, runner] { finish(runner); }, Qt::QueuedConnection);
    if (!runner->isRunning())
        finish(runner);
}

void CRunners::finish(CRunCommandThread *runner)
{
    for (int i = 0; i < m_Retired.size(); ++i) {
        if (m_Retired.at(i).runner != runner)
            continue;
        const std::function<void()> after = m_Retired.takeAt(i).after;
        if (after)
            after();
        // Deferred: the runner may be on the stack below (its sigfinished() handler may be
        // showing a message in a nested event loop).
        runner->deleteLater();
        return;
    }
}
