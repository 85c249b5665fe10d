#ifndef VEXLOR_EXTRACTLOGIC_H
#define VEXLOR_EXTRACTLOGIC_H

// The parts of the Extract page that need no widget: the progress texts, composing the
// extraction request, choosing a name that does not clash at the destination, and
// judging how a listing or an extraction ended. The page calls these; they are tested on their own.

#include "services/cruncommandthread.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ExtractLogic {

// --- progress -----------------------------------------------------------------------------

// "Extracting files: " followed by the path.
QString ExtractingText(const QString &path);
// The text shown once 7-Zip reports 100%.
QString CopyingText();

// --- request ------------------------------------------------------------------------------

struct Request
{
    QString relDir; // folder of the table inside the image, with a trailing "/"; "" at the root
    QStringList names; // ticked names, in table order, each once
    QStringList relPaths; // relDir + name for each of names
};

// Builds the request from the path of the table's folder (Item::m_Path, "" for the root) and the
// names of the ticked rows. Names that could not stand for one entry of the folder ("", ".", "..")
// are left out, and a name ticked twice is taken once.
Request BuildRequest(const QString &folderPath, const QStringList &tickedNames);

// The entries to name to 7-Zip for request. Naming thousands of entries one by one makes 7-Zip
// several times slower than extracting a whole folder, so when the request holds every entry of
// its folder (folderNames: the names of all entries there), nothing is named at the image's top
// folder (the whole image) and the folder itself is named below it; else request.relPaths.
QStringList ToolPaths(const Request &request, const QStringList &folderNames);

// Prefix of the fresh folder that an extraction creates inside the destination when it cannot
// extract straight into it.
QString WorkDirPrefix();

// Whether request can be extracted straight into destDir (whose names destNames holds, read
// once): from the image's top folder, and no name of it is in use there. Otherwise the items go
// through a fresh folder inside the destination and are moved up under names that clash with
// nothing.
bool CanExtractDirectly(const Request &request, const QStringList &destNames);

// The names in folder (hidden ones and broken links included), read once.
QStringList NamesIn(const QString &folder);

// The 7-Zip arguments that extract paths of image into outDir (SevenZip::ExtractArgs, without a
// line per file); straight into a destination, 7-Zip is also told never to replace what is
// there.
QStringList ToolArgs(const QString &image, const QString &outDir, const QStringList &paths,
                     bool direct);

// --- delivery -----------------------------------------------------------------------------

// A name for name that exists() does not report taken: name itself, else "name (2)", "name (3)"
// and so on. For a file with an extension the number goes before the extension
// ("grub (2).cfg"); folders and names without an extension (or starting with their only dot,
// like ".hidden") get it at the end. Returns "" when no free name is found.
QString ClashFreeName(const QString &name, bool isDir,
                      const std::function<bool(const QString &)> &exists);

struct Renamed
{
    QString name; // the name in the image
    QString keptAs; // the name it got in the destination
};

struct Delivery
{
    QList<Renamed> renamed; // items that had to take another name
    QStringList failed; // names that could not be moved; they stay in the work folder
    QStringList missing; // names the tool never wrote into the work folder
    bool workDirRemoved = false;
};

// Moves each of names from workDir/relDir up to destDir, under a clash-free name, never replacing
// anything that is already there, then removes workDir with what is left in it (the folders of
// relDir). When an item could not be moved, workDir stays so that nothing extracted is lost.
// A name may lie in a folder of its own below workDir/relDir ("sub/name"); it is delivered as
// name. Names that are not in the work folder (the tool did not extract them, for example because
// the image holds no such entry) are reported in missing.
Delivery MoveUp(const QString &workDir, const QString &destDir, const QString &relDir,
                const QStringList &names);

// For an extraction straight into destDir: names that the tool did not write are missing.
Delivery Delivered(const QString &destDir, const QStringList &names);

// Removes what a stopped extraction straight into destDir wrote: the entries of names, none of
// which was there before it started.
void DiscardDelivered(const QString &destDir, const QStringList &names);

// The failure text for items that were requested but not extracted, naming the first few of
// them; "" when there are none.
QString MissingText(const QStringList &missing);

// The completion text: "Extract files successfully." and, when some items had to take new
// names, which ones.
QString SuccessText(const QList<Renamed> &renamed);

// --- judging a run ------------------------------------------------------------------------

// Collects what 7-Zip reports as failures, as its error reader (SevenZip::ErrorReader()) picks
// them: the failures, the message that follows an "ERRORS:" heading, and the items named.
class ToolErrors
{
public:
    ToolErrors();
    // One output line of 7-Zip.
    void AddLine(const QString &line);
    // A line the error reader has picked already (a listing reader's errors).
    void AddKept(const QString &kept);
    void Clear();
    bool IsEmpty() const { return !m_Failed; }
    QStringList Lines() const { return m_Lines; }
    // The entries 7-Zip could not extract whole, in the order it named them.
    QStringList Items() const { return m_Items; }
    // The tool's own words for the user: the last few distinct error lines, one per line.
    QString Summary(int maxLines = 2) const;

private:
    CErrorLineReader m_Reader;
    QStringList m_Lines;
    QStringList m_Items;
    bool m_Failed = false;
};

// Names the items that did not arrive whole (a count and the first five) and says that what
// did arrive was kept; "" when there are none.
QString BrokenItemsText(const QStringList &items);

struct Verdict
{
    bool success = false;
    QString message; // for the user when success is false
};

// An extraction succeeded only when the tool started, ended by itself with exit status 0 and
// reported no error.
Verdict JudgeExtraction(const CRunOutcome &end, const ToolErrors &errors);

// The message shown when a listing ended without its closing separator line.
QString ListingFailureText(const CRunOutcome &end, const ToolErrors &errors);

// For a listing whose table was read to its end: "" when the tool ended well, else the warning
// that the image is damaged, with the tool's own error lines. A truncated image, for example,
// is listed in full and then reported with "Unexpected end of archive" and exit status 2; exit
// status 1 (warnings only) is not damage.
QString ListingDamageText(const CRunOutcome &end, const ToolErrors &errors);

// What the user is told when a listing has ended: the failure when its table never closed, the
// damage when it closed but the tool found errors, "" when all is well. kept are the error lines
// the listing reader picked (SevenZip::ErrorReader()).
QString ListingMessage(const CRunOutcome &end, const QStringList &kept, bool closed);

// Removes the work folder of a stopped extraction with everything in it; only a folder whose name
// starts with WorkDirPrefix() is ever removed.
void DiscardWorkDir(const QString &workDir);

// A fresh folder inside dest for one extraction (WorkDirPrefix() and a unique ending); "" when
// dest cannot be written to.
QString MakeWorkDir(const QString &dest);

// What went wrong with an extraction, for the user: the verdict's message, the items the tool
// never wrote, the items that could not be moved out of workDir; "" when nothing did.
QString ProblemText(const Verdict &verdict, const Delivery &delivery, const QString &workDir);

} // namespace ExtractLogic

#endif // VEXLOR_EXTRACTLOGIC_H
