#include "pages/cpage4.h"

#include "pages/common/cimagebrowser.h"
#include "pages/common/pagestyle.h"
#include "logic/extractlogic.h"
#include "services/mkisofs.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/cinputdialog.h"
#include "ui/clineedit.h"
#include "ui/commdialog.h"
#include "ui/scheckboxheaderview.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

Q_LOGGING_CATEGORY(lcEdit, "vexlor.edit", QtWarningMsg)

using EditLogic::FileTask;

// The page's form, built in code.
namespace Ui {
class CPage4
{
public:
    CImageButton *loadiso = nullptr;
    CImageButton *add = nullptr;
    CImageButton *export_2 = nullptr;
    CImageButton *rename = nullptr;
    CImageButton *delete_2 = nullptr;
    CImageButton *new_2 = nullptr;
    CLineEdit *search = nullptr;
    QTreeWidget *tree = nullptr;
    QTableWidget *list = nullptr;
    CImageButton *back = nullptr;
    CImageButton *save = nullptr;
    QLabel *bootkinds = nullptr;

    void setupUi(QDialog *page)
    {
        page->setObjectName(QStringLiteral("CPage4"));
        page->resize(674, 415);
        auto button = [page](const char *name) {
            auto *b = new CImageButton(page);
            b->setObjectName(QString::fromLatin1(name));
            return b;
        };
        loadiso = button("loadiso");
        add = button("add");
        export_2 = button("export_2");
        rename = button("rename");
        delete_2 = button("delete_2");
        new_2 = button("new_2");
        search = new CLineEdit(page);
        search->setObjectName(QStringLiteral("search"));
        tree = new QTreeWidget(page);
        tree->setObjectName(QStringLiteral("tree"));
        list = new QTableWidget(page);
        list->setObjectName(QStringLiteral("list"));
        back = button("back");
        save = button("save");
        bootkinds = new QLabel(page);
        bootkinds->setObjectName(QStringLiteral("bootkinds"));
        page->setWindowTitle(QStringLiteral("Dialog"));
    }
};
} // namespace Ui

namespace {

// Delivers events for about ms milliseconds, or until the progress dialog's Stop is pressed.
void processEventsFor(int ms, CProgressDialog *progress)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(progress, &CProgressDialog::SigCancel, &loop, &QEventLoop::quit);
    loop.exec();
}

QString nwu(const char *name)
{
    return QStringLiteral(":/nwu/") + QString::fromLatin1(name);
}

} // namespace

bool CPage4::s_InTable = false;

