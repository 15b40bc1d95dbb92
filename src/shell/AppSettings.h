// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include <optional>

/// Where the window opens, from Config.ini.
struct WindowPlacement
{
    /// False when Config.ini was missing and could not be created: nothing else is loaded then.
    bool configReady = false;
    int left = 0;
    int top = 0;
    /// Where a symbolic link at Config.ini points ("" when there was none): its settings were not
    /// read, and the next save puts a file of our own at the name.
    QString ignoredLinkTarget;
};

/// The five lines written when Config.ini does not exist yet.
QString firstRunConfigText(const QSize& screenPx, const QSize& windowPx);

/// Reads Config.ini (creating it on first run) in one read: window place in pixels, the two switches
/// and the switch "保留待办" (key KeepTasks), on when the number read is not 0. KeepTasks is nothing
/// when the key is missing, so that the file of a user who never turned it on keeps exactly its
/// four keys.
WindowPlacement loadSettings(const QString& iniPath, const QSize& screenPx, const QSize& windowPx,
                             bool* autoRun, bool* autoSave, std::optional<bool>* keepTasks);

/// Writes Left, Top, AutoRun, AutoSave and KeepTasks with one read and at most one write; writes
/// nothing when the file already holds them. Without a place (the window system does not tell it
/// truly), Left and Top keep what the file holds; without keepTasks the key is left as it is.
void saveSettings(const QString& iniPath, std::optional<QPoint> windowPx, bool autoRun, bool autoSave,
                  std::optional<bool> keepTasks = std::nullopt);
