// Extract page times on large images, against bare 7-Zip.
//
// Loading: builds (once, cached in the system's temporary folder) an image of 100,000 files in
// 1,000 folders and one of 20,000 files in a single folder, then prints medians of:
//   - bare "7z l IMAGE" with its output read to the end;
//   - the page's load, from the start of the listing to a filled folder view and table;
//   - showing the 20,000-entry folder's table (double-click into it, table filled and painted).
// Goals: load at most 1.5 times the bare listing; that table filled in under one second.
//
// Extracting: builds (once, cached likewise) an image of 1 GiB in four large files and one of
// 20,000 small files (100 to 999 bytes), all in the image's top folder. The page loads the
// image, every row is ticked, and Extract runs into a folder that did not exist before, the
// folder picker and the completion prompt answered as a user would (about 20 ms each); against
// it, into a fresh folder as well, a bare "7z x" of the whole image. The two take turns at going
// first. Also shown: the page's own 7-Zip command line (with its progress and file-name output)
// run bare, and the page's time after 7-Zip has ended.
// Goal: the page at most 1.1 times the bare "7z x" of the whole image.
//
// Usage: bench_extract [runs] [--only load|extract]   (runs: 3 unless given, medians printed;
// QT_QPA_PLATFORM=offscreen without a display). Set TMPDIR to a tmpfs folder (/dev/shm) to keep the
// disk out of the figures; the extracted files are removed after each run.

#include "logic/extractlogic.h"
#include "pages/cpage2.h"
#include "services/cruncommandthread.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "tests/testhelpers.h"
#include "ui/commdialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>

namespace {

const int kFolders = 1000;
const int kFilesPerFolder = 100;
const int kFlatFiles = 20000;

QString isoTool()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
    return tool.isEmpty() ? Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs") : tool;
}

bool run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s %s\n", qPrintable(program), qPrintable(args.join(' ')));
        return false;
    }
    return true;
}

bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
}

// Makes image from a generated tree unless it is already there.
bool ensureImage(const QString &image, bool flat)
{
    if (QFileInfo(image).size() > 0)
        return true;
    const QString src = image + QStringLiteral(".src");
    QDir(src).removeRecursively();
    std::printf("building %s ...\n", qPrintable(image));
    std::fflush(stdout);
    if (flat) {
        const QString dir = src + QStringLiteral("/flat");
        QDir().mkpath(dir);
        for (int i = 0; i < kFlatFiles; ++i) {
            if (!touch(dir + QStringLiteral("/f%1.txt").arg(i, 5, 10, QLatin1Char('0'))))
                return false;
        }
    } else {
        for (int d = 0; d < kFolders; ++d) {
            const QString dir = src + QStringLiteral("/d%1").arg(d, 4, 10, QLatin1Char('0'));
            QDir().mkpath(dir);
            for (int i = 0; i < kFilesPerFolder; ++i) {
                if (!touch(dir + QStringLiteral("/file%1.txt").arg(i, 3, 10, QLatin1Char('0'))))
                    return false;
            }
        }
    }
    // One flat folder of 20,000 names is slow with Rock Ridge or Joliet name handling; level-2
    // ISO 9660 names (-l) make it fast.
    const QStringList args = flat ? QStringList { "-quiet", "-l", "-o", image, src }
                                  : QStringList { "-quiet", "-J", "-R", "-o", image, src };
    const bool ok = run(isoTool(), args);
    QDir(src).removeRecursively();
    if (!ok)
        QFile::remove(image);
    return ok;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

double bareListing(const QString &image)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(SevenZip::Program(), SevenZip::ListArgs(image));
    qint64 bytes = 0;
    while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0) {
        p.waitForReadyRead(100);
        bytes += p.readAll().size();
    }
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e6;
}

QStringList listingLines(const QString &image)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(SevenZip::Program(), SevenZip::ListArgs(image));
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The page's own share: the same lines handed straight to its reader, views built at the end.
double readerAlone(CPage2 &page, const QStringList &lines)
{
    page.m_Tree.Clear();
    page.m_InTable = false;
    page.m_CurrentItem = nullptr;
    QElapsedTimer t;
    t.start();
    for (const QString &line : lines)
        page.OnLineOutput(line);
    QApplication::processEvents();
    return t.nsecsElapsed() / 1e6;
}

QTableWidget *table(CPage2 &page)
{
    return page.findChild<QTableWidget *>(QStringLiteral("list"));
}

// From the start of the listing to the filled table, in milliseconds.
double pageLoad(CPage2 &page, const QString &image)
{
    QElapsedTimer t;
    t.start();
    page.LoadImage(image);
    if (!QTest::qWaitFor([&] { return page.m_CurrentItem != nullptr; }, 600000))
        qWarning("bench_extract: the image did not load");
    QApplication::processEvents();
    return t.nsecsElapsed() / 1e6;
}

int countItems(const Item &item)
{
    int n = 0;
    for (const Item *child : item.m_Children)
        n += 1 + countItems(*child);
    return n;
}

