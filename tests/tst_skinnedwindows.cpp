// The skinned windows: background pictures, plain colour, dragging and the visibility signals,
// for both the dialog base and the main-window base.

#include "uitesthelpers.h"

#include "ui/cbasemainwindow.h"
#include "ui/imagedialog.h"

#include <QMouseEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// One interface over the two window classes, so that every test runs on both.
struct Window
{
    virtual ~Window() = default;
    virtual QWidget *widget() = 0;
    virtual void SetBackGround(const QString &path) = 0;
    virtual void SetBackGroundColor(const QColor &c) = 0;
    virtual void SetMoveable(bool on) = 0;
    virtual QString BackGround() const = 0;
};

template<class T> struct WindowOf : Window
{
    T w;
    QWidget *widget() override { return &w; }
    void SetBackGround(const QString &path) override { w.SetBackGround(path); }
    void SetBackGroundColor(const QColor &c) override { w.SetBackGroundColor(c); }
    void SetMoveable(bool on) override { w.SetMoveable(on); }
    QString BackGround() const override { return w.BackGround(); }
};

std::unique_ptr<Window> make(const QString &kind)
{
    if (kind == QLatin1String("dialog"))
        return std::make_unique<WindowOf<ImageDialog>>();
    return std::make_unique<WindowOf<CBaseMainWindow>>();
}

void send(QWidget *w, QEvent::Type type, QPoint global, Qt::MouseButton button,
          Qt::MouseButtons held)
{
    QMouseEvent event(type, w->mapFromGlobal(global), global, button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

} // namespace

class TestSkinnedWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void construction_data() { kinds(); }
    void construction();
    void background_data() { kinds(); }
    void background();
    void transparentPixelsStayTransparent_data() { kinds(); }
    void transparentPixelsStayTransparent();
    void backgroundColor_data() { kinds(); }
    void backgroundColor();
    void dragging_data();
    void dragging();
    void draggingEmbedded();
    void visibilitySignals_data() { kinds(); }
    void visibilitySignals();
    void moveSignal_data() { kinds(); }
    void moveSignal();

private:
    static void kinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("ImageDialog") << "dialog";
        QTest::newRow("CBaseMainWindow") << "main";
    }

    QTemporaryDir m_dir;
    QString m_big, m_small, m_halfClear;
};

void TestSkinnedWindows::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_big = UiTest::writePng(m_dir.path(), "big", 320, 200, QColor(10, 120, 30));
    m_small = UiTest::writePng(m_dir.path(), "small", 200, 100, QColor(200, 40, 40));
    QImage half(100, 80, QImage::Format_ARGB32);
    half.fill(Qt::transparent);
    QPainter(&half).fillRect(0, 0, 50, 80, QColor(0, 0, 255));
    m_halfClear = m_dir.filePath("half.png");
    QVERIFY(half.save(m_halfClear));
}

void TestSkinnedWindows::construction()
{
    QFETCH(QString, kind);
    auto window = make(kind);
    QWidget *w = window->widget();
    QCOMPARE(w->windowTitle(), QString("Vexlor"));
    QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(w->testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(!w->autoFillBackground());
    QVERIFY(w->isWindow());
    QCOMPARE(w->isModal(), kind == "dialog");
    QVERIFY(window->BackGround().isEmpty());
}

void TestSkinnedWindows::background()
{
    QFETCH(QString, kind);
    auto window = make(kind);
    QWidget *w = window->widget();

    window->SetBackGround(m_big);
    QCOMPARE(w->size(), QSize(320, 200));
    QCOMPARE(w->minimumSize(), QSize(320, 200));
    QCOMPARE(w->maximumSize(), QSize(320, 200));
    QCOMPARE(UiTest::pixel(w, QPoint(160, 100)), QColor(10, 120, 30));

    // An empty path changes nothing.
    window->SetBackGround(QString());
    QCOMPARE(window->BackGround(), m_big);
    QCOMPARE(w->size(), QSize(320, 200));

    // A picture that cannot be loaded leaves the previous one, with a diagnostic line only.
    const QString missing = m_dir.filePath("missing.png");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("Can not load the image file .*missing\\.png"));
    window->SetBackGround(missing);
    QCOMPARE(window->BackGround(), m_big);
    QCOMPARE(w->size(), QSize(320, 200));

    window->SetBackGround(m_small);
    QCOMPARE(w->size(), QSize(200, 100));
    QCOMPARE(UiTest::pixel(w, QPoint(100, 50)), QColor(200, 40, 40));
}

