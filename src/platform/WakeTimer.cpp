// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WakeTimer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <utility>

SystemWakeTimer::SystemWakeTimer(std::function<qint64()> now, QObject* parent) : QObject(parent)
{
    m_fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) {
        m_fallback = std::make_unique<PlainWakeTimer>(std::move(now));
        return;
    }
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SystemWakeTimer::expired);
}

SystemWakeTimer::~SystemWakeTimer()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void SystemWakeTimer::wakeAt(qint64 monotonicMs, std::function<void()> wake)
{
    if (m_fallback) {
        m_fallback->wakeAt(monotonicMs, std::move(wake));
        return;
    }
    m_wake = std::move(wake);
    itimerspec when{};
    // An absolute moment; zero would disarm the timer, so a moment already past is one nanosecond.
    const qint64 ms = qMax<qint64>(monotonicMs, 0);
    when.it_value.tv_sec = time_t(ms / 1000);
    when.it_value.tv_nsec = long(ms % 1000) * 1000000L;
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0)
        when.it_value.tv_nsec = 1;
    ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr);
}

void SystemWakeTimer::cancel()
{
    if (m_fallback)
        m_fallback->cancel();
    m_wake = nullptr;
    if (m_fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
    }
}

void SystemWakeTimer::expired()
{
    quint64 expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations)
        return; // cancelled or re-armed after it fired: nothing is due
    // Taken out first: the wake usually asks for the next one.
    const std::function<void()> wake = std::exchange(m_wake, nullptr);
    if (wake)
        wake();
}

PlainWakeTimer::PlainWakeTimer(MonotonicNow now) : m_now(std::move(now)) {}

PlainWakeTimer::~PlainWakeTimer() = default;

void PlainWakeTimer::wakeAt(qint64 monotonicMs, std::function<void()> wake)
{
    m_wake = std::move(wake);
    if (!m_timer) {
        m_timer = std::make_unique<QTimer>();
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
            const std::function<void()> due = std::exchange(m_wake, nullptr);
            if (due)
                due();
        });
    }
    m_timer->start(int(qBound(qint64(0), monotonicMs - m_now(), qint64(24) * 3600 * 1000)));
}

void PlainWakeTimer::cancel()
{
    m_wake = nullptr;
    if (m_timer)
        m_timer->stop();
}
