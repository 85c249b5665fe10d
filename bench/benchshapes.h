// What the Create-side benchmarks share: printing a line, the median of runs, and the folders of
// many small files they time.
#pragma once

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMap>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace BenchShapes {

// Before the application: without a display named, the pages are drawn off screen.
inline void offscreenByDefault()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Pages under the benchmark keep their files in the test locations and log nothing: their
// diagnostics would only slow the runs down.
inline void quietPages()
{
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
}

inline void say(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// The median of the runs; -1 when there was none.
inline double median(QVector<double> v)
{
    if (v.isEmpty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline QString number(int i, int width)
{
    return QStringLiteral("%1").arg(i, width, 10, QLatin1Char('0'));
}

// count files named by name(i) in dir, of 100 to 999 bytes each.
inline bool makeFiles(const QString &dir, int count, const std::function<QString(int)> &name)
{
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        QFile file(dir + QLatin1Char('/') + name(i));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QByteArray(100 + i % 900, char('a' + i % 26)));
    }
    return true;
}

// 20,000 short names in one folder ("f00001.dat").
inline bool makeShortNames(const QString &dir)
{
    return makeFiles(dir, 20000, [](int i) { return QStringLiteral("f%1.dat").arg(number(i, 5)); });
}

// 100,000 small files in 1,000 folders.
inline bool makeTree(const QString &dir)
{
    for (int d = 0; d < 1000; ++d) {
        if (!makeFiles(dir + QStringLiteral("/d") + number(d, 4), 100,
                       [](int i) { return QStringLiteral("file%1.txt").arg(number(i, 3)); }))
            return false;
    }
    return true;
}

// A folder of many files the benchmarks time, made below the work folder at sub.
struct Shape
{
    const char *key; // as "--only" names it
    const char *title;
    const char *sub;
    std::function<bool(const QString &)> make;
};

// The command line of a benchmark: "--repeat N", "--only a,b", any other "--name value" (kept in
// values), and the work folder, a fresh temporary one when none is given.
struct Options
{
    int repeat = 1;
    QStringList only;
    QMap<QString, QString> values;
    QString work;
    std::unique_ptr<QTemporaryDir> temp;
};

inline void readOptions(const QStringList &args, const QString &name, Options *options)
{
    for (int i = 0; i < args.size(); ++i) {
        const bool valued = args[i].startsWith(QLatin1String("--")) && i + 1 < args.size();
        if (valued && args[i] == QLatin1String("--repeat"))
            options->repeat = qMax(1, args[++i].toInt());
        else if (valued && args[i] == QLatin1String("--only"))
            options->only = args[++i].split(QLatin1Char(','));
        else if (valued)
            options->values.insert(args[i].mid(2), args[i + 1]), ++i;
        else
            options->work = args[i];
    }
    if (options->work.isEmpty()) {
        options->temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/') + name
                                                        + QStringLiteral("-XXXXXX"));
        options->work = options->temp->path();
    }
    QDir().mkpath(options->work);
}

// The folder of a shape below the work folder, made once and kept for the next runs (a ".made"
// mark says it is whole); empty when it could not be made.
inline QString madeOnce(const QString &work, const Shape &shape)
{
    const QString dir = work + QLatin1Char('/') + QLatin1String(shape.sub);
    const QString done = dir + QStringLiteral("/.made");
    if (!QFile::exists(done)) {
        say(QStringLiteral("making %1 ...").arg(QLatin1String(shape.title)));
        QDir(dir).removeRecursively();
        if (!shape.make(dir) || !QFile(done).open(QIODevice::WriteOnly))
            return QString();
    }
    return dir;
}

} // namespace BenchShapes
