#include "services/filelinks.h"

#include "services/logging.h"
#include "services/util.h"

#include <QByteArrayList>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QVector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace {

std::atomic<FileLinks::LinkHook> g_linkHook { nullptr };

// Anchors made by this process: source folder -> anchor name.
QMutex g_anchorLock;
QHash<QByteArray, QByteArray> g_anchors;
quint64 g_nextAnchor = 0;

using FileId = std::pair<dev_t, ino_t>;

FileId idOf(const struct stat &st)
{
    return { st.st_dev, st.st_ino };
}

bool idOfPath(const QByteArray &path, FileId *id)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return false;
    *id = idOf(st);
    return true;
}

// The components of an absolute path, with "." dropped and ".." taken back.
QByteArrayList components(const QByteArray &path)
{
    QByteArrayList out;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        out << part;
    }
    return out;
}

// The relative path from the folder from to to (both absolute).
QByteArray relativePath(const QByteArray &from, const QByteArray &to)
{
    const QByteArrayList a = components(from);
    const QByteArrayList b = components(to);
    int common = 0;
    while (common < a.size() && common < b.size() && a.at(common) == b.at(common))
        ++common;
    QByteArray out;
    for (int i = common; i < a.size(); ++i)
        out += "../";
    for (int i = common; i < b.size(); ++i)
        out += b.at(i) + '/';
    if (out.endsWith('/'))
        out.chop(1);
    return out.isEmpty() ? QByteArray(".") : out;
}

