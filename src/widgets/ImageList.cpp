// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ImageList.h"

#include "widgets/VectorIconEngine.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

enum class Glyph
{
    Lines,
    Pencil,
    Bullets,
    ChevronDown,
    ChevronUp,
    Minus,
    Plus,
    Cross,
    Check
};

const QColor GlyphGrey(128, 128, 128);
const QColor NormalGround(255, 255, 255);
const QColor HoverGround(240, 240, 240);
const QColor CloseRed(232, 17, 35);

struct PictureLook
{
    Glyph glyph;
    QColor ground;
    QColor ink;
};

PictureLook lookOf(int index)
{
    static const Glyph glyphs[] = {Glyph::Lines,     Glyph::Lines,     Glyph::Pencil,      Glyph::Pencil,
                                   Glyph::Bullets,   Glyph::Bullets,   Glyph::ChevronDown, Glyph::ChevronDown,
                                   Glyph::ChevronUp, Glyph::ChevronUp, Glyph::Minus,       Glyph::Minus,
                                   Glyph::Plus,      Glyph::Plus,      Glyph::Cross,       Glyph::Cross,
                                   Glyph::Cross,     Glyph::Check,     Glyph::Check};
    const Glyph glyph = glyphs[index - 1];
    if (index == 16)
        return {glyph, CloseRed, Qt::white};
    if (index == 15 || index == 17)
        return {glyph, index == 15 ? NormalGround : HoverGround, GlyphGrey};
    // Pairs up to 14 and 18/19: the odd index is the normal picture, the even one its hover.
    const bool hover = index <= 14 ? index % 2 == 0 : index == 19;
    return {glyph, hover ? HoverGround : NormalGround, GlyphGrey};
}

/// Draws on a 16-unit grid at a given scale, putting straight lines on whole device pixels so the
/// small glyphs stay sharp at 1x, 1.5x and 2x; slanted strokes are antialiased.
class GlyphPainter
{
public:
    GlyphPainter(QPainter& painter, qreal scale, const QColor& ink)
        : m_p(painter), m_s(scale), m_ink(ink), m_line(qMax(1, qRound(scale)))
    {
    }

    /// Horizontal line from x0 to x1 whose middle is at y.
    void hline(qreal x0, qreal x1, qreal y)
    {
        const int top = qRound(y * m_s - m_line / 2.0);
        m_p.fillRect(QRect(px(x0), top, px(x1) - px(x0), m_line), m_ink);
    }
    /// count horizontal lines, step units apart; the step is snapped once so the gaps stay equal.
    void hlines(qreal x0, qreal x1, qreal firstY, qreal step, int count)
    {
        const int top = qRound(firstY * m_s - m_line / 2.0);
        const int gap = qRound(step * m_s);
        for (int i = 0; i < count; ++i)
            m_p.fillRect(QRect(px(x0), top + i * gap, px(x1) - px(x0), m_line), m_ink);
    }
    /// Vertical line from y0 to y1 whose middle is at x.
    void vline(qreal x, qreal y0, qreal y1)
    {
        const int left = qRound(x * m_s - m_line / 2.0);
        m_p.fillRect(QRect(left, px(y0), m_line, px(y1) - px(y0)), m_ink);
    }
    /// hlines with a square dot of side units, centred on each line, at dotX.
    void bulletLines(qreal dotX, qreal side, qreal x0, qreal x1, qreal firstY, qreal step, int count)
    {
        hlines(x0, x1, firstY, step, count);
        // Same parity as the line thickness, so each dot centres on its line.
        int size = qMax(m_line, qRound(side * m_s));
        if ((size - m_line) % 2)
            ++size;
        const int top = qRound(firstY * m_s - m_line / 2.0) - (size - m_line) / 2;
        const int gap = qRound(step * m_s);
        for (int i = 0; i < count; ++i)
            m_p.fillRect(QRect(qRound(dotX * m_s - size / 2.0), top + i * gap, size, size), m_ink);
    }
    /// Antialiased open or closed path of slanted strokes.
    void stroke(const QPainterPath& path, qreal width = 1.3)
    {
        m_p.save();
        m_p.setRenderHint(QPainter::Antialiasing);
        m_p.scale(m_s, m_s);
        QPen pen(m_ink, width);
        pen.setCapStyle(Qt::SquareCap);
        pen.setJoinStyle(Qt::MiterJoin);
        m_p.strokePath(path, pen);
        m_p.restore();
    }

private:
    int px(qreal v) const { return qRound(v * m_s); }

