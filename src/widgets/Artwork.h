// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

/// The application's own pictures besides the image list, drawn as vectors.
namespace Artwork {
/// The 64 x 64 logo of the About window.
QPixmap logo(qreal devicePixelRatio = 1.0);
/// Close images of the secondary windows: 1 normal, 2 under the pointer (16 x 16).
QPixmap closeImage(int index, qreal devicePixelRatio = 1.0);
/// The desktop-entry icon, at every common size up to 256 px.
QIcon applicationIcon();
/// The window's own icon: the sizes a title bar, task bar or switcher shows, up to 64 px, so the
/// native window does not draw the large ones at start.
QIcon windowIcon();
/// Draws the logo as vectors into the square target (an SVG generator gets paths, not pixels).
void paintLogo(QPainter& painter, const QRectF& target);
} // namespace Artwork
