// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskEditorLogic.h"
#include "tasks/TaskHarness.h"

#include <QtTest>

namespace {
// One letter per task: r running countdown, d done, p pending without timer.
void addPattern(TaskHarness& h, const QString& pattern)
{
    for (int i = 0; i < pattern.size(); ++i) {
        const QString text = QString(pattern.at(i)) + QString::number(i);
        if (pattern.at(i) == u'p')
            h.add(text, noTimerText());
        else // countdowns of 1, 2, 3... minutes, so a task's place shows in its remaining time
            h.add(text, TaskEngine::countdownText(60 * (i + 1)), pattern.at(i) == u'd' ? 1 : 0);
    }
}

QString contents(const TaskHarness& h)
{
    QStringList texts;
    for (const TaskItem& task : h.engine.TaskItems())
        texts << task.TaskText;
    return texts.join(u',');
}
} // namespace

class TestTaskList : public QObject
{
    Q_OBJECT
private slots:
    void listOperations_data();
    void listOperations();
    void toggleCycle();
    void snoozeRearmsAnyNumberOfTimes();
    void makeTask_data();
    void makeTask();
    void editorTexts();
};

// clang-format off
void TestTaskList::listOperations_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("remaining");
    QTest::newRow("remove only task") << "r" << "remove" << 0 << "";
    QTest::newRow("remove middle") << "rrr" << "remove" << 1 << "r0,r2";
    QTest::newRow("remove last") << "rpd" << "remove" << 2 << "r0,p1";
    QTest::newRow("remove unselected") << "rr" << "remove" << -1 << "r0,r1";
    QTest::newRow("remove past end") << "rr" << "remove" << 2 << "r0,r1";
    QTest::newRow("remove from empty") << "" << "remove" << 0 << "";
    QTest::newRow("clear done mixed") << "dpddp" << "clearDone" << -1 << "p1,p4";
    QTest::newRow("clear done keeps timers") << "drdrd" << "clearDone" << -1 << "r1,r3";
    QTest::newRow("clear done all done") << "ddd" << "clearDone" << -1 << "";
    QTest::newRow("clear done none done") << "rp" << "clearDone" << -1 << "r0,p1";
    QTest::newRow("clear done empty") << "" << "clearDone" << -1 << "";
    QTest::newRow("clear all") << "rdp" << "clearAll" << -1 << "";
    QTest::newRow("clear all empty") << "" << "clearAll" << -1 << "";
    QTest::newRow("toggle unselected") << "r" << "toggle" << -1 << "r0";
    QTest::newRow("toggle empty") << "" << "toggle" << 0 << "";
    QTest::newRow("snooze unselected") << "d" << "snooze" << -1 << "d0";
}
// clang-format on

