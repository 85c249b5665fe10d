#include "pages/cpage4.h"

#include "pages/common/cimageloader.h"
#include "pages/common/pagestyle.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/cinputdialog.h"
#include "ui/clineedit.h"

#include <QFileInfo>
#include <QLabel>
#include <QTimer>

struct CPage4::Form : PageStyle::BrowseForm
{
    CLineEdit *search = nullptr;
    QLabel *bootkinds = nullptr;
};

bool CPage4::s_InTable = false;

CPage4::CPage4(QWidget *parent)
    : CWriterPage(parent)
    , form(new Form)
    , m_Session(&m_Tree, &m_FileCopy, CImageWriter::WorkDir())
{
    SetEscapeAsBack(
        [this] {
            // Back hides the page, and a hidden page's changes go with the next Create or Edit
            // page.
            return form->back && form->back->isEnabled() && !m_Writer.IsBusy()
                && m_Tree.m_Root.m_Children.isEmpty();
        },
        [this] { close(); });
    // W may still belong to a page closed before this one: it is claimed before its removal.
    m_Session.SetWorkDirRemoval([this] { m_Writer.QueueWorkDirRemoval(); });
    connect(&m_Session, &EditSession::copyStaged, &m_Writer, &CImageWriter::Restaged);
    connect(&m_Session, &EditSession::extractionFinished, this, &CPage4::OnExtractFinished);
}

CPage4::~CPage4()
{
    StopWork();
    if (m_CursorBusy)
        Util::RestoreCursor();
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
    resize(674, 415);
    PageStyle::SetUpPage(this, "CPage4", QStringLiteral(":/nwu/page4"));
    SetBackGroundColor(Qt::white);
    if (QWidget *host = parentWidget())
        setFixedSize(host->width() - 6, host->height() - 110);

    Form *f = form;
    auto button = [this](const char *name, const char *images, int x, int y, auto slot) {
        auto *b
            = PageStyle::Button(this, name, QStringLiteral(":/nwu/") + QLatin1String(images), x, y);
        connect(b, qOverload<>(&CImageButton::clicked), this, slot);
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
    m_Browser->ConnectTo(this);
    m_Loader = new CImageLoader(&m_Tree, m_Browser, &s_InTable, this);
    connect(m_Loader, &CImageLoader::lineOutput, this, &CPage4::OnLineOutput);
    connect(m_Loader, &CImageLoader::loadingChanged, this,
            [this](bool loading) { SetButtonsEnabled(!loading); });
    connect(m_Loader, &CImageLoader::failed, &m_Session, &EditSession::ListingFailed);
    connect(f->search, &QLineEdit::textChanged, this, &CPage4::OnSearch);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage4::StopCreate);
    m_ListMenu = PageStyle::ListMenu(
        f->list,
        { { QStringLiteral("Add(&A)"), std::bind(&CPage4::OnAdd, this) },
          { QStringLiteral("Export(&E)"), std::bind(&CPage4::OnExport, this) },
          { QStringLiteral("Rename(&R)"), std::bind(&CPage4::OnRename, this) },
          { QStringLiteral("Delete(&D)"), std::bind(&CPage4::OnDelete, this) },
          { QStringLiteral("New(&N)"), std::bind(&CPage4::OnNew, this) } });

    SetButtonsEnabled(false);
    f->back->setEnabled(true);
    f->loadiso->setEnabled(true);
    // The working folder is this page's now; what an earlier page left there goes in the
    // background.
    m_Writer.ClaimWorkDir();
}

void CPage4::SetButtonsEnabled(bool on)
{
    for (auto *button : findChildren<CImageButton *>(QString(), Qt::FindDirectChildrenOnly))
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

// --- changes ------------------------------------------------------------------------------

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
    // The folder view follows the new name.
    m_Browser->Renamed(child);
}

void CPage4::OnDelete()
{
    const QList<Item *> checked = m_Browser->CheckedItems();
    if (checked.isEmpty() || !m_CurrentItem) {
        Util::ShowError(QStringLiteral("Please select one row in the table list first"));
        return;
    }
    m_Browser->RemoveNodes(checked);
    m_Session.Delete(m_CurrentItem, checked);
    RefreshTable();
}

