// Drives the real Extract page with the real 7-Zip on images built here with genisoimage: load,
// browse, tick, extract (also into a destination that already holds clashing names), Stop, and
// the error paths. Pickers and prompts are answered the way a user would.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "pages/cpage2.h"
#include "pages/cpage3.h"
#include "pages/cpage4.h"
#include "services/util.h"
#include "services/util_files_p.h"
#include "testhelpers.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/cprogressdialog.h"
#include "ui/gerneraldialog.h"
#include "ui/scheckboxheaderview.h"

#include <QDateTime>
#include <QDirIterator>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>
#include <cstdio>

using namespace TestHelpers;

namespace {

const QByteArray kGrubCfg = "set timeout=5\nmenuentry \"x\" {}\n";
const QByteArray kFont = QByteArray(3000, 'f');
const QByteArray kMinus = "minus file\n";
const QByteArray kReadMe = "read me, with blanks\n";
const QByteArray kCafe = QByteArray("caf\xc3\xa9 content\n");

QString isoTool()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
    return tool.isEmpty() ? Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs") : tool;
}

bool makeIso(const QString &source, const QString &image)
{
    return runCommand(isoTool(), { "-quiet", "-J", "-R", "-o", image, source }).ok();
}

QStringList tableNames(QTableWidget *list)
{
    QStringList names;
    for (int r = 0; r < list->rowCount(); ++r)
        names << list->item(r, 0)->text();
    return names;
}

int rowOf(QTableWidget *list, const QString &name)
{
    return tableNames(list).indexOf(name);
}

QStringList childTexts(QTreeWidgetItem *node)
{
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    return out;
}

// True once some file below dest other than keep.txt has bytes in it (the tool has begun
// writing).
bool somethingWritten(const QString &dest)
{
    QDirIterator it(dest, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileName() != QLatin1String("keep.txt") && it.fileInfo().size() > 0)
            return true;
    }
    return false;
}

// Deterministic, poorly compressible contents.
QByteArray pattern(int size, int seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + seed) ^ (i >> 9));
    return data;
}

// Extracts the ticked rows into dest through the page, answering the folder picker and the
// completion prompt; returns the prompt's text.
QString runExtraction(CPage2 *page, const QString &dest)
{
    QString message;
    auto picker = answerFileDialog(dest);
    auto prompt = closeDialog<CommDialog>(QDialog::Accepted,
                                          [&](CommDialog *d) { message = labelText(d); });
    page->OnExtract();
    if (!waitUntil([&] { return prompt.isNull() || prompt->done(); }, 60000))
        qWarning("runExtraction: no prompt after the extraction");
    return message;
}

// Set in the child run of closeButtonDuringACopyAndAnExtraction to its parent's folder.
const char kChildVar[] = "VEXLOR_CLOSE_CHILD";

} // namespace

class TestExtractPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formAfterInitializeUI();
    void loadBrowseTickAndExtract();
    void extractOddNamesFromTheRoot();
    void nothingTickedShowsThePictureMessage();
    void newLoadClearsTheViewsAtOnce();
    void stopDuringALargeExtraction();
    void closingThePageDuringAnExtraction();
    void worksEmbeddedInAHostWindow();
    void notAnImageGivesOurErrorAndAUsablePage();
    void failedExtractionShowsTheToolsMessage();
    void itemMissingFromTheImageIsAFailure();
    void damagedImageShowsItsTableAndAnError();
    void soundImageNamedLikeErrors();
    void escapeOnlyWhileBackIsEnabled();
    void closingTheHomeWindowDuringAnExtraction();
    void closeButtonDuringACopyAndAnExtraction();

private:
    void loadImage(const QString &image);
    void clickRow(int row, int x);
    void doubleClickRow(int row);
    bool pageUsable() const;

    QTemporaryDir m_Tmp;
    QString m_Dir; // m_Tmp's folder, or the parent's in a child run
    QString m_Iso;
    QString m_BigIso;
    CPage2 *m_Page = nullptr;
    QTableWidget *m_List = nullptr;
    QTreeWidget *m_Tree = nullptr;
};

