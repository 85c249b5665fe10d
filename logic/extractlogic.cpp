#include "logic/extractlogic.h"

#include "services/logging.h"
#include "services/sevenzip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <cstring>
#include <dirent.h>

namespace ExtractLogic {

QString ExtractingText(const QString &path)
{
    return QStringLiteral("Extracting files: ") + path;
}

QString CopyingText()
{
    return QStringLiteral("Copying files, please wait a few seconds..");
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

QStringList ToolPaths(const Request &request, const QStringList &folderNames)
{
    if (request.names.isEmpty() || request.names.size() != folderNames.size())
        return request.relPaths;
    const QSet<QString> ticked(request.names.begin(), request.names.end());
    for (const QString &name : folderNames) {
        if (!ticked.contains(name))
            return request.relPaths;
    }
    if (request.relDir.isEmpty())
        return {};
    return { request.relDir.left(request.relDir.size() - 1) };
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

QStringList NamesIn(const QString &folder)
{
    // Read with the system's own calls: the toolkit's folder listing looks at every entry and
    // took a quarter of a second for 20,000 names.
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            names << QFile::decodeName(name);
    }
    ::closedir(dir);
    return names;
}

namespace {

QSet<QString> namesIn(const QString &folder)
{
    const QStringList names = NamesIn(folder);
    return QSet<QString>(names.begin(), names.end());
}

// A name that stands for one entry of a folder.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/'));
}

} // namespace

bool CanExtractDirectly(const Request &request, const QStringList &destNames)
{
    if (!request.relDir.isEmpty() || request.names.isEmpty())
        return false;
    // Compared as a file system that ignores case or composes accents would compare them: a
    // name it takes for one already there is a clash (7-Zip would skip the item, and a Stop
    // would remove what is there).
    auto fold = [](const QString &name) {
        return name.normalized(QString::NormalizationForm_C).toCaseFolded();
    };
    QSet<QString> taken;
    taken.reserve(destNames.size());
    for (const QString &name : destNames)
        taken.insert(fold(name));
    for (const QString &name : request.names) {
        if (taken.contains(fold(name)))
            return false;
    }
    return true;
}

QStringList ToolArgs(const QString &image, const QString &outDir, const QStringList &paths,
                     bool direct)
{
    QStringList args = SevenZip::ExtractArgs(image, outDir, paths);
    // The page reads progress and errors only: a line per extracted file (20,000 for as many
    // small files) would only keep the interface thread busy.
    args.removeAll(QStringLiteral("-bb3"));
    // Skip, never replace, an entry that came into being after the check.
    if (direct)
        args.insert(1, QStringLiteral("-aos"));
    return args;
}

Delivery Delivered(const QString &destDir, const QStringList &names)
{
    Delivery delivery;
    const QSet<QString> there = namesIn(destDir);
    for (const QString &name : names) {
        if (!there.contains(name))
            delivery.missing << name;
    }
    return delivery;
}

void DiscardDelivered(const QString &destDir, const QStringList &names)
{
    for (const QString &name : names) {
        if (!isPlainName(name))
            continue;
        const QString path = destDir + QLatin1Char('/') + name;
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink())
            QDir(path).removeRecursively();
        else if (info.exists() || info.isSymLink())
            QFile::remove(path);
    }
}

