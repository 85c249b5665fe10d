#include "pages/cpage2.h"

#include "pages/common/pagestyle.h"
#include "services/logging.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/gerneraldialog.h"
#include "ui/scheckboxheaderview.h"

#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>
#include <QTreeWidget>

struct CPage2::Form : PageStyle::BrowseForm
{
    CImageButton *extract = nullptr;
};

CPage2::CPage2(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , form(new Form)
    , m_ProgressDialog(this)
{
    SetEscapeAsBack([this] { return form->back && form->back->isEnabled(); }, [this] { OnBack(); });
}

CPage2::~CPage2()
{
    delete m_ListMenu;
    m_ListMenu = nullptr;
    // A stopped extraction delivers nothing: its work folder may hold a half-written file. The
    // runners are waited for (bounded) when m_Runners goes.
    if (m_ExtractThread)
        m_Runners.Retire(m_ExtractThread, DiscardWritten());
    m_ExtractThread = nullptr;
    delete m_Loader;
    m_Loader = nullptr;
    delete form;
    form = nullptr;
}

void CPage2::InitializeUI()
{
    qCDebug(lcExtract) << "CPage2::InitializeUI() is called!!";
    PageStyle::SetUpPage(this, "CPage2", QStringLiteral(":/nwu/page2"));

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
    m_Loader = new CImageLoader(&m_Tree, m_Browser, &m_InTable, this);
    connect(m_Loader, &CImageLoader::lineOutput, this, &CPage2::OnLineOutput);
    connect(m_Loader, &CImageLoader::loadingChanged, this,
            [this](bool loading) { SetLoadButtonsEnabled(!loading); });

    m_ListMenu = PageStyle::ListMenu(
        f->list, { { QStringLiteral("Extract(&E)"), std::bind(&CPage2::OnExtract, this) } });

    connect(m_HeaderView, &SCheckBoxHeaderView::checkStausChange, this, &CPage2::slotSelectAll);
    const auto clicked = qOverload<>(&CImageButton::clicked);
    connect(f->loadiso, clicked, this, &CPage2::OnLoadISO);
    connect(f->back, clicked, this, &CPage2::OnBack);
    connect(f->extract, clicked, this, &CPage2::OnExtract);
    connect(f->list, &QWidget::customContextMenuRequested, this, &CPage2::OnListContextMenuRequest);
    connect(f->tree, &QTreeWidget::itemClicked, this, &CPage2::OnTreeCurrentChanged);
    connect(f->list, &QTableWidget::itemDoubleClicked, this, &CPage2::OnListViewDoubleClicked);
    connect(f->list, &QTableWidget::itemClicked, this, &CPage2::OnListViewClicked);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage2::OnStopExtract);
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
    m_Loader->Load(file);
}

void CPage2::OnLineOutput(QString line)
{
    if (m_Loader->ReadLine(line))
        OnUnzipFinished();
}

void CPage2::OnUnzipFinished()
{
    qCDebug(lcExtract) << "finished unzip";
    m_Loader->Show();
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

    // Straight into the destination when nothing there has a ticked name (one read of it);
    // otherwise into a fresh folder inside it, so that nothing already there is touched, and the
    // ticked items are moved up from there when the tool is done.
    const bool direct = ExtractLogic::CanExtractDirectly(request, ExtractLogic::NamesIn(dest))
        && QFileInfo(dest).isWritable();
    const QString workDir = direct ? QString() : ExtractLogic::MakeWorkDir(dest);
    if (!direct && workDir.isEmpty()) {
        Util::ShowError(QStringLiteral("The files could not be extracted: the folder \"%1\" "
                                       "cannot be written to.")
                            .arg(dest));
        return;
    }
    m_ExtractNames = request.names;
    m_DestDir = dest;
    m_RelDir = request.relDir;
    m_WorkDir = workDir;
    m_Direct = direct;
    m_ExtractErrors.Clear();

    m_Runners.Retire(m_ExtractThread);
    QStringList folderNames;
    if (m_CurrentItem) {
        for (const Item *child : m_CurrentItem->m_Children)
            folderNames << child->GetName();
    }
    m_ExtractThread = m_Runners.Create(
        SevenZip::Program(),
        ExtractLogic::ToolArgs(m_IsoPath, direct ? dest : m_WorkDir,
                               ExtractLogic::ToolPaths(request, folderNames), direct));
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
    const ExtractLogic::Delivery delivery = m_Direct
        ? ExtractLogic::Delivered(m_DestDir, m_ExtractNames)
        : ExtractLogic::MoveUp(m_WorkDir, m_DestDir, m_RelDir, m_ExtractNames);
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
        // Nothing is delivered: the file being written when the tool stopped is cut short, and
        // the image still holds everything. What the tool wrote goes once it has ended.
        m_Runners.Retire(m_ExtractThread, DiscardWritten());
        m_ExtractThread = nullptr;
        m_WorkDir.clear();
    }
    m_ProgressDialog.hide();
    SetControlsEnabled(true);
}

// --- helpers ------------------------------------------------------------------------------

std::function<void()> CPage2::DiscardWritten() const
{
    if (m_Direct) {
        const QString dest = m_DestDir;
        const QStringList names = m_ExtractNames;
        return [dest, names] {
            ExtractLogic::DiscardDelivered(dest, names);
        };
    }
    const QString workDir = m_WorkDir;
    return [workDir] {
        ExtractLogic::DiscardWorkDir(workDir);
    };
}

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
