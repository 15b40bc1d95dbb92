// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TodoPage.h"

#include "editor/RunFile.h"
#include "platform/Clock.h"
#include "platform/CommonDialog.h"
#include "platform/WakeTimer.h"
#include "tasks/FrmMessage.h"
#include "tasks/FrmMusic.h"
#include "tasks/Presets.h"
#include "tasks/TaskActions.h"
#include "tasks/TaskEditorLogic.h"
#include "widgets/ClickLabel.h"
#include "widgets/Controls.h"
#include "widgets/HoverTags.h"
#include "widgets/ImageButton.h"
#include "widgets/InkLabel.h"
#include "widgets/ListBoxW.h"
#include "widgets/Palette.h"
#include "widgets/Question.h"
#include "widgets/SButton.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"
#include "widgets/Twips.h"

#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

namespace {
const QString kNoTimerLine = QStringLiteral("时间： --:--");

using Twips::px;
using Twips::rect;

QLabel* caption(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    QLabel* label =
        Controls::label(parent, name, text, Palette::darkGrey, Controls::font(QStringLiteral("黑体"), 10.5));
    label->setGeometry(geometry);
    return label;
}

// A caption beside a flat button or a field: its glyphs are centred on the same rows as the
// button's caption, so the rectangle given is the button's (or field's) height.
QLabel* inkCaption(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    return Controls::caption(parent, name, text, Palette::darkGrey,
                             Controls::font(QStringLiteral("黑体"), 10.5), geometry);
}

ClickLabel* choice(QWidget* parent, const QString& name, const QString& text, const QRect& geometry)
{
    auto* label = new ClickLabel(text, parent);
    label->setObjectName(name);
    label->setFont(Controls::font(QStringLiteral("黑体"), 10.5));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(geometry);
    label->setChosen(false);
    return label;
}

TextBoxW* textBox(QWidget* parent, const QString& name, const QRect& geometry, bool multiLine)
{
    auto* box = new TextBoxW(parent);
    box->setObjectName(name);
    box->setMultiLine(multiLine);
    box->setGeometry(geometry);
    box->setFont(Controls::font(QStringLiteral("微软雅黑"), 9));
    return box;
}

// An hour or minute the user gave, by typing or with the wheel, is drawn in the text colour; the
// untouched "00" stays grey, as a hint does.
void markFieldSet(TextBoxW* field, bool set)
{
    field->setProperty("userValue", set);
    field->setForeColor(set ? QColor(Qt::black) : Palette::grey);
}

bool fieldSet(const TextBoxW* field)
{
    return field->property("userValue").toBool();
}

const QStringList kRepeatCaptions = {QStringLiteral("只一次"), QStringLiteral("每天"),
                                     QStringLiteral("工作日"), QStringLiteral("法定工作日"),
                                     QStringLiteral("自选"),   QStringLiteral("循环")};
const RepeatRule::Kind kRepeatKinds[] = {RepeatRule::Kind::Once,     RepeatRule::Kind::Daily,
                                         RepeatRule::Kind::Weekdays, RepeatRule::Kind::Workdays,
                                         RepeatRule::Kind::Chosen,   RepeatRule::Kind::Cycle};

// The time panel's heights: the modes and fields alone, with the repeat row, with the weekdays too.
constexpr int kTimePanelWidth = 5100;
constexpr int kNarrowTimePanelWidth = 3000;
constexpr int kTimePanelHeights[] = {1560, 1980, 2400};

QString twoDigits(const QString& fieldText)
{
    return QStringLiteral("%1").arg(fieldText.toInt(), 2, 10, QLatin1Char('0'));
}
} // namespace

