// The Util prompts, pickers, busy cursor and folder opener.

#include "testhelpers.h"
#include "uitesthelpers.h"

#include "services/util.h"
#include "ui/cfiledialog.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"

#include <QDesktopServices>
#include <QFileSystemModel>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace TestHelpers;

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

static void click(QWidget *button)
{
    QVERIFY(button && button->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(button->window()));
    // The cursor may rest where the button now appears; it comes in from beside it.
    QTest::mouseMove(button, button->rect().bottomRight() + QPoint(3, 3));
    QTest::mouseMove(button, button->rect().center());
    QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
    QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
}

static CImageButton *button(QWidget *dialog, const char *name)
{
    return dialog->findChild<CImageButton *>(QLatin1String(name));
}

static void touch(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("x");
}

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { m_catcher.urls.clear(); }

    void showError();
    void showOpen();
    void showChoose_data();
    void showChoose();

    void openFilePicker();
    void openFilesPickerHidesNamesWithoutDot();
    void dirPicker();
    void savePicker();
    void multiPickers_data();
    void multiPickers();
    void multiPickerCancelled();

    void busyCursorNests();
    void openExplorer_data();
    void openExplorer();

private:
    QTemporaryDir m_dir;
    UrlCatcher m_catcher;
};

void TestPrompts::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDesktopServices::setUrlHandler("file", &m_catcher, "open");
    QDir(m_dir.path()).mkpath("alpha");
    QDir(m_dir.path()).mkpath("beta");
    touch(m_dir.filePath("image.iso"));
    touch(m_dir.filePath("README"));
}

void TestPrompts::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("file");
}

void TestPrompts::showError()
{
    bool inspected = false;
    closeDialog<CommDialog>(QDialog::Accepted, [&](CommDialog *d) {
        inspected = true;
        auto *label = d->findChild<QLabel *>("label");
        QCOMPARE(label->text(), QString("The file could not be read."));
        QVERIFY(label->wordWrap());
        QVERIFY(button(d, "btncancel")->isHidden());
        CImageButton *ok = button(d, "btnok");
        QCOMPARE(ok->x(), (d->width() - ok->width()) / 2);
        QVERIFY(!d->parentWidget());
    });
    Util::ShowError("The file could not be read.");
    QVERIFY(inspected);
}

void TestPrompts::showOpen()
{
    const QString folder = m_dir.filePath("alpha");
    bool stayedOpen = false;
    QString text;
    onDialog<CommDialog>([&](CommDialog *d) {
        text = d->findChild<QLabel *>("label")->text();
        click(button(d, "btncancel"));
        stayedOpen = d->isVisible();
        click(button(d, "btnok"));
    });
    Util::ShowOpen("Extract files successfully.", folder);
    QCOMPARE(text, QString("Extract files successfully."));
    QVERIFY(stayedOpen);
    QCOMPARE(m_catcher.urls.size(), 1);
    QCOMPARE(m_catcher.urls.first().path(), "/" + folder);
}

void TestPrompts::showChoose_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << "btnok" << 1;
    QTest::newRow("No") << "btncancel" << 0;
    QTest::newRow("window's close button") << "btnclose" << 0;
    QTest::newRow("Escape") << "escape" << 0;
}

void TestPrompts::showChoose()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    const QString picture = UiTest::writePng(m_dir.path(), "question", 420, 188, Qt::yellow);
    QSize size;
    QString text = "unset";
    onDialog<CommDialog>([&](CommDialog *d) {
        size = d->size();
        text = d->findChild<QLabel *>("label")->text();
        if (action == "escape")
            QTest::keyClick(d, Qt::Key_Escape);
        else
            click(button(d, qPrintable(action)));
    });
    QCOMPARE(Util::ShowChoose(picture), result);
    QCOMPARE(size, QSize(420, 188));
    QCOMPARE(text, QString());
}

void TestPrompts::openFilePicker()
{
    const QString iso = m_dir.filePath("image.iso");
    QStringList filters;
    QString title, chosenFilter;
    QString start;
    bool readOnly = false;
    onDialog<QFileDialog>([&](QFileDialog *fd) {
        title = fd->windowTitle();
        filters = fd->nameFilters();
        chosenFilter = fd->selectedNameFilter();
        start = fd->directory().absolutePath();
        readOnly = fd->testOption(QFileDialog::ReadOnly);
        selectInFileDialog(fd, { iso });
        static_cast<QDialog *>(fd)->done(QDialog::Accepted);
    });
    QCOMPARE(Util::GetOpenFileDialog(nullptr, "ISO Files(*.ISO)"), iso);
    QCOMPARE(title, QString("Open File"));
    QCOMPARE(filters, (QStringList { "All Files (*)", "ISO Files(*.ISO)" }));
    QCOMPARE(chosenFilter, QString("All Files (*)"));
    QCOMPARE(start, QDir::homePath());
    QVERIFY(readOnly);

    cancelFileDialog();
    QCOMPARE(Util::GetOpenFileDialog(nullptr, "ISO Files(*.ISO)"), QString());
}

