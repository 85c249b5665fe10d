#include "pages/cpage2.h"
#include "services/logging.h"

#include "model/listing.h"
#include "services/cruncommandthread.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/gerneraldialog.h"
#include "ui/nofocusdelegate.h"
#include "ui/scheckboxheaderview.h"

#include <QAction>
#include <QCursor>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

// The page's form, built in code.
namespace Ui {
class CPage2
{
public:
    CImageButton *loadiso = nullptr;
    CImageButton *back = nullptr;
    CImageButton *extract = nullptr;
    QTreeWidget *tree = nullptr;
    QTableWidget *list = nullptr;

    void setupUi(QDialog *page)
    {
        page->setObjectName(QStringLiteral("CPage2"));
        page->resize(664, 472);
        loadiso = new CImageButton(page);
        loadiso->setObjectName(QStringLiteral("loadiso"));
        loadiso->setGeometry(567, 17, 88, 26);
        back = new CImageButton(page);
        back->setObjectName(QStringLiteral("back"));
        back->setGeometry(11, 417, 108, 30);
        extract = new CImageButton(page);
        extract->setObjectName(QStringLiteral("extract"));
        extract->setGeometry(546, 417, 108, 30);
        tree = new QTreeWidget(page);
        tree->setObjectName(QStringLiteral("tree"));
        tree->setGeometry(10, 54, 213, 350);
        list = new QTableWidget(page);
        list->setObjectName(QStringLiteral("list"));
        list->setGeometry(223, 54, 431, 350);
        page->setWindowTitle(QStringLiteral("Dialog"));
    }
};
} // namespace Ui

namespace {

const char kTreeStyle[] = "background:#f3ffed;\nborder:1px solid #daffc8;\noutline:none;\n"
                          "QTreeView::focus{border: 1px solid #daffc8;}";
const char kListStyle[]
    = "background:#ffffff;\nborder:1px solid #daffc8;\ngridline-color:#daffc8;\n"
      "selection-background-color:#daffc8;\nselection-color:#000000;\n"
      "QHeaderView::section{font:13pt;color: black;};\n"
      "QHeaderView::section:focus{font:13pt;color: black;};";

// Clicks closer than this to the table's left edge hit the check box, which toggles by itself.
const int kCheckBoxWidth = 17;

// How long the page waits for a stopped tool at destruction before it gives up on it.
const unsigned long kRunnerWaitMs = 5000;

QIcon folderIcon()
{
    static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    return icon;
}

ExtractLogic::RunEnd runEnd(CRunCommandThread *runner)
{
    ExtractLogic::RunEnd end;
    if (runner) {
        end.failedToStart = runner->FailedToStart();
        end.crashed = runner->Crashed();
        end.exitCode = runner->ExitCode();
    }
    return end;
}

// The completion message with its Open-Folder button; word wrap on when it has more to say.
void showCompletion(const QString &text, const QString &folder)
{
    if (!text.contains(QLatin1Char('\n'))) {
        Util::ShowOpen(text, folder);
        return;
    }
    CommDialog dialog;
    dialog.SetAllowWarp();
    dialog.SetText(text);
    dialog.SetOpen(folder);
    dialog.exec();
}

// Removes the work folder of a stopped extraction with everything in it. Only a folder that
// one of our extractions created is ever removed.
void discardWorkDir(const QString &workDir)
{
    if (workDir.isEmpty()
        || !QFileInfo(workDir).fileName().startsWith(ExtractLogic::WorkDirPrefix())) {
        return;
    }
    if (!QDir(workDir).removeRecursively())
        qCWarning(lcExtract) << "CPage2::OnStopExtract cannot remove" << workDir;
}

} // namespace

