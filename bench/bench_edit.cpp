// Edit page load and save times on a 1 GiB image, against the bare tools.
//
// Builds (once, cached in the system's temporary folder) a bootable image of about 1 GiB: four
// large files, 5,000 small ones in 50 folders and a no-emulation boot image with a boot
// information table. Then prints medians of:
//   - bare "7z l" read to its end, against the page's load until it is usable (the listing
//     shown and the buttons enabled; the extraction runs beside it). Goal: at most 1.5 times.
//   - bare "7z x" of the whole image into an empty folder, against the page's load until its
//     extraction has ended. Goal: at most 1.2 times.
//   - bare genisoimage, as a user would type it, with the save's switches (boot options
//     included) over the working folder the page extracted, against the page's save from the
//     chosen target to the success message. Goal: at most 1.2 times.
// The page and the bare tools take turns at going first (the first run starts with the page);
// every save writes a fresh file in the same folder, after the writes before it are flushed.
//
// Usage: bench_edit [runs]   (QT_QPA_PLATFORM=offscreen without a display)

#include "../tests/testhelpers.h"
#include "pages/common/cimagewriter.h"
#include "pages/cpage4.h"
#include "services/mkisofs.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

using namespace TestHelpers;

namespace {

const qint64 kLargeFile = Q_INT64_C(240) << 20;
const int kLargeFiles = 4;
const int kFolders = 50;
const int kFilesPerFolder = 100;

bool run(const QString &program, const QStringList &args)
{
    // Progress and file lines are not read: a bare run as a user would start it in a script.
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s %s\n", qPrintable(program), qPrintable(args.join(' ')));
        return false;
    }
    return true;
}

// Bytes that differ from block to block, so that nothing is sparse or compresses away.
bool writeLarge(const QString &path, qint64 size, int seed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, char(seed));
    for (qint64 done = 0; done < size; done += block.size()) {
        block[0] = char(done >> 20);
        if (f.write(block) != block.size())
            return false;
    }
    return true;
}

bool ensureImage(const QString &image)
{
    if (QFileInfo(image).size() > 0)
        return true;
    const QString src = image + QStringLiteral(".src");
    QDir(src).removeRecursively();
    std::printf("building %s ...\n", qPrintable(image));
    std::fflush(stdout);
    QDir().mkpath(src + QStringLiteral("/large"));
    for (int i = 0; i < kLargeFiles; ++i) {
        if (!writeLarge(src + QStringLiteral("/large/part%1.bin").arg(i), kLargeFile, i + 1))
            return false;
    }
    for (int d = 0; d < kFolders; ++d) {
        const QString dir = src + QStringLiteral("/small/d%1").arg(d, 2, 10, QLatin1Char('0'));
        QDir().mkpath(dir);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            if (!writeFile(dir + QStringLiteral("/file%1.txt").arg(i, 3, 10, QLatin1Char('0')),
                           QByteArray::number(d * 1000 + i)))
                return false;
        }
    }
    QDir().mkpath(src + QStringLiteral("/boot"));
    // With a boot information table the save names the listed file, as bare genisoimage can.
    if (!writeFile(src + QStringLiteral("/boot/boot.bin"), QByteArray(2048, 'B')))
        return false;
    const bool ok
        = run(Mkisofs::Program(),
              { "-quiet", "-J", "-R", "-o", image, "-b", "boot/boot.bin", "-c", "boot/boot.cat",
                "-no-emul-boot", "-boot-load-size", "4", "-boot-info-table", src });
    QDir(src).removeRecursively();
    if (!ok)
        QFile::remove(image);
    return ok;
}

// A listing with its output read to the end, as the page reads it.
bool readAll(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0) {
        p.waitForReadyRead(100);
        p.readAll();
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

double timed(const std::function<bool()> &work)
{
    QElapsedTimer t;
    t.start();
    if (!work())
        return -1;
    return t.nsecsElapsed() / 1e6;
}

// The home window's stand-in, with the page embedded as the home window embeds it.
struct Host
{
    QWidget window;
    CPage4 *page;
    Host()
    {
        window.resize(860, 580);
        page = new CPage4(&window);
        page->setParent(&window, Qt::Widget);
        page->InitializeUI();
        window.show();
    }
    CImageButton *button(const char *name) const
    {
        return page->findChild<CImageButton *>(QString::fromLatin1(name));
    }
};

// Notes when a widget becomes enabled (to time "usable" without polling).
class EnabledClock : public QObject
{
public:
    EnabledClock(QWidget *w, QElapsedTimer *clock)
        : m_Clock(clock)
    {
        w->installEventFilter(this);
        m_Widget = w;
    }
    double at = -1;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_Widget && e->type() == QEvent::EnabledChange && m_Widget->isEnabled() && at < 0)
            at = m_Clock->nsecsElapsed() / 1e6;
        return false;
    }

