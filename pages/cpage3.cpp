#include "pages/cpage3.h"
#include "services/logging.h"

#include "services/cruncommandthread.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/nofocusdelegate.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>

using CreateLogic::ImageType;

namespace {

// Column 0 of a node: the folder marker (the integer 1 for folders) and the item's path.
constexpr int FolderRole = Qt::UserRole;
constexpr int PathRole = Qt::UserRole + 1;
// How many output lines of mkisofs are kept for the error message.
constexpr int KeptToolLines = 200;

const char *const RadioStyle = "QRadioButton::indicator:checked {\n"
                               "    image: url(:/nwu/rchecked);\n"
                               "}\n"
                               "\n"
                               "QRadioButton::indicator:unchecked {\n"
                               "    image: url(:/nwu/runchecked);\n"
                               "}";

const char *const ListStyle = "background:#ffffff;\n"
                              "border:1px solid #daffc8;\n"
                              "gridline-color:#daffc8;\n"
                              "font-weight:normal;\n"
                              "selection-background-color:#daffc8;\n"
                              "selection-color:#000000;\n"
                              "QHeaderView::section{font:13pt;color: black;};\n"
                              "QHeaderView::section:focus{font:13pt;color: black;};";

// Processes interface events for about ms milliseconds without spinning the processor, or until
// the progress dialog's Stop is pressed.
void processEventsFor(int ms, CProgressDialog *progress)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(progress, &CProgressDialog::SigCancel, &loop, &QEventLoop::quit);
    loop.exec();
}

// Hands presses on the empty part of a view to a slot. The view's own pressed() signal only
// comes for nodes, so without this a selection could never be given up for the top level.
class EmptySpacePress : public QObject
{
public:
    EmptySpacePress(QTreeWidget *view, std::function<void(QModelIndex)> onPress)
        : QObject(view)
        , m_View(view)
        , m_OnPress(std::move(onPress))
    {
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress && watched == m_View->viewport()) {
            const QModelIndex index = m_View->indexAt(static_cast<QMouseEvent *>(event)->pos());
            if (!index.isValid())
                m_OnPress(index);
        }
        return false;
    }

private:
    QTreeWidget *m_View;
    std::function<void(QModelIndex)> m_OnPress;
};

// Makes a button's font smaller, down to 10 pixels, until its text fits into width pixels;
// returns the pixel size it ends with.
int fitWidth(QWidget *button, int width)
{
    QFont font = button->font();
    int pixels = QFontInfo(font).pixelSize();
    while (button->sizeHint().width() > width && pixels > 10) {
        font.setPixelSize(--pixels);
        button->setFont(font);
    }
    button->adjustSize();
    return pixels;
}

// An error prompt like Util::ShowError, with room for the tool's message or a list of files.
void ShowLongError(const QString &text)
{
    CommDialog dialog;
    // File names are shown as they are, never read as markup.
    dialog.SetPlainText(text);
    dialog.SetCancelHidden();
    dialog.exec();
}

} // namespace

CPage3::CPage3(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , form(new Form)
    , m_ProgressDialog(parent)
{
    SetupForm();
    m_StageDir = Util::GetTempDir() + QStringLiteral("/tmp/");
    // Whatever an earlier page or run left in the working folder goes before any new copy.
    m_FileCopy.AddTask(m_StageDir, QString(), 1);
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
    m_StopRequested = true; // ends a staging wait
    m_FileCopy.stop();
    if (m_CreateThread) {
        m_CreateThread->disconnect(this);
        m_CreateThread->terminate();
        m_StoppedRuns << StoppedRun { m_CreateThread, m_Image };
        m_CreateThread = nullptr;
    }
    // The copier ends after the file in progress; each runner ends its tool (terminating, then
    // killing it) within seconds. Meanwhile the windows are repainted, user input waits.
    const auto running = [this]() {
        if (m_FileCopy.isRunning())
            return true;
        for (const StoppedRun &run : qAsConst(m_StoppedRuns)) {
            if (run.thread->isRunning())
                return true;
        }
        return false;
    };
    if (running()) {
        Util::SetCursorBusy();
        while (running()) {
            if (!m_FileCopy.wait(30))
                QThread::msleep(0);
            else
                QThread::msleep(30);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        Util::RestoreCursor();
    }
    for (const StoppedRun &run : qAsConst(m_StoppedRuns)) {
        run.image.RemoveIfWritten();
        delete run.thread;
    }
    m_StoppedRuns.clear();
}

void CPage3::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        // Back hides the page, and a hidden page's project goes with the next Create page.
        if (form->back->isEnabled() && !m_Busy && m_Tree.m_Root.m_Children.isEmpty())
            close();
        event->accept();
        return;
    }
    ImageDialog::keyPressEvent(event);
}