CPage2::CPage2(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , ui(new Ui::CPage2)
    , m_ProgressDialog(this)
{
}

CPage2::~CPage2()
{
    delete m_ListMenu;
    m_ListMenu = nullptr;
    delete ui;
    ui = nullptr;

    // Stop what still runs, then free every runner whose thread has ended (a runner whose
    // thread does not end in time is left alone rather than destroyed while it runs). A stopped
    // extraction delivers nothing: its work folder may hold a half-written file.
    if (m_ExtractThread) {
        m_ExtractThread->terminate();
        const QString workDir = m_WorkDir;
        m_Retired << Retired { m_ExtractThread, [workDir]() {
                                  discardWorkDir(workDir);
                              } };
        m_ExtractThread = nullptr;
        m_WorkDir.clear();
    }
    if (m_ListThread) {
        m_ListThread->terminate();
        m_Retired << Retired { m_ListThread, {} };
        m_ListThread = nullptr;
    }
    const QList<Retired> retired = m_Retired;
    m_Retired.clear();
    for (const Retired &r : retired) {
        if (!r.runner)
            continue;
        if (!r.runner->wait(kRunnerWaitMs)) {
            qCWarning(lcExtract) << "CPage2::~CPage2 a runner did not end in time; left behind";
            continue;
        }
        delete r.runner.data();
        if (r.after)
            r.after();
    }
    if (m_Loading)
        Util::RestoreCursor();
}

void CPage2::InitializeUI()
{
    qCDebug(lcExtract) << "CPage2::InitializeUI() is called!!";
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(QStringLiteral(":/nwu/page2"));

    ui->loadiso->SetBackGround(QStringLiteral(":/nwu/loadiso1"), QStringLiteral(":/nwu/loadiso2"),
                               QStringLiteral(":/nwu/loadiso3"), QString());
    ui->back->SetBackGround(QStringLiteral(":/nwu/Back1"), QStringLiteral(":/nwu/Back2"),
                            QStringLiteral(":/nwu/Back3"), QString());
    ui->extract->SetBackGround(QStringLiteral(":/nwu/btnextract1"),
                               QStringLiteral(":/nwu/btnextract2"),
                               QStringLiteral(":/nwu/btnextract3"), QString());
    ui->loadiso->move(567, 17);
    ui->back->move(11, 417);
    ui->extract->move(546, 417);

    QTreeWidget *tree = ui->tree;
    tree->move(10, 54);
    tree->setFixedSize(213, 350);
    tree->setStyleSheet(QString::fromLatin1(kTreeStyle));
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->setFrameShape(QFrame::NoFrame);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->header()->setStretchLastSection(false);
    tree->setAttribute(Qt::WA_MacShowFocusRect, false);

    QTableWidget *list = ui->list;
    list->move(223, 54);
    list->setFixedSize(431, 350);
    list->setStyleSheet(QString::fromLatin1(kListStyle));
    m_HeaderView = new SCheckBoxHeaderView(0, Qt::Horizontal, list);
    list->setHorizontalHeader(m_HeaderView);
    list->setColumnCount(4);
    list->setHorizontalHeaderLabels({ QStringLiteral("File Name"), QStringLiteral(" Size"),
                                      QStringLiteral("Type"), QStringLiteral("Time") });
    const int columnWidth = (list->width() - 2) / 4;
    for (int c = 0; c < 4; ++c)
        list->setColumnWidth(c, columnWidth);
    m_HeaderView->setVisible(true);
    QFont headerFont = m_HeaderView->font();
    headerFont.setWeight(50);
    m_HeaderView->setFont(headerFont);
    m_HeaderView->setHighlightSections(false);
    list->verticalHeader()->setVisible(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setItemDelegate(new NoFocusDelegate(list));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setAttribute(Qt::WA_MacShowFocusRect, false);
    list->viewport()->installEventFilter(this);

    m_ListMenu = new QMenu(list);
    QAction *extractAction = new QAction(QStringLiteral("Extract(&E)"), this);
    m_ListMenu->addAction(extractAction);
    connect(extractAction, &QAction::triggered, this, &CPage2::OnExtract);

    connect(m_HeaderView, &SCheckBoxHeaderView::checkStausChange, this, &CPage2::slotSelectAll);
    connect(ui->loadiso, SIGNAL(clicked()), this, SLOT(OnLoadISO()));
    connect(ui->back, SIGNAL(clicked()), this, SLOT(OnBack()));
    connect(ui->extract, SIGNAL(clicked()), this, SLOT(OnExtract()));
    connect(list, &QWidget::customContextMenuRequested, this, &CPage2::OnListContextMenuRequest);
    connect(tree, &QTreeWidget::itemClicked, this, &CPage2::OnTreeCurrentChanged);
    connect(list, &QTableWidget::itemDoubleClicked, this, &CPage2::OnListViewDoubleClicked);
    connect(list, &QTableWidget::itemClicked, this, &CPage2::OnListViewClicked);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage2::OnStopExtract);
}

bool CPage2::eventFilter(QObject *watched, QEvent *event)
{
    if (ui && ui->list && watched == ui->list->viewport()
        && event->type() == QEvent::MouseButtonRelease) {
        m_LastReleasePos = static_cast<QMouseEvent *>(event)->globalPos();
        m_HaveReleasePos = true;
    }
    return ImageDialog::eventFilter(watched, event);
}

void CPage2::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (ui && ui->back->isEnabled())
            OnBack();
        event->accept();
        return;
    }
    ImageDialog::keyPressEvent(event);
}

