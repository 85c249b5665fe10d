#include "services/platformtools.h"

#include "services/disktools.h"
#include "services/util.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

QString PlatformTools::ToolRoot()
{
    const QString exeDir = Util::GetCurrentExePath();
#ifndef Q_OS_MACOS
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../libexec/vexlor"));
    if (QFileInfo(installed + QStringLiteral("/disktools")).isDir())
        return installed;
#endif
    return exeDir;
}

QString PlatformTools::ToolsDir()
{
#ifdef Q_OS_MACOS
    return {};
#else
    return ToolRoot() + QStringLiteral("/disktools");
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

QStringList PlatformTools::AdministratorTools()
{
    return { QStringLiteral("diskutil"), QStringLiteral("mkbootable") };
}

PlatformTools::Command PlatformTools::AsAdministrator(const QString &tool,
                                                      const QStringList &arguments)
{
    const QString program = Program(tool);
    if (::geteuid() == 0)
        return { program, arguments };
#ifdef Q_OS_MACOS
    if (tool == QLatin1String("mkbootable")) {
        QStringList words;
        for (const QString &word : QStringList { program } + arguments)
            words << DiskTools::ShellQuote(word);
        return { Program(QStringLiteral("osascript")),
                 DiskTools::AdminArgs(words.join(QLatin1Char(' '))) };
    }
    return { program, arguments };
#else
    // pkexec matches the policy's exec.path against the path exactly as given: the absolute,
    // clean path of the installed tool.
    QString pkexec = QStandardPaths::findExecutable(
        QStringLiteral("pkexec"), { QStringLiteral("/usr/bin"), QStringLiteral("/bin") });
    if (pkexec.isEmpty())
        pkexec = QStringLiteral("pkexec");
    return { pkexec, QStringList { QDir::cleanPath(program) } + arguments };
#endif
}

bool PlatformTools::AdministratorRefused(int exitCode, const QStringList &errorLines)
{
    for (const QString &line : errorLines) {
        if (line.contains(QLatin1String("User canceled")) || line.contains(QLatin1String("(-128)"))
            || line.contains(QLatin1String("Request dismissed")))
            return true;
        // pkexec's own words, which only it prints: the tools never say them.
        if ((exitCode == 126 || exitCode == 127)
            && line.contains(QLatin1String("Error executing command as another user: Not "
                                           "authorized")))
            return true;
    }
    return exitCode == 126 && errorLines.isEmpty();
}
