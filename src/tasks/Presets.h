// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tasks/TaskEditorLogic.h"

#include <QList>

/// One ready-made reminder of the "常用" panel.
struct Preset
{
    QString caption;
    /// Goes into the content box.
    QString content;
    /// Goes into the timer line; always a countdown.
    QString timerLine;
    int actionKind = TaskAction::Message;
    /// The prompt of a message preset, empty for the others.
    QString prompt;
    /// The power choice (Label6 item) of a power preset.
    int powerChoice = 0;
};

/// The seven presets in button order.
const QList<Preset>& presets();

/// The nap preset's music: the bundled song when it is in the Sounds folder, else the alarm.
/// Looked at when the preset is applied, not when the timer falls due.
QString presetMusicPath(const QString& resourceFolder);

/// The editor as preset index leaves it just before AddTask, starting from the editor's reset state.
TaskEditorState presetEditorState(int index, const QString& resourceFolder);