    QPainter& m_p;
    qreal m_s;
    QColor m_ink;
    int m_line;
};

QPainterPath polyline(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        if (first)
            path.moveTo(point);
        else
            path.lineTo(point);
        first = false;
    }
    return path;
}

// Glyphs are centred on the middle of pixel 7 of the 1x grid (7.5, 7.5), where a one-pixel line can
// be centred; slanted strokes run through pixel centres. At least two units of margin keep the
// corners on the ground colour.
void drawGlyph(GlyphPainter& g, Glyph glyph)
{
    switch (glyph) {
    case Glyph::Lines:
        g.hlines(2, 13, 4.5, 3, 3);
        break;
    case Glyph::Pencil: {
        // A square open at the top right, where the pencil leans out of it.
        g.hline(3, 8, 3.5);
        g.vline(3.5, 3, 13);
        g.hline(3, 13, 12.5);
        g.vline(12.5, 8, 13);
        const QPointF dir(M_SQRT1_2, -M_SQRT1_2);
        const QPointF across(M_SQRT1_2 * 1.2, M_SQRT1_2 * 1.2);
        const QPointF tip(6.5, 9.5);
        const QPointF shoulder = tip + dir * 2.2;
        const QPointF end = tip + dir * 8.5;
        QPainterPath pencil =
            polyline({tip, shoulder + across, end + across, end - across, shoulder - across});
        pencil.closeSubpath();
        g.stroke(pencil, 1.0);
        break;
    }
    case Glyph::Bullets:
        g.bulletLines(3.5, 2, 6.5, 13, 3.5, 4, 3);
        break;
    case Glyph::ChevronDown:
        g.stroke(polyline({{3.5, 5.5}, {7.5, 9.5}, {11.5, 5.5}}), 1.4);
        break;
    case Glyph::ChevronUp:
        g.stroke(polyline({{3.5, 9.5}, {7.5, 5.5}, {11.5, 9.5}}), 1.4);
        break;
    case Glyph::Minus:
        g.hline(3, 12, 7.5);
        break;
    case Glyph::Plus:
        g.hline(3, 12, 7.5);
        g.vline(7.5, 3, 12);
        break;
    case Glyph::Cross:
        g.stroke(polyline({{4.5, 4.5}, {10.5, 10.5}}), 1.3);
        g.stroke(polyline({{10.5, 4.5}, {4.5, 10.5}}), 1.3);
        break;
    case Glyph::Check:
        g.stroke(polyline({{3.5, 7.5}, {6.5, 10.5}, {11.5, 5.5}}), 1.4);
        break;
    }
}

/// The picture on a square of side device pixels (no device pixel ratio set).
QImage renderPicture(int index, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    const PictureLook look = lookOf(index);
    image.fill(look.ground);
    QPainter painter(&image);
    GlyphPainter glyphs(painter, side / qreal(ImageList::Size), look.ink);
    drawGlyph(glyphs, look.glyph);
    return image;
}

} // namespace

QPixmap ImageList::picture(int index, qreal devicePixelRatio)
{
    if (index < 1 || index > Count || !(devicePixelRatio > 0))
        return QPixmap();
    QPixmap pixmap = QPixmap::fromImage(renderPicture(index, qRound(Size * devicePixelRatio)));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon ImageList::icon(int index)
{
    if (index < 1 || index > Count)
        return QIcon();
    auto render = [index](int side, QIcon::Mode mode) {
        QImage image = renderPicture(index, side);
        if (mode == QIcon::Disabled) {
            // Faded towards white, like the toolkit's own disabled icons.
            QPainter fade(&image);
            fade.fillRect(image.rect(), QColor(255, 255, 255, 150));
        }
        return image;
    };
    return QIcon(new VectorIconEngine(render, {QSize(16, 16), QSize(24, 24), QSize(32, 32)},
                                      QStringLiteral("VemraImageList")));
}
