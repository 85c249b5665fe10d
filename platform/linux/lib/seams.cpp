#include "seams.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Seams {

namespace {

const char *const kNames[]
    = { "VEXLOR_TEST_USB_DISKS", "VEXLOR_TEST_OPTICAL_DRIVES", "VEXLOR_TEST_MEDIA_DIR" };

// Owned by root, writable by nobody else, of the expected kind.
bool rootsAlone(const struct stat &info)
{
    return info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

QMap<QString, QString> Parse(const QByteArray &text)
{
    QMap<QString, QString> values;
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        const int equals = line.indexOf('=');
        if (line.isEmpty() || line.startsWith('#') || equals < 1)
            continue;
        const QString name = QString::fromUtf8(line.left(equals)).trimmed();
        for (const char *known : kNames) {
            if (name == QLatin1String(known))
                values.insert(name, QString::fromUtf8(line.mid(equals + 1)).trimmed());
        }
    }
    return values;
}

bool IsInstalledTool(const QString &toolDir)
{
    return QDir::cleanPath(toolDir).endsWith(QLatin1String("/libexec/vexlor/disktools"));
}

QByteArray ReadRootOwnedFile(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat info;
    if (::lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || !rootsAlone(info))
        return {};
    // Opened without following a link, then judged by what was opened.
    const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && rootsAlone(info)
        && info.st_size < 65536) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, int(n));
    }
    ::close(fd);
    return text;
}

QString Value(const char *name)
{
    static const bool installed = IsInstalledTool(QCoreApplication::applicationDirPath());
    if (!installed)
        return QString::fromLocal8Bit(qgetenv(name));
    return Parse(ReadRootOwnedFile(QString::fromLatin1(kSeamFile))).value(QLatin1String(name));
}

} // namespace Seams
