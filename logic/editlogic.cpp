#include "logic/editlogic.h"

#include "logic/extractlogic.h"

#include "model/ctree.h"
#include "model/localscan.h"
#include "services/util.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPair>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace EditLogic {

namespace {

// W without a trailing "/", so that W + "/" + path never doubles the separator.
QString workRoot(const QString &workDir)
{
    QString root = workDir;
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

QString inWork(const QString &workDir, const QString &path)
{
    return workRoot(workDir) + QLatin1Char('/') + path;
}

QString quotedList(const QStringList &names, int max)
{
    QStringList shown;
    for (int i = 0; i < names.size() && i < max; ++i)
        shown << QLatin1Char('"') + names.at(i) + QLatin1Char('"');
    QString text = shown.join(QStringLiteral(", "));
    if (names.size() > max)
        text += QStringLiteral(" and %1 more").arg(names.size() - max);
    return text;
}

} // namespace

// --- TaskStage ------------------------------------------------------------------------------

TaskStage::TaskStage(Sink sink)
    : m_Sink(std::move(sink))
{
}

void TaskStage::Hold(bool on)
{
    m_Holding = on;
    if (!on)
        Release();
}

void TaskStage::Add(const FileTask &task)
{
    if (m_Holding) {
        m_Pending << task;
        return;
    }
    Release();
    m_Sink(task);
}

void TaskStage::Add(const TaskList &tasks)
{
    for (const FileTask &task : tasks)
        Add(task);
}

void TaskStage::Release()
{
    const TaskList pending = m_Pending;
    m_Pending.clear();
    for (const FileTask &task : pending)
        m_Sink(task);
}

QString ChildPrefix(const Item &folder)
{
    QString prefix = folder.m_Path + QLatin1Char('/');
    if (prefix.startsWith(QLatin1Char('/')))
        prefix.remove(0, 1);
    return prefix;
}

// --- add ------------------------------------------------------------------------------------

AddResult AddLocal(CTree &tree, Item *folder, const QStringList &paths, const QString &workDir)
{
    AddResult result;
    if (!folder)
        return result;
    const QString prefix = ChildPrefix(*folder);
    for (QString path : paths) {
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        const QFileInfo info(path);
        if (!info.isFile() && !info.isDir()) {
            result.unreadable << path;
            continue;
        }
        const Item item = LocalItem(info, prefix);
        if (!tree.AddItem(item)) {
            result.existing << info.fileName();
            continue;
        }
        Item *added = tree.GetItem(item.m_Path);
        result.added << added;
        if (added->m_IsDir) {
            AddSubDir(added, item.m_SrcPath, workDir);
            // The copier makes W + prefix + "/" + the folder's own name, holding links to the
            // files (task kind 3: the user's files are read when the image is written).
            result.tasks << FileTask { 3, item.m_SrcPath,
                                       workRoot(workDir) + QLatin1Char('/') + prefix };
        } else {
            result.tasks << FileTask { 3, item.m_SrcPath, inWork(workDir, item.m_Path) };
        }
    }
    return result;
}

void AddSubDir(Item *folder, const QString &dir, const QString &workDir)
{
    if (!folder || !QFileInfo(dir).isDir())
        return;
    ScanLocalFolder(folder, dir, workDir.isEmpty() ? QStringList() : QStringList { workDir });
}

QString ExistingText(const QStringList &names)
{
    if (names.isEmpty())
        return QString();
    return QStringLiteral("Not added, because this folder already holds an entry of the same "
                          "name: %1.")
        .arg(quotedList(names, 3));
}

QString AddProblemText(const AddResult &result)
{
    QStringList problems;
    if (!result.existing.isEmpty())
        problems << ExistingText(result.existing);
    for (const QString &path : result.unreadable)
        problems << QStringLiteral("Cannot read \"%1\".").arg(path);
    return problems.join(QLatin1Char('\n'));
}

// --- rename ---------------------------------------------------------------------------------

NameCheck CheckName(const Item &item, const Item &folder, const QString &name)
{
    if (name == item.GetName())
        return NameCheck::Unchanged;
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return NameCheck::Invalid;
    const QString path = ChildPrefix(folder) + name;
    for (const Item *child : folder.m_Children) {
        if (child != &item && child->m_Path == path)
            return NameCheck::Taken;
    }
    return NameCheck::Ok;
}

QString NameCheckText(NameCheck check)
{
    switch (check) {
    case NameCheck::Invalid:
        return QStringLiteral("A name cannot be empty, \".\" or \"..\", or contain \"/\".");
    case NameCheck::Taken:
        return QStringLiteral("This folder already holds an entry of that name.");
    case NameCheck::Ok:
    case NameCheck::Unchanged:
        break;
    }
    return QString();
}

FileTask Rename(Item *item, const QString &name, const QString &workDir)
{
    const QString oldPath = item->m_Path;
    item->Rename(name);
    return FileTask { 2, inWork(workDir, oldPath), inWork(workDir, item->m_Path) };
}

// --- delete ---------------------------------------------------------------------------------

TaskList Delete(Item *folder, const QList<Item *> &children, const QString &workDir)
{
    TaskList tasks;
    if (!folder)
        return tasks;
    QList<int> rows;
    for (Item *child : children) {
        const int row = folder->m_Children.indexOf(child);
        if (row >= 0 && !rows.contains(row))
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    for (int i = rows.size() - 1; i >= 0; --i) {
        const Item *child = folder->m_Children.at(rows.at(i));
        tasks << FileTask { 1, inWork(workDir, child->m_Path), QString() };
        folder->m_Children.removeAt(rows.at(i));
    }
    return tasks;
}

// --- export ---------------------------------------------------------------------------------

ExportPlan PlanExport(const QList<const Item *> &items, const QString &workDir,
                      const QString &destDir)
{
    ExportPlan plan;
    plan.stageDir = destDir + QStringLiteral("/.vexlor-export-")
        + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    QSet<QString> used;
    int extra = 0;
    for (const Item *item : items) {
        const QString source
            = item->m_SrcPath.isEmpty() ? inWork(workDir, item->m_Path) : item->m_SrcPath;
        const QString name = QFileInfo(source).fileName();
        if (name.isEmpty())
            continue;
        // Two items exporting under one name: the later one is staged in a folder of its own and
        // takes a free name when it is moved up, like any other clash.
        QString folder = plan.stageDir;
        if (used.contains(name))
            folder += QStringLiteral("/.%1").arg(++extra);
        used.insert(name);
        plan.names << QDir(plan.stageDir).relativeFilePath(folder + QLatin1Char('/') + name);
        // A folder is copied into the destination under its own name, a file to its path.
        plan.tasks << FileTask { 0, source,
                                 item->m_IsDir ? folder : folder + QLatin1Char('/') + name };
    }
    return plan;
}

QString ExportSuccessText(const QList<ExtractLogic::Renamed> &renamed)
{
    QString text = QStringLiteral("Export Successfully !");
    if (renamed.isEmpty())
        return text;
    QStringList kept;
    for (const ExtractLogic::Renamed &r : renamed)
        kept << r.keptAs;
    return text + QStringLiteral("\nNames already in use, so kept as: ") + quotedList(kept, 3)
        + QLatin1Char('.');
}

QString ExportProblemText(const QStringList &failed, const ExtractLogic::Delivery &delivery,
                          const QString &stageDir)
{
    QStringList problems;
    for (const QString &source : failed)
        problems << QStringLiteral("Cannot copy \"%1\".").arg(source);
    for (const QString &name : delivery.failed)
        problems << QStringLiteral("Cannot move \"%1\" into place; it stays in \"%2\".")
                        .arg(name, stageDir);
    return problems.isEmpty()
        ? QString()
        : QStringLiteral("Export failed.\n") + problems.join(QLatin1Char('\n'));
}

// --- save ---------------------------------------------------------------------------------

QString SaveRefusalText(const QString &extractFailure, const QString &unstaged,
                        const QString &changed)
{
    QString why;
    if (!extractFailure.isEmpty())
        why = QStringLiteral("the image could not be read completely, so the new one would lack "
                             "files.\n")
            + extractFailure;
    else if (!unstaged.isEmpty())
        why = QStringLiteral("these items could not be copied for it. Remove them and add them "
                             "again.\n")
            + unstaged;
    else if (!changed.isEmpty())
        why = QStringLiteral("these files changed since they were added. Remove them and add "
                             "them again.\n")
            + changed;
    return why.isEmpty() ? why : QStringLiteral("The ISO file was not saved: ") + why;
}

QString SaveStoppedText(const QString &target)
{
    return QFileInfo::exists(target)
        ? QStringLiteral("Saving was stopped; \"%1\" was left as it was.").arg(target)
        : QStringLiteral("Saving was stopped; no ISO file was written.");
}

// --- loading --------------------------------------------------------------------------------

QString VirtualBootFolder()
{
    return QStringLiteral("[BOOT]");
}

bool RemoveVirtualBootEntries(CTree &tree)
{
    const Item *boot = tree.GetItem(VirtualBootFolder());
    if (!boot || !boot->m_IsDir || boot->m_Children.isEmpty())
        return false;
    for (const Item *child : boot->m_Children) {
        // 7-Zip gives the boot images no time (real files always have one) and names them
        // "Boot-NoEmul.img", "Boot-1.44M.img" and so on, numbered "1-Boot-..." when there are
        // several.
        const QString name = child->GetName();
        if (child->m_IsDir || !child->m_Time.trimmed().isEmpty()
            || !name.contains(QLatin1String("Boot-")) || !name.endsWith(QLatin1String(".img")))
            return false;
    }
    tree.RemoveItem(VirtualBootFolder());
    return true;
}

// --- boot images ----------------------------------------------------------------------------

namespace {
bool isAtOrBelow(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}
} // namespace

void FollowRename(QMap<quint32, QString> &files, const QString &oldPath, const QString &newPath)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (isAtOrBelow(it.value(), oldPath))
            it.value() = newPath + it.value().mid(oldPath.size());
    }
}

void FollowDelete(QMap<quint32, QString> &files, const QString &path)
{
    for (auto it = files.begin(); it != files.end();) {
        if (isAtOrBelow(it.value(), path))
            it = files.erase(it);
        else
            ++it;
    }
}

} // namespace EditLogic
