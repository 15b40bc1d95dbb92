// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Clock.h"

#include <QElapsedTimer>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

qint64 SystemClock::monotonicMs() const
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
