// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <time.h>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::monotonicMs() const
{
    // CLOCK_MONOTONIC, which QElapsedTimer reads, stands still during a suspend; the boot-time clock
    // goes on, as the user's own sense of "in five minutes" does.
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
