// The image controls and the small widget variants: state pictures and strips, clicks, the
// search box, the combo box, the tree, the delegate and the check-box header.

#include "uitesthelpers.h"

#include "ui/cimagebutton.h"
#include "ui/clineedit.h"
#include "ui/cmycombobox.h"
#include "ui/cmytreewidget.h"
#include "ui/nofocusdelegate.h"
#include "ui/scheckboxheaderview.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

using UiTest::pixel;
using UiTest::writePng;
using UiTest::writeStrip;

static const QColor kNormal(200, 0, 0);
static const QColor kHover(0, 200, 0);
static const QColor kPressed(0, 0, 200);
static const QColor kDisabled(120, 120, 120);

class TestImageControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void stateChoice_data();
    void stateChoice();
    void clickSemantics_data();
    void clickSemantics();
    void fourImageRules_data();
    void fourImageRules();
    void stripSizesToOneFrame();
    void alignment_data();
    void alignment();
    void withoutImagesKeepsSize();

    void lineEditRect_data();
    void lineEditRect();
    void lineEditImageClick();
    void lineEditReturn();

    void comboSignalsBeforePopup();
    void treeClearsSelectionOnEmptySpace();
    void delegateDrawsNoFocus();
    void headerCheckBoxToggles();
    void headerOtherColumnsSortAsUsual();
    void headerDrawsState();

private:
    // A shown window holding one control at (20, 20), with the cursor parked outside it.
    QWidget *host(QWidget *control);
    void hover(QWidget *control, bool inside);

    QTemporaryDir m_dir;
    QString m_n, m_h, m_p, m_d, m_strip3, m_strip4, m_small, m_wide;
    QWidget *m_host = nullptr;
};

void TestImageControls::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString d = m_dir.path();
    m_n = writePng(d, "n", 40, 20, kNormal);
    m_h = writePng(d, "h", 40, 20, kHover);
    m_p = writePng(d, "p", 40, 20, kPressed);
    m_d = writePng(d, "d", 40, 20, kDisabled);
    m_small = writePng(d, "small", 30, 20, kHover);
    m_wide = writePng(d, "wide", 40, 21, kPressed);
    m_strip3 = writeStrip(d, "strip3", 25, 20, { kNormal, kHover, kPressed });
    m_strip4 = writeStrip(d, "strip4", 25, 20, { kNormal, kHover, kPressed, kDisabled });
}

void TestImageControls::cleanup()
{
    if (QTest::currentTestFailed())
        QTest::mouseRelease(m_host, Qt::LeftButton);
    delete m_host;
    m_host = nullptr;
}

QWidget *TestImageControls::host(QWidget *control)
{
    delete m_host;
    m_host = new QWidget;
    m_host->setGeometry(100, 100, 300, 200);
    control->setParent(m_host);
    control->move(20, 20);
    m_host->show();
    if (!QTest::qWaitForWindowExposed(m_host))
        qWarning("host window not exposed");
    hover(control, false);
    return m_host;
}

void TestImageControls::hover(QWidget *control, bool inside)
{
    if (inside)
        QTest::mouseMove(control, control->rect().center());
    else
        QTest::mouseMove(m_host, QPoint(250, 180));
}

void TestImageControls::stateChoice_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("hovering");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QColor>("expected");

    for (const char *mode : { "files", "strip3", "strip4" }) {
        const QString m = QString::fromLatin1(mode);
        QTest::newRow(qPrintable(m + " normal")) << m << true << false << false << kNormal;
        QTest::newRow(qPrintable(m + " hover")) << m << true << true << false << kHover;
        QTest::newRow(qPrintable(m + " pressed")) << m << true << true << true << kPressed;
    }
    QTest::newRow("files disabled") << "files" << false << false << false << kDisabled;
    QTest::newRow("files disabled, hovered") << "files" << false << true << false << kDisabled;
    QTest::newRow("files without disabled picture")
        << "files-nodisabled" << false << false << false << kNormal;
    QTest::newRow("strip of 3 disabled shows frame 0")
        << "strip3" << false << false << false << kNormal;
    QTest::newRow("strip of 4 disabled shows frame 3")
        << "strip4" << false << false << false << kDisabled;
    QTest::newRow("strip of 4 disabled, hovered")
        << "strip4" << false << true << false << kDisabled;
}

