// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskEngine.h"

#include "platform/Clock.h"
#include "tasks/WorkdayCalendar.h"

#include <QTime>

#include <algorithm>

namespace {

constexpr qint64 SnoozeSeconds = 5 * 60;

// The timer texts are always written by this application, so a plain digit reader is enough; a
// damaged field reads as far as its digits go, like the rest of the program's number reading.
int readNumber(QStringView digits)
{
    int value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// At least two digits; a negative number keeps its sign in front of them ("-01").
void appendTwoDigits(QString& out, qint64 number)
{
    if (number < 0) {
        out += u'-';
        number = -number;
    }
    if (number < 100) {
        out += QChar(u'0' + int(number / 10));
        out += QChar(u'0' + int(number % 10));
    } else {
        out += QString::number(number);
    }
}

bool isCountdown(const TaskItem& task)
{
    return task.TimeText.startsWith(u'-');
}

// The time of day of a "+HH:MM" text.
QTime clockTime(const QString& timeText)
{
    const QStringView text(timeText);
    return QTime(readNumber(text.mid(1, 2)), readNumber(text.mid(4, 2)));
}

// A calendar of no years: Monday to Friday.
const WorkdayCalendar& plainWeek()
{
    static const WorkdayCalendar calendar;
    return calendar;
}

} // namespace

TaskEngine::TaskEngine(const Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_calendar(&plainWeek())
{
}

void TaskEngine::setCalendar(const WorkdayCalendar* calendar)
{
    m_calendar = calendar ? calendar : &plainWeek();
}

bool TaskEngine::occursOn(const RepeatRule& rule, const QDate& date) const
{
    switch (rule.kind) {
    case RepeatRule::Kind::Weekdays:
        return date.dayOfWeek() <= 5;
    case RepeatRule::Kind::Workdays:
        return m_calendar->isWorkday(date);
    case RepeatRule::Kind::Chosen:
        return (rule.days & (1 << (date.dayOfWeek() - 1))) != 0;
    default:
        return true;
    }
}

int TaskEngine::addTask(const TaskItem& added)
{
    TaskItem task = added;
    using Kind = RepeatRule::Kind;
    const Kind kind = task.Repeat.kind;
    const bool fits = task.Status == TaskStatus::Running && task.TimeText != noTimerText() &&
                      (kind == Kind::Cycle ? isCountdown(task) : kind != Kind::Unknown && !isCountdown(task));
    if (!fits)
        task.Repeat = RepeatRule{};
    else if (kind == Kind::Cycle && task.Repeat.seconds <= 0)
        task.Repeat.seconds = countdownSeconds(task.TimeText);
    const int index = TaskCount();
    Slot slot;
    slot.id = m_nextId++;
    if (task.Status == TaskStatus::Running && isCountdown(task))
        slot.deadlineMs = m_clock.monotonicMs() + countdownSeconds(task.TimeText) * 1000;
    else if (task.Status == TaskStatus::Running && task.TimeText != noTimerText())
        armClock(task, slot, m_clock.now());
    m_items.append(task);
    m_slots.append(slot);
    if (appendEntry)
        appendEntry(entryText(task));
    emit listChanged();
    return index;
}

void TaskEngine::tick()
{
    // A reminder's window runs a nested event loop, so this can be entered again from inside a
    // callback. Only the scan is exclusive: it owns ScanCursor, and a tick skipped here loses
    // nothing because the next one reads the clock afresh.
    if (m_scanning || m_items.isEmpty())
        return;

    QList<DueAction> due;
    {
        m_scanning = true;
        struct ScanGuard
        {
            bool& flag;
            ~ScanGuard() { flag = false; }
        } guard{m_scanning};

        const qint64 nowMs = m_clock.monotonicMs();
        // Formed on first use: most ticks meet no clock-time task. The local time is read afresh at
        // every tick, so a clock set by hand or a new time zone is followed at once.
        QDateTime localNow;
        QString clockNow;
        const int last = TaskCount() - 1;
        for (m_scanCursor = 0; m_scanCursor <= last && m_scanCursor < TaskCount(); ++m_scanCursor) {
            const int i = m_scanCursor;
            TaskItem& task = m_items[i];
            if (task.Status != TaskStatus::Running || m_slots.at(i).held)
                continue;
            if (isCountdown(task)) {
                const qint64 leftMs = m_slots.at(i).deadlineMs - nowMs;
                // Whole seconds still to run, rounded down: the first tick after adding "-00:01:00"
                // shows 59 whatever the phase of the timer, and the 60th tick finds 0.
                const qint64 seconds = leftMs > 0 ? leftMs / 1000 : 0;
                if (seconds == 0) {
                    const Slot& slot = m_slots.at(i);
                    // The wall clock is read only for a countdown that fires, not at every tick.
                    const QDateTime dueAt = slot.missed.isValid()
                                                ? slot.missed
                                                : m_clock.now().toUTC().addMSecs(qMin<qint64>(leftMs, 0));
                    task.TimeText = runOutText();
                    fire(i, true, dueAt, due);
                } else {
                    QString text = countdownText(seconds);
                    if (text != task.TimeText) {
                        task.TimeText = std::move(text);
                        emitEntry(i);
                    }
                }
            } else {
                if (clockNow.isNull()) {
                    localNow = m_clock.now();
                    clockNow = clockText(localNow.time().hour(), localNow.time().minute());
                }
                if (clockDue(task, m_slots.at(i), localNow, clockNow))
                    fire(i, false, lastOccurrence(task, m_slots.at(i), localNow), due);
            }
        }
    }

    // Whatever fell due is marked done before its action runs: a power action may end the session,
    // and the kept list must not bring it back as still to run.
    if (!due.isEmpty())
        emit listChanged();

    // Actions run after the scan, because a message or music window does not return until it is
    // closed; the countdowns keep running in the ticks of its event loop meanwhile.
    for (const DueAction& action : std::as_const(due)) {
        // Whatever would start something and comes this late is not started unasked: a shut-down
        // that fell due during a suspend must not take the computer away the moment it wakes.
        if (action.late && actionRunsSomething(action.task.ActionKind) &&
            (!confirmLate || !confirmLate(indexOfId(action.id), action.task, action.dueAt)))
            continue;
        if (performAction)
            performAction(indexOfId(action.id), action.task, action.countdown,
                          action.late ? action.dueAt : QDateTime());
    }
}

void TaskEngine::armClock(const TaskItem& task, Slot& slot, const QDateTime& now, bool afterNow) const
{
    const QDate today = now.date();
    const QString nowText = clockText(now.time().hour(), now.time().minute());
    // The texts are fixed-width "+HH:MM", so they order as the times do.
    const bool stillToday = afterNow ? task.TimeText > nowText : task.TimeText >= nowText;
    QDate day = stillToday ? today : today.addDays(1);
    // The longest run of days off in a year is a fortnight; a rule that names no day at all (only a
    // hand-edited file could) waits a year and more rather than loop.
    for (int n = 0; n < 400 && task.Repeat.repeats() && !occursOn(task.Repeat, day); ++n)
        day = day.addDays(1);
    slot.clockDay = day;
}

bool TaskEngine::clockDue(const TaskItem& task, const Slot& slot, const QDateTime& now,
                          const QString& nowText)
{
    if (slot.missed.isValid())
        return true;
    const QDate today = now.date();
    // A repeating task has fired today already when it waits for a later day: the clock showing its
    // minute again (set back by hand, or in the autumn) does not bring it back.
    if (task.Repeat.repeats())
        return slot.clockDay.isValid() &&
               (today > slot.clockDay || (today == slot.clockDay && nowText >= task.TimeText));
    // Its minute on the clock fires it whatever day it was armed for: after the clock went back
    // (by hand, or in the autumn) the next time the wall shows it is the time the user meant.
    if (task.TimeText == nowText)
        return true;
    return slot.clockDay.isValid() &&
           (today > slot.clockDay || (today == slot.clockDay && nowText > task.TimeText));
}

QDateTime TaskEngine::lastOccurrence(const TaskItem& task, const Slot& slot, const QDateTime& now) const
{
    if (slot.missed.isValid())
        return slot.missed;
    const QTime at = clockTime(task.TimeText);
    if (!slot.clockDay.isValid() || now.date() < slot.clockDay)
        return now.toUTC(); // the clock went back to the minute: due now
    for (QDate day = now.date(); day >= slot.clockDay; day = day.addDays(-1)) {
        const QDateTime moment(day, at);
        if (moment.isValid() && moment <= now && (day == slot.clockDay || occursOn(task.Repeat, day)))
            return moment.toUTC();
    }
    return now.toUTC();
}

void TaskEngine::fire(int index, bool countdown, const QDateTime& dueAt, QList<DueAction>& due)
{
    TaskItem& task = m_items[index];
    Slot& slot = m_slots[index];
    slot.missed = QDateTime();
    const QDateTime now = m_clock.now();
    if (!task.Repeat.repeats()) {
        task.Status = TaskStatus::Done;
    } else if (countdown) {
        // Missed rounds are not made up: the cycle starts again from now, once.
        const qint64 seconds = qMax<qint64>(task.Repeat.seconds, 1);
        slot.deadlineMs = m_clock.monotonicMs() + seconds * 1000;
        task.TimeText = countdownText(seconds);
    } else {
        armClock(task, slot, now, true);
    }
    emitEntry(index);
    const bool late = dueAt.isValid() && dueAt.msecsTo(now.toUTC()) > LateMs;
    due.append({slot.id, countdown, task, dueAt, late});
    if (fired)
        fired(index);
}

void TaskEngine::ToggleTaskDone(int index)
{
    if (index < 0 || index >= TaskCount())
        return;
    TaskItem& task = m_items[index];
    task.Status = task.Status == TaskStatus::Done ? TaskStatus::Pending : TaskStatus::Done;
    m_slots[index].held = false;
    emitEntry(index);
    emit listChanged();
}

void TaskEngine::RemoveTask(int index)
{
    if (index < 0 || index >= TaskCount())
        return;
    eraseAt(index);
    emit listChanged();
}

void TaskEngine::ClearDoneTasks()
{
    // Downwards, so the indexes still to visit stay valid.
    bool removed = false;
    for (int k = TaskCount() - 1; k >= 0; --k) {
        if (m_items.at(k).Status == TaskStatus::Done) {
            eraseAt(k);
            removed = true;
        }
    }
    if (removed)
        emit listChanged();
}

void TaskEngine::ClearAllTasks()
{
    if (m_items.isEmpty())
        return;
    m_items.clear();
    m_slots.clear();
    if (clearEntries)
        clearEntries();
    emit listChanged();
}

void TaskEngine::snooze(int index)
{
    if (index < 0 || index >= TaskCount())
        return;
    if (m_items.at(index).Repeat.repeats()) {
        TaskItem copy = m_items.at(index);
        copy.Repeat = RepeatRule{};
        copy.TimeText = countdownText(SnoozeSeconds);
        copy.Status = TaskStatus::Running;
        addTask(copy);
        return;
    }
    TaskItem& task = m_items[index];
    task.TimeText = countdownText(SnoozeSeconds);
    task.Status = TaskStatus::Running;
    m_slots[index].held = false;
    m_slots[index].deadlineMs = m_clock.monotonicMs() + SnoozeSeconds * 1000;
    emitEntry(index);
    emit listChanged();
}

quint64 TaskEngine::taskId(int index) const
{
    return index >= 0 && index < TaskCount() ? m_slots.at(index).id : 0;
}

int TaskEngine::indexOfTask(quint64 id) const
{
    for (int i = 0; i < TaskCount(); ++i) {
        if (m_slots.at(i).id == id)
            return i;
    }
    return -1;
}

QList<StoredTask> TaskEngine::storedTasks() const
{
    // The deadlines are on the monotonic clock, which means nothing after a restart; the wall clock
    // in UTC does, whatever happens to the time zone meanwhile.
    const QDateTime nowUtc = m_clock.now().toUTC();
    const qint64 nowMs = m_clock.monotonicMs();
    QList<StoredTask> out;
    out.reserve(m_items.size());
    for (int i = 0; i < m_items.size(); ++i) {
        const TaskItem& task = m_items.at(i);
        const Slot& slot = m_slots.at(i);
        StoredTask stored{task, {}, slot.held};
        if (slot.held)
            stored.due = slot.heldDue;
        else if (task.Status == TaskStatus::Running && slot.missed.isValid())
            stored.due = slot.missed;
        else if (task.Status == TaskStatus::Running && isCountdown(task))
            stored.due = nowUtc.addMSecs(slot.deadlineMs - nowMs);
        else if (task.Status == TaskStatus::Running && task.TimeText != noTimerText())
            // The occurrence it waits for: one that passes while the application is closed is due
            // at the next start, said once however many went by.
            stored.due = QDateTime(slot.clockDay, clockTime(task.TimeText)).toUTC();
        out.append(std::move(stored));
    }
    return out;
}

void TaskEngine::restoreTasks(const QList<StoredTask>& tasks)
{
    const bool wasEmpty = m_items.isEmpty();
    m_items.clear();
    m_slots.clear();
    if (!wasEmpty && clearEntries)
        clearEntries();

    const QDateTime now = m_clock.now();
    const qint64 nowMs = m_clock.monotonicMs();
    for (const StoredTask& stored : tasks) {
        TaskItem task = stored.task;
        Slot slot;
        slot.id = m_nextId++;
        // Only a task that would run something is ever held; a hold on anything else means nothing.
        // A rule this version does not know holds any task: it cannot be fired as it was meant.
        slot.held = (stored.held && mayRunSomething(task)) || task.Repeat.kind == RepeatRule::Kind::Unknown;
        if (slot.held)
            slot.heldDue = stored.due;
        else
            arm(task, slot, stored.due, now, nowMs);
        m_items.append(task);
        m_slots.append(slot);
        if (appendEntry)
            appendEntry(entry(TaskCount() - 1));
    }
    if (!wasEmpty || !m_items.isEmpty())
        emit listChanged();
}

void TaskEngine::arm(TaskItem& task, Slot& slot, const QDateTime& due, const QDateTime& now,
                     qint64 nowMs) const
{
    if (task.Status != TaskStatus::Running)
        return;
    if (!isCountdown(task)) {
        if (task.TimeText == noTimerText())
            return;
        armClock(task, slot, now);
        // A power action never comes late at a start: it waits for its next occurrence.
        if (due.isValid() && due < now && task.ActionKind != TaskAction::Power)
            slot.missed = due.toUTC();
        return;
    }
    // TimeText was true when the list was kept, so it bounds what can be left now (it shows whole
    // seconds, hence the 999); only a wall clock set back or a due moment edited by hand would make
    // the wait longer. Without a due moment the countdown runs its text from now.
    const qint64 keptMs = countdownSeconds(task.TimeText) * 1000;
    qint64 leftMs = keptMs;
    if (due.isValid())
        leftMs = qMin(now.msecsTo(due), keptMs + 999);
    if (leftMs <= 0 && task.ActionKind == TaskAction::Power && task.Repeat.kind == RepeatRule::Kind::Cycle) {
        // Nor does a cycling one: its round starts again from now.
        slot.deadlineMs = nowMs + task.Repeat.seconds * 1000;
        task.TimeText = countdownText(task.Repeat.seconds);
    } else if (leftMs <= 0 && task.ActionKind == TaskAction::Power) {
        task.Status = TaskStatus::Done;
        task.TimeText = runOutText();
    } else {
        if (leftMs <= 0 && due.isValid())
            slot.missed = due.toUTC();
        // Past due: a deadline of now fires at the first tick, through the usual path.
        slot.deadlineMs = nowMs + qMax<qint64>(leftMs, 0);
        task.TimeText = countdownText(qMax<qint64>(leftMs, 0) / 1000);
    }
}

void TaskEngine::armHeldTasks()
{
    const QDateTime now = m_clock.now();
    const qint64 nowMs = m_clock.monotonicMs();
    bool armed = false;
    for (int i = 0; i < TaskCount(); ++i) {
        Slot& slot = m_slots[i];
        // A rule this version does not know stays held whatever the user says.
        if (!slot.held || m_items.at(i).Repeat.kind == RepeatRule::Kind::Unknown)
            continue;
        slot.held = false;
        arm(m_items[i], slot, slot.heldDue, now, nowMs);
        slot.heldDue = QDateTime();
        emitEntry(i);
        armed = true;
    }
    if (armed)
        emit listChanged();
}

int TaskEngine::heldCount() const
{
    return int(std::count_if(m_slots.cbegin(), m_slots.cend(), [](const Slot& slot) { return slot.held; }));
}

bool TaskEngine::hasArmedTimer() const
{
    for (int i = 0; i < m_items.size(); ++i) {
        const TaskItem& task = m_items.at(i);
        if (task.Status == TaskStatus::Running && !m_slots.at(i).held && task.TimeText != noTimerText())
            return true;
    }
    return false;
}

QDateTime TaskEngine::earliestDue() const
{
    const QDateTime now = m_clock.now();
    const QDateTime nowUtc = now.toUTC();
    const qint64 nowMs = m_clock.monotonicMs();
    QDateTime earliest;
    for (int i = 0; i < m_items.size(); ++i) {
        const TaskItem& task = m_items.at(i);
        const Slot& slot = m_slots.at(i);
        if (task.Status != TaskStatus::Running || slot.held || task.TimeText == noTimerText())
            continue;
        QDateTime due;
        if (isCountdown(task)) {
            due = nowUtc.addMSecs(qMax<qint64>(slot.deadlineMs - nowMs, 0));
        } else {
            due = QDateTime(slot.clockDay, clockTime(task.TimeText)).toUTC();
            // A minute the clock skips (spring forward) or one already passed is due at once.
            if (!due.isValid() || due < nowUtc || slot.missed.isValid())
                due = nowUtc;
        }
        if (!earliest.isValid() || due < earliest)
            earliest = due;
    }
    return earliest;
}

qint64 TaskEngine::nextWakeMs() const
{
    const qint64 nowMs = m_clock.monotonicMs();
    qint64 next = -1;
    const auto consider = [&next](qint64 at) {
        if (next < 0 || at < next)
            next = at;
    };
    for (int i = 0; i < m_items.size(); ++i) {
        const TaskItem& task = m_items.at(i);
        const Slot& slot = m_slots.at(i);
        if (task.Status != TaskStatus::Running || slot.held || task.TimeText == noTimerText())
            continue;
        if (isCountdown(task)) {
            consider(slot.deadlineMs);
        } else if (slot.missed.isValid()) {
            consider(nowMs);
        } else {
            const QTime time = m_clock.now().time();
            consider(nowMs + 60000 - (time.second() * 1000 + time.msec()));
        }
    }
    return next;
}

QString TaskEngine::entry(int index) const
{
    const TaskItem& task = m_items.at(index);
    return m_slots.at(index).held ? heldEntryText(task) : entryText(task);
}

void TaskEngine::eraseAt(int index)
{
    m_items.removeAt(index);
    m_slots.removeAt(index);
    if (removeEntry)
        removeEntry(index);
}

int TaskEngine::indexOfId(quint64 id) const
{
    for (int i = 0; i < m_slots.size(); ++i) {
        if (m_slots.at(i).id == id)
            return i;
    }
    return -1;
}

void TaskEngine::emitEntry(int index)
{
    if (setEntry)
        setEntry(index, entry(index));
}

QString TaskEngine::CountDownOneSecond(const QString& timeText)
{
    const QStringView text(timeText);
    int h = readNumber(text.mid(1, 2));
    int m = readNumber(text.mid(4, 2));
    int s = readNumber(text.mid(7, 2));
    if (s == 0) {
        s = 59;
        if (--m == -1) {
            m = 59;
            --h;
        }
    } else {
        --s;
    }
    if (h == 0 && m == 0 && s == 0)
        return runOutText();
    QString out;
    out.reserve(9);
    out += u'-';
    appendTwoDigits(out, h);
    out += u':';
    appendTwoDigits(out, m);
    out += u':';
    appendTwoDigits(out, s);
    return out;
}

QString TaskEngine::countdownText(qint64 seconds)
{
    if (seconds <= 0)
        return runOutText();
    QString out;
    out.reserve(9);
    out += u'-';
    appendTwoDigits(out, seconds / 3600);
    out += u':';
    appendTwoDigits(out, seconds / 60 % 60);
    out += u':';
    appendTwoDigits(out, seconds % 60);
    return out;
}

qint64 TaskEngine::countdownSeconds(const QString& timeText)
{
    const QStringView text(timeText);
    return qint64(readNumber(text.mid(1, 2))) * 3600 + readNumber(text.mid(4, 2)) * 60 +
           readNumber(text.mid(7, 2));
}

QString TaskEngine::clockText(int hour, int minute)
{
    QString out;
    out.reserve(6);
    out += u'+';
    appendTwoDigits(out, hour);
    out += u':';
    appendTwoDigits(out, minute);
    return out;
}
