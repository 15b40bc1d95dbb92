// SPDX-License-Identifier: GPL-3.0-or-later
// A reminder that falls due after the window was closed: the close asks the session to start the
// application at that moment, and the next start takes the request back.
#include "platform/ProcessLauncher.h"
#include "platform/SessionTimer.h"
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/TodoPage.h"

#include <QProcess>
#include <QtTest>

namespace {
const QByteArray kKeepOn = "[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\nKeepTasks=1\r\n";
const QByteArray kKeepOff = "[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\nKeepTasks=0\r\n";

TaskItem task(const QString& time, int kind = TaskAction::Message)
{
    const int status = time == noTimerText() ? TaskStatus::Pending : TaskStatus::Running;
    return {QStringLiteral("t"), time, status, kind, QStringLiteral("x")};
}

/// What the user instance says of a unit: "active", "inactive", ...
QString unitState(const QString& unit)
{
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"),
                    {QStringLiteral("--user"), QStringLiteral("is-active"), unit});
    systemctl.waitForFinished(10000);
    return QString::fromUtf8(systemctl.readAllStandardOutput()).trimmed();
}
} // namespace

class TestDueStart : public QObject
{
    Q_OBJECT
private slots:
    void closeAsksForAStartAtTheEarliestDue_data();
    void closeAsksForAStartAtTheEarliestDue();
    void switchOnWithoutSessionTimersSaysSoOnce_data();
    void switchOnWithoutSessionTimersSaysSoOnce();
    void timerUnitNamesOnlyOurExecutable_data();
    void timerUnitNamesOnlyOurExecutable();
    void userInstanceKeepsTheTimerUntilTheNextStart();
    void earlierStartIsTakenBackOnceTheWindowIsDrawn();
};

void TestDueStart::closeAsksForAStartAtTheEarliestDue_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QStringList>("times"); // added in this order; "held ..." comes back held
    QTest::addColumn<QTime>("due");         // local, the clock standing at 09:00; invalid: none
    QTest::newRow("countdown") << kKeepOn << true << QStringList{"-00:10:00"} << QTime(9, 10);
    QTest::newRow("earliest of several")
        << kKeepOn << true << QStringList{"-01:00:00", "+09:30", "------"} << QTime(9, 30);
    QTest::newRow("held task does not count")
        << kKeepOn << true << QStringList{"held -00:01:00", "-00:20:00"} << QTime(9, 20);
    QTest::newRow("nothing armed") << kKeepOn << true << QStringList{"------", "held +09:05"} << QTime();
    QTest::newRow("list not kept") << kKeepOff << true << QStringList{"-00:10:00"} << QTime();
    QTest::newRow("no session timers") << kKeepOn << false << QStringList{"-00:10:00"} << QTime();
}

void TestDueStart::closeAsksForAStartAtTheEarliestDue()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, reachable);
    QFETCH(QStringList, times);
    QFETCH(QTime, due);
    TestPlatform tp;
    tp.sessionTimer.reachable = reachable;
    QVERIFY(writeFile(tp.path(QStringLiteral("Config.ini")), config));
    FrmMain w(tp.platform());
    TaskEngine& engine = w.todoPage()->engine();
    QList<StoredTask> stored;
    for (const QString& time : times) {
        const bool held = time.startsWith(QLatin1String("held "));
        stored.append(
            {task(time.section(u' ', -1), held ? TaskAction::Command : TaskAction::Message), {}, held});
    }
    engine.restoreTasks(stored);
    w.close();
    const QString unit = SessionTimer::unitName(tp.appFolder());
    QStringList expected;
    if (reachable)
        expected << QStringLiteral("cancel ") + unit;
    if (due.isValid())
        expected << QStringLiteral("schedule %1 %2 %3 --due")
                        .arg(unit, QDateTime(QDate(2024, 3, 5), due).toUTC().toString(Qt::ISODate),
                             tp.platform().executablePath);
    QCOMPARE(tp.sessionTimer.calls, expected);
}

void TestDueStart::switchOnWithoutSessionTimersSaysSoOnce_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<int>("told");
    QTest::newRow("session timers") << true << 0;
    QTest::newRow("none") << false << 1;
}

