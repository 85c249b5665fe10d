#ifndef VEXLOR_CWINDOWSKIN_H
#define VEXLOR_CWINDOWSKIN_H

#include <QColor>
#include <QPoint>
#include <QString>

class QMouseEvent;
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

#endif // VEXLOR_CWINDOWSKIN_H