CPage4::CPage4(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , ui(new Ui::CPage4)
    , m_ProgressDialog(parent)
    , m_PendingOps(
          [this](const FileTask &t) { m_FileCopy.AddTask(t.source, t.destination, t.kind); })
    , m_WorkDir(CImageWriter::WorkDir())
    , m_Writer(&m_FileCopy, &m_ProgressDialog)
    , m_Listing(&m_Tree, &s_InTable)
{
    SetEscapeAsBack(
        [this] {
            // Back hides the page, and a hidden page's changes go with the next Create or Edit
            // page.
            return ui->back && ui->back->isEnabled() && m_Phase == Phase::Idle
                && m_Tree.m_Root.m_Children.isEmpty();
        },
        [this] { close(); });
    m_Listing.SetErrorReader(SevenZip::ErrorReader());
}

CPage4::~CPage4()
{
    StopWork();
    if (m_CursorBusy)
        Util::RestoreCursor();
    delete m_ListMenu;
    delete ui;
}

void CPage4::StopWork()
{
    // The runners end their tools (bounded wait, in the runners' owner); a save's temporary
    // file goes; the copier stops between two files.
    for (CRunCommandThread **runner : { &m_ListThread, &m_ExtractThread }) {
        if (*runner)
            m_Runners.Retire(*runner);
        *runner = nullptr;
    }
    m_Writer.Stop();
    m_CreateThread = nullptr;
    RemoveBootFiles();
    m_Writer.StopCopier();
    // The copies of an export in progress go with their hidden folder.
    if (!m_ExportStageDir.isEmpty())
        QDir(m_ExportStageDir).removeRecursively();
    m_ExportStageDir.clear();
}

void CPage4::InitializeUI()
{
    ui->setupUi(this);
    qCDebug(lcEdit) << "CPage4::InitializeUI() is called!!";
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(nwu("page4"));
    SetBackGroundColor(Qt::white);
    if (QWidget *host = parentWidget())
        setFixedSize(host->width() - 6, host->height() - 110);

    const struct
    {
        CImageButton *button;
        const char *images;
        QPoint pos;
    } buttons[] = {
        { ui->loadiso, "loadiso", { 11, 16 } },  { ui->add, "Add", { 226, 24 } },
        { ui->export_2, "Export", { 303, 24 } }, { ui->rename, "Rename", { 399, 24 } },
        { ui->delete_2, "Delete", { 509, 24 } }, { ui->new_2, "New", { 609, 24 } },
        { ui->back, "backwhite", { 11, 416 } },  { ui->save, "save", { 741, 416 } },
    };
    for (const auto &b : buttons) {
        const QString base = nwu(b.images);
        b.button->SetBackGround(base + QLatin1Char('1'), base + QLatin1Char('2'),
                                base + QLatin1Char('3'), QString());
        b.button->move(b.pos);
    }
    ui->new_2->hide();
    // What the loaded image can start with, between Back and Save.
    ui->bootkinds->setStyleSheet(QStringLiteral("font:12px;\ncolor:#606060;"));
    ui->bootkinds->setGeometry(135, 423, 590, 16);
    ui->bootkinds->hide();

    ui->search->SetImage(nwu("zoom"), nwu("zoom"), nwu("zoom"), QPoint(7, 7));
    ui->search->move(711, 16);
    ui->search->setFixedSize(136, 27);
    ui->search->setPlaceholderText(QStringLiteral("Search"));
    ui->search->setStyleSheet(QStringLiteral("padding-left:28px;"));

    connect(ui->back, SIGNAL(clicked()), this, SLOT(close()));
    connect(ui->loadiso, SIGNAL(clicked()), this, SLOT(OnLoadISO()));
    connect(ui->add, SIGNAL(clicked()), this, SLOT(OnAdd()));
    connect(ui->export_2, SIGNAL(clicked()), this, SLOT(OnExport()));
    connect(ui->rename, SIGNAL(clicked()), this, SLOT(OnRename()));
    connect(ui->delete_2, SIGNAL(clicked()), this, SLOT(OnDelete()));
    connect(ui->new_2, SIGNAL(clicked()), this, SLOT(OnNew()));
    connect(ui->save, SIGNAL(clicked()), this, SLOT(OnSave()));
    connect(ui->search, &QLineEdit::textChanged, this, &CPage4::OnSearch);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage4::StopCreate);

    ui->tree->move(11, 58);
    ui->tree->setFixedSize(179, 338);
    ui->list->move(190, 58);
    ui->list->setFixedSize(658, 338);
    m_Browser = new CImageBrowser(ui->tree, ui->list, &m_CurrentItem, this);
    const QString style = QString::fromLatin1(PageStyle::List);
    m_HeaderView = m_Browser->SetUp(style, style);
    connect(m_HeaderView, &SCheckBoxHeaderView::checkStausChange, this, &CPage4::slotSelectAll);

    m_ListMenu = new QMenu();
    auto action = [this](const QString &text, void (CPage4::*slot)()) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, [this, slot](bool) { (this->*slot)(); });
        m_ListMenu->addAction(a);
        return a;
    };
    m_AddAction = action(QStringLiteral("Add(&A)"), &CPage4::OnAdd);
    m_ExportAction = action(QStringLiteral("Export(&E)"), &CPage4::OnExport);
    m_RenameAction = action(QStringLiteral("Rename(&R)"), &CPage4::OnRename);
    m_DeleteAction = action(QStringLiteral("Delete(&D)"), &CPage4::OnDelete);
    m_NewAction = action(QStringLiteral("New(&N)"), &CPage4::OnNew);
    connect(ui->list, &QWidget::customContextMenuRequested, this,
            &CPage4::OnListContextMenuRequest);
    connect(ui->tree, &QTreeWidget::itemClicked, this, &CPage4::OnTreeCurrentChanged);
    connect(ui->list, &QTableWidget::itemDoubleClicked, this, &CPage4::OnListViewDoubleClicked);
    connect(ui->list, &QTableWidget::itemClicked, this, &CPage4::OnListViewClicked);

    SetEnabled(false);
    ui->back->setEnabled(true);
    ui->loadiso->setEnabled(true);
    SetBusyCursor(false);
    // The working folder is this page's now; what an earlier page left there goes in the
    // background.
    m_Writer.ClaimWorkDir();
}

