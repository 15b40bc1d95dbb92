// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

/// Source of time for everything that waits or compares times, so tests can move time instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;
    /// Local date and time now.
    virtual QDateTime now() const = 0;
    /// Milliseconds on a monotonic clock (never jumps with the wall clock); only differences matter.
    virtual qint64 monotonicMs() const = 0;
};

/// The machine's real clock.
class SystemClock : public Clock
{
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};
