// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskHarness.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <ctime>

class TestTaskEngine : public QObject
{
    Q_OBJECT
private slots:
    void countDownOneSecond_data();
    void countDownOneSecond();
    void countdownTextAgreesWithStepping();
    void emptyListTickDoesNothing();
    void oneMinuteCountdown_data();
    void oneMinuteCountdown();
    void longRunDoesNotDrift_data();
    void longRunDoesNotDrift();
    void clockTime_data();
    void clockTime();
    void realTimeAcrossSleepAndClockChanges_data();
    void realTimeAcrossSleepAndClockChanges();
    void sameTickFiresInOrderBeforeAnyAction();
    void windowOpenLetsOtherTasksRunAndFire();
    void tickDuringScanIsIgnored();
    void actionFindsItsTaskAfterRemoval();
    void listChanged_data();
    void listChanged();
    void listChangedComesAfterFiringBeforeAnyAction();
    void storedTasksCarryDueOfRunningTimersOnly();
    void restoreTasks_data();
    void restoreTasks();
    void restoreReplacesTheList();
    void heldTaskWaitsUntilArmed_data();
    void heldTaskWaitsUntilArmed();
};

// clang-format off
void TestTaskEngine::countDownOneSecond_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("seconds") << "-00:05:00" << "-00:04:59";
    QTest::newRow("hour borrow") << "-01:00:00" << "-00:59:59";
    QTest::newRow("minute borrow") << "-02:10:00" << "-02:09:59";
    QTest::newRow("largest") << "-23:59:00" << "-23:58:59";
    QTest::newRow("last second") << "-00:00:01" << "-**:**:**";
    QTest::newRow("zero borrows below") << "-00:00:00" << "--01:59:59";
}
// clang-format on

void TestTaskEngine::countDownOneSecond()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QCOMPARE(TaskEngine::CountDownOneSecond(before), after);
}

void TestTaskEngine::countdownTextAgreesWithStepping()
{
    // Two hours stepped one second at a time must read like the text derived from what is left.
    QString text = QStringLiteral("-02:00:00");
    for (qint64 left = 7200; left > 0; --left) {
        QCOMPARE(TaskEngine::countdownSeconds(text), left);
        QCOMPARE(TaskEngine::countdownText(left), text);
        text = TaskEngine::CountDownOneSecond(text);
    }
    QCOMPARE(text, runOutText());
    QCOMPARE(TaskEngine::countdownText(0), runOutText());
}

void TestTaskEngine::emptyListTickDoesNothing()
{
    TaskHarness h;
    h.tickAfter();
    QVERIFY(h.log.isEmpty());
    QCOMPARE(h.entryWrites, 0);
    QCOMPARE(h.engine.ScanCursor(), 0);
}

void TestTaskEngine::oneMinuteCountdown_data()
{
    QTest::addColumn<int>("phaseMs");
    QTest::newRow("added on a tick") << 1000;
    QTest::newRow("added just before a tick") << 1;
    QTest::newRow("added mid-way") << 300;
    QTest::newRow("added just after a tick") << 999;
}

void TestTaskEngine::oneMinuteCountdown()
{
    // However far the timer's phase is from the moment of adding, the first tick shows 59 and the
    // 60th fires, as a tick counter would.
    QFETCH(int, phaseMs);
    TaskHarness h;
    h.add(QStringLiteral("泡面"), QStringLiteral("-00:01:00"));
    QCOMPARE(h.entries, QStringList{QStringLiteral("【-00:01:00】泡面")});
    h.tickAfter(phaseMs);
    QCOMPARE(h.entries.at(0), QStringLiteral("【-00:00:59】泡面"));
    for (int tick = 2; tick < 60; ++tick)
        h.tickAfter();
    QCOMPARE(h.entries.at(0), QStringLiteral("【-00:00:01】泡面"));
    QVERIFY(h.log.isEmpty());
    h.tickAfter();
    QCOMPARE(h.log, (QStringList{"fired 0", "action 0 泡面 countdown"}));
    QCOMPARE(h.entries.at(0), QStringLiteral("【已完成】泡面"));
    QCOMPARE(h.engine.task(0).Status, TaskStatus::Done);
    QCOMPARE(h.engine.task(0).TimeText, runOutText());
    for (int tick = 0; tick < 120; ++tick)
        h.tickAfter();
    QCOMPARE(h.log.size(), 2);
}