void TestExtractPage::initTestCase()
{
    QVERIFY(m_Tmp.isValid());
    // A child run ends through the home window's close button, which runs no destructor: it
    // works in its parent's folder and its own goes now.
    m_Dir = qEnvironmentVariable(kChildVar);
    if (!m_Dir.isEmpty()) {
        QVERIFY(m_Tmp.remove());
        m_Iso = m_Dir + "/test.iso";
        m_BigIso = m_Dir + "/big.iso";
        return;
    }
    m_Dir = m_Tmp.path();
    QVERIFY2(QFileInfo(Util::GetCurrentExePath() + "/7z/7z").isExecutable(), "7z beside the test");

    const QString src = m_Dir + "/src";
    QVERIFY(writeFile(src + "/boot/grub/grub.cfg", kGrubCfg));
    QVERIFY(writeFile(src + "/boot/grub/fonts/unicode.pf2", kFont));
    QVERIFY(writeFile(src + "/boot/grub/-minus.txt", kMinus));
    QVERIFY(writeFile(src + "/boot/isolinux.bin", QByteArray(2048, 'b')));
    QVERIFY(writeFile(src + "/docs and notes/read me.txt", kReadMe));
    QVERIFY(writeFile(src + QString::fromUtf8("/Ünïcødé/naïve café.txt"), kCafe));
    QVERIFY(writeFile(src + "/-dash.txt", kMinus));
    QVERIFY(QDir().mkpath(src + "/empty"));
    m_Iso = m_Dir + "/test.iso";
    QVERIFY(makeIso(src, m_Iso));

    // Large enough that Stop comes while 7-Zip is still writing (sparse, so cheap to make).
    const QString big = m_Dir + "/bigsrc";
    QVERIFY(QDir().mkpath(big));
    for (int i = 0; i < 4; ++i) {
        QFile f(big + QStringLiteral("/part%1.bin").arg(i));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(256ll * 1024 * 1024));
    }
    QVERIFY(writeFile(big + "/small.txt", "small\n"));
    m_BigIso = m_Dir + "/big.iso";
    QVERIFY(makeIso(big, m_BigIso));
    QDir(big).removeRecursively();
}

void TestExtractPage::init()
{
    m_Page = new CPage2();
    m_Page->InitializeUI();
    m_Page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_Page));
    m_List = m_Page->findChild<QTableWidget *>("list");
    m_Tree = m_Page->findChild<QTreeWidget *>("tree");
    QVERIFY(m_List && m_Tree);
}

