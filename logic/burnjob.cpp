#include "logic/burnjob.h"

#include "logic/extractlogic.h"
#include "model/eltorito.h"
#include "services/cruncommandthread.h"
#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/uefiboot.h"
#include "services/util.h"
#include "services/wimlib.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <memory>

// vexlor.burnjob: the burn's steps (debug lines off unless switched on).
Q_LOGGING_CATEGORY(lcBurnJob, "vexlor.burnjob", QtWarningMsg)

using namespace BurnLogic;

namespace {

// The identity of the disk listed at node right now; an empty node when it is not listed as a
// USB disk any more.
DiskIdentity listedIdentity(const QString &disk, int limitMs)
{
    bool listed = false;
    for (const QString &line : BurnJob::DiskListing(limitMs))
        listed = listed || DiskTools::ListedDisk(line) == disk;
    return listed ? BurnJob::UsbDisk(disk) : DiskIdentity();
}

} // namespace

QStringList BurnJob::DiskListing(int limitMs)
{
    CRunCommandThread list;
    list.m_CollectOutput = true;
    list.SetRunCmd(PlatformTools::Program(QStringLiteral("diskutil")), DiskTools::ListArgs());
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&list] { list.KillTool(); });
    limit.start(limitMs);
    list.start();
    list.waitFinished();
    list.wait();
    return list.m_OutputLines;
}

DiskIdentity BurnJob::UsbDisk(const QString &node)
{
    const QString report = Util::callexternapp(PlatformTools::Program(QStringLiteral("diskutil")),
                                               DiskTools::InfoArgs(node), 30000);
    qCDebug(lcBurnJob) << "diskutil info" << node << report;
    return DiskTools::IsUsbStickInfo(report) ? IdentityFromInfo(node, report) : DiskIdentity();
}

BurnJob::ImageFacts BurnJob::ReadImage(const QString &image)
{
    ImageFacts facts;
    CRunCommandThread list;
    list.m_CollectOutput = true;
    list.SetErrorReader(SevenZip::ErrorReader());
    list.SetRunCmd(SevenZip::Program(), SevenZip::ListArgs(image));
    list.start();
    list.waitFinished();
    list.wait();
    facts.listing = list.Outcome();
    LargeFileScan scan;
    for (const QString &line : qAsConst(list.m_OutputLines))
        scan.AddLine(line);
    facts.complete = scan.Complete();
    facts.paths = UefiBoot::ListedPaths(list.m_OutputLines);
    facts.files = scan.Files();
    facts.splitWim = scan.SplitWim();
    facts.tooLarge = scan.Path();
    facts.tooLargeSize = scan.Size();
    const ElTorito::Catalog catalog = ElTorito::ReadCatalog(image);
    facts.bootKinds = ElTorito::BootKinds(catalog);
    facts.boot.biosEntry = catalog.hasBios();
    facts.boot.bootmgr = HasBootmgr(facts.paths);
    facts.boot.uefiLoader = UefiBoot::Decide(facts.paths, catalog).need != UefiBoot::Need::NoUefi;
    QFile file(image);
    facts.offerDiskImage
        = file.open(QIODevice::ReadOnly) && OfferDiskImage(file.read(1024), facts.paths);
    return facts;
}

QString BurnJob::Prepare(Request *request, bool diskImageOffered)
{
    const ImageFacts facts = ReadImage(request->image);
    if (!request->diskImage) {
        if (!facts.complete)
            return FailureText(QStringLiteral("The image \"%1\" cannot be read; the USB disk was "
                                              "not changed.")
                                   .arg(request->image),
                               facts.listing);
        if (!facts.tooLarge.isEmpty())
            return TooLargeText(facts.tooLarge, facts.tooLargeSize);
        request->imagePaths = facts.paths;
        request->files = facts.files;
        request->splitWim = facts.splitWim;
    }
    return StartsNowhereText(facts.boot, diskImageOffered, request->diskImage,
                             IsGptChoice(request->scheme));
}

BurnJob::BurnJob(const Request &request, QObject *parent)
    : QObject(parent)
    , m_Request(request)
    , m_SplitWim(request.splitWim)
    , m_ImageFiles(request.files)
{
}

BurnJob::~BurnJob()
{
    // Only reached between steps: a running job is stopped and goes once it has finished.
    m_Cancel = true;
    if (m_Runner)
        m_Runner->KillTool();
}

