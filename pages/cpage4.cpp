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

#include <cstdio>

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
    m_CursorBusy = false;
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
    if (on == m_CursorBusy) {
        if (on)
            Util::RestoreCursor();
        else
            Util::SetCursorBusy();
        m_CursorBusy = !on;
    }
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
    // The loaded image and its working copy stay as they are when nothing is chosen.
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    LoadImage(file);
}

void CPage4::StopRunner(CRunCommandThread *&runner)
{
    if (!runner)
        return;
    runner->disconnect(this);
    runner->terminate();
    runner->wait();
    delete runner;
    runner = nullptr;
}

void CPage4::LoadImage(const QString &image)
{
    StopRunner(m_ListThread);
    StopRunner(m_ExtractThread);
    m_IsoPath = image;

    // The views point into the tree that is about to be cleared.
    m_CurrentItem = nullptr;
    ui->tree->clear();
    ui->list->setRowCount(0);
    m_Tree.Clear();
    m_Tree.m_Name = QFileInfo(image).fileName();
    m_InTable = false;
    m_ListClosed = false;
    m_ListErrors.Clear();
    m_ExtractErrors.Clear();
    m_ExtractFailure.clear();
    m_ExtractProgress = 0;
    SetEnabled(false);

    // The new image replaces the working folder: the tasks of the old one go, W is removed,
    // and the extraction starts once the removal has ended. Tasks the user causes from now on
    // wait for the extraction.
    m_PendingOps.Clear();
    m_PendingOps.Hold(true);
    m_FileCopy.ClearAllTasks();
    m_FileCopy.AddTask(m_WorkDir, QString(), 1);

    const QString bootImage = Util::GetTempDir() + QStringLiteral("/boot.bin");
    Util::RemoveFile(bootImage);
    Util::BootExtract(image, bootImage);
    // Every boot image is kept from now on: a save may replace the loaded image itself.
    m_Catalog = ElTorito::ReadCatalog(image);
    m_Extents = ElTorito::ReadExtents(image);
    QDir(BootImageCopy(0)).removeRecursively();
    QDir().mkpath(QFileInfo(BootImageCopy(0)).absolutePath());
    for (int i = 0; i < m_Catalog.entries.size(); ++i) {
        const QByteArray data = ElTorito::ReadBootImage(image, m_Catalog.entries.at(i));
        QFile copy(BootImageCopy(i));
        if (data.isEmpty() || !copy.open(QIODevice::WriteOnly) || copy.write(data) != data.size())
            qWarning() << "CPage4::LoadImage cannot keep boot image" << i << copy.fileName();
    }

    // The listing needs nothing of W: it starts at once.
    m_ListThread = new CRunCommandThread();
    connect(m_ListThread, &CRunCommandThread::standoutputline, this, &CPage4::OnLineOutput);
    connect(m_ListThread, &CRunCommandThread::sigfinished, this, &CPage4::OnListFinished);
    m_ListThread->SetRunCmd(SevenZip::Program(), SevenZip::ListArgsUtf8(image));
    m_ListThread->start();

    m_ExtractThread = new CRunCommandThread();
    connect(m_ExtractThread, &CRunCommandThread::standoutputline, this, &CPage4::OnExtractOutput);
    connect(m_ExtractThread, &CRunCommandThread::sigfinished, this, &CPage4::OnExtractFinished);
    m_ExtractThread->SetRunCmd(SevenZip::Program(), SevenZip::ExtractAllArgs(m_WorkDir, image));
    StartExtractionWhenReady();
}

void CPage4::StartExtractionWhenReady()
{
    if (!m_ExtractThread || m_ExtractThread->isRunning())
        return;
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
    if (IsListingSeparator(line)) {
        if (!m_InTable) {
            m_InTable = true;
            return;
        }
        m_InTable = false;
        m_ListClosed = true;
        OnUnzipFinished();
        return;
    }
    if (!m_InTable) {
        m_ListErrors.AddLine(line);
        return;
    }
    Item item;
    if (ParseListingRow(line, &item))
        m_Tree.AddItem(item);
}

