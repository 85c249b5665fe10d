#ifndef VEXLOR_TESTHELPERS_H
#define VEXLOR_TESTHELPERS_H

// Helpers for tests that drive real pages: they answer the modal pickers and prompts a page
// opens by finding the dialog on screen, the way a user would, instead of stubbing the page.

#include <QApplication>
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
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>

#include <csignal>
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

// The id of the running process whose command line holds text, or 0.
inline pid_t processWith(const QString &text)
{
    const QByteArray needle = text.toUtf8();
    for (const QString &entry :
         QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok || pid == ::getpid())
            continue;
        QFile f(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(needle))
            return pid;
    }
    return 0;
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

// --- tools, loop devices and installations ---

struct CommandRun
{
    int code = -1; // -1: not started, crashed or no end in time
    QByteArray output; // standard output and standard error, merged
};

// Runs a program with its arguments (at most timeoutMs), optionally with its own environment.
inline CommandRun
runCommand(const QString &program, const QStringList &arguments, int timeoutMs = 120000,
           const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    CommandRun result;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit) {
        result.code = p.exitCode();
    } else {
        p.kill();
        p.waitForFinished(2000);
    }
    result.output = p.readAll();
    return result;
}

// A loop device over a file of size bytes, detached on destruction, with whatever is mounted
// from it (FUSE mounts name the partition as their source) unmounted first.
struct LoopStick
{
    QString file, node;
    LoopStick(const QString &path, qint64 size)
        : file(path)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly) && f.resize(size)) {
            const CommandRun attach
                = runCommand(QStringLiteral("losetup"), { "-f", "--show", path });
            if (attach.code == 0)
                node = QString::fromLocal8Bit(attach.output).trimmed();
        }
    }
    ~LoopStick()
    {
        if (node.isEmpty())
            return;
        for (const QByteArray &line : readFile(QStringLiteral("/proc/self/mounts")).split('\n')) {
            const QList<QByteArray> f = line.split(' ');
            if (f.size() > 1 && (f.at(0) == node || f.at(0).startsWith(node.toLocal8Bit() + 'p')))
                runCommand(
                    QStringLiteral("umount"),
                    { QString::fromLocal8Bit(f.at(1)).replace(QLatin1String("\\040"), " ") });
        }
        runCommand(QStringLiteral("losetup"), { "-d", node });
    }
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
