// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// Which window system the application runs on, decided before the application object exists.
namespace WindowSystem {

/// The value for QT_QPA_PLATFORM before the application object is made, or empty to leave Qt's own
/// choice. Qt takes Wayland whenever WAYLAND_DISPLAY is set, and there a window cannot be placed,
/// centred or kept above others; so when an X server is reachable (DISPLAY set) the application
/// asks for XWayland, with Wayland as the fallback should xcb fail to start. A QT_QPA_PLATFORM the
/// user set is always kept.
QByteArray platformToRequest(const QByteArray& qtQpaPlatform, const QByteArray& display,
                             const QByteArray& waylandDisplay);

/// True when windows on the named platform can be moved, centred and stacked by the application.
bool canPlaceWindows(const QString& platformName);

} // namespace WindowSystem
