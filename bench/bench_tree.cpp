// Loading and working with large content trees: rows of a 7-Zip listing for 100,000 files in
// 1,000 folders and for one folder of 20,000 files, read and added the way the pages do, then
// lookups, a folder rename, copies and removals. Prints medians of a few runs.
// Given an image path (bench_tree IMAGE), it also times bare "7z l IMAGE" against reading its
// output into a tree.

#include "model/ctree.h"
#include "model/listing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QString row(bool dir, qint64 size, const QString &path)
{
    return QStringLiteral("2024-01-02 03:04:05 ") + (dir ? "D...." : ".....") + ' '
        + (dir ? QString(12, ' ') : QString::number(size).rightJustified(12)) + ' '
        + (dir ? QString(12, ' ') : QString::number(size).rightJustified(12)) + "  " + path;
}

// Rows in 7-Zip's order: each folder, then its files.
QStringList wideListing(QStringList *paths)
{
    QStringList lines;
    for (int d = 0; d < 1000; ++d) {
        const QString folder = QString("data/folder%1").arg(d, 4, 10, QChar('0'));
        if (d == 0)
            lines << row(true, 0, "data");
        lines << row(true, 0, folder);
        for (int f = 0; f < 100; ++f) {
            const QString path = folder + QString("/file%1.bin").arg(f);
            lines << row(false, 1000 + f, path);
            *paths << path;
        }
    }
    return lines;
}

QStringList flatListing(QStringList *paths)
{
    QStringList lines { row(true, 0, "flat") };
    for (int f = 0; f < 20000; ++f) {
        const QString path = QString("flat/file%1.txt").arg(f, 5, 10, QChar('0'));
        lines << row(false, f, path);
        *paths << path;
    }
    return lines;
}

double medianMs(int runs, const std::function<void()> &setup, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        setup();
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void load(CTree &tree, const QStringList &lines)
{
    for (const QString &line : lines) {
        Item item;
        if (ParseListingRow(line, &item))
            tree.AddItem(item);
    }
}

void report(const char *what, double ms, int entries)
{
    std::printf("%-48s %9.1f ms  %7.2f us/entry\n", what, ms, ms * 1000.0 / entries);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = 5;

    for (int which = 0; which < 2; ++which) {
        QStringList paths;
        const QStringList lines = which == 0 ? wideListing(&paths) : flatListing(&paths);
        const int n = lines.size();
        std::printf("%s: %d rows\n",
                    which == 0 ? "100,000 files in 1,000 folders" : "20,000 files in one folder",
                    n);

        CTree tree;
        report("  parse rows only",
               medianMs(
                   runs, [] {},
                   [&] {
                       Item item;
                       for (const QString &line : lines)
                           ParseListingRow(line, &item);
                   }),
               n);
        report("  load (parse + AddItem)",
               medianMs(
                   runs, [&] { tree.Clear(); }, [&] { load(tree, lines); }),
               n);
        int found = 0;
        report("  GetItem of every file",
               medianMs(
                   runs, [] {},
                   [&] {
                       for (const QString &p : paths)
                           found += tree.GetItem(p) != nullptr;
                   }),
               paths.size());
        Item *top = tree.m_Root.m_Children.at(0);
        const QString topName = top->GetName();
        report("  rename the top folder (all paths rewritten)",
               medianMs(
                   runs, [] {},
                   [&] { top->Rename(top->GetName() == topName ? topName + "2" : topName); }),
               n);
        const Item *busiest = nullptr;
        std::function<void(const Item &)> scan = [&](const Item &i) {
            for (const Item *c : i.m_Children) {
                if (!busiest || c->m_Children.size() > busiest->m_Children.size())
                    busiest = c;
                scan(*c);
            }
        };
        scan(tree.m_Root);
        report("  walk the biggest folder (table fill)",
               medianMs(
                   runs, [] {},
                   [&] {
                       qint64 bytes = 0;
                       for (const Item *c : busiest->m_Children)
                           bytes += c->m_Size.toULongLong();
                       found += int(bytes & 1);
                   }),
               busiest->m_Children.size());
        report("  deep copy of the tree",
               medianMs(
                   runs, [] {},
                   [&] {
                       Item copy(tree.m_Root);
                       found += copy.m_Children.size();
                   }),
               n);
        report("  append directly + remove every other file",
               medianMs(
                   runs,
                   [&] {
                       tree.Clear();
                       load(tree, lines);
                   },
                   [&] {
                       Item *folder = tree.m_Root.m_Children.at(0);
                       for (int i = 0; i < 1000; ++i) {
                           Item extra;
                           extra.m_Path = folder->m_Path + QString("/extra%1").arg(i);
                           extra.m_IsDir = false;
                           folder->m_Children.append(std::move(extra));
                       }
                       for (int i = 0; i < paths.size(); i += 2)
                           tree.RemoveItem(paths[i]);
                   }),
               paths.size() / 2);
        report("  Clear",
               medianMs(
                   runs,
                   [&] {
                       tree.Clear();
                       load(tree, lines);
                   },
                   [&] { tree.Clear(); }),
               n);
        std::printf("\n");
        Q_UNUSED(found);
    }
    if (argc > 1) {
        QString sevenZip = QCoreApplication::applicationDirPath() + "/7z/7z";
        if (!QFile::exists(sevenZip))
            sevenZip = QStandardPaths::findExecutable("7z");
        QByteArray output;
        const double listMs = medianMs(
            runs, [] {},
            [&] {
                QProcess p;
                p.start(sevenZip, { "l", QString::fromLocal8Bit(argv[1]) });
                p.waitForFinished(-1);
                output = p.readAllStandardOutput();
            });
        QStringList lines;
        for (const QByteArray &line : output.split('\n'))
            lines << QString::fromUtf8(line);
        CTree tree;
        const double loadMs = medianMs(
            runs, [&] { tree.Clear(); },
            [&] {
                bool inTable = false;
                for (const QString &line : lines) {
                    if (IsListingSeparator(line)) {
                        inTable = !inTable;
                        continue;
                    }
                    Item item;
                    if (inTable && ParseListingRow(line, &item))
                        tree.AddItem(item);
                }
            });
        std::printf("%s: %d lines\n", argv[1], lines.size());
        std::printf("  bare 7z l %.1f ms, reading its lines into the tree %.1f ms (%.2fx)\n",
                    listMs, loadMs, loadMs / listMs);
    }
    return 0;
}