Delivery MoveUp(const QString &workDir, const QString &destDir, const QString &relDir,
                const QStringList &names)
{
    Delivery delivery;
    if (workDir.isEmpty())
        return delivery;
    // Both folders are read once: a name check per entry is a set look-up, not a file query.
    const QSet<QString> extracted = namesIn(workDir + QLatin1Char('/') + relDir);
    QSet<QString> taken = namesIn(destDir);
    for (const QString &entry : names) {
        // An entry below a folder of its own ("sub/name") is delivered under its name.
        const int slash = entry.lastIndexOf(QLatin1Char('/'));
        const QString name = entry.mid(slash + 1);
        const QString source = workDir + QLatin1Char('/') + relDir + entry;
        const bool present = slash < 0 ? extracted.contains(name)
                                       : QFileInfo::exists(source) || QFileInfo(source).isSymLink();
        if (!present) {
            delivery.missing << name;
            continue;
        }
        QString kept = name;
        if (taken.contains(name)) {
            const QFileInfo info(source);
            const bool isDir = info.isDir() && !info.isSymLink();
            kept = ClashFreeName(
                name, isDir, [&](const QString &candidate) { return taken.contains(candidate); });
        }
        // QDir::rename never replaces an existing target: a name that came into use after the
        // folder was read fails here rather than replacing anything.
        if (kept.isEmpty() || !QDir().rename(source, destDir + QLatin1Char('/') + kept)) {
            delivery.failed << name;
            continue;
        }
        taken.insert(kept);
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

ToolErrors::ToolErrors()
    : m_Reader(SevenZip::ErrorReader())
{
}

void ToolErrors::AddLine(const QString &line)
{
    const QString kept = m_Reader(line);
    if (!kept.isEmpty())
        AddKept(kept);
}

void ToolErrors::AddKept(const QString &kept)
{
    m_Failed = true;
    // The heading and the counts are failures without words for the user.
    if (SevenZip::ReadHeading(kept) != SevenZip::Heading::None || SevenZip::IsErrorCount(kept))
        return;
    const QString item = SevenZip::ErrorItem(kept);
    if (!item.isEmpty() && !m_Items.contains(item))
        m_Items << item;
    m_Lines << (kept.startsWith(QLatin1String("ERROR: ")) ? kept.mid(7).trimmed() : kept);
}

void ToolErrors::Clear()
{
    m_Lines.clear();
    m_Items.clear();
    m_Failed = false;
    m_Reader = SevenZip::ErrorReader();
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

Verdict JudgeExtraction(const CRunOutcome &end, const ToolErrors &errors)
{
    Verdict verdict;
    const QString tool = errors.Summary();
    if (end.kind == CRunOutcome::FailedToStart) {
        verdict.message = QStringLiteral(
            "The files could not be extracted: the 7-Zip program could not be started.");
        return verdict;
    }
    if (end.kind == CRunOutcome::Crashed) {
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

QString ListingFailureText(const CRunOutcome &end, const ToolErrors &errors)
{
    QString text = QStringLiteral("The file could not be read as an ISO image.");
    if (end.kind == CRunOutcome::FailedToStart)
        return text + QStringLiteral("\nThe 7-Zip program could not be started.");
    const QString tool = errors.Summary(1);
    if (!tool.isEmpty())
        text += QLatin1Char('\n') + tool;
    return text;
}

QString ListingDamageText(const CRunOutcome &end, const ToolErrors &errors)
{
    if (end.kind != CRunOutcome::FailedToStart && end.kind != CRunOutcome::Crashed
        && end.exitCode < 2 && errors.IsEmpty())
        return QString();
    QString text = QStringLiteral(
        "The image is damaged: some of its files may not be readable or may be incomplete.");
    const QString tool = errors.Summary();
    if (!tool.isEmpty())
        text += QLatin1Char('\n') + tool;
    else if (end.kind != CRunOutcome::Crashed && end.kind != CRunOutcome::FailedToStart)
        text += QStringLiteral("\n7-Zip ended with exit status %1.").arg(end.exitCode);
    return text;
}

QString ListingMessage(const CRunOutcome &end, const QStringList &kept, bool closed)
{
    ToolErrors errors;
    for (const QString &line : kept)
        errors.AddKept(line);
    return closed ? ListingDamageText(end, errors) : ListingFailureText(end, errors);
}

void DiscardWorkDir(const QString &workDir)
{
    if (workDir.isEmpty() || !QFileInfo(workDir).fileName().startsWith(WorkDirPrefix()))
        return;
    if (!QDir(workDir).removeRecursively())
        qCWarning(lcExtract) << "cannot remove" << workDir;
}

QString MakeWorkDir(const QString &dest)
{
    QTemporaryDir work(dest + QLatin1Char('/') + WorkDirPrefix() + QStringLiteral("XXXXXX"));
    if (!work.isValid())
        return QString();
    work.setAutoRemove(false);
    return work.path();
}

QString ProblemText(const Verdict &verdict, const Delivery &delivery, const QString &workDir)
{
    QStringList problems;
    if (!verdict.success)
        problems << verdict.message;
    // The tool can end well having written nothing for a name (no such entry in the image).
    if (!delivery.missing.isEmpty())
        problems << MissingText(delivery.missing);
    if (!delivery.failed.isEmpty())
        problems << QStringLiteral("Some items could not be moved into place; they are in \"%1\".")
                        .arg(workDir);
    return problems.join(QLatin1Char('\n'));
}

} // namespace ExtractLogic