TodoPage::TodoPage(Surface* page, const Platform& platform, Hooks hooks)
    : QObject(page), m_page(page), m_platform(platform), m_hooks(std::move(hooks)), m_engine(*platform.clock),
      m_musicDialog(std::make_unique<CommonDialog>(QStringLiteral("浏览音乐文件"),
                                                   QStringLiteral("支持的音乐文件类型|*.mp3;*.wav;*.wma"))),
      m_fileDialog(
          std::make_unique<CommonDialog>(QStringLiteral("浏览任意文件"), QStringLiteral("任意文件|*.*")))
{
    // The engine runs from the start; the page's controls are built when the page is first shown.
    m_engine.appendEntry = [this](const QString& entry) {
        if (List2)
            List2->AddItem(entry);
    };
    m_engine.setEntry = [this](int index, const QString& entry) {
        if (!List2)
            return;
        // A running countdown rewrites its entry every second; the list draws again only the digits
        // that changed.
        List2->setList(index, entry);
    };
    m_engine.removeEntry = [this](int index) {
        if (List2)
            List2->RemoveItem(index);
    };
    m_engine.clearEntries = [this] {
        if (List2)
            List2->Clear();
    };
    m_engine.fired = [this](int) {
        if (m_hooks.commitAndSave)
            m_hooks.commitAndSave();
    };
    m_engine.performAction = [this](int index, const TaskItem& task, bool countdown,
                                    const QDateTime& lateFrom) {
        performAction(index, task, countdown, lateFrom);
    };
    m_engine.confirmLate = [this](int, const TaskItem& task, const QDateTime& dueAt) {
        // Running it is the deliberate answer: Return, Escape and closing the window skip it.
        return Question::ask(m_page->window(), QStringLiteral("LateTaskQuestion"),
                             QStringLiteral("待办迟到了"), lateQuestion(task, dueAt, m_platform.clock->now()),
                             {QStringLiteral("执行"), QStringLiteral("runLateTask")},
                             {QStringLiteral("跳过"), QStringLiteral("skipLateTask")}, Question::Default::No);
    };
    // The user's own file sits with the task key in the settings folder, so a test without a key
    // folder never reads the real one.
    const QString userCalendar =
        m_platform.taskKeyPath.isEmpty()
            ? QString()
            : QFileInfo(m_platform.taskKeyPath).absolutePath() + u'/' + WorkdayCalendar::fileName();
    m_calendar = WorkdayCalendar::load(
        userCalendar, m_platform.resourceFolder + u'/' + WorkdayCalendar::fileName(), m_calendarProblem);
    m_engine.setCalendar(&m_calendar);
    // The tick does not trust its own punctuality: the engine counts by the clock.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { m_engine.tick(); });
    // Every change that arms or disarms a timer (an add, a restore, a toggle, a snooze, a task
    // falling due) is a change of the list.
    connect(&m_engine, &TaskEngine::listChanged, this, &TodoPage::updateTick);
}

TodoPage::~TodoPage()
{
    // A wake still asked for would call into this page.
    m_platform.wakeTimer->cancel();
}

void TodoPage::ensureBuilt()
{
    if (List2)
        return;
    createControls();
    wireEvents();
    // The list shows what the engine already holds (tasks kept from the last run, say).
    QStringList entries;
    entries.reserve(m_engine.TaskCount());
    for (int i = 0; i < m_engine.TaskCount(); ++i)
        entries.append(m_engine.entry(i));
    List2->AddItems(entries);
    // The tick runs every second only while the list can be seen.
    List2->installEventFilter(this);
    List2->viewport()->installEventFilter(this);
    List2->window()->installEventFilter(this);
    updateTick();
}

void TodoPage::start()
{
    m_tickAllowed = true;
    updateTick();
}

void TodoPage::stop()
{
    m_tickAllowed = false;
    updateTick();
}

void TodoPage::updateTick()
{
    const bool armed = m_tickAllowed && m_engine.hasArmedTimer();
    const bool everySecond = armed && listOnScreen();
    // Restarting a running timer would shift its phase; only a change of state touches it.
    if (everySecond && !Timer1->isActive())
        Timer1->start();
    else if (!everySecond && Timer1->isActive())
        Timer1->stop();
    if (armed && !everySecond) {
        m_platform.wakeTimer->wakeAt(m_engine.nextWakeMs(), [this] {
            m_engine.tick();
            updateTick();
        });
    } else {
        m_platform.wakeTimer->cancel();
    }
}

bool TodoPage::listOnScreen() const
{
    return List2 && List2->isVisible() && !List2->window()->isMinimized();
}

bool TodoPage::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (List2 && watched == List2->viewport() && type == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = entryToolTip(help->pos());
        if (!tip.isEmpty()) {
            QToolTip::showText(help->globalPos(), tip, List2->viewport());
            return true;
        }
    }
    if ((watched == List2 && (type == QEvent::Show || type == QEvent::Hide)) ||
        (List2 && watched == List2->window() && type == QEvent::WindowStateChange)) {
        const bool wasEverySecond = Timer1->isActive();
        updateTick();
        // Coming into sight, the countdowns show what is left now rather than in a second.
        if (!wasEverySecond && Timer1->isActive())
            m_engine.tick();
    }
    return QObject::eventFilter(watched, event);
}

