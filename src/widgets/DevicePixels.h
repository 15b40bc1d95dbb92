// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QRect>
#include <Qt>

class QFont;
class QPainter;
class QString;
class QTransform;

/// Drawing on whole device pixels. At a fractional scale a widget's logical edges fall between
/// device pixels and Qt gives the widget the pixels up to its rounded edges; a line or a text placed
/// by logical coordinates then lands a pixel off or is clipped away. These helpers work out which
/// device pixels are really there and draw on them.
namespace DevicePixels {
/// The device pixels covered by a rectangle given in the painter's logical coordinates, rounded the
/// way Qt rounds a widget's edges when it clips the widget.
QRect span(const QTransform& deviceTransform, const QRectF& logical);
QRect span(const QPainter& painter, const QRectF& logical);

/// A ring one device pixel wide along the inside of span(painter, logical); the sides meet at the corners.
void drawOutline(QPainter& painter, const QRectF& logical, const QColor& color);

/// The ink of a one-line text as it is drawn at this scale in this colour on a light ground, in device
/// pixels relative to the pen position on the baseline (so top() is negative for glyphs above the
/// baseline). A pixel is ink when it is darkened a quarter of the way to the pen colour or more;
/// fainter antialiased edges are taken for ground by the eye. Empty for a text without ink.
QRect inkOf(const QString& text, const QFont& font, qreal scale, const QColor& pen = QColor(Qt::black));

/// Draws a one-line text with the painter's font and pen so that its ink is centred vertically in
/// deviceArea, on a baseline at a whole device pixel. Horizontally the ink is centred when the
/// alignment asks for it; otherwise the text starts at the area's left or ends at its right.
void drawText(QPainter& painter, const QRect& deviceArea, const QString& text, Qt::Alignment alignment);
} // namespace DevicePixels
