#include "skinpainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace Skin {

namespace {

// The palette of the style sheets, plus a few shades derived from it.
const QColor kAccent(0x67, 0xd9, 0x95);
const QColor kLight(0xda, 0xff, 0xc8);
const QColor kPale(0xf3, 0xff, 0xed);
const QColor kWhite(0xff, 0xff, 0xff);
const QColor kText(0x60, 0x60, 0x60);
const QColor kHint(0x8c, 0x8c, 0x8c);
const QColor kLine(0xc9, 0xee, 0xb7); // dividers, a shade under kLight
const QColor kFrame(0xa9, 0xe3, 0xb9); // outer window border
const QColor kAccentText(0x2f, 0x9e, 0x5f); // accent for words on white
const QColor kGreyFill(0xcc, 0xcc, 0xcc);
const QColor kGreyText(0xa6, 0xa6, 0xa6);

const char *const kFontFamily = "DejaVu Sans";

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(
        a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
        a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// Lighter while hovered, darker while pressed.
QColor stateShade(const QColor &base, State state)
{
    switch (state) {
    case State::Hover:
        return mix(base, kWhite, 0.24);
    case State::Pressed:
        return mix(base, Qt::black, 0.17);
    case State::Disabled:
        return kGreyFill;
    case State::Normal:
        break;
    }
    return base;
}

QFont font(qreal pixels, bool bold = false)
{
    QFont f(QString::fromLatin1(kFontFamily));
    f.setPixelSize(qMax(1, qRound(pixels)));
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// The font, made smaller until the text fits in the given width.
QFont fitted(QFont f, const QString &text, qreal width)
{
    while (f.pixelSize() > 7 && QFontMetricsF(f).horizontalAdvance(text) > width)
        f.setPixelSize(f.pixelSize() - 1);
    return f;
}

QImage canvas(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter &p)
{
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing
                     | QPainter::SmoothPixmapTransform);
}

// A rectangle whose one-pixel outline lands on whole pixels.
QRectF crisp(const QRectF &r)
{
    return r.adjusted(0.5, 0.5, -0.5, -0.5);
}

void hline(QPainter &p, qreal x1, qreal x2, int y, const QColor &c)
{
    p.setPen(QPen(c, 1));
    p.drawLine(QPointF(x1, y + 0.5), QPointF(x2, y + 0.5));
}

void text(QPainter &p, const QRectF &r, const QString &s, const QFont &f, const QColor &c,
          int flags = Qt::AlignLeft | Qt::AlignVCenter)
{
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, s);
}

qreal advance(const QFont &f, const QString &s)
{
    return QFontMetricsF(f).horizontalAdvance(s);
}

// ---------------------------------------------------------------------------------------------
// Glyphs

// A disc outline: rim, hub and a short reflection arc.
void drawDisc(QPainter &p, const QPointF &c, qreal r, const QColor &fg, const QColor &fill)
{
    p.setBrush(fill);
    p.setPen(QPen(fg, qMax(1.5, r * 0.09)));
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r * 0.27, r * 0.27);
    p.setPen(QPen(fg, qMax(1.2, r * 0.07), Qt::SolidLine, Qt::RoundCap));
    const qreal a = r * 0.62;
    p.drawArc(QRectF(c.x() - a, c.y() - a, 2 * a, 2 * a), 100 * 16, 60 * 16);
}

void drawFlame(QPainter &p, const QPointF &c, qreal s, const QColor &color, const QColor &core)
{
    // Outline in units of s around c, y downwards: a main tongue, a smaller left one, and a
    // round base with a bright core.
    auto at = [&](qreal x, qreal y) {
        return QPointF(c.x() + x * s, c.y() + y * s);
    };
    QPainterPath outer;
    outer.moveTo(at(0.0, 0.68));
    outer.cubicTo(at(-0.44, 0.68), at(-0.62, 0.32), at(-0.52, -0.02));
    outer.cubicTo(at(-0.46, -0.24), at(-0.3, -0.36), at(-0.26, -0.58));
    outer.cubicTo(at(-0.1, -0.44), at(-0.06, -0.28), at(-0.07, -0.14));
    outer.cubicTo(at(0.06, -0.34), at(0.16, -0.56), at(0.08, -0.8));
    outer.cubicTo(at(0.46, -0.54), at(0.64, -0.14), at(0.57, 0.2));
    outer.cubicTo(at(0.5, 0.5), at(0.3, 0.68), at(0.0, 0.68));
    QPainterPath inner;
    inner.moveTo(at(0.0, 0.52));
    inner.cubicTo(at(-0.2, 0.52), at(-0.28, 0.34), at(-0.21, 0.18));
    inner.cubicTo(at(-0.15, 0.04), at(-0.03, -0.02), at(0.02, -0.14));
    inner.cubicTo(at(0.15, 0.0), at(0.26, 0.14), at(0.23, 0.3));
    inner.cubicTo(at(0.2, 0.46), at(0.12, 0.52), at(0.0, 0.52));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(outer);
    p.setBrush(core);
    p.drawPath(inner);
}

