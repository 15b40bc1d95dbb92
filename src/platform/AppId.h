// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The one reverse-DNS name of the application: the launcher's file name, the icon's name in the
/// icon theme, the AppStream id and the desktop file name the window system matches windows with.
/// The build defines it once, for the code and for the installed files alike.
inline const QString kAppId = QStringLiteral(VEMRA_APP_ID);
