// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/NoServices.h"
#include "tasks/TaskItem.h"

#include <QStringList>
#include <functional>
#include <optional>

class Notifier;
class ProcessLauncher;
class QWidget;

/// What an action needs from the rest of the application.
struct ActionContext
{
    ProcessLauncher& launcher;
    /// The modal message window: title, then message.
    std::function<void(const QString& title, const QString& message)> showMessage{};
    /// The modal music window playing path for the task at index (its snooze re-arms that task;
    /// index is -1 when the task was removed before its action came).
    std::function<void(int index, const QString& path)> showMusic{};
    /// Opens or runs a file by its kind.
    std::function<void(const QString& path)> runFile{};
    /// Posts a desktop notification beside the message and music windows.
    Notifier* notifier = NoServices::notifier();
    /// The main window: its task bar entry asks for attention when a reminder comes, and it is
    /// brought back from the task bar when the notification is clicked.
    QWidget* window = nullptr;
    /// Re-arms the task at index as a five-minute countdown, the music window's own snooze; the
    /// notification's "稍后提醒" button uses it for message and music reminders alike.
    std::function<void(int index)> snooze{};
    /// Closes the reminder window this action opened, if it is still open (the notification's
    /// "知道了" and "停止" buttons, and "稍后提醒" after snoozing).
    std::function<void()> closeReminder{};
    /// For a message or music reminder that comes late, when it was due ("原定 07:30"): added to the
    /// message and to the notification. "" when it comes on time.
    QString lateNote{};
};

/// "原定 07:30" for a task due at dueAt (UTC), seen at now; the date goes with it when that was
/// another day ("原定 12月1日 07:30").
QString lateNote(const QDateTime& dueAt, const QDateTime& now);

/// The question asked before a task that would run something runs late: what it would run and when
/// it was due.
QString lateQuestion(const TaskItem& task, const QDateTime& dueAt, const QDateTime& now);

/// A program and its arguments, started without a shell.
struct PowerCommand
{
    QString program;
    QStringList arguments;

    bool operator==(const PowerCommand&) const = default;
};

/// The shut-down ("0"), hibernate ("1") or restart ("2") command; a countdown acts at once, a clock
/// time uses the plain form. Nothing for any other code.
std::optional<PowerCommand> powerCommand(const QString& code, bool countdown);

/// Does what a task that fell due asks for. Power, file and command actions return as soon as they
/// are started; message and music return when their window is closed. A message or music reminder
/// is also announced by a desktop notification (the task's text as summary) that brings the
/// reminder window to the front when clicked, offers to snooze the reminder or close its window
/// ("稍后提醒" with "知道了" for a message, with "停止" for music) and is withdrawn once the window
/// closes, and by an attention request of the main window.
void PerformAction(const TaskItem& task, int index, bool countdown, ActionContext& context);
