#include "pages/cpage4.h"

#include "model/listing.h"
#include "pages/extractlogic.h"
#include "services/cruncommandthread.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/cinputdialog.h"
#include "ui/clineedit.h"
#include "ui/commdialog.h"
#include "ui/nofocusdelegate.h"
#include "ui/scheckboxheaderview.h"

#include <QAction>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

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
        page->setWindowTitle(QStringLiteral("Dialog"));
    }
};
} // namespace Ui

namespace {

const char kViewStyle[]
    = "background:#ffffff;\nborder:1px solid #daffc8;\ngridline-color:#daffc8;\n"
      "selection-background-color:#daffc8;\nselection-color:#000000;\n"
      "QHeaderView::section{font:13pt;color: black;};\n"
      "QHeaderView::section:focus{font:13pt;color: black;};";

// Clicks closer than this to the table's left edge hit the check box, which toggles by itself.
const int kCheckBoxWidth = 17;
// Column 0 of a row: the integer 1 for folders; the child the row shows.
const int kFolderRole = Qt::UserRole;
const int kItemRole = Qt::UserRole + 1;

QIcon folderIcon()
{
    static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    return icon;
}

// Delivers events for about ms milliseconds, or until the progress dialog's Stop is pressed.
void processEventsFor(int ms, CProgressDialog *progress)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(progress, &CProgressDialog::SigCancel, &loop, &QEventLoop::quit);
    loop.exec();
}

QString nwu(const QString &name)
{
    return QStringLiteral(":/nwu/") + name;
}

} // namespace

