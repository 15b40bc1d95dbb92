#include "tasks/TaskActions.h"

#include "platform/ProcessLauncher.h"
#include "tasks/TaskEditorLogic.h"

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
            context.showMessage(task.TaskText, task.ActionArg);
        break;
    case TaskAction::Music:
        if (context.showMusic)
            context.showMusic(index, task.ActionArg);
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
