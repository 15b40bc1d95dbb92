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

QString lateNote(const QDateTime& dueAt, const QDateTime& now)
{
    const QDateTime local = dueAt.toLocalTime();
    const QString time = local.toString(QStringLiteral("HH:mm"));
    if (local.date() == now.toLocalTime().date())
        return QStringLiteral("原定 ") + time;
    return QStringLiteral("原定 %1月%2日 %3").arg(local.date().month()).arg(local.date().day()).arg(time);
}

QString lateQuestion(const TaskItem& task, const QDateTime& dueAt, const QDateTime& now)
{
    // Shown as plain text; a line break inside the command must not hide the rest of it.
    QString what = task.ActionArg;
    for (QChar& c : what) {
        if (c.unicode() < 0x20 || c == QChar(0x2028) || c == QChar(0x2029))
            c = u' ';
    }
    if (what.size() > 300)
        what = what.left(300) + u'…';
    switch (task.ActionKind) {
    case TaskAction::Power: {
        const int code = task.ActionArg.size() == 1 ? task.ActionArg.at(0).unicode() - u'0' : -1;
        what = powerCaption(code).trimmed();
        if (what.isEmpty())
            what = QStringLiteral("电源操作");
        what += QStringLiteral("电脑");
        break;
    }
    case TaskAction::OpenFile:
        what = QStringLiteral("打开文件 ") + what;
        break;
    default:
        what = QStringLiteral("运行命令 ") + what;
        break;
    }
    return QStringLiteral("待办“%1”%2，现在才到（电脑休眠了或程序没有运行）。\n\n它会%3。\n\n"
                          "现在执行吗？选“跳过”则这一次不执行。")
        .arg(task.TaskText, lateNote(dueAt, now), what);
}

void PerformAction(const TaskItem& task, int index, bool countdown, ActionContext& context)
{
    const QString late =
        context.lateNote.isEmpty() ? QString() : QStringLiteral("\n（") + context.lateNote + u'）';
    switch (task.ActionKind) {
    case TaskAction::Power:
        if (const auto command = powerCommand(task.ActionArg, countdown))
            context.launcher.startDetached(command->program, command->arguments);
        break;
    case TaskAction::Message:
        if (context.showMessage)
            // A message is the reminder itself: it stays on the screen until the user has seen it.
            announceWhileShown(task, index, context, task.ActionArg + late, Notifier::Urgency::Critical,
                               QStringLiteral("知道了"),
                               [&] { context.showMessage(task.TaskText, task.ActionArg + late); });
        break;
    case TaskAction::Music:
        if (context.showMusic)
            // The music already calls for attention; its notice may go the way ordinary ones go.
            announceWhileShown(task, index, context, QFileInfo(task.ActionArg).fileName() + late,
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
