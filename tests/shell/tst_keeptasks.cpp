// SPDX-License-Identifier: GPL-3.0-or-later
// The switch "保留待办": the to-do list kept in Tasks.json across restarts, through the real window.
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/TaskStore.h"
#include "tasks/TodoPage.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace {
struct Window
{
    explicit Window(TestPlatform& tp)
    {
        w = std::make_unique<FrmMain>(tp.platform());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    QWidget* widget(const QString& name) { return control<QWidget>(w.get(), name); }
    void click(const QString& name) { QTest::mouseClick(widget(name), Qt::LeftButton); }
    void type(const QString& name, const QString& text)
    {
        auto* box = control<TextBoxW>(w.get(), name);
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    void add(const QString& content)
    {
        auto* box = control<TextBoxW>(w.get(), QStringLiteral("Text3"));
        box->setFocus();
        box->setText(content);
        QTest::keyClick(box, Qt::Key_Return);
    }
    QStringList entries()
    {
        w->ensureTodoPage();
        return control<ListBoxW>(w.get(), QStringLiteral("List2"))->items();
    }
    std::unique_ptr<FrmMain> w;
};

const QByteArray kKeepOn = "[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\nKeepTasks=1\r\n";
const QByteArray kKeepOff = "[General]\r\nLeft=0\r\nTop=0\r\nAutoRun=0\r\nAutoSave=0\r\nKeepTasks=0\r\n";
const QByteArray kKeptTask =
    "{\"Version\":1,\"Tasks\":[{\"TaskText\":\"a\",\"TimeText\":\"------\",\"Status\":2,"
    "\"ActionKind\":1,\"ActionArg\":\"a\"}]}";
} // namespace

class TestKeepTasks : public QObject
{
    Q_OBJECT
private slots:
    void thirdSwitchSitsUnderTheSecond();
    void switchIsWrittenOnlyOnceUsed();
    void threeTasksSurviveARestart();
    void switchOffLeavesTheFileUntilTheClose();
    void unusableFileIsKeptAsideAndTold();
    void aSwitchNotReadIsNoReasonToRemoveTheList_data();
    void aSwitchNotReadIsNoReasonToRemoveTheList();
    void toDoPageIsBuiltWhenFirstShown();
    void onlyTasksWeWroteRunSomething_data();
    void onlyTasksWeWroteRunSomething();
};

void TestKeepTasks::thirdSwitchSitsUnderTheSecond()
{
    TestPlatform tp;
    Window m(tp);
    m.click(QStringLiteral("Picture4"));
    QVERIFY(m.widget(QStringLiteral("Picture9"))->isVisible());
    QCOMPARE(m.widget(QStringLiteral("Picture9"))->height() * 15, 3135);
    QCOMPARE(m.widget(QStringLiteral("SSwitch3"))->pos() * 15, QPoint(1800, 1200));
    QCOMPARE(m.widget(QStringLiteral("SSwitch3"))->size(), m.widget(QStringLiteral("SSwitch2"))->size());
    QCOMPARE(m.widget(QStringLiteral("Label3_5"))->y() * 15, 1200);
    QCOMPARE(control<QLabel>(m.w.get(), QStringLiteral("Label3_5"))->text(), QStringLiteral("保留待办"));
    // The three button rows moved down one row.
    QCOMPARE(m.widget(QStringLiteral("SButton1"))->y() * 15, 1680);
    QCOMPARE(m.widget(QStringLiteral("SButton2"))->y() * 15, 2160);
    QCOMPARE(m.widget(QStringLiteral("SButton7"))->y() * 15, 2640);
    QCOMPARE(m.widget(QStringLiteral("Label3_4"))->y() * 15, 2640);
}

void TestKeepTasks::switchIsWrittenOnlyOnceUsed()
{
    TestPlatform tp;
    {
        Window m(tp);
        QVERIFY(!m.w->KeepTasks());
        m.w->close();
    }
    // A user who never turned it on keeps the four keys.
    QVERIFY(!readFile(tp.path(QStringLiteral("Config.ini"))).contains("KeepTasks"));
    {
        Window m(tp);
        m.click(QStringLiteral("Picture4"));
        m.click(QStringLiteral("SSwitch3"));
        QVERIFY(m.w->KeepTasks());
        m.w->close();
    }
    QVERIFY(readFile(tp.path(QStringLiteral("Config.ini"))).contains("KeepTasks=1\r\n"));
    {
        Window m(tp);
        QVERIFY(m.w->KeepTasks());
        m.click(QStringLiteral("Picture4"));
        m.click(QStringLiteral("SSwitch3"));
        m.w->close();
    }
    QVERIFY(readFile(tp.path(QStringLiteral("Config.ini"))).contains("KeepTasks=0\r\n"));
}

void TestKeepTasks::threeTasksSurviveARestart()
{
    TestPlatform tp;
    tp.clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOn);
    QStringList before;
    {
        Window m(tp);
        QVERIFY(m.w->KeepTasks());
        m.click(QStringLiteral("Picture5"));
        // A countdown of 01:30.
        m.click(QStringLiteral("SButton5_0"));
        m.click(QStringLiteral("Label4_1"));
        m.type(QStringLiteral("TxtHour"), QStringLiteral("1"));
        m.type(QStringLiteral("TxtMinute"), QStringLiteral("30"));
        m.add(QStringLiteral("倒计时任务"));
        // A clock time of 17:45.
        m.click(QStringLiteral("SButton5_0"));
        m.click(QStringLiteral("Label4_0"));
        m.type(QStringLiteral("TxtHour"), QStringLiteral("17"));
        m.type(QStringLiteral("TxtMinute"), QStringLiteral("45"));
        m.add(QStringLiteral("定时任务"));
        // No timer.
        m.click(QStringLiteral("SButton5_0"));
        m.click(QStringLiteral("Label4_1"));
        m.type(QStringLiteral("TxtHour"), QStringLiteral("0"));
        m.type(QStringLiteral("TxtMinute"), QStringLiteral("0"));
        m.add(QStringLiteral("没有时间的任务"));
        before = m.entries();
        QCOMPARE(before,
                 (QStringList{QStringLiteral("【-01:30:00】倒计时任务"), QStringLiteral("【+17:45】定时任务"),
                              QStringLiteral("【待完成】没有时间的任务")}));
        QVERIFY(QFile::exists(tp.path(QStringLiteral("Tasks.json"))));
        m.click(QStringLiteral("Picture2"));
        QVERIFY(!m.w->isVisible());
    }
    // Ten minutes later: the countdown went on while the application was closed.
    tp.clock.advanceMs(10 * 60 * 1000);
    Window again(tp);
    QCOMPARE(again.entries(),
             (QStringList{QStringLiteral("【-01:20:00】倒计时任务"), QStringLiteral("【+17:45】定时任务"),
                          QStringLiteral("【待完成】没有时间的任务")}));
}

