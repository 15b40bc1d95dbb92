// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tasks/TaskItem.h"

#include <QList>
#include <QObject>
#include <functional>

class Clock;
class WorkdayCalendar;

/// The to-do tasks in memory and the once-a-second tick that runs their timers.
///
/// The list widget is kept parallel to the tasks through the entry callbacks: entry i always shows
/// task i. Countdowns are kept as deadlines on the monotonic clock and their text is derived from
/// what is left, so a late or missed tick catches up instead of slowing the countdown down.
///
/// listChanged announces every change worth keeping across a restart; the one-second steps of a
/// countdown are not among them, since a kept countdown carries its due moment instead.
class TaskEngine : public QObject
{
    Q_OBJECT
public:
    explicit TaskEngine(const Clock& clock, QObject* parent = nullptr);

    /// A new entry at the end of the list.
    std::function<void(const QString& entry)> appendEntry;
    /// The text of entry index changed.
    std::function<void(int index, const QString& entry)> setEntry;
    /// Entry index is gone; later entries move up by one.
    std::function<void(int index)> removeEntry;
    /// Every entry is gone.
    std::function<void()> clearEntries;
    /// Task index has just fallen due and is marked done; its action has not run yet.
    /// The owner commits the editor and saves here, so everything is on disk before any action.
    std::function<void(int index)> fired;
    /// Perform the action of a task that fell due. task is the record as it was when it fell due;
    /// index is where it stands now (-1 if it was removed meanwhile). lateFrom is the moment (UTC) it
    /// was due when it comes more than LateMs after it (a suspend, a closed application), else
    /// invalid. May open a modal window, in which further ticks are welcome.
    std::function<void(int index, const TaskItem& task, bool countdown, const QDateTime& lateFrom)>
        performAction;
    /// Asked, once, before the action of a task that would run something (actionRunsSomething) and
    /// comes more than LateMs late: true runs it. Unset, such an action never runs late.
    std::function<bool(int index, const TaskItem& task, const QDateTime& dueAt)> confirmLate;

    /// How late a task may come and still act as if on time.
    static constexpr qint64 LateMs = 2 * 60 * 1000;

    /// The statutory working days the "法定工作日" rule follows; the engine does not own it, and
    /// without one the rule is Monday to Friday.
    void setCalendar(const WorkdayCalendar* calendar);
    /// True when a clock-time task with rule falls due on date.
    bool occursOn(const RepeatRule& rule, const QDate& date) const;

    /// The tasks, parallel to the list entries.
    const QList<TaskItem>& TaskItems() const { return m_items; }
    int TaskCount() const { return int(m_items.size()); }
    /// The task at index; index must be valid.
    const TaskItem& task(int index) const { return m_items.at(index); }
    /// Index of the task the current (or last) scan looked at.
    int ScanCursor() const { return m_scanCursor; }
    /// True while a tick is scanning the tasks (not while it performs actions).
    bool isScanning() const { return m_scanning; }
    /// True when task index is held back (see StoredTask::held): its timer stands still and it is
    /// never performed until armHeldTasks().
    bool isHeld(int index) const { return m_slots.at(index).held; }
    /// How many tasks are held back.
    int heldCount() const;
    /// True while some task has a timer that can fall due: running, not held, with a countdown or a
    /// clock time. Only then is there anything for the tick to do.
    bool hasArmedTimer() const;
    /// The earliest moment (UTC) an armed timer falls due: a countdown's end, or the next time the
    /// local clock shows a clock-time task's HH:MM (in the time zone in force now); invalid when
    /// no timer is armed. A task already due gives now.
    QDateTime earliestDue() const;
    /// When a tick is next needed if nobody watches the countdowns go down, on the clock's
    /// monotonic time: the earliest countdown deadline, or the start of the next minute on the
    /// wall clock while a clock-time task waits (so a clock set by hand or a new time zone is
    /// followed within that minute). -1 when no timer is armed.
    qint64 nextWakeMs() const;
    /// The list entry of task index: entryText(), or heldEntryText() while it is held back.
    QString entry(int index) const;

    /// Appends a task and its entry; a running countdown starts counting from now. A rule that does
    /// not fit the timer (a cycle without a countdown, a weekday rule without a clock time) is
    /// dropped: the task falls due once. Returns its index.
    int addTask(const TaskItem& task);

    /// The tick: counts the countdowns, compares the clock times, fires what fell due and then
    /// performs their actions in index order. A tick arriving while another one scans is ignored.
    void tick();

    /// The user confirmed the tasks held back: each is armed as a task kept with a trusted list would
    /// be at a restart (see restoreTasks), as of now. Emits listChanged when there was any.
    void armHeldTasks();