void CPage3::SetupForm()
{
    setObjectName(QStringLiteral("CPage3"));
    setWindowTitle(QStringLiteral("Dialog"));
    SetBackGround(QStringLiteral(":/nwu/page3"));
    setWindowTitle(QStringLiteral("Vexlor"));

    Form *f = form;
    f->list = new QTreeWidget(this);
    f->list->setObjectName(QStringLiteral("list"));
    f->list->move(11, 48);
    f->list->setFixedSize(643, 226);
    f->list->setColumnCount(5);
    f->list->setHeaderLabels(
        { tr("File Name"), tr("File Path"), tr(" Size"), tr("Type"), tr("Time") });
    f->list->setStyleSheet(QString::fromLatin1(ListStyle));
    const int columnWidth = (f->list->width() - 2) / 5;
    for (int c = 0; c < 5; ++c)
        f->list->setColumnWidth(c, columnWidth);
    QFont headerFont = f->list->header()->font();
    headerFont.setWeight(50);
    f->list->header()->setFont(headerFont);
    f->list->header()->setHighlightSections(false);
    f->list->setSelectionBehavior(QAbstractItemView::SelectRows);
    f->list->setSelectionMode(QAbstractItemView::SingleSelection);
    f->list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    f->list->setItemDelegate(new NoFocusDelegate(f->list));
    f->list->setContextMenuPolicy(Qt::CustomContextMenu);
    f->list->setAttribute(Qt::WA_MacShowFocusRect, false);

    auto radio = [this](const char *name, const QString &text, int x) {
        auto *button = new QRadioButton(text, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setStyleSheet(QString::fromLatin1(RadioStyle));
        button->adjustSize();
        button->move(x, 298);
        return button;
    };
    // Siblings with auto-exclusivity: exactly one type is checked at any time.
    f->jolet = radio("jolet", tr("ISO9660 Jolet"), 76);
    f->iso9600 = radio("iso9600", tr("ISO9660"), 196);
    f->udf = radio("udf", tr("UDF ISO"), 292);
    f->jolet->setChecked(true);
    // With a wide fallback font a label would run under the next button: shrink the three
    // labels alike until each fits.
    const int pixels = qMin(fitWidth(f->jolet, f->iso9600->x() - f->jolet->x() - 4),
                            fitWidth(f->iso9600, f->udf->x() - f->iso9600->x() - 4));
    for (QRadioButton *b : { f->jolet, f->iso9600, f->udf }) {
        QFont font = b->font();
        if (QFontInfo(font).pixelSize() != pixels) {
            font.setPixelSize(pixels);
            b->setFont(font);
            b->adjustSize();
        }
    }

    auto button = [this](const char *name, const QString &images, int x, int y) {
        auto *b = new CImageButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetBackGround(images + QLatin1Char('1'), images + QLatin1Char('2'),
                         images + QLatin1Char('3'), QString());
        b->move(x, y);
        return b;
    };
    f->addfile = button("addfile", QStringLiteral(":/nwu/addfile"), 15, 419);
    f->adddir = button("adddir", QStringLiteral(":/nwu/adddir"), 120, 419);
    f->remove = button("remove", QStringLiteral(":/nwu/Remove"), 220, 419);
    f->create = button("create", QStringLiteral(":/nwu/Create-IOS"), 546, 417);
    f->back = button("back", QStringLiteral(":/nwu/Back"), 435, 417);

    f->widget = new QWidget(this);
    f->widget->setObjectName(QStringLiteral("widget"));
    f->widget->move(11, 333);
    f->widget->setFixedSize(643, 62);
    f->widget->setStyleSheet(QStringLiteral("border:1px solid #daffc8;"));

    f->totalsize = new QLabel(tr("Total Size: 0KB"), f->widget);
    f->totalsize->setObjectName(QStringLiteral("totalsize"));
    f->totalsize->setStyleSheet(QStringLiteral("border:none;"));
    f->totalsize->move(0, 0);
    f->totalsize->resize(400, 22);

    f->label_2 = new QLabel(tr("Max Size: 5.00 GB"), f->widget);
    f->label_2->setObjectName(QStringLiteral("label_2"));
    f->label_2->setStyleSheet(QStringLiteral("border:none;"));
    f->label_2->adjustSize();
    f->label_2->move(f->widget->width() - 10 - f->label_2->width(), 5);

    f->progressBar = new QProgressBar(f->widget);
    f->progressBar->setObjectName(QStringLiteral("progressBar"));
    f->progressBar->setStyleSheet(QStringLiteral("background:#daffc8;"));
    f->progressBar->setTextVisible(false);
    f->progressBar->setRange(0, 100);
    f->progressBar->setValue(0);
    f->progressBar->setGeometry(10, 26, f->widget->width() - 20, 27);

    m_ListMenu = new QMenu(f->list);
    auto action = [this](const QString &text, void (CPage3::*slot)()) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, [this, slot](bool) { (this->*slot)(); });
        m_ListMenu->addAction(a);
    };
    action(tr("Add Files(&F)"), &CPage3::OnAddFile);
    action(tr("Add Dirs(&D)"), &CPage3::OnAddDir);
    m_ListMenu->addSeparator();
    action(tr("Remove(&R)"), &CPage3::OnRemove);

    connect(f->addfile, SIGNAL(clicked()), this, SLOT(OnAddFile()));
    connect(f->adddir, SIGNAL(clicked()), this, SLOT(OnAddDir()));
    connect(f->remove, SIGNAL(clicked()), this, SLOT(OnRemove()));
    connect(f->create, SIGNAL(clicked()), this, SLOT(OnCreate()));
    connect(f->back, SIGNAL(clicked()), this, SLOT(close()));
    connect(&m_ProgressDialog, SIGNAL(SigCancel()), this, SLOT(StopCreate()));
    connect(f->list, &QTreeWidget::pressed, this, &CPage3::OnTreeClicked);
    new EmptySpacePress(f->list, [this](QModelIndex index) { OnTreeClicked(index); });
    connect(f->list, &QTreeWidget::customContextMenuRequested, this,
            &CPage3::OnListContextMenuRequest);
}

