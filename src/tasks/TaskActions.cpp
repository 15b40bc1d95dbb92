// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskActions.h"

#include "platform/Notifier.h"
#include "platform/ProcessLauncher.h"
#include "tasks/TaskEditorLogic.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>

namespace {

/// Brings the reminder to the front: the modal window open at that moment is the reminder's, and
/// it cannot show while the main window that owns it sits minimized.
void raiseReminder(QPointer<QWidget> window)
{
    if (window && window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    QWidget* target = QApplication::activeModalWidget();
    if (!target)
        target = window;
    if (!target)
        return;
    target->show();
    target->raise();
    target->activateWindow();
}

/// Announces a reminder whose window is about to open and runs show, which returns once the window
/// is closed; the notification goes with the window. The task's text heads it and the body says what
/// the window will say: the prompt the user wrote, or the name of the music that plays.
template <typename Show>
void announceWhileShown(const TaskItem& task, int index, ActionContext& context, const QString& body,
                        Notifier::Urgency urgency, const QString& closeLabel, Show show)
{
    const QPointer<QWidget> window = context.window;
    // Copies: a press may come while the window is open, never after (the notification is withdrawn
    // with it), but the buttons must not lean on this frame's context all the same.
    const std::function<void(int)> snooze = context.snooze;
    const std::function<void()> close = context.closeReminder;
    QList<Notifier::Action> actions = {
        {QStringLiteral("snooze"), QStringLiteral("稍后提醒"),
         [snooze, close, index] {
             if (snooze)
                 snooze(index);
             if (close)
                 close();
         }},
        {QStringLiteral("close"), closeLabel,
         [close] {
             if (close)
                 close();
         }},
    };
    const Notifier::Ticket ticket = context.notifier->post(
        task.TaskText, body, urgency, [window] { raiseReminder(window); }, std::move(actions));
    if (window)
        QApplication::alert(window);
    show();
    context.notifier->withdraw(ticket);
}

} // namespace

std::optional<PowerCommand> powerCommand(const QString& code, bool countdown)
{
    // A plain "shutdown -h" leaves the system its usual minute of grace; a countdown has already
    // waited, so it asks for "now".
    if (code == QLatin1String("0"))
        return countdown
                   ? PowerCommand{QStringLiteral("shutdown"), {QStringLiteral("-h"), QStringLiteral("now")}}
                   : PowerCommand{QStringLiteral("shutdown"), {QStringLiteral("-h")}};
    if (code == QLatin1String("1"))
        return PowerCommand{QStringLiteral("systemctl"), {QStringLiteral("hibernate")}};
    if (code == QLatin1String("2"))
        return countdown
                   ? PowerCommand{QStringLiteral("shutdown"), {QStringLiteral("-r"), QStringLiteral("now")}}
                   : PowerCommand{QStringLiteral("shutdown"), {QStringLiteral("-r")}};
    return std::nullopt;
}

void PerformAction(const TaskItem& task, int index, bool countdown, ActionContext& context)
{
    switch (task.ActionKind) {
    case TaskAction::Power:
        if (const auto command = powerCommand(task.ActionArg, countdown))
            context.launcher.startDetached(command->program, command->arguments);
        break;
    case TaskAction::Message:
        if (context.showMessage)
            // A message is the reminder itself: it stays on the screen until the user has seen it.
            announceWhileShown(task, index, context, task.ActionArg, Notifier::Urgency::Critical,
                               QStringLiteral("知道了"),
                               [&] { context.showMessage(task.TaskText, task.ActionArg); });
        break;
    case TaskAction::Music:
        if (context.showMusic)
            // The music already calls for attention; its notice may go the way ordinary ones go.
            announceWhileShown(task, index, context, QFileInfo(task.ActionArg).fileName(),
                               Notifier::Urgency::Normal, QStringLiteral("停止"),
                               [&] { context.showMusic(index, task.ActionArg); });
        break;
    case TaskAction::OpenFile:
        if (context.runFile)
            context.runFile(task.ActionArg);
        break;
    case TaskAction::Command:
        // The line is the user's own shell command, so this is the one place a shell reads it. A
        // blank line has nothing to start; a line that fails to start is as silent as one that
        // fails later, and the countdowns carry on either way.
        if (!isBlankText(task.ActionArg))
            context.launcher.startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), task.ActionArg});
        break;
    default:
        break;
    }
}