void TestKeepTasks::switchOffLeavesTheFileUntilTheClose()
{
    TestPlatform tp;
    const QByteArray kept = kKeptTask;
    writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOff);
    writeFile(tp.path(QStringLiteral("Tasks.json")), kept);
    Window m(tp);
    QVERIFY(!m.w->KeepTasks());
    QVERIFY(m.entries().isEmpty());
    m.click(QStringLiteral("Picture5"));
    m.add(QStringLiteral("not kept"));
    QCOMPARE(readFile(tp.path(QStringLiteral("Tasks.json"))), kept);
    m.w->close();
    QVERIFY(!QFile::exists(tp.path(QStringLiteral("Tasks.json"))));
}

void TestKeepTasks::unusableFileIsKeptAsideAndTold()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOn);
    writeFile(tp.path(QStringLiteral("Tasks.json")), "{\"Version\":1,\"Tasks\":[{\"TaskText\":");
    ModalCloser closer;
    Window m(tp);
    QTRY_COMPARE(closer.seen, QStringList{QStringLiteral("FrmMessage")});
    QVERIFY(m.entries().isEmpty());
    const QStringList aside =
        QDir(tp.appFolder()).entryList({QStringLiteral("Tasks.json.bad-*")}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readFile(tp.path(aside.at(0))), QByteArray("{\"Version\":1,\"Tasks\":[{\"TaskText\":"));
    m.w->close();
    QCOMPARE(closer.seen.size(), 1);
}