QByteArray readLink(const QByteArray &path)
{
    QByteArray buffer(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink(path.constData(), buffer.data(), size_t(buffer.size()));
    return n > 0 ? buffer.left(int(n)) : QByteArray();
}

// The anchor of the source folder dir (absolute): its name in the anchor folder; empty when none
// can be made.
QByteArray anchorFor(const QByteArray &anchors, const QByteArray &dir)
{
    QMutexLocker locker(&g_anchorLock);
    const auto known = g_anchors.constFind(dir);
    if (known != g_anchors.constEnd() && readLink(anchors + '/' + known.value()) == dir)
        return known.value();
    if (::mkdir(anchors.constData(), 0700) != 0 && errno != EEXIST) {
        qCWarning(lcCopier) << "FileLinks: cannot make" << anchors << strerror(errno);
        return QByteArray();
    }
    for (;;) {
        const QByteArray name = QByteArray::number(++g_nextAnchor);
        if (::symlink(dir.constData(), (anchors + '/' + name).constData()) == 0) {
            g_anchors.insert(dir, name);
            return name;
        }
        if (errno != EEXIST) {
            qCWarning(lcCopier) << "FileLinks: cannot make an anchor for" << dir << strerror(errno);
            return QByteArray();
        }
    }
}

// Makes the link name -> target in the folder open as dirFd (or path, with AT_FDCWD), replacing
// what is there unless it is a folder.
bool makeLink(const QByteArray &target, int dirFd, const QByteArray &name)
{
    if (::symlinkat(target.constData(), dirFd, name.constData()) == 0)
        return true;
    struct stat st;
    if (errno == EEXIST && ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && !S_ISDIR(st.st_mode) && ::unlinkat(dirFd, name.constData(), 0) == 0
        && ::symlinkat(target.constData(), dirFd, name.constData()) == 0)
        return true;
    qCWarning(lcCopier) << "FileLinks: cannot make" << name << strerror(errno);
    return false;
}

// Whether the file (its stat: st) in the folder open as dirFd can be read. The owner's own
// permission decides for the owner, which spares most files the access() call.
bool readable(int dirFd, const char *name, const struct stat &st)
{
    static const uid_t self = ::geteuid();
    return (st.st_uid == self && (st.st_mode & S_IRUSR))
        || ::faccessat(dirFd, name, R_OK, AT_EACCESS) == 0;
}

// How the file system of a folder lists the entries of a folder relative to the order they were
// made in: the same order (+1), the reverse (-1, tmpfs), or an order of its own (0: hashed names,
// as ext4 lists even small folders). Found once per file system by making a few entries in a
// scratch folder within folder.
int listingOrder(const QByteArray &folder)
{
    static QMutex lock;
    static std::map<dev_t, int> known;
    struct stat st;
    if (::stat(folder.constData(), &st) != 0)
        return 0;
    QMutexLocker locker(&lock);
    const auto found = known.find(st.st_dev);
    if (found != known.end())
        return found->second;
    QByteArray scratch = folder + "/.order-XXXXXX";
    if (!::mkdtemp(scratch.data()))
        return 0;
    // Eight names made out of order: a file system that lists by hashed names matches neither
    // order but by a chance of 1 in 20,000.
    static const char *const made[] = { "3", "6", "0", "5", "2", "7", "1", "4" };
    for (const char *name : made)
        ::symlink(".", (scratch + '/' + name).constData());
    QByteArray listed;
    if (DIR *dir = ::opendir(scratch.constData())) {
        while (const struct dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                listed += entry->d_name;
        }
        ::closedir(dir);
    }
    for (const char *name : made)
        ::unlink((scratch + '/' + name).constData());
    ::rmdir(scratch.constData());
    const int order = listed == "36052714" ? 1 : listed == "41725063" ? -1 : 0;
    known.emplace(st.st_dev, order);
    return order;
}

// The target of the link to the file name in the source folder src: the file's absolute path
// when it is shorter than limit (FileLinks::InodeTargetLimit), else the way through the folder's
// anchor (prefix: made on first use by makePrefix).
template<class MakePrefix>
QByteArray linkTarget(const QByteArray &src, const QByteArray &name, int limit, QByteArray &prefix,
                      const MakePrefix &makePrefix)
{
    const QByteArray direct = (src == "/" ? QByteArray() : src) + '/' + name;
    if (direct.size() < limit)
        return direct;
    if (prefix.isEmpty())
        prefix = makePrefix();
    return prefix.isEmpty() ? QByteArray() : prefix + name;
}

void linked()
{
    if (FileLinks::LinkHook hook = g_linkHook)
        hook();
}

struct Walker
{
    const std::atomic<bool> *stop = nullptr;
    QByteArray anchors;
    int order = 0; // the working folder's listingOrder()
    int limit = 60; // the working folder's InodeTargetLimit()
    std::vector<FileId> leaveOut;
    std::vector<FileId> ancestors;
    bool ok = true;

    bool stopped() const { return stop && *stop; }
    bool skipped(const FileId &id) const
    {
        for (const FileId &other : leaveOut)
            if (other == id)
                return true;
        for (const FileId &other : ancestors)
            if (other == id)
                return true;
        return false;
    }

    // Mirrors the folder src (its stat: st) as the folder dst.
    void folder(const QByteArray &src, const QByteArray &dst, const struct stat &st)
    {
        struct stat made;
        if (::mkdir(dst.constData(), 0777) != 0
            && (errno != EEXIST || ::stat(dst.constData(), &made) != 0 || !S_ISDIR(made.st_mode))) {
            qCWarning(lcCopier) << "FileLinks: cannot make" << dst << strerror(errno);
            ok = false;
            return;
        }
        DIR *dir = ::opendir(src.constData());
        if (!dir) {
            qCWarning(lcCopier) << "FileLinks: cannot read" << src << strerror(errno);
            ok = false;
            return;
        }
        std::vector<QByteArray> names;
        while (const struct dirent *entry = ::readdir(dir)) {
            // Hidden entries (and "." and "..") stay out, as in the project.
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        }
        // The entries are made so that the working folder lists them in descending byte order
        // where its file system keeps an order of making: xorrisofs inserts every entry it
        // reads into a sorted list searched from its smallest name, so that ascending listings
        // of crowded folders cost it quadratic time (20,000 long names: 2 s more), while the
        // user's own folders are often listed newest first (tmpfs).
        if (order > 0)
            std::sort(names.begin(), names.end(), std::greater<QByteArray>());
        else if (order < 0)
            std::sort(names.begin(), names.end());
        const int fd = ::dirfd(dir);
        const int dstFd = ::open(dst.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dstFd < 0) {
            qCWarning(lcCopier) << "FileLinks: cannot open" << dst << strerror(errno);
            ::closedir(dir);
            ok = false;
            return;
        }
        ancestors.push_back(idOf(st));
        QByteArray prefix; // the way from dst to the anchor of src, made when first needed
        for (const QByteArray &name : names) {
            if (stopped()) {
                ok = false;
                break;
            }
            struct stat es;
            // A link counts as what it leads to; a dangling one is left out.
            if (::fstatat(fd, name.constData(), &es, 0) != 0)
                continue;
            if (S_ISDIR(es.st_mode)) {
                if (!skipped(idOf(es)))
                    folder(src + '/' + name, dst + '/' + name, es);
                continue;
            }
            if (!S_ISREG(es.st_mode) || !readable(fd, name.constData(), es))
                continue;
            const QByteArray target = linkTarget(src, name, limit, prefix, [&] {
                const QByteArray anchor = anchorFor(anchors, src);
                return anchor.isEmpty() ? anchor : relativePath(dst, anchors) + '/' + anchor + '/';
            });
            if (target.isEmpty()) {
                ok = false;
                break;
            }
            if (!makeLink(target, dstFd, name))
                ok = false;
            linked();
        }
        ancestors.pop_back();
        ::closedir(dir);
        // The folder keeps its source's times, as the files do through their links.
        const struct timespec times[2] = { st.st_atim, st.st_mtim };
        ::futimens(dstFd, times);
        ::close(dstFd);
    }
};

QByteArray absolute(const QString &path)
{
    return QFile::encodeName(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

} // namespace

QString FileLinks::AnchorFolder()
{
    return Util::GetTempDir() + QStringLiteral("/links");
}

int FileLinks::InodeTargetLimit(const QString &folder)
{
    struct statfs fs;
    if (::statfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return 60;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x01021994: // tmpfs: up to 128 bytes with the end mark
        return 128;
    case 0x58465342: // xfs: in the inode's data area (156 bytes or more)
    case 0x9123683eUL: // btrfs: inline in the metadata
        return 150;
    default: // ext2/3/4: fewer than 60 bytes
        return 60;
    }
}

void FileLinks::SetLinkHook(LinkHook hook)
{
    g_linkHook = hook;
}

bool FileLinks::Link(const QString &source, const QString &destination,
                     const std::atomic<bool> *stop)
{
    const QByteArray src = absolute(source);
    struct stat st;
    if (::stat(src.constData(), &st) != 0) {
        qCWarning(lcCopier) << "FileLinks: cannot link" << source << strerror(errno);
        return false;
    }
    const QByteArray anchors = absolute(AnchorFolder());
    if (S_ISREG(st.st_mode)) {
        if (::access(src.constData(), R_OK) != 0)
            return false;
        const QByteArray dst = absolute(destination);
        const QByteArray parent = dst.left(dst.lastIndexOf('/'));
        QDir().mkpath(QFile::decodeName(parent));
        const int slash = src.lastIndexOf('/');
        const QByteArray folder = slash > 0 ? src.left(slash) : QByteArray("/");
        QByteArray prefix;
        const int limit = InodeTargetLimit(QFile::decodeName(parent));
        const QByteArray target = linkTarget(folder, src.mid(slash + 1), limit, prefix, [&] {
            const QByteArray anchor = anchorFor(anchors, folder);
            return anchor.isEmpty() ? anchor : relativePath(parent, anchors) + '/' + anchor + '/';
        });
        if (target.isEmpty())
            return false;
        const bool made = makeLink(target, AT_FDCWD, dst);
        linked();
        return made;
    }
    if (!S_ISDIR(st.st_mode))
        return false;
    QDir().mkpath(destination);
    Walker walker;
    walker.stop = stop;
    walker.anchors = anchors;
    // Probed among the anchors, which mkisofs never reads.
    if (::mkdir(anchors.constData(), 0700) == 0 || errno == EEXIST)
        walker.order = listingOrder(anchors);
    walker.limit = InodeTargetLimit(destination);
    const QByteArray target = absolute(destination) + '/' + src.mid(src.lastIndexOf('/') + 1);
    // Nothing of the working folder, the anchors or the copy itself goes into the copy.
    FileId id;
    for (const QByteArray &path :
         { anchors, absolute(Util::GetTempDir() + QStringLiteral("/tmp")), target }) {
        if (idOfPath(path, &id))
            walker.leaveOut.push_back(id);
    }
    walker.folder(src, target, st);
    return walker.ok;
}