// --- the project view ---

QString CPage3::NodePath(const QTreeWidgetItem *node)
{
    return node ? node->data(0, PathRole).toString() : QString();
}

QString CPage3::GetCurrSelectDir()
{
    const QList<QTreeWidgetItem *> selected = form->list->selectedItems();
    if (selected.isEmpty() || !selected.first()->parent())
        return QString();
    return NodePath(selected.first()->parent()) + QLatin1Char('/');
}

QTreeWidgetItem *CPage3::TargetNode() const
{
    const QList<QTreeWidgetItem *> selected = form->list->selectedItems();
    if (selected.isEmpty())
        return nullptr;
    QTreeWidgetItem *node = selected.first();
    if (node->data(0, FolderRole).toInt() == 1)
        return node;
    return node->parent();
}

QTreeWidgetItem *CPage3::MakeNode(const Item &item) const
{
    auto *node = new QTreeWidgetItem;
    node->setText(0, item.GetName());
    node->setData(0, PathRole, item.m_Path);
    node->setText(1, item.GetRelPath());
    if (item.m_IsDir) {
        static const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
        node->setIcon(0, folderIcon);
        node->setData(0, FolderRole, 1);
        node->setText(3, tr("Folder"));
    } else {
        // The catalogue asks the platform's icon provider once per extension.
        const QString name = QFileInfo(item.m_SrcPath).fileName();
        node->setIcon(0, Util::GetExtensionIcon(name));
        node->setText(2, Util::SizeToString(static_cast<qint64>(item.m_Size.toULongLong())));
        QString type = Util::GetExtensionString(name);
        if (type.isEmpty()) {
            // No extension (README, Makefile): the platform's description of the file itself.
            static const QMimeDatabase types;
            type = types.mimeTypeForFile(item.m_SrcPath).comment();
        }
        node->setText(3, type);
    }
    node->setText(4, item.m_Time);
    return node;
}