// --- export and save ----------------------------------------------------------------------

bool CPage4::WaitForWorkDir(const QString &text)
{
    m_Stopped = false;
    // W holds the whole image once the extraction has ended. A Stop leaves the changes queued.
    return m_Writer.BeginWhenReady(text, QStringLiteral("Extracting iso..."),
                                   [this] { return m_Session.ExtractProgress(); });
}

void CPage4::OnExport()
{
    const QList<Item *> checked = m_Browser->CheckedItems();
    if (checked.isEmpty()) {
        Util::ShowError(QStringLiteral("Please select files or directorys in the list first."));
        return;
    }
    const QString dest = Util::GetDirDialog(this);
    if (dest.isEmpty() || m_Writer.IsBusy())
        return;
    // The items are copied from where they are once W holds every change made so far; their
    // paths are taken now (nothing can change them while the progress dialog is shown).
    const EditLogic::ExportPlan plan = EditLogic::PlanExport(
        QList<const Item *>(checked.cbegin(), checked.cend()), m_Session.WorkDir(), dest);
    if (!WaitForWorkDir(QStringLiteral("Exporting files...")))
        return;
    m_Writer.Begin();
    m_Session.StartExport(plan, dest);
    bool ok = false;
    const QString said = m_Session.FinishExport(m_Writer.WaitForStaging(), &ok);
    m_Writer.End();
    if (ok)
        Util::ShowOpen(said, dest);
    else if (!said.isEmpty())
        Util::ShowError(said);
}

void CPage4::StopCreate()
{
    m_Stopped = true;
    // Only the copies of an export are queued while it runs: the changes were carried out before.
    // The changes a save waits for stay queued for a later one.
    if (m_Session.IsExporting())
        m_FileCopy.ClearAllTasks();
    const bool saving = m_CreateThread != nullptr;
    // The writer stops mkisofs and removes what it wrote; the target stays as it was.
    m_Writer.Stop();
    m_CreateThread = nullptr;
    if (!saving)
        return;
    m_Session.SaveEnded();
    const QString text = EditLogic::SaveStoppedText(m_SaveIsoPath);
    QTimer::singleShot(0, this, [text] { Util::ShowError(text); });
}

void CPage4::OnSave()
{
    if (m_Tree.m_Root.m_Children.isEmpty()) {
        Util::ShowError(QStringLiteral("Please add files or directorys first!"));
        return;
    }
    const QString target = Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (target.isEmpty() || m_Writer.IsBusy()
        || !WaitForWorkDir(QStringLiteral("Saving ISO file...")))
        return;
    qCDebug(lcEdit) << "file copy finished!!!";
    const QStringList unstaged = m_Writer.UnstagedItems(m_Tree.m_Root);
    const QString refusal = m_Session.PrepareSave(unstaged, m_Writer.ChangedItems());
    if (!refusal.isEmpty()) {
        m_Writer.End();
        Util::ShowError(refusal);
        return;
    }
    m_SaveIsoPath = target;
    m_CreateThread = m_Writer.Prepare(
        target, [this](const QString &output) { return m_Session.SaveArgs(output); },
        QStringLiteral("Saving ISO file..."), QStringLiteral("Save ISO failed"));
    if (!m_CreateThread) {
        m_Session.SaveEnded();
        return;
    }
    connect(m_CreateThread, &CRunCommandThread::standoutputline, this, &CPage4::OnCreateOutput);
    connect(m_CreateThread, &CRunCommandThread::sigfinished, this, &CPage4::OnCreateFinished);
    m_CreateThread->start();
}

void CPage4::OnCreateFinished()
{
    if (!m_CreateThread || sender() != m_CreateThread)
        return;
    m_CreateThread = nullptr;
    m_Session.SaveEnded();
    if (m_Writer.Finish()) {
        m_Session.MarkSaved();
        Util::ShowOpen(QStringLiteral("Save ISO file successfully!"),
                       QFileInfo(m_SaveIsoPath).absolutePath());
    }
}
