#ifndef VEXLOR_EDITLOGIC_H
#define VEXLOR_EDITLOGIC_H

// The Edit page's changes without widgets. Each change is applied to the content tree at once
// and described as file tasks on the working folder W (the extracted image), which the page's
// copier carries out in order. W + m_Path is always where an item lives once the tasks queued so
// far have run.

#include "logic/extractlogic.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class CTree;
class Item;

namespace EditLogic {

// One task of the background copier: kind 0 copy, 1 delete, 2 rename, 3 link (CFileCopy::AddTask).
struct FileTask
{
    int kind = 0;
    QString source;
    QString destination;

    bool operator==(const FileTask &other) const
    {
        return kind == other.kind && source == other.source && destination == other.destination;
    }
};
using TaskList = QList<FileTask>;

// Holds tasks back while the extraction is still writing W, and hands them on in their order
// once it has ended; later tasks go straight through.
class TaskStage
{
public:
    using Sink = std::function<void(const FileTask &)>;
    explicit TaskStage(Sink sink);

    // While holding, Add() keeps the tasks; Hold(false) releases what was kept.
    void Hold(bool on);
    bool IsHolding() const { return m_Holding; }
    void Add(const FileTask &task);
    void Add(const TaskList &tasks);
    TaskList Pending() const { return m_Pending; }
    // Forgets the kept tasks (a new image replaces the working folder).
    void Clear() { m_Pending.clear(); }

private:
    void Release();

    Sink m_Sink;
    bool m_Holding = false;
    TaskList m_Pending;
};

// The prefix under which folder's children live in W: "" for the root, "boot/" for boot.
QString ChildPrefix(const Item &folder);

// --- add ------------------------------------------------------------------------------------

struct AddResult
{
    QList<Item *> added; // new children of the folder, in the order they were given
    QStringList existing; // names that the folder holds already; nothing was done for them
    QStringList unreadable; // paths that are neither a file nor a folder (gone, for example)
    TaskList tasks; // the links into W (kind 3)
};

// Adds local files and folders to folder: one item each, a folder with its content on disk
// (as AddSubDir mirrors it), and one link task each. An
// entry whose name is taken in folder is refused and named in existing.
AddResult AddLocal(CTree &tree, Item *folder, const QStringList &paths, const QString &workDir);

// Mirrors the content of the local folder dir below folder (which has m_Path set), leaving W
// out (ScanLocalFolder). No tasks.
void AddSubDir(Item *folder, const QString &dir, const QString &workDir = QString());

// The text that tells the user which names were not added because they exist.
QString ExistingText(const QStringList &names);
// What the user is told after an add: the names that exist and the paths that cannot be read;
// "" when everything was added.
QString AddProblemText(const AddResult &result);

// --- rename ---------------------------------------------------------------------------------

enum class NameCheck { Ok, Unchanged, Invalid, Taken };

// Whether item may take name in its folder: not empty, not "." or "..", no "/", and no sibling of
// that name. The name is taken as it is (the dialog trims it).
NameCheck CheckName(const Item &item, const Item &folder, const QString &name);
QString NameCheckText(NameCheck check);

// Renames item (its descendants follow) and returns the rename of W + old path to W + new path.
FileTask Rename(Item *item, const QString &name, const QString &workDir);

// --- delete ---------------------------------------------------------------------------------

// Removes the given children of folder from the tree, the last first, and returns one delete
// task per child. Pointers that are not children of folder are skipped.
TaskList Delete(Item *folder, const QList<Item *> &children, const QString &workDir);

// --- export ---------------------------------------------------------------------------------

// The copies of an export. Every item goes first into a fresh folder inside the destination
// (stageDir), and is then moved up next to what is there under a name that clashes with nothing
// (ExtractLogic::MoveUp), so that nothing in the destination is ever replaced.
struct ExportPlan
{
    QString stageDir;
    // The copies inside stageDir, relative to it: their names, or ".N/" and the name for an item
    // whose name an earlier item of the export has.
    QStringList names;
    TaskList tasks;
};

// An item added from disk is copied from the file it was added from, others from W.
ExportPlan PlanExport(const QList<const Item *> &items, const QString &workDir,
                      const QString &destDir);

// "Export Successfully !", and which items took another name because theirs was in use.
QString ExportSuccessText(const QList<ExtractLogic::Renamed> &renamed);
// "Export failed." with the copies that failed and the items left in stageDir; "" when none.
QString ExportProblemText(const QStringList &failed, const ExtractLogic::Delivery &delivery,
                          const QString &stageDir);

// --- save ---------------------------------------------------------------------------------

// Why a save must not run, "" when it may: W lacks part of the image (extractFailure), items
// have no staged copy, or files changed since they were added (each list one path a line).
QString SaveRefusalText(const QString &extractFailure, const QString &unstaged,
                        const QString &changed);
// What the user is told when a save to target was stopped: target, when it exists, was left as it
// was; else no image was written.
QString SaveStoppedText(const QString &target);

// --- loading --------------------------------------------------------------------------------

// The folder in which 7-Zip lists the El Torito boot images of an image as if they were files.
QString VirtualBootFolder();

// Removes the virtual boot entries ("[BOOT]/Boot-NoEmul.img" and the like: no time, a top-level
// folder "[BOOT]" holding nothing but them) from the tree. True when there were any; W then holds
// them as well and they must go there too.
bool RemoveVirtualBootEntries(CTree &tree);

// --- boot images ----------------------------------------------------------------------------

// Keeps the paths of a loaded image's files (by their start sector) on the items they name:
// a rename of the item or of a folder above it moves the path along, a deletion drops it.
void FollowRename(QMap<quint32, QString> &files, const QString &oldPath, const QString &newPath);
void FollowDelete(QMap<quint32, QString> &files, const QString &path);

} // namespace EditLogic

#endif // VEXLOR_EDITLOGIC_H
