// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ProcessLauncher;
class DesktopOpener;

/// Opens or runs an existing regular file by its extension (case-insensitive): "sh" with sh,
/// "bat" and "exe" started directly, "py" with python3, "jar" with java -jar, "java" compiled and
/// run through a generated RunBat.sh in a private temporary folder that the script removes when
/// done; anything else goes to the desktop's associated application. A relative path is taken from
/// the working folder and handed on as an absolute one. Starts detached and never waits; anything
/// else than a file does nothing.
void RunFile(const QString& path, ProcessLauncher& launcher, DesktopOpener& opener);

/// True for an absolute path (beginning with "/") that names an existing regular file.
bool isOpenableFilePath(const QString& trimmed);

/// The text of the script that compiles the Java source `name` in `folder` (which ends in "/")
/// into `privateFolder`, runs it in `folder`, then removes `privateFolder` with itself inside.
/// Every path is single-quoted for sh.
QString javaRunScript(const QString& folder, const QString& name, const QString& privateFolder);
