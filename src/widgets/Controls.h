// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class InkLabel;
class QFrame;
class QLabel;
class QWidget;
class SButton;

/// The small pieces every window of the application is made of, built the same way everywhere.
namespace Controls {
/// A font asked for by family name (CJK fonts of the machine stand in for missing ones).
QFont font(const QString& family, double points);
/// A caption in the given colour and font, sized to its text.
QLabel* label(QWidget* parent, const QString& name, const QString& text, const QColor& color,
              const QFont& font);
/// A one-line caption whose glyphs are centred vertically in the given rectangle (see InkLabel).
InkLabel* caption(QWidget* parent, const QString& name, const QString& text, const QColor& color,
                  const QFont& font, const QRect& geometry);
/// The one-pixel grey line drawn under a borderless text box.
QFrame* underline(QWidget* under, const QString& name);
/// A flat button with an outline (&H808080) and dark grey caption (&H404040) in every look.
SButton* flatButton(QWidget* parent, const QString& name, const QString& caption, const QFont& font,
                    quint32 background, const QRect& geometry);
} // namespace Controls