void TodoPage::createControls()
{
    QWidget* page = m_page;
    const QFont heiti = Controls::font(QStringLiteral("黑体"), 10.5);
    const QFont yahei9 = Controls::font(QStringLiteral("微软雅黑"), 9);

    Label2[0] = caption(page, QStringLiteral("Label2_4"), QStringLiteral("内容："), rect(120, 105, 720, 300));
    Text3 = textBox(page, QStringLiteral("Text3"), rect(840, 90, 5025, 300), false);
    Text3->setAccessibleName(QStringLiteral("内容"));
    Label2[0]->setBuddy(Text3);
    Text3->setMaxLength(27);
    Text3->setFont(heiti);
    Line2 = Controls::underline(Text3, QStringLiteral("Line2"));
    SButton4 = Controls::flatButton(page, QStringLiteral("SButton4"), QStringLiteral("常用"), heiti, 0xFFFFFF,
                                    rect(6105, 105, 615, 255));

    Label2[1] = inkCaption(page, QStringLiteral("Label2_5"), kNoTimerLine, rect(120, 600, 1920, 255));
    SButton5[0] = Controls::flatButton(page, QStringLiteral("SButton5_0"), QStringLiteral("···"), yahei9,
                                       0xFFFFFF, rect(2040, 600, 615, 255));
    Label2[2] = inkCaption(page, QStringLiteral("Label2_6"), QStringLiteral("动作：弹出提示"),
                           rect(2880, 600, 1920, 255));
    SButton5[1] = Controls::flatButton(page, QStringLiteral("SButton5_1"), QStringLiteral("···"), yahei9,
                                       0xFFFFFF, rect(4740, 600, 615, 255));
    // The "···" buttons open the time and action panels; the lines beside them say what is chosen.
    SButton5[0]->setAccessibleName(QStringLiteral("时间"));
    SButton5[1]->setAccessibleName(QStringLiteral("动作"));
    Label2[1]->setBuddy(SButton5[0]);
    Label2[2]->setBuddy(SButton5[1]);

    const QStringList tips = {QStringLiteral("添加"), QStringLiteral("移除"), QStringLiteral("清除已完成"),
                              QStringLiteral("清除全部")};
    const int pictures[] = {13, 11, 18, 15};
    for (int i = 0; i < 4; ++i) {
        auto* b = new ImageButton(page);
        b->setObjectName(QStringLiteral("Picture10_%1").arg(i));
        b->setPicture(pictures[i]);
        b->setTag(QStringLiteral("0"));
        b->setToolTip(tips[i]);
        b->setGeometry(rect(5670 + 300 * i, 607, 240, 240));
        Picture10[i] = b;
    }

    List2 = new ListBoxW(page);
    List2->setObjectName(QStringLiteral("List2"));
    List2->setAccessibleName(QStringLiteral("待办列表"));
    List2->setFont(Controls::font(QStringLiteral("微软雅黑"), 10.5));
    List2->setFixedHeight(px(7245));

    // Time panel.
    Picture12[0] = new Surface(page, Palette::panel);
    Picture12[0]->setObjectName(QStringLiteral("Picture12_0"));
    Picture12[0]->setAccessibleName(QStringLiteral("时间"));
    Picture12[0]->setFixedSize(px(kNarrowTimePanelWidth), px(kTimePanelHeights[0]));
    const QStringList modes = {QStringLiteral("指定时刻"), QStringLiteral("倒计时"),
                               QStringLiteral("无计时")};
    for (int i = 0; i < 3; ++i) {
        Label4[i] = choice(Picture12[0], QStringLiteral("Label4_%1").arg(i), modes[i],
                           rect(120, 120 + 450 * i, 1200, 330));
        Label4[i]->setRadio(true);
    }
    Picture13 = new Surface(Picture12[0], Palette::panel);
    Picture13->setObjectName(QStringLiteral("Picture13"));
    Picture13->setGeometry(rect(1440, 120, 1440, 1320));
    TxtHour = textBox(Picture13, QStringLiteral("TxtHour"), rect(120, 480, 480, 360), false);
    TxtHour->setAccessibleName(QStringLiteral("时间（时）"));
    inkCaption(Picture13, QStringLiteral("Label12"), QStringLiteral(":"), rect(660, 480, 120, 360));
    TxtMinute = textBox(Picture13, QStringLiteral("TxtMinute"), rect(840, 480, 480, 360), false);
    TxtMinute->setAccessibleName(QStringLiteral("时间（分）"));
    for (TextBoxW* field : {TxtHour, TxtMinute}) {
        field->setDigitsOnly(true);
        field->setMaxLength(2);
        field->setFont(Controls::font(QStringLiteral("微软雅黑"), 10.5));
        field->setText(QStringLiteral("00"));
        field->setForeColor(Palette::grey);
        field->setTag(QStringLiteral("0"));
        field->setOwnWheelZoom(false);
        field->setOutline(Palette::grey);
        field->setInkCentred(QStringLiteral("0123456789"));
        // Always two digits: typing replaces them once they are selected.
        field->setSelectOnFocus(true);
    }

    // The repeat row under the modes, and the weekdays of "自选" under it; laid out by
    // layoutRepeatRow, since each mode offers its own choices.
    RepeatRow = new Surface(Picture12[0], Palette::panel);
    RepeatRow->setObjectName(QStringLiteral("RepeatRow"));
    RepeatRow->setAccessibleName(QStringLiteral("重复"));
    RepeatRow->setGeometry(rect(120, 1530, kTimePanelWidth - 240, 330));
    for (int i = 0; i < 6; ++i) {
        RepeatChoice[i] = choice(RepeatRow, QStringLiteral("RepeatChoice_%1").arg(i), kRepeatCaptions[i],
                                 rect(0, 0, 600, 330));
        RepeatChoice[i]->setRadio(true);
    }
    WeekdayRow = new Surface(Picture12[0], Palette::panel);
    WeekdayRow->setObjectName(QStringLiteral("WeekdayRow"));
    WeekdayRow->setAccessibleName(QStringLiteral("自选"));
    WeekdayRow->setGeometry(rect(120, 1950, kTimePanelWidth - 240, 330));
    const QString dayNames = QStringLiteral("一二三四五六日");
    for (int d = 0; d < 7; ++d) {
        WeekdayToggle[d] = choice(WeekdayRow, QStringLiteral("WeekdayToggle_%1").arg(d + 1),
                                  dayNames.mid(d, 1), rect(d * 450, 0, 360, 330));
        WeekdayToggle[d]->setCheckBox(true);
        WeekdayToggle[d]->setAccessibleName(u'周' + dayNames.mid(d, 1));
    }

    // Action panel.
    Picture12[1] = new Surface(page, Palette::panel);
    Picture12[1]->setObjectName(QStringLiteral("Picture12_1"));
    Picture12[1]->setAccessibleName(QStringLiteral("动作"));
    Picture12[1]->setFixedSize(px(3870), px(2880));
    Picture12[1]->setProperty("Tag", QStringLiteral("1"));
    for (int k = 0; k < 5; ++k) {
        Label5[k] = choice(Picture12[1], QStringLiteral("Label5_%1").arg(k), actionCaption(k),
                           rect(120, 120 + 450 * k, 1380, 330));
        Label5[k]->setRadio(true);
    }
    Label5[0]->setProperty("Tag", QStringLiteral("0"));
    Picture14 = new Surface(Picture12[1], Palette::panel);
    Picture14->setObjectName(QStringLiteral("Picture14"));
    Picture14->setAccessibleName(QStringLiteral("电源选项"));
    Picture14->setGeometry(rect(1620, 120, 2130, 1500));
    for (int i = 0; i < 3; ++i) {
        Label6[i] = choice(Picture14, QStringLiteral("Label6_%1").arg(i), powerCaption(i),
                           rect(120, 120 + 450 * i, 900, 330));
        Label6[i]->setRadio(true);
    }
    TxtPrompt = textBox(Picture12[1], QStringLiteral("TxtPrompt"), rect(1620, 120, 2130, 2535), true);
    TxtPrompt->setMaxLength(288);
    TxtPrompt->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    TxtPrompt->setOutline(Palette::grey);
    TxtPrompt->setPlaceholderText(QStringLiteral("提示内容"));
    TxtPrompt->setAccessibleName(QStringLiteral("提示"));
    // A prompt is a few lines: Tab moves on rather than typing a tab.
    TxtPrompt->setTabChangesFocus(true);
    Label7[0] =
        choice(Picture12[1], QStringLiteral("Label7_0"), QStringLiteral(" 浏览 "), rect(1620, 120, 900, 330));
    Label7[1] =
        choice(Picture12[1], QStringLiteral("Label7_1"), QStringLiteral("浏览"), rect(1620, 120, 900, 330));
    Label8 =
        caption(Picture12[1], QStringLiteral("Label8"), QStringLiteral(" "), rect(1620, 600, 2130, 2040));
    Label9 =
        caption(Picture12[1], QStringLiteral("Label9"), QStringLiteral(" "), rect(1620, 600, 2130, 2040));
    for (QLabel* path : {Label8, Label9}) {
        path->setWordWrap(true);
        path->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        path->setFont(yahei9);
    }
    TxtCmd = textBox(Picture12[1], QStringLiteral("TxtCmd"), rect(1620, 120, 2130, 300), false);
    TxtCmd->setPlaceholderText(QStringLiteral("命令行"));
    TxtCmd->setAccessibleName(QStringLiteral("命令行"));
    Line3 = Controls::underline(TxtCmd, QStringLiteral("Line3"));

    // Presets.
    Picture11 = new Surface(page, Palette::panel);
    Picture11->setObjectName(QStringLiteral("Picture11"));
    Picture11->setAccessibleName(QStringLiteral("常用"));
    Picture11->setFixedSize(px(4215), px(3495));
    for (int i = 0; i < 7; ++i)
        SButton6[i] =
            Controls::flatButton(Picture11, QStringLiteral("SButton6_%1").arg(i), presets().at(i).caption,
                                 heiti, 0xFBFBFB, rect(120, 120 + 480 * i, 3975, 375));

    // The one-time layout of the page's panels and list.
    List2->move(0, page->height() - List2->height());
    List2->setFixedWidth(page->width());
    Picture11->move(page->width() - Picture11->width(), px(510));
    Picture12[0]->move(0, px(1080));
    Picture12[1]->move(px(3000), px(1080));
    for (QWidget* panel : {static_cast<QWidget*>(Picture12[0]), static_cast<QWidget*>(Picture12[1]),
                           static_cast<QWidget*>(Picture11)}) {
        panel->hide();
        panel->raise();
    }

    // The editor's start-up state is its reset state, with a single space for the two paths.
    Label4[2]->setChosen(true);
    Picture13->hide();
    layoutRepeatRow();
    Label5[1]->setChosen(true);
    Label6[0]->setChosen(true);
    Label5_Click(1);
}

