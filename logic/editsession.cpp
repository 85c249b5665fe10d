#include "logic/editsession.h"

#include "logic/imagewrite.h"
#include "model/ctree.h"
#include "services/cfilecopy.h"
#include "services/mkisofs.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

Q_LOGGING_CATEGORY(lcEdit, "vexlor.edit", QtWarningMsg)

using EditLogic::FileTask;

EditSession::EditSession(CTree *tree, CFileCopy *copier, const QString &workDir, QObject *parent)
    : QObject(parent)
    , m_Tree(tree)
    , m_Copier(copier)
    , m_WorkDir(workDir)
    , m_RemoveWorkDir([this] { m_Copier->AddTask(m_WorkDir, QString(), 1); })
    , m_Pending([this](const FileTask &t) { m_Copier->AddTask(t.source, t.destination, t.kind); })
{
}

EditSession::~EditSession()
{
    Stop();
}

void EditSession::Stop()
{
    // The runner ends its tool (bounded wait, when m_Runners goes).
    m_Runners.Retire(m_ExtractThread);
    m_ExtractThread = nullptr;
    RemoveBootFiles();
    if (!m_Export.stageDir.isEmpty())
        QDir(m_Export.stageDir).removeRecursively();
    m_Export = EditLogic::ExportPlan();
}

// --- loading --------------------------------------------------------------------------------

void EditSession::Load(const QString &image)
{
    if (m_ExtractThread) {
        // The old 7-Zip writes into W until it has ended: W is removed for the new image only
        // after that.
        auto ended = std::make_shared<bool>(false);
        m_Runners.Retire(m_ExtractThread, [ended] { *ended = true; });
        m_PreviousExtractionEnded = ended;
    }
    m_ExtractThread = nullptr;
    m_Changed = false;
    m_ExtractFailure.clear();
    m_ExtractProgress = 0;
    // The tasks of the old image go; those caused from now on wait for the extraction.
    m_Pending.Clear();
    m_Pending.Hold(true);
    m_Copier->ClearAllTasks();
    m_WorkDirRemovalQueued = false;
    KeepBootImages(image);

    m_ExtractThread = m_Runners.Create(
        SevenZip::Program(), SevenZip::ExtractAllArgs(m_WorkDir, image), SevenZip::ErrorReader());
    connect(m_ExtractThread, &CRunCommandThread::standoutputline, this,
            &EditSession::ReadExtractLine);
    connect(m_ExtractThread, &CRunCommandThread::sigfinished, this,
            &EditSession::OnExtractFinished);
    WaitForPreviousExtraction();
    StartExtractionWhenReady();
}

void EditSession::KeepBootImages(const QString &image)
{
    // Every boot image is kept from now on: a save may replace the loaded image itself.
    m_Catalog = ElTorito::ReadCatalog(image);
    m_Extents = ElTorito::ReadExtents(image);
    const QString folder = QFileInfo(BootImageCopy(0)).absolutePath();
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < m_Catalog.entries.size(); ++i) {
        const QByteArray data = ElTorito::ReadBootImage(image, m_Catalog.entries.at(i));
        QFile copy(BootImageCopy(i));
        if (data.isEmpty() || !copy.open(QIODevice::WriteOnly) || copy.write(data) != data.size())
            qCWarning(lcEdit) << "cannot keep boot image" << i << copy.fileName();
    }
}

void EditSession::WaitForPreviousExtraction()
{
    // Bounded: a tool that ignores the termination request is killed by its runner well within
    // it. Should it still live then, W is removed only once it has ended (see below).
    constexpr int kBoundMs = 6000;
    QElapsedTimer clock;
    clock.start();
    while (m_PreviousExtractionEnded && !*m_PreviousExtractionEnded && clock.elapsed() < kBoundMs) {
        // The windows keep painting; clicks wait.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        QThread::msleep(10);
    }
}

