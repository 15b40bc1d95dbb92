// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

/// The three greys every window shares besides white.
namespace Palette {
/// Panels (&HFBFBFB).
inline const QColor panel(251, 251, 251);
/// Secondary text, outlines and chosen labels (&H808080).
inline const QColor grey(128, 128, 128);
/// Body text of panels and labels (&H404040).
inline const QColor darkGrey(64, 64, 64);
} // namespace Palette
