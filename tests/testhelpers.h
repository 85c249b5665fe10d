#ifndef VEXLOR_TESTHELPERS_H
#define VEXLOR_TESTHELPERS_H

// Helpers for tests that drive real pages: they answer the modal pickers and prompts a page
// opens by finding the dialog on screen, the way a user would, instead of stubbing the page.

#include "model/ctree.h"
#include "services/util.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace TestHelpers {

// Polls the visible top-level widgets (the active modal widget first) and hands each to
// handler until it returns true, or until timeoutMs has passed. Returns at once; the polling
// runs from the event loop, so it also works inside the nested loop of a modal exec().
class ModalWatcher : public QObject
{
public:
    ModalWatcher(std::function<bool(QWidget *)> handler, int timeoutMs)
        : m_handler(std::move(handler))
        , m_timeout(timeoutMs)
    {
        m_clock.start();
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    bool done() const { return m_done; }

private:
    void poll()
    {
        if (m_done)
            return;
        QList<QWidget *> candidates;
        if (QWidget *w = QApplication::activeModalWidget())
            candidates << w;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && !candidates.contains(w))
                candidates << w;
        }
        for (QWidget *w : candidates) {
            if (m_handler(w)) {
                m_done = true;
                m_timer.stop();
                deleteLater();
                return;
            }
        }
        if (m_clock.elapsed() > m_timeout) {
            qWarning("ModalWatcher: no matching dialog appeared in time");
            m_timer.stop();
            deleteLater();
        }
    }
    std::function<bool(QWidget *)> m_handler;
    int m_timeout;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_done = false;
};

inline QPointer<ModalWatcher> onModal(std::function<bool(QWidget *)> handler, int timeoutMs = 20000)
{
    return new ModalWatcher(std::move(handler), timeoutMs);
}

// Waits for a visible dialog of type T and calls fn on it once.
template<class T>
QPointer<ModalWatcher> onDialog(std::function<void(T *)> fn, int timeoutMs = 20000)
{
    return onModal(
        [fn](QWidget *w) {
            T *d = qobject_cast<T *>(w);
            if (!d || !d->isVisible())
                return false;
            fn(d);
            return true;
        },
        timeoutMs);
}

// Puts the given paths (all in one folder) into a file dialog's selection as if typed.
inline void selectInFileDialog(QFileDialog *fd, const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const QString dir = QFileInfo(paths.first()).absolutePath();
    fd->setDirectory(dir);
    QString text;
    if (paths.size() == 1) {
        text = QFileInfo(paths.first()).fileName();
    } else {
        QStringList quoted;
        for (const QString &p : paths)
            quoted << QLatin1Char('"') + QFileInfo(p).fileName() + QLatin1Char('"');
        text = quoted.join(QLatin1Char(' '));
    }
    if (QLineEdit *edit = fd->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->setText(text);
    else
        fd->selectFile(paths.size() == 1 ? paths.first() : text);
}

// Answers the next file dialog (a platform picker or the program's own) with paths.
inline QPointer<ModalWatcher> answerFileDialog(const QStringList &paths, int timeoutMs = 20000)
{
    return onDialog<QFileDialog>(
        [paths](QFileDialog *fd) {
            selectInFileDialog(fd, paths);
            static_cast<QDialog *>(fd)->done(QDialog::Accepted);
        },
        timeoutMs);
}

inline QPointer<ModalWatcher> answerFileDialog(const QString &path, int timeoutMs = 20000)
{
    return answerFileDialog(QStringList { path }, timeoutMs);
}

inline QPointer<ModalWatcher> cancelFileDialog(int timeoutMs = 20000)
{
    return onDialog<QFileDialog>(
        [](QFileDialog *fd) { static_cast<QDialog *>(fd)->done(QDialog::Rejected); }, timeoutMs);
}

// Waits for a visible modal dialog of class T (for example CommDialog or GerneralDialog),
// lets inspect look at it, then closes it with result.
template<class T>
QPointer<ModalWatcher> closeDialog(int result, std::function<void(T *)> inspect = {},
                                   int timeoutMs = 20000)
{
    return onModal(
        [result, inspect](QWidget *w) {
            // The exact class, so that waiting for a message box never catches a progress
            // dialog derived from it.
            if (w->metaObject() != &T::staticMetaObject)
                return false;
            T *d = static_cast<T *>(w);
            if (!d->isVisible())
                return false;
            if (inspect)
                inspect(d);
            d->done(result);
            return true;
        },
        timeoutMs);
}

// Processes events until cond() holds or timeoutMs passes; returns cond().
inline bool waitUntil(const std::function<bool()> &cond, int timeoutMs = 30000)
{
    return QTest::qWaitFor(cond, timeoutMs);
}

// Removes a watcher that is still waiting when a test ends, so it cannot answer the next one.
struct WatcherGuard
{
    QPointer<ModalWatcher> watcher;
    ~WatcherGuard()
    {
        if (watcher)
            delete watcher;
    }
};

// The text of a message prompt (its label named "label").
inline QString labelText(QWidget *dialog)
{
    QLabel *label = dialog->findChild<QLabel *>(QStringLiteral("label"));
    return label ? label->text() : QString();
}

// --- files ---

// Writes bytes to path, creating the folders on the way; true when all were written.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every entry below root (hidden ones too), relative and sorted; folders end in "/".
inline QStringList entries(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        QString rel = QDir(root).relativeFilePath(it.filePath());
        if (it.fileInfo().isDir())
            rel += QLatin1Char('/');
        out << rel;
    }
    out.sort();
    return out;
}

