// The home window and start-up: its buttons and their places, the Help menu, the links, the
// about box, the refusal to run from a mounted volume, and the close button's immediate exit.

#include "testhelpers.h"

#include "app/mainwindow.h"
#include "app/startup.h"
#include "ui/caboutusdialog.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/imagedialog.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace TestHelpers;

static CImageButton *child(QWidget *w, const char *name)
{
    return w->findChild<CImageButton *>(QLatin1String(name));
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { m_catcher.urls.clear(); }

    void windowAndForm();
    void buttonPlaces_data();
    void buttonPlaces();
    void featureButtons_data();
    void featureButtons();
    void helpMenu();
    void helpMenuReplacedByOnMenu();
    void links_data();
    void links();
    void aboutBoxFromMenu();
    void exitEntryClosesWindow();
    void closeButtonEndsProcessAtOnce();

    void mountedVolume_data();
    void mountedVolume();
    void refusalPrompt();
    void normalStartShowsHomeWindow();

private:
    UrlCatcher m_catcher;
};

void TestMainWindow::initTestCase()
{
    QDesktopServices::setUrlHandler("https", &m_catcher, "open");
}

void TestMainWindow::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("https");
}

void TestMainWindow::windowAndForm()
{
    MainWindow w;
    QCOMPARE(w.objectName(), QString("MainWindow"));
    QCOMPARE(w.windowTitle(), QString("Vexlor"));
    QCOMPARE(w.size(), QSize(860, 580));
    QVERIFY(w.IsMoveable());
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(child(&w, "menu")->isHidden());
    QCOMPARE(w.findChildren<CImageButton *>().size(), 10);
}

void TestMainWindow::buttonPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("pos");
    QTest::newRow("close") << "close" << QPoint(10, 9);
    QTest::newRow("minimise") << "min" << QPoint(30, 9);
    QTest::newRow("burn") << "burn" << QPoint(205, 120);
    QTest::newRow("extract") << "extract" << QPoint(644, 120);
    QTest::newRow("create") << "create" << QPoint(205, 350);
    QTest::newRow("edit") << "edit" << QPoint(424, 350);
    QTest::newRow("copy") << "copy" << QPoint(644, 350);
    QTest::newRow("home, 15 px up") << "home" << QPoint(627, 23);
    QTest::newRow("help, 15 px up") << "help" << QPoint(699, 23);
}

void TestMainWindow::buttonPlaces()
{
    QFETCH(QString, name);
    QFETCH(QPoint, pos);
    MainWindow w;
    CImageButton *b = child(&w, qPrintable(name));
    QVERIFY(b);
    QCOMPARE(b->pos(), pos);
    QCOMPARE(b->parentWidget(), &w);
}

void TestMainWindow::featureButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("pageClass");
    QTest::addColumn<QPoint>("place");
    // When a closed page goes: "never" (until the window goes), "next" (before the next page
    // opens) or "closed" (once it is hidden).
    QTest::addColumn<QString>("closedPageGoes");
    QTest::newRow("extract") << "extract"
                             << "CPage2" << QPoint(195, 107) << "never";
    // Create pages share the working folder: a closed one is destroyed before the next opens.
    QTest::newRow("create") << "create"
                            << "CPage3" << QPoint(195, 107) << "next";
    // Burn and Copy-disc pages follow the drives while they live: a closed one goes at once.
    QTest::newRow("burn") << "burn"
                          << "CBurnDialog" << QPoint(195, 107) << "closed";
    QTest::newRow("edit") << "edit"
                          << "CPage4" << QPoint(3, 107) << "next";
    QTest::newRow("copy") << "copy"
                          << "CPage5" << QPoint(195, 107) << "closed";
}

namespace {
// The home window, telling how many pages follow its drive changes.
struct Home : MainWindow
{
    int Listeners() const { return receivers(SIGNAL(sigdrivechange())); }
};
} // namespace

