// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FrmAbout.h"
#include "shell/FrmMain.h"
#include "support/Fakes.h"
#include "support/WindowTest.h"
#include "tasks/FrmMessage.h"
#include "tasks/FrmMusic.h"
#include "tasks/TodoPage.h"
#include "widgets/SSwitch.h"
#include "widgets/TextBoxW.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QListView>
#include <QtTest>

/// What assistive technology reads of every control the application draws itself.
class TestAccessibility : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void controlsHaveRoleNameAndState_data();
    void controlsHaveRoleNameAndState();
    void actionsDoWhatAClickDoes();

private:
    QWidget* windowFor(const QString& which);
    std::unique_ptr<TestPlatform> tp;
    std::unique_ptr<FrmMain> w;
    std::unique_ptr<QWidget> secondary;
};

void TestAccessibility::init()
{
    tp = std::make_unique<TestPlatform>();
    w = std::make_unique<FrmMain>(tp->platform());
    w->ensurePanels();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
}

void TestAccessibility::cleanup()
{
    secondary.reset();
    w.reset();
    tp.reset();
}

QWidget* TestAccessibility::windowFor(const QString& which)
{
    if (which == QLatin1String("main"))
        return w.get();
    if (which == QLatin1String("removed")) {
        w->ClearNotes();
        return w.get();
    }
    if (which == QLatin1String("message"))
        secondary = std::make_unique<FrmMessage>(w.get(), QStringLiteral("泡面"), QStringLiteral("好了"));
    else if (which == QLatin1String("music"))
        secondary = std::make_unique<FrmMusic>(w.get(), &tp->media, 0, QString(), [](int) {});
    else
        secondary = std::make_unique<FrmAbout>(w.get());
    return secondary.get();
}

void TestAccessibility::controlsHaveRoleNameAndState_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    // "-" not checkable, "0" checkable and unchecked, "1" checked.
    QTest::addColumn<QString>("checked");
    // More to read, as name=value pairs: desc (description), key (shortcut), lines (1 or many),
    // order (names the children go by, in this order among the others).
    QTest::addColumn<QStringList>("more");

    const int push = QAccessible::PushButton;
    const int check = QAccessible::CheckBox;
    const int radio = QAccessible::RadioButton;
    const int text = QAccessible::EditableText;
    const int list = QAccessible::List;
    const QString main = QStringLiteral("main");
    const auto row = [](const QString& window, const char* object, int role, const QString& name,
                        const char* checked, const QString& more = QString()) {
        QTest::addRow("%s %s", qPrintable(window), object)
            << window << QString::fromLatin1(object) << role << name << QString::fromLatin1(checked)
            << (more.isEmpty() ? QStringList() : more.split(u'|'));
    };
    // Title row.
    row(main, "Picture1", push, QStringLiteral("便笺列表"), "-",
        QStringLiteral("desc=便笺列表(Ctrl+F)|key=Ctrl+F"));
    row(main, "Picture5", push, QStringLiteral("记事"), "-");
    row(main, "Picture4", push, QStringLiteral("选项"), "-");
    row(main, "Picture3", push, QStringLiteral("最小化"), "-");
    row(main, "Picture2", push, QStringLiteral("关闭"), "-");
    // Notes page, note list, quick functions.
    row(main, "Text1", text, QStringLiteral("便笺内容"), "-", QStringLiteral("lines=many"));
    row(main, "Text2", text, QStringLiteral("查找便笺"), "-", QStringLiteral("lines=1"));
    row(main, "List1", list, QStringLiteral("便笺列表"), "-");
    row(main, "Picture8_0", push, QStringLiteral("清空"), "-",
        QStringLiteral("desc=清空全部便笺(Ctrl+E)|key=Ctrl+E"));
    row(main, "Picture8_1", push, QStringLiteral("移除"), "-",
        QStringLiteral("desc=移除所选便笺(Ctrl+W)|key=Ctrl+W"));
    row(main, "Picture8_2", push, QStringLiteral("新增"), "-", QStringLiteral("desc=新增便笺(Ctrl+N)"));
    // The list's buttons are read as they stand, from the left.
    row(main, "Picture7", QAccessible::Grouping, QStringLiteral("便笺列表面板"), "-",
        QStringLiteral("order=查找便笺 新增 移除 清空 便笺列表"));
    // The bar after a removal: a notification that says what went, with its button.
    row(QStringLiteral("removed"), "UndoBar", QAccessible::Notification, QStringLiteral("已清空 1 条便笺"),
        "-", QStringLiteral("order=已清空 1 条便笺 撤销"));
    row(QStringLiteral("removed"), "UndoButton", push, QStringLiteral("撤销"), "-",
        QStringLiteral("key=Ctrl+Z"));
    row(main, "Label11_0", push, QStringLiteral("中英文翻译"), "-");
    row(main, "Label11_3", push, QStringLiteral("打开路径"), "-");
    row(main, "Picture16", push, QStringLiteral("关闭快捷功能"), "-");
    // Settings panel: switches named by their row's caption, buttons by theirs.
    row(main, "SSwitch1", check, QStringLiteral("开机时启动"), "0");
    row(main, "SSwitch2", check, QStringLiteral("断电保护"), "0");
    row(main, "SSwitch3", check, QStringLiteral("保留待办"), "0");
    row(main, "SButton1", push, QStringLiteral("关于"), "-");
    row(main, "SButton2", push, QStringLiteral("帮助"), "-");
    row(main, "SButton7", push, QStringLiteral("软件发布源"), "-");
    // To-do page and its panels.
    row(main, "Text3", text, QStringLiteral("内容"), "-", QStringLiteral("lines=1"));
    row(main, "SButton4", push, QStringLiteral("常用"), "-");
    row(main, "SButton5_0", push, QStringLiteral("时间"), "-");
    row(main, "SButton5_1", push, QStringLiteral("动作"), "-");
    row(main, "Picture10_0", push, QStringLiteral("添加"), "-");
    row(main, "Picture10_3", push, QStringLiteral("清除全部"), "-");
    row(main, "List2", list, QStringLiteral("待办列表"), "-");
    row(main, "Label4_0", radio, QStringLiteral("指定时刻"), "0");
    row(main, "Label4_2", radio, QStringLiteral("无计时"), "1");
    row(main, "Label5_0", radio, QStringLiteral("电源选项"), "0");
    row(main, "Label5_1", radio, QStringLiteral("弹出提示"), "1");
    row(main, "Label6_0", radio, QStringLiteral("关机"), "1");
    row(main, "TxtHour", text, QStringLiteral("时间（时）"), "-", QStringLiteral("lines=1"));
    row(main, "TxtMinute", text, QStringLiteral("时间（分）"), "-", QStringLiteral("lines=1"));
    row(main, "TxtPrompt", text, QStringLiteral("提示"), "-");
    row(main, "Picture12_0", QAccessible::Grouping, QStringLiteral("时间"), "-");
    row(main, "Picture14", QAccessible::Grouping, QStringLiteral("电源选项"), "-");
    row(main, "SButton6_0", push, QStringLiteral("泡上一碗热气腾腾的泡面。（5分钟）"), "-");
    // Reminder and About windows.
    row(QStringLiteral("message"), "LblConfirm", push, QStringLiteral("确定"), "-");
    row(QStringLiteral("message"), "PicClose", push, QStringLiteral("关闭"), "-");
    row(QStringLiteral("music"), "Label1_0", push, QStringLiteral("关闭提醒"), "-");
    row(QStringLiteral("music"), "Label1_1", push, QStringLiteral("延时5分钟"), "-");
    row(QStringLiteral("about"), "PicClose", push, QStringLiteral("关闭"), "-");
}