// Every entry below root: relative path -> content; folders end in "/" and map to nothing.
// Links to folders count as files (they are not followed).
inline QMap<QString, QByteArray> fileTree(const QString &root)
{
    QMap<QString, QByteArray> files;
    const QFileInfoList list
        = QDir(root).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &entry : list) {
        if (entry.isDir() && !entry.isSymLink()) {
            files.insert(entry.fileName() + QLatin1Char('/'), QByteArray());
            const auto below = fileTree(entry.absoluteFilePath());
            for (auto it = below.begin(); it != below.end(); ++it)
                files.insert(entry.fileName() + QLatin1Char('/') + it.key(), it.value());
        } else {
            files.insert(entry.fileName(), readFile(entry.absoluteFilePath()));
        }
    }
    return files;
}

// The files of a FAT volume, copied out into copyDir with mtools (no mount), by lower-case path:
// FAT names carry no case that readers agree on. Empty when mcopy fails.
inline QMap<QString, QByteArray> fatFiles(const QString &partition, const QString &copyDir)
{
    QMap<QString, QByteArray> files;
    QProcess mcopy;
    mcopy.start(QStringLiteral("mcopy"), { "-s", "-n", "-i", partition, "::/", copyDir });
    if (!mcopy.waitForFinished(300000) || mcopy.exitStatus() != QProcess::NormalExit
        || mcopy.exitCode() != 0)
        return files;
    const auto copied = fileTree(copyDir);
    for (auto it = copied.begin(); it != copied.end(); ++it)
        files.insert(it.key().toLower(), it.value());
    return files;
}

// The first path of tree that files (by lower-case path, as fatFiles gives them) lacks or holds
// with other contents; empty when every entry arrived whole.
inline QString firstMissingOrChanged(const QMap<QString, QByteArray> &tree,
                                     const QMap<QString, QByteArray> &files)
{
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        if (files.value(it.key().toLower(), "<missing>") != it.value())
            return it.key();
    }
    return QString();
}

// root and the entries below it (relative, "." for root) that users other than the owner may
// use in any way.
inline QStringList openToOthers(const QString &root)
{
    QStringList open;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    for (QString path = root; !path.isEmpty(); path = it.hasNext() ? it.next() : QString()) {
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISLNK(st.st_mode)
            && (st.st_mode & 077) != 0)
            open << (path == root ? QStringLiteral(".") : QDir(root).relativeFilePath(path));
    }
    return open;
}

// Sets a file-creation mask while it lives.
class FileMask
{
public:
    explicit FileMask(mode_t mask)
        : m_old(::umask(mask))
    {
    }
    ~FileMask() { ::umask(m_old); }

private:
    mode_t m_old;
};

// Limits the size of files this process may write while it lives, for a copy that runs out of
// room.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old {};
};

// --- processes ---

