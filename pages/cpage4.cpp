#include "pages/cpage4.h"

#include "pages/common/cimagebrowser.h"
#include "pages/common/cimageloader.h"
#include "pages/common/pagestyle.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/cinputdialog.h"
#include "ui/clineedit.h"
#include "ui/scheckboxheaderview.h"

#include <QAction>
#include <QCursor>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

using EditLogic::FileTask;

struct CPage4::Form
{
    CImageButton *loadiso = nullptr;
    CImageButton *back = nullptr;
    CLineEdit *search = nullptr;
    QTreeWidget *tree = nullptr;
    QTableWidget *list = nullptr;
    QLabel *bootkinds = nullptr;
    QList<CImageButton *> buttons; // loadiso, add, export_2, rename, delete_2, new_2, back, save
};

bool CPage4::s_InTable = false;

CPage4::CPage4(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , form(new Form)
    , m_ProgressDialog(parent)
    , m_Session(&m_Tree, &m_FileCopy, CImageWriter::WorkDir())
    , m_Writer(&m_FileCopy, &m_ProgressDialog)
{
    SetEscapeAsBack(
        [this] {
            // Back hides the page, and a hidden page's changes go with the next Create or Edit
            // page.
            return form->back && form->back->isEnabled() && m_Phase == Phase::Idle
                && m_Tree.m_Root.m_Children.isEmpty();
        },
        [this] { close(); });
    // W may still belong to a page closed before this one: it is claimed before its removal.
    m_Session.SetWorkDirRemoval([this] {
        if (!m_Writer.OwnsWorkDir())
            m_Writer.ClaimWorkDir();
        else
            m_FileCopy.AddTask(m_Session.WorkDir(), QString(), 1);
    });
    connect(&m_Session, &EditSession::copyStaged, &m_Writer, &CImageWriter::Restaged);
    connect(&m_Session, &EditSession::extractionFinished, this, &CPage4::OnExtractFinished);
}

CPage4::~CPage4()
{
    StopWork();
    if (m_CursorBusy)
        Util::RestoreCursor();
    delete m_ListMenu;
    delete m_Loader;
    delete form;
}

void CPage4::StopWork()
{
    // The tools end (bounded wait, in their runners' owners); a save's temporary file goes; the
    // copier stops between two files.
    m_Writer.Stop();
    m_CreateThread = nullptr;
    m_Writer.StopCopier();
    m_Session.Stop();
}

void CPage4::InitializeUI()
{
    qCDebug(lcEdit) << "CPage4::InitializeUI() is called!!";
    setObjectName(QStringLiteral("CPage4"));
    resize(674, 415);
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(QStringLiteral(":/nwu/page4"));
    SetBackGroundColor(Qt::white);
    if (QWidget *host = parentWidget())
        setFixedSize(host->width() - 6, host->height() - 110);

    Form *f = form;
    auto button = [this](const char *name, const char *images, int x, int y, auto slot) {
        auto *b
            = PageStyle::Button(this, name, QStringLiteral(":/nwu/") + QLatin1String(images), x, y);
        connect(b, qOverload<>(&CImageButton::clicked), this, slot);
        form->buttons << b;
        return b;
    };
    f->loadiso = button("loadiso", "loadiso", 11, 16, &CPage4::OnLoadISO);
    button("add", "Add", 226, 24, &CPage4::OnAdd);
    button("export_2", "Export", 303, 24, &CPage4::OnExport);
    button("rename", "Rename", 399, 24, &CPage4::OnRename);
    button("delete_2", "Delete", 509, 24, &CPage4::OnDelete);
    button("new_2", "New", 609, 24, &CPage4::OnNew)->hide();
    f->search = PageStyle::Placed(new CLineEdit(this), "search", 711, 16, 136, 27,
                                  QStringLiteral("padding-left:28px;"));
    f->search->SetImage(QStringLiteral(":/nwu/zoom"), QStringLiteral(":/nwu/zoom"),
                        QStringLiteral(":/nwu/zoom"), QPoint(7, 7));
    f->search->setPlaceholderText(QStringLiteral("Search"));
    f->tree = PageStyle::Placed(new QTreeWidget(this), "tree", 11, 58, 179, 338);
    f->list = PageStyle::Placed(new QTableWidget(this), "list", 190, 58, 658, 338);
    f->back = button("back", "backwhite", 11, 416, &QWidget::close);
    button("save", "save", 741, 416, &CPage4::OnSave);
    // What the loaded image can start with, between Back and Save.
    f->bootkinds = PageStyle::Placed(new QLabel(this), "bootkinds", 135, 423, 590, 16,
                                     QStringLiteral("font:12px;\ncolor:#606060;"));
    f->bootkinds->hide();

    m_Browser = new CImageBrowser(f->tree, f->list, &m_CurrentItem, this);
    const QString style = QString::fromLatin1(PageStyle::List);
    m_HeaderView = m_Browser->SetUp(style, style);
    m_Loader = new CImageLoader(&m_Tree, m_Browser, &s_InTable, this);
    connect(m_Loader, &CImageLoader::lineOutput, this, &CPage4::OnLineOutput);
    connect(m_Loader, &CImageLoader::loadingChanged, this,
            [this](bool loading) { SetButtonsEnabled(!loading); });
    connect(m_Loader, &CImageLoader::failed, &m_Session, &EditSession::ListingFailed);

    connect(f->search, &QLineEdit::textChanged, this, &CPage4::OnSearch);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage4::StopCreate);
    connect(m_HeaderView, &SCheckBoxHeaderView::checkStausChange, this, &CPage4::slotSelectAll);

    m_ListMenu = new QMenu();
    auto action = [this](const QString &text, void (CPage4::*slot)()) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, slot);
        m_ListMenu->addAction(a);
        return a;
    };
    m_AddAction = action(QStringLiteral("Add(&A)"), &CPage4::OnAdd);
    m_ExportAction = action(QStringLiteral("Export(&E)"), &CPage4::OnExport);
    m_RenameAction = action(QStringLiteral("Rename(&R)"), &CPage4::OnRename);
    m_DeleteAction = action(QStringLiteral("Delete(&D)"), &CPage4::OnDelete);
    m_NewAction = action(QStringLiteral("New(&N)"), &CPage4::OnNew);
    connect(f->list, &QWidget::customContextMenuRequested, this, &CPage4::OnListContextMenuRequest);
    connect(f->tree, &QTreeWidget::itemClicked, this, &CPage4::OnTreeCurrentChanged);
    connect(f->list, &QTableWidget::itemDoubleClicked, this, &CPage4::OnListViewDoubleClicked);
    connect(f->list, &QTableWidget::itemClicked, this, &CPage4::OnListViewClicked);

    SetButtonsEnabled(false);
    f->back->setEnabled(true);
    f->loadiso->setEnabled(true);
    // The working folder is this page's now; what an earlier page left there goes in the
    // background.
    m_Writer.ClaimWorkDir();
}

