#pragma once

#include <QString>

class ProcessLauncher;
class DesktopOpener;

/// Opens or runs an existing regular file by its extension (case-insensitive): "sh" with sh,
/// "bat" and "exe" started directly, "py" with python3, "jar" with java -jar, "java" compiled and
/// run through a generated RunBat.sh in the source's folder; anything else goes to the desktop's
/// associated application. Starts detached and never waits; anything else than a file does nothing.
void RunFile(const QString& path, ProcessLauncher& launcher, DesktopOpener& opener);

/// True for an absolute path (beginning with "/") that names an existing regular file.
bool isOpenableFilePath(const QString& trimmed);

/// The text of the script that compiles and runs the Java source `name` in `folder` (which ends
/// in "/"), then removes the class file and itself. Every path is single-quoted for sh.
QString javaRunScript(const QString& folder, const QString& name);