void drawArrowOut(QPainter &p, const QPointF &c, qreal s, const QColor &color)
{
    p.setPen(QPen(color, s * 0.22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF from(c.x() - 0.42 * s, c.y() + 0.42 * s);
    const QPointF to(c.x() + 0.42 * s, c.y() - 0.42 * s);
    p.drawLine(from, to);
    p.drawPolyline(QPolygonF() << QPointF(to.x() - 0.5 * s, to.y()) << to
                               << QPointF(to.x(), to.y() + 0.5 * s));
}

void drawPlus(QPainter &p, const QPointF &c, qreal s, const QColor &color)
{
    p.setPen(QPen(color, s * 0.24, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - 0.48 * s, c.y()), QPointF(c.x() + 0.48 * s, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 0.48 * s), QPointF(c.x(), c.y() + 0.48 * s));
}

void drawPencil(QPainter &p, const QPointF &c, qreal s, const QColor &color)
{
    p.save();
    p.translate(c);
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    // Body from the right, tip pointing left (down-left after the rotation).
    p.drawRect(QRectF(-0.25 * s, -0.19 * s, 0.85 * s, 0.38 * s));
    p.drawPolygon(QPolygonF() << QPointF(-0.32 * s, -0.19 * s) << QPointF(-0.32 * s, 0.19 * s)
                              << QPointF(-0.68 * s, 0));
    p.restore();
}

void drawCross(QPainter &p, const QPointF &c, qreal s, const QColor &color, qreal width)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - s, c.y() - s), QPointF(c.x() + s, c.y() + s));
    p.drawLine(QPointF(c.x() - s, c.y() + s), QPointF(c.x() + s, c.y() - s));
}

void drawCheck(QPainter &p, const QRectF &r, const QColor &color, qreal width)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(
        QPolygonF() << QPointF(r.left() + 0.18 * r.width(), r.top() + 0.52 * r.height())
                    << QPointF(r.left() + 0.42 * r.width(), r.top() + 0.74 * r.height())
                    << QPointF(r.left() + 0.82 * r.width(), r.top() + 0.28 * r.height()));
}

void drawHouse(QPainter &p, const QRectF &r, const QColor &color)
{
    const qreal w = r.width();
    p.setPen(QPen(color, w * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF() << QPointF(r.left() + 0.06 * w, r.top() + 0.48 * w)
                               << QPointF(r.center().x(), r.top() + 0.1 * w)
                               << QPointF(r.right() - 0.06 * w, r.top() + 0.48 * w));
    p.drawPolyline(QPolygonF() << QPointF(r.left() + 0.2 * w, r.top() + 0.4 * w)
                               << QPointF(r.left() + 0.2 * w, r.bottom() - 0.06 * w)
                               << QPointF(r.right() - 0.2 * w, r.bottom() - 0.06 * w)
                               << QPointF(r.right() - 0.2 * w, r.top() + 0.4 * w));
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(r.center().x() - 0.1 * w, r.top() + 0.6 * w, 0.2 * w, 0.34 * w),
                      0.04 * w, 0.04 * w);
}

void drawHelp(QPainter &p, const QRectF &r, const QColor &color)
{
    const qreal w = r.width();
    p.setPen(QPen(color, w * 0.09));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.center(), w * 0.43, w * 0.43);
    text(p, r, QStringLiteral("?"), font(w * 0.6, true), color, Qt::AlignCenter);
}

// The product mark: a rounded square holding a disc.
void drawLogo(QPainter &p, const QRectF &r, const QColor &square, const QColor &mark)
{
    const qreal w = r.width();
    p.setPen(Qt::NoPen);
    p.setBrush(square);
    p.drawRoundedRect(r, w * 0.22, w * 0.22);
    const QPointF c = r.center();
    p.setBrush(mark);
    p.drawEllipse(c, w * 0.33, w * 0.33);
    p.setBrush(square);
    p.drawEllipse(c, w * 0.085, w * 0.085);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(square, w * 0.045, Qt::SolidLine, Qt::RoundCap));
    const qreal a = w * 0.22;
    p.drawArc(QRectF(c.x() - a, c.y() - a, 2 * a, 2 * a), 100 * 16, 65 * 16);
    p.drawArc(QRectF(c.x() - a, c.y() - a, 2 * a, 2 * a), 280 * 16, 65 * 16);
}

