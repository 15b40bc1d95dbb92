// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteWriter.h"

#include "platform/ThreadPriority.h"

#include <algorithm>

NoteWriter::NoteWriter(QObject* parent) : QObject(parent) {}

NoteWriter::~NoteWriter()
{
    if (!m_thread.joinable())
        return;
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_queue.empty() && !m_running; });
        m_stopping = true;
    }
    m_wake.notify_one();
    m_heavyWake.notify_all();
    m_thread.join();
    if (m_heavyThread.joinable())
        m_heavyThread.join();
}

bool NoteWriter::post(Job job, int kind, Weight weight)
{
    {
        std::lock_guard lock(m_mutex);
        if (weight == Weight::Heavy && !m_heavyThread.joinable())
            m_heavyThread = std::thread([this] { runHeavy(); });
        if (kind != 0 && !m_queue.empty() && m_queue.back().kind == kind) {
            m_queue.back().job = std::move(job);
            m_queue.back().weight = std::max(m_queue.back().weight, weight);
            return false;
        }
        m_queue.push_back({std::move(job), kind, weight});
        // Started on the first job: a run that never writes never has the thread.
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_one();
    return true;
}

void NoteWriter::run()
{
    // Typing comes first: on a busy processor the key's drawing wins over the save it brings.
    ThreadPriority::yieldToOthers();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Job job = std::move(m_queue.front().job);
        const Weight weight = m_queue.front().weight;
        m_queue.pop_front();
        m_running = true;
        lock.unlock();
        Reply reply = weight == Weight::Heavy ? runAtOwnersPriority(job) : job();
        lock.lock();
        m_running = false;
        const bool first = m_replies.empty();
        m_replies.push_back(std::move(reply));
        // One call on the owner's thread takes every reply waiting then.
        if (first)
            QMetaObject::invokeMethod(
                this, [this] { deliver(); }, Qt::QueuedConnection);
        m_done.notify_all();
    }
}

NoteWriter::Reply NoteWriter::runAtOwnersPriority(Job& job)
{
    std::unique_lock lock(m_mutex);
    m_heavyJob = &job;
    m_heavyDone = false;
    m_heavyWake.notify_all();
    m_heavyWake.wait(lock, [this] { return m_heavyDone; });
    m_heavyJob = nullptr;
    return std::move(m_heavyReply);
}

void NoteWriter::runHeavy()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_heavyWake.wait(lock, [this] { return m_stopping || (m_heavyJob && !m_heavyDone); });
        if (!m_heavyJob || m_heavyDone)
            return;
        Job& job = *m_heavyJob;
        lock.unlock();
        Reply reply = job();
        lock.lock();
        m_heavyReply = std::move(reply);
        m_heavyDone = true;
        m_heavyWake.notify_all();
    }
}

bool NoteWriter::deliver()
{
    bool any = false;
    for (;;) {
        Reply reply;
        {
            std::lock_guard lock(m_mutex);
            if (m_replies.empty())
                return any;
            reply = std::move(m_replies.front());
            m_replies.pop_front();
        }
        any = true;
        // One at a time: a reply may open a window whose event loop delivers the next ones.
        if (reply)
            reply();
    }
}

void NoteWriter::waitUntilIdle()
{
    do {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_queue.empty() && !m_running; });
    } while (deliver());
}