private:
    QElapsedTimer *m_Clock;
    QWidget *m_Widget = nullptr;
};

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    // Diagnostics would dominate the figures; warnings still show.
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

void report(const char *what, double bare, double page, double goal)
{
    const double ratio = bare > 0 ? page / bare : 0;
    std::printf("%-40s bare %8.0f ms   page %8.0f ms   ratio %.2f (goal <= %.1f) %s\n", what, bare,
                page, ratio, goal, ratio <= goal ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Developer diagnostics off, as in a build that does not print them.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler(quietDebug);
    QStandardPaths::setTestModeEnabled(true);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    // "load": only the load until usable (the extraction is started and given up).
    const bool loadOnly = argc > 2 && QByteArray(argv[2]) == "load";
    const QString image = QDir::tempPath() + QStringLiteral("/vexlor-bench-edit-boot.iso");
    if (!ensureImage(image))
        return 1;
    const QString scratch = QDir::tempPath() + QStringLiteral("/vexlor-bench-edit.out");
    const QString work = CImageWriter::WorkDir();

    const QString genisoimage = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
    if (!loadOnly && genisoimage.isEmpty()) {
        std::fprintf(stderr, "genisoimage is needed\n");
        return 1;
    }

    QVector<double> bareList, bareExtract, bareSave, pageUsable, pageExtracted, pageSave;
    QStringList saveArgs; // the page's last mkisofs arguments
    for (int r = 0; r < runs; ++r) {
        const bool bareFirst = r % 2 == 1;
        auto bareLoad = [&] {
            bareList << timed(
                [&] { return readAll(SevenZip::Program(), SevenZip::ListArgs(image)); });
            QDir(scratch).removeRecursively();
            if (!loadOnly)
                bareExtract << timed([&] {
                    return run(SevenZip::Program(), SevenZip::ExtractAllArgs(scratch + "/", image));
                });
            QDir(scratch).removeRecursively();
        };
        if (bareFirst)
            bareLoad();

        Host host;
        // Both start from an empty folder: the removal of an earlier working copy is not timed.
        waitUntil([&] { return host.page->m_FileCopy.IsIdle(); }, 600000);
        QDir(work).removeRecursively();
        QElapsedTimer t;
        EnabledClock usable(host.button("add"), &t);
        t.start();
        host.page->LoadImage(image);
        if (!waitUntil([&] { return usable.at >= 0; }, 600000))
            return 2;
        pageUsable << usable.at;
        if (!loadOnly) {
            if (!waitUntil([&] { return !host.page->IsExtracting(); }, 600000))
                return 3;
            pageExtracted << t.nsecsElapsed() / 1e6;
        } else {
            host.page->StopWork();
        }
        if (!bareFirst)
            bareLoad();
        if (loadOnly)
            continue;

        // The page's save, and genisoimage with the same switches over the same working folder.
        QDir().mkpath(scratch);
        auto pageSaveRun = [&] {
            run(QStringLiteral("sync"), {});
            const QString target = scratch + QStringLiteral("/page-%1.iso").arg(r);
            QElapsedTimer saveClock;
            double saved = -1;
            auto picker = onDialog<QFileDialog>([&](QFileDialog *fd) {
                selectInFileDialog(fd, { target });
                saveClock.start();
                static_cast<QDialog *>(fd)->done(QDialog::Accepted);
            });
            auto prompt = closeDialog<CommDialog>(
                QDialog::Accepted, [&](CommDialog *) { saved = saveClock.nsecsElapsed() / 1e6; },
                600000);
            host.page->OnSave();
            if (!waitUntil([&] { return saved >= 0; }, 600000))
                return false;
            pageSave << saved;
            saveArgs = host.page->LastSaveArguments();
            QFile::remove(target);
            return true;
        };
        auto bareSaveRun = [&] {
            run(QStringLiteral("sync"), {});
            const QString target = scratch + QStringLiteral("/bare-%1.iso").arg(r);
            QStringList args = saveArgs;
            args[args.indexOf(QStringLiteral("-o")) + 1] = target;
            bareSave << timed([&] { return run(genisoimage, args); });
            QFile::remove(target);
        };
        // The bare run takes the page's switches from the run before.
        if (bareFirst && !saveArgs.isEmpty()) {
            bareSaveRun();
            if (!pageSaveRun())
                return 4;
        } else {
            if (!pageSaveRun())
                return 4;
            bareSaveRun();
        }
        QDir(scratch).removeRecursively();
    }
    std::printf("image %s, %d runs, medians:\n", qPrintable(image), runs);
    report("load until usable / 7z l", median(bareList), median(pageUsable), 1.5);
    if (loadOnly)
        return 0;
    report("load until extracted / 7z x", median(bareExtract), median(pageExtracted), 1.2);
    report("save / genisoimage", median(bareSave), median(pageSave), 1.2);
    QDir(work).removeRecursively();
    return 0;
}