// Builds image from the files make writes into a folder, unless the image is already there.
bool ensureExtractImage(const QString &image, const std::function<bool(const QString &)> &make)
{
    if (QFileInfo(image).size() > 0)
        return true;
    const QString src = image + QStringLiteral(".src");
    QDir(src).removeRecursively();
    QDir().mkpath(src);
    std::printf("building %s ...\n", qPrintable(image));
    std::fflush(stdout);
    bool ok = make(src);
    // Every name is ASCII: level-4 names keep genisoimage fast on any number of them.
    ok = ok
        && run(isoTool(),
               { "-quiet", "-iso-level", "4", "-J", "-joliet-long", "-R", "-r", "-o", image, src });
    QDir(src).removeRecursively();
    if (!ok)
        QFile::remove(image);
    return ok;
}

bool makeLargeFiles(const QString &dir)
{
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
            const qint32 mark = f * 256 + mb; // each MiB differs from the others
            memcpy(block.data(), &mark, sizeof mark);
            if (file.write(block) != block.size())
                return false;
        }
    }
    return true;
}

bool makeSmallFiles(const QString &dir)
{
    for (int i = 0; i < kFlatFiles; ++i) {
        QFile file(dir + QStringLiteral("/f%1.txt").arg(i, 5, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(QByteArray(100 + i % 900, char('a' + i % 26))) != 100 + i % 900)
            return false;
    }
    return true;
}

// Milliseconds a 7-Zip run takes with its output read to the end, or -1 when it fails.
double timed7z(const QStringList &args)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(SevenZip::Program(), args);
    while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0) {
        p.waitForReadyRead(100);
        p.readAll();
    }
    p.waitForFinished(-1);
    const double ms = t.nsecsElapsed() / 1e6;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? ms : -1;
}

// Every row of the page's current folder ticked, Extract into dest, the picker and the prompt
// answered: milliseconds from the folder's choice to the completion prompt, or -1 when the page
// reports a failure. toolEnded receives the moment 7-Zip's run ended within that time.
double pageExtract(CPage2 &page, const QString &dest, double *toolEnded)
{
    page.slotSelectAll(true);
    QString message;
    double done = -1;
    QElapsedTimer t;
    // Timed from the moment the folder is chosen, as a user sees it.
    auto picker = TestHelpers::onDialog<QFileDialog>(
        [&](QFileDialog *fd) {
            TestHelpers::selectInFileDialog(fd, { dest });
            t.start();
            static_cast<QDialog *>(fd)->done(QDialog::Accepted);
        },
        20000);
    auto prompt = TestHelpers::closeDialog<CommDialog>(
        QDialog::Accepted,
        [&](CommDialog *d) {
            done = t.nsecsElapsed() / 1e6;
            if (QLabel *label = d->findChild<QLabel *>(QStringLiteral("label")))
                message = label->text();
        },
        600000);
    page.OnExtract();
    // Taken on the runner's thread as 7-Zip's run ends, before the page hears of it.
    std::atomic<qint64> ended { -1 };
    if (page.m_ExtractThread) {
        QObject::connect(
            page.m_ExtractThread, &QThread::finished, &page, [&] { ended = t.nsecsElapsed(); },
            Qt::DirectConnection);
    }
    TestHelpers::waitUntil([&] { return done >= 0; }, 600000);
    if (!message.contains(QStringLiteral("success"), Qt::CaseInsensitive)) {
        std::fprintf(stderr, "page extraction: %s\n", qPrintable(message));
        return -1;
    }
    *toolEnded = ended >= 0 ? ended / 1e6 : -1;
    return done;
}

struct ExtractFigures
{
    QVector<double> whole, pageCommand, page, afterTool;
    int entries = 0;
};

void benchExtraction(CPage2 &page, const QString &image, const QString &work, int runs,
                     ExtractFigures &f)
{
    if (pageLoad(page, image) < 0 || !page.m_CurrentItem)
        return;
    QStringList names;
    for (const Item *child : page.m_CurrentItem->m_Children)
        names << child->GetName();
    f.entries = names.size();
    // What the page names to 7-Zip with every row ticked.
    const QStringList pagePaths = ExtractLogic::ToolPaths(
        ExtractLogic::BuildRequest(page.m_CurrentItem->m_Path, names), names);
    // Each measurement writes into a folder of its own that did not exist before (removed
    // afterwards, untimed); the page and the bare tool take turns at going first, so that
    // neither always meets a warmer cache.
    int fresh = 0;
    auto measure = [&](const std::function<void(const QString &)> &timed) {
        const QString dest = work + QStringLiteral("/dest%1").arg(++fresh);
        QDir(dest).removeRecursively();
        timed(dest);
        QDir(dest).removeRecursively();
    };
    const std::function<void(const QString &)> bare = [&](const QString &dest) {
        f.whole << timed7z(
            { QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + dest, image });
    };
    const std::function<void(const QString &)> viaPage = [&](const QString &dest) {
        QDir().mkpath(dest); // the folder picker offers existing folders only
        double toolEnded = -1;
        const double ms = pageExtract(page, dest, &toolEnded);
        f.page << ms;
        f.afterTool << (ms >= 0 && toolEnded >= 0 ? ms - toolEnded : -1);
    };
    for (int i = 0; i < runs; ++i) {
        measure(i % 2 == 0 ? bare : viaPage);
        measure(i % 2 == 0 ? viaPage : bare);
        measure([&](const QString &dest) {
            f.pageCommand << timed7z(ExtractLogic::ToolArgs(image, dest, pagePaths, true));
        });
    }
}

