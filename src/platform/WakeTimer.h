// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QtGlobal>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;

/// One wake-up at a moment of the clock that Clock::monotonicMs() reads, which goes on through a
/// suspend: what the reminders wait on while nothing of theirs is on the screen, so that the
/// processor sleeps until something falls due.
class WakeTimer
{
public:
    virtual ~WakeTimer() = default;
    /// Runs wake once, at monotonicMs (at once when that has passed); replaces an earlier request.
    virtual void wakeAt(qint64 monotonicMs, std::function<void()> wake) = 0;
    /// Takes the pending request back.
    virtual void cancel() = 0;
};

/// A timerfd on CLOCK_BOOTTIME, watched by the event loop: a deadline passed during a suspend
/// wakes the application as soon as the computer does.
class PlainWakeTimer;

class SystemWakeTimer : public QObject, public WakeTimer
{
    Q_OBJECT
public:
    /// now reads the monotonic clock, for the fallback where no timerfd can be made.
    explicit SystemWakeTimer(std::function<qint64()> now, QObject* parent = nullptr);
    ~SystemWakeTimer() override;
    void wakeAt(qint64 monotonicMs, std::function<void()> wake) override;
    void cancel() override;

private:
    void expired();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::function<void()> m_wake;
    std::unique_ptr<PlainWakeTimer> m_fallback;
};

/// The same on a Qt timer, for where no timerfd is to be had: it does not count a suspend, so a
/// deadline passed in one comes late by its length.
class PlainWakeTimer : public WakeTimer
{
public:
    using MonotonicNow = std::function<qint64()>;
    explicit PlainWakeTimer(MonotonicNow now);
    ~PlainWakeTimer() override;
    void wakeAt(qint64 monotonicMs, std::function<void()> wake) override;
    void cancel() override;

private:
    MonotonicNow m_now;
    std::unique_ptr<QTimer> m_timer;
    std::function<void()> m_wake;
};
