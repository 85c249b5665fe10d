#ifndef VEXLOR_SEVENZIP_H
#define VEXLOR_SEVENZIP_H

// The 7-Zip command-line program: its path, the argument list of each use, and readers for the
// lines it prints. Every switch comes before "--" and every name after it, so a name that
// begins with "-" is never read as a switch.

#include "services/cruncommandthread.h"

#include <QString>
#include <QStringList>

namespace SevenZip {

// Util::GetCurrentExePath() + "/7z/7z"
QString Program();
// List an image: "l", "--", image
QStringList ListArgs(const QString &image);
// List an image, names as UTF-8: "-scsUTF-8", "l", "--", image
QStringList ListArgsUtf8(const QString &image);
// Extract chosen entries with their relative paths below dest:
// "x", "-y", "-bb3", "-bsp2", "-o" + dest, "--", image, relPaths...
// No recursive matching: a named folder comes out whole anyway, while "-r" would also pull in
// every entry of the same name in any subfolder (and overwrite with "-y").
QStringList ExtractArgs(const QString &image, const QString &dest, const QStringList &relPaths);
// Extract a whole image below workDir: "x", "-y", "-bb3", "-bsp2", "-o" + workDir, "--", image
QStringList ExtractAllArgs(const QString &workDir, const QString &image);
// Unpack a whole image onto a mounted volume:
// "x", "-bsp2", "-y", "-o" + mountPoint + "/", "--", image
QStringList UnpackArgs(const QString &mountPoint, const QString &image);

// One progress update: "%3d% N - path", the count and path being optional.
struct Progress
{
    bool valid = false;
    int percent = 0;
    int count = -1;
    QString path;
};
Progress ParseProgress(const QString &line);

// A line that reports a failure: "ERROR: ...", "ERRORS:", "Data Error ...", "Cannot open ...".
bool IsErrorLine(const QString &line);

// The error reader of 7-Zip runs: keeps the tool's own error lines ("ERROR: " taken off), and the
// message that follows a heading such as "ERRORS:" on the next line; never a line that only
// quotes a path or a name.
CErrorLineReader ErrorReader();

} // namespace SevenZip

#endif // VEXLOR_SEVENZIP_H
