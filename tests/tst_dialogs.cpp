// The dialogs: message box, progress window, name input, picture message, about box and the
// multi-selection file dialog.

#include "testhelpers.h"
#include "uitesthelpers.h"

#include "ui/caboutusdialog.h"
#include "ui/cfiledialog.h"
#include "ui/cimagebutton.h"
#include "ui/cinputdialog.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"
#include "ui/gerneraldialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>

using namespace TestHelpers;

static CImageButton *button(QWidget *dialog, const char *name)
{
    return dialog->findChild<CImageButton *>(QLatin1String(name));
}

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { m_catcher.urls.clear(); }

    void commDialogForm();
    void commDialogShowsWholeText_data();
    void commDialogShowsWholeText();
    void commDialogButtons_data();
    void commDialogButtons();
    void cancelHiddenCentresOk();
    void openFolderKeepsDialogOpen();

    void progressText_data();
    void progressText();
    void progressForm();
    void progressStop();
    void progressKeysWhenStopDisabled();
    void progressComplete();

    void inputTrimming_data();
    void inputTrimming();
    void inputTypedText();

    void pictureDialogButtons_data();
    void pictureDialogButtons();

    void aboutBox();

    void fileDialogListing_data();
    void fileDialogListing();
    void fileDialogReturnsChosenEntries_data();
    void fileDialogReturnsChosenEntries();

private:
    QTemporaryDir m_dir;
    UrlCatcher m_catcher;
};

void TestDialogs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDesktopServices::setUrlHandler("file", &m_catcher, "open");
    QDesktopServices::setUrlHandler("https", &m_catcher, "open");
}

void TestDialogs::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("https");
}

void TestDialogs::commDialogForm()
{
    CommDialog dialog;
    QCOMPARE(dialog.objectName(), QString("CommDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Vexlor"));
    QCOMPARE(dialog.size(), QSize(420, 188));
    QVERIFY(dialog.isModal());
    QVERIFY(dialog.IsMoveable());
    QCOMPARE(button(&dialog, "btnclose")->pos(), QPoint(5, 5));
    QCOMPARE(button(&dialog, "btnok")->pos(), QPoint(80, 140));
    QCOMPARE(button(&dialog, "btncancel")->pos(), QPoint(260, 140));
    auto *label = dialog.findChild<QLabel *>("label");
    QVERIFY(label);
    QCOMPARE(label->geometry(), QRect(40, 70, 351, 41));
    QCOMPARE(label->styleSheet(), QString("font:13px;\ncolor:#606060;"));
    QVERIFY(!label->wordWrap());
    QCOMPARE(label->text(), QString("TextLabel"));

    dialog.SetText("Extract files successfully.");
    QCOMPARE(label->text(), QString("Extract files successfully."));
    dialog.SetAllowWarp();
    QVERIFY(label->wordWrap());
}

void TestDialogs::commDialogShowsWholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<bool>("scrolls");
    const QString fourLines
        = "The file could not be read as an ISO image.\n"
          "/home/user/Downloads/some image.iso : Cannot open the file as "
          "archive\nSee the log for the details of what 7-Zip said.\nLast line.";
    QTest::newRow("one line") << "Extract files successfully." << false << false;
    QTest::newRow("four lines") << fourLines << true << false;
    QTest::newRow("long line, no wrap asked")
        << QString(30, 'x').append(" y").repeated(6) << false << false;
    QTest::newRow("sixty lines") << (fourLines + '\n').repeated(15) << true << true;
}

void TestDialogs::commDialogShowsWholeText()
{
    QFETCH(QString, text);
    QFETCH(bool, wrap);
    QFETCH(bool, scrolls);
    CommDialog dialog;
    if (wrap)
        dialog.SetAllowWarp();
    dialog.SetText(text);
    auto *label = dialog.findChild<QLabel *>("label");
    const int needed
        = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    QVERIFY2(label->height() >= needed, qPrintable(QString::number(needed)));
    QVERIFY(label->width() >= qMin(label->sizeHint().width(), 300));
    QVERIFY(dialog.height() <= CommDialog::MaxHeight());
    QWidget *area = dialog.findChild<QWidget *>("textarea");
    QCOMPARE(area && area->isVisibleTo(&dialog), scrolls);
    const QWidget *shown = scrolls ? area : label;
    QVERIFY(button(&dialog, "btnok")->y() >= shown->geometry().bottom());
}