void TestTaskEngine::longRunDoesNotDrift_data()
{
    QTest::addColumn<int>("meanMs");
    QTest::addColumn<int>("jitterMs");
    QTest::addColumn<bool>("gaps");
    QTest::newRow("steady") << 1000 << 0 << false;
    QTest::newRow("slow timer") << 1007 << 0 << false;
    QTest::newRow("fast timer") << 993 << 0 << false;
    QTest::newRow("jitter and gaps") << 1000 << 300 << true;
}

void TestTaskEngine::longRunDoesNotDrift()
{
    QFETCH(int, meanMs);
    QFETCH(int, jitterMs);
    QFETCH(bool, gaps);
    const qint64 dueMs = 3 * 3600 * 1000;
    TaskHarness h;
    h.add(QStringLiteral("汤"), QStringLiteral("-03:00:00"));
    QRandomGenerator random(42);
    qint64 elapsed = 0;
    while (h.log.isEmpty()) {
        qint64 step = meanMs + (jitterMs ? random.bounded(-jitterMs, jitterMs + 1) : 0);
        if (gaps && random.bounded(200) == 0)
            step += 7000; // the event loop was busy for a while
        const qint64 before = elapsed;
        elapsed += step;
        h.tickAfter(step);
        if (h.log.isEmpty()) {
            QCOMPARE(h.engine.task(0).TimeText, TaskEngine::countdownText((dueMs - elapsed) / 1000));
        } else {
            // Fires on the first tick that finds less than a second to go, and never earlier.
            QVERIFY2(dueMs - elapsed < 1000, qPrintable(QString::number(dueMs - elapsed)));
            QVERIFY(dueMs - before >= 1000);
        }
        QVERIFY(elapsed < dueMs + 10'000);
    }
}

void TestTaskEngine::clockTime_data()
{
    QTest::addColumn<QTime>("addedAt");
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<int>("daysLater");
    QTest::newRow("added in its minute") << QTime(7, 30, 0) << "+07:30" << 0;
    QTest::newRow("added at its last second") << QTime(7, 30, 58) << "+07:30" << 0;
    QTest::newRow("added a minute late") << QTime(7, 31, 0) << "+07:30" << 1;
    QTest::newRow("later today") << QTime(6, 0, 0) << "+07:30" << 0;
    QTest::newRow("midnight") << QTime(23, 58, 0) << "+00:00" << 1;
}

void TestTaskEngine::clockTime()
{
    QFETCH(QTime, addedAt);
    QFETCH(QString, timeText);
    QFETCH(int, daysLater);
    TaskHarness h;
    const QDate day(2024, 3, 5);
    h.clock.setNow(QDateTime(day, addedAt));
    h.add(QStringLiteral("闹钟"), timeText);
    const QDateTime due(day.addDays(daysLater), QTime::fromString(timeText.mid(1), QStringLiteral("HH:mm")));
    const auto tickAt = [&h](const QDateTime& at) {
        h.clock.setNow(at);
        h.engine.tick();
    };
    // Every minute before the due one gets ticks, and nothing fires or changes.
    QDateTime at = QDateTime(day, addedAt).addSecs(1);
    for (; at < due; at = at.addSecs(30))
        tickAt(at);
    QVERIFY(h.log.isEmpty());
    QCOMPARE(h.entryWrites, 0);
    // The first tick in the due minute fires; the rest of that minute does not fire it again.
    int firedOnTick = -1;
    for (int tick = 0; at < due.addSecs(60); ++tick, at = at.addSecs(1)) {
        tickAt(at);
        if (firedOnTick < 0 && !h.log.isEmpty())
            firedOnTick = tick;
    }
    QCOMPARE(firedOnTick, 0);
    QCOMPARE(h.log, (QStringList{"fired 0", "action 0 闹钟 clock"}));
    QCOMPARE(h.entries.at(0), QStringLiteral("【已完成】闹钟"));
}

void TestTaskEngine::realTimeAcrossSleepAndClockChanges_data()
{
    // Events: "tick" (a second passes), "wait N" (N seconds pass, then one tick), "sleep N" (N
    // seconds of suspend: no tick), "wall N" (the wall clock alone is set N seconds away), "tz Z"
    // (the time zone becomes Z). firedAt is the event after which the one firing is seen.
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDateTime>("start"); // local time in zone
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("firedAt");
    QTest::addColumn<QString>("late"); // when it was due, if it came more than two minutes after
    const QDateTime morning(QDate(2024, 3, 5), QTime(7, 0));
    QTest::newRow("countdown, slept past it")
        << QByteArray("UTC") << morning << "-00:05:00" << QStringList{"tick", "sleep 600", "tick", "wait 900"}
        << 2 << "03-05 07:05";
    QTest::newRow("countdown, wall clock set back")
        << QByteArray("UTC") << morning << "-00:05:00" << QStringList{"wall -3600", "wait 299", "tick"} << 2
        << "";
    QTest::newRow("countdown, trip") << QByteArray("Asia/Shanghai") << morning << "-00:05:00"
                                     << QStringList{"tz Asia/Tokyo", "wait 299", "tick"} << 2 << "";
    QTest::newRow("clock time, slept past it")
        << QByteArray("UTC") << morning << "+07:30" << QStringList{"sleep 3600", "tick", "wait 86400"} << 1
        << "03-05 07:30";
    QTest::newRow("clock time, trip west")
        << QByteArray("Asia/Shanghai") << morning << "+07:30"
        << QStringList{"tz Asia/Kolkata", "wait 10739", "wait 61"} << 2 << "";
    QTest::newRow("clock time, trip east past it")
        << QByteArray("Asia/Kolkata") << morning << "+07:30" << QStringList{"tz Asia/Tokyo", "tick"} << 1
        << "03-05 07:30";
    QTest::newRow("clock time, set back after firing")
        << QByteArray("UTC") << QDateTime(QDate(2024, 3, 5), QTime(7, 29, 59)) << "+07:30"
        << QStringList{"tick", "wall -300", "wait 240", "wait 60", "wait 30"} << 0 << "";
    QTest::newRow("clock time, set back to before it")
        << QByteArray("UTC") << QDateTime(QDate(2024, 3, 5), QTime(7, 40)) << "+07:30"
        << QStringList{"wall -900", "wait 240", "wait 60"} << 2 << "";
    QTest::newRow("clock time, spring forward over it")
        << QByteArray("Europe/Berlin") << QDateTime(QDate(2024, 3, 31), QTime(1, 50)) << "+02:30"
        << QStringList{"wait 540", "wait 60"} << 1 << "";
    QTest::newRow("clock time, autumn hour twice")
        << QByteArray("Europe/Berlin") << QDateTime(QDate(2024, 10, 27), QTime(1, 30)) << "+02:30"
        << QStringList{"wait 3599", "tick", "wait 3600", "wait 60"} << 1 << "";
}

void TestTaskEngine::realTimeAcrossSleepAndClockChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDateTime, start);
    QFETCH(QString, timeText);
    QFETCH(QStringList, events);
    QFETCH(int, firedAt);
    QFETCH(QString, late);
    const QByteArray savedZone = qgetenv("TZ");
    const auto setZone = [](const QByteArray& z) {
        qputenv("TZ", z);
        ::tzset();
    };
    setZone(zone);
    const auto restore = qScopeGuard([&] {
        if (savedZone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", savedZone);
        ::tzset();
    });
    TaskHarness h;
    h.clock.setNow(QDateTime(start.date(), start.time())); // read in the zone just set
    h.add(QStringLiteral("闹钟"), timeText);
    int seenAt = -1;
    for (int e = 0; e < events.size(); ++e) {
        const QString kind = events.at(e).section(u' ', 0, 0);
        const QString arg = events.at(e).section(u' ', 1);
        if (kind == QLatin1String("tick"))
            h.tickAfter(1000);
        else if (kind == QLatin1String("wait"))
            h.tickAfter(arg.toLongLong() * 1000);
        else if (kind == QLatin1String("sleep"))
            h.clock.advanceMs(arg.toLongLong() * 1000);
        else if (kind == QLatin1String("wall"))
            h.clock.setNow(h.clock.now().addSecs(arg.toLongLong()));
        else if (kind == QLatin1String("tz"))
            setZone(arg.toLatin1());
        if (seenAt < 0 && !h.log.isEmpty())
            seenAt = e;
    }
    QCOMPARE(seenAt, firedAt);
    QCOMPARE(h.log,
             (QStringList{
                 QStringLiteral("fired 0"),
                 QStringLiteral("action 0 闹钟 %1").arg(timeText.startsWith(u'-') ? "countdown" : "clock") +
                     (late.isEmpty() ? QString() : QStringLiteral(" late ") + late)}));
}

