// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

/// Where the running executable is, as the kernel names it (bytes: the folder's name need not be
/// UTF-8), known before Qt starts. Empty when it cannot be told.
namespace ExecutablePath {
QByteArray file();
QByteArray folder();
} // namespace ExecutablePath
