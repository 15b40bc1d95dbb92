// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/Presets.h"
#include "tasks/TaskActions.h"
#include "tasks/TaskHarness.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
// Everything an action asked for, one line each, launches included.
struct ActionRecorder
{
    RecordingLauncher launcher;
    QStringList calls;
    ActionContext context{launcher,
                          [this](const QString& title, const QString& message) {
                              calls << QStringLiteral("message %1|%2").arg(title, message);
                          },
                          [this](int index, const QString& path) {
                              calls << QStringLiteral("music %1 %2").arg(index).arg(path);
                          },
                          [this](const QString& path) { calls << QStringLiteral("file ") + path; }};

    QStringList all() const
    {
        QStringList out = calls;
        for (const LaunchRecord& launch : launcher.launches)
            out << QStringLiteral("start ") + (QStringList{launch.program} + launch.arguments).join(u'|');
        return out;
    }
};
} // namespace

class TestTaskActions : public QObject
{
    Q_OBJECT
private slots:
    void performAction_data();
    void performAction();
    void failedStartIsSilentAndMissingHandlersAreHarmless();
    void savedBeforePowerActionInBothColumns();
    void presetTable_data();
    void presetTable();
    void napPresetPicksMusicWhenApplied();
    void noodlePresetEndToEnd();
    void lateTexts_data();
    void lateTexts();
};

void TestTaskActions::performAction_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("arg");
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<QString>("expected");
    QTest::newRow("shut down now") << 0 << "0" << true << "start shutdown|-h|now";
    QTest::newRow("shut down plain") << 0 << "0" << false << "start shutdown|-h";
    QTest::newRow("hibernate countdown") << 0 << "1" << true << "start systemctl|hibernate";
    QTest::newRow("hibernate clock") << 0 << "1" << false << "start systemctl|hibernate";
    QTest::newRow("restart now") << 0 << "2" << true << "start shutdown|-r|now";
    QTest::newRow("restart plain") << 0 << "2" << false << "start shutdown|-r";
    QTest::newRow("power code 3") << 0 << "3" << true << "";
    QTest::newRow("power code empty") << 0 << "" << false << "";
    QTest::newRow("power code 00") << 0 << "00" << true << "";
    QTest::newRow("message") << 1 << "香喷喷" << true << "message 泡面|香喷喷";
    QTest::newRow("music") << 2 << "/a b/歌.wav" << true << "music 4 /a b/歌.wav";
    QTest::newRow("open file") << 3 << "/tmp/x y.pdf" << false << "file /tmp/x y.pdf";
    QTest::newRow("command") << 4 << "echo 'a' > \"$HOME\"/x; ls" << true
                             << "start sh|-c|echo 'a' > \"$HOME\"/x; ls";
    QTest::newRow("blank command") << 4 << "  " << true << "";
    QTest::newRow("kind 5") << 5 << "0" << true << "";
    QTest::newRow("kind -1") << -1 << "0" << true << "";
}

void TestTaskActions::performAction()
{
    QFETCH(int, kind);
    QFETCH(QString, arg);
    QFETCH(bool, countdown);
    QFETCH(QString, expected);
    ActionRecorder recorder;
    PerformAction({QStringLiteral("泡面"), runOutText(), TaskStatus::Done, kind, arg}, 4, countdown,
                  recorder.context);
    QCOMPARE(recorder.all(), expected.isEmpty() ? QStringList() : QStringList{expected});
}