void TestImageControls::stateChoice()
{
    QFETCH(QString, mode);
    QFETCH(bool, enabled);
    QFETCH(bool, hovering);
    QFETCH(bool, pressed);
    QFETCH(QColor, expected);

    auto *button = new CImageButton;
    if (mode == "files")
        button->SetBackGround(m_n, m_h, m_p, m_d);
    else if (mode == "files-nodisabled")
        button->SetBackGround(m_n, m_h, m_p, QString());
    else if (mode == "strip3")
        button->SetBackGround(m_strip3, 3);
    else
        button->SetBackGround(m_strip4, 4);
    host(button);
    button->setEnabled(enabled);
    hover(button, hovering);
    if (pressed)
        QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());

    const QPoint centre = button->rect().center();
    QCOMPARE(pixel(button, centre), expected);

    if (pressed)
        QTest::mouseRelease(button, Qt::LeftButton, {}, centre);
}

void TestImageControls::clickSemantics_data()
{
    // Cursor positions after the press, before the release; the last one is where the release
    // happens.
    QTest::addColumn<QList<bool>>("path");
    QTest::addColumn<int>("clicks");
    QTest::newRow("release inside") << QList<bool> { true } << 1;
    QTest::newRow("release outside") << QList<bool> { false } << 0;
    QTest::newRow("back inside before release") << QList<bool> { false, true } << 1;
    QTest::newRow("out, in and out again") << QList<bool> { false, true, false } << 0;
}

void TestImageControls::clickSemantics()
{
    QFETCH(QList<bool>, path);
    QFETCH(int, clicks);

    auto *button = new CImageButton;
    button->SetBackGround(m_n, m_h, m_p, m_d);
    host(button);
    QStringList signalsSeen;
    connect(button, qOverload<bool>(&CImageButton::clicked), this,
            [&](bool on) { signalsSeen << (on ? "clicked(true)" : "clicked(false)"); });
    connect(button, qOverload<>(&CImageButton::clicked), this,
            [&] { signalsSeen << QStringLiteral("clicked()"); });

    hover(button, true);
    QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
    QPoint at = button->rect().center();
    for (bool inside : path) {
        hover(button, inside);
        at = inside ? button->rect().center() : button->mapFrom(m_host, QPoint(250, 180));
    }
    QTest::mouseRelease(button, Qt::LeftButton, {}, at);

    QStringList expected;
    for (int i = 0; i < clicks; ++i)
        expected << "clicked(true)"
                 << "clicked()";
    QCOMPARE(signalsSeen, expected);
}

void TestImageControls::fourImageRules_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("accepted");

    // Starting from the red set; a call that is accepted makes the control paint kHover.
    const QString missing = m_dir.filePath("missing.png");
    QTest::newRow("hover of another size") << QStringList { m_h, m_small, m_p, m_d } << false;
    QTest::newRow("pressed of another size") << QStringList { m_h, m_h, m_wide, m_d } << false;
    QTest::newRow("disabled of another size") << QStringList { m_h, m_h, m_p, m_small } << false;
    QTest::newRow("normal missing") << QStringList { missing, m_h, m_p, m_d } << false;
    QTest::newRow("empty paths are fine") << QStringList { m_h, "", "", "" } << true;
    QTest::newRow("a missing hover picture is stored")
        << QStringList { m_h, missing, m_p, m_d } << true;
}

void TestImageControls::fourImageRules()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, accepted);

    auto *button = new CImageButton;
    button->SetBackGround(m_n, m_h, m_p, m_d);
    host(button);
    button->SetBackGround(paths[0], paths[1], paths[2], paths[3]);
    QCOMPARE(button->size(), QSize(40, 20));
    QCOMPARE(pixel(button, QPoint(5, 5)), accepted ? kHover : kNormal);
}

void TestImageControls::stripSizesToOneFrame()
{
    CImageButton button;
    button.SetBackGround(m_strip4, 4);
    QCOMPARE(button.size(), QSize(25, 20));
    button.SetBackGround(m_n, QString(), QString(), QString());
    QCOMPARE(button.size(), QSize(40, 20));

    // Without auto sizing the control keeps the size it was given.
    CImageButton fixed;
    fixed.SetAutoSizeByImage(false);
    fixed.resize(70, 50);
    fixed.SetBackGround(m_n, m_h, m_p, m_d);
    QCOMPARE(fixed.size(), QSize(70, 50));
    fixed.SetAutoSizeByImage(true);
    QCOMPARE(fixed.size(), QSize(40, 20));
}