    /// Double-click on an entry: done becomes pending without timer, anything else becomes done. A
    /// task held back is no longer held: done or pending, it never falls due.
    void ToggleTaskDone(int index);
    /// Drops one task; a running timer of it never fires.
    void RemoveTask(int index);
    /// Drops every done task, keeping the others in their order.
    void ClearDoneTasks();
    /// Drops every task.
    void ClearAllTasks();
    /// Re-arms a task as a fresh five-minute countdown, whatever its state. A repeating task keeps its
    /// rule and its time: the five minutes go to a copy of it appended to the list, falling due once.
    void snooze(int index);
    /// A number that stays with the task at index while tasks are added and removed around it.
    quint64 taskId(int index) const;
    /// Where the task with that number is now; -1 once it is gone.
    int indexOfTask(quint64 id) const;

    /// The tasks as they are to be kept: each running countdown with the wall-clock moment (UTC)
    /// it falls due, each running clock time with the occurrence it waits for; a task held back as
    /// it was restored, marked held.
    QList<StoredTask> storedTasks() const;
    /// Replaces the list by tasks kept before a restart. A running countdown still in the future
    /// resumes with the time left until its due moment (never more than its TimeText had left, should
    /// the wall clock have gone back; without a due moment it runs its TimeText from now). One whose
    /// moment has passed fires at the first tick, late from that moment, except a power action: that
    /// one is marked done and never runs (a cycling one starts its round again), so a shut-down task
    /// cannot shut the computer down again right after it starts. A clock time whose kept occurrence
    /// passed while the application was closed fires at the first tick, late, once however many
    /// occurrences went by (a power action waits for its next occurrence instead); without a kept
    /// occurrence it waits for its next minute. Every other task comes back as it was. A task marked
    /// held, or with a rule this version does not know, comes back held: as it was kept, its timer
    /// standing still until it is armed (an unknown rule never is). Emits listChanged unless the list
    /// was and stays empty.
    void restoreTasks(const QList<StoredTask>& tasks);

    /// The countdown text one second later; "-**:**:**" when it reaches zero.
    static QString CountDownOneSecond(const QString& timeText);
    /// "-HH:MM:SS" for a number of seconds (hours keep counting past 99 rather than wrap).
    static QString countdownText(qint64 seconds);
    /// Seconds a "-HH:MM:SS" text still has to run; 0 for "-**:**:**" or anything unreadable.
    static qint64 countdownSeconds(const QString& timeText);
    /// "+HH:MM" of a time of day, the form clock-time tasks are compared in.
    static QString clockText(int hour, int minute);

signals:
    /// The list changed: a task was added (by hand or by a preset), removed, cleared, toggled,
    /// snoozed or restored, or one or more fell due (emitted once per tick, after they are marked done
    /// and before any of their actions runs). Not emitted for the countdowns' one-second steps.
    void listChanged();

private:
    struct Slot
    {
        qint64 deadlineMs = 0;
        quint64 id = 0;
        bool held = false;
        /// The due moment a held countdown was kept with, kept again as it was.
        QDateTime heldDue;
        /// The local day whose HH:MM a running clock-time task waits for.
        QDate clockDay;
        /// A kept moment (UTC) that passed while the application was closed: the task is due at the
        /// first tick, and late from then.
        QDateTime missed;
    };
    struct DueAction
    {
        quint64 id;
        bool countdown;
        TaskItem task;
        /// The moment (UTC) it was meant for, and whether it came more than LateMs after it.
        QDateTime dueAt;
        bool late;
    };

    /// Marks task index as fallen due: a one-shot task is done, a repeating one waits for its next
    /// occurrence (a cycle starts again from nowMs).
    void fire(int index, bool countdown, const QDateTime& dueAt, QList<DueAction>& due);
    /// Starts the timer of a kept task as of now (wall clock now, monotonic nowMs).
    void arm(TaskItem& task, Slot& slot, const QDateTime& due, const QDateTime& now, qint64 nowMs) const;
    /// Sets the day a clock-time task waits for: today while its minute is still to come (or is
    /// now, unless afterNow), else tomorrow; a repeating task then waits for the first day its rule
    /// names.
    void armClock(const TaskItem& task, Slot& slot, const QDateTime& now, bool afterNow = false) const;
    /// True when a waiting clock-time task falls due at the local time now: its minute has come on
    /// the day it waits for, or that moment has passed (a sleep, a clock set forward, a trip east).
    static bool clockDue(const TaskItem& task, const Slot& slot, const QDateTime& now,
                         const QString& nowText);
    /// The last moment up to now a waiting clock-time task was meant for: after days away, the most
    /// recent of the occurrences missed.
    QDateTime lastOccurrence(const TaskItem& task, const Slot& slot, const QDateTime& now) const;
    void eraseAt(int index);
    int indexOfId(quint64 id) const;
    void emitEntry(int index);

    const Clock& m_clock;
    const WorkdayCalendar* m_calendar;
    QList<TaskItem> m_items;
    QList<Slot> m_slots;
    quint64 m_nextId = 1;
    int m_scanCursor = 0;
    bool m_scanning = false;
};