void TestKeepTasks::toDoPageIsBuiltWhenFirstShown()
{
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOn);
    writeFile(tp.path(QStringLiteral("Tasks.json")),
              "{\"Version\":1,\"Tasks\":[{\"TaskText\":\"a\",\"TimeText\":\"------\",\"Status\":2,"
              "\"ActionKind\":1,\"ActionArg\":\"a\"}]}");
    Window m(tp);
    // A start that never opens the page does not build its controls; the tasks are there all the same.
    QVERIFY(!m.w->findChild<QWidget*>(QStringLiteral("List2")));
    QCOMPARE(m.w->todoPage()->engine().TaskCount(), 1);
    m.click(QStringLiteral("Picture5"));
    auto* list = m.w->findChild<ListBoxW*>(QStringLiteral("List2"));
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->items(), QStringList{QStringLiteral("【待完成】a")});
}

void TestKeepTasks::aSwitchNotReadIsNoReasonToRemoveTheList_data()
{
    QTest::addColumn<QString>("config");
    QTest::newRow("Config.ini deleted") << "missing";
    QTest::newRow("Config.ini unreadable") << "folder";
    // The link's target says the switch is off: followed, it would remove the list.
    QTest::newRow("Config.ini a link") << "link";
}

void TestKeepTasks::aSwitchNotReadIsNoReasonToRemoveTheList()
{
    QFETCH(QString, config);
    TestPlatform tp;
    writeFile(tp.path(QStringLiteral("Tasks.json")), kKeptTask);
    // Something that cannot be read as the file stands where it belongs.
    if (config == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(tp.path(QStringLiteral("Config.ini"))));
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("settings.ini"));
    if (config == QLatin1String("link")) {
        QVERIFY(writeFile(target, kKeepOff));
        QVERIFY(QFile::link(target, tp.path(QStringLiteral("Config.ini"))));
    }
    {
        ModalCloser closer;
        Window m(tp);
        // Told once that the link's settings were not used; what it points to stays as it was.
        const int told = config == QLatin1String("link") ? 1 : 0;
        QTRY_COMPARE(closer.seen.size(), told);
        m.w->close();
        QCOMPARE(closer.seen.size(), told);
    }
    QCOMPARE(readFile(tp.path(QStringLiteral("Tasks.json"))), kKeptTask);
    if (config == QLatin1String("link"))
        QCOMPARE(readFile(target), kKeepOff);

    // Turned on in a run that did not read it, the switch brings the kept list back before keeping.
    QVERIFY(QFile::remove(tp.path(QStringLiteral("Config.ini"))) ||
            QDir(tp.path(QStringLiteral("Config.ini"))).removeRecursively());
    Window m(tp);
    m.click(QStringLiteral("Picture5"));
    m.add(QStringLiteral("added"));
    m.click(QStringLiteral("Picture4"));
    m.click(QStringLiteral("SSwitch3"));
    QCOMPARE(m.entries(), (QStringList{"【待完成】a", "【待完成】added"}));
    const QByteArray kept = readFile(tp.path(QStringLiteral("Tasks.json")));
    QVERIFY2(kept.contains("\"a\"") && kept.contains("added"), kept.constData());
}

void TestKeepTasks::onlyTasksWeWroteRunSomething_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("runs");
    QTest::newRow("planted") << "planted" << false << false;
    QTest::newRow("one byte of a command changed") << "tampered" << false << false;
    QTest::newRow("written here") << "ours" << false << true;
    // Written here, then a newer list without the commands; the older copy comes back from a backup.
    QTest::newRow("an older list of ours put back") << "replayed" << false << false;
    QTest::newRow("planted, then armed by the user") << "planted" << true << true;
}

