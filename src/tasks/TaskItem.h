// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

/// How a task with a timer goes on once it has fallen due.
struct RepeatRule
{
    enum class Kind
    {
        /// Falls due once and is done.
        Once,
        /// A clock time on every day.
        Daily,
        /// A clock time from Monday to Friday.
        Weekdays,
        /// A clock time on China's statutory working days (see WorkdayCalendar).
        Workdays,
        /// A clock time on the weekdays in days.
        Chosen,
        /// A countdown that starts again with its full length each time it falls due.
        Cycle,
        /// A rule a later version wrote: the task is shown and kept, never fired.
        Unknown,
    };
    Kind kind = Kind::Once;
    /// Chosen: bit d - 1 for weekday d, Monday 1 to Sunday 7.
    int days = 0;
    /// Cycle: the countdown's full length in seconds.
    qint64 seconds = 0;
    /// Unknown: the rule as the file has it (its JSON text), written back as it came.
    QString unknown;

    bool repeats() const { return kind != Kind::Once; }
    bool operator==(const RepeatRule&) const = default;
};

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
    /// What happens after the timer falls due; kept beside the record's own fields.
    RepeatRule Repeat{};

    bool operator==(const TaskItem&) const = default;
};

/// A task as it is kept across a restart of the application.
struct StoredTask
{
    TaskItem task;
    /// For a countdown that is running, the moment it falls due, in UTC; for a running clock time, the
    /// occurrence it waits for; invalid for any other task. The countdown goes on while the
    /// application is closed, so this, not TimeText, decides.
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

/// True for the actions that start something (a power action, a command, a file) rather than show
/// a message or play music, whatever the task's state.
inline bool actionRunsSomething(int actionKind)
{
    return actionKind == TaskAction::Power || actionKind == TaskAction::OpenFile ||
           actionKind == TaskAction::Command;
}

/// The repetition as the list shows it after the time: "每天", "工作日", "法定工作日", the chosen
/// weekdays ("一三五"), "循环"; "" for a task that falls due once.
inline QString repeatText(const RepeatRule& rule)
{
    switch (rule.kind) {
    case RepeatRule::Kind::Daily:
        return QStringLiteral("每天");
    case RepeatRule::Kind::Weekdays:
        return QStringLiteral("工作日");
    case RepeatRule::Kind::Workdays:
        return QStringLiteral("法定工作日");
    case RepeatRule::Kind::Cycle:
        return QStringLiteral("循环");
    case RepeatRule::Kind::Chosen: {
        static const QString names = QStringLiteral("一二三四五六日");
        QString out;
        for (int d = 0; d < 7; ++d) {
            if (rule.days & (1 << d))
                out += names.at(d);
        }
        return out;
    }
    case RepeatRule::Kind::Unknown:
        return QStringLiteral("重复");
    default:
        return QString();
    }
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
        if (task.Repeat.repeats())
            return u'【' + task.TimeText + u' ' + repeatText(task.Repeat) + u'】' + task.TaskText;
        return u'【' + task.TimeText + u'】' + task.TaskText;
    }
}

/// The line of a task that is held back: its timer does not run, so it shows that instead.
inline QString heldEntryText(const TaskItem& task)
{
    return QStringLiteral("【未启用】") + task.TaskText;
}
