// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

/// One to-do task. The field names are the ones the rest of the application speaks of.
struct TaskItem
{
    /// The content typed by the user, or "待办任务" when the box was blank.
    QString TaskText;
    /// "------" no timer; "-HH:MM:SS" countdown still to run; "+HH:MM" clock time; "-**:**:**" run out.
    QString TimeText;
    /// 0 timer running, 1 done, 2 pending without a timer.
    int Status = 0;
    /// 0 power, 1 message, 2 music, 3 open file, 4 command.
    int ActionKind = 0;
    /// Power code, prompt, music path, file path or command line, by ActionKind.
    QString ActionArg;

    bool operator==(const TaskItem&) const = default;
};

/// A task as it is kept across a restart of the application.
struct StoredTask
{
    TaskItem task;
    /// For a countdown that is running, the moment it falls due, in UTC; invalid for any other task.
    /// The countdown goes on while the application is closed, so this, not TimeText, decides.
    QDateTime due;
    /// Held back: a running task that would run something (see mayRunSomething) but was not known to
    /// be written by this user on this machine. It is shown and kept, never performed, until the
    /// user arms it; the hold is kept with it, so a later save cannot turn it into a trusted task.
    bool held = false;

    bool operator==(const StoredTask&) const = default;
};

namespace TaskStatus {
inline constexpr int Running = 0;
inline constexpr int Done = 1;
inline constexpr int Pending = 2;
} // namespace TaskStatus

namespace TaskAction {
inline constexpr int Power = 0;
inline constexpr int Message = 1;
inline constexpr int Music = 2;
inline constexpr int OpenFile = 3;
inline constexpr int Command = 4;
} // namespace TaskAction

/// True when the task, once due, would start a program, open a file or switch the computer off, as
/// opposed to showing a message or playing music; only a running task ever falls due.
inline bool mayRunSomething(const TaskItem& task)
{
    return task.Status == TaskStatus::Running &&
           (task.ActionKind == TaskAction::Power || task.ActionKind == TaskAction::OpenFile ||
            task.ActionKind == TaskAction::Command);
}

/// TimeText of a task without a timer.
inline QString noTimerText()
{
    return QStringLiteral("------");
}

/// TimeText of a countdown that has reached zero.
inline QString runOutText()
{
    return QStringLiteral("-**:**:**");
}

/// The task's line in the to-do list: its marker followed directly by its content.
inline QString entryText(const TaskItem& task)
{
    switch (task.Status) {
    case TaskStatus::Done:
        return QStringLiteral("【已完成】") + task.TaskText;
    case TaskStatus::Pending:
        return QStringLiteral("【待完成】") + task.TaskText;
    default:
        return u'【' + task.TimeText + u'】' + task.TaskText;
    }
}

/// The line of a task that is held back: its timer does not run, so it shows that instead.
inline QString heldEntryText(const TaskItem& task)
{
    return QStringLiteral("【未启用】") + task.TaskText;
}
