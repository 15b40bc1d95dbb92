// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemHostResolver.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QTimer>

bool SystemHostResolver::resolves(const QString& host)
{
    if (host.isEmpty())
        return false;
    if (!QHostAddress(host).isNull())
        return true;
    QEventLoop loop;
    bool found = false;
    bool done = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const int id = QHostInfo::lookupHost(host, &loop, [&](const QHostInfo& info) {
        found = info.error() == QHostInfo::NoError && !info.addresses().isEmpty();
        done = true;
        loop.quit();
    });
    if (!done) {
        timer.start(m_timeoutMs);
        loop.exec();
    }
    if (!done)
        QHostInfo::abortHostLookup(id);
    return found;
}
