// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CommonDialog.h"
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/TodoPage.h"
#include "widgets/ClickLabel.h"
#include "widgets/ListBoxW.h"
#include "widgets/TextBoxW.h"

#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

class TestTodoPage : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tickRunsOnlyWhileATimerIsArmed_data();
    void tickRunsOnlyWhileATimerIsArmed();
    void tickRepaintsOnlyEntriesWhoseTextChanged_data();
    void tickRepaintsOnlyEntriesWhoseTextChanged();
    void countdownFromTheEditorFiresAfterItsTime();
    void clockTimeAndNoTimerEntries();
    void fieldsClampAndAcceptDigitsOnly();
    void editorResetsAfterAdding();
    void firedTaskSavesBeforeItsMessage();
    void powerActionsInBothColumns_data();
    void powerActionsInBothColumns();
    void commandAndFileActions();
    void musicReminderPlaysSnoozesAndStops();
    void snoozeFindsItsTaskAfterTheListChanged();
    void secondReminderOpensWhileFirstIsShown();
    void notificationButtonsReachTheWindow_data();
    void notificationButtonsReachTheWindow();
    void presetsAddTheirTasks_data();
    void presetsAddTheirTasks();
    void presetPanelDisablesContentBox();
    void listOperations();
    void wheelStepsMarkedFieldsOnly();
    void ctrlWheelZoomsEditorOnly();
    void browseButtonsTakeDialogAnswer();
    void repeatRow_data();
    void repeatRow();
    void lateShutDownAsksFirst_data();
    void lateShutDownAsksFirst();

private:
    /// A one-minute countdown that plays song, added through the editor as a user does.
    void addMusicReminder(const QString& content, const QString& song)
    {
        CommonDialog::setNextFileName(song);
        click(QStringLiteral("SButton5_0"));
        click(QStringLiteral("Label4_1"));
        type(QStringLiteral("TxtMinute"), QStringLiteral("1"));
        click(QStringLiteral("SButton5_1"));
        click(QStringLiteral("Label5_2"));
        click(QStringLiteral("Label7_0"));
        add(content);
    }
    void page() { QTest::mouseClick(widget(QStringLiteral("Picture5")), Qt::LeftButton); }
    QWidget* widget(const QString& name) { return control<QWidget>(w.get(), name); }
    TextBoxW* box(const QString& name) { return control<TextBoxW>(w.get(), name); }
    QString label(const QString& name) { return control<QLabel>(w.get(), name)->text(); }
    void click(const QString& name) { QTest::mouseClick(widget(name), Qt::LeftButton); }
    void type(const QString& name, const QString& text)
    {
        TextBoxW* b = box(name);
        b->setFocus();
        b->selectAll();
        QTest::keyClicks(b, text);
    }
    void add(const QString& content)
    {
        TextBoxW* t = box(QStringLiteral("Text3"));
        t->setFocus();
        t->setText(content);
        QTest::keyClick(t, Qt::Key_Return);
    }
    void ticks(int count)
    {
        for (int i = 0; i < count; ++i) {
            tp->clock.advanceMs(1000);
            w->todoPage()->engine().tick();
        }
    }
    // A wheel turn as the window system delivers it: to the window, over the target's centre.
    void wheel(QWidget* target, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF pos = target->mapTo(w.get(), QPointF(target->width() / 2.0, target->height() / 2.0));
        QWheelEvent event(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(w->windowHandle(), &event);
    }
    QStringList entries() { return control<ListBoxW>(w.get(), QStringLiteral("List2"))->items(); }

    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<FrmMain> w;
};

void TestTodoPage::init()
{
    tp = std::make_unique<TestPlatform>();
    w = std::make_unique<FrmMain>(tp->platform());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    page();
}

void TestTodoPage::cleanup()
{
    CommonDialog::clearNextFileNames();
    w.reset();
    tp.reset();
}

void TestTodoPage::tickRunsOnlyWhileATimerIsArmed_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("running");    // Timer1, every second
    QTest::addColumn<qint64>("wakeInMs"); // the one wake asked for, from now; -1 none
    QTest::newRow("no task") << "" << false << qint64(-1);
    QTest::newRow("no timer") << "none" << false << qint64(-1);
    QTest::newRow("countdown") << "countdown" << true << qint64(-1);
    QTest::newRow("clock time") << "clock" << true << qint64(-1);
    QTest::newRow("countdown fell due") << "countdown,due" << false << qint64(-1);
    QTest::newRow("fell due, snoozed") << "countdown,due,snooze" << true << qint64(-1);
    QTest::newRow("marked done") << "countdown,toggle" << false << qint64(-1);
    QTest::newRow("removed") << "countdown,remove" << false << qint64(-1);
    QTest::newRow("held back") << "held" << false << qint64(-1);
    QTest::newRow("held back, then armed") << "held,arm" << true << qint64(-1);
    QTest::newRow("window closed") << "countdown,close" << false << qint64(-1);
    QTest::newRow("notes page: wakes when due") << "page,countdown" << false << qint64(2000);
    QTest::newRow("notes page: clock time, next minute") << "page,clock" << false << qint64(60000);
    QTest::newRow("notes page and back") << "page,countdown,page" << true << qint64(-1);
    QTest::newRow("minimized") << "countdown,minimize" << false << qint64(2000);
}

