#include "ui/cbaseimagectrl.h"

#include "ui/cskinimage.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

CBaseImageCtrl::CBaseImageCtrl(QWidget *parent)
    : QWidget(parent)
{
    setEnabled(true);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
}

void CBaseImageCtrl::SetBackGround(QString strip, int count)
{
    m_pictures = { strip, QString(), QString(), QString() };
    m_stateCount = count;
    Resize();
    update();
}

void CBaseImageCtrl::SetBackGround(QString normal, QString hover, QString pressed, QString disabled)
{
    const QPixmap normalImage = CSkinImage::Load(normal);
    if (normalImage.isNull())
        return;
    for (const QString &path : { hover, pressed, disabled }) {
        if (path.isEmpty())
            continue;
        const QPixmap image = CSkinImage::Load(path);
        if (!image.isNull() && image.size() != normalImage.size())
            return;
    }
    m_stateCount = 0;
    m_pictures = { normal, hover, pressed, disabled };
    Resize();
    update();
}

void CBaseImageCtrl::SetAlign(int align)
{
    m_align = align;
    update();
}

void CBaseImageCtrl::SetAutoSizeByImage(bool on)
{
    m_autoSize = on;
    Resize();
}

void CBaseImageCtrl::Resize()
{
    if (!m_autoSize || m_pictures.normal.isEmpty())
        return;
    const QPixmap image = CSkinImage::Load(m_pictures.normal);
    if (image.isNull())
        return;
    if (m_stateCount < 2)
        setFixedSize(image.size());
    else
        setFixedSize(image.width() / m_stateCount, image.height());
}

bool CBaseImageCtrl::isMouseIn()
{
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

QString CBaseImageCtrl::CurrentImage(QRect *source)
{
    const bool enabled = isEnabled();
    const bool hovering = m_mouseInside && isMouseIn();
    const bool pressed = hovering && (QApplication::mouseButtons() & Qt::LeftButton);

    if (m_stateCount < 2) {
        const QString path = m_pictures.For(enabled, hovering, pressed);
        if (source) {
            const QPixmap image = CSkinImage::Load(path);
            *source = image.rect();
        }
        return path;
    }

    // Strip mode: frame 0 normal, 1 hover, 2 pressed, 3 disabled. A strip with fewer frames
    // than the state asks for shows its last frame instead of an empty area.
    int frame = 0;
    if (!enabled)
        frame = m_stateCount > 3 ? 3 : 0;
    else if (pressed)
        frame = 2;
    else if (hovering)
        frame = 1;
    frame = qMin(frame, m_stateCount - 1);
    if (source) {
        const QPixmap strip = CSkinImage::Load(m_pictures.normal);
        const int w = strip.width() / m_stateCount;
        *source = QRect(frame * w, 0, w, strip.height());
    }
    return m_pictures.normal;
}

void CBaseImageCtrl::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QRect source;
    const QString path = CurrentImage(&source);
    if (path.isEmpty())
        return;
    const QPixmap image = CSkinImage::Load(path);
    if (image.isNull() || source.isEmpty())
        return;

    const int dx = width() - source.width();
    const int dy = height() - source.height();
    int x = dx / 2;
    int y = dy / 2;
    switch (m_align) {
    case 0:
        x = 0;
        break;
    case 1:
        y = 0;
        break;
    case 2:
        x = dx;
        break;
    case 3:
        y = dy;
        break;
    default:
        break;
    }
    QPainter painter(this);
    painter.drawPixmap(QRect(QPoint(x, y), source.size()), image, source);
}

void CBaseImageCtrl::enterEvent(QEvent *event)
{
    Q_UNUSED(event);
    m_mouseInside = true;
    repaint();
}

void CBaseImageCtrl::leaveEvent(QEvent *event)
{
    Q_UNUSED(event);
    m_mouseInside = false;
    repaint();
}

void CBaseImageCtrl::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    repaint();
}

void CBaseImageCtrl::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    update();
}

void CBaseImageCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    repaint();
    // Released outside the control: the click is cancelled.
    if (m_mouseInside && rect().contains(event->pos())) {
        emit clicked(true);
        emit clicked();
    }
}