void CPage3::AttachNode(QTreeWidgetItem *node, QTreeWidgetItem *parentNode)
{
    if (parentNode)
        parentNode->addChild(node);
    else
        form->list->addTopLevelItem(node);
}

void CPage3::del(QTreeWidgetItem *node)
{
    // Deleting a node deletes the nodes below it and takes it out of its parent or the view.
    delete node;
}

void CPage3::InnerAddDir(Item *parent, const QString &folder, QTreeWidgetItem *node,
                         QTreeWidget *view)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Drives, QDir::Name | QDir::IgnoreCase);
    m_ScanAncestors << QFileInfo(folder).canonicalFilePath();
    const QString stageRoot = QFileInfo(m_StageDir).canonicalFilePath();
    QList<QTreeWidgetItem *> nodes;
    nodes.reserve(entries.size());
    for (const QFileInfo &entry : entries) {
        Item item;
        item.m_SrcPath = entry.absoluteFilePath();
        item.m_IsDir = entry.isDir();
        if (item.m_IsDir) {
            // A link back to a folder on the way down would never end, and the working folder
            // is not part of any project; the copier leaves both out as well.
            const QString canonical = entry.canonicalFilePath();
            if (m_ScanAncestors.contains(canonical) || canonical == stageRoot) {
                qCWarning(lcCreate) << "CPage3::InnerAddDir leaves out" << item.m_SrcPath;
                continue;
            }
        }
        item.m_Path = parent->m_Path + QLatin1Char('/') + entry.fileName();
        if (!item.m_IsDir)
            item.m_Size = QString::number(entry.size());
        item.m_Time = Util::QT2String(entry.lastModified());
        Item *added = parent->m_Children.append(item);
        QTreeWidgetItem *child = MakeNode(*added);
        nodes << child;
        if (added->m_IsDir)
            InnerAddDir(added, entry.absoluteFilePath(), child, nullptr);
    }
    m_ScanAncestors.removeLast();
    // One insertion per folder keeps the view quick with tens of thousands of entries.
    if (view)
        view->addTopLevelItems(nodes);
    else if (node)
        node->addChildren(nodes);
}

void CPage3::RefreshTotalSize()
{
    const qint64 size = m_Tree.TotalSize();
    form->totalsize->setText(CreateLogic::TotalSizeText(size));
    form->progressBar->setValue(CreateLogic::GaugeValue(size));
}

// --- changing the project ---

void CPage3::OnAddFile()
{
    QTreeWidgetItem *target = TargetNode();
    const QStringList files = Util::GetOpenFilesDialog(this);
    if (files.isEmpty())
        return;
    const QString prefix = target ? NodePath(target) + QLatin1Char('/') : QString();
    Util::SetCursorBusy();
    CollectCopyFailures();
    for (const QString &file : files) {
        const QFileInfo info(file);
        Item item;
        item.m_SrcPath = file;
        item.m_Path = prefix + info.fileName();
        item.m_IsDir = false;
        item.m_Size = QString::number(info.size());
        item.m_Time = Util::QT2String(info.lastModified());
        if (!m_Tree.AddItem(item))
            continue; // already in the project
        AttachNode(MakeNode(item), target);
        m_FailedSources.removeAll(file);
        m_FileCopy.AddTask(file, m_StageDir + item.m_Path, 0);
    }
    RefreshTotalSize();
    Util::RestoreCursor();
}