void CPage2::OnBack()
{
    close();
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
    m_CurrentItem = nullptr;
    ui->tree->clear();
    ui->list->setRowCount(0);

    if (m_ListThread) {
        // A previous listing whose tool has not ended yet: its output is no longer wanted.
        m_ListThread->disconnect(this);
        m_ListThread->terminate();
        RetireRunner(m_ListThread);
        m_ListThread = nullptr;
    }
    auto *runner = new CRunCommandThread();
    connect(runner, &CRunCommandThread::standoutputline, this, &CPage2::OnLineOutput);
    connect(runner, &CRunCommandThread::sigfinished, this, &CPage2::OnListFinished);

    if (!m_Loading)
        Util::SetCursorBusy();
    m_Loading = true;
    SetLoadButtonsEnabled(false);

    runner->SetRunCmd(SevenZip::Program(), SevenZip::ListArgs(file));
    m_InTable = false;
    m_ListClosed = false;
    m_ListErrors.Clear();
    m_Tree.Clear();
    m_Tree.m_Name = QFileInfo(file).fileName();
    m_ListThread = runner;
    runner->start();
}

void CPage2::OnLineOutput(QString line)
{
    // Lines of a listing the page has already given up are not for this tree.
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
        // The runner is freed in OnListFinished(), once its thread has ended.
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

void CPage2::OnListFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_ListThread)
        return;
    m_ListThread = nullptr;
    const ExtractLogic::RunEnd end = runEnd(runner);
    RetireRunner(runner);
    if (m_ListClosed) {
        if (end.exitCode != 0 || end.crashed)
            qCWarning(lcExtract) << "CPage2::OnListFinished listing ended with status"
                                 << end.exitCode << m_ListErrors.Lines();
        // The table is shown (what is readable can still be extracted), but the user is told
        // when the tool found the image damaged, for example cut short.
        const QString damage = ExtractLogic::ListingDamageText(end, m_ListErrors);
        if (!damage.isEmpty()) {
            Util::WriteLog(QStringLiteral("CPage2::OnListFinished damaged image ") + m_IsoPath
                           + QLatin1Char(' ') + m_ListErrors.Lines().join(QStringLiteral("; ")));
            Util::ShowError(damage);
        }
        return;
    }
    // The table never closed: not an image, a damaged image, or no tool.
    qCWarning(lcExtract) << "CPage2::OnListFinished no complete listing for" << m_IsoPath
                         << "status" << end.exitCode << "failed to start" << end.failedToStart
                         << m_ListErrors.Lines();
    m_InTable = false;
    m_CurrentItem = nullptr;
    ui->tree->clear();
    ui->list->setRowCount(0);
    m_Tree.Clear();
    EndLoading();
    Util::WriteLog(QStringLiteral("CPage2::OnListFinished cannot read ") + m_IsoPath);
    Util::ShowError(ExtractLogic::ListingFailureText(end, m_ListErrors));
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

    ui->tree->clear();
    auto *top = new QTreeWidgetItem();
    top->setText(0, m_Tree.m_Name);
    top->setData(0, Qt::UserRole, QVariant::fromValue(&m_Tree.m_Root));
    // The nodes are built detached and added in one go.
    LoadFiles(&m_Tree.m_Root, nullptr, top);
    top->setIcon(0, folderIcon());
    ui->tree->addTopLevelItem(top);
    top->setExpanded(true);

    m_CurrentItem = &m_Tree.m_Root;
    RefreshTable();
}