void EditSession::StartExtractionWhenReady()
{
    if (!m_ExtractThread || m_ExtractThread->isRunning())
        return;
    if (m_PreviousExtractionEnded && !*m_PreviousExtractionEnded) {
        QTimer::singleShot(20, this, &EditSession::StartExtractionWhenReady);
        return;
    }
    m_PreviousExtractionEnded.reset();
    if (!m_WorkDirRemovalQueued) {
        m_WorkDirRemovalQueued = true;
        m_RemoveWorkDir();
    }
    if (!m_Copier->IsIdle()) {
        QTimer::singleShot(20, this, &EditSession::StartExtractionWhenReady);
        return;
    }
    m_ExtractThread->start();
}

void EditSession::ListingDone()
{
    // 7-Zip shows the boot images as files of a folder "[BOOT]", and the extraction writes them
    // into W, from where they must not reach a save.
    if (EditLogic::RemoveVirtualBootEntries(*m_Tree))
        Stage(FileTask { 1, m_WorkDir + EditLogic::VirtualBootFolder(), QString() });
    // Each save makes its own boot catalog; the old one is no file of the content.
    const QString catalog = BootOptions::Build(m_Catalog, m_Extents, m_WorkDir).catalogPath;
    const Item *catalogItem = catalog.isEmpty() ? nullptr : m_Tree->GetItem(catalog);
    if (catalogItem && !catalogItem->m_IsDir) {
        m_Tree->RemoveItem(catalog);
        EditLogic::FollowDelete(m_Extents.files, catalog);
        Stage(FileTask { 1, m_WorkDir + catalog, QString() });
    }
}

void EditSession::ListingFailed()
{
    m_Runners.Retire(m_ExtractThread);
    m_ExtractThread = nullptr;
    m_Pending.Clear();
    m_Pending.Hold(false);
}

void EditSession::ReadExtractLine(const QString &line)
{
    // Most lines name a file ("- path"); only a line with "% " past its start can be progress.
    if (line.indexOf(QLatin1String("% ")) <= 0)
        return;
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (progress.valid)
        m_ExtractProgress = progress.percent;
}

void EditSession::OnExtractFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_ExtractThread)
        return;
    const CRunOutcome outcome = runner->Outcome();
    if (!outcome.Ok() || !outcome.errorLines.isEmpty()) {
        // W lacks part of the image: a save would silently leave it out.
        const QString tool = outcome.ErrorSummary();
        m_ExtractFailure = QStringLiteral("Some files could not be extracted.\n")
            + (tool.isEmpty()
                   ? QStringLiteral("7-Zip ended with exit status %1.").arg(outcome.exitCode)
                   : tool);
        qCWarning(lcEdit) << "extraction failed" << outcome.kind << outcome.errorLines;
    }
    m_Runners.Retire(runner);
    m_ExtractThread = nullptr;
    m_Pending.Hold(false);
    emit extractionFinished();
}

// --- edits ----------------------------------------------------------------------------------

void EditSession::Stage(const FileTask &task)
{
    if (task.kind == 0 || task.kind == 3) // a copy or a link
        emit copyStaged(task.source);
    m_Pending.Add(task);
}

EditLogic::AddResult EditSession::Add(Item *folder, const QStringList &paths)
{
    const EditLogic::AddResult result = EditLogic::AddLocal(*m_Tree, folder, paths, m_WorkDir);
    for (const FileTask &task : result.tasks)
        Stage(task);
    m_Changed = m_Changed || !result.tasks.isEmpty();
    return result;
}

EditLogic::NameCheck EditSession::Rename(Item *item, const Item &folder, const QString &name)
{
    const EditLogic::NameCheck check = EditLogic::CheckName(*item, folder, name);
    if (check != EditLogic::NameCheck::Ok)
        return check;
    const QString oldPath = item->m_Path;
    const FileTask task = EditLogic::Rename(item, name, m_WorkDir);
    EditLogic::FollowRename(m_Extents.files, oldPath, item->m_Path);
    Stage(task);
    m_Changed = true;
    return check;
}

