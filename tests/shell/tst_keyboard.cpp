// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/FrmMessage.h"
#include "tasks/TaskItem.h"
#include "tasks/TodoPage.h"
#include "widgets/ClickLabel.h"
#include "widgets/FocusRing.h"
#include "widgets/ImageButton.h"
#include "widgets/ListBoxW.h"
#include "widgets/SSwitch.h"
#include "widgets/TextBoxW.h"

#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

/// Everything the mouse does, from the keyboard: Tab order, the keys of each control, the window's keys.
class TestKeyboard : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tabWalksInReadingOrder_data();
    void tabWalksInReadingOrder();
    void keysDoWhatTheTableSays_data();
    void keysDoWhatTheTableSays();
    void focusOutlineOnlyWhileKeyboardIsUsed();
    void timeFieldsTakeWhatIsTyped_data();
    void timeFieldsTakeWhatIsTyped();
    void reminderLeavesTheKeyboardAlone();

private:
    /// Opens a page or panel as the mouse does: notes, list, listsel, quick, settings, todo, time,
    /// action, presets, tasks; removed is listsel after the selected note was removed.
    void setUp(const QString& state);
    QString fact(const QString& name);
    QWidget* widget(const QString& name) { return control<QWidget>(w.get(), name); }
    void click(const QString& name) { QTest::mouseClick(widget(name), Qt::LeftButton); }
    QWidget* focus() { return QApplication::focusWidget(); }
    void tab(bool forward);

    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<FrmMain> w;
};

void TestKeyboard::init()
{
    tp = std::make_unique<TestPlatform>();
    writeFile(tp->path(QStringLiteral("Notes/1.txt")), utf8WithBom(QStringLiteral("first")));
    writeFile(tp->path(QStringLiteral("Notes/2.txt")), utf8WithBom(QStringLiteral("second")));
    w = std::make_unique<FrmMain>(tp->platform());
    w->ensurePanels();
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
}

void TestKeyboard::cleanup()
{
    w.reset();
    tp.reset();
}

void TestKeyboard::setUp(const QString& state)
{
    if (state == QLatin1String("list") || state == QLatin1String("listsel") ||
        state == QLatin1String("removed")) {
        click(QStringLiteral("Picture1"));
        if (state != QLatin1String("list"))
            control<ListBoxW>(w.get(), QStringLiteral("List1"))->setListIndex(1);
        if (state == QLatin1String("removed"))
            click(QStringLiteral("Picture8_1"));
    } else if (state == QLatin1String("quick")) {
        w->ToggleQuickPanel();
    } else if (state == QLatin1String("settings")) {
        click(QStringLiteral("Picture4"));
    } else if (state != QLatin1String("notes")) {
        click(QStringLiteral("Picture5"));
        if (state == QLatin1String("time"))
            click(QStringLiteral("SButton5_0"));
        else if (state == QLatin1String("action"))
            click(QStringLiteral("SButton5_1"));
        else if (state == QLatin1String("presets"))
            click(QStringLiteral("SButton4"));
        else if (state == QLatin1String("tasks")) {
            w->todoPage()->engine().addTask(TaskItem{});
            control<ListBoxW>(w.get(), QStringLiteral("List2"))->setListIndex(0);
        }
    }
}

