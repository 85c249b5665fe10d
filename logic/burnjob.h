#ifndef VEXLOR_BURNJOB_H
#define VEXLOR_BURNJOB_H

// A burn as a job: the steps that write the chosen USB disk, one after the other, each with a
// time limit, on the disk the root tools hold and check again by its identity; or the one step
// that burns the disc in an optical drive. The job shows nothing; it tells how it goes through
// its signals, and the page shows them.
//
// File route: the disk is looked at again, partitioned and formatted, made bootable (MBR),
// given /syslinux.cfg, filled with the image's files (what FAT cannot store is left out),
// given the UEFI loader of the image's boot image and the split installation image when needed,
// flushed, and read back against the image. Disk-image route: the image's bytes onto the whole
// disk, which the root tool flushes, reads back and compares.

#include "logic/burnlogic.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class CRunCommandThread;

class BurnJob : public QObject
{
    Q_OBJECT
public:
    // What to write where, as the page read it before its warning.
    struct Request
    {
        QString image;
        QString drive; // an optical drive: the image is burnt to its disc, and disk is unused
        BurnLogic::DiskIdentity disk; // as chosen; the job checks it again before writing
        bool diskImage = false; // the image's bytes onto the whole disk
        // The file route: the page's choices and the image's listing.
        QString scheme;
        QString fileSystem;
        QString label;
        QList<BurnLogic::ListedFile> files; // in listing order
        QStringList imagePaths;
        QString splitWim; // the installation image to split onto the stick, if any
    };
    // How long a step may run before it is ended and the burn fails, in milliseconds. The steps
    // that move the image's bytes get bulk plus perMiB for each MiB of the image.
    struct Limits
    {
        int quick = 10 * 60000; // sync, the disk's identity, unmounting
        int admin = 15 * 60000; // partitioning, the boot helper (the prompt waits for the user)
        int bulk = 10 * 60000;
        int perMiB = 1000;
        // A disc burns at its drive's pace: a CD at the lowest speed takes 7 s for each MiB.
        int discPerMiB = 8000;
    };
    // What the page needs to know of an image, read from its first sectors, its boot catalog and
    // its 7-Zip listing.
    struct ImageFacts
    {
        CRunOutcome listing; // how the listing ended
        bool complete = false; // the listing was read to its end
        QStringList paths; // every path of the listing
        QList<BurnLogic::ListedFile> files; // its files, in listing order
        QString splitWim; // the installation image to split, if any
        QString tooLarge; // the first other file FAT cannot hold, if any
        qint64 tooLargeSize = 0;
        QString bootKinds; // what the image can start with ("BIOS and UEFI")
        BurnLogic::BootFacts boot;
        bool offerDiskImage = false; // it carries its own partition table and no /bootmgr
    };
    // Reads them, handling events while 7-Zip lists the image.
    static ImageFacts ReadImage(const QString &image);
    // Reads the image again right before a USB burn, and for the file route gives request the
    // files to write. Returns why the burn cannot go on, in the system's words: the image cannot
    // be read or holds a file FAT cannot, or the choice gives a stick that starts nowhere while
    // another would not (diskImageOffered: the image was offered the disk-image route); "" when
    // it can.
    static QString Prepare(Request *request, bool diskImageOffered);

    // The lines of "diskutil list", read within limitMs (a tool that does not answer is ended).
    static QStringList DiskListing(int limitMs = 30000);

    // The identity of the disk at node when its "diskutil info" report (read within 30 seconds)
    // shows a USB stick; an empty node otherwise.
    static BurnLogic::DiskIdentity UsbDisk(const QString &node);

    enum class Outcome { Succeeded, Failed, Stopped };
    Q_ENUM(Outcome)

    explicit BurnJob(const Request &request, QObject *parent = nullptr);
    ~BurnJob() override;

    void SetLimits(const Limits &limits) { m_Limits = limits; }
    // Begins the burn once the caller is back in the event loop; finished() ends it.
    void Start();
    // Ends the step in progress (its tool is killed) and the burn, which ends as Stopped.
    void Stop();
    bool IsRunning() const { return m_Running; }
    // For an owner that goes while the job runs: no one hears of the job any more, and it deletes
    // itself once it has ended. A USB burn is stopped; a disc burn goes on to its end, since a
    // disc cut short is lost anyway.
    void Abandon();

signals:
    // The step under way, for the user ("Burning the USB disk...").
    void progressText(const QString &text);
    // Percent done of the step, or -1 while it cannot be measured.
    void progressValue(int percent);
    // Why the burn failed or what a stop left, in the system's words; finished(Failed) or
    // finished(Stopped) follows.
    void stepFailed(const QString &message);
    void finished(BurnJob::Outcome outcome);

private:
    void Run();
    void RunFiles();
    void RunDiskImage();
    void RunDisc();
    void Progress(const QString &text, int percent);
    // Runs a tool to its end (events are handled meanwhile) within limitMs (0: the bulk limit
    // for this image); lines go to onLine when given; errors are read by reader (by default
    // BurnLogic::ToolLineReader()). A tool that overruns is killed and its outcome says so.
    CRunOutcome RunStep(const QString &program, const QStringList &arguments,
                        void (BurnJob::*onLine)(QString) = nullptr, CErrorLineReader reader = {},
                        int limitMs = 0);
    CRunOutcome RunStep(const QString &program, const QStringList &arguments,
                        const std::function<void(QString)> &onLine, CErrorLineReader reader,
                        int limitMs);
    // A step that writes the disk, as root or through the administrator prompt.
    CRunOutcome RunAdminStep(const QString &tool, const QStringList &arguments,
                             void (BurnJob::*onLine)(QString) = nullptr);
    // Runs work on a worker thread within limitMs; past it, or on Stop, m_Cancel is set for the
    // work to end by.
    void RunOnWorker(const std::function<void()> &work, int limitMs);
    // Runs sync; false (after the failure was reported) when it overran or the job was stopped.
    bool Synced();
    // The disk at the chosen node is still the chosen one; else the burn fails.
    bool StillChosen();
    // An administrator step that must succeed; otherwise the burn fails with what, or with
    // refused when the rights were not given.
    bool AdminStepDone(const QString &tool, const QStringList &arguments, const QString &what,
                       const QString &refused, void (BurnJob::*onLine)(QString) = nullptr);
    // Splits the installation image onto the volume and checks the parts; false (after the
    // failure was reported) when that fails.
    bool SplitWimOnto(const QString &image, const QString &disk, const QString &mountPoint);
    bool VerifyStick(const QString &image, const QString &disk, const QString &mountPoint);
    void FailBurn(const QString &text);
    void Finish(Outcome outcome);
    // The time limit of a step that moves the image's bytes times (perMiB: 0 for the limits' own).
    int BulkLimit(int times = 1, int perMiB = 0) const;
    void OnUnpackLine(QString line);
    void OnImageWriteLine(QString line);
    void OnDiscLine(QString line);

    const Request m_Request;
    const QString m_SplitWim;
    QList<BurnLogic::ListedFile> m_ImageFiles;
    Limits m_Limits;
    CRunCommandThread *m_Runner = nullptr; // the tool of the step under way
    bool m_Running = false;
    bool m_Stopped = false;
    bool m_TimedOut = false;
    std::atomic<bool> m_Cancel { false }; // for the work of RunOnWorker
};

#endif // VEXLOR_BURNJOB_H
