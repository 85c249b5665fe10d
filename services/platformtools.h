#ifndef VEXLOR_PLATFORMTOOLS_H
#define VEXLOR_PLATFORMTOOLS_H

// Where the external programs are, and how a disk tool that needs administrator rights is run.
//
// The program's own tools (7-Zip as "7z/7z", mkisofs as "cdrtools/mkisofs" and, off macOS, the
// disk tools in "disktools/") lie in one tool folder: beside the executable in the build folder
// and in a macOS bundle; in an installation on Linux in PREFIX/libexec/vexlor, beside
// PREFIX/bin where the executable is (bin/ holds the program alone).
//
// On macOS the disk tools are the system's own ("/usr/sbin/diskutil", "/usr/bin/drutil",
// "/usr/bin/hdiutil", "/sbin/mount", "/bin/sync", "/usr/bin/osascript") and the boot helper lies
// beside the executable; "sync" is the system's everywhere.

#include <QString>
#include <QStringList>

namespace PlatformTools {

// The tool folder: Util::GetCurrentExePath(), or its "../libexec/vexlor" when that holds the
// disk tools (an installation).
QString ToolRoot();

// The folder of the shipped disk tools: ToolRoot() + "/disktools"; empty on macOS.
QString ToolsDir();

// The program to run for one of "diskutil", "drutil", "hdiutil", "mount", "sync", "osascript"
// and "mkbootable", as an absolute path (or "sync", found through PATH, where it is the
// system's and not at a fixed place). Any other name gives an empty string.
QString Program(const QString &name);

// A command ready to run: the program and its arguments, one element each.
struct Command
{
    QString program;
    QStringList arguments;
};

// The disk tools that write disks and so need administrator rights: "diskutil" (its
// partitionDisk and unmountDisk verbs) and "mkbootable". The installation's polkit policy has
// one action for each.
QStringList AdministratorTools();

// How to run one of AdministratorTools() with these arguments. Run as root: the tool itself.
// Otherwise on Linux through pkexec ("pkexec", the tool's absolute path, the arguments), so that
// polkit asks for the administrator password once (the actions are auth_admin_keep) and the
// tool runs as root; on macOS the boot helper through osascript's administrator prompt, the
// system's diskutil directly.
Command AsAdministrator(const QString &tool, const QStringList &arguments);

// Whether a run of AsAdministrator's command ended because the user was not given the rights:
// the password prompt was dismissed ("Request dismissed", pkexec's status 126; the macOS prompt's
// "User canceled", -128) or polkit refused ("Not authorized", status 127). Nothing was run.
bool AdministratorRefused(int exitCode, const QStringList &errorLines);

} // namespace PlatformTools

#endif // VEXLOR_PLATFORMTOOLS_H
