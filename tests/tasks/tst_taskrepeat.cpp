// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskHarness.h"
#include "tasks/WorkdayCalendar.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(RepeatRule)

namespace {

RepeatRule rule(RepeatRule::Kind kind, int days = 0)
{
    RepeatRule r;
    r.kind = kind;
    r.days = days;
    return r;
}

// The calendar shipped beside the executable.
const WorkdayCalendar& shipped()
{
    static const WorkdayCalendar calendar = [] {
        QString problem;
        WorkdayCalendar c =
            WorkdayCalendar::load(QString(), QStringLiteral(VEMRA_BUILD_DIR "/workdays-cn.txt"), problem);
        if (!problem.isEmpty())
            qFatal("%s", qPrintable(problem));
        return c;
    }();
    return calendar;
}

QDate day(const char* iso)
{
    return QDate::fromString(QLatin1String(iso), Qt::ISODate);
}

} // namespace

class TestTaskRepeat : public QObject
{
    Q_OBJECT
private slots:
    void clockRules_data();
    void clockRules();
    void cyclingCountdownStartsAgainEachTime();
    void missedIsSaidOnce_data();
    void missedIsSaidOnce();
    void calendarFile_data();
    void calendarFile();
};

void TestTaskRepeat::clockRules_data()
{
    // A 07:30 task added at 07:00 on the first day, the clock then shown every day of the span at
    // 07:29:59, 07:30, 07:30:40 and 18:00: the days it fires on, "MM-dd".
    QTest::addColumn<RepeatRule>("repeat");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QStringList>("fires");
    QTest::addColumn<QString>("entry");
    using K = RepeatRule::Kind;
    // clang-format off
    QTest::newRow("每天 across a week end") << rule(K::Daily) << day("2026-03-06") << day("2026-03-09")
        << QStringList{"03-06", "03-07", "03-08", "03-09"} << "【+07:30 每天】起床";
    QTest::newRow("工作日 across a week end") << rule(K::Weekdays) << day("2026-03-05") << day("2026-03-10")
        << QStringList{"03-05", "03-06", "03-09", "03-10"} << "【+07:30 工作日】起床";
    QTest::newRow("自选 一三五") << rule(K::Chosen, 0b0010101) << day("2026-03-08") << day("2026-03-15")
        << QStringList{"03-09", "03-11", "03-13"} << "【+07:30 一三五】起床";
    QTest::newRow("自选 日 only") << rule(K::Chosen, 0b1000000) << day("2026-03-09") << day("2026-03-22")
        << QStringList{"03-15", "03-22"} << "【+07:30 日】起床";
    // 2025: 劳动节 5/1–5/5, 4/27 (Sunday) a working day.
    QTest::newRow("法定 2025 劳动节") << rule(K::Workdays) << day("2025-04-26") << day("2025-05-07")
        << QStringList{"04-27", "04-28", "04-29", "04-30", "05-06", "05-07"} << "【+07:30 法定工作日】起床";
    // 2025: 国庆中秋 10/1–10/8, 9/28 (Sunday) and 10/11 (Saturday) working days.
    QTest::newRow("法定 2025 国庆") << rule(K::Workdays) << day("2025-09-27") << day("2025-10-12")
        << QStringList{"09-28", "09-29", "09-30", "10-09", "10-10", "10-11"} << "【+07:30 法定工作日】起床";
    // 2026: 春节 2/15–2/23, 2/14 and 2/28 (Saturdays) working days.
    QTest::newRow("法定 2026 春节") << rule(K::Workdays) << day("2026-02-12") << day("2026-03-01")
        << QStringList{"02-12", "02-13", "02-14", "02-24", "02-25", "02-26", "02-27", "02-28"} << "【+07:30 法定工作日】起床";
    // 2026: 元旦 1/1–1/3, 1/4 (Sunday) a working day; 端午 6/19 (Friday) a holiday.
    QTest::newRow("法定 2026 元旦") << rule(K::Workdays) << day("2025-12-31") << day("2026-01-05")
        << QStringList{"12-31", "01-04", "01-05"} << "【+07:30 法定工作日】起床";
    QTest::newRow("法定 2026 端午") << rule(K::Workdays) << day("2026-06-18") << day("2026-06-22")
        << QStringList{"06-18", "06-22"} << "【+07:30 法定工作日】起床";
    // Past the calendar's last year: Monday to Friday, 1/1 included.
    QTest::newRow("法定 past the calendar") << rule(K::Workdays) << day("2026-12-31") << day("2027-01-04")
        << QStringList{"12-31", "01-01", "01-04"} << "【+07:30 法定工作日】起床";
    // clang-format on
}

