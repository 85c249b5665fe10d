// Copies a tree of 1 GiB in a few large files and a tree of 20,000 small files through the
// background copier and with "cp -r", and prints both times and their ratio (goal: the copier
// within 1.5 times of cp -r). Warm cache; medians of a few alternating rounds.
//
//   bench_copy [--dir FOLDER] [--rounds N] [--chunk BYTES] [--only large|small]
//
// The trees are made in a temporary folder under FOLDER (default /tmp) and removed at the end.

#include "services/cfilecopy.h"
#include "services/util.h"
#include "services/util_files_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

QTextStream out(stdout);

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

bool makeLargeTree(const QString &root)
{
    QDir().mkpath(root);
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (int i = 0; i < block.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        block[i] = char(x);
    }
    for (int f = 0; f < 4; ++f) {
        QFile file(root + QStringLiteral("/large%1.bin").arg(f));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        for (int mb = 0; mb < 256; ++mb) {
            block[0] = char(mb + f);
            if (file.write(block) != block.size())
                return false;
        }
    }
    return true;
}

bool makeSmallTree(const QString &root)
{
    for (int d = 0; d < 200; ++d) {
        const QString folder = root + QStringLiteral("/dir%1").arg(d, 3, 10, QLatin1Char('0'));
        if (!QDir().mkpath(folder))
            return false;
        for (int f = 0; f < 100; ++f) {
            const int size = 256 + ((d * 100 + f) * 37) % 3840;
            if (!writeFile(folder + QStringLiteral("/file%1.txt").arg(f),
                           QByteArray(size, char('a' + f % 26))))
                return false;
        }
    }
    return true;
}

void syncDisks()
{
    QProcess::execute(QStringLiteral("sync"), {});
}

// One copy through CFileCopy, timed from AddTask until the copier has carried the task out
// (a delete task queued behind it removes a marker file).
double timeCopier(const QString &src, const QString &dstParent, const QString &marker)
{
    CFileCopy copier;
    QDir().mkpath(QFileInfo(marker).absolutePath());
    writeFile(marker, "m");
    QElapsedTimer clock;
    clock.start();
    copier.AddTask(src, dstParent, 0);
    copier.AddTask(marker, QString(), 1);
    while (QFileInfo::exists(marker))
        QThread::usleep(200);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (!copier.TakeFailedTasks().isEmpty())
        out << "  copier reported a failed copy!\n";
    return seconds;
}

double timeCp(const QString &src, const QString &dstParent)
{
    QDir().mkpath(dstParent);
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(QStringLiteral("cp"), { QStringLiteral("-r"), src, dstParent + "/" });
    return clock.nsecsElapsed() / 1e9;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void measure(const QString &label, const QString &src, const QString &work, int rounds)
{
    QVector<double> copier, cp;
    const qint64 bytes = Util::DirSize(src);
    for (int round = 0; round < rounds; ++round) {
        const QString a = work + QStringLiteral("/copier");
        const QString b = work + QStringLiteral("/cp");
        syncDisks();
        copier << timeCopier(src, a, work + QStringLiteral("/marker"));
        if (Util::DirSize(a) != bytes)
            out << "  copier copy is incomplete!\n";
        syncDisks();
        cp << timeCp(src, b);
        Util::RemoveDir(a);
        Util::RemoveDir(b);
        out << QStringLiteral("  round %1: CFileCopy %2 s, cp -r %3 s\n")
                   .arg(round + 1)
                   .arg(copier.last(), 0, 'f', 3)
                   .arg(cp.last(), 0, 'f', 3);
        out.flush();
    }
    const double c = median(copier), p = median(cp);
    out << QStringLiteral("%1: CFileCopy %2 s, cp -r %3 s, ratio %4 (goal <= 1.5)\n")
               .arg(label)
               .arg(c, 0, 'f', 3)
               .arg(p, 0, 'f', 3)
               .arg(c / p, 0, 'f', 2);
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString base = QStringLiteral("/tmp");
    int rounds = 3;
    QString only;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--dir"))
            base = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--rounds"))
            rounds = std::max(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--only"))
            only = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--chunk"))
            UtilFiles::SetChunkSize(args.at(i + 1).toInt());
    }

    QTemporaryDir dir(base + QStringLiteral("/bench_copy-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder in %s\n", qPrintable(base));
        return 1;
    }
    out << "Chunk size of Util::FileCopy: " << UtilFiles::ChunkSize() << " bytes\n";
    out << "Building the trees in " << dir.path() << " ...\n";
    out.flush();
    const QString large = dir.path() + QStringLiteral("/large");
    const QString small = dir.path() + QStringLiteral("/small");
    if ((only != QLatin1String("small") && !makeLargeTree(large))
        || (only != QLatin1String("large") && !makeSmallTree(small))) {
        std::fprintf(stderr, "cannot build the trees\n");
        return 1;
    }
    // Read both trees once so that every round starts from a warm cache.
    QProcess::execute(QStringLiteral("sh"),
                      { QStringLiteral("-c"),
                        QStringLiteral("cat '%1'/* > /dev/null; tar -cf - -C '%2' . > /dev/null")
                            .arg(large, small) });

    if (only != QLatin1String("small"))
        measure(QStringLiteral("1 GiB in 4 files"), large, dir.path() + QStringLiteral("/outL"),
                rounds);
    if (only != QLatin1String("large"))
        measure(QStringLiteral("20,000 small files"), small, dir.path() + QStringLiteral("/outS"),
                rounds);
    return 0;
}