void CPage4::OnUnzipFinished()
{
    // 7-Zip shows the boot images as files of a folder "[BOOT]"; they are no files of the
    // image, and the extraction writes them into W, from where they must not reach a save.
    if (EditLogic::RemoveVirtualBootEntries(m_Tree))
        AddFileOpTasks(m_WorkDir + EditLogic::VirtualBootFolder(), QString(), 1);
    // The boot catalog is made anew by each save; the old one is no file of the content.
    const QString catalog = BootOptions::Build(m_Catalog, m_Extents, m_WorkDir).catalogPath;
    if (!catalog.isEmpty() && m_Tree.GetItem(catalog) && !m_Tree.GetItem(catalog)->m_IsDir) {
        m_Tree.RemoveItem(catalog);
        EditLogic::FollowDelete(m_Extents.files, catalog);
        AddFileOpTasks(m_WorkDir + catalog, QString(), 1);
    }

    SetEnabled(true);
    qDebug() << "finished unzip";
    ui->tree->clear();
    auto *top = new QTreeWidgetItem();
    top->setText(0, m_Tree.m_Name);
    top->setData(0, Qt::UserRole, QVariant::fromValue(&m_Tree.m_Root));
    LoadFiles(&m_Tree.m_Root, nullptr, top);
    top->setIcon(0, folderIcon());
    ui->tree->addTopLevelItem(top);
    top->setExpanded(true);
    m_CurrentItem = &m_Tree.m_Root;
    RefreshTable();
}

void CPage4::OnListFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_ListThread)
        return;
    m_ListThread = nullptr;
    ExtractLogic::RunEnd end;
    end.failedToStart = runner->FailedToStart();
    end.crashed = runner->Crashed();
    end.exitCode = runner->ExitCode();
    runner->wait();
    runner->deleteLater();
    if (m_ListClosed)
        return;
    // The table never closed: not an image, or no tool. The page is usable again and says
    // what 7-Zip said; there is nothing to extract either.
    qWarning() << "CPage4::OnListFinished no complete listing for" << m_IsoPath << end.exitCode
               << m_ListErrors.Lines();
    StopRunner(m_ExtractThread);
    m_PendingOps.Clear();
    m_PendingOps.Hold(false);
    m_Tree.Clear();
    SetEnabled(true);
    Util::ShowError(ExtractLogic::ListingFailureText(end, m_ListErrors));
}

void CPage4::OnExtractOutput(QString line)
{
    m_ExtractErrors.AddLine(line);
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (!progress.valid)
        return;
    m_ExtractProgress = progress.percent;
    qDebug() << "m_ExtractProgress:" << m_ExtractProgress;
}

void CPage4::OnExtractFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_ExtractThread)
        return;
    ExtractLogic::RunEnd end;
    end.failedToStart = runner->FailedToStart();
    end.crashed = runner->Crashed();
    end.exitCode = runner->ExitCode();
    const ExtractLogic::Verdict verdict = ExtractLogic::JudgeExtraction(end, m_ExtractErrors);
    if (!verdict.success) {
        // W lacks part of the image: a save would silently leave it out.
        m_ExtractFailure = verdict.message;
        qWarning() << "CPage4::OnExtractFinished" << m_ExtractErrors.Lines();
    }
    runner->wait();
    runner->deleteLater();
    m_ExtractThread = nullptr;
    m_PendingOps.Hold(false);
    qDebug() << "CPage4::OnExtractFinished() is called!!";
}

// --- browsing -----------------------------------------------------------------------------

void CPage4::RefreshTable()
{
    QTableWidget *list = ui->list;
    list->setRowCount(0);
    if (m_HeaderView)
        m_HeaderView->setChecked(false);
    if (!m_CurrentItem)
        return;
    const QString filter = ui->search->text().trimmed();
    for (Item *child : m_CurrentItem->m_Children) {
        if (!filter.isEmpty() && !child->GetName().contains(filter, Qt::CaseInsensitive))
            continue;
        AppendRow(child, true);
    }
}

void CPage4::AppendRow(Item *child, bool withCheckBox)
{
    QTableWidget *list = ui->list;
    const int row = list->rowCount();
    list->insertRow(row);
    const QString name = child->GetName();
    auto *nameCell
        = new QTableWidgetItem(child->m_IsDir ? folderIcon() : Util::GetExtensionIcon(name), name);
    if (withCheckBox)
        nameCell->setCheckState(Qt::Unchecked);
    if (child->m_IsDir)
        nameCell->setData(kFolderRole, 1);
    nameCell->setData(kItemRole, QVariant::fromValue(child));
    list->setItem(row, 0, nameCell);
    if (!child->m_IsDir)
        list->setItem(row, 1,
                      new QTableWidgetItem(
                          Util::SizeToString(static_cast<qint64>(child->m_Size.toULongLong()))));
    list->setItem(row, 2,
                  new QTableWidgetItem(child->m_IsDir ? QStringLiteral("Folder")
                                                      : Util::GetExtensionString(name)));
    list->setItem(row, 3, new QTableWidgetItem(child->m_Time));
}

