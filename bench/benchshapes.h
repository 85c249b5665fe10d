// What the Create-side benchmarks share: printing a line, the median of runs, and the folders of
// many small files they time.
#pragma once

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QString>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace BenchShapes {

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

} // namespace BenchShapes
