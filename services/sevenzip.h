#ifndef VEXLOR_SEVENZIP_H
#define VEXLOR_SEVENZIP_H

// The 7-Zip command-line program: its path, the argument list of each use, and readers for the
// lines it prints. Every switch comes before "--" and every name after it, so a name that
// begins with "-" is never read as a switch.

#include "services/cruncommandthread.h"

#include <QString>
#include <QStringList>

namespace SevenZip {

// PlatformTools::ToolRoot() + "/7z/7z"
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

// A line in which 7-Zip itself reports a failure: "ERROR: ...", "Open ERROR: ...",
// "System ERROR:", the "ERRORS:" heading, a failure standing alone on its line
// ("Unexpected end of archive", "Cannot open the file as archive", "Data Error" ...), or a count
// of failures ("Sub items Errors: 5", "Archives with Errors: 1"). Lines that only quote a path
// or a name ("Listing archive: PATH", "Path = PATH", "- name", table rows) never are.
bool IsErrorLine(const QString &line);
// A count of failures, such as "Sub items Errors: 5": a failure, but no words for the user.
bool IsErrorCount(const QString &line);
// "ERRORS:", "System ERROR:" and "WARNINGS:" (or "Warnings:") stand alone on their line; the
// message follows on the next one.
enum class Heading { None, Errors, Warnings };
Heading ReadHeading(const QString &line);
// The entry named by an error about one item, "ERROR: Data Error : boot/x.bin" gives
// "boot/x.bin"; "" for any other line.
QString ErrorItem(const QString &line);

// The error reader of 7-Zip runs: keeps the lines in which 7-Zip reports a failure, as it wrote
// them (IsErrorLine), and the message that follows an "ERRORS:" heading on the next line; never
// what follows "WARNINGS:", never a line that only quotes a path or a name.
CErrorLineReader ErrorReader();

} // namespace SevenZip

#endif // VEXLOR_SEVENZIP_H