void EditSession::Delete(Item *folder, const QList<Item *> &children)
{
    for (Item *child : children) {
        if (folder && folder->m_Children.contains(child))
            EditLogic::FollowDelete(m_Extents.files, child->m_Path);
    }
    for (const FileTask &task : EditLogic::Delete(folder, children, m_WorkDir)) {
        Stage(task);
        m_Changed = true;
    }
}

// --- export and save ----------------------------------------------------------------------

void EditSession::StartExport(const EditLogic::ExportPlan &plan, const QString &destDir)
{
    m_Copier->TakeFailedTasks();
    m_Export = plan;
    m_ExportDest = destDir;
    for (const FileTask &task : plan.tasks)
        m_Copier->AddTask(task.source, task.destination, task.kind);
}

QString EditSession::FinishExport(bool copied, bool *ok)
{
    const EditLogic::ExportPlan plan = m_Export;
    m_Export = EditLogic::ExportPlan();
    const QStringList failed = m_Copier->TakeFailedTasks();
    *ok = false;
    if (!copied) {
        // What was copied goes once the copier is free.
        m_Copier->AddTask(plan.stageDir, QString(), 1);
        return QString();
    }
    const ExtractLogic::Delivery delivery
        = ExtractLogic::MoveUp(plan.stageDir, m_ExportDest, QString(), plan.names);
    const QString problems = EditLogic::ExportProblemText(failed, delivery, plan.stageDir);
    *ok = problems.isEmpty();
    return *ok ? EditLogic::ExportSuccessText(delivery.renamed) : problems;
}

// --- save -----------------------------------------------------------------------------------

QString EditSession::BootImageCopy(int i)
{
    return Util::GetTempDir() + QStringLiteral("/boot-images/%1.img").arg(i);
}

BootOptions::Result EditSession::SaveBoot() const
{
    // The boot files take names no entry of the edited content has.
    QString source = m_WorkDir;
    while (source.size() > 1 && source.endsWith(QLatin1Char('/')))
        source.chop(1);
    return BootOptions::Build(m_Catalog, m_Extents, source, [this](const QString &path) {
        return m_Tree->GetItem(path) != nullptr;
    });
}

QString EditSession::PrepareSave(const QStringList &unstaged, const QStringList &changed)
{
    QString refusal = EditLogic::SaveRefusalText(
        m_ExtractFailure, CImageWrite::PathListText(unstaged), CImageWrite::PathListText(changed));
    m_SaveBoot = SaveBoot();
    m_SaveLarge = !CImageWrite::LargeFiles(m_Tree->m_Root).isEmpty();
    if (refusal.isEmpty())
        PlaceBootFiles(m_SaveBoot, &refusal);
    return refusal;
}

QStringList EditSession::SaveArgs(const QString &output) const
{
    return Mkisofs::SaveArgs(output, m_SaveBoot.sourceArg, m_SaveBoot.args, m_SaveLarge);
}

bool EditSession::PlaceBootFiles(const BootOptions::Result &boot, QString *error)
{
    for (const BootOptions::BootFile &file : boot.files) {
        int index = -1;
        for (int i = 0; i < m_Catalog.entries.size() && index < 0; ++i) {
            const ElTorito::BootEntry &e = m_Catalog.entries.at(i);
            if (e.section == file.entry.section && e.loadRba == file.entry.loadRba
                && e.sectorCount == file.entry.sectorCount && e.media == file.entry.media
                && e.platform == file.entry.platform)
                index = i;
        }
        const QString target = m_WorkDir + file.name;
        QFile::remove(target);
        m_BootFiles << target;
        if (index < 0 || !QFile::copy(BootImageCopy(index), target)) {
            *error = QStringLiteral("The ISO file was not saved: the boot image of the loaded "
                                    "image could not be written to \"%1\".")
                         .arg(target);
            RemoveBootFiles();
            return false;
        }
    }
    return true;
}

void EditSession::RemoveBootFiles()
{
    for (const QString &file : qAsConst(m_BootFiles))
        QFile::remove(file);
    m_BootFiles.clear();
}