void TestTodoPage::tickRunsOnlyWhileATimerIsArmed()
{
    QFETCH(QString, steps);
    QFETCH(bool, running);
    QFETCH(qint64, wakeInMs);
    auto* timer = w->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
    TaskEngine& engine = w->todoPage()->engine();
    ModalCloser closer;
    for (const QString& step : steps.split(u',', Qt::SkipEmptyParts)) {
        if (step == QLatin1String("none"))
            engine.addTask(
                {QStringLiteral("t"), noTimerText(), TaskStatus::Pending, TaskAction::Message, {}});
        else if (step == QLatin1String("countdown"))
            engine.addTask({QStringLiteral("t"), QStringLiteral("-00:00:02"), 0, TaskAction::Message, {}});
        else if (step == QLatin1String("clock"))
            engine.addTask({QStringLiteral("t"), QStringLiteral("+07:30"), 0, TaskAction::Message, {}});
        else if (step == QLatin1String("due"))
            ticks(2);
        else if (step == QLatin1String("snooze"))
            engine.snooze(0);
        else if (step == QLatin1String("toggle"))
            engine.ToggleTaskDone(0);
        else if (step == QLatin1String("remove"))
            engine.RemoveTask(0);
        else if (step == QLatin1String("held"))
            engine.restoreTasks({{{QStringLiteral("t"), QStringLiteral("-00:05:00"), 0, TaskAction::Command,
                                   QStringLiteral("x")},
                                  {},
                                  true}});
        else if (step == QLatin1String("arm"))
            engine.armHeldTasks();
        else if (step == QLatin1String("close"))
            w->close();
        else if (step == QLatin1String("page"))
            page();
        else if (step == QLatin1String("minimize"))
            w->showMinimized();
    }
    QCOMPARE(timer->isActive(), running);
    QCOMPARE(tp->wakeTimer.requested, wakeInMs < 0 ? -1 : tp->clock.monotonicMs() + wakeInMs);
}

void TestTodoPage::tickRepaintsOnlyEntriesWhoseTextChanged_data()
{
    QTest::addColumn<QStringList>("times"); // one task per entry
    QTest::addColumn<QList<int>>("repainted");
    QTest::newRow("one countdown") << QStringList{"-00:10:00"} << QList<int>{0};
    QTest::newRow("countdowns around a task without timer")
        << QStringList{"-00:10:00", "------", "-01:00:00"} << QList<int>{0, 2};
    QTest::newRow("clock time waits unchanged") << QStringList{"+23:30", "------"} << QList<int>{};
}

void TestTodoPage::tickRepaintsOnlyEntriesWhoseTextChanged()
{
    QFETCH(QStringList, times);
    QFETCH(QList<int>, repainted);
    for (const QString& time : times)
        w->todoPage()->engine().addTask({QStringLiteral("t"), time, time == noTimerText() ? 2 : 0, 1, {}});
    auto* list = control<ListBoxW>(w.get(), QStringLiteral("List2"));
    QTest::qWait(50); // the additions are drawn
    // Everything drawn in the window from here on, widget by widget, in window coordinates.
    struct Recorder : QObject
    {
        QRegion painted;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                auto* widget = static_cast<QWidget*>(watched);
                painted |= static_cast<QPaintEvent*>(event)->region().translated(
                    widget->mapTo(widget->window(), QPoint()));
            }
            return false;
        }
    } recorder;
    const QList<QWidget*> widgets = w->findChildren<QWidget*>() << w.get();
    for (QWidget* widget : widgets)
        widget->installEventFilter(&recorder);
    ticks(1);
    QTest::qWait(50);
    // Each changed entry is drawn again, within its own row: the digits that changed, not the row.
    QRegion rows;
    for (int row : repainted) {
        const QRect rect = list->visualRect(list->model()->index(row, 0))
                               .translated(list->viewport()->mapTo(w.get(), QPoint()));
        QVERIFY(recorder.painted.intersects(rect));
        QVERIFY((recorder.painted & rect) != QRegion(rect));
        rows |= rect;
    }
    QCOMPARE(recorder.painted - rows, QRegion());
    QCOMPARE(recorder.painted.isEmpty(), repainted.isEmpty());
}

