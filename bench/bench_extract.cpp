// Extract page load times on large images, against the bare 7-Zip listing.
//
// Builds (once, cached in the system's temporary folder) an image of 100,000 files in 1,000
// folders and one of 20,000 files in a single folder, then prints medians of:
//   - bare "7z l IMAGE" with its output read to the end;
//   - the page's load, from the start of the listing to a filled folder view and table;
//   - showing the 20,000-entry folder's table (double-click into it, table filled and painted).
// Goals: load at most 1.5 times the bare listing; that table filled in under one second.
//
// Usage: bench_extract [runs]   (QT_QPA_PLATFORM=offscreen without a display)

#include "pages/cpage2.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

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

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    // Diagnostics would dominate the figures; warnings still show.
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Developer diagnostics off, as in a build that does not print them; warnings still show.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler(quietDebug);
    const int runs = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;

    const QString cache = QDir::tempPath() + QStringLiteral("/vexlor-bench-extract");
    QDir().mkpath(cache);
    const QString deep = cache + QStringLiteral("/deep-100000.iso");
    const QString flat = cache + QStringLiteral("/flat-20000.iso");
    if (!ensureImage(deep, false) || !ensureImage(flat, true))
        return 1;

    CPage2 page;
    page.InitializeUI();
    page.show();

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
    return 0;
}
