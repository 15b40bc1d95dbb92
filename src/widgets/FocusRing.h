// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

/// The one-pixel outline, in the windows' grey, around the button, switch, choice or list that has
/// the keyboard focus. It is shown only while the keyboard is in use: from a Tab, Ctrl+Tab or arrow key
/// until the next mouse press, so a click never leaves an outline behind.
namespace FocusRing {
/// Starts watching the keyboard and the focus, once; every control that can carry the outline
/// calls it when it is built.
void install();
/// A Tab or arrow key came after the last mouse press.
bool keyboardInUse();
/// The outline's own widget while it is shown around a control; null otherwise.
QWidget* ring();
} // namespace FocusRing
