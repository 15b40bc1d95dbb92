// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/DevicePixels.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <cmath>

namespace {

int snap(qreal v)
{
    // Half-way values go up, as Qt rounds a widget's clip.
    return int(std::floor(v + 0.5));
}

QRect measureInk(const QString& text, const QFont& font, qreal scale, const QColor& pen)
{
    const QFontMetricsF metrics(font);
    const int pad = int(std::ceil(metrics.height() * scale)) + 4;
    const int width = int(std::ceil(metrics.horizontalAdvance(text) * scale)) + 2 * pad;
    const int height = int(std::ceil(metrics.height() * scale)) + 2 * pad;
    const int baseline = pad + int(std::ceil(metrics.ascent() * scale));
    // In its own colour on an opaque light ground, as captions are drawn: text is blended with a
    // gamma that depends on both colours, so the faint edge pixels only match when they are the same.
    QImage image(width, height, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(pen);
        painter.drawText(QPointF(pad / scale, baseline / scale), text);
    }
    // A pixel is ink when it is darkened by at least a quarter of the way from the ground to the pen.
    const int contrast = qMax(1, 255 - qGray(pen.rgb()));
    int top = height, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if ((255 - qGray(line[x])) * 4 < contrast)
                continue;
            top = qMin(top, y);
            bottom = qMax(bottom, y);
            left = qMin(left, x);
            right = qMax(right, x);
        }
    }
    if (bottom < 0)
        return QRect();
    return QRect(QPoint(left - pad, top - baseline), QPoint(right - pad, bottom - baseline));
}

} // namespace

QRect DevicePixels::span(const QTransform& deviceTransform, const QRectF& logical)
{
    const QRectF device = deviceTransform.mapRect(logical);
    return QRect(QPoint(snap(device.left()), snap(device.top())),
                 QPoint(snap(device.right()) - 1, snap(device.bottom()) - 1));
}

QRect DevicePixels::span(const QPainter& painter, const QRectF& logical)
{
    return span(painter.deviceTransform(), logical);
}

void DevicePixels::drawOutline(QPainter& painter, const QRectF& logical, const QColor& color)
{
    const QRect ring = span(painter, logical);
    if (ring.isEmpty())
        return;
    // Whole device pixels are filled in device coordinates, where no rounding can move them.
    painter.save();
    painter.setWorldTransform(painter.deviceTransform().inverted(), true);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(ring.left(), ring.top(), ring.width(), 1), color);
    painter.fillRect(QRect(ring.left(), ring.bottom(), ring.width(), 1), color);
    painter.fillRect(QRect(ring.left(), ring.top(), 1, ring.height()), color);
    painter.fillRect(QRect(ring.right(), ring.top(), 1, ring.height()), color);
    painter.restore();
}

QRect DevicePixels::inkOf(const QString& text, const QFont& font, qreal scale, const QColor& pen)
{
    // A caption is measured once per font and scale; the few captions of a window fit easily.
    static QHash<QString, QRect> cache;
    const QString key = font.key() + u'|' + QString::number(scale) + u'|' + pen.name() + u'|' + text;
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    if (cache.size() > 512)
        cache.clear();
    const QRect ink = measureInk(text, font, scale, pen);
    cache.insert(key, ink);
    return ink;
}

void DevicePixels::drawText(QPainter& painter, const QRect& deviceArea, const QString& text,
                            Qt::Alignment alignment)
{
    const qreal scale = painter.deviceTransform().m22();
    if (scale <= 0 || text.isEmpty())
        return;
    const QRect ink = inkOf(text, painter.font(), scale, painter.pen().color());
    if (ink.isEmpty())
        return;
    const int baseline = deviceArea.top() + (deviceArea.height() - ink.height()) / 2 - ink.top();
    int pen = deviceArea.left();
    if (alignment & Qt::AlignHCenter)
        pen = deviceArea.left() + (deviceArea.width() - ink.width()) / 2 - ink.left();
    else if (alignment & Qt::AlignRight)
        pen = deviceArea.right() + 1 -
              int(std::ceil(QFontMetricsF(painter.font()).horizontalAdvance(text) * scale));
    const QPointF origin = painter.deviceTransform().inverted().map(QPointF(pen, baseline));
    painter.drawText(origin, text);
}
