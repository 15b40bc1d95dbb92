// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

/// What assistive technology sees of the controls this application draws itself. A bare QWidget is a
/// nameless filler to a screen reader; these interfaces make the flat and image buttons push
/// buttons, the switch a check box and the clickable captions buttons or radio buttons, each with a
/// name and the action a user expects. A panel given a name is a group.
namespace Accessibility {
/// Property of a Surface that tells something when it appears (the bar after a removal): assistive
/// technology gets a notification rather than a group.
inline constexpr char kStatusMessage[] = "statusMessage";
/// Registers the interfaces with Qt, once; every such control calls it when it is built.
void install();
/// The name a control goes by: its accessible name; else its caption, when the caption says
/// something ("···" does not); else the caption tied to it (a QLabel whose buddy it is); else its
/// tooltip without the key in brackets.
QString nameOf(const QWidget* widget, const QString& caption = QString());
/// The key named in brackets at the end of a tooltip: "清空(Ctrl+E)" gives "Ctrl+E".
QString keyOfTooltip(const QString& tooltip);
/// Tells assistive technology that the checked state of a check box or radio button changed.
void checkedChanged(QWidget* widget);
/// Tells assistive technology that a control's name changed (a caption or a tooltip).
void nameChanged(QWidget* widget);
} // namespace Accessibility
