#include "ui/cwindowskin.h"
#include "services/logging.h"

#include "ui/cskinimage.h"

#include <QApplication>
#include <QDebug>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QWidget>

CWindowSkin::CWindowSkin(QWidget *window)
    : m_window(window)
{
}

void CWindowSkin::Init()
{
    m_window->setWindowTitle(QStringLiteral("Vexlor"));
    m_moveable = false;
    m_background.clear();
    m_window->setWindowFlags(Qt::FramelessWindowHint);
    m_window->setAutoFillBackground(false);
    m_window->setAttribute(Qt::WA_TranslucentBackground, true);
}

void CWindowSkin::SetBackGround(const QString &path, const char *who)
{
    if (path.isEmpty())
        return;
    const QPixmap picture = CSkinImage::Load(path);
    if (picture.isNull()) {
        qCWarning(lcUi).noquote() << who << "Can not load the image file " + path;
        return;
    }
    m_window->setFixedSize(picture.size());
    m_background = path;
    m_window->update();
}

void CWindowSkin::SetBackGroundColor(const QColor &color)
{
    QPalette palette = m_window->palette();
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(color));
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);
}

void CWindowSkin::Paint()
{
    if (m_background.isEmpty())
        return;
    const QPixmap picture = CSkinImage::Load(m_background);
    if (picture.isNull())
        return;
    QPainter painter(m_window);
    painter.drawPixmap(QRect(0, 0, m_window->width(), m_window->height()), picture, picture.rect());
}

QPoint CWindowSkin::Anchor(const QPoint &global) const
{
    // A window embedded in another one (a feature page) is placed in its parent's coordinates.
    if (!m_window->isWindow() && m_window->parentWidget())
        return m_window->parentWidget()->mapFromGlobal(global);
    return global;
}

void CWindowSkin::MousePress(QMouseEvent *event)
{
    m_pressed = true;
    m_dragging = false;
    m_pressPos = event->globalPos();
    m_dragOffset = Anchor(event->globalPos()) - m_window->pos();
}

void CWindowSkin::MouseMove(QMouseEvent *event)
{
    if (!m_pressed || event->buttons() == Qt::NoButton)
        return;
    if (!m_moveable)
        return;
    // A drag starts once the cursor has travelled the platform's drag distance from the press,
    // so a plain click never nudges the window; from then on the grab point stays under the
    // cursor.
    if (!m_dragging) {
        if ((event->globalPos() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragging = true;
    }
    m_window->move(Anchor(event->globalPos()) - m_dragOffset);
    m_dragOffset = Anchor(event->globalPos()) - m_window->pos();
}

void CWindowSkin::MouseRelease()
{
    m_pressed = false;
    m_dragging = false;
}

bool CWindowSkin::IsPlainActive() const
{
    const Qt::WindowStates state = m_window->windowState();
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return false;
    return m_window->isActiveWindow();
}
