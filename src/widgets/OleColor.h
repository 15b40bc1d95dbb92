// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

/// Colour from a 32-bit value in the desktop's colour format: 0x00BBGGRR for a plain colour (red in
/// the low byte); with the top bit set, the low byte names a system colour of the desktop theme
/// (15 button face, 17 grey text, 21 three-dimensional dark shadow, ...).
QColor oleColor(quint32 value);

/// The 32-bit value of a plain colour (0x00BBGGRR).
constexpr quint32 oleRgb(int red, int green, int blue)
{
    return quint32(red & 0xFF) | quint32(green & 0xFF) << 8 | quint32(blue & 0xFF) << 16;
}

/// Marks a system colour index, as in 0x8000000F for the button face.
constexpr quint32 OleSystemColor = 0x80000000u;
