// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ExecutablePath.h"

#include <climits>
#include <unistd.h>

QByteArray ExecutablePath::file()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

QByteArray ExecutablePath::folder()
{
    const QByteArray path = file();
    return path.left(path.lastIndexOf('/'));
}