void TestTaskRepeat::clockRules()
{
    QFETCH(RepeatRule, repeat);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QStringList, fires);
    QFETCH(QString, entry);
    TaskHarness h;
    h.engine.setCalendar(&shipped());
    h.clock.setNow(QDateTime(from, QTime(7, 0)));
    TaskItem task{QStringLiteral("起床"), QStringLiteral("+07:30"), TaskStatus::Running, TaskAction::Message,
                  QStringLiteral("起床")};
    task.Repeat = repeat;
    h.engine.addTask(task);
    QCOMPARE(h.entries, QStringList{entry});
    QStringList firedOn;
    for (QDate d = from; d <= to; d = d.addDays(1)) {
        for (const QTime t : {QTime(7, 29, 59), QTime(7, 30), QTime(7, 30, 40), QTime(18, 0)}) {
            h.clock.setNow(QDateTime(d, t));
            h.log.clear();
            h.engine.tick();
            if (!h.log.isEmpty()) {
                QCOMPARE(h.log, (QStringList{"fired 0", "action 0 起床 clock"}));
                QCOMPARE(t, QTime(7, 30));
                firedOn << d.toString(QStringLiteral("MM-dd"));
            }
        }
    }
    QCOMPARE(firedOn, fires);
    // It waits for its next occurrence, shown as it was added; that is the moment the session is
    // asked to start the application at when the window closes.
    QCOMPARE(h.engine.task(0).Status, TaskStatus::Running);
    QCOMPARE(h.entries, QStringList{entry});
    const QDateTime next = h.engine.earliestDue().toLocalTime();
    QVERIFY(next > h.clock.now());
    QCOMPARE(next.time(), QTime(7, 30));
    QVERIFY(h.engine.occursOn(repeat, next.date()));
    for (QDate d = to.addDays(1); d < next.date(); d = d.addDays(1))
        QVERIFY2(!h.engine.occursOn(repeat, d), qPrintable(d.toString(Qt::ISODate)));
    // A double-click stops it for good; a second makes it pending.
    h.engine.ToggleTaskDone(0);
    QCOMPARE(h.entries, QStringList{QStringLiteral("【已完成】起床")});
    QVERIFY(!h.engine.hasArmedTimer());
    h.engine.ToggleTaskDone(0);
    QCOMPARE(h.entries, QStringList{QStringLiteral("【待完成】起床")});
}

