#include "pages/extractlogic.h"

#include "services/sevenzip.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace ExtractLogic {

namespace {

// One progress update, without backspaces.
Progress readProgressSegment(const QString &segment)
{
    Progress result;
    // "- path" lines of -bb3 are names, never percentages, whatever the name holds.
    if (segment.trimmed().startsWith(QLatin1Char('-')))
        return result;
    const int p = segment.indexOf(QLatin1String("% "));
    if (p < 1)
        return result;
    const int d = segment.indexOf(QLatin1String(" - "), p);
    if (d < 1)
        return result;
    QString number = segment.left(p).trimmed();
    const int blank = number.lastIndexOf(QLatin1Char(' '));
    if (blank >= 0)
        number = number.mid(blank + 1);
    if (number.isEmpty())
        return result;
    bool ok = false;
    int value = number.toInt(&ok);
    if (!ok)
        value = 0;
    result.valid = true;
    result.value = qBound(0, value, 100);
    result.text = value >= 100 ? CopyingText() : ExtractingText(segment.mid(d + 3));
    return result;
}

// The backspace-free pieces of a line, blank ones left out.
QStringList segments(const QString &line)
{
    QStringList parts;
    for (const QString &part : line.split(QLatin1Char('\b'))) {
        QString cleaned = part;
        cleaned.remove(QLatin1Char('\r'));
        cleaned.remove(QLatin1Char('\n'));
        if (!cleaned.trimmed().isEmpty())
            parts << cleaned;
    }
    return parts;
}

} // namespace

QString ExtractingText(const QString &path)
{
    return QStringLiteral("Extracting files: ") + path;
}

QString CopyingText()
{
    return QStringLiteral("Copying files, please wait a few seconds..");
}

Progress ReadProgressLine(const QString &line)
{
    Progress last;
    for (const QString &segment : segments(line)) {
        const Progress p = readProgressSegment(segment);
        if (p.valid)
            last = p;
    }
    return last;
}

Request BuildRequest(const QString &folderPath, const QStringList &tickedNames)
{
    Request request;
    request.relDir = folderPath.isEmpty() ? QString() : folderPath + QLatin1Char('/');
    QSet<QString> seen;
    for (const QString &name : tickedNames) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
            || name.contains(QLatin1Char('/')))
            continue;
        const QString relPath = request.relDir + name;
        if (seen.contains(relPath))
            continue;
        seen.insert(relPath);
        request.names << name;
        request.relPaths << relPath;
    }
    return request;
}

QString WorkDirPrefix()
{
    return QStringLiteral(".vexlor-extract-");
}

QString ClashFreeName(const QString &name, bool isDir,
                      const std::function<bool(const QString &)> &exists)
{
    if (name.isEmpty())
        return QString();
    if (!exists(name))
        return name;
    QString base = name;
    QString suffix;
    if (!isDir) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0 && dot < name.size() - 1) {
            base = name.left(dot);
            suffix = name.mid(dot);
        }
    }
    for (int n = 2; n < 100000; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
        if (!exists(candidate))
            return candidate;
    }
    return QString();
}

Delivery MoveUp(const QString &workDir, const QString &destDir, const QString &relDir,
                const QStringList &names)
{
    Delivery delivery;
    if (workDir.isEmpty())
        return delivery;
    const auto present = [](const QString &path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    };
    for (const QString &name : names) {
        const QString source = workDir + QLatin1Char('/') + relDir + name;
        const QFileInfo info(source);
        if (!present(source)) {
            delivery.missing << name;
            continue;
        }
        const bool isDir = info.isDir() && !info.isSymLink();
        const QString kept = ClashFreeName(name, isDir, [&](const QString &candidate) {
            return present(destDir + QLatin1Char('/') + candidate);
        });
        // QDir::rename never replaces an existing target.
        if (kept.isEmpty() || !QDir().rename(source, destDir + QLatin1Char('/') + kept)) {
            delivery.failed << name;
            continue;
        }
        if (kept != name)
            delivery.renamed << Renamed { name, kept };
    }
    if (delivery.failed.isEmpty())
        delivery.workDirRemoved = QDir(workDir).removeRecursively();
    return delivery;
}

QString SuccessText(const QList<Renamed> &renamed)
{
    QString text = QStringLiteral("Extract files successfully.");
    if (renamed.isEmpty())
        return text;
    const int shown = qMin(renamed.size(), 3);
    QStringList names;
    for (int i = 0; i < shown; ++i)
        names << QLatin1Char('"') + renamed.at(i).keptAs + QLatin1Char('"');
    text += QStringLiteral("\nNames already in use, so kept as: ")
        + names.join(QStringLiteral(", "));
    if (renamed.size() > shown)
        text += QStringLiteral(" and %1 more").arg(renamed.size() - shown);
    text += QLatin1Char('.');
    return text;
}

