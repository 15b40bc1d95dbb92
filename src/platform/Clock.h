// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

/// Source of time for everything that waits or compares times, so tests can move time instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;
    /// Local date and time now, in the time zone in force at this moment.
    virtual QDateTime now() const = 0;
    /// Milliseconds on a monotonic clock that never jumps with the wall clock or the time zone and
    /// keeps counting while the computer is suspended, so a deadline on it falls in real time: a
    /// five-minute countdown is due on waking from a ten-minute sleep. Only differences matter.
    virtual qint64 monotonicMs() const = 0;
};

/// The machine's real clock.
class SystemClock : public Clock
{
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};