void TestTodoPage::countdownFromTheEditorFiresAfterItsTime()
{
    click(QStringLiteral("SButton5_0"));
    QVERIFY(widget(QStringLiteral("Picture12_0"))->isVisible());
    click(QStringLiteral("Label4_1"));
    type(QStringLiteral("TxtHour"), QStringLiteral("1"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("30"));
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间：-01:30"));
    add(QStringLiteral("abc"));
    QCOMPARE(entries(), QStringList{QStringLiteral("【-01:30:00】abc")});
    ModalCloser closer;
    ticks(1);
    QCOMPARE(entries(), QStringList{QStringLiteral("【-01:29:59】abc")});
    ticks(5398);
    QCOMPARE(entries(), QStringList{QStringLiteral("【-00:00:01】abc")});
    QVERIFY(closer.seen.isEmpty());
    ticks(1);
    QCOMPARE(entries(), QStringList{QStringLiteral("【已完成】abc")});
    QCOMPARE(closer.seen, QStringList{QStringLiteral("FrmMessage")});
    ticks(120);
    QCOMPARE(closer.seen.size(), 1);
}

void TestTodoPage::clockTimeAndNoTimerEntries()
{
    tp->clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(7, 29, 58)));
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_0"));
    type(QStringLiteral("TxtHour"), QStringLiteral("7"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("30"));
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间：+07:30"));
    add(QStringLiteral("起床"));
    QCOMPARE(entries().last(), QStringLiteral("【+07:30】起床"));
    // A countdown of 00:00 is no timer, and an empty content a default one.
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间：-00:00"));
    add(QStringLiteral("   "));
    QCOMPARE(entries().last(), QStringLiteral("【待完成】待办任务"));
    ModalCloser closer;
    ticks(1);
    QVERIFY(closer.seen.isEmpty());
    ticks(1);
    QCOMPARE(closer.seen, QStringList{QStringLiteral("FrmMessage")});
    QCOMPARE(entries(),
             (QStringList{QStringLiteral("【已完成】起床"), QStringLiteral("【待完成】待办任务")}));
}

void TestTodoPage::fieldsClampAndAcceptDigitsOnly()
{
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("75"));
    QCOMPARE(box(QStringLiteral("TxtMinute"))->text(), QStringLiteral("59"));
    type(QStringLiteral("TxtHour"), QStringLiteral("a9x9z"));
    QCOMPARE(box(QStringLiteral("TxtHour"))->text(), QStringLiteral("23"));
    type(QStringLiteral("TxtHour"), QStringLiteral("123"));
    QCOMPARE(box(QStringLiteral("TxtHour"))->text(), QStringLiteral("12"));
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间：-12:59"));
    box(QStringLiteral("TxtMinute"))->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("4 5 6"));
    box(QStringLiteral("TxtMinute"))->paste();
    QCOMPARE(box(QStringLiteral("TxtMinute"))->text(), QStringLiteral("45"));
    box(QStringLiteral("Text3"))->setFocus();
    QTest::keyClicks(box(QStringLiteral("Text3")), QString(40, u'x'));
    QCOMPARE(box(QStringLiteral("Text3"))->text().size(), 27);
}

void TestTodoPage::editorResetsAfterAdding()
{
    click(QStringLiteral("SButton5_1"));
    QVERIFY(widget(QStringLiteral("Picture12_1"))->isVisible());
    QVERIFY(!widget(QStringLiteral("Picture12_0"))->isVisible());
    click(QStringLiteral("Label5_4"));
    QCOMPARE(label(QStringLiteral("Label2_6")), QStringLiteral("动作：执行命令"));
    QVERIFY(widget(QStringLiteral("TxtCmd"))->isVisible());
    QVERIFY(!widget(QStringLiteral("TxtPrompt"))->isVisible());
    type(QStringLiteral("TxtCmd"), QStringLiteral("echo hi"));
    click(QStringLiteral("Label5_0"));
    click(QStringLiteral("Label6_2"));
    QCOMPARE(control<QWidget>(w.get(), QStringLiteral("Label5_0"))->property("Tag").toString(),
             QStringLiteral("2"));
    add(QStringLiteral("x"));
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间： --:--"));
    QCOMPARE(label(QStringLiteral("Label2_6")), QStringLiteral("动作：弹出提示"));
    QVERIFY(control<ClickLabel>(w.get(), QStringLiteral("Label5_1"))->isChosen());
    QVERIFY(control<ClickLabel>(w.get(), QStringLiteral("Label6_0"))->isChosen());
    QVERIFY(control<ClickLabel>(w.get(), QStringLiteral("Label4_2"))->isChosen());
    QVERIFY(!widget(QStringLiteral("Picture12_0"))->isVisible());
    QVERIFY(!widget(QStringLiteral("Picture12_1"))->isVisible());
    QCOMPARE(box(QStringLiteral("TxtCmd"))->text(), QString());
    QCOMPARE(box(QStringLiteral("Text3"))->text(), QString());
    QCOMPARE(box(QStringLiteral("TxtHour"))->text(), QStringLiteral("00"));
    QCOMPARE(w->todoPage()->engine().task(0).ActionKind, 0);
    QCOMPARE(w->todoPage()->engine().task(0).ActionArg, QStringLiteral("2"));
}

void TestTodoPage::firedTaskSavesBeforeItsMessage()
{
    page();
    box(QStringLiteral("Text1"))->setText(QStringLiteral("my note"));
    page();
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("1"));
    add(QStringLiteral("泡面"));
    ModalCloser closer;
    QByteArray noteAtMessage;
    QString title;
    QString message;
    closer.inspect = [&](QWidget* modal) {
        noteAtMessage = readFile(tp->path(QStringLiteral("Notes/1.txt")));
        title = control<QLabel>(modal, QStringLiteral("LblFormTitle"))->text();
        message = control<QLabel>(modal, QStringLiteral("LblMessage"))->text();
    };
    ticks(60);
    QCOMPARE(closer.seen, QStringList{QStringLiteral("FrmMessage")});
    QCOMPARE(noteAtMessage, utf8WithBom(QStringLiteral("my note")));
    QCOMPARE(title, QStringLiteral("泡面"));
    QCOMPARE(message, QStringLiteral("泡面"));
    QCOMPARE(tp->sound.played, QStringList{tp->path(QStringLiteral("Sounds/Alarm.wav"))});
}

