#include "ui/imagedialog.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <utility>

ImageDialog::ImageDialog(bool hasParent)
    : QDialog(nullptr)
    , m_skin(this)
{
    Q_UNUSED(hasParent);
    setModal(true);
    m_skin.Init();
}

void ImageDialog::SetBackGround(QString path)
{
    m_skin.SetBackGround(path, "ImageDialog::SetBackGround");
}

void ImageDialog::SetBackGroundColor(QColor c)
{
    m_skin.SetBackGroundColor(c);
}

void ImageDialog::SetMoveable(bool on)
{
    m_skin.SetMoveable(on);
}

void ImageDialog::SetEscapeAsBack(std::function<bool()> allowed, std::function<void()> back)
{
    m_BackAllowed = std::move(allowed);
    m_Back = std::move(back);
}

void ImageDialog::keyPressEvent(QKeyEvent *event)
{
    if (m_Back && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (!m_BackAllowed || m_BackAllowed())
            m_Back();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ImageDialog::slot_minWindow()
{
    showMinimized();
}

void ImageDialog::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    m_skin.Paint();
}

void ImageDialog::mousePressEvent(QMouseEvent *event)
{
    m_skin.MousePress(event);
    QDialog::mousePressEvent(event);
}

void ImageDialog::mouseMoveEvent(QMouseEvent *event)
{
    m_skin.MouseMove(event);
}

void ImageDialog::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    m_skin.MouseRelease();
}

void ImageDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    repaint();
    emit sigvisable(true);
}

void ImageDialog::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    emit sigvisable(false);
}

void ImageDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::ActivationChange) {
        if (m_skin.IsPlainActive())
            emit sigvisable(true);
        return;
    }
    QDialog::changeEvent(event);
}

void ImageDialog::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    emit sigmove();
}

void ImageDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    emit sigmove();
}
