#include "ui/clineedit.h"

#include "ui/cskinimage.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>

CLineEdit::CLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    // Move events without a held button let the picture show its hover state.
    setMouseTracking(true);
}

void CLineEdit::SetImage(QString n, QString h, QString p, QPoint pos)
{
    m_pictures = { n, h, p, QString() };
    m_pos = pos;
    update();
}

QRect CLineEdit::getRect()
{
    const int left = m_pos.x() < 0 ? width() + m_pos.x() : m_pos.x();
    const int top = m_pos.y() < 0 ? height() + m_pos.y() : m_pos.y();
    const int side = height() - 2 * std::abs(m_pos.y());
    return QRect(left, top, side, side);
}

void CLineEdit::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);

    const QRect square = getRect();
    // Without a pressed picture the picture shows focus rather than the pointer.
    const bool inside = square.contains(mapFromGlobal(QCursor::pos()));
    const QString path = m_pictures.pressed.isEmpty()
        ? m_pictures.For(true, hasFocus(), false)
        : m_pictures.For(true, inside, inside && (QApplication::mouseButtons() & Qt::LeftButton));
    const QPixmap image = CSkinImage::Load(path);
    if (image.isNull() || image.size().isEmpty())
        return;
    QPainter painter(this);
    painter.drawPixmap(square.topLeft(), image);
}

bool CLineEdit::event(QEvent *event)
{
    const bool handled = QLineEdit::event(event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        update();
        if (getRect().contains(static_cast<QMouseEvent *>(event)->pos()))
            emit OnClicked();
        break;
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
        update();
        break;
    default:
        break;
    }
    return handled;
}

void CLineEdit::keyPressEvent(QKeyEvent *event)
{
    QLineEdit::keyPressEvent(event);
    if (event->key() == Qt::Key_Return)
        emit OnClicked();
}