void TestTodoPage::powerActionsInBothColumns_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("command");
    QTest::newRow("countdown shut down") << 1 << 0 << QStringList{"shutdown", "-h", "now"};
    QTest::newRow("countdown hibernate") << 1 << 1 << QStringList{"systemctl", "hibernate"};
    QTest::newRow("countdown restart") << 1 << 2 << QStringList{"shutdown", "-r", "now"};
    QTest::newRow("clock shut down") << 0 << 0 << QStringList{"shutdown", "-h"};
    QTest::newRow("clock hibernate") << 0 << 1 << QStringList{"systemctl", "hibernate"};
    QTest::newRow("clock restart") << 0 << 2 << QStringList{"shutdown", "-r"};
}

void TestTodoPage::powerActionsInBothColumns()
{
    QFETCH(int, mode);
    QFETCH(int, code);
    QFETCH(QStringList, command);
    // At midnight a one-minute countdown and the clock time 00:01 fall due together.
    tp->clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0)));
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_%1").arg(mode));
    type(QStringLiteral("TxtMinute"), QStringLiteral("1"));
    click(QStringLiteral("SButton5_1"));
    click(QStringLiteral("Label5_0"));
    click(QStringLiteral("Label6_%1").arg(code));
    add(QStringLiteral("power"));
    ticks(59);
    QVERIFY(tp->launcher.launches.isEmpty());
    ticks(1);
    QCOMPARE(tp->launcher.launches.size(), 1);
    QCOMPARE(QStringList{tp->launcher.launches[0].program} + tp->launcher.launches[0].arguments, command);
    QVERIFY(QFile::exists(tp->path(QStringLiteral("Config.ini"))));
}

void TestTodoPage::commandAndFileActions()
{
    const QString file = tp->path(QStringLiteral("a b/notes.txt"));
    writeFile(file, "x");
    CommonDialog::setNextFileName(file);
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("1"));
    click(QStringLiteral("SButton5_1"));
    click(QStringLiteral("Label5_4"));
    type(QStringLiteral("TxtCmd"), QStringLiteral("notify-send 'hi there'"));
    add(QStringLiteral("cmd"));
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("1"));
    click(QStringLiteral("SButton5_1"));
    click(QStringLiteral("Label5_3"));
    click(QStringLiteral("Label7_1"));
    QCOMPARE(label(QStringLiteral("Label9")), file);
    add(QStringLiteral("file"));
    // What TxtCmd holds later does not matter: the task keeps its own command.
    click(QStringLiteral("SButton5_1"));
    click(QStringLiteral("Label5_4"));
    type(QStringLiteral("TxtCmd"), QStringLiteral("rm -rf /tmp/never"));
    ticks(60);
    QCOMPARE(tp->launcher.launches.size(), 1);
    QCOMPARE(tp->launcher.launches[0].program, QStringLiteral("sh"));
    QCOMPARE(tp->launcher.launches[0].arguments, (QStringList{"-c", "notify-send 'hi there'"}));
    QCOMPARE(tp->opener.opened, QList<QUrl>{QUrl::fromLocalFile(file)});
    QCOMPARE(entries(), (QStringList{QStringLiteral("【已完成】cmd"), QStringLiteral("【已完成】file")}));
}

void TestTodoPage::musicReminderPlaysSnoozesAndStops()
{
    const QString song = tp->path(QStringLiteral("song.mp3"));
    addMusicReminder(QStringLiteral("nap"), song);
    ModalCloser closer;
    int snoozes = 0;
    QString title;
    closer.inspect = [&](QWidget* modal) {
        title = control<QLabel>(modal, QStringLiteral("LblFormTitle"))->text();
        QCOMPARE(modal->property("Tag").toString(), QStringLiteral("0"));
        if (snoozes < 2) {
            ++snoozes;
            QTest::mouseClick(control<QWidget>(modal, QStringLiteral("Label1_1")), Qt::LeftButton);
        } else {
            QTest::mouseClick(control<QWidget>(modal, QStringLiteral("Label1_0")), Qt::LeftButton);
        }
    };
    ticks(60);
    QCOMPARE(title, QStringLiteral("提醒"));
    QCOMPARE(entries(), QStringList{QStringLiteral("【-00:05:00】nap")});
    ticks(1);
    QCOMPARE(entries(), QStringList{QStringLiteral("【-00:04:59】nap")});
    ticks(299);
    QCOMPARE(entries(), QStringList{QStringLiteral("【-00:05:00】nap")});
    ticks(300);
    QCOMPARE(entries(), QStringList{QStringLiteral("【已完成】nap")});
    QCOMPARE(tp->media.log.played, QStringList(3, song));
    QCOMPARE(tp->media.log.volumes, (QList<float>{0.5f, 0.5f, 0.5f}));
    QCOMPARE(tp->media.log.stops, 3);
    QVERIFY(tp->sound.played.isEmpty()); // the music window rings no alarm
}

