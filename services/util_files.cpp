// File and folder operations: test, remove, copy, measure, write a list of lines.

#include "services/util.h"
#include "services/util_files_p.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

std::atomic<qint64> Util::copyedsize { 0 };

namespace {

constexpr int kDefaultChunkSize = 4096;
std::atomic<int> g_chunkSize { kDefaultChunkSize };
std::atomic<UtilFiles::ChunkHook> g_chunkHook { nullptr };

// The removals refuse these outright, whatever a caller composed.
bool isEmptyOrRoot(const QString &path)
{
    return path.trimmed().isEmpty() || QDir::cleanPath(path) == QLatin1String("/");
}

// Both names lead to one and the same existing entry (dst itself not being a link to it).
bool isSameEntry(const QFileInfo &a, const QFileInfo &b)
{
    if (!a.exists() || !b.exists() || b.isSymLink())
        return false;
    return a.canonicalFilePath() == b.canonicalFilePath();
}

// Copies folder src into folder dst. Folders already on the way down (a link back to one of
// them) and the destination itself (a copy into a folder inside the source) are not entered,
// so a copy always ends.
bool dirCopy(const QString &src, const QString &dst, QStringList &ancestors, const QString &dstRoot)
{
    if (!QDir(dst).exists() && !QDir().mkpath(QFileInfo(dst).absoluteFilePath()))
        return false;
    const QFileInfoList entries = QDir(src).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ancestors.append(QFileInfo(src).canonicalFilePath());
    bool ok = true;
    for (const QFileInfo &entry : entries) {
        const QString target = dst + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            const QString canonical = entry.canonicalFilePath();
            if (ancestors.contains(canonical) || canonical == dstRoot) {
                qWarning() << "Util::DirCopy: not copying" << entry.absoluteFilePath()
                           << "into itself";
                continue;
            }
            if (!dirCopy(entry.absoluteFilePath(), target, ancestors, dstRoot)) {
                ok = false;
                break;
            }
        } else {
            const QFileInfo targetInfo(target);
            if (Util::IsFileExists(target) && !isSameEntry(entry, targetInfo))
                Util::RemoveFile(target);
            if (!Util::FileCopy(entry.absoluteFilePath(), target)) {
                ok = false;
                break;
            }
        }
    }
    ancestors.removeLast();
    return ok;
}

qint64 dirSize(const QString &path, QStringList &ancestors)
{
    qint64 total = 0;
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ancestors.append(QFileInfo(path).canonicalFilePath());
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            if (!ancestors.contains(entry.canonicalFilePath()))
                total += dirSize(entry.absoluteFilePath(), ancestors);
        } else {
            total += entry.size();
        }
    }
    ancestors.removeLast();
    return total;
}

} // namespace

int UtilFiles::ChunkSize()
{
    return g_chunkSize;
}

void UtilFiles::SetChunkSize(int bytes)
{
    g_chunkSize = bytes > 0 ? bytes : kDefaultChunkSize;
}

void UtilFiles::SetChunkHook(ChunkHook hook)
{
    g_chunkHook = hook;
}

bool Util::IsFileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

void Util::RemoveFile(const QString &path)
{
    if (isEmptyOrRoot(path)) {
        qWarning() << "Util::RemoveFile: refused to remove" << path;
        return;
    }
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    if (info.isSymLink() || !info.isDir()) {
        QFile file(path);
        if (!file.remove())
            qWarning() << "Util::RemoveFile:" << path << file.errorString();
        return;
    }
    // A folder goes only when it is empty.
    if (::rmdir(QFile::encodeName(path).constData()) != 0)
        qWarning() << "Util::RemoveFile:" << path << errno << strerror(errno);
}

