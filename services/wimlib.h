#ifndef VEXLOR_WIMLIB_H
#define VEXLOR_WIMLIB_H

// wimlib's command-line program (package wimtools): its path, the argument lists that split a
// Windows installation image into parts a FAT volume can hold and check the parts, the reading of
// its progress lines, and the whole split of an image's installation image onto a volume.
//
// Windows Setup reads a split image as it is: sources/install.swm, install2.swm, ...

#include "services/cruncommandthread.h"

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace Wimlib {

// "wimlib-imagex" as found on PATH (or in /opt/homebrew/bin, /usr/local/bin, where a desktop
// session's PATH may not reach); the bare name when it is nowhere, so that the run fails to start.
QString Program();

// FAT32 holds files below 4 GiB.
constexpr qint64 FatFileLimit = Q_INT64_C(4294967296);
// The FUSE FAT driver writes no file past 2 GiB (the write fails with EPERM).
constexpr qint64 FuseFatFileLimit = Q_INT64_C(2147483648);

// The size of the parts, in MiB, for a volume that holds files below fileLimit bytes: 3800 for
// FAT32, half of any lower limit (at least 1), and 512 for the FUSE FAT driver, whose reads
// take longer the further into a file they are (the check of 4.3 GiB in 512 MiB parts read
// back in 3 minutes; in 1900 MiB parts it had read less than a third in 5 minutes).
int PartMiB(qint64 fileLimit);

// Split wim into parts named like swm ("install.swm", "install2.swm", ...) of partMiB each:
// "split", wim, swm, partMiB.
QStringList SplitArgs(const QString &wim, const QString &swm, int partMiB);
// Check a split image through its first part, the others found beside it:
// "verify", firstPart, "--ref=" + firstPart without ".swm" + "*.swm".
QStringList VerifyArgs(const QString &firstPart);

// The percentage of a progress line ("Splitting WIM: 2046 MiB of 4400 MiB (46%) written, part 1
// of 2", "Verifying file data: 6 MiB of 47 MiB (14%) done"), or -1 for any other line.
int ReadProgress(const QString &line);

// The error reader of its runs: every non-blank line, trimmed, but progress and warnings
// ("[WARNING] ... does not contain integrity information").
CErrorLineReader ErrorReader();

// The first part's path for an installation image at entry (as the image lists it, for example
// "sources/install.wim") on the volume mounted at volume: volume + "/sources/install.swm".
QString FirstPart(const QString &volume, const QString &entry);

// The largest file the volume mounted at mountPoint takes, from the mount list (mountLines as
// the "mount" disk tool prints them): FuseFatFileLimit when it is served through FUSE (a type
// beginning with "fuse"), FatFileLimit otherwise.
qint64 VolumeFileLimit(const QStringList &mountLines, const QString &mountPoint);
// The same, asking the "mount" disk tool.
qint64 VolumeFileLimit(const QString &mountPoint);

// Where a file's bytes lie inside an image: byte offset and length; offset -1 when not in one
// piece.
struct Span
{
    qint64 offset = -1;
    qint64 size = 0;
    bool Found() const { return offset >= 0; }
};

// The bytes of the file at path ("sources/install.wim") in the primary ISO 9660 tree of image
// (names compared without case, version ";1" and trailing "." left out), when they lie in one
// piece inside it. A file of 4 GiB or more has one directory record per extent of below 4 GiB
// (ISO level 3), flagged as continued but the last; the extents normally follow each other. Not
// found: no such file, a folder, extents with gaps or out of order, a chain that does not end,
// or bytes past the image's end.
Span ContiguousFile(QIODevice *image, const QString &path);

// One split of an image's installation image onto a mounted volume.
struct SplitJob
{
    QString image; // the image file
    QString entry; // the installation image inside it, as listed ("sources/install.wim")
    qint64 size = 0; // its size as listed; it is read in place only when the image agrees
    // Read it straight from the image's bytes through a read-only loop device when it lies in
    // one piece there and a loop device can be had; else take it out of the image first.
    bool inPlace = true;
    QString volume; // the mount point of the volume that receives the parts
    QString scratch; // a folder of its own for the file taken out of the image; removed after
    int partMiB = 3800;
    // Flushes the volume before the parts are read back, on a worker thread; an error text when
    // the disk reported a write error. Each part is flushed and dropped from the cache in any
    // case.
    std::function<QString()> flush;
    // Runs one tool to its end, each output line to onLine; empty: run it here, without a time
    // limit. A burn passes its own, which bounds each step and stops it on demand.
    std::function<CRunOutcome(const QString &program, const QStringList &arguments,
                              const CErrorLineReader &reader,
                              const std::function<void(QString)> &onLine)>
        run;
};
enum class Stage { Extracting, Splitting, Verifying };
enum class Route { InPlace, CopiedOut };

// Splits the installation image onto the volume and checks the parts. It is read in place when
// job.inPlace allows, ContiguousFile finds it with job.size bytes that begin as a WIM file does
// (not where only the image's UDF tree gives its true size), and a read-only loop device over
// them can be set up (root, or a member of the group that owns the loop devices); the device is
// let go of whatever ends the split. Else it is taken out of the image into job.scratch with
// 7-Zip first (job.scratch is removed whatever happens). The parts are flushed and dropped from
// the cache before the check reads them, so that it reads the disk. progress(stage, percent)
// follows each stage on the calling thread, whose events keep being delivered while the tools
// run; route, when given, is told which way the file was read. The outcome of the step that
// failed, or of the check when all succeeded.
//
// Never through a mount of the image: the FUSE image driver gives wrong files of 4 GiB and more
// (the size cut to 32 bits, or a file stored in several extents shown as several files).
CRunOutcome SplitOnto(const SplitJob &job, const std::function<void(Stage, int)> &progress,
                      Route *route = nullptr);

} // namespace Wimlib

#endif // VEXLOR_WIMLIB_H
