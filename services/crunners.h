#ifndef VEXLOR_CRUNNERS_H
#define VEXLOR_CRUNNERS_H

#include "services/cruncommandthread.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>

#include <functional>

// The runners of one owner (a page), with one policy for all of them: a runner the owner no
// longer uses is retired (disconnected, stopped when it still runs, deleted once its thread has
// ended), and when the owner goes, every runner is stopped and waited for, for a bounded time.
class CRunners : public QObject
{
    Q_OBJECT
public:
    explicit CRunners(QObject *parent = nullptr);
    // Stops every runner still running and waits for all of them together at most WaitMs; one
    // whose thread has not ended by then is deleted (and its after() run) when it ends.
    ~CRunners() override;
    static constexpr int WaitMs = 5000;
    // The process is ending: from now on the owners' waits together end within ms, and a tool
    // still running then is killed (and its runner's after() run) before the wait returns.
    static void SetExitDeadline(int ms);

    // A new runner for program and arguments, reading errors with reader; not started yet. The
    // owner connects its signals, then calls start().
    CRunCommandThread *Create(const QString &program, const QStringList &arguments,
                              CErrorLineReader reader = {});
    // Retires a runner: its signals reach nobody any more, a running tool is stopped, and the
    // runner is deleted once its thread has ended; after (when given) runs then, on this thread
    // (for example to remove what a stopped tool wrote). Safe inside the runner's own signals.
    void Retire(CRunCommandThread *runner, std::function<void()> after = {});
    // Runners retired whose threads have not ended yet.
    int Retiring() const { return m_Retired.size(); }

private:
    struct Retired
    {
        CRunCommandThread *runner;
        std::function<void()> after;
    };
    void finish(CRunCommandThread *runner);

    QList<CRunCommandThread *> m_Live;
    QList<Retired> m_Retired;
    static bool s_exiting;
    static QDeadlineTimer s_exitDeadline;
};

#endif // VEXLOR_CRUNNERS_H