Item *CPage4::RowChild(int row) const
{
    const QTableWidgetItem *cell = ui->list->item(row, 0);
    if (!cell || !m_CurrentItem)
        return nullptr;
    auto *child = cell->data(kItemRole).value<Item *>();
    return m_CurrentItem->m_Children.contains(child) ? child : nullptr;
}

void CPage4::LoadFiles(Item *folder, QTreeWidget *view, QTreeWidgetItem *node)
{
    if (!folder || !node)
        return;
    for (Item *child : folder->m_Children) {
        if (!child->m_IsDir)
            continue;
        auto *childNode = new QTreeWidgetItem();
        childNode->setText(0, child->GetName());
        if (view)
            view->addTopLevelItem(childNode);
        else
            node->addChild(childNode);
        childNode->setIcon(0, folderIcon());
        childNode->setData(0, Qt::UserRole, QVariant::fromValue(child));
        LoadFiles(child, nullptr, childNode);
    }
}

QTreeWidgetItem *CPage4::GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item)
{
    if (!node || !item)
        return nullptr;
    if (node->data(0, Qt::UserRole).value<Item *>() == item)
        return node;
    for (int i = 0; i < node->childCount(); ++i) {
        if (QTreeWidgetItem *hit = GetTreeWidgetItemByData(node->child(i), item))
            return hit;
    }
    return nullptr;
}

void CPage4::RefreshTreeWidget()
{
    QTreeWidgetItem *node = GetTreeWidgetItemByData(TopNode(), m_CurrentItem);
    if (!node)
        return;
    ui->tree->clearSelection();
    node->setSelected(true);
    if (node->parent() && !node->parent()->isExpanded())
        node->parent()->setExpanded(true);
    node->setExpanded(true);
}

void CPage4::OnTreeCurrentChanged()
{
    QTreeWidgetItem *node = ui->tree->currentItem();
    if (!node)
        return;
    node->setSelected(true);
    m_CurrentItem = node->data(0, Qt::UserRole).value<Item *>();
    RefreshTable();
}

void CPage4::OnListViewDoubleClicked()
{
    Item *child = RowChild(ui->list->currentRow());
    if (!child || !child->m_IsDir)
        return;
    m_CurrentItem = child;
    RefreshTreeWidget();
    RefreshTable();
}

void CPage4::OnListViewClicked(QTableWidgetItem *pItem)
{
    if (!pItem || !pItem->tableWidget())
        return;
    QTableWidget *table = pItem->tableWidget();
    const int row = pItem->row();
    if (row < 0 || row >= table->rowCount())
        return;
    if (table->viewport()->mapFromGlobal(QCursor::pos()).x() < kCheckBoxWidth)
        return;
    QTableWidgetItem *nameCell = table->item(row, 0);
    if (!nameCell)
        return;
    const Qt::CheckState state = nameCell->checkState();
    if (state == Qt::Unchecked)
        nameCell->setCheckState(Qt::Checked);
    else if (state == Qt::Checked)
        nameCell->setCheckState(Qt::Unchecked);
}

void CPage4::slotSelectAll(bool bChecked)
{
    for (int row = 0; row < ui->list->rowCount(); ++row) {
        if (QTableWidgetItem *cell = ui->list->item(row, 0))
            cell->setCheckState(bChecked ? Qt::Checked : Qt::Unchecked);
    }
}

void CPage4::OnSearch()
{
    RefreshTable();
}