QString TestKeyboard::fact(const QString& name)
{
    const auto shown = [this](const char* object) {
        return QString::number(int(widget(QString::fromLatin1(object))->isVisible()));
    };
    const auto chosen = [this](const char* prefix, int count) {
        for (int i = 0; i < count; ++i) {
            if (control<ClickLabel>(w.get(), QStringLiteral("%1_%2").arg(QLatin1String(prefix)).arg(i))
                    ->isChosen())
                return QString::number(i);
        }
        return QStringLiteral("-");
    };
    if (name == QLatin1String("page"))
        return control<ImageButton>(w.get(), QStringLiteral("Picture5"))->tag().left(1);
    if (name == QLatin1String("list"))
        return QString::number(int(w->noteListOpen()));
    if (name == QLatin1String("settings"))
        return QString::number(int(w->settingsPanelOpen()));
    if (name == QLatin1String("quick"))
        return shown("Picture15");
    if (name == QLatin1String("time"))
        return shown("Picture12_0");
    if (name == QLatin1String("action"))
        return shown("Picture12_1");
    if (name == QLatin1String("presets"))
        return shown("Picture11");
    if (name == QLatin1String("focus"))
        return focus() ? focus()->objectName() : QString();
    if (name == QLatin1String("notes"))
        return QString::number(w->NoteCount());
    if (name == QLatin1String("current"))
        return QString::number(w->CurrentNote());
    if (name == QLatin1String("selected"))
        return QString::number(control<ListBoxW>(w.get(), QStringLiteral("List1"))->ListIndex());
    if (name == QLatin1String("switch1"))
        return QString::number(int(w->AutoRun()));
    if (name == QLatin1String("opened"))
        return QString::number(tp->opener.opened.size());
    if (name == QLatin1String("minimized"))
        return QString::number(int(w->isMinimized()));
    if (name == QLatin1String("settingsPicture"))
        return QString::number(control<ImageButton>(w.get(), QStringLiteral("Picture4"))->picture());
    if (name == QLatin1String("mode"))
        return chosen("Label4", 3);
    if (name == QLatin1String("kind"))
        return chosen("Label5", 5);
    if (name == QLatin1String("tasks"))
        return QString::number(w->todoPage()->engine().TaskCount());
    if (name == QLatin1String("done"))
        return QString::number(int(w->todoPage()->engine().task(0).Status == TaskStatus::Done));
    return QStringLiteral("unknown fact");
}

void TestKeyboard::tab(bool forward)
{
    // In a page of text Tab types a tab: Ctrl+Tab is the way out.
    const bool inText =
        qobject_cast<TextBoxW*>(focus()) && !static_cast<TextBoxW*>(focus())->tabChangesFocus();
    const Qt::KeyboardModifiers modifiers =
        (inText ? Qt::ControlModifier : Qt::NoModifier) | (forward ? Qt::NoModifier : Qt::ShiftModifier);
    QTest::keyClick(focus(), forward ? Qt::Key_Tab : Qt::Key_Backtab, modifiers);
}

void TestKeyboard::tabWalksInReadingOrder_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("order");
    const auto split = [](const char* names) { return QString::fromLatin1(names).split(u' '); };
    QTest::newRow("notes page") << "notes"
                                << split("Picture1 Picture5 Picture4 Picture3 Picture2 Text1 Picture1");
    QTest::newRow("note list") << "list"
                               << split("Picture1 Text2 Picture8_2 Picture8_1 Picture8_0 List1 Picture5 "
                                        "Picture4 Picture3 Picture2 Picture1");
    QTest::newRow("undo bar after a removal") << "removed" << split("List1 UndoButton Picture5");
    QTest::newRow("settings")
        << "settings" << split("Picture4 SSwitch1 SSwitch2 SSwitch3 SButton1 SButton2 SButton7 Picture3");
    QTest::newRow("quick functions")
        << "quick" << split("Text1 Label11_0 Label11_1 Label11_2 Label11_3 Picture16 Picture1");
    QTest::newRow("to-do page") << "todo"
                                << split("Picture5 Picture4 Picture3 Picture2 Text3 SButton4 SButton5_0 "
                                         "SButton5_1 Picture10_0 Picture10_1 Picture10_2 Picture10_3 List2 "
                                         "Picture5");
    QTest::newRow("time panel") << "time" << split("SButton5_0 Label4_0 Label4_1 Label4_2 SButton5_1");
    QTest::newRow("action panel") << "action"
                                  << split(
                                         "SButton5_1 Label5_0 Label5_1 Label5_2 Label5_3 Label5_4 TxtPrompt "
                                         "Picture10_0");
    QTest::newRow("presets") << "presets"
                             << split("SButton4 SButton6_0 SButton6_1 SButton6_2 SButton6_3 SButton6_4 "
                                      "SButton6_5 SButton6_6 SButton5_0");
}

