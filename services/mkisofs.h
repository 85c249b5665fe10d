#ifndef VEXLOR_MKISOFS_H
#define VEXLOR_MKISOFS_H

// The mkisofs program: its path, the argument lists of the Create page and of an edited image's
// save, the reading of its progress lines, and the choice of its message when a run fails.

#include "services/cruncommandthread.h"

#include <QString>
#include <QStringList>

namespace Mkisofs {

enum class ImageType { Joliet, Iso9660, Udf };

// The largest file an ISO 9660 directory record can describe (its size field has 32 bits).
constexpr qint64 Iso9660FileLimit = Q_INT64_C(4294967295);
// The range of progress values ReadProgress() gives.
constexpr int ProgressMaximum = 10000;
// The switch that lets mkisofs store files of 4 GiB and more (their true size only in UDF).
extern const char *const LargeFileSwitch;

// The switch that makes mkisofs take a symbolic link as the file it leads to: the working folder
// holds links to the files the user added (FileLinks) and no other links.
extern const char *const FollowLinksSwitch;

// PlatformTools::ToolRoot() + "/cdrtools/mkisofs"
QString Program();

// What the names below the sources are like, as mkisofs beside the executable chooses its tool
// and naming by them: any name holding more than printable ASCII, and any folder holding 1,000
// names or more of over 30 bytes. A caller that has just read every name below the sources
// passes NamesHint() in the environment variable NamesVariable, which spares the tool a walk
// of its own.
struct NameShape
{
    bool wide = false;
    bool crowded = false;
};
extern const char *const NamesVariable;
QString NamesHint(const NameShape &shape);
// Counts one folder's names into shape.
class NameCounter
{
public:
    void Name(const char *name, size_t size);
    void EndFolder(NameShape *shape);

private:
    bool m_Wide = false;
    int m_Long = 0;
};

// Whether a file of size bytes is too large for a plain ISO 9660 or Joliet image.
bool TooLargeForIso9660(qint64 size);

// A new image of one type: the type switch ("-joliet", "-l" or "-udf"), "-allow-limited-size"
// for a UDF image that holds a file of 4 GiB or more, then "-f", "-R", "-r", "-o", image, source.
QStringList CreateArgs(ImageType type, const QString &image, const QString &source,
                       bool largeFiles = false);

// An edited image: "-udf", "-allow-limited-size" when largeFiles, "-f", "-R", "-o", image, then the
// boot switches as the caller gives them ("-b", "boot.bin", ...), then source.
QStringList SaveArgs(const QString &image, const QString &source, const QStringList &bootSwitches,
                     bool largeFiles = false);

// Progress on the 0 to ProgressMaximum range from one output line ("  2.17% done, estimate
// finish ..."), or -1 when the line is not a progress line (the marker text is missing or
// starts the line). A marker preceded by something that is not a number gives 0.
int ReadProgress(const QString &line);

// The file a line of mkisofs says it left out of the image because it could not read it ("File
// PATH is not readable - ignoring": gone, or not readable), as printed; empty for other lines.
QString SkippedFile(const QString &line);

// The error reader of mkisofs runs: every line that is not progress or the closing statistics.
CErrorLineReader ErrorReader();

// The tool's own message about its failure from those lines: the first line that reads like an
// error together with the line after it when that one reads like an error as well; failing that,
// the last line. Empty when there is none.
QString PickMessage(const QStringList &lines);

} // namespace Mkisofs

#endif // VEXLOR_MKISOFS_H