QList<Item *> CPage4::CheckedChildren() const
{
    QList<Item *> children;
    for (int row = 0; row < ui->list->rowCount(); ++row) {
        const QTableWidgetItem *cell = ui->list->item(row, 0);
        if (cell && cell->checkState() == Qt::Checked) {
            if (Item *child = RowChild(row))
                children << child;
        }
    }
    return children;
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

void CPage4::OnAdd()
{
    if (!m_CurrentItem)
        return;
    const QStringList paths = Util::GetDirsAndFilesDialog(this);
    if (paths.isEmpty())
        return;
    QTreeWidgetItem *folderNode = GetTreeWidgetItemByData(TopNode(), m_CurrentItem);
    Util::SetCursorBusy();
    const EditLogic::AddResult result
        = EditLogic::AddLocal(m_Tree, m_CurrentItem, paths, m_WorkDir);
    for (Item *added : result.added) {
        AppendRow(added, true);
        if (added->m_IsDir && folderNode) {
            auto *node = new QTreeWidgetItem();
            node->setText(0, added->GetName());
            node->setIcon(0, folderIcon());
            node->setData(0, Qt::UserRole, QVariant::fromValue(added));
            LoadFiles(added, nullptr, node);
            folderNode->addChild(node);
        }
    }
    for (const FileTask &task : result.tasks)
        AddFileOpTasks(task.source, task.destination, task.kind);
    Util::RestoreCursor();
    QStringList problems;
    if (!result.existing.isEmpty())
        problems << EditLogic::ExistingText(result.existing);
    for (const QString &path : result.unreadable)
        problems << QStringLiteral("Cannot read \"%1\".").arg(path);
    if (!problems.isEmpty())
        ShowLongError(problems.join(QLatin1Char('\n')));
}

void CPage4::OnRename()
{
    const QList<Item *> checked = CheckedChildren();
    if (checked.isEmpty()) {
        Util::ShowError(QStringLiteral("Please select one row in the table list first"));
        return;
    }
    Item *child = checked.first();
    CInputDialog dialog;
    dialog.SetInput(child->GetName());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.GetInput();
    if (name.isEmpty())
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
    for (int row = 0; row < ui->list->rowCount(); ++row) {
        if (RowChild(row) == child)
            ui->list->item(row, 0)->setText(name);
    }
    // The folder view follows the new name.
    if (QTreeWidgetItem *node = GetTreeWidgetItemByData(TopNode(), child))
        node->setText(0, name);
}

void CPage4::OnDelete()
{
    const QList<Item *> checked = CheckedChildren();
    if (checked.isEmpty()) {
        Util::ShowError(QStringLiteral("Please select one row in the table list first"));
        return;
    }
    for (Item *child : checked) {
        EditLogic::FollowDelete(m_Extents.files, child->m_Path);
        if (child->m_IsDir)
            delete GetTreeWidgetItemByData(TopNode(), child);
    }
    for (const FileTask &task : EditLogic::Delete(m_CurrentItem, checked, m_WorkDir))
        AddFileOpTasks(task.source, task.destination, task.kind);
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
    qDebug() << "Extract finished!!!";
    return !m_Stopped;
}

bool CPage4::WaitForCopier()
{
    const qint64 total = m_FileCopy.GetLeftTaskBytes();
    if (total > 0) {
        m_ProgressDialog.SetText(QStringLiteral("Copy files and directories..."));
        m_ProgressDialog.SetRange(0, static_cast<int>(qMin<qint64>(total / 1024, INT_MAX)));
        m_ProgressDialog.show();
    }
    while (!m_Stopped) {
        const qint64 left = m_FileCopy.GetLeftTaskBytes();
        // Tasks that move no bytes (removals, renames, empty files) must be done as well.
        if (left <= 0 && m_FileCopy.IsIdle())
            break;
        m_ProgressDialog.SetValue(
            static_cast<int>(qBound<qint64>(0, (total - left) / 1024, INT_MAX)));
        processEventsFor(100, &m_ProgressDialog);
        qDebug() << "CPage4::OnCreate" << total << left;
    }
    qDebug() << "file copy finished!!!";
    return !m_Stopped;
}

void CPage4::OnExport()
{
    const QList<Item *> checked = CheckedChildren();
    if (checked.isEmpty()) {
        Util::ShowError(QStringLiteral("Please select files or directorys in the list first."));
        return;
    }
    const QString dest = Util::GetDirDialog(this);
    if (dest.isEmpty())
        return;
    QList<const Item *> items;
    for (const Item *child : checked)
        items << child;
    m_Stopped = false;
    m_Phase = Phase::Waiting;
    // W must hold the image and every change made so far; a Stop here leaves the changes
    // queued.
    if (!WaitForExtraction() || !WaitForCopier()) {
        EndOperation();
        return;
    }
    const EditLogic::ExportPlan plan = EditLogic::PlanExport(items, m_WorkDir, dest);
    m_FileCopy.TakeFailedTasks();
    m_Phase = Phase::Exporting;
    for (const FileTask &task : plan.tasks)
        m_FileCopy.AddTask(task.source, task.destination, task.kind);
    const bool copied = WaitForCopier();
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
        ShowLongError(QStringLiteral("Export failed.\n") + problems.join(QLatin1Char('\n')));
        return;
    }
    QList<QPair<QString, QString>> renamed;
    for (const ExtractLogic::Renamed &r : delivery.renamed)
        renamed << qMakePair(r.name, r.keptAs);
    const QString text = EditLogic::ExportSuccessText(renamed);
    if (!text.contains(QLatin1Char('\n'))) {
        Util::ShowOpen(text, dest);
        return;
    }
    CommDialog dialog;
    dialog.SetAllowWarp();
    dialog.SetText(text);
    dialog.SetOpen(dest);
    dialog.exec();
}