// Each press opens a fresh page embedded in the home window; Back hides it and the next press
// opens a new one.
void TestMainWindow::featureButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, pageClass);
    QFETCH(QPoint, place);
    QFETCH(QString, closedPageGoes);
    Home w;
    w.show();
    auto pages = [&w, &pageClass] {
        QList<ImageDialog *> found;
        for (ImageDialog *d : w.findChildren<ImageDialog *>(QString(), Qt::FindDirectChildrenOnly))
            if (!pageClass.isEmpty() && pageClass == d->metaObject()->className())
                found << d;
        return found;
    };
    const int listeners = w.Listeners();
    const int before = w.children().size();
    clickButton(child(&w, button.toLatin1().constData()));
    if (pageClass.isEmpty()) {
        QCOMPARE(w.children().size(), before);
        return;
    }
    QCOMPARE(pages().size(), 1);
    QPointer<ImageDialog> first = pages().first();
    QVERIFY(first->isVisible());
    QVERIFY(!first->isWindow());
    QCOMPARE(first->pos(), place);
    first->close();
    QVERIFY(!first->isVisible());
    if (closedPageGoes == "closed") {
        // Gone, and no longer answering drive changes.
        QVERIFY(waitUntil([&] { return first.isNull(); }, 10000));
        QCOMPARE(w.Listeners(), listeners);
    }
    clickButton(child(&w, button.toLatin1().constData()));
    QCOMPARE(pages().size(), closedPageGoes == "never" ? 2 : 1);
    ImageDialog *second = pages().last();
    QVERIFY(second != first);
    QVERIFY(second->isVisible());
    QCOMPARE(first.isNull(), closedPageGoes != "never");
    if (first)
        QVERIFY(!first->isVisible());
    if (closedPageGoes == "next") {
        // Create and Edit pages share the working folder: a closed page of either kind goes.
        QPointer<ImageDialog> closed = second;
        closed->close();
        clickButton(child(&w, button == QLatin1String("edit") ? "create" : "edit"));
        QVERIFY(closed.isNull());
    }
}

void TestMainWindow::helpMenu()
{
    MainWindow w;
    QMenu *menu = MainWindow::HelpMenu();
    QVERIFY(menu);
    QCOMPARE(menu->title(), QString("Help"));
    QVERIFY(w.menuBar());
    QVERIFY(w.menuBar()->actions().contains(menu->menuAction()));

    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->text(), QString("Help(&H)"));
    QCOMPARE(actions[0]->shortcut(), QKeySequence("Ctrl+H"));
    QCOMPARE(actions[1]->text(), QString("About US(&U)"));
    QCOMPARE(actions[1]->shortcut(), QKeySequence("Ctrl+U"));
    QVERIFY(actions[2]->isSeparator());
    QCOMPARE(actions[3]->text(), QString("Exit(&E)"));
    QCOMPARE(actions[3]->shortcut(), QKeySequence("Ctrl+E"));
    for (QAction *a : { actions[0], actions[1], actions[3] })
        QCOMPARE(a->parent(), &w);

    // The shortcut works while the home window is active.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(m_catcher.urls, QList<QUrl> { QUrl(MainWindow::HelpUrl()) });
}

void TestMainWindow::helpMenuReplacedByOnMenu()
{
    MainWindow w;
    QPointer<QMenu> first = MainWindow::HelpMenu();
    QPointer<QMenuBar> firstBar = w.menuBar();
    w.onMenu();
    QVERIFY(first.isNull());
    QVERIFY(MainWindow::HelpMenu());
    QVERIFY(w.menuBar() != firstBar.data());
    QCOMPARE(MainWindow::HelpMenu()->actions().size(), 4);
    // The shortcuts are not doubled by the second menu.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(m_catcher.urls.size(), 1);
}

void TestMainWindow::links_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::newRow("home") << "home" << MainWindow::HomePageUrl();
    QTest::newRow("help") << "help" << MainWindow::HelpUrl();
}

void TestMainWindow::links()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    QVERIFY(QUrl(url).host().endsWith("example.org"));
    MainWindow w;
    w.show();
    clickButton(child(&w, qPrintable(name)));
    QCOMPARE(m_catcher.urls, QList<QUrl> { QUrl(url) });
}