QString MissingText(const QStringList &missing)
{
    if (missing.isEmpty())
        return QString();
    const int shown = qMin(missing.size(), 3);
    QStringList names;
    for (int i = 0; i < shown; ++i)
        names << QLatin1Char('"') + missing.at(i) + QLatin1Char('"');
    QString text
        = QStringLiteral("These items were not extracted: ") + names.join(QStringLiteral(", "));
    if (missing.size() > shown)
        text += QStringLiteral(" and %1 more").arg(missing.size() - shown);
    text += QLatin1Char('.');
    return text;
}

QString BrokenItemsText(const QStringList &items)
{
    if (items.isEmpty())
        return QString();
    const int shown = qMin(items.size(), 5);
    QStringList names;
    for (int i = 0; i < shown; ++i)
        names << QLatin1Char('"') + items.at(i) + QLatin1Char('"');
    QString text = items.size() == 1
        ? QStringLiteral("1 item did not arrive whole: ")
        : QStringLiteral("%1 items did not arrive whole: ").arg(items.size());
    text += names.join(QStringLiteral(", "));
    if (items.size() > shown)
        text += QStringLiteral(" and %1 more").arg(items.size() - shown);
    return text + QStringLiteral(".\nWhat did arrive was kept.");
}

void ToolErrors::AddLine(const QString &line)
{
    using SevenZip::Heading;
    for (const QString &segment : segments(line)) {
        const QString t = segment.trimmed();
        const Heading heading = SevenZip::ReadHeading(t);
        const auto after = static_cast<Heading>(m_After);
        m_After = static_cast<int>(heading);
        if (heading == Heading::Errors)
            m_Failed = true;
        if (heading != Heading::None || after == Heading::Warnings)
            continue;
        if (after == Heading::Errors && !readProgressSegment(segment).valid) {
            m_Lines << t;
            continue;
        }
        if (!SevenZip::IsErrorLine(t))
            continue;
        m_Failed = true;
        const QString item = SevenZip::ErrorItem(t);
        if (!item.isEmpty() && !m_Items.contains(item))
            m_Items << item;
        if (!SevenZip::IsErrorCount(t))
            m_Lines << (t.startsWith(QLatin1String("ERROR: ")) ? t.mid(7).trimmed() : t);
    }
}

void ToolErrors::Clear()
{
    m_Lines.clear();
    m_Items.clear();
    m_Failed = false;
    m_After = 0;
}

QString ToolErrors::Summary(int maxLines) const
{
    QStringList picked;
    for (int i = m_Lines.size() - 1; i >= 0 && picked.size() < maxLines; --i) {
        if (!picked.contains(m_Lines.at(i)))
            picked.prepend(m_Lines.at(i));
    }
    return picked.join(QLatin1Char('\n'));
}

Verdict JudgeExtraction(const RunEnd &end, const ToolErrors &errors)
{
    Verdict verdict;
    const QString tool = errors.Summary();
    if (end.failedToStart) {
        verdict.message = QStringLiteral(
            "The files could not be extracted: the 7-Zip program could not be started.");
        return verdict;
    }
    if (end.crashed) {
        verdict.message = QStringLiteral("The extraction stopped unexpectedly.");
        if (!tool.isEmpty())
            verdict.message += QLatin1Char('\n') + tool;
        return verdict;
    }
    if (end.exitCode != 0 || !errors.IsEmpty()) {
        verdict.message = QStringLiteral("Some files could not be extracted.");
        if (!errors.Items().isEmpty())
            verdict.message += QLatin1Char('\n') + BrokenItemsText(errors.Items());
        else if (!tool.isEmpty())
            verdict.message += QLatin1Char('\n') + tool;
        else
            verdict.message
                += QStringLiteral("\n7-Zip ended with exit status %1.").arg(end.exitCode);
        return verdict;
    }
    verdict.success = true;
    return verdict;
}

QString ListingFailureText(const RunEnd &end, const ToolErrors &errors)
{
    QString text = QStringLiteral("The file could not be read as an ISO image.");
    if (end.failedToStart)
        return text + QStringLiteral("\nThe 7-Zip program could not be started.");
    const QString tool = errors.Summary(1);
    if (!tool.isEmpty())
        text += QLatin1Char('\n') + tool;
    return text;
}

QString ListingDamageText(const RunEnd &end, const ToolErrors &errors)
{
    if (!end.failedToStart && !end.crashed && end.exitCode < 2 && errors.IsEmpty())
        return QString();
    QString text = QStringLiteral(
        "The image is damaged: some of its files may not be readable or may be incomplete.");
    const QString tool = errors.Summary();
    if (!tool.isEmpty())
        text += QLatin1Char('\n') + tool;
    else if (!end.crashed && !end.failedToStart)
        text += QStringLiteral("\n7-Zip ended with exit status %1.").arg(end.exitCode);
    return text;
}

} // namespace ExtractLogic