void TestTaskRepeat::cyclingCountdownStartsAgainEachTime()
{
    TaskHarness h;
    h.clock.setNow(QDateTime(QDate(2026, 3, 9), QTime(9, 0)));
    TaskItem task{QStringLiteral("站起来"), QStringLiteral("-00:45:00"), TaskStatus::Running,
                  TaskAction::Message, QStringLiteral("活动一下")};
    task.Repeat.kind = RepeatRule::Kind::Cycle;
    h.engine.addTask(task);
    QCOMPARE(h.engine.task(0).Repeat.seconds, 45 * 60);
    h.tickAfter();
    QCOMPARE(h.entries, QStringList{QStringLiteral("【-00:44:59 循环】站起来")});
    int fired = 0;
    for (int s = 1; s < 3 * 45 * 60; ++s) {
        h.tickAfter();
        if (h.log.size() > 2 * fired) {
            ++fired;
            QCOMPARE(s + 1, fired * 45 * 60);
            QCOMPARE(h.entries, QStringList{QStringLiteral("【-00:45:00 循环】站起来")});
        }
    }
    QCOMPARE(fired, 3);
    QCOMPARE(h.log.count(QStringLiteral("action 0 站起来 countdown")), 3);
    QVERIFY(h.engine.hasArmedTimer());
    // The kept list starts the next round where this one is.
    QCOMPARE(h.engine.storedTasks().at(0).due, h.clock.now().toUTC().addSecs(45 * 60));
    // A snooze (the music window's, the notification's) adds a one-off copy; the cycle goes on.
    h.engine.snooze(0);
    QCOMPARE(h.entries, (QStringList{QStringLiteral("【-00:45:00 循环】站起来"),
                                     QStringLiteral("【-00:05:00】站起来")}));
    QCOMPARE(h.engine.task(0).Repeat.kind, RepeatRule::Kind::Cycle);
}

void TestTaskRepeat::missedIsSaidOnce_data()
{
    // A task added Monday 2026-03-09 07:00, then "sleep" seconds of suspend and one tick; runLate
    // answers the question a late task that runs something asks. log is what that tick did.
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<RepeatRule>("repeat");
    QTest::addColumn<int>("actionKind");
    QTest::addColumn<int>("sleep");
    QTest::addColumn<bool>("runLate");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("entry");
    using K = RepeatRule::Kind;
    const int day = 86400;
    // clang-format off
    QTest::newRow("每天, five mornings asleep, fires once")
        << "+07:30" << rule(K::Daily) << 1 << 4 * day + 3600 << false
        << QStringList{"fired 0", "action 0 t clock late 03-13 07:30"} << "【+07:30 每天】t";
    QTest::newRow("循环, five rounds asleep, fires once")
        << "-00:45:00" << rule(K::Cycle) << 2 << 5 * 45 * 60 + 600 << false
        << QStringList{"fired 0", "action 0 t countdown late 03-09 07:45"} << "【-00:45:00 循环】t";
    QTest::newRow("message a minute late is on time")
        << "+07:30" << RepeatRule{} << 1 << 31 * 60 << false
        << QStringList{"fired 0", "action 0 t clock"} << "【已完成】t";
    QTest::newRow("shut-down during a suspend, 跳过")
        << "-00:30:00" << RepeatRule{} << 0 << 3600 << false
        << QStringList{"fired 0", "ask 0 t"} << "【已完成】t";
    QTest::newRow("shut-down a minute late runs")
        << "-00:30:00" << RepeatRule{} << 0 << 31 * 60 << false
        << QStringList{"fired 0", "action 0 t countdown"} << "【已完成】t";
    QTest::newRow("daily command, 执行")
        << "+07:30" << rule(K::Weekdays) << 4 << 2 * day << true
        << QStringList{"fired 0", "ask 0 t", "action 0 t clock late 03-10 07:30"} << "【+07:30 工作日】t";
    QTest::newRow("open file, 跳过") << "+07:30" << RepeatRule{} << 3 << 3600 << false
        << QStringList{"fired 0", "ask 0 t"} << "【已完成】t";
    // clang-format on
}

void TestTaskRepeat::missedIsSaidOnce()
{
    QFETCH(QString, timeText);
    QFETCH(RepeatRule, repeat);
    QFETCH(int, actionKind);
    QFETCH(int, sleep);
    QFETCH(bool, runLate);
    QFETCH(QStringList, log);
    QFETCH(QString, entry);
    TaskHarness h;
    h.runLate = runLate;
    h.clock.setNow(QDateTime(QDate(2026, 3, 9), QTime(7, 0)));
    TaskItem task{QStringLiteral("t"), timeText, TaskStatus::Running, actionKind, QStringLiteral("0")};
    task.Repeat = repeat;
    h.engine.addTask(task);
    h.clock.advanceMs(qint64(sleep) * 1000);
    h.engine.tick();
    QCOMPARE(h.log, log);
    QCOMPARE(h.entries, QStringList{entry});
    // Nothing more that day: the missed occurrences are not made up one by one.
    h.log.clear();
    for (int s = 0; s < 60; ++s)
        h.tickAfter();
    QVERIFY2(h.log.isEmpty(), qPrintable(h.log.join(u'\n')));
}

