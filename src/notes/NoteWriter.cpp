// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteWriter.h"

#include "platform/ThreadPriority.h"

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
    m_thread.join();
}

bool NoteWriter::post(Job job, int kind)
{
    {
        std::lock_guard lock(m_mutex);
        if (kind != 0 && !m_queue.empty() && m_queue.back().kind == kind) {
            m_queue.back().job = std::move(job);
            return false;
        }
        m_queue.push_back({std::move(job), kind});
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
        m_queue.pop_front();
        m_running = true;
        lock.unlock();
        Reply reply = job();
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