void TodoPage::wireEvents()
{
    connect(Text3, &TextBoxW::KeyDown, this, [this](int keyCode, int) {
        if (keyCode == 13 || keyCode == 108)
            Picture10_Click(0);
    });
    connect(Text3, &TextBoxW::GotFocus, this, [this] { List2->setListIndex(-1); });
    connect(List2, &ListBoxW::DblClick, this, &TodoPage::ToggleTaskDone);
    connect(List2, &ListBoxW::KeyDown, this, [this](int keyCode, int) {
        if (keyCode == 32) // Space, as the double-click
            ToggleTaskDone();
        else if (keyCode == 46) // Delete, as the remove button
            Picture10_Click(1);
    });
    for (int i = 0; i < 4; ++i)
        connect(Picture10[i], &ImageButton::clicked, this, [this, i] { Picture10_Click(i); });
    const int hovers[] = {14, 12, 19, 17};
    for (int i = 0; i < 4; ++i)
        connect(Picture10[i], &ImageButton::mouseMoved, this,
                [this, i, h = hovers[i]] { HoverTags::hover(Picture10[i], h); });
    connect(m_page, &Surface::bareMouseMove, this, [this] {
        const int normals[] = {13, 11, 18, 15};
        for (int i = 0; i < 4; ++i)
            HoverTags::reset(Picture10[i], normals[i]);
    });
    for (int i = 0; i < 3; ++i)
        connect(Label4[i], &ClickLabel::clicked, this, [this, i] { Label4_Click(i); });
    for (int i = 0; i < 6; ++i)
        connect(RepeatChoice[i], &ClickLabel::clicked, this, [this, i] { RepeatChoice_Click(i); });
    for (int d = 0; d < 7; ++d)
        connect(WeekdayToggle[d], &ClickLabel::clicked, this, [this, d] { WeekdayToggle_Click(d + 1); });
    for (int k = 0; k < 5; ++k)
        connect(Label5[k], &ClickLabel::clicked, this, [this, k] { Label5_Click(k); });
    for (int i = 0; i < 3; ++i)
        connect(Label6[i], &ClickLabel::clicked, this, [this, i] { Label6_Click(i); });
    for (int i = 0; i < 2; ++i)
        connect(Label7[i], &ClickLabel::clicked, this, [this, i] { Label7_Click(i); });
    connect(TxtHour, &TextBoxW::Change, this, [this] { fieldChanged(TxtHour, 23); });
    connect(TxtMinute, &TextBoxW::Change, this, [this] { fieldChanged(TxtMinute, 59); });
    for (TextBoxW* field : {TxtHour, TxtMinute}) {
        // A change while the field has the focus is the user's typing (or pasting).
        connect(field, &TextBoxW::Change, this, [field] {
            if (field->hasFocus())
                markFieldSet(field, true);
        });
        connect(field, &TextBoxW::MouseMove, this, [field] {
            field->setForeColor(Qt::black);
            field->setTag(QStringLiteral("1"));
        });
    }
    connect(Picture13, &Surface::bareMouseMove, this, [this] {
        for (TextBoxW* field : {TxtHour, TxtMinute}) {
            if (!fieldSet(field))
                field->setForeColor(Palette::grey);
            field->setTag(QStringLiteral("0"));
        }
    });
    connect(SButton4, &SButton::Click, this, &TodoPage::SButton4_Click);
    for (int i = 0; i < 2; ++i)
        connect(SButton5[i], &SButton::Click, this, [this, i] { SButton5_Click(i); });
    for (int i = 0; i < 7; ++i)
        connect(SButton6[i], &SButton::Click, this, [this, i] { SButton6_Click(i); });
}

