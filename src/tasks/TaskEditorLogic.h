// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tasks/TaskItem.h"

/// What the to-do editor holds at the moment a task is added.
struct TaskEditorState
{
    /// Text3.
    QString content;
    /// Label2 item 5: "时间： --:--", or "时间：" + sign + "HH:MM".
    QString timerLine = QStringLiteral("时间： --:--");
    /// The Tag of the action panel.
    int actionKind = TaskAction::Message;
    /// The Tag of Label5 item 0: "0" shut down, "1" hibernate, "2" restart.
    QString powerCode = QStringLiteral("0");
    /// TxtPrompt.
    QString prompt;
    /// Captions of Label8 and Label9: a single space until a file is chosen.
    QString musicPath = QStringLiteral(" ");
    QString filePath = QStringLiteral(" ");
    /// TxtCmd.
    QString command;
    /// The repeat row's choice; kept only when it fits the timer (a cycle for a countdown, the
    /// others for a clock time).
    RepeatRule repeat{};
};

/// Timer modes of the editor (Label4 items).
enum class TimerMode
{
    ClockTime = 0,
    Countdown = 1,
    None = 2,
};

/// The task AddTask appends for the editor's state.
TaskItem makeTask(const TaskEditorState& editor);

/// The timer line for a mode and the two number fields' texts (empty reads as 0), with the repeat
/// choice after the time in short ("时间：+07:30 每天"): the line is narrow, so "法定工作日" is
/// "法定" and more than three chosen weekdays are "自选".
QString timerLine(TimerMode mode, const QString& hourText, const QString& minuteText,
                  const RepeatRule& repeat = {});

/// The text a number field shows after a change: the maximum when above it, else unchanged.
QString clampField(const QString& text, int maximum);

/// Caption of the action-kind choice (Label5 item kind), " 弹出提示 " and the like; empty if unknown.
QString actionCaption(int actionKind);

/// Caption of the power choice (Label6 item), " 关机 ", " 休眠 " or " 重启 "; empty if unknown.
QString powerCaption(int powerChoice);

/// The action line for an action kind, "动作：弹出提示" and the like; empty for an unknown kind.
QString actionLine(int actionKind);

/// True when nothing but spaces remains, the test the editor applies to content and prompt.
bool isBlankText(const QString& text);
