// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopOpener.h"

#include <QDesktopServices>

bool SystemDesktopOpener::open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
