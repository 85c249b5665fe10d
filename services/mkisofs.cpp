#include "services/mkisofs.h"

#include "services/platformtools.h"
#include "services/util.h"

#include <QRegularExpression>

#include <cmath>

namespace Mkisofs {

const char *const LargeFileSwitch = "-allow-limited-size";
const char *const FollowLinksSwitch = "-f";

namespace {

// Lines mkisofs prints on every run: progress and the closing statistics.
bool isRoutineLine(const QString &line)
{
    static const QRegularExpression routine(QStringLiteral(
        "% done, estimate finish|^Total (translation table size|rockridge "
        "attributes bytes|directory bytes|extents)|^Path table size|^Max brk "
        "space used|^\\d+ extents written|^I: |^Using .* for |^Done with: |^Warning: "
        "-follow-links does not always work correctly"));
    const QString text = line.trimmed();
    return text.isEmpty() || routine.match(text).hasMatch();
}

bool readsLikeError(const QString &line)
{
    static const QRegularExpression error(
        QStringLiteral("error|abort|unable|cannot|can't|could not|failed|fatal|no space|"
                       "larger than|not specified|permission denied|no such file|not found|"
                       "invalid|illegal|read-only file system|not a directory|is a directory"),
        QRegularExpression::CaseInsensitiveOption);
    return error.match(line).hasMatch();
}

} // namespace

QString Program()
{
    return PlatformTools::ToolRoot() + QStringLiteral("/cdrtools/mkisofs");
}

bool TooLargeForIso9660(qint64 size)
{
    return size > Iso9660FileLimit;
}

const char *const NamesVariable = "VEXLOR_MKISOFS_NAMES";

QString NamesHint(const NameShape &shape)
{
    return QStringLiteral("%1 %2").arg(int(shape.wide)).arg(int(shape.crowded));
}

void NameCounter::Name(const char *name, size_t size)
{
    for (size_t i = 0; i < size && !m_Wide; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        m_Wide = c < 0x20 || c > 0x7e;
    }
    if (size > 30)
        ++m_Long;
}

void NameCounter::EndFolder(NameShape *shape)
{
    shape->wide = shape->wide || m_Wide;
    shape->crowded = shape->crowded || m_Long >= 1000;
    *this = NameCounter();
}

QStringList CreateArgs(ImageType type, const QString &image, const QString &source, bool largeFiles)
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
    args << QString::fromLatin1(FollowLinksSwitch) << QStringLiteral("-R") << QStringLiteral("-r")
         << QStringLiteral("-o") << image << source;
    return args;
}

QStringList SaveArgs(const QString &image, const QString &source, const QStringList &bootSwitches,
                     bool largeFiles)
{
    QStringList args { QStringLiteral("-udf") };
    if (largeFiles)
        args << QString::fromLatin1(LargeFileSwitch);
    args << QString::fromLatin1(FollowLinksSwitch) << QStringLiteral("-R") << QStringLiteral("-o")
         << image;
    args << bootSwitches;
    args << source;
    return args;
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

QString SkippedFile(const QString &line)
{
    static const QRegularExpression skipped(
        QStringLiteral("File (.+) is not readable - ignoring$"));
    const QRegularExpressionMatch match = skipped.match(line.trimmed());
    return match.hasMatch() ? match.captured(1) : QString();
}

CErrorLineReader ErrorReader()
{
    return [](const QString &line) {
        return isRoutineLine(line) ? QString() : line.trimmed();
    };
}

QString PickMessage(const QStringList &lines)
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

} // namespace Mkisofs