void CPage2::LoadFiles(Item *item, QTreeWidget *view, QTreeWidgetItem *parentNode)
{
    if (!item || !parentNode)
        return;
    for (Item *child : item->m_Children) {
        if (!child->m_IsDir)
            continue;
        auto *node = new QTreeWidgetItem();
        node->setText(0, child->GetName());
        if (view)
            view->addTopLevelItem(node);
        else
            parentNode->addChild(node);
        node->setIcon(0, folderIcon());
        node->setData(0, Qt::UserRole, QVariant::fromValue(child));
        LoadFiles(child, nullptr, node);
    }
}

// --- browsing -----------------------------------------------------------------------------

void CPage2::RefreshTable()
{
    QTableWidget *list = ui->list;
    list->setRowCount(0);
    if (!m_CurrentItem)
        return;
    const ItemList &children = m_CurrentItem->m_Children;
    const int rows = children.size();
    list->setUpdatesEnabled(false);
    list->setRowCount(rows);
    const QIcon dirIcon = folderIcon();
    const QString folderType = QStringLiteral("Folder");
    for (int row = 0; row < rows; ++row) {
        const Item *child = children.at(row);
        const QString name = child->GetName();
        auto *nameCell
            = new QTableWidgetItem(child->m_IsDir ? dirIcon : Util::GetExtensionIcon(name), name);
        nameCell->setCheckState(Qt::Unchecked);
        if (child->m_IsDir)
            nameCell->setData(Qt::UserRole, 1);
        list->setItem(row, 0, nameCell);
        list->setItem(row, 1,
                      new QTableWidgetItem(child->m_IsDir ? QString()
                                                          : Util::SizeToString(static_cast<qint64>(
                                                              child->m_Size.toULongLong()))));
        list->setItem(
            row, 2,
            new QTableWidgetItem(child->m_IsDir ? folderType : Util::GetExtensionString(name)));
        list->setItem(row, 3, new QTableWidgetItem(child->m_Time));
    }
    list->setUpdatesEnabled(true);
}

void CPage2::OnTreeCurrentChanged()
{
    QTreeWidgetItem *node = ui->tree->currentItem();
    if (!node)
        return;
    node->setSelected(true);
    m_CurrentItem = node->data(0, Qt::UserRole).value<Item *>();
    RefreshTable();
}

void CPage2::OnListViewClicked(QTableWidgetItem *pItem)
{
    if (!pItem)
        return;
    QTableWidget *table = pItem->tableWidget();
    if (!table)
        return;
    const int row = pItem->row();
    if (row < 0 || row >= table->rowCount())
        return;
    const QPoint global = m_HaveReleasePos ? m_LastReleasePos : QCursor::pos();
    m_HaveReleasePos = false;
    if (table->mapFromGlobal(global).x() < kCheckBoxWidth)
        return;
    QTableWidgetItem *nameCell = table->item(row, 0);
    if (!nameCell)
        return;
    Qt::CheckState state = nameCell->checkState();
    if (state == Qt::Checked)
        state = Qt::Unchecked;
    else if (state == Qt::Unchecked)
        state = Qt::Checked;
    qCDebug(lcExtract) << "CPage2::OnListViewClicked";
    nameCell->setCheckState(state);
}

