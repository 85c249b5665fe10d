#include "services/sevenzip.h"

#include "services/util.h"

#include <QRegularExpression>

namespace SevenZip {

QString Program()
{
    return Util::GetCurrentExePath() + QStringLiteral("/7z/7z");
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
    QStringList args { QStringLiteral("x"),
                       QStringLiteral("-y"),
                       QStringLiteral("-bb3"),
                       QStringLiteral("-bsp2"),
                       QStringLiteral("-o") + dest,
                       QStringLiteral("--"),
                       image };
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

bool IsErrorLine(const QString &line)
{
    static const QRegularExpression form(QStringLiteral(
        "^\\s*(?:(?:Open |System )?ERRORS?\\b|Data Error|CRC Failed|Cannot open|Can not open|"
        "Unexpected end of archive|Headers Error|Unsupported Method|Is not archive|"
        "Break signaled|Not implemented)"));
    return form.match(line).hasMatch();
}

CErrorLineReader ErrorReader()
{
    bool afterHeading = false;
    return [afterHeading](const QString &line) mutable -> QString {
        const QString text = line.trimmed();
        // "ERRORS:", "ERROR:", "WARNINGS:", "System ERROR:" stand alone on their line and the
        // message follows on the next one.
        static const QRegularExpression heading(
            QStringLiteral("^(?:(?:Open |System )?(?:ERRORS?|WARNINGS?)|Command Line Error):$"));
        if (heading.match(text).hasMatch()) {
            afterHeading = true;
            return QString();
        }
        if (afterHeading) {
            afterHeading = false;
            if (!ParseProgress(line).valid && !text.startsWith(QLatin1String("- ")))
                return text;
        }
        if (!IsErrorLine(line))
            return QString();
        if (text.startsWith(QLatin1String("ERROR: ")))
            return text.mid(7).trimmed();
        return text;
    };
}

} // namespace SevenZip