// The picture of a feature: a disc with a badge telling what is done with it.
void drawFeatureIcon(QPainter &p, const QRectF &box, const QString &kind, const QColor &fg,
                     const QColor &bg)
{
    const qreal w = box.width();
    if (kind == QLatin1String("copy")) {
        const qreal r = w * 0.33;
        drawDisc(p, box.center() - QPointF(w * 0.12, w * 0.12), r, withAlpha(fg, 150),
                 withAlpha(fg, 30));
        drawDisc(p, box.center() + QPointF(w * 0.12, w * 0.12), r, fg, bg);
        p.setBrush(withAlpha(fg, 45));
        p.setPen(Qt::NoPen);
        p.drawEllipse(box.center() + QPointF(w * 0.12, w * 0.12), r, r);
        return;
    }
    const qreal r = w * 0.38;
    const QPointF c = box.center() - QPointF(w * 0.07, w * 0.07);
    drawDisc(p, c, r, fg, withAlpha(fg, 40));
    const qreal rb = r * 0.46;
    const QPointF b = c + QPointF(r * 0.68, r * 0.68);
    p.setPen(QPen(bg, rb * 0.16));
    p.setBrush(fg);
    p.drawEllipse(b, rb, rb);
    if (kind == QLatin1String("burn"))
        drawFlame(p, b, rb * 1.05, bg, fg);
    else if (kind == QLatin1String("extract"))
        drawArrowOut(p, b, rb, bg);
    else if (kind == QLatin1String("create"))
        drawPlus(p, b, rb, bg);
    else if (kind == QLatin1String("edit"))
        drawPencil(p, b, rb, bg);
}

void drawNoticeIcon(QPainter &p, const QPointF &c, qreal r, const QString &icon)
{
    const QColor color = icon == QLatin1String("warning") ? QColor(0xf0, 0xa3, 0x30) : kAccent;
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(color, 50));
    p.drawEllipse(c, r + 6, r + 6);
    p.setBrush(color);
    p.drawEllipse(c, r, r);
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    if (icon == QLatin1String("done")) {
        drawCheck(p, box.adjusted(r * 0.3, r * 0.3, -r * 0.3, -r * 0.3), kWhite, r * 0.18);
        return;
    }
    const QString mark = icon == QLatin1String("warning") ? QStringLiteral("!")
        : icon == QLatin1String("question")               ? QStringLiteral("?")
                                                          : QStringLiteral("i");
    text(p, box, mark, font(r * 1.25, true), kWhite, Qt::AlignCenter);
}

// ---------------------------------------------------------------------------------------------
// Controls

struct ButtonColors
{
    QColor fill;
    QColor border;
    QColor word;
};

ButtonColors buttonColors(Look look, State state)
{
    if (state == State::Disabled)
        return { QColor(0xe2, 0xe2, 0xe2), QColor(0xcc, 0xcc, 0xcc), kGreyText };
    if (look == Look::Primary) {
        const QColor fill = stateShade(kAccent, state);
        return { fill, mix(fill, Qt::black, 0.10), kWhite };
    }
    switch (state) {
    case State::Hover:
        return { kPale, QColor(0x9b, 0xe2, 0xb6), kText };
    case State::Pressed:
        return { QColor(0xb9, 0xe8, 0xa3), QColor(0x5d, 0xc0, 0x86), QColor(0x48, 0x48, 0x48) };
    default:
        return { kLight, QColor(0x86, 0xd8, 0xa6), kText };
    }
}