void TestDialogs::commDialogButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("OK accepts") << "btnok" << int(QDialog::Accepted);
    QTest::newRow("Cancel rejects") << "btncancel" << int(QDialog::Rejected);
    QTest::newRow("close rejects") << "btnclose" << int(QDialog::Rejected);
}

void TestDialogs::commDialogButtons()
{
    QFETCH(QString, name);
    QFETCH(int, result);
    CommDialog dialog;
    onDialog<CommDialog>([&](CommDialog *d) { clickButton(button(d, qPrintable(name))); });
    QCOMPARE(dialog.exec(), result);
}

void TestDialogs::cancelHiddenCentresOk()
{
    CommDialog dialog;
    dialog.SetCancelHidden();
    dialog.show();
    CImageButton *ok = button(&dialog, "btnok");
    QVERIFY(button(&dialog, "btncancel")->isHidden());
    QCOMPARE(ok->x(), (dialog.width() - ok->width()) / 2);
    QCOMPARE(ok->y(), 140);
}

void TestDialogs::openFolderKeepsDialogOpen()
{
    const QString folder = m_dir.filePath("out #1 ?x");
    QVERIFY(QDir().mkpath(folder));
    CommDialog dialog;
    dialog.SetText("Create ISO successfully.");
    dialog.SetOpen(folder);
    bool stayedOpen = false;
    onDialog<CommDialog>([&](CommDialog *d) {
        clickButton(button(d, "btncancel"));
        stayedOpen = d->isVisible();
        clickButton(button(d, "btncancel"));
        clickButton(button(d, "btnok"));
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(stayedOpen);
    QCOMPARE(m_catcher.urls.size(), 2);
    const QUrl url = m_catcher.urls.first();
    QCOMPARE(url.scheme(), QString("file"));
    QVERIFY(url.toString().startsWith("file:////"));
    QCOMPARE(url.path(), "/" + folder);
}

void TestDialogs::progressText_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty range") << 0 << 0 << 0 << "0%";
    QTest::newRow("one third") << 0 << 3 << 1 << "33.33%";
    QTest::newRow("two thirds") << 0 << 3 << 2 << "66.67%";
    QTest::newRow("whole") << 0 << 100 << 100 << "100%";
    QTest::newRow("start") << 0 << 100 << 0 << "0%";
    QTest::newRow("half a percent") << 0 << 10000 << 4550 << "45.50%";
    QTest::newRow("tiny step") << 0 << 10000 << 1 << "0.01%";
    QTest::newRow("offset range") << 50 << 150 << 75 << "25%";
}

void TestDialogs::progressText()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, text);
    CProgressDialog dialog;
    dialog.SetRange(minimum, maximum);
    dialog.SetValue(value);
    QCOMPARE(dialog.ProgressBar()->format(), text);
    QCOMPARE(dialog.ProgressBar()->value(), value);
}

void TestDialogs::progressForm()
{
    CProgressDialog dialog;
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QVERIFY(button(&dialog, "btnclose")->isHidden());
    QVERIFY(button(&dialog, "btnok")->isHidden());
    QCOMPARE(button(&dialog, "btncancel")->pos(), QPoint(325, 140));
    QCOMPARE(dialog.findChild<QLabel *>("label")->geometry(), QRect(40, 60, 340, 25));
    QProgressBar *bar = dialog.ProgressBar();
    QCOMPARE(bar->geometry(), QRect(40, 100, 360, 20));
    QCOMPARE(bar->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(bar->styleSheet(),
             QString("QProgressBar{ border: none; color: white; text-align: center; background: "
                     "rgb(192, 192, 192); } QProgressBar::chunk { border: none; background: "
                     "rgb(0, 160, 230); }"));
    dialog.SetText("Extracting...");
    QCOMPARE(dialog.Text(), QString("Extracting..."));

    // Shown without an event loop of its own: show() returns at once and blocks other windows.
    QWidget other;
    other.show();
    dialog.show();
    QVERIFY(dialog.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), &dialog);
    dialog.hide();
}

void TestDialogs::progressStop()
{
    CProgressDialog dialog;
    bool visibleAtSignal = true;
    int cancels = 0;
    connect(&dialog, &CProgressDialog::SigCancel, this, [&] {
        ++cancels;
        visibleAtSignal = dialog.isVisible();
    });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickButton(button(&dialog, "btncancel"));
    QCOMPARE(cancels, 1);
    QVERIFY(!visibleAtSignal);
    QVERIFY(!dialog.isVisible());

    // Escape acts as Stop.
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(cancels, 2);
    QVERIFY(!dialog.isVisible());

    // The page's own close() only hides.
    dialog.show();
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(cancels, 2);
}