void CPage3::OnAddDir()
{
    QTreeWidgetItem *target = TargetNode();
    const QStringList dirs = Util::GetDirsDialog(this);
    if (dirs.isEmpty())
        return;
    const QString prefix = target ? NodePath(target) + QLatin1Char('/') : QString();
    Util::SetCursorBusy();
    CollectCopyFailures();
    for (QString dir : dirs) {
        while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
            dir.chop(1);
        const QFileInfo info(dir);
        if (!info.isDir() || info.fileName().isEmpty())
            continue;
        Item item;
        item.m_SrcPath = info.absoluteFilePath();
        item.m_Path = prefix + info.fileName();
        item.m_IsDir = true;
        item.m_Time = Util::QT2String(info.lastModified());
        if (!m_Tree.AddItem(item))
            continue; // already in the project
        // The copier creates the folder under its own name inside the destination; it starts
        // at once, while the folder is scanned.
        m_FailedSources.removeAll(item.m_SrcPath);
        m_FileCopy.AddTask(item.m_SrcPath, m_StageDir + prefix, 0);
        Item *added = m_Tree.GetItem(item.m_Path);
        QTreeWidgetItem *node = MakeNode(*added);
        // The content goes below the node before the node enters the view.
        InnerAddDir(added, item.m_SrcPath, node, nullptr);
        AttachNode(node, target);
    }
    RefreshTotalSize();
    Util::RestoreCursor();
}

void CPage3::OnRemove()
{
    const QList<QTreeWidgetItem *> selected = form->list->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *node = selected.first();
    const QString path = NodePath(node);
    Item *item = m_Tree.GetItem(path);
    if (!item)
        return;
    const QString source = item->m_SrcPath;
    // A pending copy is cancelled only when no other item copies the same source: the copier
    // cancels the first task with that source, which could be the other item's.
    bool shared = false;
    std::function<void(const Item &)> look = [&](const Item &folder) {
        for (const Item *child : folder.m_Children) {
            if (shared)
                return;
            if (child != item && child->m_SrcPath == source)
                shared = true;
            else if (child->m_IsDir && child != item)
                look(*child);
        }
    };
    look(m_Tree.m_Root);
    if (!shared)
        m_FileCopy.RemoveTask(source);
    m_FileCopy.AddTask(m_StageDir + path, QString(), 1);
    del(node);
    m_Tree.RemoveItem(path);
    RefreshTotalSize();
}

void CPage3::OnTreeClicked(QModelIndex index)
{
    if (!index.isValid())
        form->list->clearSelection();
}

void CPage3::OnListContextMenuRequest(QPoint)
{
    m_ListMenu->exec(QCursor::pos());
}

// --- creating the image ---

ImageType CPage3::SelectedType() const
{
    if (form->iso9600->isChecked())
        return ImageType::Iso9660;
    if (form->udf->isChecked())
        return ImageType::Udf;
    return ImageType::Joliet;
}

bool CPage3::AskSwitchToUdf(const QStringList &largeFiles)
{
    CommDialog dialog;
    dialog.SetPlainText(tr("\"%1\" is 4 GB or larger and cannot be stored in an ISO9660 or Jolet "
                           "image.\nCreate a UDF ISO instead?")
                            .arg(largeFiles.first()));
    return dialog.exec() == QDialog::Accepted;
}

void CPage3::CollectCopyFailures()
{
    for (const QString &source : m_FileCopy.TakeFailedTasks()) {
        qCWarning(lcCreate) << "CPage3::CollectCopyFailures copy failed:" << source;
        if (!m_FailedSources.contains(source))
            m_FailedSources << source;
    }
}

