#include "pages/createlogic.h"

#include "model/ctree.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace CreateLogic {

const char *const LargeFileSwitch = "-allow-limited-size";

QStringList CreateArguments(ImageType type, const QString &image, const QString &source,
                            bool largeFiles)
{
    QStringList args;
    switch (type) {
    case ImageType::Joliet:
        args << QStringLiteral("-joliet");
        break;
    case ImageType::Iso9660:
        args << QStringLiteral("-l");
        break;
    case ImageType::Udf:
        args << QStringLiteral("-udf");
        // Only UDF can describe such a file; ISO 9660 images are refused before the run.
        if (largeFiles)
            args << QString::fromLatin1(LargeFileSwitch);
        break;
    }
    args << QStringLiteral("-R") << QStringLiteral("-r") << QStringLiteral("-o") << image << source;
    return args;
}

int GaugeValue(qint64 size)
{
    if (size <= 0)
        return 0;
    // size * 100 would overflow only above 92 PB; divide first for such sizes.
    const qint64 percent
        = size < (Q_INT64_C(1) << 56) ? size * 100 / GaugeMaximum : size / GaugeMaximum * 100;
    return static_cast<int>(qMin<qint64>(percent, 100));
}

QString TotalSizeText(qint64 size)
{
    return QCoreApplication::translate("CPage3", "Total Size: ") + Util::SizeToString(size);
}

int ReadProgress(const QString &line)
{
    static const QString marker = QStringLiteral("% done, estimate finish");
    const int p = line.indexOf(marker);
    if (p < 1)
        return -1;
    bool ok = false;
    const double percent = line.left(p).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(percent) || percent <= 0)
        return 0;
    // The tool prints two decimals; the small addend keeps 12.34 (stored as 12.3399...) at 1234.
    const double value = std::trunc(percent * 100.0 + 1e-6);
    return value >= ProgressMaximum ? ProgressMaximum : static_cast<int>(value);
}

bool TooLargeForIso9660(qint64 size)
{
    return size > Iso9660FileLimit;
}

static void collectTooLarge(const Item &folder, QStringList &out)
{
    for (const Item *child : folder.m_Children) {
        if (child->m_IsDir) {
            collectTooLarge(*child, out);
        } else if (!child->m_SrcPath.isEmpty()) {
            const QFileInfo info(child->m_SrcPath);
            if (info.exists() && TooLargeForIso9660(info.size()))
                out << child->m_Path;
        }
    }
}

QStringList FilesTooLargeForIso9660(const Item &folder)
{
    QStringList out;
    collectTooLarge(folder, out);
    return out;
}

static bool collectMissing(const Item &folder, const QString &stageDir, int limit, QStringList &out)
{
    for (const Item *child : folder.m_Children) {
        const QFileInfo staged(stageDir + child->m_Path);
        const bool present = child->m_IsDir ? staged.isDir() : staged.isFile();
        if (!present) {
            // Below a missing folder everything is missing; name the folder once.
            out << child->m_Path;
            if (limit > 0 && out.size() >= limit)
                return false;
            continue;
        }
        if (child->m_IsDir && !collectMissing(*child, stageDir, limit, out))
            return false;
    }
    return true;
}

QStringList MissingStagedItems(const Item &folder, const QString &stageDir, int limit)
{
    QStringList out;
    collectMissing(folder, stageDir, limit, out);
    return out;
}

static void collectWithSources(const Item &folder, const QSet<QString> &sources, QStringList &out)
{
    for (const Item *child : folder.m_Children) {
        if (sources.contains(child->m_SrcPath))
            out << child->m_Path;
        else if (child->m_IsDir)
            collectWithSources(*child, sources, out);
    }
}

QStringList ItemsWithSources(const Item &folder, const QStringList &sources)
{
    QStringList out;
    if (sources.isEmpty())
        return out;
    const QSet<QString> set(sources.begin(), sources.end());
    collectWithSources(folder, set, out);
    return out;
}

QString PathListText(const QStringList &paths, int max)
{
    QStringList shown = paths.mid(0, max);
    QString text = shown.join(QLatin1Char('\n'));
    if (paths.size() > max)
        text += QLatin1Char('\n')
            + QCoreApplication::translate("CPage3", "... and %1 more").arg(paths.size() - max);
    return text;
}

// Lines mkisofs prints on every run: progress and the closing statistics.
static bool isRoutineLine(const QString &line)
{
    static const QRegularExpression routine(
        QStringLiteral("% done, estimate finish|^Total (translation table size|rockridge "
                       "attributes bytes|directory bytes|extents)|^Path table size|^Max brk "
                       "space used|^\\d+ extents written|^I: |^Using .* for |^Done with: "));
    return line.trimmed().isEmpty() || routine.match(line.trimmed()).hasMatch();
}

static bool readsLikeError(const QString &line)
{
    static const QRegularExpression error(
        QStringLiteral("error|abort|unable|cannot|can't|could not|failed|fatal|no space|"
                       "larger than|not specified|permission denied|no such file|not found|"
                       "invalid|illegal|read-only file system|not a directory|is a directory"),
        QRegularExpression::CaseInsensitiveOption);
    return error.match(line).hasMatch();
}

QString PickToolMessage(const QStringList &lines)
{
    QStringList meaningful;
    for (const QString &line : lines) {
        if (!isRoutineLine(line))
            meaningful << line.trimmed();
    }
    if (meaningful.isEmpty())
        return QString();
    for (int i = 0; i < meaningful.size(); ++i) {
        if (!readsLikeError(meaningful.at(i)))
            continue;
        QString message = meaningful.at(i);
        if (i + 1 < meaningful.size() && readsLikeError(meaningful.at(i + 1)))
            message += QLatin1Char('\n') + meaningful.at(i + 1);
        return message;
    }
    return meaningful.last();
}

bool RunSucceeded(const RunResult &result)
{
    return !result.failedToStart && !result.crashed && result.exitCode == 0 && result.imageWritten;
}

QString FailureText(const RunResult &result, const QString &toolMessage)
{
    if (RunSucceeded(result))
        return QString();
    QString text;
    if (result.failedToStart)
        text = QCoreApplication::translate("CPage3", "Could not start mkisofs.");
    else if (result.crashed)
        text = QCoreApplication::translate("CPage3",
                                           "mkisofs stopped unexpectedly; the ISO "
                                           "file was not created.");
    else if (result.exitCode != 0)
        text = QCoreApplication::translate("CPage3", "Create ISO failed (mkisofs exit code %1).")
                   .arg(result.exitCode);
    else
        text = QCoreApplication::translate("CPage3",
                                           "Create ISO failed: mkisofs wrote no ISO "
                                           "file.");
    if (!toolMessage.isEmpty())
        text += QLatin1Char('\n') + toolMessage;
    return text;
}

} // namespace CreateLogic
