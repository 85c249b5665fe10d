#ifndef VEXLOR_PLATFORM_SEAMS_H
#define VEXLOR_PLATFORM_SEAMS_H

// The disk tools' test seams (VEXLOR_TEST_USB_DISKS, VEXLOR_TEST_OPTICAL_DRIVES,
// VEXLOR_TEST_MEDIA_DIR; see system.h), and where a tool may learn them.
//
// Tools in the build folder take them from the environment. An installed tool (one that lies in
// .../libexec/vexlor/disktools) runs as root through pkexec, and nothing a user sets may widen
// what it writes: it never reads them from the environment, only from the file kSeamFile, and
// only while that file and its folder belong to root and nobody else may write them.

#include <QByteArray>
#include <QMap>
#include <QString>

namespace Seams {

constexpr const char *kSeamFile = "/run/vexlor/test-seams";

// "NAME=value" lines; blank lines and lines starting with '#' are skipped, and so is any name
// that is not one of the three seams. Surrounding blanks of names and values are dropped.
QMap<QString, QString> Parse(const QByteArray &text);

// Whether the running tool is an installed one, judged by the folder it lies in.
bool IsInstalledTool(const QString &toolDir);

// The contents of the seam file, or nothing when it is missing or not root's alone.
QByteArray ReadRootOwnedFile(const QString &path);

// One seam's value for this tool: from the environment in the build folder, from kSeamFile
// when installed; empty when unset.
QString Value(const char *name);

} // namespace Seams

#endif // VEXLOR_PLATFORM_SEAMS_H