QStringList CPage3::UnstagedItems()
{
    CollectCopyFailures();
    QStringList paths = CreateLogic::ItemsWithSources(m_Tree.m_Root, m_FailedSources);
    for (const QString &path : CreateLogic::MissingStagedItems(m_Tree.m_Root, m_StageDir, 50)) {
        if (!paths.contains(path))
            paths << path;
    }
    return paths;
}

bool CPage3::WaitForStaging()
{
    const qint64 total = m_FileCopy.GetLeftTaskBytes();
    if (total > 0) {
        m_ProgressDialog.SetText(tr("Copy files and directories..."));
        m_ProgressDialog.SetRange(0, static_cast<int>(qMin<qint64>(total >> 10, INT_MAX)));
    }
    qCDebug(lcCreate) << "CPage3::OnCreate staging" << total;
    for (;;) {
        if (m_StopRequested)
            return false;
        QElapsedTimer measure;
        measure.start();
        const qint64 left = m_FileCopy.GetLeftTaskBytes();
        // Tasks that move no bytes (empty files, folders, removals) must be done too.
        if (left <= 0 && m_FileCopy.IsIdle())
            return true;
        // Asking for the bytes left measures queued folders; poll less often when that is slow,
        // so that the copier keeps most of the machine.
        const int pause = static_cast<int>(qBound<qint64>(100, measure.elapsed() * 4, 1000));
        m_ProgressDialog.SetValue(
            static_cast<int>(qBound<qint64>(0, (total - left) / 1024, INT_MAX)));
        processEventsFor(pause, &m_ProgressDialog);
        qCDebug(lcCreate) << "CPage3::OnCreate" << total << left;
    }
}

void CPage3::OnCreate()
{
    if (m_Busy || m_CreateThread)
        return;
    if (m_Tree.m_Root.m_Children.isEmpty()) {
        Util::ShowError(tr("Please add files or directorys first!"));
        return;
    }
    ImageType type = SelectedType();
    // A file of 4 GiB or more fits only into UDF; say so before anything runs.
    const QStringList largeFiles = CreateLogic::FilesTooLargeForIso9660(m_Tree.m_Root);
    if (!largeFiles.isEmpty() && type != ImageType::Udf) {
        if (!AskSwitchToUdf(largeFiles))
            return;
        form->udf->setChecked(true);
        type = ImageType::Udf;
    }
    const QString isoPath = Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (isoPath.isEmpty())
        return;

    m_Busy = true;
    m_StopRequested = false;
    m_ProgressDialog.SetText(tr("Copy files and directories..."));
    m_ProgressDialog.SetRange(0, 0);
    m_ProgressDialog.show();
    if (!WaitForStaging() || m_StopRequested) {
        // Stopped during the wait: nothing is created.
        qCDebug(lcCreate) << "CPage3::OnCreate stopped while staging";
        EndCreate();
        return;
    }
    const QStringList unstaged = UnstagedItems();
    if (!unstaged.isEmpty()) {
        EndCreate();
        ShowLongError(tr("The ISO file was not created: these items could not be copied for "
                         "it. Remove them and add them again.\n%1")
                          .arg(CreateLogic::PathListText(unstaged)));
        return;
    }

    m_ProgressDialog.SetText(tr("Creating ISO file..."));
    m_ProgressDialog.SetRange(0, CreateLogic::ProgressMaximum);
    m_ProgressDialog.SetValue(0);
    const QStringList args = CreateLogic::CreateArguments(
        type, isoPath, Util::GetTempDir() + QLatin1Char('/') + QStringLiteral("tmp"),
        !largeFiles.isEmpty());
    m_IsoPath = isoPath;
    m_Image = ImageTarget::Before(isoPath);
    m_ToolLines.clear();
    m_LastArguments = args;

    m_CreateThread = new CRunCommandThread(nullptr);
    m_CreateThread->SetRunCmd(Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs"),
                              args);
    connect(m_CreateThread, SIGNAL(standoutputline(QString)), this, SLOT(OnCreateOutput(QString)));
    connect(m_CreateThread, SIGNAL(sigfinished()), this, SLOT(OnCreateFinished()));
    m_CreateThread->start();
}

