// File and folder operations: test, remove, copy, measure, write a list of lines.

#include "services/logging.h"
#include "services/util.h"
#include "services/util_files_p.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

std::atomic<qint64> Util::copyedsize { 0 };

namespace {

// Large enough to keep pace with the system copy tool on big files (4096-byte chunks took about
// three times as long on 1 GiB, see bench/bench_copy.cpp).
constexpr int kDefaultChunkSize = 1 << 20;
std::atomic<int> g_chunkSize { kDefaultChunkSize };
std::atomic<UtilFiles::ChunkHook> g_chunkHook { nullptr };

// An open file that is closed when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Closes the file (taking fd instead); false when closing reported an error.
    bool reset(int fd = -1)
    {
        bool ok = true;
        if (m_fd >= 0)
            ok = ::close(m_fd) == 0;
        m_fd = fd;
        return ok;
    }

private:
    int m_fd;
};

QString errorText()
{
    return QString::fromLocal8Bit(strerror(errno));
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// The removals refuse these outright, whatever a caller composed.
bool isEmptyOrRoot(const QString &path)
{
    return path.trimmed().isEmpty() || QDir::cleanPath(path) == QLatin1String("/");
}

// Copies folder src into folder dst. Folders already on the way down (a link back to one of
// them) and the destination itself (a copy into a folder inside the source) are not entered,
// so a copy always ends.
bool dirCopy(const QString &src, const QString &dst, QStringList &ancestors, const QString &dstRoot,
             const std::atomic<bool> *stop)
{
    if (!QDir(dst).exists() && !QDir().mkpath(QFileInfo(dst).absoluteFilePath()))
        return false;
    const QFileInfoList entries = QDir(src).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ancestors.append(QFileInfo(src).canonicalFilePath());
    bool ok = true;
    for (const QFileInfo &entry : entries) {
        if (stop && *stop) {
            ok = false;
            break;
        }
        const QString target = dst + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            const QString canonical = entry.canonicalFilePath();
            if (ancestors.contains(canonical) || canonical == dstRoot) {
                qCWarning(lcFiles)
                    << "Util::DirCopy: not copying" << entry.absoluteFilePath() << "into itself";
                continue;
            }
            if (!dirCopy(entry.absoluteFilePath(), target, ancestors, dstRoot, stop)) {
                ok = false;
                break;
            }
        } else {
            // FileCopy replaces an entry of that name in dst (unless it is the source itself).
            if (!Util::FileCopy(entry.absoluteFilePath(), target, stop)) {
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
        qCWarning(lcFiles) << "Util::RemoveFile: refused to remove" << path;
        return;
    }
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    if (info.isSymLink() || !info.isDir()) {
        QFile file(path);
        if (!file.remove())
            qCWarning(lcFiles) << "Util::RemoveFile:" << path << file.errorString();
        return;
    }
    // A folder goes only when it is empty.
    if (::rmdir(QFile::encodeName(path).constData()) != 0)
        qCWarning(lcFiles) << "Util::RemoveFile:" << path << errno << strerror(errno);
}

void Util::RemoveDir(const QString &path, bool flag)
{
    Q_UNUSED(flag)
    if (isEmptyOrRoot(path)) {
        qCWarning(lcFiles) << "Util::RemoveDir: refused to remove" << path;
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

bool Util::FileCopy(const QString &src, const QString &dst, const std::atomic<bool> *stop)
{
    if (src == dst)
        return true;
    const QByteArray srcName = QFile::encodeName(src);
    const QByteArray dstName = QFile::encodeName(dst);
    struct stat srcStat;
    if (::stat(srcName.constData(), &srcStat) != 0 || !S_ISREG(srcStat.st_mode))
        return false;
    struct stat dstStat;
    if (::lstat(dstName.constData(), &dstStat) == 0) {
        if (!S_ISLNK(dstStat.st_mode) && dstStat.st_dev == srcStat.st_dev
            && dstStat.st_ino == srcStat.st_ino)
            return true; // one file under two names: removing dst would remove the source
        RemoveFile(dst);
    }

    FileDescriptor out(::open(dstName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid() && errno == ENOENT) {
        QDir().mkpath(QFileInfo(dst).absolutePath());
        out.reset(::open(dstName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    }
    if (!out.valid()) {
        WriteLog(QStringLiteral("Can not open file for write") + dst);
        return false;
    }
    FileDescriptor in(::open(srcName.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        WriteLog(QStringLiteral("Can not open file for read") + src);
        out.reset();
        ::unlink(dstName.constData());
        return false;
    }

    // The kernel copies each chunk (no trip through this process) where the file systems allow
    // it; otherwise the chunk is read into a buffer and written.
    const int chunkSize = g_chunkSize;
    std::unique_ptr<char[]> buffer;
    bool kernelCopy = true;
    qint64 total = 0;
    QString failure;
    bool stopped = false;
    for (;;) {
        ssize_t got;
        if (kernelCopy) {
            got = ::copy_file_range(in.fd(), nullptr, out.fd(), nullptr, size_t(chunkSize), 0);
            if (got < 0 && errno == EINTR)
                continue;
            const bool unsupported = got < 0
                && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP
                    || errno == EBADF || errno == EPERM);
            // Some file systems report no data where there is some: read it instead.
            if (unsupported || (got == 0 && total < srcStat.st_size)) {
                kernelCopy = false;
                continue;
            }
            if (got < 0) {
                failure
                    = QStringLiteral("Can not copy file %1 to %2: %3").arg(src, dst, errorText());
                break;
            }
        } else {
            if (!buffer)
                buffer.reset(new char[size_t(chunkSize)]);
            got = ::read(in.fd(), buffer.get(), size_t(chunkSize));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                failure = QStringLiteral("Can not read file %1: %2").arg(src, errorText());
                break;
            }
            if (got > 0 && !writeAll(out.fd(), buffer.get(), got)) {
                failure = QStringLiteral("Can not write file %1: %2").arg(dst, errorText());
                break;
            }
        }
        if (got == 0)
            break;
        total += got;
        copyedsize += got;
        if (UtilFiles::ChunkHook hook = g_chunkHook)
            hook(got);
        if (stop && *stop) {
            stopped = true;
            break;
        }
    }
    in.reset();
    if (!out.reset() && failure.isEmpty())
        failure = QStringLiteral("Can not write file %1: %2").arg(dst, errorText());
    if (!failure.isEmpty()) {
        // A partial copy is not left behind looking like a whole one.
        qCWarning(lcFiles) << "Util::FileCopy:" << failure;
        WriteLog(failure);
        ::unlink(dstName.constData());
        return false;
    }
    if (stopped) {
        ::unlink(dstName.constData());
        return false;
    }
    return true;
}

bool Util::DirCopy(const QString &src, const QString &dst, const std::atomic<bool> *stop)
{
    if (!QDir(dst).exists() && !QDir().mkpath(QFileInfo(dst).absoluteFilePath()))
        return false;
    const QString dstRoot = QFileInfo(dst).canonicalFilePath();
    if (QFileInfo(src).canonicalFilePath() == dstRoot)
        return true; // a folder copied onto itself
    QStringList ancestors;
    return dirCopy(src, dst, ancestors, dstRoot, stop);
}

bool Util::DirCopy2(const QString &src, const QString &dstParent, const std::atomic<bool> *stop)
{
    const QString target
        = dstParent + QLatin1Char('/') + QFileInfo(QDir::cleanPath(src)).fileName();
    QDir().mkpath(target);
    return DirCopy(src, target, stop);
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
        qCWarning(lcFiles) << "Open failed." << path;
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
        qCWarning(lcFiles) << "Util::WriteMulLinesToFile: write failed" << path
                           << file.errorString();
    return ok;
}
