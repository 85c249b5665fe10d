#include "services/wimlib.h"

#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcWimlib, "vexlor.wimlib", QtWarningMsg)

namespace Wimlib {

QString Program()
{
    const QString name = QStringLiteral("wimlib-imagex");
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(
            name, { QStringLiteral("/opt/homebrew/bin"), QStringLiteral("/usr/local/bin") });
    return found.isEmpty() ? name : found;
}

int PartMiB(qint64 fileLimit)
{
    // Parts stay well below the limit: wimlib closes a part before the blob that would pass it,
    // and each part carries its own header and tables.
    if (fileLimit >= FatFileLimit)
        return 3800;
    if (fileLimit >= FuseFatFileLimit)
        return 512;
    return int(qMax<qint64>(1, fileLimit / 2 >> 20));
}

QStringList SplitArgs(const QString &wim, const QString &swm, int partMiB)
{
    return { QStringLiteral("split"), wim, swm, QString::number(partMiB) };
}

QStringList VerifyArgs(const QString &firstPart)
{
    QString pattern = firstPart;
    if (pattern.endsWith(QLatin1String(".swm"), Qt::CaseInsensitive))
        pattern.chop(4);
    return { QStringLiteral("verify"), firstPart,
             QStringLiteral("--ref=") + pattern + QStringLiteral("*.swm") };
}

int ReadProgress(const QString &line)
{
    static const QRegularExpression percent(QStringLiteral(
        "^[A-Za-z][A-Za-z ]*: \\d+ [KMGT]?i?B of \\d+ [KMGT]?i?B \\((\\d{1,3})%\\)"));
    const QRegularExpressionMatch match = percent.match(line.trimmed());
    if (!match.hasMatch())
        return -1;
    return qMin(100, match.captured(1).toInt());
}

CErrorLineReader ErrorReader()
{
    return [](const QString &line) {
        const QString text = line.trimmed();
        if (text.isEmpty() || ReadProgress(text) >= 0
            || text.startsWith(QLatin1String("[WARNING]")))
            return QString();
        return text;
    };
}

QString FirstPart(const QString &volume, const QString &entry)
{
    const QFileInfo wim(volume + QLatin1Char('/') + entry);
    return wim.path() + QLatin1Char('/') + wim.completeBaseName() + QStringLiteral(".swm");
}

qint64 VolumeFileLimit(const QStringList &mountLines, const QString &mountPoint)
{
    const QString wanted = QDir::cleanPath(mountPoint);
    qint64 limit = FatFileLimit;
    DiskTools::MountEntry entry;
    for (const QString &line : mountLines) {
        if (DiskTools::ParseMountLine(line, &entry)
            && QDir::cleanPath(entry.mountPoint) == wanted) // the last mount there wins
            limit = entry.type.startsWith(QLatin1String("fuse")) ? FuseFatFileLimit : FatFileLimit;
    }
    return limit;
}

qint64 VolumeFileLimit(const QString &mountPoint)
{
    const QString lines = Util::callexternapp(PlatformTools::Program(QStringLiteral("mount")),
                                              QStringList(), 30000);
    return VolumeFileLimit(lines.split(QLatin1Char('\n')), mountPoint);
}

namespace {

// Runs one tool to its end while the calling thread's events keep being delivered; each output
// line goes to onLine.
CRunOutcome runTool(const QString &program, const QStringList &arguments,
                    const CErrorLineReader &reader, const std::function<void(QString)> &onLine)
{
    CRunCommandThread runner;
    QObject::connect(&runner, &CRunCommandThread::standoutputline, onLine);
    runner.SetErrorReader(reader);
    runner.SetRunCmd(program, arguments);
    runner.start();
    runner.waitFinished();
    runner.wait();
    const CRunOutcome end = runner.Outcome();
    if (!end.Ok())
        qCWarning(lcWimlib) << program << arguments << "ended with" << end.exitCode
                            << end.errorLines;
    return end;
}

// A step that failed before any tool ran, with its reason as the error line.
CRunOutcome failed(const QString &reason)
{
    CRunOutcome end;
    end.kind = CRunOutcome::ToolError;
    end.errorLines << reason;
    return end;
}

} // namespace

CRunOutcome SplitOnto(const SplitJob &job, const std::function<void(Stage, int)> &progress)
{
    const auto report = [&](Stage stage, int percent) {
        if (progress)
            progress(stage, percent);
    };
    const auto runTool = job.run ? job.run : decltype(job.run)(Wimlib::runTool);
    QDir(job.scratch).removeRecursively();
    report(Stage::Extracting, 0);
    CRunOutcome end
        = runTool(SevenZip::Program(), SevenZip::ExtractArgs(job.image, job.scratch, { job.entry }),
                  SevenZip::ErrorReader(), [&](const QString &line) {
                      const SevenZip::Progress p = SevenZip::ParseProgress(line);
                      if (p.valid)
                          report(Stage::Extracting, p.percent);
                  });
    // 7-Zip ends without an error when the entry is not there: nothing to split then.
    const QString wim = job.scratch + QLatin1Char('/') + job.entry;
    if (end.Ok() && !QFileInfo(wim).isFile())
        end = failed(QStringLiteral("\"%1\" was not taken out of the image.").arg(job.entry));
    const QString first = FirstPart(job.volume, job.entry);
    const auto wimProgress = [&](Stage stage) {
        return [&, stage](const QString &line) {
            const int percent = ReadProgress(line);
            if (percent >= 0)
                report(stage, percent);
        };
    };
    if (end.Ok()) {
        if (!QDir().mkpath(QFileInfo(first).path())) {
            end = failed(QStringLiteral("The folder \"%1\" could not be made.")
                             .arg(QFileInfo(first).path()));
        } else {
            report(Stage::Splitting, 0);
            end = runTool(Program(), SplitArgs(wim, first, job.partMiB), ErrorReader(),
                          wimProgress(Stage::Splitting));
        }
    }
    QDir(job.scratch).removeRecursively();
    if (end.Ok()) {
        report(Stage::Verifying, 0);
        end = runTool(Program(), VerifyArgs(first), ErrorReader(), wimProgress(Stage::Verifying));
    }
    return end;
}

} // namespace Wimlib