void TestPrompts::openFilesPickerHidesNamesWithoutDot()
{
    QStringList shown;
    QString title;
    QStringList filters;
    onDialog<QFileDialog>([&](QFileDialog *fd) {
        title = fd->windowTitle();
        filters = fd->nameFilters();
        fd->setDirectory(m_dir.path());
        auto *model = fd->findChild<QFileSystemModel *>();
        const QModelIndex root = model->index(m_dir.path());
        waitUntil([&] { return model->rowCount(root) >= 2; }, 5000);
        QTest::qWait(100);
        for (int i = 0; i < model->rowCount(root); ++i) {
            const QModelIndex index = model->index(i, 0, root);
            if (model->flags(index) & Qt::ItemIsEnabled)
                shown << model->fileName(index);
        }
        selectInFileDialog(fd, { m_dir.filePath("image.iso") });
        static_cast<QDialog *>(fd)->done(QDialog::Accepted);
    });
    QCOMPARE(Util::GetOpenFilesDialog(nullptr), QStringList { m_dir.filePath("image.iso") });
    QCOMPARE(title, QString("Open Files"));
    QCOMPARE(filters, QStringList { "Any Files(*.*)" });
    QVERIFY(shown.contains("image.iso"));
    QVERIFY(!shown.contains("README"));
}

void TestPrompts::dirPicker()
{
    const QString folder = m_dir.filePath("beta");
    QString title, start;
    bool foldersOnly = false;
    onDialog<QFileDialog>([&](QFileDialog *fd) {
        title = fd->windowTitle();
        start = fd->directory().absolutePath();
        foldersOnly = fd->testOption(QFileDialog::ShowDirsOnly);
        selectInFileDialog(fd, { folder });
        static_cast<QDialog *>(fd)->done(QDialog::Accepted);
    });
    QCOMPARE(Util::GetDirDialog(nullptr), folder);
    QCOMPARE(title, QString("Open Directory"));
    QCOMPARE(start, QDir::currentPath());
    QVERIFY(foldersOnly);
}

void TestPrompts::savePicker()
{
    const QString target = m_dir.filePath("new.iso");
    QString title;
    QStringList filters;
    QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen;
    onDialog<QFileDialog>([&](QFileDialog *fd) {
        title = fd->windowTitle();
        filters = fd->nameFilters();
        accept = fd->acceptMode();
        selectInFileDialog(fd, { target });
        static_cast<QDialog *>(fd)->done(QDialog::Accepted);
    });
    QCOMPARE(Util::GetSaveDialog(nullptr, "ISO Files(*.ISO)"), target);
    QCOMPARE(title, QString("Save File"));
    QCOMPARE(filters, QStringList { "ISO Files(*.ISO)" });
    QCOMPARE(accept, QFileDialog::AcceptSave);
}

void TestPrompts::multiPickers_data()
{
    QTest::addColumn<bool>("filesToo");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("folders") << false << QStringList { "alpha", "beta" };
    QTest::newRow("files and folders") << true << QStringList { "alpha", "image.iso" };
}

void TestPrompts::multiPickers()
{
    QFETCH(bool, filesToo);
    QFETCH(QStringList, names);
    QStringList paths;
    for (const QString &name : names)
        paths << m_dir.filePath(name);
    bool ownDialog = false;
    onDialog<QFileDialog>([&](QFileDialog *fd) {
        ownDialog = qobject_cast<CFileDialog *>(fd) != nullptr;
        selectInFileDialog(fd, paths);
        static_cast<QDialog *>(fd)->done(QDialog::Accepted);
    });
    QStringList got
        = filesToo ? Util::GetDirsAndFilesDialog(nullptr) : Util::GetDirsDialog(nullptr);
    got.sort();
    QCOMPARE(got, paths);
    QVERIFY(ownDialog);
}

void TestPrompts::multiPickerCancelled()
{
    cancelFileDialog();
    QCOMPARE(Util::GetDirsDialog(nullptr), QStringList());
    cancelFileDialog();
    QCOMPARE(Util::GetDirsAndFilesDialog(nullptr), QStringList());
}

void TestPrompts::busyCursorNests()
{
    QVERIFY(!QApplication::overrideCursor());
    Util::SetCursorBusy();
    Util::SetCursorBusy();
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Util::RestoreCursor();
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Util::RestoreCursor();
    QVERIFY(!QApplication::overrideCursor());
}

void TestPrompts::openExplorer_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("folder");
    QTest::newRow("absolute") << "/Users/a"
                              << "file:////Users/a"
                              << "//Users/a";
    QTest::newRow("backslashes") << "\\Users\\a"
                                 << "file:////Users/a"
                                 << "//Users/a";
    QTest::newRow("blank") << "/tmp/my files"
                           << "file:////tmp/my%20files"
                           << "//tmp/my files";
    QTest::newRow("hash and question mark") << "/tmp/disc #1?"
                                            << "file:////tmp/disc%20%231%3F"
                                            << "//tmp/disc #1?";
    QTest::newRow("percent") << "/tmp/100%"
                             << "file:////tmp/100%25"
                             << "//tmp/100%";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/tmp/Zoë") << "file:////tmp/Zo%C3%AB"
                               << QString::fromUtf8("//tmp/Zoë");
}

void TestPrompts::openExplorer()
{
    QFETCH(QString, path);
    QFETCH(QString, url);
    QFETCH(QString, folder);
    Util::OpenExplorer(nullptr, path);
    QCOMPARE(m_catcher.urls.size(), 1);
    QCOMPARE(m_catcher.urls.first().toString(QUrl::FullyEncoded), url);
    QCOMPARE(m_catcher.urls.first().path(), folder);
}

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
