#ifndef VEXLOR_CREATELOGIC_H
#define VEXLOR_CREATELOGIC_H

// The decisions of the Create page that need no widgets: the mkisofs argument list of each image
// type, the reading of mkisofs progress lines, the size gauge, the 4 GiB check of plain ISO 9660
// images, the check of the staging folder, and the judging of a finished mkisofs run.

#include <QString>
#include <QStringList>

class Item;

namespace CreateLogic {

enum class ImageType { Joliet, Iso9660, Udf };

// The largest file an ISO 9660 directory record can describe (its size field has 32 bits).
constexpr qint64 Iso9660FileLimit = Q_INT64_C(4294967295);
// The nominal project maximum shown by the gauge: 5 GiB.
constexpr qint64 GaugeMaximum = Q_INT64_C(5368709120);
// The range of the progress bar while mkisofs runs.
constexpr int ProgressMaximum = 10000;
// The switch that lets mkisofs store files of 4 GiB and more (their true size only in UDF).
extern const char *const LargeFileSwitch;

// The mkisofs arguments for one image type: the type switch, "-allow-limited-size" for a UDF
// image that holds a file of 4 GiB or more, then "-R", "-r", "-o", image and the source folder.
QStringList CreateArguments(ImageType type, const QString &image, const QString &source,
                            bool largeFiles = false);

// The gauge value of a project of size bytes: its percentage of 5 GiB, rounded down, 0 to 100.
int GaugeValue(qint64 size);

// The text of the size label: "Total Size: " and the size formatted for display.
QString TotalSizeText(qint64 size);

// Progress on the 0 to 10000 range from one mkisofs output line ("  2.17% done, estimate
// finish ..."), or -1 when the line is not a progress line (the marker text is missing or
// starts the line). A marker preceded by something that is not a number gives 0.
int ReadProgress(const QString &line);

// Whether a file of size bytes is too large for a plain ISO 9660 or Joliet image.
bool TooLargeForIso9660(qint64 size);

// The project paths of the files below folder whose source file is now 4 GiB or larger, in
// tree order.
QStringList FilesTooLargeForIso9660(const Item &folder);

// The project paths of the items below folder that have no staged copy under stageDir (which
// ends in "/"), in tree order; stops after limit paths when limit is above 0.
QStringList MissingStagedItems(const Item &folder, const QString &stageDir, int limit = 0);

// The project paths of the items below folder whose source is one of sources (a failed copy
// task names the file or folder it copied), in tree order.
QStringList ItemsWithSources(const Item &folder, const QStringList &sources);

// A list of paths for a message: one per line, at most max of them, then "... and N more".
QString PathListText(const QStringList &paths, int max = 5);

// How a mkisofs run ended, as the runner reports it after its end.
struct RunResult
{
    bool failedToStart = false;
    bool crashed = false;
    int exitCode = 0;
    bool imageWritten = false; // the image file exists and is not empty
};

// The tool's own message about its failure from its output lines: the first line that reads
// like an error together with the line after it when that one reads like an error as well;
// failing that, the last line that is not progress or statistics. Empty when there is none.
QString PickToolMessage(const QStringList &lines);

// Whether the run made the image.
bool RunSucceeded(const RunResult &result);

// The error to show for a run that did not make the image (empty when it did); it carries the
// tool's message.
QString FailureText(const RunResult &result, const QString &toolMessage);

} // namespace CreateLogic

#endif // VEXLOR_CREATELOGIC_H