void TestTaskEngine::sameTickFiresInOrderBeforeAnyAction()
{
    TaskHarness h;
    h.clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(7, 29, 0)));
    h.add(QStringLiteral("a"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("b"), QStringLiteral("-00:02:00"));
    h.add(QStringLiteral("c"), QStringLiteral("+07:30"));
    h.add(QStringLiteral("d"), QStringLiteral("-00:01:00"));
    QStringList stateSeenByFired;
    h.engine.fired = [&](int i) {
        h.log << QStringLiteral("fired %1").arg(i);
        stateSeenByFired << h.entries.at(i) + QString::number(h.engine.task(i).Status);
    };
    h.tickAfter(60'000);
    QCOMPARE(h.log, (QStringList{"fired 0", "fired 2", "fired 3", "action 0 a countdown", "action 2 c clock",
                                 "action 3 d countdown"}));
    QCOMPARE(stateSeenByFired, (QStringList{"【已完成】a1", "【已完成】c1", "【已完成】d1"}));
    QCOMPARE(h.entries.at(1), QStringLiteral("【-00:01:00】b"));
    QVERIFY(h.inSync());
}

void TestTaskEngine::windowOpenLetsOtherTasksRunAndFire()
{
    // Each action holds a modal window open for 90 s, ticking inside it as its event loop would.
    TaskHarness h;
    h.add(QStringLiteral("a"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("b"), QStringLiteral("-00:02:00"));
    h.add(QStringLiteral("c"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("d"), QStringLiteral("-00:03:00"));
    QStringList seenDuringA;
    int depth = 0;
    h.duringAction = [&](int, const TaskItem& task) {
        ++depth;
        h.log.last() += QStringLiteral(" depth %1").arg(depth);
        for (int s = 0; s < 90; ++s) {
            h.tickAfter();
            if (task.TaskText == u"a" && s == 30)
                seenDuringA << h.entries.at(1) << h.entries.at(3);
        }
        --depth;
    };
    for (int tick = 0; tick < 60; ++tick)
        h.tickAfter();
    QCOMPARE(seenDuringA, (QStringList{"【-00:00:29】b", "【-00:01:29】d"}));
    // b fell due inside a's window and opened its own; d inside b's; c waited for a to close.
    QCOMPARE(h.log, (QStringList{"fired 0", "fired 2", "action 0 a countdown depth 1", "fired 1",
                                 "action 1 b countdown depth 2", "fired 3", "action 3 d countdown depth 3",
                                 "action 2 c countdown depth 1"}));
    QVERIFY(h.inSync());
}

void TestTaskEngine::tickDuringScanIsIgnored()
{
    TaskHarness h;
    h.add(QStringLiteral("a"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("b"), QStringLiteral("-00:05:00"));
    int nestedWrites = -1;
    h.engine.fired = [&](int i) {
        h.log << QStringLiteral("fired %1").arg(i);
        QVERIFY(h.engine.isScanning());
        const int writes = h.entryWrites;
        h.tickAfter(); // would reset ScanCursor under the scan and count b twice
        nestedWrites = h.entryWrites - writes;
        QCOMPARE(h.engine.ScanCursor(), i);
    };
    h.tickAfter(60'000);
    QCOMPARE(nestedWrites, 0);
    QCOMPARE(h.log, (QStringList{"fired 0", "action 0 a countdown"}));
    QCOMPARE(h.entries.at(1), QStringLiteral("【-00:04:00】b"));
    QVERIFY(!h.engine.isScanning());
    h.tickAfter(); // the skipped tick's second is caught up
    QCOMPARE(h.entries.at(1), QStringLiteral("【-00:03:58】b"));
    QCOMPARE(h.log.size(), 2);
}

void TestTaskEngine::actionFindsItsTaskAfterRemoval()
{
    TaskHarness h;
    h.add(QStringLiteral("a"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("b"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("c"), QStringLiteral("-00:01:00"));
    h.duringAction = [&](int i, const TaskItem& task) {
        if (task.TaskText == u"a")
            h.engine.RemoveTask(i);
        if (task.TaskText == u"b")
            h.engine.RemoveTask(1);
    };
    h.tickAfter(60'000);
    QCOMPARE(h.log, (QStringList{"fired 0", "fired 1", "fired 2", "action 0 a countdown",
                                 "action 0 b countdown", "action -1 c countdown"}));
}

void TestTaskEngine::listChanged_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("changes");
    QTest::newRow("add") << "add" << 1;
    QTest::newRow("countdown steps") << "steps" << 0;
    QTest::newRow("clock time waits") << "wait" << 0;
    QTest::newRow("one falls due") << "fire one" << 1;
    QTest::newRow("two fall due in one tick") << "fire two" << 1;
    QTest::newRow("toggle") << "toggle" << 1;
    QTest::newRow("toggle without selection") << "toggle none" << 0;
    QTest::newRow("remove") << "remove" << 1;
    QTest::newRow("remove without selection") << "remove none" << 0;
    QTest::newRow("clear done") << "clear done" << 1;
    QTest::newRow("clear done, none done") << "clear done none" << 0;
    QTest::newRow("clear all") << "clear all" << 1;
    QTest::newRow("clear all, already empty") << "clear all empty" << 0;
    QTest::newRow("snooze") << "snooze" << 1;
    QTest::newRow("restore") << "restore" << 1;
    QTest::newRow("restore nothing onto nothing") << "restore empty" << 0;
}

void TestTaskEngine::listChanged()
{
    // Everything that a kept list must reflect is announced; the second-by-second countdown is not,
    // or the list would be written every second.
    QFETCH(QString, operation);
    QFETCH(int, changes);
    TaskHarness h;
    h.clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(7, 0, 0)));
    if (!operation.endsWith(u"empty")) {
        h.add(QStringLiteral("a"), QStringLiteral("-00:01:00"));
        h.add(QStringLiteral("b"), QStringLiteral("------"));
        h.add(QStringLiteral("c"), QStringLiteral("+07:30"));
        h.add(QStringLiteral("d"), QStringLiteral("-00:02:00"));
        if (operation == u"clear done") {
            h.engine.ToggleTaskDone(1);
            h.engine.ToggleTaskDone(2);
        }
    }
    h.listChanges = 0;
    if (operation == u"add")
        h.add(QStringLiteral("e"), QStringLiteral("-00:05:00"));
    else if (operation == u"steps") {
        for (int s = 0; s < 59; ++s)
            h.tickAfter();
        QCOMPARE(h.entries.at(0), QStringLiteral("【-00:00:01】a"));
    } else if (operation == u"wait") {
        h.engine.ToggleTaskDone(0);
        h.engine.ToggleTaskDone(3);
        h.listChanges = 0;
        for (int s = 0; s < 120; ++s)
            h.tickAfter();
    } else if (operation == u"fire one")
        h.tickAfter(60'000);
    else if (operation == u"fire two") {
        h.engine.snooze(3);
        h.engine.snooze(0);
        h.listChanges = 0;
        h.tickAfter(300'000);
        QCOMPARE(h.log.size(), 4);
    } else if (operation == u"toggle")
        h.engine.ToggleTaskDone(1);
    else if (operation == u"toggle none")
        h.engine.ToggleTaskDone(-1);
    else if (operation == u"remove")
        h.engine.RemoveTask(2);
    else if (operation == u"remove none")
        h.engine.RemoveTask(-1);
    else if (operation.startsWith(u"clear done")) {
        h.engine.ClearDoneTasks();
        QCOMPARE(h.engine.TaskCount(), operation == u"clear done" ? 2 : 4);
    } else if (operation.startsWith(u"clear all"))
        h.engine.ClearAllTasks();
    else if (operation == u"snooze")
        h.engine.snooze(1);
    else if (operation.startsWith(u"restore"))
        h.engine.restoreTasks({});
    QCOMPARE(h.listChanges, changes);
    QVERIFY(h.inSync());
}

void TestTaskEngine::listChangedComesAfterFiringBeforeAnyAction()
{
    // A power action may end the session: the list must already say the task is done when the owner
    // writes it, and the write must come before the action.
    TaskHarness h;
    h.add(QStringLiteral("a"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("b"), QStringLiteral("-00:01:00"));
    QObject::connect(&h.engine, &TaskEngine::listChanged, [&h] {
        h.log << QStringLiteral("changed %1 %2").arg(h.engine.task(0).Status).arg(h.engine.task(1).Status);
    });
    h.tickAfter(60'000);
    QCOMPARE(h.log, (QStringList{"fired 0", "fired 1", "changed 1 1", "action 0 a countdown",
                                 "action 1 b countdown"}));
}

void TestTaskEngine::storedTasksCarryDueOfRunningTimersOnly()
{
    TaskHarness h;
    const QDateTime start(QDate(2024, 3, 5), QTime(9, 0, 0));
    h.clock.setNow(start);
    h.clock.advanceMs(250); // added off the whole second
    h.add(QStringLiteral("countdown"), QStringLiteral("-00:30:00"));
    h.add(QStringLiteral("clock"), QStringLiteral("+07:30"));
    h.add(QStringLiteral("pending"), QStringLiteral("------"));
    h.add(QStringLiteral("stopped"), QStringLiteral("-00:10:00"));
    h.engine.ToggleTaskDone(3);
    // The shown text moves in whole seconds at the ticks; the due moment must not move at all.
    for (int s = 0; s < 95; ++s)
        h.tickAfter(s % 3 ? 1000 : 1400);
    QCOMPARE(h.engine.task(0).TimeText, QStringLiteral("-00:28:12"));

    const QList<StoredTask> stored = h.engine.storedTasks();
    QCOMPARE(stored.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(stored.at(i).task, h.engine.task(i));
    QCOMPARE(stored.at(0).due, start.addMSecs(250 + 30 * 60 * 1000));
    QCOMPARE(stored.at(0).due.timeSpec(), Qt::UTC);
    // A clock time carries the occurrence it waits for: one that passes while the application is
    // closed is said at the next start.
    QCOMPARE(stored.at(1).due, QDateTime(QDate(2024, 3, 6), QTime(7, 30)).toUTC());
    QVERIFY(!stored.at(2).due.isValid());
    QVERIFY(!stored.at(3).due.isValid());
}

void TestTaskEngine::restoreTasks_data()
{
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("actionKind");
    QTest::addColumn<int>("dueInMs"); // INT_MIN: no due moment
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("firesOnTick"); // -1: never within the ticks run
    QTest::addColumn<QStringList>("log"); // of the tick it fires on
    const QStringList onTime = {"fired 0", "action 0 t countdown"};
    constexpr int NoDue = INT_MIN;
    QTest::newRow("countdown in the future")
        << "-00:30:00" << 0 << 1 << 1'200'000 << "【-00:20:00】t" << 1200 << onTime;
    QTest::newRow("countdown between seconds")
        << "-00:30:00" << 0 << 1 << 1'199'500 << "【-00:19:59】t" << 1199 << onTime;
    QTest::newRow("countdown past due") << "-00:30:00" << 0 << 1 << -600'000 << "【-**:**:**】t" << 1
                                        << QStringList{"fired 0", "action 0 t countdown late 03-05 08:50"};
    QTest::newRow("music past due") << "-00:30:00" << 0 << 2 << -1 << "【-**:**:**】t" << 1 << onTime;
    QTest::newRow("command past due")
        << "-00:05:00" << 0 << 4 << -3'600'000 << "【-**:**:**】t" << 1 << QStringList{"fired 0", "ask 0 t"};
    QTest::newRow("power past due") << "-00:30:00" << 0 << 0 << -600'000 << "【已完成】t" << -1
                                    << QStringList();
    QTest::newRow("power due this moment")
        << "-00:30:00" << 0 << 0 << 0 << "【已完成】t" << -1 << QStringList();
    QTest::newRow("power still ahead") << "-00:30:00" << 0 << 0 << 60'000 << "【-00:01:00】t" << 60 << onTime;
    QTest::newRow("kept text already run out")
        << "-**:**:**" << 0 << 1 << -5'000 << "【-**:**:**】t" << 1 << onTime;
    QTest::newRow("wall clock set back")
        << "-00:10:00" << 0 << 1 << 7'200'000 << "【-00:10:00】t" << 600 << onTime;
    QTest::newRow("no due moment") << "-00:05:00" << 0 << 1 << NoDue << "【-00:05:00】t" << 300 << onTime;
    QTest::newRow("clock time") << "+07:30" << 0 << 1 << NoDue << "【+07:30】t" << -1 << QStringList();
    QTest::newRow("clock time missed while closed")
        << "+07:30" << 0 << 1 << -5'400'000 << "【+07:30】t" << 1
        << QStringList{"fired 0", "action 0 t clock late 03-05 07:30"};
    QTest::newRow("power clock time missed while closed")
        << "+07:30" << 0 << 0 << -5'400'000 << "【+07:30】t" << -1 << QStringList();
    QTest::newRow("pending") << "------" << 2 << 1 << NoDue << "【待完成】t" << -1 << QStringList();
    QTest::newRow("stopped countdown")
        << "-00:04:12" << 2 << 1 << NoDue << "【待完成】t" << -1 << QStringList();
    QTest::newRow("done") << "-**:**:**" << 1 << 0 << NoDue << "【已完成】t" << -1 << QStringList();
    QTest::newRow("done, due moment left over")
        << "-00:01:00" << 1 << 1 << -60'000 << "【已完成】t" << -1 << QStringList();
}

void TestTaskEngine::restoreTasks()
{
    QFETCH(QString, timeText);
    QFETCH(int, status);
    QFETCH(int, actionKind);
    QFETCH(int, dueInMs);
    QFETCH(QString, entry);
    QFETCH(int, firesOnTick);
    QFETCH(QStringList, log);
    TaskHarness h;
    h.clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0)));
    StoredTask stored{{QStringLiteral("t"), timeText, status, actionKind, QStringLiteral("0")}, {}};
    if (dueInMs != INT_MIN)
        stored.due = h.clock.now().toUTC().addMSecs(dueInMs);
    h.engine.restoreTasks({stored});
    QCOMPARE(h.entries, QStringList{entry});
    QCOMPARE(h.listChanges, 1);
    const bool expectDone = entry.startsWith(QStringLiteral("【已完成】"));
    QCOMPARE(h.engine.task(0).Status == TaskStatus::Done, expectDone);
    if (expectDone && status == TaskStatus::Running)
        QCOMPARE(h.engine.task(0).TimeText, runOutText());

    int firedOn = -1;
    for (int tick = 1; tick <= 1300 && firedOn < 0; ++tick) {
        h.tickAfter();
        if (!h.log.isEmpty())
            firedOn = tick;
    }
    QCOMPARE(firedOn, firesOnTick);
    QCOMPARE(h.log, log);
    if (firedOn > 0) {
        for (int tick = 0; tick < 60; ++tick)
            h.tickAfter();
        QCOMPARE(h.log, log);
    } else {
        QVERIFY(h.log.isEmpty());
    }
    QVERIFY(h.inSync());
}

void TestTaskEngine::restoreReplacesTheList()
{
    TaskHarness h;
    h.add(QStringLiteral("old 1"), QStringLiteral("-00:01:00"));
    h.add(QStringLiteral("old 2"), QStringLiteral("------"));
    h.listChanges = 0;
    h.engine.restoreTasks(
        {{{QStringLiteral("new"), QStringLiteral("+08:00"), 0, 1, QStringLiteral("x")}, {}}});
    QCOMPARE(h.entries, QStringList{QStringLiteral("【+08:00】new")});
    QCOMPARE(h.listChanges, 1);
    // The old countdown is gone for good: its minute passes without anything firing.
    for (int tick = 0; tick < 90; ++tick)
        h.tickAfter();
    QVERIFY(h.log.isEmpty());
    QVERIFY(h.inSync());
}

void TestTaskEngine::heldTaskWaitsUntilArmed_data()
{
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<int>("actionKind");
    QTest::addColumn<int>("dueInMs"); // from the restore; INT_MIN: no due moment
    QTest::addColumn<QString>("armedEntry");
    QTest::addColumn<int>("firesOnTick"); // counted from the arming; -1: never
    constexpr int NoDue = INT_MIN;
    // Each is held for 30 seconds, then armed.
    QTest::newRow("command past due") << "-00:05:00" << 4 << -3'600'000 << "【-**:**:**】t" << 1;
    QTest::newRow("command falling due while held") << "-00:00:10" << 4 << 10'000 << "【-**:**:**】t" << 1;
    QTest::newRow("command due after the arming") << "-00:01:00" << 4 << 60'000 << "【-00:00:30】t" << 30;
    QTest::newRow("command without due moment") << "-00:05:00" << 4 << NoDue << "【-00:05:00】t" << 300;
    QTest::newRow("power past due") << "-00:30:00" << 0 << -600'000 << "【已完成】t" << -1;
    QTest::newRow("power due after the arming") << "-00:01:30" << 0 << 90'000 << "【-00:01:00】t" << 60;
    QTest::newRow("open file at a clock time") << "+09:02" << 3 << NoDue << "【+09:02】t" << 90;
}

void TestTaskEngine::heldTaskWaitsUntilArmed()
{
    QFETCH(QString, timeText);
    QFETCH(int, actionKind);
    QFETCH(int, dueInMs);
    QFETCH(QString, armedEntry);
    QFETCH(int, firesOnTick);
    TaskHarness h;
    h.clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0)));
    StoredTask stored{{QStringLiteral("t"), timeText, 0, actionKind, QStringLiteral("0")}, {}, true};
    if (dueInMs != INT_MIN)
        stored.due = h.clock.now().toUTC().addMSecs(dueInMs);
    h.engine.restoreTasks({stored});
    QCOMPARE(h.entries, QStringList{QStringLiteral("【未启用】t")});
    QVERIFY(h.engine.isHeld(0));
    for (int tick = 0; tick < 30; ++tick)
        h.tickAfter();
    QVERIFY(h.log.isEmpty());
    // Kept as it came, so that a save does not turn it into a task of ours.
    QCOMPARE(h.engine.storedTasks(), QList<StoredTask>{stored});

    h.listChanges = 0;
    h.engine.armHeldTasks();
    QCOMPARE(h.listChanges, 1);
    QCOMPARE(h.engine.heldCount(), 0);
    QCOMPARE(h.entries, QStringList{armedEntry});
    int firedOn = -1;
    for (int tick = 1; tick <= 400 && firedOn < 0; ++tick) {
        h.tickAfter();
        if (!h.log.isEmpty())
            firedOn = tick;
    }
    QCOMPARE(firedOn, firesOnTick);
    QVERIFY(h.inSync());
}

QTEST_GUILESS_MAIN(TestTaskEngine)
#include "tst_taskengine.moc"
