// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/OleColor.h"

#include <QGuiApplication>
#include <QPalette>

#include <iterator>

namespace {

struct SystemColor
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
    QRgb fallback; // the classic desktop's value, for when there is no application palette to ask
};

// By system colour index. The desktop theme decides the real colours through the palette, the way
// the system colours followed the theme of the desktop they came from.
constexpr QPalette::ColorGroup A = QPalette::Active;
constexpr QPalette::ColorGroup I = QPalette::Inactive;
constexpr QPalette::ColorGroup D = QPalette::Disabled;
const SystemColor SystemColors[] = {
    {A, QPalette::Mid, qRgb(200, 200, 200)},             // 0 scroll bar
    {A, QPalette::Dark, qRgb(0, 0, 0)},                  // 1 desktop
    {A, QPalette::Highlight, qRgb(153, 180, 209)},       // 2 active caption
    {I, QPalette::Mid, qRgb(191, 205, 219)},             // 3 inactive caption
    {A, QPalette::Button, qRgb(240, 240, 240)},          // 4 menu
    {A, QPalette::Base, qRgb(255, 255, 255)},            // 5 window
    {A, QPalette::Shadow, qRgb(100, 100, 100)},          // 6 window frame
    {A, QPalette::ButtonText, qRgb(0, 0, 0)},            // 7 menu text
    {A, QPalette::Text, qRgb(0, 0, 0)},                  // 8 window text
    {A, QPalette::HighlightedText, qRgb(0, 0, 0)},       // 9 caption text
    {A, QPalette::Mid, qRgb(180, 180, 180)},             // 10 active border
    {I, QPalette::Mid, qRgb(244, 247, 252)},             // 11 inactive border
    {A, QPalette::Dark, qRgb(171, 171, 171)},            // 12 application workspace
    {A, QPalette::Highlight, qRgb(0, 120, 215)},         // 13 highlight
    {A, QPalette::HighlightedText, qRgb(255, 255, 255)}, // 14 highlighted text
    {A, QPalette::Button, qRgb(240, 240, 240)},          // 15 button face
    {A, QPalette::Dark, qRgb(160, 160, 160)},            // 16 button shadow
    {D, QPalette::Text, qRgb(109, 109, 109)},            // 17 grey text
    {A, QPalette::ButtonText, qRgb(0, 0, 0)},            // 18 button text
    {I, QPalette::Text, qRgb(0, 0, 0)},                  // 19 inactive caption text
    {A, QPalette::Light, qRgb(255, 255, 255)},           // 20 3-D highlight
    {A, QPalette::Shadow, qRgb(105, 105, 105)},          // 21 3-D dark shadow
    {A, QPalette::Midlight, qRgb(227, 227, 227)},        // 22 3-D light
    {A, QPalette::ToolTipText, qRgb(0, 0, 0)},           // 23 tooltip text
    {A, QPalette::ToolTipBase, qRgb(255, 255, 225)},     // 24 tooltip background
};

} // namespace

QColor oleColor(quint32 value)
{
    if (value & OleSystemColor) {
        const quint32 index = value & 0xFFFFFFu;
        if (index >= std::size(SystemColors))
            return QColor(Qt::black);
        const SystemColor& sc = SystemColors[index];
        // Without a GUI application (a console tool, a plain core test) there is no theme to ask.
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return QColor(sc.fallback);
        return QGuiApplication::palette().color(sc.group, sc.role);
    }
    // The high byte of a plain colour selected a palette on the desktop it came from; the colour
    // itself is the low three bytes.
    return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}