void CPage4::SetButtonsEnabled(bool on)
{
    for (CImageButton *button : qAsConst(form->buttons))
        button->setEnabled(on);
}

void CPage4::SetEnabled(bool on)
{
    SetButtonsEnabled(on);
    if (on != m_CursorBusy)
        return;
    if (on)
        Util::RestoreCursor();
    else
        Util::SetCursorBusy();
    m_CursorBusy = !on;
}

void CPage4::OnListContextMenuRequest(QPoint)
{
    if (m_ListMenu)
        m_ListMenu->exec(QCursor::pos());
}

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
    m_IsoPath = image;
    // The listing starts at once; the session reads the boot catalog before any of its lines is
    // read, and starts the extraction once W is free.
    m_Loader->Load(image);
    m_Session.Load(image);
    form->bootkinds->setText(QStringLiteral("Boot: ") + ElTorito::BootKinds(m_Session.Catalog()));
    form->bootkinds->show();
}

void CPage4::OnLineOutput(QString line)
{
    if (m_Loader->ReadLine(line))
        OnUnzipFinished();
}

void CPage4::OnUnzipFinished()
{
    m_Session.ListingDone();
    qCDebug(lcEdit) << "finished unzip";
    m_Loader->Show();
}

void CPage4::OnExtractFinished()
{
    qCDebug(lcEdit) << "CPage4::OnExtractFinished() is called!!";
}

void CPage4::OnSearch()
{
    m_Browser->SetFilter(form->search->text());
}

QTreeWidgetItem *CPage4::TopNode() const
{
    return form->tree->topLevelItemCount() > 0 ? form->tree->topLevelItem(0) : nullptr;
}

// --- changes ------------------------------------------------------------------------------

void CPage4::AddFileOpTasks(const QString &source, const QString &destination, int kind)
{
    m_Session.Stage(FileTask { kind, source, destination });
}

