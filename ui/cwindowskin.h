#ifndef VEXLOR_CWINDOWSKIN_H
#define VEXLOR_CWINDOWSKIN_H

#include <QColor>
#include <QEvent>
#include <QPoint>
#include <QString>

class QHideEvent;
class QMouseEvent;
class QMoveEvent;
class QPaintEvent;
class QResizeEvent;
class QShowEvent;
class QWidget;

// The state and behaviour that every skinned window shares (the home window and every dialog
// and page): a frameless surface painted from one background picture, an optional plain
// background colour, and dragging the window by its surface.
class CWindowSkin
{
public:
    explicit CWindowSkin(QWidget *window);

    // Frameless, translucent where the picture is, titled "Vexlor".
    void Init();

    // Empty path: nothing happens. Otherwise the window takes the picture's size and keeps the
    // path; a picture that cannot be loaded changes nothing. who names the caller in the
    // diagnostic line.
    void SetBackGround(const QString &path, const char *who);
    void SetBackGroundColor(const QColor &color);
    void SetMoveable(bool on) { m_moveable = on; }
    bool IsMoveable() const { return m_moveable; }
    QString BackGround() const { return m_background; }

    void Paint();
    void MousePress(QMouseEvent *event);
    void MouseMove(QMouseEvent *event);
    void MouseRelease();
    // Whether a window-state or activation change leaves the window plainly shown (neither
    // minimised, maximised nor full screen) and active.
    bool IsPlainActive() const;

private:
    QPoint Anchor(const QPoint &global) const;

    QWidget *m_window;
    bool m_moveable = false;
    bool m_pressed = false;
    QString m_background;
    QPoint m_dragOffset;
    QPoint m_pressPos;
    bool m_dragging = false;
};

// A skinned window over a Qt window class (QMainWindow for the home window, QDialog for every
// dialog and page). Derived, the class that derives from it, declares the signals
// sigvisable(bool) (shown, hidden, or shown plainly and active again) and sigmove() (moved or
// resized), since moc reads signals only in the class itself; the window emits them.
template<class Derived, class Window> class CSkinnedWindow : public Window
{
public:
    void SetBackGround(QString path) { m_skin.SetBackGround(path, m_who); }
    void SetBackGroundColor(QColor c) { m_skin.SetBackGroundColor(c); }
    void SetMoveable(bool on) { m_skin.SetMoveable(on); }
    bool IsMoveable() const { return m_skin.IsMoveable(); }
    QString BackGround() const { return m_skin.BackGround(); }

protected:
    // who names the window class in diagnostics.
    CSkinnedWindow(QWidget *parent, const char *who)
        : Window(parent)
        , m_skin(this)
        , m_who(who)
    {
        m_skin.Init();
    }

    void paintEvent(QPaintEvent *) override { m_skin.Paint(); }
    void mousePressEvent(QMouseEvent *event) override
    {
        m_skin.MousePress(event);
        Window::mousePressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent *event) override { m_skin.MouseMove(event); }
    void mouseReleaseEvent(QMouseEvent *) override { m_skin.MouseRelease(); }
    void showEvent(QShowEvent *event) override
    {
        Window::showEvent(event);
        this->repaint();
        emit Self()->sigvisable(true);
    }
    void hideEvent(QHideEvent *event) override
    {
        Window::hideEvent(event);
        emit Self()->sigvisable(false);
    }
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::WindowStateChange
            || event->type() == QEvent::ActivationChange) {
            if (m_skin.IsPlainActive())
                emit Self()->sigvisable(true);
            return;
        }
        Window::changeEvent(event);
    }
    void moveEvent(QMoveEvent *event) override
    {
        Window::moveEvent(event);
        emit Self()->sigmove();
    }
    void resizeEvent(QResizeEvent *event) override
    {
        Window::resizeEvent(event);
        emit Self()->sigmove();
    }

private:
    Derived *Self() { return static_cast<Derived *>(this); }

    CWindowSkin m_skin;
    const char *m_who;
};

#endif // VEXLOR_CWINDOWSKIN_H