void CPage2::OnListViewDoubleClicked()
{
    const int row = ui->list->currentRow();
    if (row < 0 || !m_CurrentItem || row >= m_CurrentItem->m_Children.size())
        return;
    Item *child = m_CurrentItem->m_Children.at(row);
    if (!child->m_IsDir)
        return;
    m_CurrentItem = child;
    RefreshTable();
    RefreshTreeWidget();
}

void CPage2::RefreshTreeWidget()
{
    QTreeWidgetItem *top = ui->tree->topLevelItem(0);
    if (!top)
        return;
    QTreeWidgetItem *node = GetTreeWidgetItemByData(top, m_CurrentItem);
    if (!node)
        return;
    if (node->parent() && !node->parent()->isExpanded())
        node->parent()->setExpanded(true);
    ui->tree->clearSelection();
    ui->tree->setCurrentItem(node);
    node->setSelected(true);
    node->setExpanded(true);
    ui->tree->scrollToItem(node);
}

QTreeWidgetItem *CPage2::GetTreeWidgetItemByData(QTreeWidgetItem *node, Item *item)
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

void CPage2::slotSelectAll(bool bChecked)
{
    QTableWidget *list = ui->list;
    for (int row = 0; row < list->rowCount(); ++row) {
        if (QTableWidgetItem *cell = list->item(row, 0))
            cell->setCheckState(bChecked ? Qt::Checked : Qt::Unchecked);
    }
}

// --- extracting ---------------------------------------------------------------------------

void CPage2::OnExtract()
{
    QStringList ticked;
    QTableWidget *list = ui->list;
    for (int row = 0; row < list->rowCount(); ++row) {
        const QTableWidgetItem *cell = list->item(row, 0);
        if (cell && cell->checkState() == Qt::Checked)
            ticked << cell->text();
    }
    const ExtractLogic::Request request
        = ExtractLogic::BuildRequest(m_CurrentItem ? m_CurrentItem->m_Path : QString(), ticked);
    if (ticked.isEmpty() || request.names.isEmpty()) {
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
    QTemporaryDir work(dest + QLatin1Char('/') + ExtractLogic::WorkDirPrefix()
                       + QStringLiteral("XXXXXX"));
    if (!work.isValid()) {
        qCWarning(lcExtract) << "CPage2::OnExtract cannot create a folder in" << dest
                             << work.errorString();
        Util::ShowError(QStringLiteral("The files could not be extracted: the folder \"%1\" "
                                       "cannot be written to.")
                            .arg(dest));
        return;
    }
    work.setAutoRemove(false);

    m_ExtractNames = request.names;
    m_DestDir = dest;
    m_RelDir = request.relDir;
    m_WorkDir = work.path();
    m_ExtractErrors.Clear();

    if (m_ExtractThread) {
        m_ExtractThread->terminate();
        m_ExtractThread->disconnect(this);
        RetireRunner(m_ExtractThread);
        m_ExtractThread = nullptr;
    }
    m_ExtractThread = new CRunCommandThread();
    connect(m_ExtractThread, &CRunCommandThread::sigfinished, this, &CPage2::OnExtractFinished);
    connect(m_ExtractThread, &CRunCommandThread::standoutputline, this, &CPage2::OnExtractOutput);
    m_ExtractThread->SetRunCmd(SevenZip::Program(),
                               SevenZip::ExtractArgs(m_IsoPath, m_WorkDir, request.relPaths));

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
    const ExtractLogic::Progress progress = ExtractLogic::ReadProgressLine(line);
    if (!progress.valid)
        return;
    m_ProgressDialog.SetValue(progress.value);
    if (!progress.text.isEmpty())
        m_ProgressDialog.SetText(progress.text);
}

void CPage2::OnExtractFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    // A run that was stopped, or replaced, is not judged here.
    if (sender() && (!runner || runner != m_ExtractThread))
        return;
    const ExtractLogic::RunEnd end = runEnd(runner);
    m_ExtractThread = nullptr;
    RetireRunner(runner);

    const ExtractLogic::Verdict verdict = ExtractLogic::JudgeExtraction(end, m_ExtractErrors);
    const ExtractLogic::Delivery delivery
        = ExtractLogic::MoveUp(m_WorkDir, m_DestDir, m_RelDir, m_ExtractNames);
    const QString workDir = m_WorkDir;
    m_WorkDir.clear();

    SetControlsEnabled(true);
    m_ProgressDialog.hide();

    QString problem;
    if (!verdict.success)
        problem = verdict.message;
    // The tool can end well having written nothing for a name (no such entry in the image).
    if (!delivery.missing.isEmpty()) {
        if (!problem.isEmpty())
            problem += QLatin1Char('\n');
        problem += ExtractLogic::MissingText(delivery.missing);
    }
    if (!delivery.failed.isEmpty()) {
        if (!problem.isEmpty())
            problem += QLatin1Char('\n');
        problem += QStringLiteral("Some items could not be moved into place; they are in \"%1\".")
                       .arg(workDir);
    }
    if (problem.isEmpty()) {
        Util::WriteLog(QStringLiteral("Extract files successfully :") + m_DestDir);
        showCompletion(ExtractLogic::SuccessText(delivery.renamed), m_DestDir);
    } else {
        qCWarning(lcExtract) << "CPage2::OnExtractFinished" << problem << m_ExtractErrors.Lines();
        Util::WriteLog(QStringLiteral("Extract files failed :") + m_DestDir + QLatin1Char(' ')
                       + m_ExtractErrors.Lines().join(QStringLiteral("; ")));
        Util::ShowError(problem);
    }
}