void CPage4::SetEnabled(bool on)
{
    for (QWidget *w : { static_cast<QWidget *>(ui->back), static_cast<QWidget *>(ui->loadiso),
                        static_cast<QWidget *>(ui->add), static_cast<QWidget *>(ui->rename),
                        static_cast<QWidget *>(ui->delete_2), static_cast<QWidget *>(ui->export_2),
                        static_cast<QWidget *>(ui->new_2), static_cast<QWidget *>(ui->save) })
        w->setEnabled(on);
    SetBusyCursor(!on);
}

void CPage4::SetBusyCursor(bool busy)
{
    if (busy == m_CursorBusy)
        return;
    if (busy)
        Util::SetCursorBusy();
    else
        Util::RestoreCursor();
    m_CursorBusy = busy;
}

void CPage4::OnListContextMenuRequest(QPoint)
{
    if (m_ListMenu)
        m_ListMenu->exec(QCursor::pos());
}

void CPage4::OnNew() { }

// --- loading ------------------------------------------------------------------------------

void CPage4::OnLoadISO()
{
    const QString file = Util::GetOpenFileDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    // The loaded image and its working copy stay as they are when nothing is chosen.
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    LoadImage(file);
}

void CPage4::LoadImage(const QString &image)
{
    if (m_ListThread)
        m_Runners.Retire(m_ListThread);
    m_ListThread = nullptr;
    if (m_ExtractThread) {
        // The old 7-Zip writes into W until it has ended: W is removed for the new image only
        // after that.
        auto ended = std::make_shared<bool>(false);
        m_Runners.Retire(m_ExtractThread, [ended] { *ended = true; });
        m_PreviousExtractionEnded = ended;
    }
    m_ExtractThread = nullptr;
    m_IsoPath = image;
    m_Changed = false;

    // The views point into the tree that is about to be cleared.
    m_Browser->Clear();
    m_Tree.Clear();
    m_Tree.m_Name = QFileInfo(image).fileName();
    m_Listing.Reset();
    m_ExtractFailure.clear();
    m_ExtractProgress = 0;
    SetEnabled(false);
    WaitForPreviousExtraction();

    // The new image replaces the working folder: the tasks of the old one go, W is removed once
    // the old 7-Zip has ended, and the extraction starts once the removal has ended. Tasks the
    // user causes from now on wait for the extraction.
    m_PendingOps.Clear();
    m_PendingOps.Hold(true);
    m_FileCopy.ClearAllTasks();
    m_WorkDirRemovalQueued = false;

    // The listing needs nothing of W: it starts at once.
    m_ListThread = m_Runners.Create(SevenZip::Program(), SevenZip::ListArgsUtf8(image),
                                    SevenZip::ErrorReader());
    connect(m_ListThread, &CRunCommandThread::standoutputline, this, &CPage4::OnLineOutput);
    connect(m_ListThread, &CRunCommandThread::sigfinished, this, &CPage4::OnListFinished);
    m_ListThread->start();

    const QString bootImage = Util::GetTempDir() + QStringLiteral("/boot.bin");
    Util::RemoveFile(bootImage);
    Util::BootExtract(image, bootImage);
    // Every boot image is kept from now on: a save may replace the loaded image itself.
    m_Catalog = ElTorito::ReadCatalog(image);
    ui->bootkinds->setText(QStringLiteral("Boot: ") + ElTorito::BootKinds(m_Catalog));
    ui->bootkinds->show();
    m_Extents = ElTorito::ReadExtents(image);
    QDir(QFileInfo(BootImageCopy(0)).absolutePath()).removeRecursively();
    QDir().mkpath(QFileInfo(BootImageCopy(0)).absolutePath());
    for (int i = 0; i < m_Catalog.entries.size(); ++i) {
        const QByteArray data = ElTorito::ReadBootImage(image, m_Catalog.entries.at(i));
        QFile copy(BootImageCopy(i));
        if (data.isEmpty() || !copy.open(QIODevice::WriteOnly) || copy.write(data) != data.size())
            qCWarning(lcEdit) << "cannot keep boot image" << i << copy.fileName();
    }

    m_ExtractThread = m_Runners.Create(
        SevenZip::Program(), SevenZip::ExtractAllArgs(m_WorkDir, image), SevenZip::ErrorReader());
    connect(m_ExtractThread, &CRunCommandThread::standoutputline, this, &CPage4::OnExtractOutput);
    connect(m_ExtractThread, &CRunCommandThread::sigfinished, this, &CPage4::OnExtractFinished);
    StartExtractionWhenReady();
}

