#ifndef VEXLOR_PLATFORMTOOLS_H
#define VEXLOR_PLATFORMTOOLS_H

// Where the platform's disk tools are. On macOS they are the system's own ("/usr/sbin/diskutil",
// "/usr/bin/drutil", "/usr/bin/hdiutil", "/sbin/mount", "/bin/sync", "/usr/bin/osascript") and
// the boot helper lies beside the executable; elsewhere the program ships its own providers of
// them in the folder "disktools" beside the executable, and "sync" is the system's.

#include <QString>

namespace PlatformTools {

// The folder of the shipped providers: Util::GetCurrentExePath() + "/disktools"; empty on
// macOS.
QString ToolsDir();

// The program to run for one of "diskutil", "drutil", "hdiutil", "mount", "sync", "osascript"
// and "mkbootable", as an absolute path (or "sync", found through PATH, where it is the
// system's and not at a fixed place). Any other name gives an empty string.
QString Program(const QString &name);

} // namespace PlatformTools

#endif // VEXLOR_PLATFORMTOOLS_H