void TestTaskActions::failedStartIsSilentAndMissingHandlersAreHarmless()
{
    TaskHarness h;
    RecordingLauncher launcher;
    launcher.succeed = false;
    ActionContext context{launcher, {}, {}, {}};
    h.engine.performAction = [&](int i, const TaskItem& task, bool cd, const QDateTime&) {
        PerformAction(task, i, cd, context);
    };
    for (int kind = TaskAction::Message; kind <= TaskAction::Command; ++kind)
        h.engine.addTask({QStringLiteral("k"), QStringLiteral("-00:01:00"), 0, kind, QStringLiteral("/x")});
    h.add(QStringLiteral("later"), QStringLiteral("-00:02:00"));
    h.tickAfter(60'000);
    QCOMPARE(launcher.launches.size(), 1);
    h.tickAfter(60'000); // the engine carries on after a command that would not start
    QCOMPARE(h.log.count(u"fired 4"), 1);
}

void TestTaskActions::savedBeforePowerActionInBothColumns()
{
    TaskHarness h;
    ActionRecorder recorder;
    h.clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(21, 59, 0)));
    h.engine.fired = [&](int i) { recorder.calls << QStringLiteral("save %1").arg(i); };
    h.engine.performAction = [&](int i, const TaskItem& task, bool countdown, const QDateTime&) {
        PerformAction(task, i, countdown, recorder.context);
        const LaunchRecord& launch = recorder.launcher.launches.last();
        recorder.calls << QStringLiteral("start ") +
                              (QStringList{launch.program} + launch.arguments).join(u'|');
    };
    h.engine.addTask({QStringLiteral("关机"), QStringLiteral("-00:01:00"), 0, TaskAction::Power, "0"});
    h.engine.addTask({QStringLiteral("关机"), QStringLiteral("+22:00"), 0, TaskAction::Power, "0"});
    h.tickAfter(60'000);
    QCOMPARE(recorder.calls, (QStringList{"save 0", "save 1", "start shutdown|-h|now", "start shutdown|-h"}));
}

// clang-format off
void TestTaskActions::presetTable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("arg");
    QTest::newRow("0") << 0 << "泡上一碗热气腾腾的泡面。（5分钟）" << "【-00:05:00】泡上一碗热气腾腾的泡面。" << 1 << "香喷喷的面泡好咯！赶紧开动吧！";
    QTest::newRow("1") << 1 << "发烧了，测量一下体温。（10分钟）" << "【-00:10:00】发烧了，测量一下体温。" << 1 << "可以拿出体温计了，记得多喝水哟！";
    QTest::newRow("2") << 2 << "有点疲劳，做些活动放松下。（15分钟）" << "【-00:15:00】有点疲劳，做些活动放松下。" << 1 << "放松时间到了，接着努力工作吧！";
    QTest::newRow("3") << 3 << "稍微有些困了，小憩一会儿。（40分钟）" << "【-00:40:00】稍微有些困了，小憩一会儿。" << 2 << "/Sounds/Alarm.wav";
    QTest::newRow("4") << 4 << "领导通知一会儿到会议室开会。（1小时）" << "【-01:00:00】领导通知一会儿到会议室开会。" << 1 << "会议要开始了，赶快去参加吧！";
    QTest::newRow("5") << 5 << "等下自动关闭电脑。（30分钟）" << "【-00:30:00】等下自动关闭电脑。" << 0 << "0";
    QTest::newRow("6") << 6 << "炖了一锅汤，等会儿记得关火。（3小时）" << "【-03:00:00】炖了一锅汤，等会儿记得关火。" << 1 << "汤炖得差不多好了，去关火吧。";
}
// clang-format on

void TestTaskActions::presetTable()
{
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, entry);
    QFETCH(int, kind);
    QFETCH(QString, arg);
    TestPlatform platform;
    QCOMPARE(presets().size(), 7);
    QCOMPARE(presets().at(index).caption, caption);
    const TaskItem task = makeTask(presetEditorState(index, platform.appFolder()));
    QCOMPARE(entryText(task), entry);
    QCOMPARE(task.Status, TaskStatus::Running);
    QCOMPARE(task.ActionKind, kind);
    QCOMPARE(task.ActionArg, kind == TaskAction::Music ? platform.appFolder() + arg : arg);
}