void TestMainWindow::aboutBoxFromMenu()
{
    MainWindow w;
    w.show();
    QString link;
    bool parentless = false;
    onDialog<CAboutusDialog>([&](CAboutusDialog *d) {
        link = d->findChild<QLabel *>("label")->text();
        parentless = d->parentWidget() == nullptr;
        d->reject();
    });
    MainWindow::HelpMenu()->actions().at(1)->trigger();
    QVERIFY(link.contains(CAboutusDialog::HomePageUrl()));
    QVERIFY(parentless);
    // The about box is gone once it returns.
    for (QWidget *t : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<CAboutusDialog *>(t));
}

void TestMainWindow::exitEntryClosesWindow()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MainWindow::HelpMenu()->actions().at(3)->trigger();
    QVERIFY(!w.isVisible());
}

void TestMainWindow::closeButtonEndsProcessAtOnce()
{
    if (qEnvironmentVariableIsSet("VEXLOR_CLOSE_CHILD")) {
        MainWindow w;
        w.show();
        QTimer::singleShot(0, &w, [&] { clickButton(child(&w, "close")); });
        QTest::qWait(5000);
        qFatal("the close button did not end the process");
    }
    RunOptions options;
    options.timeoutMs = 30000;
    options.environment.insert("VEXLOR_CLOSE_CHILD", "1");
    const CommandRun child = runCommand(QCoreApplication::applicationFilePath(),
                                        { "closeButtonEndsProcessAtOnce" }, options);
    QCOMPARE(child.code, 0);
    // The test framework never got to report the function's end.
    QVERIFY(!child.output.contains("Totals:"));
}

void TestMainWindow::mountedVolume_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("refused");
    QTest::newRow("disk image") << "/Volumes/Vexlor/Vexlor.app/Contents/MacOS" << true;
    QTest::newRow("volumes folder itself") << "/Volumes" << true;
    QTest::newRow("applications folder") << "/Applications/Vexlor.app/Contents/MacOS" << false;
    QTest::newRow("lower-case v") << "/volumes/Vexlor/Vexlor.app/Contents/MacOS" << false;
    QTest::newRow("upper case") << "/VOLUMES/Vexlor" << false;
    QTest::newRow("longer first name") << "/VolumesBackup/Vexlor" << false;
    QTest::newRow("volumes further down") << "/Users/a/Volumes/Vexlor" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindow::mountedVolume()
{
    QFETCH(QString, dir);
    QFETCH(bool, refused);
    QCOMPARE(Startup::IsOnMountedVolume(dir), refused);
}

void TestMainWindow::refusalPrompt()
{
    QString text;
    closeDialog<CommDialog>(QDialog::Accepted,
                            [&](CommDialog *d) { text = d->findChild<QLabel *>("label")->text(); });
    QCOMPARE(Startup::Run("/Volumes/Vexlor/Vexlor.app/Contents/MacOS", "/tmp"), 0);
    QCOMPARE(text, QString("Please drag the icon to Application folder first!"));
    for (QWidget *t : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<MainWindow *>(t));
}

static QStringList g_said;

void TestMainWindow::normalStartShowsHomeWindow()
{
    bool shown = false;
    QString title;
    onModal([&](QWidget *w) {
        auto *home = qobject_cast<MainWindow *>(w);
        if (!home || !home->isVisible())
            return false;
        shown = true;
        title = home->windowTitle();
        home->onExtract();
        home->onCreate();
        home->close();
        return true;
    });
    // Start-up and the pages say nothing on the terminal unless asked to.
    g_said.clear();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &c, const QString &m) {
              g_said << QString::fromLatin1(c.category) + ": " + m;
          });
    const int status = Startup::Run("/Applications/Vexlor.app/Contents/MacOS", "/tmp");
    qInstallMessageHandler(previous);
    QCOMPARE(status, 0);
    QCOMPARE(g_said, QStringList());
    QVERIFY(shown);
    QCOMPARE(title, QString("Vexlor"));
    QCOMPARE(QApplication::font().family(), QString("Microsoft YaHei"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