void TestSkinnedWindows::transparentPixelsStayTransparent()
{
    QFETCH(QString, kind);
    auto window = make(kind);
    window->SetBackGround(m_halfClear);
    const QImage image = UiTest::render(window->widget());
    QCOMPARE(QColor::fromRgba(image.pixel(10, 40)), QColor(0, 0, 255));
    QCOMPARE(qAlpha(image.pixel(90, 40)), 0);
}

void TestSkinnedWindows::backgroundColor()
{
    QFETCH(QString, kind);
    auto window = make(kind);
    QWidget *w = window->widget();
    w->resize(60, 40);
    window->SetBackGroundColor(QColor(0xda, 0xff, 0xc8));
    QVERIFY(w->autoFillBackground());
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        QCOMPARE(w->palette().color(group, QPalette::Window), QColor(0xda, 0xff, 0xc8));
}

void TestSkinnedWindows::dragging_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("moveable");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");
    for (const char *kind : { "dialog", "main" }) {
        const QString k = QString::fromLatin1(kind);
        QTest::newRow(qPrintable(k + " moveable, left"))
            << k << true << int(Qt::LeftButton) << true;
        QTest::newRow(qPrintable(k + " moveable, right"))
            << k << true << int(Qt::RightButton) << true;
        QTest::newRow(qPrintable(k + " not moveable"))
            << k << false << int(Qt::LeftButton) << false;
    }
}

void TestSkinnedWindows::dragging()
{
    QFETCH(QString, kind);
    QFETCH(bool, moveable);
    QFETCH(int, button);
    QFETCH(bool, moves);

    auto window = make(kind);
    QWidget *w = window->widget();
    window->SetBackGround(m_big);
    window->SetMoveable(moveable);
    w->move(300, 200);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QPoint start = w->pos();
    const auto b = Qt::MouseButton(button);

    // Grab the window 40, 30 inside its corner and drag in two steps.
    const QPoint grab = start + QPoint(40, 30);
    send(w, QEvent::MouseButtonPress, grab, b, b);
    send(w, QEvent::MouseMove, grab + QPoint(25, 10), Qt::NoButton, b);
    send(w, QEvent::MouseMove, grab + QPoint(60, 45), Qt::NoButton, b);
    send(w, QEvent::MouseButtonRelease, grab + QPoint(60, 45), b, Qt::NoButton);
    QCOMPARE(w->pos(), moves ? start + QPoint(60, 45) : start);

    // After the release, moving the cursor does not move the window.
    const QPoint after = w->pos();
    send(w, QEvent::MouseMove, grab + QPoint(120, 80), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w->pos(), after);

    // A small jitter of a click does not move the window either.
    send(w, QEvent::MouseButtonPress, after + QPoint(40, 30), b, b);
    send(w, QEvent::MouseMove, after + QPoint(41, 31), Qt::NoButton, b);
    send(w, QEvent::MouseButtonRelease, after + QPoint(41, 31), b, Qt::NoButton);
    QCOMPARE(w->pos(), after);
}

void TestSkinnedWindows::draggingEmbedded()
{
    // A moveable dialog placed inside another window follows the cursor in its parent.
    QWidget parent;
    parent.setGeometry(200, 150, 500, 400);
    ImageDialog page;
    page.setParent(&parent, Qt::Widget);
    page.SetBackGround(m_small);
    page.SetMoveable(true);
    page.move(20, 30);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    const QPoint grab = page.mapToGlobal(QPoint(10, 10));
    send(&page, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    send(&page, QEvent::MouseMove, grab + QPoint(40, 25), Qt::NoButton, Qt::LeftButton);
    send(&page, QEvent::MouseButtonRelease, grab + QPoint(40, 25), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(page.pos(), QPoint(60, 55));
}

void TestSkinnedWindows::visibilitySignals()
{
    QFETCH(QString, kind);
    auto window = make(kind);
    QWidget *w = window->widget();
    window->SetBackGround(m_small);
    QSignalSpy spy(w, SIGNAL(sigvisable(bool)));

    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.first().first().toBool(), true);
    for (const auto &args : spy)
        QCOMPARE(args.first().toBool(), true);

    spy.clear();
    w->hide();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toBool(), false);

    spy.clear();
    w->show();
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.first().first().toBool(), true);

    w->hide();
}

void TestSkinnedWindows::moveSignal()
{
    QFETCH(QString, kind);
    auto window = make(kind);
    QWidget *w = window->widget();
    w->resize(100, 80);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy spy(w, SIGNAL(sigmove()));
    w->move(w->pos() + QPoint(30, 20));
    QTRY_VERIFY(spy.count() >= 1);
    spy.clear();
    window->SetBackGround(m_big);
    QTRY_VERIFY(spy.count() >= 1);
}

QTEST_MAIN(TestSkinnedWindows)
#include "tst_skinnedwindows.moc"