void TestExtractPage::cleanup()
{
    delete m_Page;
    m_Page = nullptr;
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestExtractPage::loadImage(const QString &image)
{
    auto picker = answerFileDialog(image);
    m_Page->OnLoadISO();
    QVERIFY(!picker || picker->done());
    QVERIFY(waitUntil([&] { return m_Page->m_CurrentItem != nullptr; }));
}

void TestExtractPage::clickRow(int row, int x)
{
    const QRect rect = m_List->visualItemRect(m_List->item(row, 0));
    QTest::mouseClick(m_List->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(x, rect.center().y()));
}

void TestExtractPage::doubleClickRow(int row)
{
    const QRect rect = m_List->visualItemRect(m_List->item(row, 1));
    const QPoint at = rect.center();
    QTest::mouseClick(m_List->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(m_List->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

bool TestExtractPage::pageUsable() const
{
    const auto buttons = m_Page->findChildren<CImageButton *>();
    for (CImageButton *b : buttons) {
        if (!b->isEnabled() && b->window() == m_Page)
            return false;
    }
    return m_Page->isEnabled() && m_List->isEnabled() && m_Tree->isEnabled()
        && !m_Page->m_ProgressDialog.isVisible() && QApplication::overrideCursor() == nullptr;
}

void TestExtractPage::formAfterInitializeUI()
{
    QCOMPARE(m_Page->objectName(), QStringLiteral("CPage2"));
    QCOMPARE(m_Page->size(), QSize(664, 472));
    const QList<QPair<QString, QPoint>> places
        = { { "loadiso", { 567, 17 } }, { "back", { 11, 417 } }, { "extract", { 546, 417 } } };
    for (const auto &place : places) {
        auto *button = m_Page->findChild<CImageButton *>(place.first);
        QVERIFY2(button, qPrintable(place.first));
        QCOMPARE(button->pos(), place.second);
    }
    QCOMPARE(m_Tree->geometry(), QRect(10, 54, 213, 350));
    QCOMPARE(m_List->geometry(), QRect(223, 54, 431, 350));
    QVERIFY(m_Tree->isHeaderHidden());
    QCOMPARE(m_List->columnCount(), 4);
    QStringList headers;
    for (int c = 0; c < 4; ++c) {
        headers << m_List->horizontalHeaderItem(c)->text();
        QCOMPARE(m_List->columnWidth(c), 107);
    }
    QCOMPARE(headers, (QStringList { "File Name", " Size", "Type", "Time" }));
    QVERIFY(qobject_cast<SCheckBoxHeaderView *>(m_List->horizontalHeader()));
    QVERIFY(!m_List->verticalHeader()->isVisible());
    QCOMPARE(m_List->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(m_List->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(m_List->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(m_List->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(m_Tree->styleSheet().startsWith("background:#f3ffed;"));
    QVERIFY(m_List->styleSheet().startsWith("background:#ffffff;"));
    QCOMPARE(m_List->rowCount(), 0);
    QCOMPARE(m_Tree->topLevelItemCount(), 0);
    QVERIFY(pageUsable());
}

void TestExtractPage::loadBrowseTickAndExtract()
{
    loadImage(m_Iso);
    QVERIFY(pageUsable());

    // Folder view: the image's name on top, every folder below in listing order.
    QCOMPARE(m_Tree->topLevelItemCount(), 1);
    QTreeWidgetItem *top = m_Tree->topLevelItem(0);
    QCOMPARE(top->text(0), QStringLiteral("test.iso"));
    QVERIFY(top->isExpanded());
    QStringList topFolders = childTexts(top);
    QCOMPARE(QSet<QString>(topFolders.begin(), topFolders.end()),
             (QSet<QString> { "boot", "docs and notes", QString::fromUtf8("Ünïcødé"), "empty" }));

    // The table shows the root: folders with "Folder", files with size and type; times as listed.
    QStringList names = tableNames(m_List);
    QCOMPARE(QSet<QString>(names.begin(), names.end()),
             (QSet<QString> { "-dash.txt", "boot", "docs and notes", QString::fromUtf8("Ünïcødé"),
                              "empty" }));
    const int dash = rowOf(m_List, "-dash.txt");
    QCOMPARE(m_List->item(dash, 1)->text(), Util::SizeToString(kMinus.size()));
    QCOMPARE(m_List->item(dash, 3)->text().size(), 19);
    QCOMPARE(m_List->item(rowOf(m_List, "boot"), 2)->text(), QStringLiteral("Folder"));
    QCOMPARE(m_List->item(rowOf(m_List, "boot"), 0)->checkState(), Qt::Unchecked);

    // Into boot, then grub, by double-click; the folder view follows.
    doubleClickRow(rowOf(m_List, "boot"));
    QCOMPARE(m_Page->m_CurrentItem->m_Path, QStringLiteral("boot"));
    names = tableNames(m_List);
    QCOMPARE(QSet<QString>(names.begin(), names.end()), (QSet<QString> { "grub", "isolinux.bin" }));
    // A double click on a file changes nothing.
    doubleClickRow(rowOf(m_List, "isolinux.bin"));
    QCOMPARE(m_Page->m_CurrentItem->m_Path, QStringLiteral("boot"));
    doubleClickRow(rowOf(m_List, "grub"));
    QCOMPARE(m_Page->m_CurrentItem->m_Path, QStringLiteral("boot/grub"));
    QVERIFY(m_Tree->currentItem());
    QCOMPARE(m_Tree->currentItem()->text(0), QStringLiteral("grub"));
    QVERIFY(m_Tree->currentItem()->isSelected());
    QVERIFY(m_Tree->currentItem()->parent()->isExpanded());
    names = tableNames(m_List);
    QCOMPARE(QSet<QString>(names.begin(), names.end()),
             (QSet<QString> { "grub.cfg", "fonts", "-minus.txt" }));
    for (int r = 0; r < m_List->rowCount(); ++r)
        QCOMPARE(m_List->item(r, 0)->checkState(), Qt::Unchecked);

    // Tick: a click on the name toggles; a click on the check box toggles only once.
    clickRow(rowOf(m_List, "grub.cfg"), 60);
    QCOMPARE(m_List->item(rowOf(m_List, "grub.cfg"), 0)->checkState(), Qt::Checked);
    clickRow(rowOf(m_List, "-minus.txt"), 60);
    clickRow(rowOf(m_List, "-minus.txt"), 60);
    QCOMPARE(m_List->item(rowOf(m_List, "-minus.txt"), 0)->checkState(), Qt::Unchecked);
    clickRow(rowOf(m_List, "-minus.txt"), 60);
    QCOMPARE(m_List->item(rowOf(m_List, "-minus.txt"), 0)->checkState(), Qt::Checked);
    const int fonts = rowOf(m_List, "fonts");
    QStyleOptionViewItem option;
    option.initFrom(m_List->viewport());
    option.rect = m_List->visualItemRect(m_List->item(fonts, 0));
    option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay
        | QStyleOptionViewItem::HasDecoration;
    const QRect box
        = m_List->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, m_List);
    QVERIFY(m_List->viewport()->mapTo(m_List, box.center()).x() < 17);
    QTest::mouseClick(m_List->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    QCOMPARE(m_List->item(fonts, 0)->checkState(), Qt::Checked);

    // The destination already holds a folder named like the first component of the relative
    // path, and a file named like one of the ticked files.
    const QString dest = m_Dir + "/dest1";
    QVERIFY(writeFile(dest + "/boot/keep.txt", "keep"));
    QVERIFY(writeFile(dest + "/grub.cfg", "older grub.cfg"));

    const QString message = runExtraction(m_Page, dest);
    QVERIFY(!message.isEmpty());

    QVERIFY2(message.startsWith("Extract files successfully."), qPrintable(message));
    QVERIFY2(message.contains("grub (2).cfg"), qPrintable(message));
    QCOMPARE(entries(dest),
             (QStringList { "-minus.txt", "boot/", "boot/keep.txt", "fonts/", "fonts/unicode.pf2",
                            "grub (2).cfg", "grub.cfg" }));
    QCOMPARE(readFile(dest + "/grub (2).cfg"), kGrubCfg);
    QCOMPARE(readFile(dest + "/grub.cfg"), QByteArray("older grub.cfg"));
    QCOMPARE(readFile(dest + "/-minus.txt"), kMinus);
    QCOMPARE(readFile(dest + "/fonts/unicode.pf2"), kFont);
    QCOMPARE(readFile(dest + "/boot/keep.txt"), QByteArray("keep"));
    QVERIFY(pageUsable());
    QCOMPARE(m_Page->m_RelDir, QStringLiteral("boot/grub/"));
    QCOMPARE(m_Page->m_DestDir, dest);

    // The folder view leads back to the root.
    m_Tree->setCurrentItem(top);
    emit m_Tree->itemClicked(top, 0);
    QCOMPARE(m_Page->m_CurrentItem, &m_Page->m_Tree.m_Root);
    QCOMPARE(m_List->rowCount(), 5);
}

void TestExtractPage::extractOddNamesFromTheRoot()
{
    // Extracted files get the user's own file-creation mask, also after the program's start-up
    // settings.
    FileMask mask(077);
    const QString name = QCoreApplication::applicationName();
    Startup::PrepareProcess();
    QCoreApplication::setApplicationName(name);
    loadImage(m_Iso);
    // The header's box ticks every row of the folder; untick boot again by a click.
    emit qobject_cast<SCheckBoxHeaderView *>(m_List->horizontalHeader())->checkStausChange(true);
    for (int r = 0; r < m_List->rowCount(); ++r)
        QCOMPARE(m_List->item(r, 0)->checkState(), Qt::Checked);
    clickRow(rowOf(m_List, "boot"), 60);

    // Straight into an empty folder; through a hidden folder where a name is taken.
    const QString dest = m_Dir + "/dest2";
    QVERIFY(QDir().mkpath(dest));
    QCOMPARE(runExtraction(m_Page, dest), QStringLiteral("Extract files successfully."));
    QCOMPARE(m_Page->m_RelDir, QString());
    const QStringList extracted { "-dash.txt",
                                  "docs and notes/",
                                  "docs and notes/read me.txt",
                                  "empty/",
                                  QString::fromUtf8("Ünïcødé/"),
                                  QString::fromUtf8("Ünïcødé/naïve café.txt") };
    QCOMPARE(entries(dest), extracted);
    QCOMPARE(openToOthers(dest), QStringList());
    const QString clash = m_Dir + "/dest2b";
    QVERIFY(writeFile(clash + "/-dash.txt", "mine"));
    QCOMPARE(runExtraction(m_Page, clash),
             QStringLiteral("Extract files successfully.\nNames already in use, so kept as: "
                            "\"-dash (2).txt\"."));
    QCOMPARE(entries(clash), QStringList { "-dash (2).txt" } + extracted);
    QCOMPARE(readFile(clash + "/-dash.txt"), QByteArray("mine"));
    QCOMPARE(readFile(dest + "/docs and notes/read me.txt"), kReadMe);
    QCOMPARE(readFile(dest + QString::fromUtf8("/Ünïcødé/naïve café.txt")), kCafe);
    QVERIFY(pageUsable());
}

void TestExtractPage::nothingTickedShowsThePictureMessage()
{
    loadImage(m_Iso);
    bool shown = false;
    auto message
        = closeDialog<GerneralDialog>(QDialog::Accepted, [&](GerneralDialog *) { shown = true; });
    m_Page->OnExtract();
    QVERIFY(shown);
    QVERIFY(pageUsable());
}

void TestExtractPage::newLoadClearsTheViewsAtOnce()
{
    loadImage(m_Iso);
    doubleClickRow(rowOf(m_List, "boot"));
    QVERIFY(m_List->rowCount() > 0);

    auto picker = answerFileDialog(m_Iso);
    m_Page->OnLoadISO();
    // Loading: nothing in the views can lead to the cleared tree.
    QCOMPARE(m_Page->m_CurrentItem, nullptr);
    QCOMPARE(m_List->rowCount(), 0);
    QCOMPARE(m_Tree->topLevelItemCount(), 0);
    QVERIFY(!m_Page->findChild<CImageButton *>("loadiso")->isEnabled());
    QVERIFY(waitUntil([&] { return m_Page->m_CurrentItem != nullptr; }));
    QCOMPARE(m_List->rowCount(), 5);
    QVERIFY(pageUsable());
}

void TestExtractPage::stopDuringALargeExtraction()
{
    loadImage(m_BigIso);
    emit qobject_cast<SCheckBoxHeaderView *>(m_List->horizontalHeader())->checkStausChange(true);
    clickRow(rowOf(m_List, "small.txt"), 60);

    const QString dest = m_Dir + "/dest3";
    QVERIFY(writeFile(dest + "/keep.txt", "keep"));
    const QStringList before = entries(dest);
    auto picker = answerFileDialog(dest);
    m_Page->OnExtract();
    QVERIFY(m_Page->m_ProgressDialog.isVisible());
    QVERIFY(!m_List->isEnabled() || !m_Page->isEnabled());

    // Stop, as the progress dialog's Stop button does, while the tool is writing: straight into
    // the destination, where no ticked name is in use.
    QVERIFY(waitUntil([&] { return somethingWritten(dest); }));
    QVERIFY(processWith("-o" + dest + QChar(0)) != 0);
    QVERIFY(QMetaObject::invokeMethod(&m_Page->m_ProgressDialog, "OnBtnCancel"));
    QCOMPARE(m_Page->m_ExtractThread, nullptr);
    QVERIFY(pageUsable());

    // No message follows a Stop, and nothing is delivered (the file being written would be cut
    // short): the destination ends exactly as it was.
    bool prompted = false;
    auto anyPrompt = closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *) { prompted = true; }, 1500);
    QTest::qWait(1600);
    QVERIFY(!prompted);
    QVERIFY(waitUntil([&] { return entries(dest) == before; }));
    QCOMPARE(entries(dest), before);
    QCOMPARE(readFile(dest + "/keep.txt"), QByteArray("keep"));

    // The page still works: extract the small file.
    emit qobject_cast<SCheckBoxHeaderView *>(m_List->horizontalHeader())->checkStausChange(false);
    clickRow(rowOf(m_List, "small.txt"), 60);
    const QString dest2 = m_Dir + "/dest4";
    QVERIFY(QDir().mkpath(dest2));
    const QString message = runExtraction(m_Page, dest2);
    QCOMPARE(message, QStringLiteral("Extract files successfully."));
    QCOMPARE(entries(dest2), QStringList { "small.txt" });
    QVERIFY(pageUsable());
    QDir(dest).removeRecursively();
}

void TestExtractPage::closingThePageDuringAnExtraction()
{
    loadImage(m_BigIso);
    emit qobject_cast<SCheckBoxHeaderView *>(m_List->horizontalHeader())->checkStausChange(true);
    const QString dest = m_Dir + "/dest6";
    QVERIFY(writeFile(dest + "/keep.txt", "keep"));
    const QStringList before = entries(dest);
    auto picker = answerFileDialog(dest);
    m_Page->OnExtract();
    QVERIFY(m_Page->m_ExtractThread);
    QVERIFY(waitUntil([&] { return somethingWritten(dest); }));
    // The tool is stopped and what it wrote goes with the work folder.
    delete m_Page;
    m_Page = nullptr;
    QCOMPARE(entries(dest), before);
    QDir(dest).removeRecursively();
}

void TestExtractPage::worksEmbeddedInAHostWindow()
{
    // As the home window shows it: a child widget placed over the host's content.
    delete m_Page;
    QWidget host;
    host.resize(860, 580);
    m_Page = new CPage2(&host);
    m_Page->setParent(&host, Qt::WindowFlags());
    m_Page->InitializeUI();
    m_Page->move(195, 107);
    host.show();
    m_Page->show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    m_List = m_Page->findChild<QTableWidget *>("list");
    m_Tree = m_Page->findChild<QTreeWidget *>("tree");

    loadImage(m_Iso);
    clickRow(rowOf(m_List, "-dash.txt"), 60);
    const QString dest = m_Dir + "/dest7";
    QVERIFY(QDir().mkpath(dest));
    const QString message = runExtraction(m_Page, dest);
    QCOMPARE(message, QStringLiteral("Extract files successfully."));
    QCOMPARE(readFile(dest + "/-dash.txt"), kMinus);
    QVERIFY(pageUsable());
    delete m_Page;
    m_Page = nullptr;
}

void TestExtractPage::notAnImageGivesOurErrorAndAUsablePage()
{
    const QString notes = m_Dir + "/notes.iso";
    QVERIFY(writeFile(notes, "just some text, not an image\n"));

    QString message;
    auto picker = answerFileDialog(notes);
    auto prompt = closeDialog<CommDialog>(QDialog::Accepted,
                                          [&](CommDialog *d) { message = labelText(d); });
    m_Page->OnLoadISO();
    QVERIFY(waitUntil([&] { return prompt.isNull() || prompt->done(); }));
    QVERIFY2(message.startsWith("The file could not be read as an ISO image."),
             qPrintable(message));
    QVERIFY(pageUsable());
    QCOMPARE(m_List->rowCount(), 0);
    QCOMPARE(m_Tree->topLevelItemCount(), 0);
    QCOMPARE(m_Page->m_CurrentItem, nullptr);

    // A real image loads afterwards.
    loadImage(m_Iso);
    QCOMPARE(m_List->rowCount(), 5);
    QVERIFY(pageUsable());
}

void TestExtractPage::failedExtractionShowsTheToolsMessage()
{
    // An image that is cut short after it was listed: 7-Zip reports the damage and exits
    // with an error, which must not be shown as a success.
    const QString src = m_Dir + "/cutsrc";
    QByteArray data(4 * 1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 7) ^ (i >> 9));
    QVERIFY(writeFile(src + "/data.bin", data));
    const QString cut = m_Dir + "/cut.iso";
    QVERIFY(makeIso(src, cut));
    loadImage(cut);
    QVERIFY(QFile::resize(cut, QFileInfo(cut).size() / 2));
    clickRow(rowOf(m_List, "data.bin"), 60);

    const QString dest = m_Dir + "/dest5";
    QVERIFY(QDir().mkpath(dest));
    const QString message = runExtraction(m_Page, dest);
    QVERIFY2(message.startsWith("Some files could not be extracted."), qPrintable(message));
    QVERIFY2(message.contains("1 item did not arrive whole: \"data.bin\""), qPrintable(message));
    // What was extracted stays, out of the work folder.
    QCOMPARE(entries(dest), QStringList { "data.bin" });
    QVERIFY(pageUsable());
}

void TestExtractPage::itemMissingFromTheImageIsAFailure()
{
    // A ticked row whose entry the image does not hold: 7-Zip ends with status 0 and "Files: 0"
    // for it, which must not pass for a success.
    loadImage(m_Iso);
    clickRow(rowOf(m_List, "-dash.txt"), 60);
    const int other = rowOf(m_List, "docs and notes");
    clickRow(other, 60);
    m_List->item(other, 0)->setText("nomatch.txt");

    const QString dest = m_Dir + "/dest8";
    QVERIFY(QDir().mkpath(dest));
    const QString message = runExtraction(m_Page, dest);
    QVERIFY2(!message.isEmpty() && !message.contains("successfully"), qPrintable(message));
    QVERIFY2(message.contains("\"nomatch.txt\""), qPrintable(message));
    QVERIFY2(!message.contains("-dash.txt"), qPrintable(message));
    // What was extracted is delivered; no work folder is left behind.
    QCOMPARE(entries(dest), QStringList { "-dash.txt" });
    QCOMPARE(readFile(dest + "/-dash.txt"), kMinus);
    QVERIFY(pageUsable());
}

void TestExtractPage::damagedImageShowsItsTableAndAnError()
{
    // Cut to two thirds, the image still lists in full, and 7-Zip then reports the damage.
    const QString src = m_Dir + "/damagedsrc";
    for (int i = 1; i <= 3; ++i)
        QVERIFY(writeFile(src + QStringLiteral("/d/f%1.bin").arg(i), pattern(1000000, i)));
    QVERIFY(writeFile(src + "/a.txt", "hi\n"));
    const QString damaged = m_Dir + "/damaged.iso";
    QVERIFY(makeIso(src, damaged));
    QVERIFY(QFile::resize(damaged, QFileInfo(damaged).size() * 2 / 3));

    QString message;
    int rowsShown = -1;
    auto prompt = closeDialog<CommDialog>(QDialog::Accepted, [&](CommDialog *d) {
        message = labelText(d);
        rowsShown = m_List->rowCount();
    });
    loadImage(damaged);
    QVERIFY(waitUntil([&] { return prompt.isNull() || prompt->done(); }));
    QVERIFY2(message.startsWith("The image is damaged"), qPrintable(message));
    QVERIFY2(message.contains("Unexpected end of archive"), qPrintable(message));
    // The table was on screen with the prompt, and stays.
    QCOMPARE(rowsShown, 2);
    QCOMPARE(tableNames(m_List), (QStringList { "a.txt", "d" }));
    QCOMPARE(m_Tree->topLevelItemCount(), 1);
    QCOMPARE(childTexts(m_Tree->topLevelItem(0)), QStringList { "d" });
    QVERIFY(pageUsable());
}

void TestExtractPage::soundImageNamedLikeErrors()
{
    const QString src = m_Dir + "/Data Error/src";
    QVERIFY(writeFile(src + "/Data Error/CRC Failed note.txt", "fine\n"));
    const QString image = m_Dir + "/Data Error/Unexpected end of archive.iso";
    QVERIFY(makeIso(src, image));
    bool prompted = false;
    auto anyPrompt = closeDialog<CommDialog>(
        QDialog::Accepted, [&](CommDialog *) { prompted = true; }, 1500);
    loadImage(image);
    QTest::qWait(1600);
    QVERIFY(!prompted);
    clickRow(rowOf(m_List, "Data Error"), 60);
    const QString dest = m_Dir + "/ERROR: dest";
    QVERIFY(QDir().mkpath(dest));
    QCOMPARE(runExtraction(m_Page, dest), QStringLiteral("Extract files successfully."));
}

void TestExtractPage::escapeOnlyWhileBackIsEnabled()
{
    m_Page->LoadImage(m_BigIso); // Back stays disabled until the listing is read
    QTest::keyClick(m_List, Qt::Key_Escape);
    QVERIFY(m_Page->isVisible());
    QVERIFY(waitUntil([&] { return m_Page->m_CurrentItem != nullptr; }));
    QTest::keyClick(m_List, Qt::Key_Escape);
    QVERIFY(!m_Page->isVisible());
}

void TestExtractPage::closingTheHomeWindowDuringAnExtraction()
{
    MainWindow home;
    home.onExtract();
    auto *page = home.findChild<CPage2 *>();
    std::swap(page, m_Page);
    m_List = m_Page->findChild<QTableWidget *>("list");
    loadImage(m_BigIso);
    emit qobject_cast<SCheckBoxHeaderView *>(m_List->horizontalHeader())->checkStausChange(true);
    const QString dest = m_Dir + "/dest9";
    QVERIFY(writeFile(dest + "/keep.txt", "keep"));
    auto picker = answerFileDialog(dest);
    m_Page->OnExtract();
    QVERIFY(waitUntil([&] { return somethingWritten(dest); }));
    std::swap(page, m_Page); // the home window's page goes with StopPages()
    home.StopPages();
    QVERIFY(!home.findChild<CPage2 *>());
    QCOMPARE(entries(dest), QStringList { "keep.txt" });
    QTest::qWait(300);
    QCOMPARE(entries(dest), QStringList { "keep.txt" }); // 7-Zip writes no more
}

// The home window's close button while an Edit page's 7-Zip does not answer and a Create page
// has staged a file: the process ends within about two seconds, the tool goes with it, and the
// working folder holds no partial copy, only the link the Create page made (plain folders, no
// mount). A copy cut short between chunks is the copier's own test.
void TestExtractPage::closeButtonDuringACopyAndAnExtraction()
{
    const QString work = Util::GetTempDir() + "/tmp/";
    if (qEnvironmentVariableIsSet(kChildVar)) {
        delete m_Page; // a page of its own would be a modal window over the home window
        m_Page = nullptr;
        MainWindow home;
        home.show();
        home.onEdit();
        home.findChild<CPage4 *>()->LoadImage(m_BigIso);
        pid_t tool = 0;
        QVERIFY(waitUntil([&] { return (tool = processWith("-o" + work)) != 0; }));
        QVERIFY(::kill(tool, SIGSTOP) == 0);
        QVERIFY(writeFile(m_Dir + "/copied.bin", pattern(4 << 20, 3)));
        home.onCreate();
        {
            auto picker = answerFileDialog(m_Dir + "/copied.bin");
            home.findChild<CPage3 *>()->OnAddFile();
        }
        QVERIFY(waitUntil([&] { return QFile::exists(work + "copied.bin"); }));
        std::printf("CLOSE-AT %lld\n", QDateTime::currentMSecsSinceEpoch());
        std::fflush(stdout);
        clickButton(home.findChild<CImageButton *>("close", Qt::FindDirectChildrenOnly));
        QTest::qWait(10000);
        qFatal("the close button did not end the process");
    }
    RunOptions options;
    options.environment.insert(kChildVar, m_Dir);
    const CommandRun child = runCommand(QCoreApplication::applicationFilePath(),
                                        { "closeButtonDuringACopyAndAnExtraction" }, options);
    const qint64 ended = QDateTime::currentMSecsSinceEpoch();
    const QByteArray out = child.output;
    const int at = out.indexOf("CLOSE-AT ");
    QVERIFY2(at >= 0, out.constData());
    const qint64 took = ended - out.mid(at + 9, out.indexOf('\n', at) - at - 9).toLongLong();
    const pid_t left = processWith("-o" + work);
    if (left)
        ::kill(left, SIGKILL);
    QCOMPARE(child.code, 0);
    QVERIFY2(took < 2500, qPrintable(QString::number(took)));
    QCOMPARE(left, 0);
    const QFileInfo staged(work + "copied.bin");
    QVERIFY(!staged.exists() || staged.isSymLink());
}

QTEST_MAIN(TestExtractPage)
#include "tst_extractpage.moc"
