#include "app/mainwindow.h"

#include "pages/cburndialog.h"
#include "pages/cpage2.h"
#include "pages/cpage3.h"
#include "pages/cpage4.h"
#include "pages/cpage5.h"
#include "services/util.h"
#include "ui/caboutusdialog.h"
#include "ui/cimagebutton.h"

#include <QAction>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

namespace {
// The Help menu of the menu bar; one for the whole process.
QMenu *g_helpMenu = nullptr;
} // namespace

// The home window's form: every child is an image button placed on the window itself.
struct MainWindow::Form
{
    CImageButton *menu;
    CImageButton *min;
    CImageButton *close;
    CImageButton *burn;
    CImageButton *extract;
    CImageButton *create;
    CImageButton *edit;
    CImageButton *copy;
    CImageButton *home;
    CImageButton *help;

    void setupUi(QMainWindow *window)
    {
        window->setObjectName(QStringLiteral("MainWindow"));
        window->resize(860, 580);
        menu = button(window, "menu", 775, 1, 28, 28);
        min = button(window, "min", 803, 1, 28, 28);
        close = button(window, "close", 831, 1, 28, 28);
        burn = button(window, "burn", 205, 120, 120, 80);
        extract = button(window, "extract", 644, 120, 120, 80);
        create = button(window, "create", 205, 350, 120, 80);
        edit = button(window, "edit", 424, 350, 120, 80);
        copy = button(window, "copy", 644, 350, 120, 80);
        home = button(window, "home", 627, 38, 51, 41);
        help = button(window, "help", 699, 38, 51, 41);
        window->setWindowTitle(QStringLiteral("MainWindow"));
    }

    static CImageButton *button(QWidget *window, const char *name, int x, int y, int w, int h)
    {
        auto *b = new CImageButton(window);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, y, w, h);
        return b;
    }
};

static QString nwu(const char *name)
{
    return QStringLiteral(":/nwu/") + QLatin1String(name);
}

MainWindow::MainWindow(QWidget *parent)
    : CBaseMainWindow(parent)
    , m_form(new Form)
{
    m_form->setupUi(this);
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(nwu("main"));
    SetMoveable(true);

    m_form->close->SetBackGround(nwu("osxclose1"), nwu("osxclose2"), nwu("osxclose3"),
                                 nwu("osxclose4"));
    m_form->min->SetBackGround(nwu("osxmin1"), nwu("osxmin2"), nwu("osxmin3"), nwu("osxmin4"));
    m_form->menu->hide();
    m_form->close->move(10, 9);
    m_form->min->move(30, 9);
    m_form->help->move(m_form->help->x(), m_form->help->y() - 15);
    m_form->home->move(m_form->home->x(), m_form->home->y() - 15);

    onMenu();

    const auto clicked = qOverload<>(&CImageButton::clicked);
    connect(m_form->close, clicked, this, &MainWindow::onClose);
    connect(m_form->min, clicked, this, &MainWindow::onMin);
    connect(m_form->menu, clicked, this, &MainWindow::onMenu);

    m_form->burn->SetBackGround(nwu("mburn1"), nwu("mburn2"), nwu("mburn3"), QString());
    connect(m_form->burn, clicked, this, &MainWindow::onBurn);
    m_form->extract->SetBackGround(nwu("Extract1"), nwu("Extract2"), nwu("Extract3"), QString());
    connect(m_form->extract, clicked, this, &MainWindow::onExtract);
    m_form->create->SetBackGround(nwu("Create1"), nwu("Create2"), nwu("Create3"), QString());
    connect(m_form->create, clicked, this, &MainWindow::onCreate);
    m_form->edit->SetBackGround(nwu("Edit1"), nwu("Edit2"), nwu("Edit3"), QString());
    connect(m_form->edit, clicked, this, &MainWindow::onEdit);
    m_form->copy->SetBackGround(nwu("Copy-Disc1"), nwu("Copy-Disc2"), nwu("Copy-Disc3"), QString());
    connect(m_form->copy, clicked, this, &MainWindow::onCopy);

    m_form->home->SetBackGround(nwu("Home"), 4);
    connect(m_form->home, clicked, this, &MainWindow::onHome);
    m_form->help->SetBackGround(nwu("Help"), 4);
    connect(m_form->help, clicked, this, &MainWindow::onHelp);

    // Disks and discs that come or go change the kernel's partition table list (a disc's
    // capacity shows there once it is read); the drive lists of the pages follow it.
    m_drives = DriveSignature();
    auto *driveWatch = new QTimer(this);
    connect(driveWatch, &QTimer::timeout, this, [this] {
        const QByteArray now = DriveSignature();
        if (now != m_drives) {
            m_drives = now;
            emit sigdrivechange();
        }
    });
    driveWatch->start(2000);
}

