#include "pages/cpage3.h"

#include "logic/createlogic.h"
#include "pages/common/cprojectlist.h"
#include "pages/common/pagestyle.h"
#include "services/cruncommandthread.h"
#include "services/mkisofs.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"

#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QTreeWidget>

#include <functional>

using Mkisofs::ImageType;

struct CPage3::Form : PageStyle::PageForm
{
    QTreeWidget *list = nullptr;
    QRadioButton *jolet = nullptr;
    QRadioButton *iso9600 = nullptr;
    QRadioButton *udf = nullptr;
    CImageButton *addfile = nullptr;
    CImageButton *adddir = nullptr;
    CImageButton *remove = nullptr;
    CImageButton *create = nullptr;
    QWidget *widget = nullptr;
    QLabel *totalsize = nullptr;
    QLabel *label_2 = nullptr;
    QProgressBar *progressBar = nullptr;
};

CPage3::CPage3(QWidget *parent)
    : CWriterPage(parent)
    , form(new Form)
{
    SetEscapeAsBack(
        [this] {
            // Back hides the page, and a hidden page's project goes with the next Create page.
            return form->back->isEnabled() && !m_Writer.IsBusy()
                && m_Tree.m_Root.m_Children.isEmpty();
        },
        [this] { close(); });
    m_StageDir = CImageWriter::WorkDir();
    SetupForm();
    m_Writer.ClaimWorkDir();
}

CPage3::~CPage3()
{
    StopWork();
    delete form;
}

void CPage3::StopWork()
{
    if (m_Stopped)
        return;
    m_Stopped = true;
    m_Writer.Stop();
    m_CreateThread = nullptr;
    m_Writer.StopCopier();
}

void CPage3::SetupForm()
{
    PageStyle::SetUpPage(this, "CPage3", QStringLiteral(":/nwu/page3"));

    Form *f = form;
    f->list = PageStyle::Placed(new QTreeWidget(this), "list", 11, 48, 643, 226);
    m_Project = new CProjectList(f->list, &m_Tree, &m_FileCopy, &m_Writer, m_StageDir, this);
    m_Project->SetUp(QString::fromLatin1(PageStyle::ProjectList));
    // Exclusive siblings: exactly one type is checked at any time.
    f->jolet = PageStyle::Radio(this, "jolet", tr("ISO9660 Jolet"), 76, 298);
    f->iso9600 = PageStyle::Radio(this, "iso9600", tr("ISO9660"), 196, 298);
    f->udf = PageStyle::Radio(this, "udf", tr("UDF ISO"), 292, 298);
    f->jolet->setChecked(true);
    PageStyle::FitRow({ f->jolet, f->iso9600, f->udf });

    f->addfile = PageStyle::Button(this, "addfile", QStringLiteral(":/nwu/addfile"), 15, 419);
    f->adddir = PageStyle::Button(this, "adddir", QStringLiteral(":/nwu/adddir"), 120, 419);
    f->remove = PageStyle::Button(this, "remove", QStringLiteral(":/nwu/Remove"), 220, 419);
    f->create = PageStyle::Button(this, "create", QStringLiteral(":/nwu/Create-IOS"), 546, 417);
    f->back = PageStyle::Button(this, "back", QStringLiteral(":/nwu/Back"), 435, 417);

    const QString noBorder = QStringLiteral("border:none;");
    f->widget = PageStyle::Placed(new QWidget(this), "widget", 11, 333, 643, 62,
                                  QStringLiteral("border:1px solid #daffc8;"));
    f->totalsize = PageStyle::Placed(new QLabel(tr("Total Size: 0KB"), f->widget), "totalsize", 0,
                                     0, 400, 22, noBorder);
    f->label_2 = PageStyle::Placed(new QLabel(tr("Max Size: 5.00 GB"), f->widget), "label_2", -10,
                                   5, 0, 0, noBorder);
    f->progressBar
        = PageStyle::Placed(new QProgressBar(f->widget), "progressBar", 10, 26,
                            f->widget->width() - 20, 27, QStringLiteral("background:#daffc8;"));
    f->progressBar->setTextVisible(false);
    f->progressBar->setValue(0);

    m_ListMenu = PageStyle::ListMenu(f->list,
                                     { { tr("Add Files(&F)"), std::bind(&CPage3::OnAddFile, this) },
                                       { tr("Add Dirs(&D)"), std::bind(&CPage3::OnAddDir, this) },
                                       { QString(), nullptr },
                                       { tr("Remove(&R)"), std::bind(&CPage3::OnRemove, this) } });

    const auto clicked = qOverload<>(&CImageButton::clicked);
    connect(f->addfile, clicked, this, &CPage3::OnAddFile);
    connect(f->adddir, clicked, this, &CPage3::OnAddDir);
    connect(f->remove, clicked, this, &CPage3::OnRemove);
    connect(f->create, clicked, this, &CPage3::OnCreate);
    connect(f->back, clicked, this, &QWidget::close);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage3::StopCreate);
    connect(f->list, &QTreeWidget::pressed, this, &CPage3::OnTreeClicked);
    connect(f->list, &QTreeWidget::customContextMenuRequested, this,
            &CPage3::OnListContextMenuRequest);
}

