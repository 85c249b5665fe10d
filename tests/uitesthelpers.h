#ifndef VEXLOR_UITESTHELPERS_H
#define VEXLOR_UITESTHELPERS_H

// Pictures for the tests of the skinned widgets: solid or striped PNG files of known sizes and
// colours, written into a temporary folder, so that the tests do not need the skin.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QString>
#include <QWidget>

namespace UiTest {

// Writes a w x h PNG of one colour (transparent allowed) and returns its path.
inline QString writePng(const QString &dir, const QString &name, int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(color);
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    image.save(path, "PNG");
    return path;
}

// Writes a strip of frames side by side, frame i in colors[i], each w x h.
inline QString writeStrip(const QString &dir, const QString &name, int w, int h,
                          const QList<QColor> &colors)
{
    QImage image(w * colors.size(), h, QImage::Format_ARGB32);
    QPainter painter(&image);
    for (int i = 0; i < colors.size(); ++i)
        painter.fillRect(i * w, 0, w, h, colors.at(i));
    painter.end();
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    image.save(path, "PNG");
    return path;
}

// The widget as painted by itself and its children onto a transparent canvas.
inline QImage render(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline QColor pixel(QWidget *widget, QPoint at)
{
    return QColor::fromRgba(render(widget).pixel(at));
}

} // namespace UiTest

#endif // VEXLOR_UITESTHELPERS_H