void BurnJob::Start()
{
    m_Running = true;
    QTimer::singleShot(0, this, &BurnJob::Run);
}

void BurnJob::Stop()
{
    if (!m_Running || m_Stopped)
        return;
    m_Stopped = true;
    m_Cancel = true;
    if (m_Runner)
        m_Runner->KillTool();
}

void BurnJob::Abandon()
{
    disconnect();
    setParent(nullptr);
    connect(this, &BurnJob::finished, this, &QObject::deleteLater);
    if (m_Request.drive.isEmpty())
        Stop();
    if (!m_Running)
        deleteLater();
}

void BurnJob::Run()
{
    if (m_Stopped)
        return Finish(Outcome::Stopped);
    if (!m_Request.drive.isEmpty())
        RunDisc();
    else if (m_Request.diskImage)
        RunDiskImage();
    else
        RunFiles();
}

void BurnJob::Progress(const QString &text, int percent)
{
    emit progressText(text);
    emit progressValue(percent);
}

int BurnJob::BulkLimit(int times, int perMiB) const
{
    const qint64 mib = QFileInfo(m_Request.image).size() >> 20;
    const qint64 each = perMiB > 0 ? perMiB : m_Limits.perMiB;
    return int(qMin<qint64>(INT_MAX, m_Limits.bulk + times * mib * each));
}

CRunOutcome BurnJob::RunStep(const QString &program, const QStringList &arguments,
                             void (BurnJob::*onLine)(QString), CErrorLineReader reader, int limitMs)
{
    std::function<void(QString)> lines;
    if (onLine)
        lines = [this, onLine](QString line) {
            (this->*onLine)(line);
        };
    return RunStep(program, arguments, lines, reader, limitMs);
}

CRunOutcome BurnJob::RunStep(const QString &program, const QStringList &arguments,
                             const std::function<void(QString)> &onLine, CErrorLineReader reader,
                             int limitMs)
{
    CRunOutcome end;
    if (m_Stopped)
        return end; // Stopped
    const int limit = limitMs > 0 ? limitMs : BulkLimit();
    CRunCommandThread runner;
    m_Runner = &runner;
    if (onLine)
        connect(&runner, &CRunCommandThread::standoutputline, this, onLine);
    runner.SetErrorReader(reader ? reader : ToolLineReader());
    runner.SetRunCmd(program, arguments);
    bool overran = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [&] {
        overran = true;
        runner.KillTool();
    });
    deadline.start(limit);
    runner.start();
    runner.waitFinished();
    runner.wait();
    deadline.stop();
    m_Runner = nullptr;
    end = runner.Outcome();
    if (overran && !end.Ok()) {
        m_TimedOut = true;
        end.kind = CRunOutcome::Crashed;
        const QString within = limit >= 120000 ? QStringLiteral("%1 minutes").arg(limit / 60000)
                                               : QStringLiteral("%1 seconds").arg(limit / 1000);
        end.errorLines = QStringList {
            QStringLiteral("It did not end within %1 and was stopped.").arg(within)
        };
    }
    if (Judge(end) != BurnLogic::Outcome::Done)
        qCWarning(lcBurnJob) << "BurnJob" << program << arguments << "ended with" << end.exitCode
                             << end.errorLines;
    return end;
}

CRunOutcome BurnJob::RunAdminStep(const QString &tool, const QStringList &arguments,
                                  void (BurnJob::*onLine)(QString))
{
    // The tool takes the disk and its identity as arguments and checks them itself as root; it
    // runs as root directly or through the administrator prompt.
    const PlatformTools::Command command = PlatformTools::AsAdministrator(tool, arguments);
    // Writing the image's bytes also reads them back.
    const bool image = arguments.value(0) == QLatin1String("writeImage");
    return RunStep(command.program, command.arguments, onLine, {},
                   image ? BulkLimit(2) + m_Limits.admin : m_Limits.admin);
}

void BurnJob::RunOnWorker(const std::function<void()> &work, int limitMs)
{
    if (m_Stopped)
        return;
    QEventLoop wait;
    QThread *worker = QThread::create(work);
    connect(worker, &QThread::finished, &wait, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] {
        m_TimedOut = true;
        m_Cancel = true;
    });
    deadline.start(limitMs);
    worker->start();
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    delete worker;
}