void CPage3::OnCreateOutput(QString line)
{
    qCDebug(lcCreate) << "CPage3::OnCreateOutput" << line;
    m_ToolLines << line;
    if (m_ToolLines.size() > KeptToolLines)
        m_ToolLines.removeFirst();
    const int value = CreateLogic::ReadProgress(line);
    if (value >= 0)
        m_ProgressDialog.SetValue(value);
}

void CPage3::OnCreateFinished()
{
    auto *thread = qobject_cast<CRunCommandThread *>(sender());
    // A run stopped by the user is ended by ReapStoppedRuns().
    if (!thread || thread != m_CreateThread)
        return;
    CreateLogic::RunResult result;
    result.failedToStart = thread->FailedToStart();
    result.crashed = thread->Crashed();
    result.exitCode = thread->ExitCode();
    thread->wait();
    thread->deleteLater();
    m_CreateThread = nullptr;

    const QFileInfo image(m_IsoPath);
    result.imageWritten = image.isFile() && image.size() > 0 && m_Image.TouchedByRun();
    const QString failure
        = CreateLogic::FailureText(result, CreateLogic::PickToolMessage(m_ToolLines));
    EndCreate();
    if (failure.isEmpty()) {
        Util::ShowOpen(tr("Create ISO successfully!"), image.absolutePath());
        return;
    }
    qCWarning(lcCreate) << "CPage3::OnCreateFinished mkisofs failed" << result.exitCode
                        << m_ToolLines;
    m_Image.RemoveIfWritten();
    ShowLongError(failure);
}

void CPage3::StopCreate()
{
    m_StopRequested = true;
    m_ProgressDialog.hide();
    if (!m_CreateThread)
        return; // during the staging wait, which ends on the flag
    m_CreateThread->terminate();
    m_StoppedRuns << StoppedRun { m_CreateThread, m_Image };
    m_CreateThread = nullptr;
    // Removed now, and again once the tool has ended, in case it had not opened it yet.
    m_Image.RemoveIfWritten();
    ReapStoppedRuns();
    EndCreate();
}

void CPage3::ReapStoppedRuns()
{
    if (m_Stopped)
        return; // StopWork() ends them
    for (int i = 0; i < m_StoppedRuns.size();) {
        const StoppedRun run = m_StoppedRuns.at(i);
        if (!run.thread->isFinished()) {
            ++i;
            continue;
        }
        m_StoppedRuns.removeAt(i);
        // A new run to the same file owns it now.
        if (!m_CreateThread || QFileInfo(m_IsoPath) != QFileInfo(run.image.path))
            run.image.RemoveIfWritten();
        delete run.thread;
    }
    if (!m_StoppedRuns.isEmpty())
        QTimer::singleShot(50, this, &CPage3::ReapStoppedRuns);
}

void CPage3::EndCreate()
{
    m_Busy = false;
    m_ProgressDialog.hide();
}

CPage3::ImageTarget CPage3::ImageTarget::Before(const QString &path)
{
    ImageTarget target;
    target.path = path;
    const QFileInfo info(path);
    target.existed = info.exists();
    if (target.existed) {
        target.oldSize = info.size();
        target.oldTime = info.lastModified();
    }
    return target;
}

bool CPage3::ImageTarget::TouchedByRun() const
{
    const QFileInfo now(path);
    if (path.isEmpty() || !now.exists())
        return false;
    if (!existed)
        return true;
    return now.size() != oldSize || now.lastModified() != oldTime;
}

void CPage3::ImageTarget::RemoveIfWritten() const
{
    // Only a file the run wrote goes; a folder, or an earlier file it never touched, stays.
    if (!QFileInfo(path).isFile() || !TouchedByRun())
        return;
    if (!QFile::remove(path))
        qCWarning(lcCreate) << "CPage3::ImageTarget::RemoveIfWritten could not remove" << path;
}