void CPage4::WaitForPreviousExtraction()
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

void CPage4::StartExtractionWhenReady()
{
    if (!m_ExtractThread || m_ExtractThread->isRunning())
        return;
    if (m_PreviousExtractionEnded && !*m_PreviousExtractionEnded) {
        QTimer::singleShot(20, this, &CPage4::StartExtractionWhenReady);
        return;
    }
    m_PreviousExtractionEnded.reset();
    if (!m_WorkDirRemovalQueued) {
        m_WorkDirRemovalQueued = true;
        if (!m_Writer.OwnsWorkDir())
            m_Writer.ClaimWorkDir();
        else
            m_FileCopy.AddTask(m_WorkDir, QString(), 1);
    }
    if (!m_FileCopy.IsIdle()) {
        QTimer::singleShot(20, this, &CPage4::StartExtractionWhenReady);
        return;
    }
    m_ExtractThread->start();
}

void CPage4::OnLineOutput(QString line)
{
    // Lines of a listing the page has given up are not for this tree.
    if (sender() && sender() != m_ListThread)
        return;
    if (m_Listing.ReadLine(line))
        OnUnzipFinished();
}

void CPage4::OnUnzipFinished()
{
    // 7-Zip shows the boot images as files of a folder "[BOOT]"; they are no files of the
    // image, and the extraction writes them into W, from where they must not reach a save.
    if (EditLogic::RemoveVirtualBootEntries(m_Tree))
        AddFileOpTasks(m_WorkDir + EditLogic::VirtualBootFolder(), QString(), 1);
    // Each save makes its own boot catalog; the old one is no file of the content.
    const QString catalog = BootOptions::Build(m_Catalog, m_Extents, m_WorkDir).catalogPath;
    const Item *catalogItem = catalog.isEmpty() ? nullptr : m_Tree.GetItem(catalog);
    if (catalogItem && !catalogItem->m_IsDir) {
        m_Tree.RemoveItem(catalog);
        EditLogic::FollowDelete(m_Extents.files, catalog);
        AddFileOpTasks(m_WorkDir + catalog, QString(), 1);
    }

    SetEnabled(true);
    qCDebug(lcEdit) << "finished unzip";
    m_Browser->Show(m_Tree);
}