void TestKeyboard::tabWalksInReadingOrder()
{
    QFETCH(QString, state);
    QFETCH(QStringList, order);
    setUp(state);
    widget(order.first())->setFocus(Qt::OtherFocusReason);
    QStringList walked{fact(QStringLiteral("focus"))};
    for (qsizetype i = 1; i < order.size(); ++i) {
        tab(true);
        walked << fact(QStringLiteral("focus"));
    }
    QCOMPARE(walked, order);
    // Shift+Tab walks the same way back.
    QStringList back{fact(QStringLiteral("focus"))};
    for (qsizetype i = 1; i < order.size(); ++i) {
        tab(false);
        back.prepend(fact(QStringLiteral("focus")));
    }
    QCOMPARE(back, order);
}

void TestKeyboard::keysDoWhatTheTableSays_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("facts");
    const int ctrl = Qt::ControlModifier;
    const int none = Qt::NoModifier;
    const auto facts = [](const char* list) { return QString::fromLatin1(list).split(u' '); };
    // The window's keys.
    QTest::newRow("Ctrl+F opens the note list at the search box")
        << "notes"
        << "Text1" << int(Qt::Key_F) << ctrl << facts("list=1 focus=Text2");
    QTest::newRow("Ctrl+F from the to-do page")
        << "todo"
        << "Text3" << int(Qt::Key_F) << ctrl << facts("page=0 list=1 focus=Text2");
    QTest::newRow("Ctrl+2 shows the to-do page")
        << "notes"
        << "Text1" << int(Qt::Key_2) << ctrl << facts("page=1 focus=Text3");
    QTest::newRow("Ctrl+2 on the to-do page goes to its content box")
        << "tasks"
        << "List2" << int(Qt::Key_2) << ctrl << facts("page=1 focus=Text3");
    QTest::newRow("Ctrl+1 shows the notes")
        << "todo"
        << "Text3" << int(Qt::Key_1) << ctrl << facts("page=0 focus=Text1");
    QTest::newRow("Ctrl+, opens the settings")
        << "notes"
        << "Text1" << int(Qt::Key_Comma) << ctrl << facts("settings=1 focus=SSwitch1 settingsPicture=9");
    QTest::newRow("F1 opens help") << "notes"
                                   << "Text1" << int(Qt::Key_F1) << none << facts("opened=1");
    // Buttons, switches and choices.
    QTest::newRow("Return on the list button")
        << "notes"
        << "Picture1" << int(Qt::Key_Return) << none << facts("list=1");
    QTest::newRow("Space on the settings button")
        << "notes"
        << "Picture4" << int(Qt::Key_Space) << none << facts("settings=1 settingsPicture=9");
    QTest::newRow("Space on the page button") << "notes"
                                              << "Picture5" << int(Qt::Key_Space) << none << facts("page=1");
    QTest::newRow("Space on minimise") << "notes"
                                       << "Picture3" << int(Qt::Key_Space) << none << facts("minimized=1");
    QTest::newRow("Space toggles a switch") << "settings"
                                            << "SSwitch1" << int(Qt::Key_Space) << none << facts("switch1=1");
    QTest::newRow("Space on the time button")
        << "todo"
        << "SButton5_0" << int(Qt::Key_Space) << none << facts("time=1");
    QTest::newRow("Up moves the time mode")
        << "time"
        << "Label4_2" << int(Qt::Key_Up) << none << facts("mode=1 focus=Label4_1");
    QTest::newRow("Down moves the action kind")
        << "action"
        << "Label5_1" << int(Qt::Key_Down) << none << facts("kind=2 focus=Label5_2");
    QTest::newRow("Return on a preset adds it")
        << "presets"
        << "SButton6_0" << int(Qt::Key_Return) << none << facts("tasks=1 presets=0");
    // Escape closes the open panel.
    QTest::newRow("Escape closes the note list")
        << "list"
        << "List1" << int(Qt::Key_Escape) << none << facts("list=0 focus=Text1");
    QTest::newRow("Escape in the search box") << "list"
                                              << "Text2" << int(Qt::Key_Escape) << none << facts("list=0");
    QTest::newRow("Escape closes the settings")
        << "settings"
        << "SSwitch1" << int(Qt::Key_Escape) << none << facts("settings=0 focus=Picture4 settingsPicture=7");
    QTest::newRow("Escape closes quick functions")
        << "quick"
        << "Text1" << int(Qt::Key_Escape) << none << facts("quick=0 focus=Text1");
    QTest::newRow("Escape closes the time panel")
        << "time"
        << "Label4_0" << int(Qt::Key_Escape) << none << facts("time=0 focus=SButton5_0");
    QTest::newRow("Escape closes the action panel")
        << "action"
        << "TxtPrompt" << int(Qt::Key_Escape) << none << facts("action=0 focus=SButton5_1");
    QTest::newRow("Escape closes the presets")
        << "presets"
        << "SButton6_3" << int(Qt::Key_Escape) << none << facts("presets=0 focus=SButton4");
    // The lists.
    QTest::newRow("first Down selects the first note")
        << "list"
        << "List1" << int(Qt::Key_Down) << none << facts("selected=0");
    QTest::newRow("Return opens the note")
        << "listsel"
        << "List1" << int(Qt::Key_Return) << none << facts("list=0 current=1 focus=Text1");
    QTest::newRow("Space opens the note")
        << "listsel"
        << "List1" << int(Qt::Key_Space) << none << facts("list=0 current=1");
    QTest::newRow("Delete removes the note")
        << "listsel"
        << "List1" << int(Qt::Key_Delete) << none << facts("notes=2 list=1");
    QTest::newRow("Ctrl+Z in the list puts the removed note back")
        << "removed"
        << "List1" << int(Qt::Key_Z) << ctrl << facts("notes=3 list=1");
    QTest::newRow("Space marks a task done")
        << "tasks"
        << "List2" << int(Qt::Key_Space) << none << facts("done=1 tasks=1");
    QTest::newRow("Delete removes a task") << "tasks"
                                           << "List2" << int(Qt::Key_Delete) << none << facts("tasks=0");
    // Keys that were there before stay as they were.
    QTest::newRow("Ctrl+N in the editor adds a note")
        << "notes"
        << "Text1" << int(Qt::Key_N) << ctrl << facts("notes=4");
    QTest::newRow("Tab in the editor types") << "notes"
                                             << "Text1" << int(Qt::Key_Tab) << none << facts("focus=Text1");
}