bool BurnJob::StillChosen()
{
    const DiskIdentity now = listedIdentity(m_Request.disk.node, m_Limits.quick);
    if (SameDisk(m_Request.disk, now))
        return true;
    FailBurn(QStringLiteral("The USB disk %1 is no longer the disk that was chosen (it was "
                            "removed or changed). Nothing was written to it; choose the disk "
                            "again.")
                 .arg(m_Request.disk.node));
    return false;
}

bool BurnJob::Synced()
{
    const CRunOutcome end
        = RunStep(PlatformTools::Program(QStringLiteral("sync")), {}, nullptr, {}, m_Limits.quick);
    // What sync says is not looked at (the read-back finds what did not reach the disk), but one
    // that hangs ends the burn.
    if (!m_TimedOut && !m_Stopped)
        return true;
    FailBurn(FailureText(
        QStringLiteral("The USB disk %1 could not be flushed.").arg(m_Request.disk.node), end));
    return false;
}

bool BurnJob::AdminStepDone(const QString &tool, const QStringList &arguments, const QString &what,
                            const QString &refused, void (BurnJob::*onLine)(QString))
{
    const CRunOutcome end = RunAdminStep(tool, arguments, onLine);
    const BurnLogic::Outcome judged = Judge(end);
    if (judged == BurnLogic::Outcome::Refused && !refused.isEmpty())
        FailBurn(refused);
    else if (judged != BurnLogic::Outcome::Done)
        FailBurn(FailureText(what, end));
    return judged == BurnLogic::Outcome::Done;
}

void BurnJob::RunFiles()
{
    const QString image = m_Request.image;
    const QString disk = m_Request.disk.node;
    // The root tools check the disk again themselves, on the disk they hold.
    const QStringList identity = IdentityArgs(m_Request.disk);
    Progress(QStringLiteral("The USB disk is formating..."), -1);
    // The right disk or none: looked at again right before anything is written.
    if (!Synced() || !StillChosen())
        return;
    const QString notGiven = QStringLiteral("The burn was cancelled: administrator rights were "
                                            "not given. ");
    if (!AdminStepDone(QStringLiteral("diskutil"),
                       PartitionArgs(disk, m_Request.scheme, m_Request.fileSystem,
                                     m_Request.disk.size, m_Request.label)
                           + identity,
                       QStringLiteral("The USB disk %1 could not be formatted.").arg(disk),
                       notGiven
                           + QStringLiteral("Nothing was written to the USB disk %1.").arg(disk)))
        return;

    emit progressText(QStringLiteral("make usb driver bootable..."));
    const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(disk));
    if (mountPoint.isEmpty())
        return FailBurn(QStringLiteral("The new volume on %1 was not mounted, so the image "
                                       "cannot be written to it.")
                            .arg(disk));
    if (!IsGptChoice(m_Request.scheme)) {
        if (!AdminStepDone(QStringLiteral("diskutil"), DiskTools::UnmountDiskArgs(disk) + identity,
                           QStringLiteral("The USB disk %1 could not be unmounted.").arg(disk),
                           QString()))
            return;
        if (!AdminStepDone(QStringLiteral("mkbootable"),
                           QStringList { disk, mountPoint } + identity,
                           QStringLiteral("The USB disk %1 could not be made bootable.").arg(disk),
                           notGiven
                               + QStringLiteral("The USB disk %1 was formatted but not made "
                                                "bootable.")
                                     .arg(disk)))
            return;
        if (!Synced() || !Synced())
            return;
        const QString config = mountPoint + QStringLiteral("/syslinux.cfg");
        if (!Util::WriteMulLinesToFile(SyslinuxConfig(), config))
            return FailBurn(QStringLiteral("The boot-loader configuration could not be written to "
                                           "\"%1\".")
                                .arg(config));
        if (!Synced())
            return;
    }

    Progress(QStringLiteral("Burning the USB disk..."), 0);
    // What FAT cannot hold (modes, owners, old times, links) is left out, as FAT readers expect;
    // any other failure fails the burn, and the read-back checks every file.
    const auto skips = std::make_shared<FatSkips>();
    QStringList unpack = SevenZip::UnpackArgs(mountPoint, image);
    if (!m_SplitWim.isEmpty()) // split onto the stick afterwards
        unpack.insert(unpack.indexOf(QStringLiteral("--")), QStringLiteral("-x!") + m_SplitWim);
    CRunOutcome end = RunStep(SevenZip::Program(), unpack, &BurnJob::OnUnpackLine,
                              FatUnpackReader(mountPoint, skips));
    if (!m_SplitWim.isEmpty())
        skips->links << m_SplitWim;
    m_ImageFiles = FilesOnVolume(m_ImageFiles, *skips);
    // 7-Zip's failure lines, in its own words for the user.
    ExtractLogic::ToolErrors errors;
    for (const QString &line : qAsConst(end.errorLines))
        errors.AddKept(line);
    if (!UnpackSucceeded(end, *skips)) {
        end.errorLines = errors.Lines();
        return FailBurn(FailureText(
            QStringLiteral("The image could not be written to the USB disk %1.").arg(disk), end));
    }
    // An image whose UEFI loader lies only inside its UEFI boot image gets that loader's EFI
    // folder on the volume too.
    UefiBoot::Result uefi;
    const QStringList paths = m_Request.imagePaths;
    RunOnWorker([&] { uefi = UefiBoot::MakeVolumeUefiBootable(image, mountPoint, paths); },
                m_Limits.quick);
    if (m_Stopped || m_TimedOut)
        return FailBurn(QStringLiteral("The files that start the USB disk %1 on UEFI firmware "
                                       "were not added in time.")
                            .arg(disk));
    if (uefi.outcome == UefiBoot::Outcome::Failed) {
        if (!Synced())
            return;
        return FailBurn(QStringLiteral("The image was written to the USB disk %1, but the files "
                                       "that start it on UEFI firmware could not be added: %2")
                            .arg(disk, uefi.error));
    }
    if (!m_SplitWim.isEmpty() && !SplitWimOnto(image, disk, mountPoint))
        return;
    // Only a stick whose every file reads back as the image's is a success.
    if (!VerifyStick(image, disk, mountPoint))
        return;
    Util::WriteLog(QStringLiteral("BurnJob burnt ") + image + QStringLiteral(" to ") + disk);
    Finish(Outcome::Succeeded);
}

