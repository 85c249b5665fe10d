#ifndef VEXLOR_COPYDISCLOGIC_H
#define VEXLOR_COPYDISCLOGIC_H

// The decisions of the Copy-disc page that need no widgets: reading the drive list and the
// progress of a copy through the disk tools' readers, and the checks made before a copy starts.

#include "services/cruncommandthread.h"
#include "services/disccopy.h"
#include "services/disktools.h"

#include <QString>
#include <QStringList>

namespace CopyDiscLogic {

// The range of the progress bar while the disc is copied.
constexpr int ProgressMaximum = 10000;

// Progress on the 0 to 10000 range from one "hdiutil makehybrid" line
// ("DRStatusPercentCompleteKey: 0.25" gives 2500), or -1 when the line carries no progress
// above 0.
int ProgressValue(const QString &line);

// Whether path is folder itself or lies below it; both are compared as given (absolute, with
// links resolved by the caller).
bool IsInside(const QString &path, const QString &folder);

// The error reader of the copy and eject runs: mkisofs's reader, with the progress lines left out.
CErrorLineReader ErrorReader();

// The tool's own message about a failed run, chosen among the error lines ErrorReader() kept the
// way mkisofs's message is chosen; empty when it printed nothing else.
QString ToolMessage(const CRunOutcome &end);

// What the success message adds about the copy made: an exact copy of the disc's volume, or an
// image rebuilt from the disc's files (when the device could not be read).
QString ExactCopyNote(const DiscCopy::Volume &volume);
QString RebuiltCopyNote();

// The reason a copy of the device's sectors failed, for the user; empty for Done and Stopped.
QString DeviceCopyFailure(const DiscCopy::Result &result, const QString &device);

} // namespace CopyDiscLogic

#endif // VEXLOR_COPYDISCLOGIC_H