QByteArray MainWindow::DriveSignature()
{
    QFile partitions(QStringLiteral("/proc/partitions"));
    return partitions.open(QIODevice::ReadOnly) ? partitions.readAll() : QByteArray();
}

MainWindow::~MainWindow()
{
    delete m_form;
    // The Help menu has no parent; it goes with the window whose menu bar shows it.
    delete g_helpMenu;
    g_helpMenu = nullptr;
}

QString MainWindow::HomePageUrl()
{
    return QStringLiteral("https://vexlor.example.org/");
}

QString MainWindow::HelpUrl()
{
    return QStringLiteral("https://vexlor.example.org/help");
}

QMenu *MainWindow::HelpMenu()
{
    return g_helpMenu;
}

void MainWindow::onClose()
{
    // Ends the process once the pages have stopped their tools and copiers; a tool that has
    // not ended within the time is killed.
    CRunners::SetExitDeadline(1800);
    StopPages();
    std::fflush(nullptr);
    ::_exit(0);
}

void MainWindow::StopPages()
{
    Util::SetCursorBusy();
    // A page's destructor ends its runs: an extraction's tool is terminated and its work folder
    // removed, as Stop does; a Create page stops its copier between two files.
    // (A Create page's progress dialog is a child of this window too, owned by its page.)
    for (CPage3 *page : findChildren<CPage3 *>(QString(), Qt::FindDirectChildrenOnly))
        page->StopWork();
    for (CPage4 *page : findChildren<CPage4 *>(QString(), Qt::FindDirectChildrenOnly))
        page->StopWork();
    qDeleteAll(findChildren<CPage2 *>(QString(), Qt::FindDirectChildrenOnly));
    qDeleteAll(findChildren<CPage3 *>(QString(), Qt::FindDirectChildrenOnly));
    qDeleteAll(findChildren<CPage4 *>(QString(), Qt::FindDirectChildrenOnly));
    // A Copy-disc page ends its makehybrid run and removes the partial image.
    qDeleteAll(findChildren<CPage5 *>(QString(), Qt::FindDirectChildrenOnly));
    Util::RestoreCursor();
}

void MainWindow::onMin()
{
    showMinimized();
}