void printExtraction(const char *title, const ExtractFigures &f)
{
    const double whole = median(f.whole), page = median(f.page);
    std::printf("%-20s %8d %12.1f %12.1f %12.1f %10.1f %8.2fx %6s\n", title, f.entries, whole,
                median(f.pageCommand), page, median(f.afterTool),
                whole > 0 && page > 0 ? page / whole : -1.0, "1.1x");
}

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    // Diagnostics would dominate the figures; warnings still show.
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

} // namespace

static bool benchLoad(CPage2 &page, const QString &cache, int runs);

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Developer diagnostics off, as in a build that does not print them; warnings still show.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler(quietDebug);
    int runs = 3;
    QString only;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--only") && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else
            runs = qMax(1, arg.toInt());
    }

    const QString cache = QDir::tempPath() + QStringLiteral("/vexlor-bench-extract");
    QDir().mkpath(cache);
    CPage2 page;
    page.InitializeUI();
    page.show();
    if (only.isEmpty() || only == QLatin1String("load")) {
        if (!benchLoad(page, cache, runs))
            return 1;
    }
    if (only.isEmpty() || only == QLatin1String("extract")) {
        const QString large = cache + QStringLiteral("/extract-large-1g.iso");
        const QString small = cache + QStringLiteral("/extract-small-20000.iso");
        if (!ensureExtractImage(large, makeLargeFiles)
            || !ensureExtractImage(small, makeSmallFiles))
            return 1;
        ExtractFigures largeFigures, smallFigures;
        benchExtraction(page, large, cache, runs, largeFigures);
        benchExtraction(page, small, cache, runs, smallFigures);
        std::printf("extraction of every entry into a fresh folder, milliseconds, median of %d "
                    "runs\n",
                    runs);
        std::printf("%-20s %8s %12s %12s %12s %10s %9s %6s\n", "set", "entries", "bare 7z x",
                    "page's 7z", "page", "after 7z", "ratio", "goal");
        printExtraction("1 GiB in 4 files", largeFigures);
        printExtraction("20,000 small files", smallFigures);
    }
    return 0;
}

static bool benchLoad(CPage2 &page, const QString &cache, int runs)
{
    const QString deep = cache + QStringLiteral("/deep-100000.iso");
    const QString flat = cache + QStringLiteral("/flat-20000.iso");
    if (!ensureImage(deep, false) || !ensureImage(flat, true))
        return false;

    QVector<double> bareDeep, loadDeep, readDeep, bareFlat, loadFlat, folder;
    const QStringList deepLines = listingLines(deep);
    int deepItems = 0, flatRows = 0;
    for (int i = 0; i < runs; ++i) {
        bareDeep << bareListing(deep);
        loadDeep << pageLoad(page, deep);
        deepItems = countItems(page.m_Tree.m_Root);
        readDeep << readerAlone(page, deepLines);

        bareFlat << bareListing(flat);
        loadFlat << pageLoad(page, flat);
        // Into the 20,000-entry folder, as a double-click does.
        QTableWidget *list = table(page);
        list->setCurrentCell(0, 1);
        QElapsedTimer t;
        t.start();
        page.OnListViewDoubleClicked();
        list->viewport()->repaint();
        QApplication::processEvents();
        folder << t.nsecsElapsed() / 1e6;
        flatRows = list->rowCount();
    }

    const double bd = median(bareDeep), ld = median(loadDeep), rd = median(readDeep);
    const double bf = median(bareFlat), lf = median(loadFlat), fo = median(folder);
    std::printf("median of %d runs\n", runs);
    std::printf("100,000 files in 1,000 folders (%d items)\n", deepItems);
    std::printf("  bare 7z l            %8.1f ms\n", bd);
    std::printf("  page load            %8.1f ms   ratio %.2f (goal <= 1.5)\n", ld, ld / bd);
    std::printf("  reader alone         %8.1f ms   (%d lines fed to OnLineOutput, views built)\n",
                rd, int(deepLines.size()));
    std::printf("20,000 files in one folder (%d rows)\n", flatRows);
    std::printf("  bare 7z l            %8.1f ms\n", bf);
    std::printf("  page load            %8.1f ms   ratio %.2f\n", lf, lf / bf);
    std::printf("  show the folder      %8.1f ms   (goal < 1000)\n", fo);
    return true;
}
