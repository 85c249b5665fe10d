// Times the whole Create path of the Create page (adding, staging and writing the image with the
// mkisofs beside the executable) for four shapes of source, next to bare genisoimage and bare
// xorrisofs on the same folders:
//   large  1 GiB in four large files
//   short  20,000 short names in one folder ("f00001.dat")
//   long   20,000 long names sharing a 30-character prefix ("Screenshot from 2026-12-08
//          10-00001.png")
//   tree   100,000 small files in 1,000 folders
//
//   bench_create [--repeat N] [--only large,short,long,tree] [--types joliet,iso9660,udf]
//                [--bare-limit SECONDS] [--chunk BYTES] [work folder]
//
// Every figure is the median of N runs (default 1, --repeat 3 for the README) with warm caches.
// Within a row the page and the bare tools take turns: the first run starts with the page, the
// second with the bare tools, and so on, and every run writes its image to a fresh file in the
// work folder (removed and written out afterwards), so that neither side is favoured.
//
// "first Create" is the whole path a user takes from the picker's answer to the success prompt:
// adding the sources (the folder scan and the staging of links), the staging wait, the checks
// and mkisofs; "page add" and "tool at" are the moments within it at which adding ended and
// mkisofs started. The figures include the pickers being answered on screen (up to about 20 ms
// each). The ratio compares "first Create" with the faster bare tool (goal: at most 1.3). A bare
// tool that runs longer than --bare-limit seconds (default 30) is stopped and shown as ">N"; the
// ratio is then an upper bound ("<"). The bare tools run with the environment they are given, as
// a user would start them. "load" is the one-minute load average as each row ended: on a shared
// machine it says how far to trust the row. Put the work folder and HOME (where the page stages)
// on tmpfs to keep the disk out of the figures.

#include "bench/benchshapes.h"
#include "pages/cpage3.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "tests/testhelpers.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLoggingCategory>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

using Mkisofs::ImageType;
using namespace BenchShapes;
using namespace TestHelpers;

namespace {

struct Type
{
    ImageType type;
    const char *name;
    const char *radio;
    const char *genisoSwitch;
};

const Type Types[] = {
    { ImageType::Joliet, "joliet", "jolet", "-J" },
    { ImageType::Iso9660, "iso9660", "iso9600", "-l" },
    { ImageType::Udf, "udf", "udf", "-udf" },
};

// Returned by runTool for a program stopped at the time limit.
constexpr double OverLimit = -2;

// The median of the runs; -1 when a run failed (or there was none), OverLimit when one was
// stopped at the time limit.
double summary(const QVector<double> &times)
{
    if (times.isEmpty() || times.contains(-1))
        return -1;
    if (times.contains(OverLimit))
        return OverLimit;
    return median(times);
}

// Seconds a program takes, -1 when it fails, OverLimit when it was stopped after limit seconds
// (0: no limit).
double runTool(const QString &program, const QStringList &args, double limit = 0)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!p.waitForFinished(limit > 0 ? int(limit * 1000) : -1)) {
        if (p.state() == QProcess::NotRunning)
            return -1;
        p.kill();
        p.waitForFinished(-1);
        return OverLimit;
    }
    const double s = t.nsecsElapsed() / 1e9;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        say(QStringLiteral("  %1 failed: %2")
                .arg(program, QString::fromLocal8Bit(p.readAll()).right(300)));
        return -1;
    }
    return s;
}

bool makeLargeFiles(const QString &dir)
{
    QDir().mkpath(dir);
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 x = 12345;
    for (char &c : block) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    for (int f = 0; f < 4; ++f) {
        QFile file(dir + QStringLiteral("/large%1.bin").arg(f));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (int mb = 0; mb < 256; ++mb) {
            // Each MiB differs from the others.
            const qint32 mark = f * 256 + mb;
            memcpy(block.data(), &mark, sizeof mark);
            if (file.write(block) != block.size())
                return false;
        }
    }
    return true;
}

// Removes the image of the previous run and writes dirty pages out, so that no run pays for
// the one before it.
void clearImage(const QString &image)
{
    QFile::remove(image);
    QProcess::execute(QStringLiteral("sync"), QStringList());
}

// Times of one page run, in seconds.
struct PageRun
{
    double add = -1; // adding the sources (pickers, folder scan, queueing the copy)
    double staged = -1; // the staging wait ended and mkisofs started
    double total = -1; // the success prompt appeared
};