void TestDueStart::switchOnWithoutSessionTimersSaysSoOnce()
{
    QFETCH(bool, reachable);
    QFETCH(int, told);
    TestPlatform tp;
    tp.sessionTimer.reachable = reachable;
    FrmMain w(tp.platform());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.ensurePanels();
    ModalCloser closer;
    // On, off and on again: told at the first time at most.
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(control<QWidget>(&w, QStringLiteral("SSwitch3")), Qt::LeftButton);
    QCOMPARE(closer.seen, QStringList(told, QStringLiteral("FrmMessage")));
}

void TestDueStart::timerUnitNamesOnlyOurExecutable_data()
{
    QTest::addColumn<QByteArray>("cgroup");
    QTest::addColumn<QString>("unit");
    QTest::newRow("started by hand") << QByteArray("0::/user.slice/app.slice/app-x.scope\n") << "u";
    QTest::newRow("started by the timer") << QByteArray("0::/user.slice/app.slice/u.service\n") << "u-next";
    QTest::newRow("started by the other timer")
        << QByteArray("0::/user.slice/app.slice/u-next.service\n") << "u";
}

void TestDueStart::timerUnitNamesOnlyOurExecutable()
{
    QFETCH(QByteArray, cgroup);
    QFETCH(QString, unit);
    // The service the timer started holds its name until it ends, so the close of that very copy
    // uses the other name.
    QCOMPARE(SystemdSessionTimer::freeName(QStringLiteral("u"), cgroup), unit);
    const QDateTime at(QDate(2024, 3, 5), QTime(9, 10, 0, 250), Qt::UTC);
    QCOMPARE(SystemdSessionTimer::runArguments(unit, at, QStringLiteral("/opt/v/VemraNotes"),
                                               {QStringLiteral("--due")}, {QStringLiteral("DISPLAY=:0")}),
             (QStringList{"--user", "--unit=" + unit, "--collect", "--on-calendar=2024-03-05 09:10:01 UTC",
                          "--timer-property=AccuracySec=1s", "--setenv=DISPLAY=:0", "--", "/opt/v/VemraNotes",
                          "--due"}));
    // The two names differ from every other data folder's.
    QVERIFY(SessionTimer::unitName(QStringLiteral("/a")) != SessionTimer::unitName(QStringLiteral("/b")));
}

void TestDueStart::userInstanceKeepsTheTimerUntilTheNextStart()
{
    SystemProcessLauncher launcher;
    SystemdSessionTimer real(launcher, qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (!real.available())
        QSKIP("no systemd user instance here (XDG_RUNTIME_DIR/systemd/private is missing)");
    TestPlatform tp;
    tp.platform().sessionTimer = &real;
    // An executable that is not there: should the test stop half-way, the timer starts nothing.
    tp.platform().executablePath = tp.path(QStringLiteral("absent/VemraNotes"));
    QVERIFY(writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOn));
    const QString timer = SessionTimer::unitName(tp.appFolder()) + QStringLiteral(".timer");
    {
        FrmMain w(tp.platform());
        w.todoPage()->engine().addTask(task(QStringLiteral("-23:00:00")));
        w.close();
    }
    QTRY_COMPARE_WITH_TIMEOUT(unitState(timer), QStringLiteral("active"), 15000);
    FrmMain next(tp.platform());
    QTRY_VERIFY_WITH_TIMEOUT(unitState(timer) != QLatin1String("active"), 15000);
    // Nothing left to ask for at this close.
    next.todoPage()->engine().ClearAllTasks();
    next.close();
}

void TestDueStart::earlierStartIsTakenBackOnceTheWindowIsDrawn()
{
    // Taking it back starts a program: never on the way to the first drawing.
    TestPlatform tp;
    tp.sessionTimer.reachable = true;
    QVERIFY(writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOn));
    FrmMain w(tp.platform());
    QVERIFY(tp.sessionTimer.calls.isEmpty());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QStringList cancelled{QStringLiteral("cancel ") + SessionTimer::unitName(tp.appFolder())};
    QTRY_COMPARE(tp.sessionTimer.calls, cancelled);
    w.close();
    QCOMPARE(tp.sessionTimer.calls, cancelled); // nothing due, and not taken back twice
}

QTEST_MAIN(TestDueStart)
#include "tst_duestart.moc"
