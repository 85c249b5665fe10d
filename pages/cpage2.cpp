#include "pages/cpage2.h"

#include "pages/common/pagestyle.h"
#include "services/logging.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/gerneraldialog.h"
#include "ui/scheckboxheaderview.h"

#include <QAction>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>
#include <QTreeWidget>

struct CPage2::Form
{
    CImageButton *loadiso = nullptr;
    CImageButton *back = nullptr;
    CImageButton *extract = nullptr;
    QTreeWidget *tree = nullptr;
    QTableWidget *list = nullptr;
};

namespace {

// Removes the work folder of a stopped extraction with everything in it. Only a folder that
// one of our extractions created is ever removed.
void discardWorkDir(const QString &workDir)
{
    if (workDir.isEmpty()
        || !QFileInfo(workDir).fileName().startsWith(ExtractLogic::WorkDirPrefix()))
        return;
    if (!QDir(workDir).removeRecursively())
        qCWarning(lcExtract) << "CPage2::OnStopExtract cannot remove" << workDir;
}

} // namespace

CPage2::CPage2(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , form(new Form)
    , m_ProgressDialog(this)
    , m_Listing(&m_Tree, &m_InTable)
{
    m_Listing.SetErrorReader(SevenZip::ErrorReader());
}

CPage2::~CPage2()
{
    delete m_ListMenu;
    m_ListMenu = nullptr;
    // A stopped extraction delivers nothing: its work folder may hold a half-written file. The
    // runners are waited for (bounded) when m_Runners goes.
    const QString workDir = m_WorkDir;
    m_Runners.Retire(m_ExtractThread, [workDir] { discardWorkDir(workDir); });
    m_Runners.Retire(m_ListThread);
    m_ExtractThread = m_ListThread = nullptr;
    if (m_Loading)
        Util::RestoreCursor();
    delete form;
    form = nullptr;
}

void CPage2::InitializeUI()
{
    qCDebug(lcExtract) << "CPage2::InitializeUI() is called!!";
    setObjectName(QStringLiteral("CPage2"));
    resize(664, 472);
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(QStringLiteral(":/nwu/page2"));

    Form *f = form;
    f->loadiso = PageStyle::Button(this, "loadiso", QStringLiteral(":/nwu/loadiso"), 567, 17);
    f->back = PageStyle::Button(this, "back", QStringLiteral(":/nwu/Back"), 11, 417);
    f->extract = PageStyle::Button(this, "extract", QStringLiteral(":/nwu/btnextract"), 546, 417);
    f->tree = PageStyle::Placed(new QTreeWidget(this), "tree", 10, 54, 213, 350);
    f->tree->setFrameShape(QFrame::NoFrame);
    f->list = PageStyle::Placed(new QTableWidget(this), "list", 223, 54, 431, 350);
    m_Browser = new CImageBrowser(f->tree, f->list, &m_CurrentItem, this);
    m_HeaderView = m_Browser->SetUp(QString::fromLatin1(PageStyle::FolderTree),
                                    QString::fromLatin1(PageStyle::List));

    m_ListMenu = new QMenu(f->list);
    QAction *extractAction = new QAction(QStringLiteral("Extract(&E)"), this);
    m_ListMenu->addAction(extractAction);
    connect(extractAction, &QAction::triggered, this, &CPage2::OnExtract);

    connect(m_HeaderView, &SCheckBoxHeaderView::checkStausChange, this, &CPage2::slotSelectAll);
    connect(f->loadiso, SIGNAL(clicked()), this, SLOT(OnLoadISO()));
    connect(f->back, SIGNAL(clicked()), this, SLOT(OnBack()));
    connect(f->extract, SIGNAL(clicked()), this, SLOT(OnExtract()));
    connect(f->list, &QWidget::customContextMenuRequested, this, &CPage2::OnListContextMenuRequest);
    connect(f->tree, &QTreeWidget::itemClicked, this, &CPage2::OnTreeCurrentChanged);
    connect(f->list, &QTableWidget::itemDoubleClicked, this, &CPage2::OnListViewDoubleClicked);
    connect(f->list, &QTableWidget::itemClicked, this, &CPage2::OnListViewClicked);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage2::OnStopExtract);
}

