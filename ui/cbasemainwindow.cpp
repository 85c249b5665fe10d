#include "ui/cbasemainwindow.h"

#include <QMouseEvent>

CBaseMainWindow::CBaseMainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_skin(this)
{
    m_skin.Init();
}

void CBaseMainWindow::SetBackGround(QString path)
{
    m_skin.SetBackGround(path, "CBaseMainWindow::SetBackGround");
}

void CBaseMainWindow::SetBackGroundColor(QColor c)
{
    m_skin.SetBackGroundColor(c);
}

void CBaseMainWindow::SetMoveable(bool on)
{
    m_skin.SetMoveable(on);
}

void CBaseMainWindow::slot_minWindow()
{
    showMinimized();
}

void CBaseMainWindow::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    m_skin.Paint();
}

void CBaseMainWindow::mousePressEvent(QMouseEvent *event)
{
    m_skin.MousePress(event);
    QMainWindow::mousePressEvent(event);
}

void CBaseMainWindow::mouseMoveEvent(QMouseEvent *event)
{
    m_skin.MouseMove(event);
}

void CBaseMainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    m_skin.MouseRelease();
}

void CBaseMainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    repaint();
    emit sigvisable(true);
}

void CBaseMainWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    emit sigvisable(false);
}

void CBaseMainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::ActivationChange) {
        if (m_skin.IsPlainActive())
            emit sigvisable(true);
        return;
    }
    QMainWindow::changeEvent(event);
}

void CBaseMainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    emit sigmove();
}

void CBaseMainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    emit sigmove();
}