void TestTaskList::listOperations()
{
    QFETCH(QString, pattern);
    QFETCH(QString, operation);
    QFETCH(int, index);
    QFETCH(QString, remaining);
    TaskHarness h;
    addPattern(h, pattern);
    const QStringList before = h.entries;
    const QString contentsBefore = contents(h);
    if (operation == u"remove")
        h.engine.RemoveTask(index);
    else if (operation == u"clearDone")
        h.engine.ClearDoneTasks();
    else if (operation == u"clearAll")
        h.engine.ClearAllTasks();
    else if (operation == u"toggle")
        h.engine.ToggleTaskDone(index);
    else
        h.engine.snooze(index);
    QCOMPARE(contents(h), remaining);
    QVERIFY(h.inSync());
    if (remaining == contentsBefore)
        QCOMPARE(h.entries, before);

    // Every running task still counts down from its own deadline in its new place, and fires.
    h.tickAfter();
    for (int i = 0; i < h.engine.TaskCount(); ++i) {
        const TaskItem& task = h.engine.task(i);
        if (task.Status == TaskStatus::Running) {
            const int place = task.TaskText.mid(1).toInt();
            QCOMPARE(task.TimeText, TaskEngine::countdownText(60 * (place + 1) - 1));
        }
    }
    QVERIFY(h.inSync());
    h.tickAfter(10 * 60'000);
    QCOMPARE(h.log.size(), 2 * int(remaining.count(u'r')));
}

void TestTaskList::toggleCycle()
{
    TaskHarness h;
    h.add(QStringLiteral("泡面"), QStringLiteral("-00:05:00"));
    h.add(QStringLiteral("待办"), noTimerText());
    h.tickAfter(48'000);
    QCOMPARE(h.entries.at(0), QStringLiteral("【-00:04:12】泡面"));
    h.engine.ToggleTaskDone(0);
    QCOMPARE(h.entries.at(0), QStringLiteral("【已完成】泡面"));
    h.engine.ToggleTaskDone(0);
    h.engine.ToggleTaskDone(1);
    QCOMPARE(h.entries, (QStringList{"【待完成】泡面", "【已完成】待办"}));
    // Neither the stopped countdown nor a done or pending task is ever touched by a tick again.
    for (int tick = 0; tick < 600; ++tick)
        h.tickAfter();
    QCOMPARE(h.entries, (QStringList{"【待完成】泡面", "【已完成】待办"}));
    QCOMPARE(h.engine.task(0).TimeText, QStringLiteral("-00:04:12"));
    QVERIFY(h.log.isEmpty());
}

void TestTaskList::snoozeRearmsAnyNumberOfTimes()
{
    TaskHarness h;
    h.add(QStringLiteral("x"), noTimerText());
    h.add(QStringLiteral("午睡"), QStringLiteral("-00:40:00"));
    h.engine.ToggleTaskDone(0);
    h.tickAfter(40 * 60'000);
    QCOMPARE(h.log.size(), 2);
    for (int round = 1; round <= 3; ++round) {
        h.engine.snooze(1);
        QCOMPARE(h.entries.at(1), QStringLiteral("【-00:05:00】午睡"));
        QCOMPARE(h.engine.task(1).Status, TaskStatus::Running);
        h.tickAfter();
        QCOMPARE(h.entries.at(1), QStringLiteral("【-00:04:59】午睡"));
        for (int tick = 2; tick < 300; ++tick)
            h.tickAfter();
        QCOMPARE(h.log.size(), 2 * round);
        h.tickAfter();
        QCOMPARE(h.log.size(), 2 * round + 2);
        QCOMPARE(h.log.last(), QStringLiteral("action 1 午睡 countdown"));
    }
    QCOMPARE(h.entries.at(0), QStringLiteral("【已完成】x"));
}

// clang-format off
void TestTaskList::makeTask_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("arg");
    QTest::newRow("countdown message") << "泡面" << "时间：-00:05" << 1 << "【-00:05:00】泡面" << 0 << "提示 ";
    QTest::newRow("hours and minutes") << "开会" << "时间：-01:30" << 1 << "【-01:30:00】开会" << 0 << "提示 ";
    QTest::newRow("clock time") << "起床" << "时间：+07:30" << 0 << "【+07:30】起床" << 0 << "2";
    QTest::newRow("midnight") << "睡觉" << "时间：+00:00" << 2 << "【+00:00】睡觉" << 0 << "/m.mp3";
    QTest::newRow("zero countdown") << "a" << "时间：-00:00" << 3 << "【待完成】a" << 2 << "/f.txt";
    QTest::newRow("no timer") << "a" << "时间： --:--" << 4 << "【待完成】a" << 2 << "echo hi";
    QTest::newRow("blank content") << "   " << "时间： --:--" << 1 << "【待完成】待办任务" << 2 << "提示 ";
    QTest::newRow("empty content") << "" << "时间：-00:01" << 0 << "【-00:01:00】待办任务" << 0 << "2";
    QTest::newRow("content kept as typed") << " a b " << "时间： --:--" << 9 << "【待完成】 a b " << 2 << "";
}
// clang-format on

void TestTaskList::makeTask()
{
    QFETCH(QString, content);
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, entry);
    QFETCH(int, status);
    QFETCH(QString, arg);
    TaskEditorState editor;
    editor.content = content;
    editor.timerLine = line;
    editor.actionKind = kind;
    editor.powerCode = QStringLiteral("2");
    editor.prompt = QStringLiteral("提示 ");
    editor.musicPath = QStringLiteral("/m.mp3");
    editor.filePath = QStringLiteral("/f.txt");
    editor.command = QStringLiteral("echo hi");
    const TaskItem task = ::makeTask(editor);
    QCOMPARE(entryText(task), entry);
    QCOMPARE(task.Status, status);
    QCOMPARE(task.ActionKind, kind);
    QCOMPARE(task.ActionArg, arg);

    // A message whose prompt was left blank carries the task's own content.
    editor.actionKind = TaskAction::Message;
    editor.prompt = QStringLiteral("  ");
    QCOMPARE(::makeTask(editor).ActionArg, task.TaskText);
}

void TestTaskList::editorTexts()
{
    QCOMPARE(timerLine(TimerMode::Countdown, "1", "30"), QStringLiteral("时间：-01:30"));
    QCOMPARE(timerLine(TimerMode::ClockTime, "", "00"), QStringLiteral("时间：+00:00"));
    QCOMPARE(timerLine(TimerMode::None, "12", "12"), QStringLiteral("时间： --:--"));
    QCOMPARE(
        QStringList({clampField("75", 59), clampField("24", 23), clampField("23", 23), clampField("05", 59)}),
        QStringList({"59", "23", "23", "05"}));
    QCOMPARE(QStringList({actionLine(0), actionLine(4), actionLine(5), powerCaption(1)}),
             QStringList({"动作：电源选项", "动作：执行命令", "", " 休眠 "}));
}

QTEST_GUILESS_MAIN(TestTaskList)
#include "tst_tasklist.moc"