void TodoPage::performAction(int index, const TaskItem& task, bool countdown, const QDateTime& lateFrom)
{
    QWidget* window = m_page->window();
    const QString late = lateFrom.isValid() ? lateNote(lateFrom, m_platform.clock->now()) : QString();
    // The reminder window this action opens, for the notification's buttons to close.
    const auto shown = std::make_shared<QPointer<QDialog>>();
    const auto opened = [shown, late](QDialog* dialog) {
        *shown = dialog;
        if (auto* music = qobject_cast<FrmMusic*>(dialog); music && !late.isEmpty())
            music->setNote(late);
    };
    // The list stays usable while a reminder waits for its answer: the snooze must reach this task
    // wherever adding and removing have moved it meanwhile, and no other.
    const quint64 id = m_engine.taskId(index);
    const auto snoozeThisTask = [this, id](int) { m_engine.snooze(m_engine.indexOfTask(id)); };
    ActionContext context{*m_platform.launcher, {}, {}, {}};
    context.showMessage = [this, window, opened](const QString& title, const QString& message) {
        FrmMessage::ShowMessage(window, m_platform.sound, m_platform.resourceFolder, title, message, opened);
    };
    context.showMusic = [this, window, opened, snoozeThisTask](int taskIndex, const QString& path) {
        FrmMusic::ShowMusicReminder(window, m_platform.media, taskIndex, path, snoozeThisTask, opened);
    };
    context.runFile = [this](const QString& path) {
        RunFile(path, *m_platform.launcher, *m_platform.opener);
    };
    context.notifier = m_platform.notifier;
    context.window = window;
    context.snooze = snoozeThisTask;
    context.closeReminder = [shown] {
        if (*shown)
            (*shown)->accept();
    };
    context.lateNote = late;
    PerformAction(task, index, countdown, context);
}