void CPage4::OnListFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_ListThread)
        return;
    m_ListThread = nullptr;
    const CRunOutcome outcome = runner->Outcome();
    m_Runners.Retire(runner);
    if (m_Listing.Closed())
        return;
    // The table never closed: not an image, or no tool. The page is usable again and says
    // what 7-Zip said; there is nothing to extract either.
    qCWarning(lcEdit) << "no complete listing for" << m_IsoPath << outcome.exitCode
                      << m_Listing.Errors();
    if (m_ExtractThread)
        m_Runners.Retire(m_ExtractThread);
    m_ExtractThread = nullptr;
    m_PendingOps.Clear();
    m_PendingOps.Hold(false);
    m_Browser->Clear();
    m_Tree.Clear();
    s_InTable = false;
    SetEnabled(true);
    QString text = QStringLiteral("The file could not be read as an ISO image.");
    if (outcome.kind == CRunOutcome::FailedToStart)
        text += QStringLiteral("\nThe 7-Zip program could not be started.");
    else if (!m_Listing.Errors().isEmpty())
        text += QLatin1Char('\n') + m_Listing.Errors().constLast();
    Util::ShowError(text);
}

void CPage4::OnExtractOutput(QString line)
{
    // Most lines name a file ("- path"); only a line with "% " past its start can be progress.
    if (line.indexOf(QLatin1String("% ")) <= 0)
        return;
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (!progress.valid)
        return;
    m_ExtractProgress = progress.percent;
    qCDebug(lcEdit) << "m_ExtractProgress:" << m_ExtractProgress;
}

void CPage4::OnExtractFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_ExtractThread)
        return;
    const CRunOutcome outcome = runner->Outcome();
    if (!outcome.Ok() || !outcome.errorLines.isEmpty()) {
        // W lacks part of the image: a save would silently leave it out.
        m_ExtractFailure = QStringLiteral("Some files could not be extracted.");
        const QString tool = outcome.ErrorSummary();
        m_ExtractFailure += QLatin1Char('\n')
            + (tool.isEmpty()
                   ? QStringLiteral("7-Zip ended with exit status %1.").arg(outcome.exitCode)
                   : tool);
        qCWarning(lcEdit) << "extraction failed" << outcome.kind << outcome.errorLines;
    }
    m_Runners.Retire(runner);
    m_ExtractThread = nullptr;
    m_PendingOps.Hold(false);
    qCDebug(lcEdit) << "CPage4::OnExtractFinished() is called!!";
}

// --- browsing -----------------------------------------------------------------------------

void CPage4::RefreshTable()
{
    m_Browser->RefreshTable();
}

void CPage4::LoadFiles(Item *folder, QTreeWidget *view, QTreeWidgetItem *node)
{
    m_Browser->LoadFiles(folder, view, node);
}

QTreeWidgetItem *CPage4::GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item)
{
    return CImageBrowser::GetTreeWidgetItemByData(node, item);
}

void CPage4::RefreshTreeWidget()
{
    m_Browser->RefreshTreeWidget();
}

void CPage4::OnTreeCurrentChanged()
{
    m_Browser->OnTreeCurrentChanged();
}

void CPage4::OnListViewDoubleClicked()
{
    m_Browser->OnListViewDoubleClicked();
}

void CPage4::OnListViewClicked(QTableWidgetItem *pItem)
{
    m_Browser->OnListViewClicked(pItem);
}

void CPage4::slotSelectAll(bool bChecked)
{
    m_Browser->slotSelectAll(bChecked);
}

void CPage4::OnSearch()
{
    m_Browser->SetFilter(ui->search->text());
}

QTreeWidgetItem *CPage4::TopNode() const
{
    return ui->tree->topLevelItemCount() > 0 ? ui->tree->topLevelItem(0) : nullptr;
}

// --- changes ------------------------------------------------------------------------------

void CPage4::AddFileOpTasks(const QString &source, const QString &destination, int kind)
{
    if (kind == 0 || kind == 3) // a copy or a link
        m_Writer.Restaged(source);
    m_PendingOps.Add(FileTask { kind, source, destination });
}

void CPage4::AddSubDir(Item *folder, const QString &dir, QTreeWidgetItem *node)
{
    if (!folder || !node)
        return;
    EditLogic::AddSubDir(folder, dir, m_WorkDir);
    LoadFiles(folder, nullptr, node);
}

