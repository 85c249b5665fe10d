// Times Add on a new Create page for two shapes of folder: the picker's answer, the folder scan,
// the project list and the start of the staging, as a user adds a folder. Prints, as medians of
// N runs (default 3), the wall time of the Add, the processor time the page's own thread spent
// in it, and the processor time the other threads (the copier making its links) spent until
// they fell quiet. Processor time changes little with the machine's load; wall time does.
//   short  20,000 short names in one folder ("f00001.dat")
//   tree   100,000 small files in 1,000 folders
//
//   bench_add [--repeat N] [--only short,tree] [work folder]
//
// Put the work folder and HOME (where the page stages) on tmpfs to keep the disk out.

#include "bench/benchshapes.h"
#include "pages/cpage3.h"
#include "services/util.h"
#include "tests/testhelpers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include <sys/syscall.h>
#include <unistd.h>

using namespace BenchShapes;
using namespace TestHelpers;

namespace {

double threadSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Processor seconds of every thread of this process but the calling one (from the scheduler's
// own nanosecond counters).
double otherThreadsSeconds()
{
    const QString self = QString::number(long(::syscall(SYS_gettid)));
    double total = 0;
    const QStringList tasks
        = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tasks) {
        if (tid == self)
            continue;
        QFile f(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid));
        if (f.open(QIODevice::ReadOnly))
            total += f.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

struct Run
{
    double wall = -1;
    double page = -1;
    double others = -1;
    int rows = 0;
};

Run addOnce(const QString &folder)
{
    Run run;
    auto page = std::make_unique<CPage3>();
    const QString stage = Util::GetTempDir() + QStringLiteral("/tmp");
    // The new page first empties the working folder; that is not part of this run.
    waitUntil([&] { return !QDir(stage).exists(); }, 120000);
    const double othersBefore = otherThreadsSeconds();
    const double pageBefore = threadSeconds();
    QElapsedTimer clock;
    clock.start();
    answerFileDialog(folder);
    page->OnAddDir();
    run.wall = clock.nsecsElapsed() / 1e9;
    run.page = threadSeconds() - pageBefore;
    // The copier has finished when the other threads stay idle for a while.
    double last = otherThreadsSeconds();
    for (int quiet = 0; quiet < 4;) {
        QTest::qWait(50);
        const double now = otherThreadsSeconds();
        quiet = now - last < 0.001 ? quiet + 1 : 0;
        last = now;
    }
    run.others = last - othersBefore;
    const auto *list = page->findChild<QTreeWidget *>(QStringLiteral("list"));
    run.rows = list ? list->topLevelItemCount() : -1;
    page.reset();
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    offscreenByDefault();
    QApplication app(argc, argv);
    quietPages();

    Options options;
    options.repeat = 3;
    options.only = QStringList { "short", "tree" };
    readOptions(app.arguments().mid(1), QStringLiteral("bench_add"), &options);
    const int repeat = options.repeat;

    const Shape shapes[] = {
        { "short", "20,000 short names", "short/many", makeShortNames },
        { "tree", "100,000 in 1,000 folders", "tree/many", makeTree },
    };
    say(QStringLiteral("%1 %2 %3 %4")
            .arg(QStringLiteral("set"), -24)
            .arg(QStringLiteral("add wall"), 9)
            .arg(QStringLiteral("page cpu"), 9)
            .arg(QStringLiteral("copier cpu"), 11));
    for (const Shape &shape : shapes) {
        if (!options.only.contains(QLatin1String(shape.key)))
            continue;
        const QString dir = madeOnce(options.work, shape);
        if (dir.isEmpty())
            return 1;
        QVector<double> wall, page, others;
        for (int i = 0; i < repeat; ++i) {
            const Run run = addOnce(dir);
            if (run.rows != 1) {
                say(QStringLiteral("  the list shows %1 top-level rows, not 1").arg(run.rows));
                return 1;
            }
            wall << run.wall;
            page << run.page;
            others << run.others;
        }
        say(QStringLiteral("%1 %2 %3 %4")
                .arg(QLatin1String(shape.title), -24)
                .arg(median(wall), 9, 'f', 3)
                .arg(median(page), 9, 'f', 3)
                .arg(median(others), 11, 'f', 3));
    }
    QDir(Util::GetTempDir() + QStringLiteral("/tmp")).removeRecursively();
    say(QStringLiteral("\nseconds, median of %1 run(s)").arg(repeat));
    return 0;
}