CPage4::CPage4(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , ui(new Ui::CPage4)
    , m_ProgressDialog(parent)
    , m_PendingOps(
          [this](const FileTask &t) { m_FileCopy.AddTask(t.source, t.destination, t.kind); })
{
    m_WorkDir = Util::GetTempDir() + QStringLiteral("/tmp/");
}

CPage4::~CPage4()
{
    for (CRunCommandThread *runner : { m_ListThread, m_ExtractThread, m_CreateThread }) {
        if (!runner)
            continue;
        runner->disconnect(this);
        runner->terminate();
        runner->wait();
        delete runner;
    }
    m_FileCopy.stop();
    m_FileCopy.wait();
    delete m_ListMenu;
    delete ui;
}

void CPage4::InitializeUI()
{
    ui->setupUi(this);
    qDebug() << "CPage4::InitializeUI() is called!!";
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(nwu(QStringLiteral("page4")));
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
        const QString base = nwu(QString::fromLatin1(b.images));
        b.button->SetBackGround(base + QLatin1Char('1'), base + QLatin1Char('2'),
                                base + QLatin1Char('3'), QString());
        b.button->move(b.pos);
    }
    ui->new_2->hide();

    ui->search->SetImage(nwu(QStringLiteral("zoom")), nwu(QStringLiteral("zoom")),
                         nwu(QStringLiteral("zoom")), QPoint(7, 7));
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

    QTreeWidget *tree = ui->tree;
    tree->move(11, 58);
    tree->setFixedSize(179, 338);
    tree->setStyleSheet(QString::fromLatin1(kViewStyle));
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->header()->setStretchLastSection(false);
    tree->setAttribute(Qt::WA_MacShowFocusRect, false);

    QTableWidget *list = ui->list;
    list->move(190, 58);
    list->setFixedSize(658, 338);
    list->setStyleSheet(QString::fromLatin1(kViewStyle));
    m_HeaderView = new SCheckBoxHeaderView(0, Qt::Horizontal, list);
    list->setHorizontalHeader(m_HeaderView);
    connect(m_HeaderView, &SCheckBoxHeaderView::checkStausChange, this, &CPage4::slotSelectAll);
    list->setColumnCount(4);
    list->setHorizontalHeaderLabels({ QStringLiteral("File Name"), QStringLiteral(" Size"),
                                      QStringLiteral("Type"), QStringLiteral("Time") });
    for (int c = 0; c < 4; ++c)
        list->setColumnWidth(c, (list->width() - 2) / 4);
    m_HeaderView->setVisible(true);
    QFont headerFont = m_HeaderView->font();
    headerFont.setWeight(QFont::Normal);
    m_HeaderView->setFont(headerFont);
    m_HeaderView->setHighlightSections(false);
    list->verticalHeader()->setVisible(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setItemDelegate(new NoFocusDelegate(list));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setAttribute(Qt::WA_MacShowFocusRect, false);

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
    connect(list, &QWidget::customContextMenuRequested, this, &CPage4::OnListContextMenuRequest);
    connect(tree, &QTreeWidget::itemClicked, this, &CPage4::OnTreeCurrentChanged);
    connect(list, &QTableWidget::itemDoubleClicked, this, &CPage4::OnListViewDoubleClicked);
    connect(list, &QTableWidget::itemClicked, this, &CPage4::OnListViewClicked);

    SetEnabled(false);
    ui->back->setEnabled(true);
    ui->loadiso->setEnabled(true);
    Util::RestoreCursor();
    // What an earlier page or run left in the working folder goes in the background.
    AddFileOpTasks(m_WorkDir, QString(), 1);
}

void CPage4::SetEnabled(bool on)
{
    for (QWidget *w : { static_cast<QWidget *>(ui->back), static_cast<QWidget *>(ui->loadiso),
                        static_cast<QWidget *>(ui->add), static_cast<QWidget *>(ui->rename),
                        static_cast<QWidget *>(ui->delete_2), static_cast<QWidget *>(ui->export_2),
                        static_cast<QWidget *>(ui->new_2), static_cast<QWidget *>(ui->save) })
        w->setEnabled(on);
    if (on)
        Util::RestoreCursor();
    else
        Util::SetCursorBusy();
}

void CPage4::OnListContextMenuRequest(QPoint)
{
    if (m_ListMenu)
        m_ListMenu->exec(QCursor::pos());
}

void CPage4::OnNew() { }

void CPage4::ShowLongError(const QString &text)
{
    CommDialog dialog;
    dialog.SetAllowWarp();
    dialog.SetText(text);
    if (QLabel *label = dialog.findChild<QLabel *>(QStringLiteral("label")))
        label->setTextFormat(Qt::PlainText);
    dialog.SetCancelHidden();
    dialog.exec();
}

// --- loading ------------------------------------------------------------------------------

void CPage4::OnLoadISO()
{
    const QString file = Util::GetOpenFileDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    LoadImage(file);
}

void CPage4::LoadImage(const QString &image)
{
    // TODO
    Q_UNUSED(image);
}

void CPage4::OnLineOutput(QString line)
{
    Q_UNUSED(line);
}

void CPage4::OnUnzipFinished() { }

void CPage4::OnExtractOutput(QString line)
{
    Q_UNUSED(line);
}

void CPage4::OnExtractFinished() { }

// --- browsing -----------------------------------------------------------------------------

void CPage4::RefreshTable() { }

void CPage4::LoadFiles(Item *folder, QTreeWidget *view, QTreeWidgetItem *node)
{
    Q_UNUSED(folder);
    Q_UNUSED(view);
    Q_UNUSED(node);
}

void CPage4::RefreshTreeWidget() { }
void CPage4::OnTreeCurrentChanged() { }
void CPage4::OnListViewDoubleClicked() { }
void CPage4::OnListViewClicked(QTableWidgetItem *pItem)
{
    Q_UNUSED(pItem);
}
void CPage4::slotSelectAll(bool bChecked)
{
    Q_UNUSED(bChecked);
}
void CPage4::OnSearch()
{
    RefreshTable();
}

QList<Item *> CPage4::CheckedChildren() const
{
    return {};
}

QTreeWidgetItem *CPage4::TopNode() const
{
    return ui->tree->topLevelItemCount() > 0 ? ui->tree->topLevelItem(0) : nullptr;
}

// --- changes ------------------------------------------------------------------------------

void CPage4::AddFileOpTasks(const QString &source, const QString &destination, int kind)
{
    m_PendingOps.Add(FileTask { kind, source, destination });
}

void CPage4::AddSubDir(Item *folder, const QString &dir, QTreeWidgetItem *node)
{
    if (!folder || !node)
        return;
    EditLogic::AddSubDir(folder, dir, m_WorkDir);
    LoadFiles(folder, nullptr, node);
}

void CPage4::OnAdd() { }
void CPage4::OnRename() { }
void CPage4::OnDelete() { }
void CPage4::OnExport() { }
void CPage4::OnSave() { }
void CPage4::StopCreate() { }
void CPage4::OnCreateOutput(QString line)
{
    Q_UNUSED(line);
}
void CPage4::OnCreateFinished() { }

bool CPage4::WaitForExtraction(const QString &text)
{
    Q_UNUSED(text);
    return true;
}