void TestImageControls::alignment_data()
{
    QTest::addColumn<int>("align");
    QTest::addColumn<QPoint>("topLeft");
    // A 40 x 20 picture in a 100 x 60 control.
    QTest::newRow("centred") << -1 << QPoint(30, 20);
    QTest::newRow("left") << 0 << QPoint(0, 20);
    QTest::newRow("top") << 1 << QPoint(30, 0);
    QTest::newRow("right") << 2 << QPoint(60, 20);
    QTest::newRow("bottom") << 3 << QPoint(30, 40);
    QTest::newRow("unknown value centres") << 7 << QPoint(30, 20);
}

void TestImageControls::alignment()
{
    QFETCH(int, align);
    QFETCH(QPoint, topLeft);

    CImageButton button;
    button.SetAutoSizeByImage(false);
    button.setFixedSize(100, 60);
    button.SetBackGround(m_n, m_h, m_p, m_d);
    button.SetAlign(align);
    const QImage image = UiTest::render(&button);
    const QRect expected(topLeft, QSize(40, 20));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool painted = QColor::fromRgba(image.pixel(x, y)) == kNormal;
            if (painted != expected.contains(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        }
    }
}

void TestImageControls::withoutImagesKeepsSize()
{
    CImageButton button;
    button.setGeometry(0, 0, 50, 30);
    button.Resize();
    button.SetBackGround(m_dir.filePath("missing.png"), QString(), QString(), QString());
    QCOMPARE(button.size(), QSize(50, 30));
    const QImage image = UiTest::render(&button);
    QCOMPARE(image.pixel(25, 15), QColor(Qt::transparent).rgba());
}

void TestImageControls::lineEditRect_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QRect>("expected");
    // The edit is 200 x 26.
    QTest::newRow("from the left") << QPoint(4, 2) << QRect(4, 2, 22, 22);
    QTest::newRow("from the right") << QPoint(-25, 3) << QRect(175, 3, 20, 20);
    QTest::newRow("from the bottom") << QPoint(-30, -4) << QRect(170, 22, 18, 18);
}

void TestImageControls::lineEditRect()
{
    QFETCH(QPoint, pos);
    QFETCH(QRect, expected);
    CLineEdit edit;
    edit.resize(200, 26);
    edit.SetImage(m_n, m_h, m_p, pos);
    QCOMPARE(edit.getRect(), expected);
}

void TestImageControls::lineEditImageClick()
{
    auto *edit = new CLineEdit;
    edit->setFixedSize(200, 26);
    edit->SetImage(m_n, m_h, m_p, QPoint(-25, 3));
    host(edit);
    QSignalSpy spy(edit, &CLineEdit::OnClicked);

    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(50, 13));
    QCOMPARE(spy.count(), 0);
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(185, 13));
    QCOMPARE(spy.count(), 1);
}

void TestImageControls::lineEditReturn()
{
    auto *edit = new CLineEdit;
    edit->resize(200, 26);
    host(edit);
    edit->setFocus();
    QStringList seen;
    connect(edit, &CLineEdit::OnClicked, this, [&] { seen << edit->text(); });

    QTest::keyClicks(edit, "abc");
    QCOMPARE(seen, QStringList());
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(seen, QStringList { "abc" });
    // The keypad's Enter key is not the search key.
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(seen, QStringList { "abc" });
}

void TestImageControls::comboSignalsBeforePopup()
{
    auto *combo = new CMyComboBox;
    combo->resize(150, 24);
    combo->addItem("old");
    host(combo);
    bool popupWasOpen = true;
    int signalled = 0;
    connect(combo, &CMyComboBox::dropdownclicked, this, [&] {
        ++signalled;
        popupWasOpen = combo->view()->isVisible();
        combo->clear();
        combo->addItems({ "fresh 1", "fresh 2" });
    });

    QTest::mouseClick(combo, Qt::RightButton);
    QCOMPARE(signalled, 0);

    QTest::mousePress(combo, Qt::LeftButton);
    QCOMPARE(signalled, 1);
    QVERIFY(!popupWasOpen);
    QTRY_VERIFY(combo->view()->isVisible());
    QCOMPARE(combo->view()->model()->rowCount(), 2);
    QCOMPARE(combo->view()->model()->index(0, 0).data().toString(), QString("fresh 1"));
    combo->hidePopup();
    QTest::mouseRelease(combo, Qt::LeftButton);
}