void TodoPage::askToArmHeldTasks(const QString& title, const QString& question)
{
    // The list comes from a file someone else may have written; closing the window or a stray Enter
    // leaves the tasks held: arming takes the deliberate click.
    if (Question::ask(m_page->window(), QStringLiteral("HeldTasksQuestion"), title, question,
                      {QStringLiteral("启用"), QStringLiteral("armHeldTasks")},
                      {QStringLiteral("不启用"), QStringLiteral("keepHeldTasks")}, Question::Default::No))
        m_engine.armHeldTasks();
}

// ---- The task editor ------------------------------------------------------------------------------

bool TodoPage::clockTimeMode() const
{
    // The chosen mode is read back from the colours of the choice, as the page shows it.
    return Label4[0]->isChosen();
}

void TodoPage::Label4_Click(int index)
{
    for (int i = 0; i < 3; ++i)
        Label4[i]->setChosen(i == index);
    // A repeat the new mode does not offer goes back to "只一次".
    if (index == int(TimerMode::None) ||
        (m_repeat.kind == RepeatRule::Kind::Cycle) != (index == int(TimerMode::Countdown)))
        m_repeat = RepeatRule{};
    updateTimerLine();
    Picture13->setVisible(index != 2);
    layoutRepeatRow();
}

void TodoPage::updateTimerLine()
{
    const TimerMode mode = Label4[0]->isChosen()   ? TimerMode::ClockTime
                           : Label4[1]->isChosen() ? TimerMode::Countdown
                                                   : TimerMode::None;
    Label2[1]->setText(timerLine(mode, TxtHour->text(), TxtMinute->text(), m_repeat));
}

void TodoPage::RepeatChoice_Click(int index)
{
    if (index < 0 || index >= int(RepeatChoice.size()))
        return;
    m_repeat = RepeatRule{};
    m_repeat.kind = kRepeatKinds[index];
    if (m_repeat.kind == RepeatRule::Kind::Chosen) {
        // First chosen, "自选" starts from today's weekday.
        if (m_chosenDays == 0)
            m_chosenDays = 1 << (m_platform.clock->now().date().dayOfWeek() - 1);
        m_repeat.days = m_chosenDays;
    }
    updateTimerLine();
    layoutRepeatRow();
}

void TodoPage::WeekdayToggle_Click(int day)
{
    if (day < 1 || day > 7 || m_repeat.kind != RepeatRule::Kind::Chosen)
        return;
    const int bit = 1 << (day - 1);
    if (m_repeat.days == bit)
        return; // at least one day stays on
    m_repeat.days ^= bit;
    m_chosenDays = m_repeat.days;
    updateTimerLine();
    layoutRepeatRow();
}