void TestKeepTasks::onlyTasksWeWroteRunSomething()
{
    QFETCH(QString, how);
    QFETCH(bool, confirm);
    QFETCH(bool, runs);
    TestPlatform tp;
    QTemporaryDir config;
    tp.platform().taskKeyPath = config.filePath(QStringLiteral("VemraNotes/tasks.key"));
    tp.clock.setNow(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    writeFile(tp.path(QStringLiteral("Config.ini")), kKeepOn);
    const QString script = tp.path(QStringLiteral("planted.sh"));
    writeFile(script, "#!/bin/sh\n");
    // A command a minute overdue (more than two and it would ask first), a countdown command, a file
    // to open and a power action.
    const QList<StoredTask> tasks = {
        {{QStringLiteral("过期"), QStringLiteral("-00:00:01"), 0, TaskAction::Command,
          QStringLiteral("echo 1")},
         tp.clock.now().toUTC().addSecs(-60)},
        {{QStringLiteral("倒计时"), QStringLiteral("-00:00:02"), 0, TaskAction::Command,
          QStringLiteral("echo 2")},
         {}},
        {{QStringLiteral("关机"), QStringLiteral("-00:00:03"), 0, TaskAction::Power, QStringLiteral("0")},
         {}},
        {{QStringLiteral("文件"), QStringLiteral("-00:00:04"), 0, TaskAction::OpenFile, script}, {}},
    };
    const QString tasksJson = tp.path(QStringLiteral("Tasks.json"));
    if (how == u"planted") {
        writeFile(tasksJson, TaskStore::serialise(tasks).replace("\"Version\": 2", "\"Version\": 1"));
    } else {
        // The application keeps the list itself; the window is closed before its first tick.
        Window writer(tp);
        writer.w->todoPage()->engine().restoreTasks(tasks);
        writer.w->close();
        QVERIFY(readFile(tasksJson).contains("\"Signature\""));
        if (how == u"replayed") {
            const QByteArray older = readFile(tasksJson);
            Window newer(tp);
            newer.w->todoPage()->engine().restoreTasks({});
            newer.w->close();
            QVERIFY(readFile(tasksJson) != older);
            QVERIFY(writeFile(tasksJson, older));
        }
        if (how == u"tampered") {
            QByteArray text = readFile(tasksJson);
            writeFile(tasksJson, text.replace("echo 2", "echo 3"));
        }
    }

    QString question;
    ModalCloser closer;
    closer.inspect = [&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            question = box->text();
        if (confirm)
            QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("armHeldTasks")), Qt::LeftButton);
    };
    const auto runTenSeconds = [&tp](Window& m) {
        for (int s = 0; s < 10; ++s) {
            tp.clock.advanceMs(1000);
            m.w->todoPage()->engine().tick();
        }
    };
    const QStringList started = {QStringLiteral("sh -c echo 1"), QStringLiteral("sh -c echo 2"),
                                 QStringLiteral("shutdown -h now"), QStringLiteral("sh ") + script};
    const auto startedSoFar = [&tp] {
        QStringList out;
        for (const LaunchRecord& launch : std::as_const(tp.launcher.launches))
            out << (QStringList{launch.program} + launch.arguments).join(u' ');
        return out;
    };
    const bool asked = how != u"ours";
    {
        Window m(tp);
        if (asked) {
            QTRY_COMPARE(closer.seen, QStringList{QStringLiteral("HeldTasksQuestion")});
            for (const QString& line :
                 {QStringLiteral("运行命令 echo 1"),
                  how == u"tampered" ? QStringLiteral("运行命令 echo 3") : QStringLiteral("运行命令 echo 2"),
                  QStringLiteral("关机电脑"), QStringLiteral("打开文件 ") + script})
                QVERIFY2(question.contains(line), qPrintable(question));
        }
        if (!confirm && asked)
            QCOMPARE(m.entries(),
                     (QStringList{QStringLiteral("【未启用】过期"), QStringLiteral("【未启用】倒计时"),
                                  QStringLiteral("【未启用】关机"), QStringLiteral("【未启用】文件")}));
        runTenSeconds(m);
        QCOMPARE(startedSoFar(), runs ? started : QStringList());
        QVERIFY(tp.opener.opened.isEmpty());
        m.w->close();
    }
    // The next start: a list held back is still held back (the saves did not vouch for it), and what
    // ran does not run again.
    Window again(tp);
    QCoreApplication::processEvents();
    QTRY_COMPARE(closer.seen.size(), runs ? int(asked) : 2);
    runTenSeconds(again);
    QCOMPARE(startedSoFar(), runs ? started : QStringList());
}

QTEST_MAIN(TestKeepTasks)
#include "tst_keeptasks.moc"
