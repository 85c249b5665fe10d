#ifndef VEXLOR_CFILECOPY_H
#define VEXLOR_CFILECOPY_H

// The background copier: a worker thread that carries out copy, delete and rename tasks one at
// a time, in the order they were added, and knows how many bytes are still to be copied.

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

// A scoped lock that can be released early and taken again.
class CLocker
{
public:
    explicit CLocker(QMutex *m);
    ~CLocker();
    void Lock();
    void Unlock();

private:
    QMutex *m_mutex;
    bool m_locked = false;
};

class CFileCopy : public QThread
{
    Q_OBJECT
public:
    explicit CFileCopy(QObject *parent = nullptr); // starts the worker at once
    ~CFileCopy() override; // stop(), wait(), as owners do

    // kind: 0 copy, 1 delete, 2 rename or move, 3 link (as a copy, but files become symbolic
    // links to their sources: FileLinks::Link)
    void AddTask(const QString &source, const QString &destination, int kind);
    void RemoveTask(const QString &source);
    void ClearAllTasks();
    // The size of every queued source less what the task in progress has copied so far.
    qint64 GetLeftTaskBytes();
    // The worker ends soon: a copy in progress stops between two chunks, and its partial file
    // goes.
    void stop();
    // True when no task is queued or in progress. The bytes left can be 0 while tasks that move
    // no bytes (empty files and folders, deletions, renames) are still waiting.
    bool IsIdle();
    // True while a copy or link task is queued or in progress (links move no bytes, but they
    // are what the user sees as copying the added files).
    bool HasCopyTasks();
    // Sources of copy tasks that failed since the last call (the source was gone, a file could
    // not be read or written); returned and forgotten.
    QStringList TakeFailedTasks();

protected:
    void run() override;

private:
    struct Task
    {
        int kind;
        QString source;
        QString destination;
        quint64 id;
    };

    bool carryOut(const Task &task);

    QMutex m_lock; // guards every field below
    QList<Task> m_tasks;
    std::atomic<bool> m_stop { false }; // also read by a folder copy in progress
    QWaitCondition m_taskAdded;
    quint64 m_nextId = 1;
    quint64 m_currentId = 0; // the task in progress, 0 when idle
    QStringList m_failed;
};

#endif // VEXLOR_CFILECOPY_H
