// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <cmath>

/// Positions and sizes are designed in twips with a fixed 15 twips to a (logical) pixel.
namespace Twips {
constexpr int PerPixel = 15;
inline int toPx(double twips)
{
    return int(std::lround(twips / PerPixel));
}
inline double fromPx(int px)
{
    return double(px) * PerPixel;
}
/// The short names the layout code reads best with.
inline int px(double twips)
{
    return toPx(twips);
}
inline double tw(int pixels)
{
    return fromPx(pixels);
}
inline QRect rect(double left, double top, double width, double height)
{
    return QRect(toPx(left), toPx(top), toPx(width), toPx(height));
}
} // namespace Twips
