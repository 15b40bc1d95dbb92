// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/Presets.h"

#include <QFileInfo>

const QList<Preset>& presets()
{
    static const QList<Preset> table = {
        {QStringLiteral("泡上一碗热气腾腾的泡面。（5分钟）"), QStringLiteral("泡上一碗热气腾腾的泡面。"),
         QStringLiteral("时间：-00:05"), TaskAction::Message,
         QStringLiteral("香喷喷的面泡好咯！赶紧开动吧！")},
        {QStringLiteral("发烧了，测量一下体温。（10分钟）"), QStringLiteral("发烧了，测量一下体温。"),
         QStringLiteral("时间：-00:10"), TaskAction::Message,
         QStringLiteral("可以拿出体温计了，记得多喝水哟！")},
        {QStringLiteral("有点疲劳，做些活动放松下。（15分钟）"), QStringLiteral("有点疲劳，做些活动放松下。"),
         QStringLiteral("时间：-00:15"), TaskAction::Message,
         QStringLiteral("放松时间到了，接着努力工作吧！")},
        {QStringLiteral("稍微有些困了，小憩一会儿。（40分钟）"), QStringLiteral("稍微有些困了，小憩一会儿。"),
         QStringLiteral("时间：-00:40"), TaskAction::Music, QString()},
        {QStringLiteral("领导通知一会儿到会议室开会。（1小时）"),
         QStringLiteral("领导通知一会儿到会议室开会。"), QStringLiteral("时间：-01:00"), TaskAction::Message,
         QStringLiteral("会议要开始了，赶快去参加吧！")},
        {QStringLiteral("等下自动关闭电脑。（30分钟）"), QStringLiteral("等下自动关闭电脑。"),
         QStringLiteral("时间：-00:30"), TaskAction::Power, QString(), 0},
        {QStringLiteral("炖了一锅汤，等会儿记得关火。（3小时）"),
         QStringLiteral("炖了一锅汤，等会儿记得关火。"), QStringLiteral("时间：-03:00"), TaskAction::Message,
         QStringLiteral("汤炖得差不多好了，去关火吧。")},
    };
    return table;
}

QString presetMusicPath(const QString& resourceFolder)
{
    const QString song = resourceFolder + QStringLiteral("/Sounds/きみをのせて.wav");
    if (QFileInfo(song).isFile())
        return song;
    return resourceFolder + QStringLiteral("/Sounds/Alarm.wav");
}

TaskEditorState presetEditorState(int index, const QString& resourceFolder)
{
    TaskEditorState editor;
    if (index < 0 || index >= presets().size())
        return editor;
    const Preset& preset = presets().at(index);
    editor.content = preset.content;
    editor.timerLine = preset.timerLine;
    editor.actionKind = preset.actionKind;
    switch (preset.actionKind) {
    case TaskAction::Message:
        editor.prompt = preset.prompt;
        break;
    case TaskAction::Music:
        editor.musicPath = presetMusicPath(resourceFolder);
        break;
    case TaskAction::Power:
        editor.powerCode = QString::number(preset.powerChoice);
        break;
    default:
        break;
    }
    return editor;
}