void CPage2::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (form->back && form->back->isEnabled())
            OnBack();
        event->accept();
        return;
    }
    ImageDialog::keyPressEvent(event);
}

void CPage2::OnListContextMenuRequest(QPoint)
{
    if (m_ListMenu)
        m_ListMenu->exec(QCursor::pos());
}

// --- loading ------------------------------------------------------------------------------

void CPage2::OnLoadISO()
{
    const QString file = Util::GetOpenFileDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    LoadImage(file);
}

void CPage2::LoadImage(const QString &file)
{
    m_IsoPath = file;
    // The views point into the tree that is about to be cleared: empty them first.
    m_Browser->Clear();
    // A previous listing whose tool has not ended yet: its output is no longer wanted.
    m_Runners.Retire(m_ListThread);
    m_ListThread
        = m_Runners.Create(SevenZip::Program(), SevenZip::ListArgs(file), SevenZip::ErrorReader());
    connect(m_ListThread, &CRunCommandThread::standoutputline, this, &CPage2::OnLineOutput);
    connect(m_ListThread, &CRunCommandThread::sigfinished, this, &CPage2::OnListFinished);
    if (!m_Loading)
        Util::SetCursorBusy();
    m_Loading = true;
    SetLoadButtonsEnabled(false);
    m_Listing.Reset();
    m_Tree.Clear();
    m_Tree.m_Name = QFileInfo(file).fileName();
    m_ListThread->start();
}

void CPage2::OnLineOutput(QString line)
{
    // Lines of a listing the page has already given up are not for this tree.
    if (sender() && sender() != m_ListThread)
        return;
    // The runner is freed in OnListFinished(), once its thread has ended.
    if (m_Listing.ReadLine(line))
        OnUnzipFinished();
}

void CPage2::OnListFinished()
{
    CRunCommandThread *runner = m_ListThread;
    if (!runner || sender() != runner)
        return;
    m_ListThread = nullptr;
    const CRunOutcome end = runner->Outcome();
    m_Runners.Retire(runner);
    const QString message
        = ExtractLogic::ListingMessage(end, m_Listing.Errors(), m_Listing.Closed());
    if (!m_Listing.Closed()) {
        // The table never closed: not an image, a damaged image, or no tool.
        m_InTable = false;
        m_Browser->Clear();
        m_Tree.Clear();
        EndLoading();
    }
    if (message.isEmpty())
        return;
    qCWarning(lcExtract) << "CPage2::OnListFinished" << m_IsoPath << message;
    Util::WriteLog(QStringLiteral("CPage2::OnListFinished ") + m_IsoPath + QLatin1Char(' ')
                   + m_Listing.Errors().join(QStringLiteral("; ")));
    Util::ShowError(message);
}

void CPage2::EndLoading()
{
    if (m_Loading) {
        Util::RestoreCursor();
        m_Loading = false;
    }
    SetLoadButtonsEnabled(true);
}

void CPage2::OnUnzipFinished()
{
    EndLoading();
    qCDebug(lcExtract) << "finished unzip";
    m_Browser->Show(m_Tree);
}

// --- extracting ---------------------------------------------------------------------------

void CPage2::OnExtract()
{
    QStringList ticked;
    for (int row : m_Browser->CheckedRows())
        ticked << form->list->item(row, 0)->text();
    const ExtractLogic::Request request
        = ExtractLogic::BuildRequest(m_CurrentItem ? m_CurrentItem->m_Path : QString(), ticked);
    if (request.names.isEmpty()) {
        GerneralDialog dialog;
        dialog.SetBackGround(QStringLiteral(":/nwu/select_files_extract"));
        dialog.AddOK(120, 0);
        dialog.exec();
        return;
    }
    const QString dest = Util::GetDirDialog(this);
    if (dest.isEmpty())
        return;

    // Extract into a fresh folder inside the destination, so that nothing already there is
    // touched, and move the ticked items up from there when the tool is done.
    const QString workDir = ExtractLogic::MakeWorkDir(dest);
    if (workDir.isEmpty()) {
        Util::ShowError(QStringLiteral("The files could not be extracted: the folder \"%1\" "
                                       "cannot be written to.")
                            .arg(dest));
        return;
    }
    m_ExtractNames = request.names;
    m_DestDir = dest;
    m_RelDir = request.relDir;
    m_WorkDir = workDir;
    m_ExtractErrors.Clear();

    m_Runners.Retire(m_ExtractThread);
    QStringList folderNames;
    if (m_CurrentItem) {
        for (const Item *child : m_CurrentItem->m_Children)
            folderNames << child->GetName();
    }
    m_ExtractThread = m_Runners.Create(
        SevenZip::Program(),
        SevenZip::ExtractArgs(m_IsoPath, m_WorkDir, ExtractLogic::ToolPaths(request, folderNames)));
    connect(m_ExtractThread, &CRunCommandThread::sigfinished, this, &CPage2::OnExtractFinished);
    connect(m_ExtractThread, &CRunCommandThread::standoutputline, this, &CPage2::OnExtractOutput);
    SetControlsEnabled(false);
    m_ProgressDialog.show();
    m_ProgressDialog.SetText(QStringLiteral("Extracting files..."));
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.SetValue(0);
    m_ExtractThread->start();
}