void BurnJob::RunDiskImage()
{
    const QString disk = m_Request.disk.node;
    Progress(QStringLiteral("Burning the USB disk..."), 0);
    if (!StillChosen())
        return;
    // The tool writes, flushes, reads back and compares on the disk it holds.
    if (!AdminStepDone(
            QStringLiteral("diskutil"),
            DiskTools::WriteImageArgs(disk, m_Request.image) + IdentityArgs(m_Request.disk),
            QStringLiteral("The image could not be written to the USB disk %1.").arg(disk),
            QStringLiteral("The burn was cancelled: administrator rights were not "
                           "given. Nothing was written to the USB disk %1.")
                .arg(disk),
            &BurnJob::OnImageWriteLine))
        return;
    Util::WriteLog(QStringLiteral("BurnJob wrote the disk image ") + m_Request.image
                   + QStringLiteral(" to ") + disk);
    Finish(Outcome::Succeeded);
}

void BurnJob::RunDisc()
{
    Progress(QStringLiteral("Burning the disc..."), 0);
    const CRunOutcome end = RunStep(PlatformTools::Program(QStringLiteral("hdiutil")),
                                    DiskTools::BurnArgs(m_Request.image, m_Request.drive),
                                    &BurnJob::OnDiscLine, {}, BulkLimit(1, m_Limits.discPerMiB));
    if (Judge(end) != BurnLogic::Outcome::Done)
        return FailBurn(FailureText(QStringLiteral("The disc could not be burnt."), end));
    Util::WriteLog(QStringLiteral("BurnJob burnt a disc in ") + m_Request.drive);
    Finish(Outcome::Succeeded);
}