void TestTaskRepeat::calendarFile_data()
{
    // The user's file and the shipped one; problem is what load() says, and the 2027-02-08 (a
    // Monday) and 2026-02-14 (a make-up Saturday in the shipped file) show which file is used.
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("lastYear");
    QTest::addColumn<bool>("monday2027");
    const QByteArray next = "year 2027 一个假想的通知\nholiday 2027-02-05 2027-02-11\nworkday 2027-02-13\n";
    // clang-format off
    QTest::newRow("no user file") << QByteArray() << "" << 2026 << true;
    QTest::newRow("user adds a year") << QByteArray("# mine\nyear 2026 x\nworkday 2026-02-14\n") + next << "" << 2027 << false;
    QTest::newRow("unknown keyword") << QByteArray("year 2027 x\nholliday 2027-02-08\n") << "line 2" << 2026 << true;
    QTest::newRow("date before a year") << QByteArray("holiday 2027-02-08\n") << "line 1" << 2026 << true;
    QTest::newRow("years out of order") << QByteArray("year 2027 x\nyear 2026 y\n") << "line 2" << 2026 << true;
    QTest::newRow("not a date") << QByteArray("year 2027 x\nholiday 2027-2-8\n") << "YYYY-MM-DD" << 2026 << true;
    QTest::newRow("range too long") << QByteArray("year 2027 x\nholiday 2027-01-01 2027-03-01\n") << "line 2" << 2026 << true;
    QTest::newRow("far from its year") << QByteArray("year 2027 x\nholiday 2030-01-01\n") << "line 2" << 2026 << true;
    QTest::newRow("both kinds") << QByteArray("year 2027 x\nholiday 2027-02-08\nworkday 2027-02-08\n") << "both" << 2026 << true;
    QTest::newRow("not UTF-8") << QByteArray("year 2027 \xC3\x28\n") << "UTF-8" << 2026 << true;
    QTest::newRow("too large") << QByteArray(WorkdayCalendar::MaxFileBytes + 1, '#') << "larger" << 2026 << true;
    // clang-format on
}

void TestTaskRepeat::calendarFile()
{
    QFETCH(QByteArray, user);
    QFETCH(QString, problem);
    QFETCH(int, lastYear);
    QFETCH(bool, monday2027);
    QTemporaryDir dir;
    const QString userPath = dir.filePath(WorkdayCalendar::fileName());
    if (!user.isEmpty()) {
        QFile file(userPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(user);
    }
    QString said;
    const WorkdayCalendar calendar =
        WorkdayCalendar::load(userPath, QStringLiteral(VEMRA_BUILD_DIR "/workdays-cn.txt"), said);
    QVERIFY2(problem.isEmpty() ? said.isEmpty() : said.contains(problem), qPrintable(said));
    QCOMPARE(calendar.lastYear(), lastYear);
    QCOMPARE(calendar.isWorkday(day("2027-02-08")), monday2027);
    QVERIFY(calendar.isWorkday(day("2026-02-14")));
    QVERIFY(calendar.summary().contains(QString::number(lastYear)));
    // Every year shipped names the notice it comes from.
    for (const WorkdayCalendar::Year& year : shipped().years())
        QVERIFY(year.notice.contains(QStringLiteral("国办发明电")));
}

QTEST_GUILESS_MAIN(TestTaskRepeat)
#include "tst_taskrepeat.moc"