void TestDialogs::progressKeysWhenStopDisabled()
{
    CProgressDialog dialog;
    QSignalSpy spy(&dialog, &CProgressDialog::SigCancel);
    dialog.DisableCancel();
    QVERIFY(!button(&dialog, "btncancel")->isEnabled());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickButton(button(&dialog, "btncancel"));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCloseEvent fromWindowSystem;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowSystem);
    qApp->notify(&dialog, &fromWindowSystem);
    QVERIFY(dialog.isVisible());
    QCOMPARE(spy.count(), 0);
    dialog.hide();
}

void TestDialogs::progressComplete()
{
    CProgressDialog dialog;
    dialog.SetRange(0, 10);
    dialog.SetValue(9);
    QVERIFY(!dialog.IsComplete());
    dialog.SetValue(10);
    QVERIFY(dialog.IsComplete());
    dialog.SetUnfinished();
    QCOMPARE(dialog.ProgressBar()->minimum(), 0);
    QCOMPARE(dialog.ProgressBar()->maximum(), 0);
}

void TestDialogs::inputTrimming_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("shown");
    QTest::newRow("blanks at both ends") << "  report.txt  "
                                         << "report.txt";
    QTest::newRow("tabs and line feeds") << "\tnew folder\n"
                                         << "new folder";
    QTest::newRow("inner blanks kept") << "a  b"
                                       << "a  b";
    QTest::newRow("only blanks") << "   "
                                 << "";
}

void TestDialogs::inputTrimming()
{
    QFETCH(QString, given);
    QFETCH(QString, shown);
    CInputDialog dialog;
    dialog.SetInput(given);
    auto *edit = dialog.findChild<QLineEdit *>();
    QVERIFY(edit);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(edit->selectedText(), shown);
    QCOMPARE(dialog.GetInput(), shown);
}

void TestDialogs::inputTypedText()
{
    CInputDialog dialog;
    auto *label = dialog.findChild<QLabel *>("label");
    QCOMPARE(label->text(), QString("Please input the name:"));
    QCOMPARE(label->geometry(), QRect(40, 60, 340, 25));
    auto *edit = dialog.findChild<QLineEdit *>();
    QCOMPARE(edit->geometry(), QRect(40, 100, 360, 20));
    dialog.SetInput("old name");
    QString input;
    onDialog<CInputDialog>([&](CInputDialog *d) {
        QTest::keyClicks(d->findChild<QLineEdit *>(), "  new name ");
        clickButton(button(d, "btnok"));
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.GetInput(), QString("new name"));
}

void TestDialogs::pictureDialogButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("OK accepts") << "btnok" << int(QDialog::Accepted);
    QTest::newRow("No rejects") << "btnno" << int(QDialog::Rejected);
    QTest::newRow("close rejects") << "close" << int(QDialog::Rejected);
}

void TestDialogs::pictureDialogButtons()
{
    QFETCH(QString, name);
    QFETCH(int, result);
    const QString picture = UiTest::writePng(m_dir.path(), "message", 420, 188, Qt::white);
    GerneralDialog dialog;
    QCOMPARE(dialog.objectName(), QString("GerneralDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Vexlor"));
    dialog.SetBackGround(picture);
    dialog.SetBackGround(picture);
    QCOMPARE(dialog.size(), QSize(420, 188));
    QCOMPARE(dialog.findChildren<CImageButton *>("close").size(), 1);
    QCOMPARE(button(&dialog, "close")->pos(), QPoint(5, 5));

    dialog.AddOK(150, 0);
    dialog.AddNo(150, 250);
    CImageButton *ok = button(&dialog, "btnok");
    QCOMPARE(ok->pos(), QPoint((420 - ok->width()) / 2, 150));
    QCOMPARE(button(&dialog, "btnno")->pos(), QPoint(250, 150));

    onDialog<GerneralDialog>([&](GerneralDialog *d) { clickButton(button(d, qPrintable(name))); });
    QCOMPARE(dialog.exec(), result);
}