void TodoPage::layoutRepeatRow()
{
    const bool clock = Label4[0]->isChosen();
    const bool countdown = Label4[1]->isChosen();
    int x = 0;
    for (int i = 0; i < int(RepeatChoice.size()); ++i) {
        ClickLabel* item = RepeatChoice[i];
        const bool offered = i == 0 || (clock && i < 5) || (countdown && i == 5);
        item->setVisible(offered);
        item->setChosen(kRepeatKinds[i] == m_repeat.kind);
        if (!offered)
            continue;
        const int width = item->fontMetrics().horizontalAdvance(item->text()) + px(240);
        item->setGeometry(x, 0, width, RepeatRow->height());
        x += width + px(90);
    }
    const bool chosenDays = clock && m_repeat.kind == RepeatRule::Kind::Chosen;
    for (int d = 0; d < 7; ++d)
        WeekdayToggle[d]->setChosen(chosenDays && (m_repeat.days & (1 << d)));
    RepeatRow->setVisible(clock || countdown);
    WeekdayRow->setVisible(chosenDays);
    const int rows = chosenDays ? 2 : (clock || countdown) ? 1 : 0;
    // Without a timer the panel keeps the modes' narrow width.
    Picture12[0]->setFixedSize(px(rows ? kTimePanelWidth : kNarrowTimePanelWidth),
                               px(kTimePanelHeights[rows]));
}

QString TodoPage::calendarLine() const
{
    if (m_calendar.lastYear() == 0)
        return QStringLiteral("法定工作日日历不可用，按周一至周五");
    return QStringLiteral("法定工作日日历至 %1 年").arg(m_calendar.lastYear());
}

QString TodoPage::entryToolTip(const QPoint& pos) const
{
    const int row = List2->indexAt(pos).row();
    if (row < 0 || row >= m_engine.TaskCount())
        return QString();
    const TaskItem& task = m_engine.task(row);
    if (task.Repeat.kind == RepeatRule::Kind::Workdays)
        return m_engine.entry(row) + u'\n' + m_calendar.summary();
    if (task.Repeat.kind == RepeatRule::Kind::Unknown)
        return m_engine.entry(row) +
               QStringLiteral("\n这个待办的重复方式来自更新的版本，这个版本不认识，所以它不会提醒。");
    return QString();
}

void TodoPage::fieldChanged(TextBoxW* field, int maximum)
{
    const QString clamped = clampField(field->text(), maximum);
    if (clamped != field->text()) {
        field->setText(clamped); // runs this handler again with the clamped text
        return;
    }
    Label2[1]->setText(timerLine(clockTimeMode() ? TimerMode::ClockTime : TimerMode::Countdown,
                                 TxtHour->text(), TxtMinute->text(), m_repeat));
}

bool TodoPage::wheelStep(bool towardUser)
{
    if (!List2)
        return false;
    const std::pair<TextBoxW*, int> fields[] = {{TxtHour, 23}, {TxtMinute, 59}};
    bool marked = false;
    for (const auto& [field, maximum] : fields) {
        if (field->tag() != QLatin1String("1"))
            continue;
        marked = true;
        const int value = field->text().toInt();
        if (towardUser && value < maximum)
            field->setText(twoDigits(QString::number(value + 1)));
        else if (!towardUser && value > 0)
            field->setText(twoDigits(QString::number(value - 1)));
        markFieldSet(field, true);
    }
    return marked;
}

void TodoPage::Label5_Click(int kind)
{
    for (int k = 0; k < 5; ++k)
        Label5[k]->setChosen(k == kind);
    Picture14->setVisible(kind == TaskAction::Power);
    TxtPrompt->setVisible(kind == TaskAction::Message);
    Label7[0]->setVisible(kind == TaskAction::Music);
    Label8->setVisible(kind == TaskAction::Music);
    Label7[1]->setVisible(kind == TaskAction::OpenFile);
    Label9->setVisible(kind == TaskAction::OpenFile);
    TxtCmd->setVisible(kind == TaskAction::Command);
    Line3->setVisible(kind == TaskAction::Command);
    Picture12[1]->setProperty("Tag", QString::number(kind));
    Label2[2]->setText(actionLine(kind));
}

void TodoPage::Label6_Click(int index)
{
    for (int i = 0; i < 3; ++i)
        Label6[i]->setChosen(i == index);
    Label5[0]->setProperty("Tag", QString::number(index));
}

void TodoPage::Label7_Click(int index)
{
    const CommonDialog& dialog = index == 0 ? *m_musicDialog : *m_fileDialog;
    const QString chosen = dialog.showOpen(m_page->window());
    if (chosen.isEmpty())
        return;
    (index == 0 ? Label8 : Label9)->setText(chosen);
}