// The id of the running process whose command line holds text, or 0. Plain system calls, so
// that a watch can look often enough to see a tool that runs for a fraction of a second.
inline pid_t processWith(const QString &text)
{
    const QByteArray needle = text.toUtf8();
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return 0;
    pid_t found = 0;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != 0 || pid == ::getpid())
            continue;
        const int fd = ::open((QByteArray("/proc/") + entry->d_name + "/cmdline").constData(),
                              O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = ::read(fd, buffer.data(), size_t(buffer.size()));
        ::close(fd);
        if (n > 0 && QByteArray::fromRawData(buffer.constData(), int(n)).contains(needle)) {
            found = pid_t(pid);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

// --- widgets ---

// Clicks an image button the way a user does: the cursor comes in from beside it, presses and
// releases.
inline void clickButton(QWidget *button)
{
    QVERIFY(button && button->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(button->window()));
    QTest::mouseMove(button, button->rect().bottomRight() + QPoint(3, 3));
    QTest::mouseMove(button, button->rect().center());
    QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
    QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
}

// --- programs ---

struct RunOptions
{
    int timeoutMs = 120000;
    QByteArray input; // written to the program's standard input, which is then closed
    bool separateErrors = false; // standard error in errors instead of in output
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

struct CommandRun
{
    QString program;
    int code = -1; // -1: not started, crashed or no end in time
    QByteArray output; // standard output and standard error, merged
    QByteArray errors; // standard error, when kept apart
    QString text() const { return QString::fromUtf8(output); }
    // True when the program exited 0; otherwise says what it printed, so that a failing step
    // explains itself. Tests that expect a failure look at code.
    bool ok() const
    {
        if (code != 0)
            qWarning("%s exited %d: %s", qPrintable(program), code,
                     (output + errors).left(2000).constData());
        return code == 0;
    }
};

// Runs a program with its arguments to its end (killed after options.timeoutMs).
inline CommandRun runCommand(const QString &program, const QStringList &arguments,
                             const RunOptions &options = {})
{
    CommandRun result;
    result.program = program;
    QProcess p;
    p.setProcessEnvironment(options.environment);
    p.setProcessChannelMode(options.separateErrors ? QProcess::SeparateChannels
                                                   : QProcess::MergedChannels);
    p.start(program, arguments);
    if (p.waitForStarted()) {
        p.write(options.input);
        p.closeWriteChannel();
    }
    if (p.waitForFinished(options.timeoutMs) && p.exitStatus() == QProcess::NormalExit) {
        result.code = p.exitCode();
    } else {
        p.kill();
        p.waitForFinished(2000);
    }
    result.output = p.readAllStandardOutput();
    result.errors = p.readAllStandardError();
    return result;
}

inline CommandRun runCommand(const QString &program, const QStringList &arguments, int timeoutMs)
{
    RunOptions options;
    options.timeoutMs = timeoutMs;
    return runCommand(program, arguments, options);
}

// --- content ---

// Bytes that differ from file to file, so that a mix-up shows.
inline QByteArray content(const QString &seed, int size)
{
    QByteArray data;
    const QByteArray s = seed.toUtf8();
    for (int i = 0; data.size() < size; ++i)
        data += s + QByteArray::number(i) + '\n';
    data.truncate(size);
    return data;
}

// size bytes that do not compress, the same for the same seed.
inline QByteArray noise(int size, quint32 seed = 12345)
{
    QByteArray data(size, Qt::Uninitialized);
    for (char &c : data)
        c = char((seed = seed * 1103515245u + 12345u) >> 24);
    return data;
}

// The SHA-1 of a file's bytes, empty when it cannot be read.
inline QByteArray digest(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return f.open(QIODevice::ReadOnly) && hash.addData(&f) ? hash.result() : QByteArray();
}

// What an image holds, read back by extracting it whole with the 7-Zip beside the executable
// into scratch (emptied first): path -> bytes, folders end in "/".
inline QMap<QString, QByteArray> imageContent(const QString &image, const QString &scratch)
{
    QDir(scratch).removeRecursively();
    runCommand(Util::GetCurrentExePath() + QStringLiteral("/7z/7z"),
               { "x", "-y", "-o" + scratch, image });
    return fileTree(scratch);
}

// Every entry below folder as a listing shows it, sorted; folders end in "/".
inline QStringList treePaths(const Item &folder)
{
    QStringList out;
    for (const Item *child : folder.m_Children)
        out << child->m_Path + (child->m_IsDir ? "/" : "") << treePaths(*child);
    out.sort();
    return out;
}

inline QStringList treePaths(const CTree &tree)
{
    return treePaths(tree.m_Root);
}

// A small file system of its own for a test folder (root only; options as mount -o takes
// them); unmounted when it goes, also when the test fails.
struct TmpfsMount
{
    QString dir;
    bool mounted = false;
    TmpfsMount(const QString &path, const QByteArray &options)
        : dir(path)
    {
        QDir().mkpath(dir);
        mounted = ::geteuid() == 0
            && ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options.constData())
                == 0;
    }
    bool makeReadOnly(const QByteArray &options)
    {
        return ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                       options.constData())
            == 0;
    }
    ~TmpfsMount()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
    }
};