void TestAccessibility::controlsHaveRoleNameAndState()
{
    QFETCH(QString, window);
    QFETCH(QString, object);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, checked);
    QFETCH(QStringList, more);

    QWidget* control = ::control<QWidget>(windowFor(window), object);
    QVERIFY(control);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    const QAccessible::State state = iface->state();
    QCOMPARE(bool(state.focusable), role != QAccessible::Grouping && role != QAccessible::Notification);
    for (const QString& fact : more) {
        const QString key = fact.section(u'=', 0, 0);
        const QString value = fact.section(u'=', 1);
        if (key == QLatin1String("desc")) {
            QCOMPARE(iface->text(QAccessible::Description), value);
        } else if (key == QLatin1String("key")) {
            QCOMPARE(iface->text(QAccessible::Accelerator), value);
        } else if (key == QLatin1String("lines")) {
            QCOMPARE(bool(state.multiLine), value == QLatin1String("many"));
            QVERIFY(iface->textInterface());
        } else {
            QStringList names;
            for (int i = 0; i < iface->childCount(); ++i) {
                const QString childName = iface->child(i)->text(QAccessible::Name);
                if (value.contains(childName) && !childName.isEmpty())
                    names << childName;
            }
            QCOMPARE(names.join(u' '), value);
        }
    }
    QCOMPARE(bool(state.checkable), checked != QLatin1String("-"));
    QCOMPARE(bool(state.checked), checked == QLatin1String("1"));
    if (role == QAccessible::PushButton || role == QAccessible::RadioButton ||
        role == QAccessible::CheckBox) {
        QAccessibleActionInterface* actions = iface->actionInterface();
        QVERIFY(actions);
        const QString expected = role == QAccessible::CheckBox ? QAccessibleActionInterface::toggleAction()
                                                               : QAccessibleActionInterface::pressAction();
        QVERIFY(actions->actionNames().contains(expected));
        // A button is one control: its caption is not a second thing to read.
        QCOMPARE(iface->childCount(), 0);
    }
}

// The accessible state is read from the control, so it follows a change whoever makes it. (The
// events announcing the change reach no one on the offscreen platform, which has no accessibility
// bridge; tst_accessibletree sees the state change through AT-SPI.)
void TestAccessibility::actionsDoWhatAClickDoes()
{
    auto* autoSave = control<SSwitch>(w.get(), QStringLiteral("SSwitch2"));
    QAccessibleInterface* s = QAccessible::queryAccessibleInterface(autoSave);
    s->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(autoSave->value());
    QVERIFY(w->AutoSave());
    QVERIFY(s->state().checked);

    QAccessibleInterface* countdown =
        QAccessible::queryAccessibleInterface(control<QWidget>(w.get(), QStringLiteral("Label4_1")));
    countdown->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(countdown->state().checked);
    QVERIFY(!QAccessible::queryAccessibleInterface(control<QWidget>(w.get(), QStringLiteral("Label4_2")))
                 ->state()
                 .checked);
    QCOMPARE(control<QLabel>(w.get(), QStringLiteral("Label2_5"))->text(), QStringLiteral("时间：-00:00"));

    QAccessibleInterface* page =
        QAccessible::queryAccessibleInterface(control<QWidget>(w.get(), QStringLiteral("Picture5")));
    page->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(page->text(QAccessible::Name), QStringLiteral("待办"));
    QCOMPARE(page->text(QAccessible::Accelerator), QStringLiteral("Ctrl+2"));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