void TestTodoPage::snoozeFindsItsTaskAfterTheListChanged()
{
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_2"));
    add(QStringLiteral("first"));
    addMusicReminder(QStringLiteral("nap"), tp->path(QStringLiteral("song.mp3")));
    ModalCloser closer;
    closer.inspect = [&](QWidget* reminder) {
        // The task above goes while the reminder waits; its snooze still means the nap.
        w->todoPage()->engine().RemoveTask(0);
        QTest::mouseClick(control<QWidget>(reminder, QStringLiteral("Label1_1")), Qt::LeftButton);
    };
    ticks(60);
    QTRY_COMPARE(entries(), QStringList{QStringLiteral("【-00:05:00】nap")});
}

void TestTodoPage::secondReminderOpensWhileFirstIsShown()
{
    for (const char* minutes : {"1", "2"}) {
        click(QStringLiteral("SButton5_0"));
        click(QStringLiteral("Label4_1"));
        type(QStringLiteral("TxtMinute"), QLatin1String(minutes));
        add(QStringLiteral("task %1").arg(QLatin1String(minutes)));
    }
    ModalCloser closer;
    QStringList titles;
    QString whileOpen;
    closer.inspect = [&](QWidget* modal) {
        titles << control<QLabel>(modal, QStringLiteral("LblFormTitle"))->text();
        if (titles.size() == 1) {
            // The first window is still open: the list keeps counting and the next one opens on
            // top of it (closed by a closer of its own, as a timer never re-enters itself).
            ModalCloser inner;
            inner.inspect = [&](QWidget* second) {
                titles << control<QLabel>(second, QStringLiteral("LblFormTitle"))->text();
            };
            ticks(30);
            whileOpen = entries().at(1);
            ticks(30);
        }
    };
    ticks(60);
    QCOMPARE(whileOpen, QStringLiteral("【-00:00:30】task 2"));
    QCOMPARE(titles, (QStringList{QStringLiteral("task 1"), QStringLiteral("task 2")}));
    QCOMPARE(entries(),
             (QStringList{QStringLiteral("【已完成】task 1"), QStringLiteral("【已完成】task 2")}));
    ticks(120);
    QCOMPARE(titles.size(), 2);
}

void TestTodoPage::notificationButtonsReachTheWindow_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("entry");
    QTest::newRow("message, snooze") << int(TaskAction::Message) << "snooze"
                                     << "【-00:05:00】t";
    QTest::newRow("message, got it") << int(TaskAction::Message) << "close"
                                     << "【已完成】t";
    QTest::newRow("music, snooze") << int(TaskAction::Music) << "snooze"
                                   << "【-00:05:00】t";
    QTest::newRow("music, stop") << int(TaskAction::Music) << "close"
                                 << "【已完成】t";
}

void TestTodoPage::notificationButtonsReachTheWindow()
{
    QFETCH(int, kind);
    QFETCH(QString, key);
    QFETCH(QString, entry);
    w->todoPage()->engine().addTask(
        {QStringLiteral("t"), QStringLiteral("-00:00:02"), 0, kind, QStringLiteral("/m/a.wav")});
    bool closedByButton = false;
    ModalCloser closer;
    closer.inspect = [&](QWidget* modal) {
        QCOMPARE(tp->notifier.posted.size(), 1);
        for (const Notifier::Action& action : tp->notifier.posted.first().actions) {
            if (action.key == key)
                action.invoked();
        }
        closedByButton = !modal->isVisible();
    };
    ticks(2);
    QCOMPARE(closer.seen.size(), 1);
    QVERIFY(closedByButton);
    QCOMPARE(entries(), QStringList{entry});
    QCOMPARE(tp->notifier.withdrawn, QList<Notifier::Ticket>{tp->notifier.posted.first().ticket});
    if (kind == TaskAction::Music)
        QCOMPARE(tp->media.log.stops, 1);
}

void TestTodoPage::presetsAddTheirTasks_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("argument");
    QTest::newRow("0") << 0 << "【-00:05:00】泡上一碗热气腾腾的泡面。" << 1
                       << "香喷喷的面泡好咯！赶紧开动吧！";
    QTest::newRow("1") << 1 << "【-00:10:00】发烧了，测量一下体温。" << 1
                       << "可以拿出体温计了，记得多喝水哟！";
    QTest::newRow("2") << 2 << "【-00:15:00】有点疲劳，做些活动放松下。" << 1
                       << "放松时间到了，接着努力工作吧！";
    QTest::newRow("3") << 3 << "【-00:40:00】稍微有些困了，小憩一会儿。" << 2 << "Sounds/Alarm.wav";
    QTest::newRow("4") << 4 << "【-01:00:00】领导通知一会儿到会议室开会。" << 1
                       << "会议要开始了，赶快去参加吧！";
    QTest::newRow("5") << 5 << "【-00:30:00】等下自动关闭电脑。" << 0 << "0";
    QTest::newRow("6") << 6 << "【-03:00:00】炖了一锅汤，等会儿记得关火。" << 1
                       << "汤炖得差不多好了，去关火吧。";
}