// Presses Create with the image picker answered; returns the seconds until the success prompt
// (timed from clock's start), or -1. staged receives the moment mkisofs started.
double pressCreate(CPage3 *page, const QString &image, const QElapsedTimer &clock, double *staged)
{
    QString shown;
    double done = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *p = qobject_cast<CProgressDialog *>(w);
            if (p && p->isVisible() && p->Text() == QLatin1String("Creating ISO file...")) {
                *staged = clock.nsecsElapsed() / 1e9;
                watch.stop();
            }
        }
    });
    watch.start(2);
    answerFileDialog(image);
    closeDialog<CommDialog>(
        QDialog::Accepted,
        [&](CommDialog *d) {
            done = clock.nsecsElapsed() / 1e9;
            if (QLabel *label = d->findChild<QLabel *>(QStringLiteral("label")))
                shown = label->text();
        },
        600000);
    QTimer::singleShot(0, page, &CPage3::OnCreate);
    waitUntil([&] { return done >= 0; }, 600000);
    if (shown != QLatin1String("Create ISO successfully!")) {
        say(QStringLiteral("  page run failed: %1").arg(shown));
        return -1;
    }
    return done;
}

// The page path on a new page: add the sources, create the image, close the success prompt.
PageRun pagePath(const Type &type, const QStringList &files, const QString &folder,
                 const QString &image)
{
    PageRun run;
    clearImage(image);
    auto page = std::make_unique<CPage3>();
    const QString stage = Util::GetTempDir() + QStringLiteral("/tmp");
    // The new page first empties the working folder; that is not part of this run.
    waitUntil([&] { return !QDir(stage).exists(); }, 120000);
    QProcess::execute(QStringLiteral("sync"), QStringList());
    page->findChild<QRadioButton *>(QString::fromLatin1(type.radio))->setChecked(true);

    QElapsedTimer clock;
    clock.start();
    if (!files.isEmpty()) {
        answerFileDialog(files);
        page->OnAddFile();
    } else {
        answerFileDialog(folder);
        page->OnAddDir();
    }
    run.add = clock.nsecsElapsed() / 1e9;
    run.total = pressCreate(page.get(), image, clock, &run.staged);
    page.reset();
    return run;
}

// The machine's load average over the last minute, as the kernel reports it ("" elsewhere).
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 0);
}

QString fmt(double s, double limit)
{
    if (s == OverLimit)
        return QStringLiteral(">%1").arg(limit, 0, 'f', 1);
    return s < 0 ? QStringLiteral("     -") : QStringLiteral("%1").arg(s, 6, 'f', 2);
}

// a against the faster of the bare tools; an upper bound when both were stopped at the limit.
QString ratio(double a, double geniso, double xorriso, double limit)
{
    double fastest = -1;
    for (double b : { geniso, xorriso }) {
        if (b > 0 && (fastest < 0 || b < fastest))
            fastest = b;
    }
    QString bound;
    if (fastest < 0 && (geniso == OverLimit || xorriso == OverLimit)) {
        fastest = limit;
        bound = QStringLiteral("<");
    }
    if (a < 0 || fastest <= 0)
        return QStringLiteral("    -");
    return bound + QStringLiteral("%1x").arg(a / fastest, 0, 'f', 2);
}

} // namespace

