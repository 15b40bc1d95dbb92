#include "platform/DesktopOpener.h"

#include <QDesktopServices>

bool SystemDesktopOpener::open(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