bool BurnJob::SplitWimOnto(const QString &image, const QString &disk, const QString &mountPoint)
{
    // The installation image is split onto the stick in parts FAT can hold, which Windows Setup
    // reads as they are: read straight from the image's bytes where it can be, else taken out of
    // the image into the temporary folder first. Each tool is a step of the burn: bounded in
    // time, and ended by Stop. The parts are read back from the stick by the split's check.
    Progress(QStringLiteral("Splitting the Windows installation image..."), 0);
    Wimlib::SplitJob job;
    job.image = image;
    job.entry = m_SplitWim;
    for (const ListedFile &file : m_Request.files) {
        if (file.path == m_SplitWim)
            job.size = file.size;
    }
    const QString partition = DiskTools::FirstPartition(disk);
    job.flush = [mountPoint, partition] {
        return FlushVolume(mountPoint, partition);
    };
    job.volume = mountPoint;
    job.scratch = Util::GetTempDir() + QStringLiteral("/wimsplit");
    job.partMiB
        = Wimlib::PartMiB(qMin(BurnLogic::FileLimit(), Wimlib::VolumeFileLimit(mountPoint)));
    job.run = [this](const QString &program, const QStringList &arguments,
                     const CErrorLineReader &reader, const std::function<void(QString)> &onLine) {
        return RunStep(program, arguments, onLine, reader, 0);
    };
    Wimlib::Route route = Wimlib::Route::CopiedOut;
    const CRunOutcome end = Wimlib::SplitOnto(
        job, [this](Wimlib::Stage, int percent) { emit progressValue(percent); }, &route);
    qCDebug(lcBurnJob) << "BurnJob split" << m_SplitWim
                       << (route == Wimlib::Route::InPlace ? "in place" : "from a copy");
    if (BurnLogic::Judge(end) != BurnLogic::Outcome::Done) {
        FailBurn(BurnLogic::FailureText(
            QStringLiteral("The Windows installation image \"%1\" could not be split onto the "
                           "USB disk %2.")
                .arg(m_SplitWim, disk),
            end));
        return false;
    }
    return true;
}

bool BurnJob::VerifyStick(const QString &image, const QString &disk, const QString &mountPoint)
{
    Progress(QStringLiteral("Verifying..."), 0);
    QString error;
    VerifyResult result;
    const QList<ListedFile> files = m_ImageFiles;
    const QString partition = DiskTools::FirstPartition(disk);
    QTimer tick;
    std::atomic<int> percent { 0 };
    connect(&tick, &QTimer::timeout, this, [&] { emit progressValue(percent); });
    tick.start(200);
    RunOnWorker(
        [&] {
            error = FlushVolume(mountPoint, partition);
            if (!error.isEmpty())
                return;
            result = VerifyVolume(
                SevenZip::Program(),
                { QStringLiteral("x"), QStringLiteral("-so"), QStringLiteral("--"), image }, files,
                mountPoint,
                [&percent](qint64 done, qint64 total) {
                    percent = total > 0 ? int(done * 100 / total) : 100;
                },
                &m_Cancel);
        },
        BulkLimit());
    tick.stop();
    if (m_TimedOut && error.isEmpty() && !result.ok)
        result.error += QStringLiteral(" (the read-back did not end in time)");
    if (!error.isEmpty())
        FailBurn(QStringLiteral("The image could not be written to the USB disk %1: %2")
                     .arg(disk, error));
    else if (!result.ok)
        FailBurn(VerifyFailureText(result, disk));
    else
        emit progressValue(100);
    return error.isEmpty() && result.ok;
}

void BurnJob::FailBurn(const QString &text)
{
    if (!m_Running)
        return;
    if (m_Stopped)
        return Finish(Outcome::Stopped);
    Util::WriteLog(QStringLiteral("BurnJob burn failed: ") + text);
    emit stepFailed(text);
    Finish(Outcome::Failed);
}

void BurnJob::Finish(Outcome outcome)
{
    if (!m_Running)
        return;
    m_Running = false;
    if (outcome == Outcome::Stopped)
        emit stepFailed(
            QStringLiteral("The burn was stopped before it ended; %1 may not be usable.")
                .arg(m_Request.drive.isEmpty()
                         ? QStringLiteral("the USB disk ") + m_Request.disk.node
                         : QStringLiteral("the disc in ") + m_Request.drive));
    emit finished(outcome);
}

void BurnJob::OnUnpackLine(QString line)
{
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (progress.valid)
        emit progressValue(progress.percent);
}

void BurnJob::OnImageWriteLine(QString line)
{
    if (line.trimmed() == QLatin1String("Verifying...")) {
        emit progressText(QStringLiteral("Verifying..."));
        return;
    }
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (isProgress)
        emit progressValue(int(fraction * 100));
}

void BurnJob::OnDiscLine(QString line)
{
    // A fraction of 0 (the burn being prepared) leaves the bar as it is.
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (isProgress && fraction > 0)
        emit progressValue(int(fraction * 100));
}