void MainWindow::onMenu()
{
    if (g_helpMenu) {
        delete g_helpMenu;
        g_helpMenu = nullptr;
    }
    g_helpMenu = new QMenu(tr("Help"));

    auto *help = new QAction(tr("Help(&H)"), this);
    help->setShortcut(QKeySequence(tr("CTRL+H")));
    connect(help, &QAction::triggered, this, &MainWindow::onHelp);
    auto *about = new QAction(tr("About US(&U)"), this);
    about->setShortcut(QKeySequence(tr("CTRL+U")));
    connect(about, &QAction::triggered, this, &MainWindow::aboutus);
    auto *exit = new QAction(tr("Exit(&E)"), this);
    exit->setShortcut(QKeySequence(tr("CTRL+E")));
    connect(exit, &QAction::triggered, this, &MainWindow::close);
    g_helpMenu->addAction(help);
    g_helpMenu->addAction(about);
    g_helpMenu->addSeparator();
    g_helpMenu->addAction(exit);

    auto *bar = new QMenuBar(nullptr);
    setMenuBar(bar);
    bar->addMenu(g_helpMenu);

    // Where the platform has no application-wide menu bar, the bar would lie inside the window
    // over the skin's header. It is hidden there; the menu stays reachable from the window's
    // context menu and its shortcuts stay active through the window.
    const QList<QAction *> old = actions();
    for (QAction *action : old)
        removeAction(action);
    if (!bar->platformMenuBar()) {
        bar->hide();
        addActions({ help, about, exit });
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

void MainWindow::EmbedPage(ImageDialog *page)
{
    ReleaseClosedDrivePages();
    // A page is a skinned dialog; without window flags it is drawn inside the home window,
    // over the feature buttons. Closed Burn and Copy-disc pages go once they are hidden; other
    // closed pages stay hidden children until the window goes (or a Create or Edit page needs
    // the working folder).
    page->setParent(this, Qt::Widget);
    // Burn and Copy-disc pages follow the drives while they live.
    if (auto *burn = qobject_cast<CBurnDialog *>(page)) {
        connect(this, &MainWindow::sigdrivechange, burn,
                [burn] { burn->InitializeUSBAndDVDComboBox(); });
        page->installEventFilter(this);
    } else if (auto *copy = qobject_cast<CPage5 *>(page)) {
        connect(this, &MainWindow::sigdrivechange, copy, &CPage5::OnDriveChange);
        page->installEventFilter(this);
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Freed from the event loop, never inside the page's own handler that closed it.
    if (event->type() == QEvent::Hide)
        QTimer::singleShot(0, this, &MainWindow::ReleaseClosedDrivePages);
    return CBaseMainWindow::eventFilter(watched, event);
}

void MainWindow::ReleaseClosedDrivePages()
{
    QList<QWidget *> closed;
    for (QWidget *old : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!old->isHidden())
            continue;
        // A page that lists drives (in a wait of its own) or burns or copies stays until the
        // next pass.
        if (auto *burn = qobject_cast<CBurnDialog *>(old)) {
            if (!burn->IsBusy())
                closed << old;
        } else if (auto *copy = qobject_cast<CPage5 *>(old)) {
            if (!copy->IsBusy())
                closed << old;
        }
    }
    qDeleteAll(closed);
}

void MainWindow::onBurn()
{
    auto *page = new CBurnDialog(this);
    page->move(195, 107);
    page->SetMoveable(false);
    EmbedPage(page);
    page->show();
}

void MainWindow::onExtract()
{
    auto *page = new CPage2(this);
    EmbedPage(page);
    page->InitializeUI();
    page->move(195, 107);
    page->SetMoveable(false);
    page->show();
}

void MainWindow::onCreate()
{
    if (!ReleaseWorkingFolder())
        return;
    auto *page = new CPage3(this);
    page->move(195, 107);
    page->SetMoveable(false);
    EmbedPage(page);
    page->show();
}

void MainWindow::onEdit()
{
    if (!ReleaseWorkingFolder())
        return;
    auto *page = new CPage4(this);
    EmbedPage(page);
    page->InitializeUI();
    page->move(3, 107);
    page->SetMoveable(false);
    page->show();
}

bool MainWindow::ReleaseWorkingFolder()
{
    // The Create and Edit pages stage their work in the same working folder. A closed page's
    // copier must not go on writing there while a new page uses it, so closed Create and Edit
    // pages go first (each stops its copier and tools and waits for them). A closed page that
    // still holds the user's work goes only when the user agrees; otherwise it comes back.
    QList<QWidget *> closed;
    for (QWidget *old : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if ((qobject_cast<CPage3 *>(old) || qobject_cast<CPage4 *>(old)) && old->isHidden())
            closed << old;
    }
    for (QWidget *old : closed) {
        QString question;
        if (auto *create = qobject_cast<CPage3 *>(old)) {
            if (!create->Tree().m_Root.m_Children.isEmpty())
                question = QStringLiteral("The Create page you left still holds a project. A new "
                                          "page replaces it, and the project is lost.\n"
                                          "Discard that project?");
        } else if (auto *edit = qobject_cast<CPage4 *>(old)) {
            if (edit->HasUnsavedChanges())
                question = QStringLiteral("The Edit page you left has changes that were not "
                                          "saved. A new page replaces it, and the changes are "
                                          "lost.\nDiscard those changes?");
        }
        if (!question.isEmpty() && !Util::ShowConfirm(question)) {
            old->show();
            old->raise();
            return false;
        }
    }
    qDeleteAll(closed);
    return true;
}

void MainWindow::onCopy()
{
    auto *page = new CPage5(this);
    EmbedPage(page);
    page->move(195, 107);
    page->SetMoveable(false);
    page->show();
}

void MainWindow::onHome()
{
    QDesktopServices::openUrl(QUrl(HomePageUrl()));
}

void MainWindow::onHelp()
{
    QDesktopServices::openUrl(QUrl(HelpUrl()));
}

void MainWindow::aboutus()
{
    auto *dialog = new CAboutusDialog(nullptr);
    dialog->show();
    dialog->exec();
    delete dialog;
}