// --- loop devices ---

// A loop device over a file, detached when the guard goes, also when the test fails: whatever
// is mounted from it or its partitions is unmounted first (FUSE mounts name the device as their
// source). The guard detaches the node only while it still holds a file the guard attached:
// a node that a tool or the test let go may belong to another test by then.
class LoopDevice
{
public:
    struct Offset
    {
        qint64 bytes;
    };
    // size >= 0: a new sparse file of size bytes that begins with start; else the file as it is.
    explicit LoopDevice(const QString &path, qint64 size = -1, const QByteArray &start = {})
        : file(path)
    {
        QFile f(path);
        if (size < 0
            || (f.open(QIODevice::WriteOnly) && f.resize(size) && f.write(start) == start.size()))
            attach({ "-f", "--show", path }, path);
    }
    // The file as it is, from byte offset on.
    LoopDevice(const QString &path, Offset offset)
        : file(path)
    {
        attach({ "-f", "--show", "-o", QString::number(offset.bytes), path }, path);
    }
    ~LoopDevice() { detach(); }
    LoopDevice(const LoopDevice &) = delete;
    LoopDevice &operator=(const LoopDevice &) = delete;

    // Puts another file behind the same node (another stick in the same port).
    bool swapTo(const QString &other)
    {
        detach();
        for (int i = 0; i < 50; ++i) {
            if (runCommand(QStringLiteral("losetup"), { node, other }).code == 0) {
                remember(other);
                return true;
            }
            QThread::msleep(100);
        }
        return false;
    }

    // Unmounts what comes from the device, then detaches it, while it holds one of our files.
    void detach()
    {
        if (node.isEmpty() || !holdsOurs())
            return;
        for (const QByteArray &line : readFile(QStringLiteral("/proc/self/mounts")).split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() > 1 && (f.at(0) == node || f.at(0).startsWith(node.toLocal8Bit() + 'p')))
                runCommand(
                    QStringLiteral("umount"),
                    { "-l", QString::fromLocal8Bit(f.at(1)).replace(QLatin1String("\\040"), " ") });
        }
        runCommand(QStringLiteral("partx"), { "-d", node });
        runCommand(QStringLiteral("losetup"), { "-d", node });
    }

    const QString file; // the file the guard was made over
    QString node; // empty when no device was free

private:
    void attach(const QStringList &args, const QString &path)
    {
        const CommandRun run = runCommand(QStringLiteral("losetup"), args);
        if (run.code == 0) {
            node = QString::fromLocal8Bit(run.output).trimmed();
            remember(path);
        }
    }
    void remember(const QString &path)
    {
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) == 0)
            m_files.append({ st.st_dev, st.st_ino });
    }
    bool holdsOurs() const
    {
        const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_CLOEXEC);
        loop_info64 info {};
        const bool attached = fd >= 0 && ::ioctl(fd, LOOP_GET_STATUS64, &info) == 0;
        if (fd >= 0)
            ::close(fd);
        return attached && m_files.contains({ dev_t(info.lo_device), ino_t(info.lo_inode) });
    }
    QList<QPair<dev_t, ino_t>> m_files;
};

// Installs the build folder buildDir into prefix ("cmake --install"); empty on success, else
// what the tool said.
inline QString installBuild(const QString &buildDir, const QString &prefix)
{
    const CommandRun install = runCommand(QStringLiteral("cmake"),
                                          { "--install", buildDir, "--prefix", prefix }, 300000);
    return install.code == 0 ? QString() : QString::fromLocal8Bit(install.output.right(2000));
}

// Receives the addresses the program hands to the desktop (QDesktopServices::setUrlHandler).
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace TestHelpers

#endif // VEXLOR_TESTHELPERS_H
