#ifndef VEXLOR_STARTUP_H
#define VEXLOR_STARTUP_H

#include <QString>

// Start-up steps of the program.
namespace Startup {

// Process-wide settings made before the application object exists: the application's name
// (which names the per-user folders).
void PrepareProcess();

// Whether a program folder lies on a mounted disk image or removable volume: "/Volumes" itself
// or anything below it (case-sensitive).
bool IsOnMountedVolume(const QString &exeDir);

// Shows the refusal prompt when exeDir is on a mounted volume. Returns whether start-up may go
// on.
bool CheckLocation(const QString &exeDir);

// The rest of start-up: the location check, the application font and icon, diagnostics, the
// home window and the event loop. Returns the exit code (0 after a refusal).
int Run(const QString &exeDir, const QString &tempDir);

} // namespace Startup

#endif // VEXLOR_STARTUP_H