void CPage4::EndOperation()
{
    m_Phase = Phase::Idle;
    m_ProgressDialog.hide();
}

void CPage4::StopCreate()
{
    m_Stopped = true;
    m_ProgressDialog.hide();
    switch (m_Phase) {
    case Phase::Exporting:
        // Only the copies of the export are queued now; the changes were carried out before.
        m_FileCopy.ClearAllTasks();
        break;
    case Phase::Saving:
        StopSave();
        break;
    case Phase::Waiting:
    case Phase::Idle:
        break;
    }
}

// --- save ---------------------------------------------------------------------------------

void CPage4::OnSave()
{
    if (m_Tree.m_Root.m_Children.isEmpty()) {
        Util::ShowError(QStringLiteral("Please add files or directorys first!"));
        return;
    }
    const QString target = Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (target.isEmpty())
        return;
    m_Stopped = false;
    m_Phase = Phase::Waiting;
    if (!WaitForExtraction() || !WaitForCopier()) {
        EndOperation();
        return;
    }
    if (!m_ExtractFailure.isEmpty()) {
        EndOperation();
        ShowLongError(QStringLiteral("The ISO file was not saved: the image could not be read "
                                     "completely, so the new one would lack files.\n")
                      + m_ExtractFailure);
        return;
    }
    m_SaveIsoPath = target;
    m_Phase = Phase::Saving;
    StartSave();
}

QString CPage4::BootImageCopy(int i) const
{
    return Util::GetTempDir() + QStringLiteral("/boot-images/%1.img").arg(i);
}

bool CPage4::PlaceBootFiles(const BootOptions::Result &boot, QString *error)
{
    for (const QString &name : boot.hidden) {
        // A file of the content that the save would hide or replace.
        if (name != boot.catalogPath && m_Tree.GetItem(name)) {
            *error = QStringLiteral("The ISO file was not saved: the saved image keeps its boot "
                                    "data as \"%1\" at its top, where the content has a file "
                                    "of that name. Rename it and save again.")
                         .arg(name);
            return false;
        }
    }
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

void CPage4::StartSave()
{
    // Interim: replaced by the shared image writer.
    const BootOptions::Result boot
        = BootOptions::Build(m_Catalog, m_Extents, Util::GetTempDir() + QStringLiteral("/tmp"));
    QString error;
    if (!PlaceBootFiles(boot, &error)) {
        RemoveBootFiles();
        EndOperation();
        ShowLongError(error);
        return;
    }
    m_ProgressDialog.SetText(QStringLiteral("Saving ISO file..."));
    m_ProgressDialog.SetRange(0, 10000);
    m_ProgressDialog.SetValue(0);
    m_ProgressDialog.show();
    QStringList args { QStringLiteral("-udf") };
    if (EditLogic::HasLargeFile(m_Tree.m_Root))
        args << QStringLiteral("-allow-limited-size");
    args << QStringLiteral("-R") << QStringLiteral("-o") << m_SaveIsoPath + QStringLiteral(".part")
         << boot.args << boot.sourceArg;
    m_LastSaveArguments = args;
    m_CreateThread = new CRunCommandThread();
    m_CreateThread->SetRunCmd(Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs"),
                              args);
    connect(m_CreateThread, &CRunCommandThread::standoutputline, this, &CPage4::OnCreateOutput);
    connect(m_CreateThread, &CRunCommandThread::sigfinished, this, &CPage4::OnCreateFinished);
    m_CreateThread->start();
}

void CPage4::StopSave()
{
    StopRunner(m_CreateThread);
    RemoveBootFiles();
    QFile::remove(m_SaveIsoPath + QStringLiteral(".part"));
    EndOperation();
}

void CPage4::OnCreateOutput(QString line)
{
    qDebug() << "CPage4::OnCreateOutput" << line;
}

void CPage4::OnCreateFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_CreateThread)
        return;
    const bool ok = runner->Succeeded();
    runner->wait();
    runner->deleteLater();
    m_CreateThread = nullptr;
    RemoveBootFiles();
    EndOperation();
    const QString part = m_SaveIsoPath + QStringLiteral(".part");
    if (!ok
        || ::rename(QFile::encodeName(part).constData(),
                    QFile::encodeName(m_SaveIsoPath).constData())
            != 0) {
        QFile::remove(part);
        ShowLongError(QStringLiteral("The ISO file was not saved."));
        return;
    }
    Util::ShowOpen(QStringLiteral("Save ISO file successfully!"),
                   QFileInfo(m_SaveIsoPath).absolutePath());
}