void CPage4::OnAdd()
{
    if (!m_CurrentItem)
        return;
    const QStringList paths = Util::GetDirsAndFilesDialog(this);
    if (paths.isEmpty() || !m_CurrentItem)
        return;
    QTreeWidgetItem *folderNode = GetTreeWidgetItemByData(TopNode(), m_CurrentItem);
    Util::SetCursorBusy();
    const EditLogic::AddResult result
        = EditLogic::AddLocal(m_Tree, m_CurrentItem, paths, m_WorkDir);
    for (Item *added : result.added) {
        m_Browser->AppendRow(added);
        if (added->m_IsDir && folderNode) {
            auto *node = new QTreeWidgetItem();
            node->setText(0, added->GetName());
            node->setIcon(0, PageStyle::FolderIcon());
            node->setData(0, Qt::UserRole, QVariant::fromValue(added));
            LoadFiles(added, nullptr, node);
            folderNode->addChild(node);
        }
    }
    for (const FileTask &task : result.tasks)
        AddFileOpTasks(task.source, task.destination, task.kind);
    m_Changed = m_Changed || !result.tasks.isEmpty();
    Util::RestoreCursor();
    QStringList problems;
    if (!result.existing.isEmpty())
        problems << EditLogic::ExistingText(result.existing);
    for (const QString &path : result.unreadable)
        problems << QStringLiteral("Cannot read \"%1\".").arg(path);
    if (!problems.isEmpty())
        Util::ShowError(problems.join(QLatin1Char('\n')));
}

void CPage4::OnRename()
{
    const QList<Item *> checked = m_Browser->CheckedItems();
    if (checked.isEmpty() || !m_CurrentItem) {
        Util::ShowError(QStringLiteral("Please select one row in the table list first"));
        return;
    }
    Item *child = checked.first();
    CInputDialog dialog;
    dialog.SetInput(child->GetName());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.GetInput();
    // The dialog may have let other slots run: the item must still be there.
    if (name.isEmpty() || !m_CurrentItem || !m_CurrentItem->m_Children.contains(child))
        return;
    const EditLogic::NameCheck check = EditLogic::CheckName(*child, *m_CurrentItem, name);
    if (check == EditLogic::NameCheck::Unchanged)
        return;
    if (check != EditLogic::NameCheck::Ok) {
        Util::ShowError(EditLogic::NameCheckText(check));
        return;
    }
    const QString oldPath = child->m_Path;
    const FileTask task = EditLogic::Rename(child, name, m_WorkDir);
    EditLogic::FollowRename(m_Extents.files, oldPath, child->m_Path);
    AddFileOpTasks(task.source, task.destination, task.kind);
    m_Changed = true;
    for (int row = 0; row < ui->list->rowCount(); ++row) {
        if (m_Browser->RowItem(row) == child)
            ui->list->item(row, 0)->setText(name);
    }
    // The folder view follows the new name.
    if (QTreeWidgetItem *node = GetTreeWidgetItemByData(TopNode(), child))
        node->setText(0, name);
}

void CPage4::OnDelete()
{
    const QList<Item *> checked = m_Browser->CheckedItems();
    if (checked.isEmpty() || !m_CurrentItem) {
        Util::ShowError(QStringLiteral("Please select one row in the table list first"));
        return;
    }
    for (Item *child : checked) {
        EditLogic::FollowDelete(m_Extents.files, child->m_Path);
        if (child->m_IsDir)
            CImageBrowser::del(GetTreeWidgetItemByData(TopNode(), child));
    }
    for (const FileTask &task : EditLogic::Delete(m_CurrentItem, checked, m_WorkDir)) {
        AddFileOpTasks(task.source, task.destination, task.kind);
        m_Changed = true;
    }
    RefreshTable();
}

// --- export -------------------------------------------------------------------------------

bool CPage4::WaitForExtraction()
{
    if (!m_PendingOps.IsHolding())
        return !m_Stopped;
    m_ProgressDialog.SetText(QStringLiteral("Extracting iso..."));
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.show();
    while (m_PendingOps.IsHolding() && !m_Stopped) {
        m_ProgressDialog.SetValue(m_ExtractProgress);
        processEventsFor(200, &m_ProgressDialog);
    }
    qCDebug(lcEdit) << "Extract finished!!!";
    return !m_Stopped;
}