void TestKeyboard::keysDoWhatTheTableSays()
{
    QFETCH(QString, state);
    QFETCH(QString, focused);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QStringList, facts);
    writeFile(tp->path(QStringLiteral("Vemra便笺使用帮助.pdf")), "%PDF-1.4");
    setUp(state);
    widget(focused)->setFocus(Qt::OtherFocusReason);
    QCOMPARE(fact(QStringLiteral("focus")), focused);
    QTest::keyClick(focus(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    for (const QString& expected : facts) {
        const QString name = expected.section(u'=', 0, 0);
        QCOMPARE(name + u'=' + fact(name), expected);
    }
}

void TestKeyboard::focusOutlineOnlyWhileKeyboardIsUsed()
{
    QWidget* settings = widget(QStringLiteral("Picture4"));
    QTest::mouseClick(settings, Qt::LeftButton);
    QVERIFY(!FocusRing::ring()); // a click leaves no outline
    widget(QStringLiteral("Picture5"))->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(focus(), Qt::Key_Tab);
    QCOMPARE(focus(), settings);
    QWidget* ring = FocusRing::ring();
    QVERIFY(ring);
    QCOMPARE(ring->geometry(), settings->geometry().adjusted(-2, -2, 2, 2));
    QTest::mouseClick(widget(QStringLiteral("Text1")), Qt::LeftButton);
    QVERIFY(!FocusRing::ring());
}

void TestKeyboard::timeFieldsTakeWhatIsTyped_data()
{
    QTest::addColumn<QString>("field");
    // How the field is reached: "tab", "click", or "wheel" (the pointer over it, one turn).
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("line");
    QTest::newRow("Tab to the hour, 7") << "TxtHour"
                                        << "tab"
                                        << "7"
                                        << "时间：-07:00";
    QTest::newRow("click on the minute, 45") << "TxtMinute"
                                             << "click"
                                             << "45"
                                             << "时间：-00:45";
    QTest::newRow("click on the minute, 75 is the most") << "TxtMinute"
                                                         << "click"
                                                         << "75"
                                                         << "时间：-00:59";
    QTest::newRow("wheel over the hour") << "TxtHour"
                                         << "wheel"
                                         << ""
                                         << "时间：-01:00";
}

void TestKeyboard::timeFieldsTakeWhatIsTyped()
{
    QFETCH(QString, field);
    QFETCH(QString, how);
    QFETCH(QString, typed);
    QFETCH(QString, line);
    setUp(QStringLiteral("time"));
    click(QStringLiteral("Label4_1")); // countdown: the fields show
    auto* box = control<TextBoxW>(w.get(), field);
    auto* other = control<TextBoxW>(w.get(), field == QLatin1String("TxtHour") ? QStringLiteral("TxtMinute")
                                                                               : QStringLiteral("TxtHour"));
    if (how == QLatin1String("tab")) {
        widget(QStringLiteral("Label4_2"))->setFocus(Qt::OtherFocusReason);
        tab(true);
    } else if (how == QLatin1String("click")) {
        QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(2, box->height() / 2));
    }
    if (how != QLatin1String("wheel")) {
        QCOMPARE(focus(), box);
        // All of "00" is chosen, so the digits typed replace it.
        QCOMPARE(box->selText(), QStringLiteral("00"));
        QTest::keyClicks(box, typed);
    } else {
        pointerTo(box);
        QWheelEvent turn(QPointF(box->mapTo(w.get(), box->rect().center())),
                         QPointF(box->mapToGlobal(box->rect().center())), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w->windowHandle(), &turn);
    }
    QCOMPARE(control<QLabel>(w.get(), QStringLiteral("Label2_5"))->text(), line);
    // The pointer leaving the fields greys only the one the user left untouched.
    pointerTo(widget(QStringLiteral("Picture13")), QPoint(2, 2));
    QCOMPARE(box->foreColor(), QColor(Qt::black));
    QCOMPARE(other->foreColor(), QColor(128, 128, 128));
}