void CPage2::OnStopExtract()
{
    CRunCommandThread *runner = m_ExtractThread;
    m_ExtractThread = nullptr;
    if (runner) {
        runner->terminate();
        runner->disconnect(this);
        // Nothing is moved up: the file being written when the tool stopped is cut short, and
        // the image still holds everything. The work folder goes once the tool has ended.
        const QString workDir = m_WorkDir;
        RetireRunner(runner, [workDir]() { discardWorkDir(workDir); });
        m_WorkDir.clear();
    }
    m_ProgressDialog.hide();
    SetControlsEnabled(true);
}

// --- helpers ------------------------------------------------------------------------------

void CPage2::SetLoadButtonsEnabled(bool enabled)
{
    ui->back->setEnabled(enabled);
    ui->loadiso->setEnabled(enabled);
    ui->extract->setEnabled(enabled);
}

void CPage2::SetControlsEnabled(bool enabled)
{
    // The progress dialog must stay usable while the page is disabled.
    if (m_ProgressDialog.parentWidget() != this) {
        setEnabled(enabled);
        return;
    }
    const auto children = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child != &m_ProgressDialog && !child->isWindow())
            child->setEnabled(enabled);
    }
}

void CPage2::RetireRunner(CRunCommandThread *runner, std::function<void()> after)
{
    if (!runner) {
        if (after)
            after();
        return;
    }
    m_Retired << Retired { runner, after };
    const QPointer<CRunCommandThread> guard(runner);
    auto finish = [this, guard]() {
        if (!guard)
            return;
        for (int i = 0; i < m_Retired.size(); ++i) {
            if (m_Retired.at(i).runner != guard)
                continue;
            const std::function<void()> then = m_Retired.takeAt(i).after;
            if (then)
                then();
            // Deferred: the runner may still be on the stack below a nested event loop (its
            // sigfinished() handler may be showing a message); it goes once that has returned.
            guard->deleteLater();
            return;
        }
    };
    connect(runner, &QThread::finished, this, finish, Qt::QueuedConnection);
    if (!runner->isRunning())
        finish();
}