void CPage4::OnExport()
{
    const QList<Item *> checked = m_Browser->CheckedItems();
    if (checked.isEmpty()) {
        Util::ShowError(QStringLiteral("Please select files or directorys in the list first."));
        return;
    }
    const QString dest = Util::GetDirDialog(this);
    if (dest.isEmpty() || m_Phase != Phase::Idle)
        return;
    // The items are copied from where they are once W holds every change made so far; their
    // paths are taken now (nothing can change them while the progress dialog is shown).
    QList<const Item *> items;
    for (const Item *child : checked)
        items << child;
    const EditLogic::ExportPlan plan = EditLogic::PlanExport(items, m_WorkDir, dest);
    m_Stopped = false;
    m_Phase = Phase::Waiting;
    m_Writer.Begin();
    m_ProgressDialog.SetText(QStringLiteral("Exporting files..."));
    m_ProgressDialog.SetValue(0);
    // A Stop here leaves the changes queued.
    if (!WaitForExtraction() || !m_Writer.WaitForStaging()) {
        EndOperation();
        return;
    }
    m_FileCopy.TakeFailedTasks();
    m_Phase = Phase::Exporting;
    m_ExportStageDir = plan.stageDir;
    m_Writer.Begin();
    for (const FileTask &task : plan.tasks)
        m_FileCopy.AddTask(task.source, task.destination, task.kind);
    const bool copied = m_Writer.WaitForStaging();
    m_ExportStageDir.clear();
    const QStringList failed = m_FileCopy.TakeFailedTasks();
    if (!copied) {
        // Stopped: the copies are dropped, and what was copied goes once the copier is free.
        m_FileCopy.AddTask(plan.stageDir, QString(), 1);
        EndOperation();
        return;
    }
    const ExtractLogic::Delivery delivery
        = ExtractLogic::MoveUp(plan.stageDir, dest, QString(), plan.names);
    EndOperation();
    QStringList problems;
    for (const QString &source : failed)
        problems << QStringLiteral("Cannot copy \"%1\".").arg(source);
    for (const QString &name : delivery.failed)
        problems << QStringLiteral("Cannot move \"%1\" into place; it stays in \"%2\".")
                        .arg(name, plan.stageDir);
    if (!problems.isEmpty()) {
        Util::ShowError(QStringLiteral("Export failed.\n") + problems.join(QLatin1Char('\n')));
        return;
    }
    QList<QPair<QString, QString>> renamed;
    for (const ExtractLogic::Renamed &r : delivery.renamed)
        renamed << qMakePair(r.name, r.keptAs);
    Util::ShowOpen(EditLogic::ExportSuccessText(renamed), dest);
}

void CPage4::EndOperation()
{
    m_Phase = Phase::Idle;
    m_Writer.End();
}

void CPage4::StopCreate()
{
    m_Stopped = true;
    switch (m_Phase) {
    case Phase::Exporting:
        // Only the copies of the export are queued now; the changes were carried out before.
        m_FileCopy.ClearAllTasks();
        m_Writer.Stop();
        break;
    case Phase::Saving: {
        // The writer stops mkisofs and removes what it wrote; the target stays as it was.
        m_Writer.Stop();
        m_CreateThread = nullptr;
        RemoveBootFiles();
        EndOperation();
        const QString target = m_SaveIsoPath;
        QTimer::singleShot(0, this, [target] {
            Util::ShowError(
                QFileInfo::exists(target)
                    ? QStringLiteral("Saving was stopped; \"%1\" was left as it was.").arg(target)
                    : QStringLiteral("Saving was stopped; no ISO file was written."));
        });
        break;
    }
    case Phase::Waiting:
        // The staged changes stay queued for a later save.
        m_Writer.Stop();
        break;
    case Phase::Idle:
        break;
    }
    m_ProgressDialog.hide();
}