void TestDialogs::aboutBox()
{
    CAboutusDialog dialog;
    QCOMPARE(dialog.objectName(), QString("CAboutusDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Vexlor"));
    QVERIFY(dialog.IsMoveable());
    auto *label = dialog.findChild<QLabel *>("label");
    QVERIFY(label);
    QCOMPARE(label->pos(), QPoint(192, 112));
    QCOMPARE(label->size(), QSize(186, 20));
    QCOMPARE(label->styleSheet(), QString("font-size:14px;"));
    const QString url = CAboutusDialog::HomePageUrl();
    QVERIFY(url.startsWith("https://"));
    QVERIFY(label->text().contains("href=\"" + url + "\""));
    QVERIFY(label->text().contains(">" + url + "</a>"));
    QVERIFY(label->text().contains("#67d995"));

    QVERIFY(QMetaObject::invokeMethod(label, "linkActivated", Q_ARG(QString, url)));
    QCOMPARE(m_catcher.urls, QList<QUrl> { QUrl(url) });

    onDialog<CAboutusDialog>([&](CAboutusDialog *d) { clickButton(button(d, "close")); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

// A folder with two sub-folders and two files, one of them without a dot.
static QString makeTree(const QString &root)
{
    const QString dir = root + "/pick";
    QDir().mkpath(dir + "/alpha");
    QDir().mkpath(dir + "/beta");
    for (const char *name : { "notes.txt", "README" }) {
        QFile f(dir + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }
    return dir;
}

static QStringList listed(CFileDialog &dialog, const QString &dir)
{
    auto *model = dialog.findChild<QFileSystemModel *>();
    if (!model)
        return { "no model" };
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    const QModelIndex root = model->index(dir);
    if (model->rowCount(root) == 0)
        loaded.wait(5000);
    QTest::qWait(100);
    QStringList names;
    for (int i = 0; i < model->rowCount(root); ++i) {
        const QModelIndex index = model->index(i, 0, root);
        // The file dialog hides what its filter rejects through the model's own filter.
        names << model->fileName(index);
    }
    names.sort();
    return names;
}

void TestDialogs::fileDialogListing_data()
{
    QTest::addColumn<bool>("filesToo");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("folders only") << false << QStringList { "alpha", "beta" };
    QTest::newRow("files and folders")
        << true << QStringList { "README", "alpha", "beta", "notes.txt" };
}

void TestDialogs::fileDialogListing()
{
    QFETCH(bool, filesToo);
    QFETCH(QStringList, names);
    const QString dir = makeTree(m_dir.path());
    CFileDialog dialog(nullptr, filesToo);
    QCOMPARE(dialog.FallbackMode(), 0);
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog.findChild<QListView *>("listView")->selectionMode(),
             QAbstractItemView::ExtendedSelection);
    QCOMPARE(dialog.findChild<QTreeView *>()->selectionMode(),
             QAbstractItemView::ExtendedSelection);
    dialog.setDirectory(dir);
    QCOMPARE(listed(dialog, dir), names);
}

void TestDialogs::fileDialogReturnsChosenEntries_data()
{
    QTest::addColumn<bool>("filesToo");
    QTest::addColumn<QStringList>("chosen");
    QTest::newRow("two folders") << false << QStringList { "alpha", "beta" };
    QTest::newRow("one folder") << false << QStringList { "beta" };
    QTest::newRow("a folder and a file") << true << QStringList { "alpha", "notes.txt" };
}

void TestDialogs::fileDialogReturnsChosenEntries()
{
    QFETCH(bool, filesToo);
    QFETCH(QStringList, chosen);
    const QString dir = makeTree(m_dir.path());
    CFileDialog dialog(nullptr, filesToo);
    dialog.setDirectory(dir);
    QStringList expected;
    for (const QString &name : chosen)
        expected << dir + "/" + name;

    onDialog<CFileDialog>([&](CFileDialog *d) {
        auto *model = d->findChild<QFileSystemModel *>();
        auto *view = d->findChild<QListView *>("listView");
        auto *box = d->findChild<QDialogButtonBox *>("buttonBox");
        QPushButton *open = box ? box->button(QDialogButtonBox::Open) : nullptr;
        waitUntil([&] { return model->rowCount(model->index(dir)) > 0; }, 5000);
        view->clearSelection();
        for (const QString &path : expected)
            view->selectionModel()->select(model->index(path),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (open && open->isEnabled())
            open->click();
        else
            d->reject();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QStringList got = dialog.selectedFiles();
    got.sort();
    QCOMPARE(got, expected);
    // Choosing a folder did not open it.
    QCOMPARE(QDir(dialog.directory()).absolutePath(), QDir(dir).absolutePath());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
