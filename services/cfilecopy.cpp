#include "services/cfilecopy.h"
#include "services/logging.h"

#include "services/cfilecopy_p.h"
#include "services/filelinks.h"
#include "services/util.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace {
std::atomic<CFileCopyHooks::TaskDoneHook> g_taskDoneHook { nullptr };
} // namespace

void CFileCopyHooks::SetTaskDoneHook(TaskDoneHook hook)
{
    g_taskDoneHook = hook;
}

CLocker::CLocker(QMutex *m)
    : m_mutex(m)
{
    Lock();
}

CLocker::~CLocker()
{
    Unlock();
}

void CLocker::Lock()
{
    if (m_locked)
        return;
    m_mutex->lock();
    m_locked = true;
}

void CLocker::Unlock()
{
    if (!m_locked)
        return;
    m_mutex->unlock();
    m_locked = false;
}

CFileCopy::CFileCopy(QObject *parent)
    : QThread(parent)
{
    start();
}

CFileCopy::~CFileCopy()
{
    stop();
    wait();
}

void CFileCopy::AddTask(const QString &source, const QString &destination, int kind)
{
    CLocker locker(&m_lock);
    m_tasks.append(Task { kind, source, destination, m_nextId++ });
    m_taskAdded.wakeAll();
}

void CFileCopy::RemoveTask(const QString &source)
{
    CLocker locker(&m_lock);
    for (int i = 0; i < m_tasks.size(); ++i) {
        if (m_tasks.at(i).source == source) {
            m_tasks.removeAt(i);
            return;
        }
    }
}

void CFileCopy::ClearAllTasks()
{
    CLocker locker(&m_lock);
    m_tasks.clear();
}

qint64 CFileCopy::GetLeftTaskBytes()
{
    CLocker locker(&m_lock);
    qint64 left = 0;
    bool inProgressQueued = false;
    for (const Task &task : qAsConst(m_tasks)) {
        if (task.id == m_currentId)
            inProgressQueued = true;
        if (task.kind == 3)
            continue; // links move no bytes
        const QFileInfo source(task.source);
        left += source.isDir() ? Util::DirSize(task.source) : source.size();
    }
    // The counter belongs to the task in progress; once that task has been taken off the list
    // its bytes are no longer part of the sum.
    if (inProgressQueued)
        left -= Util::copyedsize;
    return left;
}

void CFileCopy::stop()
{
    // Under the lock, so a worker about to wait cannot miss it.
    CLocker locker(&m_lock);
    m_stop = true;
    m_taskAdded.wakeAll();
}

bool CFileCopy::IsIdle()
{
    CLocker locker(&m_lock);
    return m_tasks.isEmpty() && m_currentId == 0;
}

bool CFileCopy::HasCopyTasks()
{
    CLocker locker(&m_lock);
    for (const Task &task : qAsConst(m_tasks)) {
        if (task.kind == 0 || task.kind == 3)
            return true;
    }
    return false;
}

QStringList CFileCopy::TakeFailedTasks()
{
    CLocker locker(&m_lock);
    QStringList failed;
    failed.swap(m_failed);
    return failed;
}

void CFileCopy::run()
{
    for (;;) {
        CLocker locker(&m_lock);
        while (m_tasks.isEmpty() && !m_stop)
            m_taskAdded.wait(&m_lock);
        if (m_stop)
            return;
        const Task task = m_tasks.first();
        m_currentId = task.id;
        Util::copyedsize = 0;
        locker.Unlock();

        const bool ok = carryOut(task);

        locker.Lock();
        for (int i = 0; i < m_tasks.size(); ++i) {
            if (m_tasks.at(i).id == task.id) {
                m_tasks.removeAt(i);
                break;
            }
        }
        m_currentId = 0;
        Util::copyedsize = 0;
        if (!ok)
            m_failed.append(task.source);
        locker.Unlock();
        if (CFileCopyHooks::TaskDoneHook hook = g_taskDoneHook)
            hook();
    }
}

// Carries one task out, by what its source is now. Returns false for a copy that failed.
bool CFileCopy::carryOut(const Task &task)
{
    const QFileInfo source(task.source);
    const bool present = source.exists() || source.isSymLink();
    switch (task.kind) {
    case 0:
        if (source.isFile())
            return Util::FileCopy(task.source, task.destination, &m_stop);
        if (source.isDir())
            return Util::DirCopy2(task.source, task.destination, &m_stop);
        // Gone, or neither file nor folder: nothing is made in its place.
        qCWarning(lcCopier) << "CFileCopy::run: cannot copy" << task.source;
        Util::WriteLog(QStringLiteral("Can not copy ") + task.source);
        return false;
    case 1:
        if (source.isDir())
            Util::RemoveDir(task.source);
        else if (present)
            Util::RemoveFile(task.source);
        return true;
    case 2:
        if (present) {
            const bool renamed = source.isDir() && !source.isSymLink()
                ? QDir().rename(task.source, task.destination)
                : QFile::rename(task.source, task.destination);
            if (!renamed)
                qCWarning(lcCopier)
                    << "CFileCopy::run: cannot rename" << task.source << "to" << task.destination;
        }
        return true;
    case 3:
        return FileLinks::Link(task.source, task.destination, &m_stop);
    default:
        qCWarning(lcCopier) << "CFileCopy::run: unknown task kind" << task.kind << task.source;
        return true;
    }
}