// --- the project view ---

QString CPage3::GetCurrSelectDir()
{
    return m_Project->SelectedDir();
}

void CPage3::InnerAddDir(Item *parent, const QString &folder, QTreeWidgetItem *node,
                         QTreeWidget *view)
{
    m_Project->AddDir(parent, folder, node, view);
}

void CPage3::RefreshTotalSize()
{
    const qint64 size = CreateLogic::NotedSize(m_Tree.m_Root);
    form->totalsize->setText(CreateLogic::TotalSizeText(size));
    form->progressBar->setValue(CreateLogic::GaugeValue(size));
}

// --- changing the project ---

void CPage3::AddToProject(const QStringList &sources)
{
    Util::SetCursorBusy();
    m_Project->Add(sources);
    RefreshTotalSize();
    Util::RestoreCursor();
}

void CPage3::OnAddFile()
{
    const QStringList files = Util::GetOpenFilesDialog(this);
    if (!files.isEmpty())
        AddToProject(files);
}

void CPage3::OnAddDir()
{
    const QStringList dirs = Util::GetDirsDialog(this);
    if (!dirs.isEmpty())
        AddToProject(dirs);
}

void CPage3::OnRemove()
{
    if (m_Project->RemoveSelected())
        RefreshTotalSize();
}

void CPage3::OnTreeClicked(QModelIndex index)
{
    if (!index.isValid())
        form->list->clearSelection();
}

// --- creating the image ---

void CPage3::OnCreate()
{
    if (m_Writer.IsBusy())
        return;
    if (m_Tree.m_Root.m_Children.isEmpty()) {
        Util::ShowError(tr("Please add files or directorys first!"));
        return;
    }
    ImageType type = form->iso9600->isChecked() ? ImageType::Iso9660
        : form->udf->isChecked()                ? ImageType::Udf
                                                : ImageType::Joliet;
    // A file of 4 GiB or more fits only into UDF; say so before anything runs (by the sizes
    // noted when the files were added), and again after staging for a source that grew since.
    const auto udfFor = [&](const QStringList &largeFiles) {
        if (largeFiles.isEmpty() || type == ImageType::Udf)
            return true;
        CommDialog ask;
        ask.SetPlainText(tr("\"%1\" is 4 GB or larger and cannot be stored in an ISO9660 or Jolet "
                            "image.\nCreate a UDF ISO instead?")
                             .arg(largeFiles.first()));
        if (ask.exec() != QDialog::Accepted)
            return false;
        form->udf->setChecked(true);
        type = ImageType::Udf;
        return true;
    };
    const QStringList largeFiles = CImageWriter::LargeFiles(m_Tree.m_Root);
    if (!udfFor(largeFiles))
        return;
    const QString isoPath = Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (isoPath.isEmpty())
        return;

    m_Writer.Begin();
    if (!m_Writer.Staged(m_Tree.m_Root,
                         tr("The ISO file was not created: these items could not be copied for "
                            "it. Remove them and add them again.")))
        return;
    if (!udfFor(m_Writer.StagedLargeFiles())) {
        m_Writer.End();
        return;
    }
    if (!m_Writer.ChangedItems().isEmpty()) {
        m_Writer.End();
        Util::ShowError(tr("The ISO file was not created: these files changed since they were "
                           "added. Remove them and add them again.")
                        + QLatin1Char('\n') + CImageWriter::PathListText(m_Writer.ChangedItems()));
        return;
    }
    m_IsoPath = isoPath;
    // A source that grew past the limit after it was added counts by its staged copy.
    const bool large = !largeFiles.isEmpty() || !m_Writer.StagedLargeFiles().isEmpty();
    m_CreateThread = m_Writer.Prepare(
        isoPath,
        [&](const QString &output) {
            return Mkisofs::CreateArgs(type, output, CImageWriter::WorkDirSource(), large);
        },
        tr("Creating ISO file..."), tr("Create ISO failed"));
    if (!m_CreateThread)
        return;
    connect(m_CreateThread, &CRunCommandThread::standoutputline, this, &CPage3::OnCreateOutput);
    connect(m_CreateThread, &CRunCommandThread::sigfinished, this, &CPage3::OnCreateFinished);
    m_CreateThread->start();
}

void CPage3::OnCreateFinished()
{
    m_CreateThread = nullptr;
    if (m_Writer.Finish())
        Util::ShowOpen(tr("Create ISO successfully!"), QFileInfo(m_IsoPath).absolutePath());
}

void CPage3::StopCreate()
{
    m_Writer.Stop();
    m_CreateThread = nullptr;
}

void CPage3::OnListContextMenuRequest(QPoint)
{
    m_ListMenu->exec(QCursor::pos());
}