void TestTodoPage::presetsAddTheirTasks()
{
    QFETCH(int, index);
    QFETCH(QString, entry);
    QFETCH(int, kind);
    QFETCH(QString, argument);
    if (kind == 2)
        argument = tp->path(argument);
    click(QStringLiteral("SButton4"));
    QVERIFY(widget(QStringLiteral("Picture11"))->isVisible());
    click(QStringLiteral("SButton6_%1").arg(index));
    QCOMPARE(entries(), QStringList{entry});
    const TaskItem& task = w->todoPage()->engine().task(0);
    QCOMPARE(task.ActionKind, kind);
    QCOMPARE(task.ActionArg, argument);
    QVERIFY(!widget(QStringLiteral("Picture11"))->isVisible());
    QVERIFY(box(QStringLiteral("Text3"))->isEnabled());
    QCOMPARE(box(QStringLiteral("Text3"))->text(), QString());
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间： --:--"));
}

void TestTodoPage::presetPanelDisablesContentBox()
{
    click(QStringLiteral("SButton4"));
    QVERIFY(!box(QStringLiteral("Text3"))->isEnabled());
    click(QStringLiteral("SButton5_0"));
    QVERIFY(!widget(QStringLiteral("Picture11"))->isVisible());
    QVERIFY(!box(QStringLiteral("Text3"))->isEnabled()); // only "常用" gives it back
    click(QStringLiteral("SButton4"));
    click(QStringLiteral("SButton4"));
    QVERIFY(box(QStringLiteral("Text3"))->isEnabled());
    // The settings button hides the page's panels.
    click(QStringLiteral("SButton5_1"));
    click(QStringLiteral("Picture4"));
    QVERIFY(!widget(QStringLiteral("Picture12_1"))->isVisible());
    QVERIFY(widget(QStringLiteral("Picture9"))->isVisible());
    click(QStringLiteral("SButton5_0"));
    QVERIFY(!widget(QStringLiteral("Picture9"))->isVisible());
}

void TestTodoPage::listOperations()
{
    auto* list = control<ListBoxW>(w.get(), QStringLiteral("List2"));
    click(QStringLiteral("Picture10_1")); // nothing to remove
    click(QStringLiteral("Picture10_2"));
    QVERIFY(entries().isEmpty());
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    type(QStringLiteral("TxtMinute"), QStringLiteral("5"));
    add(QStringLiteral("a"));
    for (const char* name : {"b", "c", "d", "e"})
        add(QLatin1String(name));
    ticks(48);
    QCOMPARE(entries().at(0), QStringLiteral("【-00:04:12】a"));
    doubleClickRow(list, 0);
    QCOMPARE(entries().at(0), QStringLiteral("【已完成】a"));
    doubleClickRow(list, 0);
    QCOMPARE(entries().at(0), QStringLiteral("【待完成】a"));
    ticks(10);
    QCOMPARE(entries().at(0), QStringLiteral("【待完成】a")); // the countdown never resumes
    doubleClickRow(list, 0);
    doubleClickRow(list, 2);
    doubleClickRow(list, 3);
    // done, pending, done, done, pending
    click(QStringLiteral("Picture10_2"));
    QCOMPARE(entries(), (QStringList{QStringLiteral("【待完成】b"), QStringLiteral("【待完成】e")}));
    clickRow(list, 0);
    box(QStringLiteral("Text3"))->setFocus();
    QCOMPARE(list->ListIndex(), -1);
    click(QStringLiteral("Picture10_1"));
    QCOMPARE(entries().size(), 2);
    clickRow(list, 0);
    click(QStringLiteral("Picture10_1"));
    QCOMPARE(entries(), QStringList{QStringLiteral("【待完成】e")});
    click(QStringLiteral("Picture10_3"));
    QVERIFY(entries().isEmpty());
    QCOMPARE(w->todoPage()->engine().TaskCount(), 0);
}

void TestTodoPage::wheelStepsMarkedFieldsOnly()
{
    click(QStringLiteral("SButton5_0"));
    click(QStringLiteral("Label4_1"));
    TextBoxW* hour = box(QStringLiteral("TxtHour"));
    TextBoxW* minute = box(QStringLiteral("TxtMinute"));
    wheel(hour->viewport(), -120);
    QCOMPARE(hour->text(), QStringLiteral("00")); // not marked yet
    pointerTo(hour->viewport());
    QCOMPARE(hour->tag(), QStringLiteral("1"));
    QCOMPARE(hour->foreColor(), QColor(Qt::black));
    hour->setText(QStringLiteral("9"));
    wheel(hour->viewport(), -120);
    QCOMPARE(hour->text(), QStringLiteral("10"));
    QCOMPARE(label(QStringLiteral("Label2_5")), QStringLiteral("时间：-10:00"));
    // The mark stays while the pointer moves on without crossing the fields' box.
    wheel(widget(QStringLiteral("List2")), 120);
    QCOMPARE(hour->text(), QStringLiteral("09"));
    hour->setText(QStringLiteral("23"));
    wheel(hour->viewport(), -120);
    QCOMPARE(hour->text(), QStringLiteral("23"));
    pointerTo(minute->viewport());
    minute->setText(QStringLiteral("10"));
    wheel(minute->viewport(), 120);
    QCOMPARE(minute->text(), QStringLiteral("09"));
    QCOMPARE(hour->text(), QStringLiteral("22")); // both marked: one turn steps both
    pointerTo(widget(QStringLiteral("Picture13")), QPoint(2, 2));
    QCOMPARE(hour->tag(), QStringLiteral("0"));
    // A value the wheel gave stays in the text colour.
    QCOMPARE(minute->foreColor(), QColor(Qt::black));
    wheel(minute->viewport(), 120);
    QCOMPARE(minute->text(), QStringLiteral("09"));
    minute->setText(QStringLiteral("00"));
    pointerTo(minute->viewport());
    wheel(minute->viewport(), 120);
    QCOMPARE(minute->text(), QStringLiteral("00"));
}

