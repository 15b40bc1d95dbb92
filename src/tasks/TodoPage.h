// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Platform.h"
#include "tasks/TaskEngine.h"
#include "tasks/WorkdayCalendar.h"

#include <QList>
#include <QObject>
#include <array>
#include <functional>
#include <memory>

class ClickLabel;
class CommonDialog;
class ImageButton;
class ListBoxW;
class QFrame;
class QLabel;
class QTimer;
class SButton;
class Surface;
class TextBoxW;
class QWidget;

/// The to-do page of the main window: the task editor (content, timer, action), the presets, the
/// four list buttons, the task list and the one-second tick that runs the timers.
class TodoPage : public QObject
{
    Q_OBJECT

public:
    struct Hooks
    {
        /// Store the editor into the current note and save settings and notes.
        std::function<void()> commitAndSave;
        /// Close the settings panel if it is open, as its own button does.
        std::function<void()> closeSettingsIfOpen;
    };

    /// The page in page (the to-do page container of the main window); its controls are built by
    /// ensureBuilt(), the engine and the tick work without them.
    TodoPage(Surface* page, const Platform& platform, Hooks hooks);
    ~TodoPage() override;

    /// Builds the controls, once: when the page is first shown, so that a start that never opens it
    /// does not pay for its sixty widgets.
    void ensureBuilt();
    bool isBuilt() const { return List2 != nullptr; }

    TaskEngine& engine() { return m_engine; }
    /// Lets the one-second tick run from now on, whenever a timer is armed (see updateTick).
    void start();
    /// Stops the tick for good, as the window closes.
    void stop();

    void AddTask();
    void Picture10_Click(int index);
    void Label4_Click(int index);
    void Label5_Click(int index);
    void Label6_Click(int index);
    void Label7_Click(int index);
    /// The repeat row: 0 "只一次", 1 "每天", 2 "工作日", 3 "法定工作日", 4 "自选", 5 "循环".
    void RepeatChoice_Click(int index);
    /// The weekday toggles of "自选", day 1 Monday to 7 Sunday; the last one on stays on.
    void WeekdayToggle_Click(int day);
    /// The statutory working days the "法定工作日" tasks follow: the user's file in the settings
    /// folder when it is there and good, else the one shipped with the application.
    const WorkdayCalendar& calendar() const { return m_calendar; }
    /// The calendar's reach in a short line, for the About window: "法定工作日日历至 2026 年".
    QString calendarLine() const;
    /// Why the user's calendar file (or the shipped one) was not used; "" when all was well.
    QString calendarProblem() const { return m_calendarProblem; }
    void SButton4_Click();
    void SButton5_Click(int index);
    void SButton6_Click(int index);
    void ToggleTaskDone();
    /// Asks, in a question window ("HeldTasksQuestion"), whether the tasks held back are to be armed
    /// ("启用") or left held ("不启用"); returns once it is answered.
    void askToArmHeldTasks(const QString& title, const QString& question);
    /// Hides the time, action and preset panels (the settings button does this).
    void hidePanels();
    /// Escape: closes the open time, action or preset panel and gives the keyboard to the button that
    /// opened it; false when none was open (or the page is not built).
    bool closePanelByKey();
    /// The page's controls in the order Tab walks them: each panel right after the button that opens
    /// it. Empty until the page is built.
    QList<QWidget*> tabChain() const;
    /// One wheel step for the hour and minute fields marked as under the pointer; true when one
    /// of them is marked.
    bool wheelStep(bool towardUser);

private:
    void createControls();
    void wireEvents();
    void fieldChanged(TextBoxW* field, int maximum);
    bool clockTimeMode() const;
    /// The timer line for the chosen mode, fields and repeat choice.
    void updateTimerLine();
    /// Shows the repeat choices the chosen mode offers, side by side, the weekday toggles under them
    /// for "自选", and sizes the time panel to what it shows.
    void layoutRepeatRow();
    /// The tool tip of the list entry at pos of the list's viewport; "" for the usual one.
    QString entryToolTip(const QPoint& pos) const;
    void resetEditor();
    void performAction(int index, const TaskItem& task, bool countdown, const QDateTime& lateFrom);
    /// Runs Timer1 while the engine has an armed timer and the list is on the screen; with the list
    /// out of sight the platform's wake timer wakes the engine only when something falls due; with
    /// nothing armed neither runs. A list with nothing to show wakes the processor for nothing.
    void updateTick();
    /// True while List2 is built, shown and its window not minimized.
    bool listOnScreen() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Surface* m_page;
    Platform m_platform;
    Hooks m_hooks;
    TaskEngine m_engine;
    QTimer* Timer1 = nullptr;
    std::unique_ptr<CommonDialog> m_musicDialog;
    std::unique_ptr<CommonDialog> m_fileDialog;
    bool m_resetting = false;
    WorkdayCalendar m_calendar;
    QString m_calendarProblem;
    RepeatRule m_repeat;
    /// The weekdays "自选" had, so that leaving it and coming back keeps them.
    int m_chosenDays = 0;
    bool m_tickAllowed = false;

    TextBoxW* Text3 = nullptr;
    QFrame* Line2 = nullptr;
    std::array<QLabel*, 3> Label2{}; // items 4, 5, 6
    std::array<SButton*, 2> SButton5{};
    SButton* SButton4 = nullptr;
    std::array<Surface*, 2> Picture12{};
    std::array<ClickLabel*, 3> Label4{};
    Surface* Picture13 = nullptr;
    TextBoxW* TxtHour = nullptr;
    TextBoxW* TxtMinute = nullptr;
    Surface* RepeatRow = nullptr;
    std::array<ClickLabel*, 6> RepeatChoice{};
    Surface* WeekdayRow = nullptr;
    std::array<ClickLabel*, 7> WeekdayToggle{};
    std::array<ClickLabel*, 5> Label5{};
    Surface* Picture14 = nullptr;
    std::array<ClickLabel*, 3> Label6{};
    TextBoxW* TxtPrompt = nullptr;
    std::array<ClickLabel*, 2> Label7{};
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    TextBoxW* TxtCmd = nullptr;
    QFrame* Line3 = nullptr;
    Surface* Picture11 = nullptr;
    std::array<SButton*, 7> SButton6{};
    std::array<ImageButton*, 4> Picture10{};
    ListBoxW* List2 = nullptr;
};