void TestImageControls::treeClearsSelectionOnEmptySpace()
{
    auto *tree = new CMyTreeWidget;
    tree->resize(200, 150);
    tree->setHeaderHidden(true);
    auto *a = new QTreeWidgetItem(tree, { "a" });
    new QTreeWidgetItem(tree, { "b" });
    host(tree);

    const QPoint onA = tree->visualItemRect(a).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onA);
    QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem *> { a });

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(100, 130));
    QVERIFY(tree->selectedItems().isEmpty());
}

void TestImageControls::delegateDrawsNoFocus()
{
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), "cell");
    QTableView view;
    view.setModel(&model);

    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = QRect(0, 0, 120, 30);
    option.state |= QStyle::State_Selected | QStyle::State_Enabled;
    option.showDecorationSelected = true;
    option.widget = &view;

    auto paint = [&](QAbstractItemDelegate &delegate, bool focus) {
        QImage image(120, 30, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QStyleOptionViewItem o(option);
        if (focus)
            o.state |= QStyle::State_HasFocus;
        QPainter painter(&image);
        delegate.paint(&painter, o, model.index(0, 0));
        return image;
    };
    NoFocusDelegate noFocus;
    QStyledItemDelegate standard;
    QCOMPARE(paint(noFocus, true), paint(standard, false));
    QCOMPARE(paint(noFocus, false), paint(standard, false));
}

static QTableWidget *checkTable(SCheckBoxHeaderView **header)
{
    auto *table = new QTableWidget(3, 3);
    table->resize(280, 150);
    *header = new SCheckBoxHeaderView(0, Qt::Horizontal, table);
    table->setHorizontalHeader(*header);
    (*header)->setSectionsClickable(true);
    table->setHorizontalHeaderLabels({ "", "Name", "Size" });
    for (int row = 0; row < 3; ++row)
        table->setItem(row, 1, new QTableWidgetItem(QString::number(3 - row)));
    return table;
}

void TestImageControls::headerCheckBoxToggles()
{
    SCheckBoxHeaderView *header = nullptr;
    QTableWidget *table = checkTable(&header);
    table->setSortingEnabled(true);
    table->sortByColumn(1, Qt::AscendingOrder);
    host(table);
    QSignalSpy spy(header, &SCheckBoxHeaderView::checkStausChange);

    const QPoint first(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, first);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, first);

    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QVERIFY(!header->isChecked());
    // The check column does not sort.
    QCOMPARE(header->sortIndicatorSection(), 1);

    header->setChecked(true);
    QVERIFY(header->isChecked());
    QCOMPARE(spy.count(), 2);
}

void TestImageControls::headerOtherColumnsSortAsUsual()
{
    SCheckBoxHeaderView *header = nullptr;
    QTableWidget *table = checkTable(&header);
    table->setSortingEnabled(true);
    table->sortByColumn(1, Qt::AscendingOrder);
    host(table);
    QSignalSpy spy(header, &SCheckBoxHeaderView::checkStausChange);

    const QPoint third(header->sectionViewportPosition(2) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, third);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(header->sortIndicatorSection(), 2);
}

void TestImageControls::headerDrawsState()
{
    SCheckBoxHeaderView *header = nullptr;
    QTableWidget *table = checkTable(&header);
    host(table);
    const QRect section(header->sectionViewportPosition(0), 0, header->sectionSize(0),
                        header->height());
    const QImage off = UiTest::render(header->viewport()).copy(section);
    header->setChecked(true);
    const QImage on = UiTest::render(header->viewport()).copy(section);
    QVERIFY(off != on);
    header->setChecked(false);
    QCOMPARE(UiTest::render(header->viewport()).copy(section), off);
}

QTEST_MAIN(TestImageControls)
#include "tst_imagecontrols.moc"
