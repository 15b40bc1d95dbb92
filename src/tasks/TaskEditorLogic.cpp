// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskEditorLogic.h"

#include <array>

namespace {

// The number fields take digits only, but an empty field still has to read as 0.
int fieldValue(const QString& text)
{
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

bool isBlankText(const QString& text)
{
    // Only the space counts as blank here, as for the editor's trimming everywhere else.
    for (const QChar c : text) {
        if (c != u' ')
            return false;
    }
    return true;
}

TaskItem makeTask(const TaskEditorState& editor)
{
    TaskItem task;
    task.TaskText = isBlankText(editor.content) ? QStringLiteral("待办任务") : editor.content;

    const QString& line = editor.timerLine;
    // The six characters after "时间："; a repeat choice may follow them.
    const QString lastSix = line.size() > 9 ? line.mid(3, 6) : line.right(6);
    // A countdown of zero is no timer at all; a clock time of 00:00 is midnight.
    if (lastSix == QLatin1String(" --:--") || lastSix == QLatin1String("-00:00")) {
        task.TimeText = noTimerText();
        task.Status = TaskStatus::Pending;
    } else {
        task.TimeText = lastSix;
        if (line.size() >= 4 && line.at(3) == u'-')
            task.TimeText += QLatin1String(":00");
        task.Status = TaskStatus::Running;
        const bool countdown = task.TimeText.startsWith(u'-');
        if ((editor.repeat.kind == RepeatRule::Kind::Cycle) == countdown && editor.repeat.repeats() &&
            editor.repeat.kind != RepeatRule::Kind::Unknown) {
            task.Repeat = editor.repeat;
            if (countdown)
                task.Repeat.seconds =
                    (task.TimeText.mid(1, 2).toInt() * 60 + task.TimeText.mid(4, 2).toInt()) * 60;
        }
    }

    task.ActionKind = editor.actionKind;
    switch (editor.actionKind) {
    case TaskAction::Power:
        task.ActionArg = editor.powerCode;
        break;
    case TaskAction::Message:
        task.ActionArg = isBlankText(editor.prompt) ? task.TaskText : editor.prompt;
        break;
    case TaskAction::Music:
        task.ActionArg = editor.musicPath;
        break;
    case TaskAction::OpenFile:
        task.ActionArg = editor.filePath;
        break;
    case TaskAction::Command:
        task.ActionArg = editor.command;
        break;
    default:
        break;
    }
    return task;
}

QString timerLine(TimerMode mode, const QString& hourText, const QString& minuteText,
                  const RepeatRule& repeat)
{
    if (mode == TimerMode::None)
        return QStringLiteral("时间： --:--");
    const QChar sign = mode == TimerMode::ClockTime ? u'+' : u'-';
    QString line = QStringLiteral("时间：") + sign + twoDigits(fieldValue(hourText)) + u':' +
                   twoDigits(fieldValue(minuteText));
    if ((repeat.kind == RepeatRule::Kind::Cycle) != (mode == TimerMode::Countdown) || !repeat.repeats())
        return line;
    QString shown = repeatText(repeat);
    if (repeat.kind == RepeatRule::Kind::Workdays)
        shown = QStringLiteral("法定");
    else if (repeat.kind == RepeatRule::Kind::Chosen && shown.size() > 3)
        shown = QStringLiteral("自选");
    return line + u' ' + shown;
}

QString clampField(const QString& text, int maximum)
{
    // The fields take digits only, so a value can overshoot but never go below 0.
    return fieldValue(text) > maximum ? QString::number(maximum) : text;
}

QString actionCaption(int actionKind)
{
    static const std::array<QString, 5> captions = {
        QStringLiteral(" 电源选项 "), QStringLiteral(" 弹出提示 "), QStringLiteral(" 播放音乐 "),
        QStringLiteral(" 打开文件 "), QStringLiteral(" 执行命令 "),
    };
    if (actionKind < 0 || actionKind >= int(captions.size()))
        return QString();
    return captions[actionKind];
}

QString powerCaption(int powerChoice)
{
    static const std::array<QString, 3> captions = {
        QStringLiteral(" 关机 "),
        QStringLiteral(" 休眠 "),
        QStringLiteral(" 重启 "),
    };
    if (powerChoice < 0 || powerChoice >= int(captions.size()))
        return QString();
    return captions[powerChoice];
}

QString actionLine(int actionKind)
{
    const QString caption = actionCaption(actionKind);
    if (caption.isEmpty())
        return QString();
    return QStringLiteral("动作：") + caption.mid(1, 4);
}