void CPage4::AddSubDir(Item *folder, const QString &dir, QTreeWidgetItem *node)
{
    if (!folder || !node)
        return;
    EditLogic::AddSubDir(folder, dir, m_Session.WorkDir());
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
    const EditLogic::AddResult result = m_Session.Add(m_CurrentItem, paths);
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
    Util::RestoreCursor();
    const QString problems = EditLogic::AddProblemText(result);
    if (!problems.isEmpty())
        Util::ShowError(problems);
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
    const EditLogic::NameCheck check = m_Session.Rename(child, *m_CurrentItem, name);
    if (check != EditLogic::NameCheck::Ok) {
        if (check != EditLogic::NameCheck::Unchanged)
            Util::ShowError(EditLogic::NameCheckText(check));
        return;
    }
    for (int row = 0; row < form->list->rowCount(); ++row) {
        if (m_Browser->RowItem(row) == child)
            form->list->item(row, 0)->setText(name);
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
        if (child->m_IsDir)
            CImageBrowser::del(GetTreeWidgetItemByData(TopNode(), child));
    }
    m_Session.Delete(m_CurrentItem, checked);
    RefreshTable();
}

// --- export and save ----------------------------------------------------------------------

bool CPage4::WaitForWorkDir(const QString &text)
{
    m_Stopped = false;
    m_Phase = Phase::Waiting;
    m_Writer.Begin();
    m_ProgressDialog.SetText(text);
    m_ProgressDialog.SetValue(0);
    if (m_Session.IsExtracting()) {
        m_ProgressDialog.SetText(QStringLiteral("Extracting iso..."));
        m_ProgressDialog.SetRange(0, 100);
        m_ProgressDialog.show();
        while (m_Session.IsExtracting() && !m_Stopped) {
            m_ProgressDialog.SetValue(m_Session.ExtractProgress());
            // Events for up to 200 ms, or until Stop is pressed.
            QEventLoop loop;
            QTimer::singleShot(200, &loop, &QEventLoop::quit);
            connect(&m_ProgressDialog, &CProgressDialog::SigCancel, &loop, &QEventLoop::quit);
            loop.exec();
        }
        qCDebug(lcEdit) << "Extract finished!!!";
    }
    // A Stop here leaves the changes queued.
    if (m_Stopped || !m_Writer.WaitForStaging()) {
        EndOperation();
        return false;
    }
    return true;
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
    const EditLogic::ExportPlan plan = EditLogic::PlanExport(
        QList<const Item *>(checked.cbegin(), checked.cend()), m_Session.WorkDir(), dest);
    if (!WaitForWorkDir(QStringLiteral("Exporting files...")))
        return;
    m_Phase = Phase::Exporting;
    m_Writer.Begin();
    m_Session.StartExport(plan, dest);
    bool ok = false;
    const QString said = m_Session.FinishExport(m_Writer.WaitForStaging(), &ok);
    EndOperation();
    if (ok)
        Util::ShowOpen(said, dest);
    else if (!said.isEmpty())
        Util::ShowError(said);
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
        m_Session.RemoveBootFiles();
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

void CPage4::OnSave()
{
    if (m_Tree.m_Root.m_Children.isEmpty()) {
        Util::ShowError(QStringLiteral("Please add files or directorys first!"));
        return;
    }
    const QString target = Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (target.isEmpty() || m_Phase != Phase::Idle
        || !WaitForWorkDir(QStringLiteral("Saving ISO file...")))
        return;
    qCDebug(lcEdit) << "file copy finished!!!";
    const QStringList unstaged = m_Writer.UnstagedItems(m_Tree.m_Root);
    QString refusal = EditLogic::SaveRefusalText(
        m_Session.ExtractFailure(), CImageWriter::PathListText(unstaged),
        CImageWriter::PathListText(m_Writer.ChangedItems()));
    const BootOptions::Result boot = m_Session.SaveBoot();
    if (!refusal.isEmpty() || !m_Session.PlaceBootFiles(boot, &refusal)) {
        EndOperation();
        Util::ShowError(refusal);
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
        m_Session.RemoveBootFiles();
        EndOperation();
        return;
    }
    m_Phase = Phase::Saving;
    connect(m_CreateThread, &CRunCommandThread::standoutputline, this, &CPage4::OnCreateOutput);
    connect(m_CreateThread, &CRunCommandThread::sigfinished, this, &CPage4::OnCreateFinished);
    m_CreateThread->start();
}

void CPage4::OnCreateFinished()
{
    if (!m_CreateThread || sender() != m_CreateThread)
        return;
    m_CreateThread = nullptr;
    m_Session.RemoveBootFiles();
    m_Phase = Phase::Idle;
    if (m_Writer.Finish()) {
        m_Session.MarkSaved();
        Util::ShowOpen(QStringLiteral("Save ISO file successfully!"),
                       QFileInfo(m_SaveIsoPath).absolutePath());
    }
}
