#ifndef VEXLOR_FILELINKS_H
#define VEXLOR_FILELINKS_H

// Staging without copying: a file or a folder of the local disk is mirrored in the working
// folder as real folders holding symbolic links to the files, which mkisofs follows ("-f"). The
// user's files are only read, and only when the image is written.
//
// A link names its file by its absolute path only when the working folder's file system keeps
// that path inside the link's inode (InodeTargetLimit): a longer link target takes a whole block,
// as much as a small file's copy. For longer paths each source folder gets one anchor, a link in
// the anchor folder (Util::GetTempDir() + "/links") to that folder, and the links in the working
// folder lead through it by a short relative path ("../../links/17/name"), one more step to
// follow. Such links stay valid as long as
// they keep their depth (renames within a folder do) and the anchor folder stays.
//
// The choice of entries is that of the copier (Util::DirCopy): hidden entries, entries that are
// neither a file nor a folder (dangling links included) and folders that lead back to one on the
// way down are left out; a link to a file or a folder counts as that file or folder. Files that
// cannot be read get no link, so that the staging check names them.

#include <QString>

#include <atomic>

namespace FileLinks {

// The folder of the anchors.
QString AnchorFolder();

// Mirrors source at destination, as a copy task of the copier does: a file as the link
// destination, a folder as destination + "/" + its name with its content. A link or file already
// at a file's place is replaced; a folder already there is filled. The walk ends between two
// entries when stop is set. False when anything could not be made (an unreadable file only
// lacks its link).
bool Link(const QString &source, const QString &destination, const std::atomic<bool> *stop);

// Link targets shorter than this many bytes take no block of their own on the file system of
// folder: 60 on ext2/3/4 and on file systems not known here, 128 on tmpfs, 150 on xfs and btrfs.
int InodeTargetLimit(const QString &folder);

// For tests: run after each link made.
using LinkHook = void (*)();
void SetLinkHook(LinkHook hook);

} // namespace FileLinks

#endif // VEXLOR_FILELINKS_H