void TestTaskActions::napPresetPicksMusicWhenApplied()
{
    TestPlatform platform;
    const TaskItem before = makeTask(presetEditorState(3, platform.appFolder()));
    QVERIFY(QDir().mkpath(platform.path(QStringLiteral("Sounds/きみをのせて.wav"))));
    QCOMPARE(presetMusicPath(platform.appFolder()), platform.path(QStringLiteral("Sounds/Alarm.wav")));
    QVERIFY(QDir().rmdir(platform.path(QStringLiteral("Sounds/きみをのせて.wav"))));
    QFile song(platform.path(QStringLiteral("Sounds/きみをのせて.wav")));
    QVERIFY(song.open(QIODevice::WriteOnly));
    song.close();
    const TaskItem after = makeTask(presetEditorState(3, platform.appFolder()));
    QCOMPARE(before.ActionArg, platform.path(QStringLiteral("Sounds/Alarm.wav")));
    QCOMPARE(after.ActionArg, platform.path(QStringLiteral("Sounds/きみをのせて.wav")));
}

void TestTaskActions::noodlePresetEndToEnd()
{
    TaskHarness h;
    ActionRecorder recorder;
    h.engine.performAction = [&](int i, const TaskItem& task, bool countdown, const QDateTime&) {
        PerformAction(task, i, countdown, recorder.context);
    };
    TestPlatform platform;
    h.engine.addTask(makeTask(presetEditorState(0, platform.appFolder())));
    for (int tick = 1; tick < 300; ++tick)
        h.tickAfter();
    QVERIFY(recorder.calls.isEmpty());
    h.tickAfter();
    QCOMPARE(recorder.calls, QStringList{"message 泡上一碗热气腾腾的泡面。|香喷喷的面泡好咯！赶紧开动吧！"});
}

void TestTaskActions::lateTexts_data()
{
    // A task due at 07:30 on 2026-03-09 seen at now: what its window, its notification and the
    // question before a late task that runs something say.
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("said");
    const QDate day(2026, 3, 9);
    // clang-format off
    QTest::newRow("message the same day") << 1 << "起床啦" << QDateTime(day, QTime(9, 0)) << "message 起床|起床啦\n（原定 07:30）";
    QTest::newRow("music a day later") << 2 << "/m/歌.wav" << QDateTime(day.addDays(1), QTime(9, 0)) << "歌.wav\n（原定 3月9日 07:30）";
    QTest::newRow("shut-down") << 0 << "0" << QDateTime(day, QTime(9, 0)) << "它会关机电脑。";
    QTest::newRow("command with a hidden line") << 4 << "ls\nrm -rf x" << QDateTime(day, QTime(9, 0)) << "它会运行命令 ls rm -rf x。";
    QTest::newRow("file") << 3 << "/a/报表.pdf" << QDateTime(day, QTime(7, 40)) << "原定 07:30，现在才到";
    // clang-format on
}

void TestTaskActions::lateTexts()
{
    QFETCH(int, kind);
    QFETCH(QString, arg);
    QFETCH(QDateTime, now);
    QFETCH(QString, said);
    const QDateTime due = QDateTime(QDate(2026, 3, 9), QTime(7, 30)).toUTC();
    const TaskItem task{QStringLiteral("起床"), QStringLiteral("+07:30"), TaskStatus::Running, kind, arg};
    if (actionRunsSomething(kind)) {
        QVERIFY2(lateQuestion(task, due, now).contains(said), qPrintable(lateQuestion(task, due, now)));
        return;
    }
    ActionRecorder recorder;
    RecordingNotifier notifier;
    recorder.context.notifier = &notifier;
    recorder.context.lateNote = lateNote(due, now);
    PerformAction(task, 0, false, recorder.context);
    QCOMPARE(notifier.posted.size(), 1);
    QVERIFY2((recorder.calls.join(u' ') + u' ' + notifier.posted.at(0).body).contains(said),
             qPrintable(recorder.calls.join(u' ') + u' ' + notifier.posted.at(0).body));
    QVERIFY(notifier.posted.at(0).body.endsWith(u'）'));
}

QTEST_GUILESS_MAIN(TestTaskActions)
#include "tst_taskactions.moc"