// --- save ---------------------------------------------------------------------------------

QString CPage4::BootImageCopy(int i) const
{
    return Util::GetTempDir() + QStringLiteral("/boot-images/%1.img").arg(i);
}

bool CPage4::PlaceBootFiles(const BootOptions::Result &boot, QString *error)
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
            return false;
        }
    }
    return true;
}

void CPage4::RemoveBootFiles()
{
    for (const QString &file : qAsConst(m_BootFiles))
        QFile::remove(file);
    m_BootFiles.clear();
}

void CPage4::OnSave()
{
    if (m_Tree.m_Root.m_Children.isEmpty()) {
        Util::ShowError(QStringLiteral("Please add files or directorys first!"));
        return;
    }
    const QString target = Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (target.isEmpty() || m_Phase != Phase::Idle)
        return;
    m_Stopped = false;
    m_Phase = Phase::Waiting;
    m_Writer.Begin();
    m_ProgressDialog.SetText(QStringLiteral("Saving ISO file..."));
    m_ProgressDialog.SetValue(0);
    if (!WaitForExtraction() || !m_Writer.WaitForStaging()) {
        EndOperation();
        return;
    }
    qCDebug(lcEdit) << "file copy finished!!!";
    if (!m_ExtractFailure.isEmpty()) {
        EndOperation();
        Util::ShowError(QStringLiteral("The ISO file was not saved: the image could not be read "
                                       "completely, so the new one would lack files.\n")
                        + m_ExtractFailure);
        return;
    }
    const QStringList unstaged = m_Writer.UnstagedItems(m_Tree.m_Root);
    if (!unstaged.isEmpty()) {
        EndOperation();
        Util::ShowError(QStringLiteral("The ISO file was not saved: these items could not be "
                                       "copied for it. Remove them and add them again.\n")
                        + CImageWriter::PathListText(unstaged));
        return;
    }
    if (!m_Writer.ChangedItems().isEmpty()) {
        EndOperation();
        Util::ShowError(QStringLiteral("The ISO file was not saved: these files changed since "
                                       "they were added. Remove them and add them again.\n")
                        + CImageWriter::PathListText(m_Writer.ChangedItems()));
        return;
    }
    // The boot files take names no entry of the edited content has.
    const BootOptions::Result boot = BootOptions::Build(
        m_Catalog, m_Extents, CImageWriter::WorkDirSource(),
        [this](const QString &path) { return m_Tree.GetItem(path) != nullptr; });
    QString error;
    if (!PlaceBootFiles(boot, &error)) {
        RemoveBootFiles();
        EndOperation();
        Util::ShowError(error);
        return;
    }
    m_SaveIsoPath = target;
    const bool large = !CImageWriter::LargeFiles(m_Tree.m_Root).isEmpty();
    m_CreateThread = m_Writer.Prepare(
        target,
        [&](const QString &output) {
            return Mkisofs::SaveArgs(output, boot.sourceArg, boot.args, large);
        },
        QStringLiteral("Saving ISO file..."), QStringLiteral("Save ISO failed"));
    if (!m_CreateThread) {
        RemoveBootFiles();
        EndOperation();
        return;
    }
    m_Phase = Phase::Saving;
    connect(m_CreateThread, &CRunCommandThread::standoutputline, this, &CPage4::OnCreateOutput);
    connect(m_CreateThread, &CRunCommandThread::sigfinished, this, &CPage4::OnCreateFinished);
    m_CreateThread->start();
}

void CPage4::OnCreateOutput(QString line)
{
    m_Writer.ReadOutput(line);
}

void CPage4::OnCreateFinished()
{
    if (!m_CreateThread || sender() != m_CreateThread)
        return;
    m_CreateThread = nullptr;
    RemoveBootFiles();
    m_Phase = Phase::Idle;
    if (m_Writer.Finish()) {
        m_Changed = false;
        Util::ShowOpen(QStringLiteral("Save ISO file successfully!"),
                       QFileInfo(m_SaveIsoPath).absolutePath());
    }
}