void CPage2::OnExtractOutput(QString line)
{
    if (sender() && sender() != m_ExtractThread)
        return;
    qCDebug(lcExtract) << "CPage2::OnExtractOutput" << line;
    m_ExtractErrors.AddLine(line);
    // A progress line names the file being extracted: "45% 12 - boot/grub/grub.cfg".
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (!progress.valid || progress.path.isEmpty())
        return;
    m_ProgressDialog.SetValue(progress.percent);
    m_ProgressDialog.SetText(progress.percent >= 100 ? ExtractLogic::CopyingText()
                                                     : ExtractLogic::ExtractingText(progress.path));
}

void CPage2::OnExtractFinished()
{
    CRunCommandThread *runner = m_ExtractThread;
    // A run that was stopped, or replaced, is not judged here.
    if (sender() && sender() != runner)
        return;
    m_ExtractThread = nullptr;
    const CRunOutcome end = runner ? runner->Outcome() : CRunOutcome();
    m_Runners.Retire(runner);

    const ExtractLogic::Verdict verdict = ExtractLogic::JudgeExtraction(end, m_ExtractErrors);
    const ExtractLogic::Delivery delivery
        = ExtractLogic::MoveUp(m_WorkDir, m_DestDir, m_RelDir, m_ExtractNames);
    const QString workDir = m_WorkDir;
    m_WorkDir.clear();
    SetControlsEnabled(true);
    m_ProgressDialog.hide();

    const QString problem = ExtractLogic::ProblemText(verdict, delivery, workDir);
    if (problem.isEmpty()) {
        Util::WriteLog(QStringLiteral("Extract files successfully :") + m_DestDir);
        Util::ShowOpen(ExtractLogic::SuccessText(delivery.renamed), m_DestDir);
        return;
    }
    qCWarning(lcExtract) << "CPage2::OnExtractFinished" << problem << m_ExtractErrors.Lines();
    Util::WriteLog(QStringLiteral("Extract files failed :") + m_DestDir + QLatin1Char(' ')
                   + m_ExtractErrors.Lines().join(QStringLiteral("; ")));
    Util::ShowError(problem);
}

void CPage2::OnStopExtract()
{
    if (m_ExtractThread) {
        // Nothing is moved up: the file being written when the tool stopped is cut short, and
        // the image still holds everything. The work folder goes once the tool has ended.
        const QString workDir = m_WorkDir;
        m_Runners.Retire(m_ExtractThread, [workDir] { discardWorkDir(workDir); });
        m_ExtractThread = nullptr;
        m_WorkDir.clear();
    }
    m_ProgressDialog.hide();
    SetControlsEnabled(true);
}

// --- helpers ------------------------------------------------------------------------------

void CPage2::SetLoadButtonsEnabled(bool enabled)
{
    form->back->setEnabled(enabled);
    form->loadiso->setEnabled(enabled);
    form->extract->setEnabled(enabled);
}

void CPage2::SetControlsEnabled(bool enabled)
{
    // The progress dialog must stay usable while the page is disabled.
    const auto children = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child != &m_ProgressDialog && !child->isWindow())
            child->setEnabled(enabled);
    }
}
