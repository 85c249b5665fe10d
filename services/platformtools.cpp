#include "services/platformtools.h"

#include "services/util.h"

#include <QFileInfo>
#include <QStandardPaths>

QString PlatformTools::ToolsDir()
{
#ifdef Q_OS_MACOS
    return {};
#else
    return Util::GetCurrentExePath() + QStringLiteral("/disktools");
#endif
}

QString PlatformTools::Program(const QString &name)
{
#ifdef Q_OS_MACOS
    if (name == QLatin1String("diskutil"))
        return QStringLiteral("/usr/sbin/diskutil");
    if (name == QLatin1String("drutil") || name == QLatin1String("hdiutil")
        || name == QLatin1String("osascript"))
        return QStringLiteral("/usr/bin/") + name;
    if (name == QLatin1String("mount"))
        return QStringLiteral("/sbin/mount");
    if (name == QLatin1String("sync"))
        return QStringLiteral("/bin/sync");
    if (name == QLatin1String("mkbootable"))
        return Util::GetCurrentExePath() + QStringLiteral("/mkbootable");
    return {};
#else
    static const QStringList shipped { "diskutil", "drutil",    "hdiutil",
                                       "mount",    "osascript", "mkbootable" };
    if (shipped.contains(name))
        return ToolsDir() + QLatin1Char('/') + name;
    if (name == QLatin1String("sync")) {
        const QString found = QStandardPaths::findExecutable(name);
        return found.isEmpty() ? name : found;
    }
    return {};
#endif
}