void TestTodoPage::ctrlWheelZoomsEditorOnly()
{
    page(); // back to the notes page
    TextBoxW* editor = box(QStringLiteral("Text1"));
    QString longText;
    for (int i = 0; i < 200; ++i)
        longText += QStringLiteral("line %1\r\n").arg(i);
    editor->setText(longText);
    editor->setFocus();
    QCOMPARE(w->editorFontSize(), 11.25);
    pointerTo(editor->viewport());
    // No Ctrl: the editor scrolls and the size stays.
    const int scrolled = editor->verticalScrollBar()->value();
    wheel(editor->viewport(), -120);
    QCOMPARE(w->editorFontSize(), 11.25);
    QVERIFY(editor->verticalScrollBar()->value() > scrolled);
    QTest::keyPress(editor, Qt::Key_Control, Qt::ControlModifier);
    QVERIFY(w->ctrlHeld());
    const int before = editor->verticalScrollBar()->value();
    const double sizes[] = {9.25, 7.25, 5.25, 3.25, 3.25};
    for (double size : sizes) {
        wheel(editor->viewport(), -120, Qt::ControlModifier);
        QCOMPARE(w->editorFontSize(), size);
    }
    QCOMPARE(editor->verticalScrollBar()->value(), before);
    wheel(editor->viewport(), 120, Qt::ControlModifier);
    QCOMPARE(w->editorFontSize(), 5.25);
    QFont big = editor->font();
    big.setPointSizeF(255.25);
    editor->setFont(big);
    wheel(editor->viewport(), 120, Qt::ControlModifier);
    QCOMPARE(w->editorFontSize(), 257.25);
    wheel(editor->viewport(), 120, Qt::ControlModifier);
    QCOMPARE(w->editorFontSize(), 257.25);
    // Over the bare window, not the editor: no zoom.
    pointerTo(w.get(), QPoint(200, 2));
    wheel(editor->viewport(), -120, Qt::ControlModifier);
    QCOMPARE(w->editorFontSize(), 257.25);
}

void TestTodoPage::browseButtonsTakeDialogAnswer()
{
    click(QStringLiteral("SButton5_1"));
    click(QStringLiteral("Label5_2"));
    CommonDialog::setNextFileName(QStringLiteral("/music/a b.mp3"));
    CommonDialog::setNextFileName(QString());
    click(QStringLiteral("Label7_0"));
    QCOMPARE(label(QStringLiteral("Label8")), QStringLiteral("/music/a b.mp3"));
    click(QStringLiteral("Label7_0")); // cancelled: unchanged
    QCOMPARE(label(QStringLiteral("Label8")), QStringLiteral("/music/a b.mp3"));
    QCOMPARE(CommonDialog::askedCount(), 2);
}

void TestTodoPage::repeatRow_data()
{
    // Steps in the time panel, opened by its button first: "click X", "type X text", "key X Key"
    // (a key pressed with the keyboard on X). Then the timer line, the repeat item shown chosen
    // and the entry the content 起床 is added with.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("timerLine");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("entry");
    const QStringList at0730 = {"click Label4_0", "type TxtHour 7", "type TxtMinute 30"};
    // clang-format off
    QTest::newRow("只一次 by default") << at0730 << "时间：+07:30" << "RepeatChoice_0" << "【+07:30】起床";
    QTest::newRow("每天") << at0730 + QStringList{"click RepeatChoice_1"} << "时间：+07:30 每天" << "RepeatChoice_1" << "【+07:30 每天】起床";
    QTest::newRow("法定工作日") << at0730 + QStringList{"click RepeatChoice_3"} << "时间：+07:30 法定" << "RepeatChoice_3" << "【+07:30 法定工作日】起床";
    QTest::newRow("arrows move along the row") << at0730 + QStringList{"key RepeatChoice_0 Right", "key RepeatChoice_1 Right"}
        << "时间：+07:30 工作日" << "RepeatChoice_2" << "【+07:30 工作日】起床";
    // 2024-03-05, the fake clock's day, is a Tuesday: 自选 starts from it.
    QTest::newRow("自选 by keys") << at0730 + QStringList{"key RepeatChoice_0 Left", "key WeekdayToggle_4 Space", "key WeekdayToggle_7 Space"}
        << "时间：+07:30 二四日" << "RepeatChoice_4" << "【+07:30 二四日】起床";
    QTest::newRow("自选 keeps its last day") << at0730 + QStringList{"click RepeatChoice_4", "click WeekdayToggle_2", "click WeekdayToggle_1", "click WeekdayToggle_2"}
        << "时间：+07:30 一" << "RepeatChoice_4" << "【+07:30 一】起床";
    QTest::newRow("自选 of many days is short") << at0730 + QStringList{"click RepeatChoice_4", "click WeekdayToggle_1", "click WeekdayToggle_3", "click WeekdayToggle_5"}
        << "时间：+07:30 自选" << "RepeatChoice_4" << "【+07:30 一二三五】起床";
    QTest::newRow("循环 of a countdown") << QStringList{"click Label4_1", "type TxtMinute 45", "click RepeatChoice_5"}
        << "时间：-00:45 循环" << "RepeatChoice_5" << "【-00:45:00 循环】起床";
    QTest::newRow("a mode change drops what it does not offer") << at0730 + QStringList{"click RepeatChoice_1", "click Label4_1"}
        << "时间：-07:30" << "RepeatChoice_0" << "【-07:30:00】起床";
    QTest::newRow("无计时 has no repeat") << at0730 + QStringList{"click RepeatChoice_2", "click Label4_2"}
        << "时间： --:--" << "RepeatChoice_0" << "【待完成】起床";
    // clang-format on
}