void TodoPage::SButton5_Click(int index)
{
    Picture12[index]->setVisible(!Picture12[index]->isVisible());
    Picture12[1 - index]->hide();
    Picture11->hide();
    if (m_hooks.closeSettingsIfOpen)
        m_hooks.closeSettingsIfOpen();
}

void TodoPage::SButton4_Click()
{
    Picture11->setVisible(!Picture11->isVisible());
    Text3->setEnabled(!Picture11->isVisible());
    Picture12[0]->hide();
    Picture12[1]->hide();
}

void TodoPage::SButton6_Click(int index)
{
    if (index < 0 || index >= presets().size())
        return;
    const Preset& preset = presets().at(index);
    // A preset is the one-shot reminder it always was, whatever the repeat row shows.
    m_repeat = RepeatRule{};
    Text3->setText(preset.content);
    Label2[1]->setText(preset.timerLine);
    Label5_Click(preset.actionKind);
    if (preset.actionKind == TaskAction::Message)
        TxtPrompt->setText(preset.prompt);
    else if (preset.actionKind == TaskAction::Music)
        Label8->setText(presetMusicPath(m_platform.resourceFolder));
    else if (preset.actionKind == TaskAction::Power)
        Label6_Click(preset.powerChoice);
    SButton4_Click();
    AddTask();
}

void TodoPage::hidePanels()
{
    if (!List2)
        return;
    Picture12[0]->hide();
    Picture12[1]->hide();
    Picture11->hide();
}

bool TodoPage::closePanelByKey()
{
    if (!List2)
        return false;
    if (Picture11->isVisible()) {
        SButton4_Click(); // hides the presets and gives the content box back
        SButton4->setFocus(Qt::OtherFocusReason);
        return true;
    }
    for (int i = 0; i < 2; ++i) {
        if (Picture12[i]->isVisible()) {
            Picture12[i]->hide();
            SButton5[i]->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return false;
}

QList<QWidget*> TodoPage::tabChain() const
{
    if (!List2)
        return {};
    QList<QWidget*> order{Text3, SButton4};
    for (SButton* preset : SButton6)
        order << preset;
    order << SButton5[0] << Label4[0] << Label4[1] << Label4[2] << TxtHour << TxtMinute;
    for (ClickLabel* item : RepeatChoice)
        order << item;
    for (ClickLabel* day : WeekdayToggle)
        order << day;
    order << SButton5[1];
    for (ClickLabel* kind : Label5)
        order << kind;
    order << Label6[0] << Label6[1] << Label6[2] << TxtPrompt << Label7[0] << Label7[1] << TxtCmd;
    for (ImageButton* button : Picture10)
        order << button;
    order << List2;
    return order;
}

void TodoPage::AddTask()
{
    TaskEditorState state;
    state.content = Text3->text();
    state.timerLine = Label2[1]->text();
    state.actionKind = Picture12[1]->property("Tag").toString().toInt();
    state.powerCode = Label5[0]->property("Tag").toString();
    state.prompt = TxtPrompt->text();
    state.musicPath = Label8->text();
    state.filePath = Label9->text();
    state.command = TxtCmd->text();
    state.repeat = m_repeat;
    m_engine.addTask(makeTask(state));
    resetEditor();
}

void TodoPage::resetEditor()
{
    Text3->setText(QString());
    Label2[1]->setText(kNoTimerLine);
    Label2[2]->setText(QStringLiteral("动作：弹出提示"));
    TxtHour->setText(QStringLiteral("00"));
    TxtMinute->setText(QStringLiteral("00"));
    markFieldSet(TxtHour, false);
    markFieldSet(TxtMinute, false);
    m_repeat = RepeatRule{};
    m_chosenDays = 0;
    Label4_Click(2);
    TxtPrompt->setText(QString());
    Label8->setText(QString());
    Label9->setText(QString());
    TxtCmd->setText(QString());
    Label5_Click(1);
    Label6_Click(0);
    Picture12[0]->hide();
    Picture12[1]->hide();
}

// ---- The list -----------------------------------------------------------------------------------

void TodoPage::Picture10_Click(int index)
{
    switch (index) {
    case 0:
        AddTask();
        break;
    case 1:
        m_engine.RemoveTask(List2->ListIndex());
        break;
    case 2:
        m_engine.ClearDoneTasks();
        break;
    case 3:
        m_engine.ClearAllTasks();
        break;
    default:
        break;
    }
}

void TodoPage::ToggleTaskDone()
{
    m_engine.ToggleTaskDone(List2->ListIndex());
}
