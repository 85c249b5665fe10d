#ifndef VEXLOR_LOCALSCAN_H
#define VEXLOR_LOCALSCAN_H

// Mirrors a folder of the local disk below an item of a content tree.

#include <QString>
#include <QStringList>

#include <functional>

class Item;

// Appends an item for every entry of folder to parent's children (no duplicate check), and so on
// below each subfolder: files and folders without hidden entries, sorted by name ignoring case;
// a link counts as what it leads to, and what is neither a file nor a folder (a dangling link, a
// pipe, a device) is left out. m_SrcPath is the entry's absolute path, m_Path parent's path + "/"
// + its name, m_Size the byte count of a file, m_Time its last change. A folder that is one on the
// way down, or one of leaveOut (the working folder), by whatever path, is left out.
void ScanLocalFolder(Item *parent, const QString &folder, const QStringList &leaveOut = {});

class CTree;
class QFileInfo;

// The item for the local file or folder info, at prefix + its name: m_SrcPath, size and time
// from the disk.
Item LocalItem(const QFileInfo &info, const QString &prefix);

// Adds the local file or folder source to tree at prefix + its name (prefix empty or ending in
// "/"): m_SrcPath, size and time from the disk, a folder with its content (ScanLocalFolder).
// Returns the added item; null when the path is already in the tree or source does not exist.
// added, when given, is called with the new item once it is in the tree and before a folder's
// content is scanned (the caller may start work on it meanwhile).
Item *AddLocalEntry(CTree &tree, const QString &source, const QString &prefix,
                    const QStringList &leaveOut = {},
                    const std::function<void(const Item &)> &added = {});

#endif // VEXLOR_LOCALSCAN_H