int main(int argc, char **argv)
{
    offscreenByDefault();
    QApplication app(argc, argv);
    quietPages();
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg && !text.contains("propagateSizeHints"))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    Options options;
    options.only = QStringList { "large", "short", "long", "tree" };
    readOptions(app.arguments().mid(1), QStringLiteral("bench_create"), &options);
    const int repeat = options.repeat;
    const double limit
        = options.values.value(QStringLiteral("bare-limit"), QStringLiteral("30")).toDouble();
    const QStringList only = options.only;
    const QStringList types
        = options.values.value(QStringLiteral("types"), QStringLiteral("joliet,iso9660,udf"))
              .split(QLatin1Char(','));
    const QString work = options.work;

    const QString mkisofs = Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs");
    const QString genisoimage = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
    const QString xorrisofs = QStandardPaths::findExecutable(QStringLiteral("xorrisofs"));
    say(QStringLiteral("mkisofs: %1\ngenisoimage: %2\nxorrisofs: %3\nwork folder: %4, runs: %5, "
                       "staging in %6")
            .arg(mkisofs, genisoimage, xorrisofs, work)
            .arg(repeat)
            .arg(Util::GetTempDir()));

    struct Set
    {
        QString name;
        QString source; // the folder the bare tools are given
        QStringList files; // the page adds these files ...
        QString folder; // ... or this folder
    };
    QList<Set> sets;
    if (only.contains(QLatin1String("large"))) {
        const QString dir = work + QStringLiteral("/large");
        say(QStringLiteral("making 4 x 256 MiB ..."));
        if (!QFileInfo::exists(dir + QStringLiteral("/large3.bin")) && !makeLargeFiles(dir))
            return 1;
        QStringList files;
        for (int f = 0; f < 4; ++f)
            files << dir + QStringLiteral("/large%1.bin").arg(f);
        sets << Set { QStringLiteral("1 GiB in 4 files"), dir, files, QString() };
    }
    const Shape folders[] = {
        { "short", "20,000 short names", "short/many", makeShortNames },
        { "long", "20,000 long names", "long/many",
          [](const QString &dir) {
              return makeFiles(dir, 20000, [](int i) {
                  return QStringLiteral("Screenshot from 2026-12-08 10-%1.png").arg(number(i, 5));
              });
          } },
        { "tree", "100,000 in 1,000 folders", "tree/many", makeTree },
    };
    for (const Shape &f : folders) {
        if (!only.contains(QLatin1String(f.key)))
            continue;
        const QString dir = madeOnce(work, f);
        if (dir.isEmpty())
            return 1;
        sets << Set { QLatin1String(f.title), QFileInfo(dir).path(), QStringList(), dir };
    }

    // Each run writes a fresh file here; it is removed (and the removal written out) after it.
    int runs = 0;
    const auto freshImage = [&] {
        return work + QStringLiteral("/image-%1.iso").arg(++runs);
    };
    const auto timed = [&](const std::function<double(const QString &)> &once) {
        const QString image = freshImage();
        const double t = once(image);
        clearImage(image);
        return t;
    };
    say(QString());
    say(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
            .arg(QStringLiteral("set"), -24)
            .arg(QStringLiteral("type"), -7)
            .arg(QStringLiteral("genisoimage"), 11)
            .arg(QStringLiteral("xorrisofs"), 9)
            .arg(QStringLiteral("our mkisofs"), 11)
            .arg(QStringLiteral("page add"), 8)
            .arg(QStringLiteral("tool at"), 7)
            .arg(QStringLiteral("first Create"), 12)
            .arg(QStringLiteral("ratio"), 6)
            .arg(QStringLiteral("goal"), 5)
            .arg(QStringLiteral("load"), 5));
    for (const Set &set : sets) {
        for (const Type &type : Types) {
            if (!types.contains(QString::fromLatin1(type.name)))
                continue;
            const QString typeSwitch = QString::fromLatin1(type.genisoSwitch);
            const auto bareArgs = [&](const QString &image) {
                return QStringList { typeSwitch,
                                     QStringLiteral("-R"),
                                     QStringLiteral("-r"),
                                     QStringLiteral("-o"),
                                     image,
                                     set.source };
            };
            QVector<double> geniso, xorriso, ours, adds, starts, firsts;
            const auto bare = [&] {
                geniso << timed([&](const QString &image) {
                    return runTool(genisoimage, bareArgs(image), limit);
                });
                if (type.type != ImageType::Udf && !xorrisofs.isEmpty()) {
                    xorriso << timed([&](const QString &image) {
                        return runTool(xorrisofs, bareArgs(image), limit);
                    });
                }
                ours << timed([&](const QString &image) {
                    return runTool(mkisofs, Mkisofs::CreateArgs(type.type, image, set.source));
                });
            };
            const auto page = [&] {
                firsts << timed([&](const QString &image) {
                    const PageRun run = pagePath(type, set.files, set.folder, image);
                    adds << run.add;
                    starts << run.staged;
                    return run.total;
                });
            };
            for (int i = 0; i < repeat; ++i) {
                if (i % 2 == 0) {
                    page();
                    bare();
                } else {
                    bare();
                    page();
                }
            }
            const double g = summary(geniso);
            const double x = summary(xorriso);
            const double first = summary(firsts);
            say(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
                    .arg(set.name, -24)
                    .arg(QString::fromLatin1(type.name), -7)
                    .arg(fmt(g, limit), 11)
                    .arg(fmt(x, limit), 9)
                    .arg(fmt(summary(ours), limit), 11)
                    .arg(fmt(summary(adds), limit), 8)
                    .arg(fmt(summary(starts), limit), 7)
                    .arg(fmt(first, limit), 12)
                    .arg(ratio(first, g, x, limit), 6)
                    .arg(QStringLiteral("1.3x"), 5)
                    .arg(loadAverage(), 5));
        }
    }
    QDir(Util::GetTempDir() + QStringLiteral("/tmp")).removeRecursively();
    say(QStringLiteral("\nratio = first Create / the faster bare tool; seconds, median of %1 "
                       "run(s); load: the one-minute load average as the row ended")
            .arg(repeat));
    return 0;
}