void paintButton(QPainter &p, const Entry &e)
{
    const QRectF r = crisp(QRectF(QPointF(0, 0), e.size));
    const ButtonColors c = buttonColors(e.look, e.state);
    const qreal radius = qMin(5.0, e.size.height() / 4.0);
    p.setPen(QPen(c.border, 1));
    p.setBrush(c.fill);
    p.drawRoundedRect(r, radius, radius);

    const qreal shift = e.state == State::Pressed ? 1 : 0;
    const bool back = e.kind == QLatin1String("back");
    const qreal chevron = back ? e.size.height() * 0.3 : 0;
    QFont f = font(qBound(10.0, e.size.height() * 0.46, 14.0), true);
    f = fitted(f, e.word, e.size.width() - 12 - chevron * 1.6);
    const qreal wordWidth = advance(f, e.word);
    const qreal total = wordWidth + (back ? chevron * 1.6 : 0);
    qreal x = (e.size.width() - total) / 2.0;
    if (back) {
        const qreal cy = e.size.height() / 2.0 + shift;
        p.setPen(QPen(c.word, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF()
                       << QPointF(x + chevron * 0.55, cy - chevron * 0.55) << QPointF(x, cy)
                       << QPointF(x + chevron * 0.55, cy + chevron * 0.55));
        x += chevron * 1.6;
    }
    text(p, QRectF(x, shift, wordWidth + 2, e.size.height()), e.word, f, c.word);
}

const char *featureCaption(const QString &kind)
{
    if (kind == QLatin1String("burn"))
        return "Write an ISO image to a USB disk or a CD/DVD";
    if (kind == QLatin1String("extract"))
        return "Take files out of an ISO image";
    if (kind == QLatin1String("create"))
        return "Make an ISO image from files and folders";
    if (kind == QLatin1String("edit"))
        return "Change the files inside an ISO image";
    return "Copy a CD/DVD into an ISO image";
}

QColor featureColor(const QString &kind)
{
    // Neighbouring greens, so that the five tiles read as one family.
    if (kind == QLatin1String("extract"))
        return QColor(0x4f, 0xc9, 0x9c);
    if (kind == QLatin1String("create"))
        return QColor(0x6c, 0xcf, 0x7c);
    if (kind == QLatin1String("edit"))
        return QColor(0x46, 0xbf, 0xad);
    if (kind == QLatin1String("copy"))
        return QColor(0x5a, 0xc4, 0x83);
    return kAccent;
}

void paintFeatureTile(QPainter &p, const Entry &e)
{
    const QColor base = featureColor(e.kind);
    const QColor fill = stateShade(base, e.state);
    const QRectF r(QPointF(0, 0), e.size);
    const qreal w = e.size.width();
    const qreal h = e.size.height();

    QPainterPath tile;
    tile.addRoundedRect(r, 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(tile);

    // A large faint ring in the corner gives the flat tile some depth.
    p.save();
    p.setClipPath(tile);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(withAlpha(kWhite, 28), h * 0.12));
    p.drawEllipse(QPointF(w - h * 0.18, h * 0.1), h * 0.55, h * 0.55);
    if (e.state == State::Pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(Qt::black, 20));
        p.drawRect(QRectF(0, 0, w, 3));
    }
    p.restore();

    const qreal shift = e.state == State::Pressed ? 1 : 0;
    const QString caption = QString::fromLatin1(featureCaption(e.kind));
    if (w > 300) {
        // The wide tile: picture on the left, word and caption on the right.
        const qreal side = 132;
        const QRectF icon(36, (h - side) / 2 + shift, side, side);
        drawFeatureIcon(p, icon, e.kind, kWhite, fill);
        const qreal x = icon.right() + 34;
        text(p, QRectF(x, 58 + shift, w - x - 20, 44), e.word, font(34, true), kWhite);
        text(p, QRectF(x, 108 + shift, w - x - 28, 60), caption, font(15), withAlpha(kWhite, 235),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
        return;
    }
    const qreal side = 92;
    const QRectF icon((w - side) / 2, 24 + shift, side, side);
    drawFeatureIcon(p, icon, e.kind, kWhite, fill);
    QFont wordFont = fitted(font(24, true), e.word, w - 24);
    text(p, QRectF(8, 126 + shift, w - 16, 32), e.word, wordFont, kWhite, Qt::AlignCenter);
    text(p, QRectF(16, 160 + shift, w - 32, 48), caption, font(12.5), withAlpha(kWhite, 235),
         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
}

void paintWindowButton(QPainter &p, const Entry &e)
{
    const bool close = e.kind == QLatin1String("close");
    const QColor base = close ? QColor(0xff, 0x5f, 0x57) : QColor(0xfe, 0xbc, 0x2e);
    const QColor fill = stateShade(base, e.state);
    const QPointF c(e.size.width() / 2.0, e.size.height() / 2.0);
    const qreal r = e.size.width() / 2.0 - 0.5;
    p.setPen(
        QPen(e.state == State::Disabled ? QColor(0xb4, 0xb4, 0xb4) : mix(base, Qt::black, 0.2), 1));
    p.setBrush(fill);
    p.drawEllipse(c, r, r);
    if (e.state != State::Hover && e.state != State::Pressed)
        return;
    // Like the platform's own buttons, the sign shows only under the cursor.
    const QColor sign = close ? QColor(0x7a, 0x14, 0x10) : QColor(0x8a, 0x55, 0x00);
    if (close) {
        drawCross(p, c, r * 0.42, sign, 1.3);
    } else {
        p.setPen(QPen(sign, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(c.x() - r * 0.55, c.y()), QPointF(c.x() + r * 0.55, c.y()));
    }
}

void paintHeaderLink(QPainter &p, const Entry &e)
{
    const int frames = 4;
    const qreal fw = e.size.width() / frames;
    const qreal h = e.size.height();
    for (int i = 0; i < frames; ++i) {
        const State state = static_cast<State>(i);
        const QRectF frame(i * fw, 0, fw, h);
        const QRectF plate = frame.adjusted(6, 4, -6, -4);
        p.setPen(Qt::NoPen);
        if (state == State::Hover) {
            p.setBrush(withAlpha(kWhite, 60));
            p.drawRoundedRect(plate, 8, 8);
        } else if (state == State::Pressed) {
            p.setBrush(withAlpha(Qt::black, 34));
            p.drawRoundedRect(plate, 8, 8);
        }
        const QColor fg = state == State::Disabled ? withAlpha(kWhite, 110) : kWhite;
        const qreal shift = state == State::Pressed ? 1 : 0;
        const QRectF icon(frame.center().x() - 14, 10 + shift, 28, 28);
        if (e.kind == QLatin1String("home"))
            drawHouse(p, icon, fg);
        else
            drawHelp(p, icon, fg);
        text(p, QRectF(frame.left(), 42 + shift, fw, 18), e.word, font(13, true), fg,
             Qt::AlignCenter);
    }
}

void paintToolStrip(QPainter &p, const Entry &e)
{
    const int frames = 3;
    const qreal fw = e.size.width() / frames;
    for (int i = 0; i < frames; ++i) {
        const State state = static_cast<State>(i);
        const QRectF frame(i * fw, 0, fw, e.size.height());
        p.setPen(Qt::NoPen);
        if (state != State::Normal) {
            p.setBrush(state == State::Hover ? kLight : mix(kLight, Qt::black, 0.12));
            p.drawRoundedRect(frame.adjusted(2, 2, -2, -2), 5, 5);
        }
        const QPointF c = frame.center() + QPointF(0, state == State::Pressed ? 1 : 0);
        if (e.kind == QLatin1String("close")) {
            drawCross(p, c, 4.5, kText, 1.8);
        } else if (e.kind == QLatin1String("menu")) {
            p.setPen(QPen(kText, 1.8, Qt::SolidLine, Qt::RoundCap));
            for (int k = -1; k <= 1; ++k)
                p.drawLine(QPointF(c.x() - 6, c.y() + 4.5 * k),
                           QPointF(c.x() + 6, c.y() + 4.5 * k));
        } else {
            p.setPen(QPen(kText, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(c.x() - 6, c.y() + 3), QPointF(c.x() + 6, c.y() + 3));
        }
    }
}

void paintSmallClose(QPainter &p, const Entry &e)
{
    // A small square button in the colours of the light buttons.
    const ButtonColors c = buttonColors(Look::Secondary, e.state);
    const QRectF r(QPointF(0, 0), e.size);
    p.setPen(QPen(c.border, 1));
    p.setBrush(c.fill);
    p.drawRoundedRect(crisp(r.adjusted(2, 2, -2, -2)), 5, 5);
    const QPointF shift(0, e.state == State::Pressed ? 1 : 0);
    drawCross(p, r.center() + shift, 4.5, c.word, 1.8);
}

void paintRadio(QPainter &p, const Entry &e)
{
    const QPointF c(e.size.width() / 2.0, e.size.height() / 2.0);
    const qreal r = e.size.width() / 2.0 - 0.5;
    if (e.kind == QLatin1String("on")) {
        p.setPen(QPen(mix(kAccent, Qt::black, 0.1), 1));
        p.setBrush(kAccent);
        p.drawEllipse(c, r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(kWhite);
        p.drawEllipse(c, r * 0.4, r * 0.4);
    } else {
        p.setPen(QPen(QColor(0xa8, 0xa8, 0xa8), 1));
        p.setBrush(kWhite);
        p.drawEllipse(c, r, r);
    }
}

void paintCheckBox(QPainter &p, const Entry &e)
{
    const QRectF box = crisp(QRectF(2, 2, e.size.width() - 4, e.size.height() - 4));
    if (e.kind == QLatin1String("on")) {
        p.setPen(QPen(mix(kAccent, Qt::black, 0.1), 1));
        p.setBrush(kAccent);
        p.drawRoundedRect(box, 3, 3);
        drawCheck(p, box, kWhite, 2);
    } else {
        p.setPen(QPen(QColor(0xa8, 0xa8, 0xa8), 1));
        p.setBrush(kWhite);
        p.drawRoundedRect(box, 3, 3);
    }
}

void paintMagnifier(QPainter &p, const Entry &)
{
    const QColor c(0x9a, 0x9a, 0x9a);
    p.setPen(QPen(c, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(6, 6), 4.6, 4.6);
    p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.6, 9.6), QPointF(13.2, 12.8));
}

void paintDropArrow(QPainter &p, const Entry &e)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kText);
    const qreal w = e.size.width();
    const qreal h = e.size.height();
    p.drawPolygon(QPolygonF() << QPointF(0.5, 0.5) << QPointF(w - 0.5, 0.5)
                              << QPointF(w / 2.0, h - 0.2));
}

// ---------------------------------------------------------------------------------------------
// Window backgrounds

// The frame every dialog shares: white surface, accent title bar carrying the window title,
// one-pixel border. The close button sits at (5, 5) in the bar.
void paintDialogFrame(QPainter &p, const QSize &size)
{
    const QRectF r(QPointF(0, 0), size);
    p.fillRect(r, kWhite);
    p.fillRect(QRectF(0, 0, size.width(), 22), kAccent);
    text(p, QRectF(0, 0, size.width(), 22), QStringLiteral("Vexlor"), font(12, true), kWhite,
         Qt::AlignCenter);
    p.setPen(QPen(kFrame, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(crisp(r));
}

void pageTitle(QPainter &p, const QRectF &r, const QString &title, const QString &subtitle)
{
    const QFont tf = font(18, true);
    text(p, r, title, tf, kText);
    if (subtitle.isEmpty())
        return;
    const qreal x = r.left() + advance(tf, title) + 14;
    const QFont sf = fitted(font(12), subtitle, r.right() - x);
    text(p, QRectF(x, r.top() + 2, r.right() - x, r.height()), subtitle, sf, kHint);
}

// A field label right-aligned against the control it names.
void fieldLabel(QPainter &p, const QRectF &r, const QString &s)
{
    const QFont f = fitted(font(13), s, r.width());
    text(p, r, s, f, kText, Qt::AlignRight | Qt::AlignVCenter);
}

void footer(QPainter &p, int top, const QSize &size)
{
    p.fillRect(QRectF(0, top, size.width(), size.height() - top), kPale);
    hline(p, 0, size.width(), top, kLine);
}

void stepBadge(QPainter &p, const QPointF &c, int n)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(c, 9, 9);
    text(p, QRectF(c.x() - 9, c.y() - 9, 18, 18), QString::number(n), font(11, true), kWhite,
         Qt::AlignCenter);
}

void paintMain(QPainter &p, const QSize &size)
{
    const int w = size.width();
    const int h = size.height();
    const int header = 107;
    const int sidebar = 195;

    p.fillRect(QRect(0, 0, w, h), kPale);

    // Header: product mark and name; the window buttons sit at its top left, the Home and
    // Help links at its right.
    p.fillRect(QRect(0, 0, w, header), kAccent);
    p.save();
    p.setClipRect(QRect(0, 0, w, header));
    p.setPen(QPen(withAlpha(kWhite, 26), 26));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(835, 118), 120, 120);
    p.drawEllipse(QPointF(520, -70), 110, 110);
    p.restore();
    drawLogo(p, QRectF(24, 36, 52, 52), kWhite, kAccent);
    text(p, QRectF(90, 32, 320, 40), QStringLiteral("Vexlor"), font(34, true), kWhite);
    text(p, QRectF(92, 70, 320, 20), QStringLiteral("ISO image tool"), font(14),
         withAlpha(kWhite, 230));

    // Side bar, left of the feature area.
    p.fillRect(QRect(0, header, sidebar, h - header), kWhite);
    p.setPen(QPen(kLine, 1));
    p.drawLine(QPointF(sidebar - 0.5, header), QPointF(sidebar - 0.5, h));
    drawDisc(p, QPointF(97, 222), 56, kAccent, kPale);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(97, 222), 8, 8);
    text(p, QRectF(10, 298, sidebar - 20, 24), QStringLiteral("Your ISO toolbox"), font(15, true),
         kText, Qt::AlignCenter);
    text(p, QRectF(20, 326, sidebar - 40, 80),
         QStringLiteral("Burn, extract, create, edit and copy ISO images."), font(12), kHint,
         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
    text(p, QRectF(0, 546, sidebar, 18), QStringLiteral("Version 1.0"), font(11), kHint,
         Qt::AlignCenter);

    p.setPen(QPen(kFrame, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(crisp(QRectF(0, 0, w, h)));
}

void paintBurnPage(QPainter &p, const QSize &size)
{
    const int labelX = 14;
    const int labelW = 111;
    fieldLabel(p, QRectF(labelX, 26, labelW, 23), QStringLiteral("ISO image"));
    hline(p, 20, size.width() - 20, 66, kLine);

    // The two targets: the radio buttons carry no words of their own.
    const QFont target = font(15, true);
    const QString disc = QStringLiteral("CD/DVD");
    text(p, QRectF(135, 82, 200, 22), disc, target, kText);
    text(p, QRectF(135 + advance(target, disc) + 14, 83, 360, 22),
         QStringLiteral("Burn the image to a disc"), font(12), kHint);
    fieldLabel(p, QRectF(labelX, 137, labelW, 23), QStringLiteral("Drive"));

    hline(p, 20, size.width() - 20, 169, kLine);

    const QString usb = QStringLiteral("USB disk");
    text(p, QRectF(135, 178, 200, 22), usb, target, kText);
    text(p, QRectF(135 + advance(target, usb) + 14, 179, 360, 22),
         QStringLiteral("The disk is repartitioned and made bootable"), font(12), kHint);
    fieldLabel(p, QRectF(labelX, 222, labelW, 23), QStringLiteral("Disk"));
    fieldLabel(p, QRectF(135, 258, 117, 23), QStringLiteral("Partition scheme"));
    text(p, QRectF(135, 326, 180, 20), QStringLiteral("File system"), font(13), kText,
         Qt::AlignLeft | Qt::AlignBottom);
    const QFont lf = font(13);
    const QString label = QStringLiteral("Volume label");
    text(p, QRectF(405, 328, 208, 20), label, lf, kText, Qt::AlignLeft | Qt::AlignBottom);
    text(p, QRectF(405 + advance(lf, label) + 6, 328, 200, 20),
         QStringLiteral("(up to 11 characters)"), font(11), kHint, Qt::AlignLeft | Qt::AlignBottom);

    footer(p, 392, size);
}

void paintExtractPage(QPainter &p, const QSize &size)
{
    pageTitle(p, QRectF(12, 15, 545, 26), QStringLiteral("Extract"),
              QStringLiteral("Load an ISO image, tick files and folders, then extract them."));
    footer(p, 407, size);
    text(p, QRectF(130, 417, 405, 30),
         QStringLiteral("Ticked items land straight in the folder you choose."), font(11), kHint,
         Qt::AlignCenter);
}

void paintCreatePage(QPainter &p, const QSize &size)
{
    pageTitle(p, QRectF(12, 11, 640, 28), QStringLiteral("Create ISO"),
              QStringLiteral("Add files and folders, pick the image type, then create the image."));
    // Image type row: the three type buttons carry their own words.
    p.setPen(QPen(kLine, 1));
    p.setBrush(kPale);
    p.drawRoundedRect(crisp(QRectF(11, 288, 643, 38)), 5, 5);
    text(p, QRectF(20, 288, 56, 38), QStringLiteral("Type"), font(13, true), kText);
    footer(p, 405, size);
}

void paintEditPage(QPainter &p, const QSize &size)
{
    // Stretched to the home window's width when shown: bands and horizontal lines only.
    p.fillRect(QRectF(0, 0, size.width(), 52), kPale);
    hline(p, 0, size.width(), 52, kLine);
    footer(p, 405, size);
}

void paintCopyPage(QPainter &p, const QSize &size)
{
    pageTitle(p, QRectF(20, 24, 630, 28), QStringLiteral("Copy Disc"), QString());
    text(p, QRectF(20, 56, 620, 20),
         QStringLiteral("Make an ISO image of the CD or DVD in an optical drive."), font(12.5),
         kHint);
    hline(p, 20, size.width() - 20, 94, kLine);

    stepBadge(p, QPointF(29, 129), 1);
    text(p, QRectF(46, 118, 440, 22), QStringLiteral("Choose the drive that holds the disc"),
         font(13, true), kText);
    text(p, QRectF(20, 180, 476, 18),
         QStringLiteral("Press Eject to take the disc out of the selected drive."), font(11.5),
         kHint);
    stepBadge(p, QPointF(29, 283), 2);
    text(p, QRectF(46, 270, 108, 27), QStringLiteral("Image format"),
         fitted(font(13, true), QStringLiteral("Image format"), 108), kText);
    stepBadge(p, QPointF(29, 317), 3);
    text(p, QRectF(46, 306, 440, 22), QStringLiteral("Save the image as"), font(13, true), kText);

    footer(p, 405, size);
}

void paintCommDialog(QPainter &p, const QSize &size)
{
    paintDialogFrame(p, size);
}

void paintAbout(QPainter &p, const QSize &size)
{
    paintDialogFrame(p, size);
    drawLogo(p, QRectF(70, 40, 84, 84), kAccent, kWhite);
    text(p, QRectF(192, 34, 210, 40), QStringLiteral("Vexlor"), font(30, true), kText);
    text(p, QRectF(193, 72, 210, 18), QStringLiteral("ISO image tool"), font(13), kHint);
    text(p, QRectF(193, 90, 210, 18), QStringLiteral("Version 1.0"), font(12), kHint);
    // (192, 112) 186 x 20 stays free for the home page link.
    hline(p, 24, size.width() - 24, 144, kLine);
    text(p, QRectF(0, 152, size.width(), 24),
         QStringLiteral("Burn \u00b7 Extract \u00b7 Create \u00b7 Edit \u00b7 Copy"), font(12),
         kAccentText, Qt::AlignCenter);
}

void paintProgressBackground(QPainter &p, const Entry &e)
{
    paintDialogFrame(p, e.size);
    text(p, QRectF(24, 36, e.size.width() - 48, 24), e.word, font(15, true), kText);
    text(p, QRectF(24, 60, e.size.width() - 48, 20), QStringLiteral("Please wait\u2026"), font(12),
         kHint);
}

void paintBackground(QPainter &p, const Entry &e)
{
    if (e.kind == QLatin1String("main"))
        paintMain(p, e.size);
    else if (e.kind == QLatin1String("dialog"))
        paintCommDialog(p, e.size);
    else if (e.kind == QLatin1String("about"))
        paintAbout(p, e.size);
    else if (e.kind == QLatin1String("progress"))
        paintProgressBackground(p, e);
    else {
        // Feature pages: a white surface under the controls.
        p.fillRect(QRect(QPoint(0, 0), e.size), kWhite);
        if (e.kind == QLatin1String("burn"))
            paintBurnPage(p, e.size);
        else if (e.kind == QLatin1String("extract"))
            paintExtractPage(p, e.size);
        else if (e.kind == QLatin1String("create"))
            paintCreatePage(p, e.size);
        else if (e.kind == QLatin1String("edit"))
            paintEditPage(p, e.size);
        else
            paintCopyPage(p, e.size);
    }
}

void paintPictureMessage(QPainter &p, const Entry &e)
{
    paintDialogFrame(p, e.size);
    const Message m = message(e.name);
    drawNoticeIcon(p, QPointF(58, 74), 20, m.icon);
    // Text stays above y = 116: the OK, Cancel and No buttons sit below it.
    const qreal x = 100;
    const qreal width = e.size.width() - x - 24;
    text(p, QRectF(x, 38, width, 24), m.title, fitted(font(16, true), m.title, width), kText);
    text(p, QRectF(x, 66, width, 50), m.body, font(13), kText,
         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
}

} // namespace

QImage paint(const Entry &entry)
{
    QImage image = canvas(entry.size);
    QPainter p(&image);
    prepare(p);
    switch (entry.role) {
    case Role::FeatureTile:
        paintFeatureTile(p, entry);
        break;
    case Role::Button:
        paintButton(p, entry);
        break;
    case Role::WindowButton:
        paintWindowButton(p, entry);
        break;
    case Role::HeaderLink:
        paintHeaderLink(p, entry);
        break;
    case Role::ToolStrip:
        paintToolStrip(p, entry);
        break;
    case Role::SmallClose:
        paintSmallClose(p, entry);
        break;
    case Role::Background:
        paintBackground(p, entry);
        break;
    case Role::PictureMessage:
        paintPictureMessage(p, entry);
        break;
    case Role::Radio:
        paintRadio(p, entry);
        break;
    case Role::CheckBox:
        paintCheckBox(p, entry);
        break;
    case Role::Magnifier:
        paintMagnifier(p, entry);
        break;
    case Role::DropArrow:
        paintDropArrow(p, entry);
        break;
    }
    p.end();
    return image;
}

QImage paintLogo(int side)
{
    QImage image = canvas(QSize(side, side));
    QPainter p(&image);
    prepare(p);
    const qreal m = side * 0.04;
    drawLogo(p, QRectF(m, m, side - 2 * m, side - 2 * m), kAccent, kWhite);
    p.end();
    return image;
}

} // namespace Skin
