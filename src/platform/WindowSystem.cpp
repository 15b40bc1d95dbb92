// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WindowSystem.h"

QByteArray WindowSystem::platformToRequest(const QByteArray& qtQpaPlatform, const QByteArray& display,
                                           const QByteArray& waylandDisplay)
{
    // Qt reads an empty QT_QPA_PLATFORM as unset, and so does this choice.
    if (!qtQpaPlatform.isEmpty() || display.isEmpty())
        return QByteArray();
    return waylandDisplay.isEmpty() ? QByteArrayLiteral("xcb") : QByteArrayLiteral("xcb;wayland");
}

bool WindowSystem::canPlaceWindows(const QString& platformName)
{
    // "wayland", "wayland-egl", "wayland-brcm" ...: the compositor alone places windows there.
    return !platformName.startsWith(QLatin1String("wayland"));
}