void TestTodoPage::repeatRow()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, timerLine);
    QFETCH(QString, chosen);
    QFETCH(QString, entry);
    click(QStringLiteral("SButton5_0"));
    for (const QString& step : std::as_const(steps)) {
        const QStringList part = step.split(u' ');
        if (part.at(0) == QLatin1String("click")) {
            QVERIFY2(widget(part.at(1))->isVisible(), qPrintable(step));
            click(part.at(1));
        } else if (part.at(0) == QLatin1String("type")) {
            type(part.at(1), part.at(2));
        } else {
            QWidget* target = widget(part.at(1));
            target->setFocus(Qt::TabFocusReason);
            QTest::keyClick(target, part.at(2) == QLatin1String("Right")  ? Qt::Key_Right
                                    : part.at(2) == QLatin1String("Left") ? Qt::Key_Left
                                                                          : Qt::Key_Space);
        }
    }
    QCOMPARE(label(QStringLiteral("Label2_5")), timerLine);
    const bool countdown = control<ClickLabel>(w.get(), QStringLiteral("Label4_1"))->isChosen();
    const bool noTimer = control<ClickLabel>(w.get(), QStringLiteral("Label4_2"))->isChosen();
    for (int i = 0; i < 6; ++i) {
        auto* item = control<ClickLabel>(w.get(), QStringLiteral("RepeatChoice_%1").arg(i));
        QCOMPARE(item->isChosen(), item->objectName() == chosen);
        // A countdown offers 只一次 and 循环, a clock time all but 循环, no timer nothing.
        const bool offered = !noTimer && (i == 0 || (countdown ? i == 5 : i < 5));
        QCOMPARE(item->isVisible(), offered);
    }
    QCOMPARE(widget(QStringLiteral("WeekdayRow"))->isVisible(), chosen == QLatin1String("RepeatChoice_4"));
    add(QStringLiteral("起床"));
    QCOMPARE(entries(), QStringList{entry});
    // The editor starts again from 只一次.
    QVERIFY(control<ClickLabel>(w.get(), QStringLiteral("RepeatChoice_0"))->isChosen());
}

void TestTodoPage::lateShutDownAsksFirst_data()
{
    // A shut-down due in a minute, the computer asleep for sleep seconds, then a tick; answer is
    // the button pressed in the question, "" to close it as Escape does.
    QTest::addColumn<int>("sleep");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<int>("started");
    QTest::newRow("an hour late, closed") << 3600 << "" << QStringList{"LateTaskQuestion"} << 0;
    QTest::newRow("an hour late, 跳过") << 3600 << "skipLateTask" << QStringList{"LateTaskQuestion"} << 0;
    QTest::newRow("an hour late, 执行") << 3600 << "runLateTask" << QStringList{"LateTaskQuestion"} << 1;
    QTest::newRow("a minute late") << 120 << "" << QStringList() << 1;
}

void TestTodoPage::lateShutDownAsksFirst()
{
    QFETCH(int, sleep);
    QFETCH(QString, answer);
    QFETCH(QStringList, asked);
    QFETCH(int, started);
    w->todoPage()->engine().addTask(
        {QStringLiteral("关机"), QStringLiteral("-00:01:00"), TaskStatus::Running, TaskAction::Power, "0"});
    ModalCloser closer;
    QString question;
    closer.inspect = [&](QWidget* modal) {
        question = modal->findChild<QLabel*>() ? modal->findChild<QLabel*>()->text() : QString();
        if (!answer.isEmpty())
            QTest::mouseClick(modal->findChild<QPushButton*>(answer), Qt::LeftButton);
    };
    tp->clock.advanceMs(qint64(sleep) * 1000);
    w->todoPage()->engine().tick();
    QCOMPARE(closer.seen, asked);
    QCOMPARE(tp->launcher.launches.size(), started);
    QCOMPARE(entries(), QStringList{QStringLiteral("【已完成】关机")});
}

QTEST_MAIN(TestTodoPage)
#include "tst_todopage.moc"
