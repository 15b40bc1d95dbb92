// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// A folder reached through a descriptor held open for the life of the process. Its path
/// "/proc/self/fd/N" works with every file API, whatever bytes the folder's real name holds (a zip
/// unpacked from a Chinese system gives names that are not UTF-8, which no QString round-trips),
/// and keeps reaching the same folder when it is renamed or moved while the application runs.
namespace FolderHandle {

/// Opens the folder named by these bytes and returns the path through its handle; the bytes decoded
/// as a path when it cannot be opened.
QString pin(const QByteArray& folder);

/// For messages: a path through a handle with the folder's present name in its place.
QString displayPath(const QString& path);

} // namespace FolderHandle
