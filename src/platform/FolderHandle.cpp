// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FolderHandle.h"

#include <QFile>

#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {
const QString kPrefix = QStringLiteral("/proc/self/fd/");
} // namespace

QString FolderHandle::pin(const QByteArray& folder)
{
    // Never closed: the handle is the folder for as long as the process runs.
    const int fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::access((kPrefix + QString::number(fd)).toLatin1().constData(), F_OK) != 0) {
        if (fd >= 0)
            ::close(fd);
        return QFile::decodeName(folder);
    }
    return kPrefix + QString::number(fd);
}

QString FolderHandle::displayPath(const QString& path)
{
    if (!path.startsWith(kPrefix))
        return path;
    const qsizetype end = path.indexOf(u'/', kPrefix.size());
    const QString handle = end < 0 ? path : path.left(end);
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(QFile::encodeName(handle).constData(), buffer, sizeof(buffer) - 1);
    if (n <= 0)
        return path;
    return QFile::decodeName(QByteArray(buffer, int(n))) + (end < 0 ? QString() : path.mid(end));
}
