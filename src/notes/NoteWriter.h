// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/// Runs the folder's work on a thread of its own, one job after another in the order given, so that
/// typing never waits for the disk and two writes never interleave. What a job hands back runs on
/// the owner's thread, in the same order, from its event loop or from waitUntilIdle().
///
/// A job waiting its turn can be replaced by a newer one of the same kind: a save that has not started
/// yet takes the newest texts instead of writing the older ones first.
///
/// The writer gives way to the rest of the machine, so that a key's drawing and the X server never
/// wait for the save it brings. A heavy job (a save that moves a thousand files) would starve that
/// way on a busy processor, for seconds: it runs at the owner's own priority, still in its turn.
class NoteWriter : public QObject
{
    Q_OBJECT

public:
    /// What runs on the owner's thread once a job is done.
    using Reply = std::function<void()>;
    /// Runs on the writer's thread.
    using Job = std::function<Reply()>;

    explicit NoteWriter(QObject* parent = nullptr);
    /// Finishes every job given (the folder must not change under a write cut short), without their
    /// replies.
    ~NoteWriter() override;

    enum class Weight
    {
        Light,
        Heavy
    };
    /// Queues job. With a kind other than 0, a job of that kind still waiting last in line is
    /// replaced instead; false then (its reply will never come).
    bool post(Job job, int kind = 0, Weight weight = Weight::Light);
    /// Waits until every job given has run and its reply has run here. Replies may give new jobs;
    /// they are waited for too.
    void waitUntilIdle();

private:
    struct Queued
    {
        Job job;
        int kind = 0;
        Weight weight = Weight::Light;
    };
    void run();
    /// Runs heavy jobs handed over by run(), one at a time, at the owner's priority.
    void runHeavy();
    /// Runs job on the heavy thread and waits for it there.
    Reply runAtOwnersPriority(Job& job);
    /// Runs the replies that arrived, oldest first. True when there was one.
    bool deliver();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Queued> m_queue;
    std::deque<Reply> m_replies;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
    /// Made by the owner's thread, so it has the owner's priority.
    std::thread m_heavyThread;
    std::condition_variable m_heavyWake;
    Job* m_heavyJob = nullptr;
    Reply m_heavyReply;
    bool m_heavyDone = false;
};