void Util::RemoveDir(const QString &path, bool flag)
{
    Q_UNUSED(flag)
    if (isEmptyOrRoot(path)) {
        qWarning() << "Util::RemoveDir: refused to remove" << path;
        return;
    }
    const QFileInfo info(path);
    if (!info.isDir())
        return;
    if (info.isSymLink()) {
        // A link to a folder: the link goes, the folder it leads to stays.
        QFile::remove(path);
        return;
    }
    QDir(path).removeRecursively();
}

bool Util::FileCopy(const QString &src, const QString &dst)
{
    if (src == dst)
        return true;
    const QFileInfo srcInfo(src);
    if (!srcInfo.isFile())
        return false;
    const QFileInfo dstInfo(dst);
    if (isSameEntry(srcInfo, dstInfo))
        return true; // one file under two names: removing dst would remove the source
    if (IsFileExists(dst))
        RemoveFile(dst);
    const QString parent = dstInfo.absolutePath();
    if (!QFileInfo(parent).isDir())
        QDir().mkpath(parent);

    QFile out(dst);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        WriteLog(QStringLiteral("Can not open file for write") + dst);
        return false;
    }
    QFile in(src);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        WriteLog(QStringLiteral("Can not open file for read") + src);
        out.close();
        out.remove();
        return false;
    }

    const int chunkSize = g_chunkSize;
    std::unique_ptr<char[]> buffer(new char[chunkSize]);
    QString failure;
    for (;;) {
        const qint64 got = in.read(buffer.get(), chunkSize);
        if (got < 0) {
            failure = QStringLiteral("Can not read file ") + src + QStringLiteral(": ")
                + in.errorString();
            break;
        }
        if (got == 0)
            break;
        if (out.write(buffer.get(), got) != got) {
            failure = QStringLiteral("Can not write file ") + dst + QStringLiteral(": ")
                + out.errorString();
            break;
        }
        copyedsize += got;
        if (UtilFiles::ChunkHook hook = g_chunkHook)
            hook(got);
    }
    in.close();
    if (failure.isEmpty() && !out.flush())
        failure = QStringLiteral("Can not write file ") + dst + QStringLiteral(": ")
            + out.errorString();
    out.close();
    if (failure.isEmpty() && out.error() != QFileDevice::NoError)
        failure = QStringLiteral("Can not write file ") + dst + QStringLiteral(": ")
            + out.errorString();
    if (!failure.isEmpty()) {
        // A partial copy is not left behind looking like a whole one.
        qWarning() << "Util::FileCopy:" << failure;
        WriteLog(failure);
        out.remove();
        return false;
    }
    return true;
}

bool Util::DirCopy(const QString &src, const QString &dst)
{
    if (!QDir(dst).exists() && !QDir().mkpath(QFileInfo(dst).absoluteFilePath()))
        return false;
    const QString dstRoot = QFileInfo(dst).canonicalFilePath();
    if (QFileInfo(src).canonicalFilePath() == dstRoot)
        return true; // a folder copied onto itself
    QStringList ancestors;
    return dirCopy(src, dst, ancestors, dstRoot);
}

bool Util::DirCopy2(const QString &src, const QString &dstParent)
{
    const QString target
        = dstParent + QLatin1Char('/') + QFileInfo(QDir::cleanPath(src)).fileName();
    QDir().mkpath(target);
    return DirCopy(src, target);
}

qint64 Util::DirSize(const QString &path)
{
    QString folder = path;
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (folder.isEmpty())
        return 0;
    QStringList ancestors;
    return dirSize(folder, ancestors);
}

bool Util::WriteMulLinesToFile(const QStringList &lines, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "Open failed." << path;
        return false;
    }
    bool ok = true;
    for (const QString &line : lines) {
        const QByteArray bytes = line.toUtf8() + '\n';
        if (file.write(bytes) != bytes.size()) {
            ok = false;
            break;
        }
    }
    if (!file.flush())
        ok = false;
    file.close();
    if (!ok)
        qWarning() << "Util::WriteMulLinesToFile: write failed" << path << file.errorString();
    return ok;
}