void TestKeyboard::reminderLeavesTheKeyboardAlone()
{
    auto* editor = control<TextBoxW>(w.get(), QStringLiteral("Text1"));
    editor->setFocus(Qt::OtherFocusReason);
    QStringList seen;
    QTimer::singleShot(50, this, [&] {
        QDialog* reminder = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("FrmMessage") && top->isVisible())
                reminder = qobject_cast<QDialog*>(top);
        }
        if (!reminder)
            return;
        seen << QStringLiteral("shown");
        // Shown without asking for the keyboard, and blocking nothing: a modal window is handed the
        // keyboard by Qt as it appears. (The offscreen platform activates every window it shows, so
        // whether the window system leaves the focus alone is seen under Xvfb, not here.)
        if (reminder->testAttribute(Qt::WA_ShowWithoutActivating) && !QApplication::activeModalWidget())
            seen << QStringLiteral("takes nothing");
        // Brought forward, " 确定 " has the keyboard: Escape does nothing, Return closes.
        reminder->activateWindow();
        if (QTest::qWaitForWindowActive(reminder) && QApplication::focusWidget() &&
            QApplication::focusWidget()->objectName() == QLatin1String("LblConfirm"))
            seen << QStringLiteral("confirm focused");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        if (reminder->isVisible())
            seen << QStringLiteral("Escape ignored");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (!reminder->isVisible())
            seen << QStringLiteral("Return closed");
        reminder->reject();
    });
    FrmMessage::ShowMessage(w.get(), &tp->sound, tp->appFolder(), QStringLiteral("泡面"),
                            QStringLiteral("好了"));
    QCOMPARE(seen, (QStringList{QStringLiteral("shown"), QStringLiteral("takes nothing"),
                                QStringLiteral("confirm focused"), QStringLiteral("Escape ignored"),
                                QStringLiteral("Return closed")}));
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
