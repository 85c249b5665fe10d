#include "services/sevenzip.h"

#include "services/platformtools.h"
#include "services/util.h"

#include <QRegularExpression>

namespace SevenZip {

QString Program()
{
    return PlatformTools::ToolRoot() + QStringLiteral("/7z/7z");
}

QStringList ListArgs(const QString &image)
{
    return { QStringLiteral("l"), QStringLiteral("--"), image };
}

QStringList ListArgsUtf8(const QString &image)
{
    return { QStringLiteral("-scsUTF-8"), QStringLiteral("l"), QStringLiteral("--"), image };
}

QStringList ExtractArgs(const QString &image, const QString &dest, const QStringList &relPaths)
{
    // -spd: a name is taken as written, so "a*.txt" never brings "abc.txt" along.
    QStringList args { QStringLiteral("x"),    QStringLiteral("-y"),
                       QStringLiteral("-bb3"), QStringLiteral("-bsp2"),
                       QStringLiteral("-spd"), QStringLiteral("-o") + dest,
                       QStringLiteral("--"),   image };
    args += relPaths;
    return args;
}

QStringList ExtractAllArgs(const QString &workDir, const QString &image)
{
    return { QStringLiteral("x"),
             QStringLiteral("-y"),
             QStringLiteral("-bb3"),
             QStringLiteral("-bsp2"),
             QStringLiteral("-o") + workDir,
             QStringLiteral("--"),
             image };
}

QStringList UnpackArgs(const QString &mountPoint, const QString &image)
{
    return { QStringLiteral("x"),  QStringLiteral("-bsp2"),
             QStringLiteral("-y"), QStringLiteral("-o") + mountPoint + QStringLiteral("/"),
             QStringLiteral("--"), image };
}

Progress ParseProgress(const QString &line)
{
    // The percentage opens the line (after the blanks of "%3d"); a count and " - path" may
    // follow. A "- path" line of a processed file is not progress, even if its name holds "%".
    static const QRegularExpression form(
        QStringLiteral("^ *(\\d{1,3})%(?: +(\\d+)(?: - (.*))?)? *$"),
        QRegularExpression::DotMatchesEverythingOption);
    Progress progress;
    const QRegularExpressionMatch match = form.match(line);
    if (!match.hasMatch())
        return progress;
    const int percent = match.captured(1).toInt();
    if (percent > 100)
        return progress;
    progress.valid = true;
    progress.percent = percent;
    if (match.capturedLength(2) > 0) {
        bool ok = false;
        const int count = match.captured(2).toInt(&ok);
        progress.count = ok ? count : -1;
    }
    progress.path = match.captured(3);
    return progress;
}

namespace {

// The failures 7-Zip reports about one item: "ERROR: <failure> : <item>".
const char kItemFailures[] = "Data Error|CRC Failed|Unsupported Method|Unexpected end of data|"
                             "Unavailable data|Headers Error|Is not archive|Wrong password|"
                             "(?:CRC Failed|Data Error) in encrypted file\\. Wrong password\\?|"
                             "There are some data after the end of the payload data";

} // namespace

bool IsErrorLine(const QString &line)
{
    // Whole lines only: a message standing alone is 7-Zip's own, a path that merely holds the
    // same words is always preceded by "Listing archive: ", "Path = ", "- " or a table row.
    static const QRegularExpression form(
        QStringLiteral(
            "^\\s*(?:(?:Open |System )?ERROR:.*|ERRORS:|Can ?not open the file as (?:\\[\\w+\\] "
            ")?archive|"
            "Can't open as archive: \\d+|Unexpected end of archive|Headers Error|Is not archive|"
            "Data Error|CRC Failed|CRC Error|Unsupported [Mm]ethod|Unexpected end of data|"
            "Break signaled|(?:Sub items |Archives with |Open )?Errors: \\d+)\\s*$"),
        QRegularExpression::DotMatchesEverythingOption);
    return form.match(line).hasMatch();
}

bool IsErrorCount(const QString &line)
{
    static const QRegularExpression form(QStringLiteral(
        "^\\s*(?:(?:Sub items |Archives with |Open )?Errors|Can't open as archive): \\d+\\s*$"));
    return form.match(line).hasMatch();
}

Heading ReadHeading(const QString &line)
{
    static const QRegularExpression errors(QStringLiteral("^(?:ERRORS|(?:Open |System )?ERROR):$"));
    const QString t = line.trimmed();
    if (errors.match(t).hasMatch())
        return Heading::Errors;
    if (t == QLatin1String("WARNINGS:") || t == QLatin1String("Warnings:"))
        return Heading::Warnings;
    return Heading::None;
}

QString ErrorItem(const QString &line)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*ERROR: (?:%1) : (.+)$").arg(QLatin1String(kItemFailures)),
        QRegularExpression::DotMatchesEverythingOption);
    return form.match(line).captured(1);
}

CErrorLineReader ErrorReader()
{
    Heading after = Heading::None;
    return [after](const QString &line) mutable -> QString {
        const QString text = line.trimmed();
        const Heading heading = ReadHeading(text);
        const Heading previous = after;
        after = heading;
        // The "ERRORS:" heading is a failure itself; the message follows on the next line.
        if (heading == Heading::Errors)
            return text;
        // What follows "WARNINGS:" is no failure.
        if (heading != Heading::None || previous == Heading::Warnings)
            return QString();
        if (previous == Heading::Errors && !ParseProgress(line).valid
            && !text.startsWith(QLatin1String("- ")))
            return text;
        return IsErrorLine(text) ? text : QString();
    };
}

} // namespace SevenZip
