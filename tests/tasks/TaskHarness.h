// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Fakes.h"
#include "tasks/TaskEngine.h"

#include <QStringList>

/// A task engine on a fake clock whose list entries and callbacks are recorded.
struct TaskHarness
{
    FakeClock clock;
    TaskEngine engine{clock};
    QStringList entries;
    /// "fired i" and "action i text countdown|clock", in the order they happened.
    QStringList log;
    int entryWrites = 0;
    /// How often the engine announced a change of the list.
    int listChanges = 0;
    /// The answer to the question before a late task that would run something ("ask i text").
    bool runLate = false;
    /// Runs inside the action callback, after it was logged (a modal window's event loop, say).
    std::function<void(int index, const TaskItem& task)> duringAction;

    TaskHarness()
    {
        engine.appendEntry = [this](const QString& e) { entries.append(e); };
        engine.setEntry = [this](int i, const QString& e) {
            entries[i] = e;
            ++entryWrites;
        };
        engine.removeEntry = [this](int i) { entries.removeAt(i); };
        engine.clearEntries = [this] { entries.clear(); };
        engine.fired = [this](int i) { log << QStringLiteral("fired %1").arg(i); };
        QObject::connect(&engine, &TaskEngine::listChanged, [this] { ++listChanges; });
        engine.confirmLate = [this](int i, const TaskItem& task, const QDateTime&) {
            log << QStringLiteral("ask %1 %2").arg(i).arg(task.TaskText);
            return runLate;
        };
        engine.performAction = [this](int i, const TaskItem& task, bool countdown,
                                      const QDateTime& lateFrom) {
            log << QStringLiteral("action %1 %2 %3")
                           .arg(i)
                           .arg(task.TaskText, countdown ? "countdown" : "clock") +
                       (lateFrom.isValid()
                            ? QStringLiteral(" late ") + lateFrom.toLocalTime().toString(u"MM-dd HH:mm")
                            : QString());
            if (duringAction)
                duringAction(i, task);
        };
    }

    /// Adds a message task; "------" makes it pending without a timer.
    int add(const QString& text, const QString& time, int status = -1)
    {
        const int s =
            status >= 0 ? status : (time == noTimerText() ? TaskStatus::Pending : TaskStatus::Running);
        return engine.addTask({text, time, s, TaskAction::Message, text});
    }

    void tickAfter(qint64 ms = 1000)
    {
        clock.advanceMs(ms);
        engine.tick();
    }

    /// Entry i shows task i, for every i.
    bool inSync() const
    {
        if (entries.size() != engine.TaskCount())
            return false;
        for (int i = 0; i < entries.size(); ++i) {
            if (entries.at(i) != engine.entry(i))
                return false;
        }
        return true;
    }
};
