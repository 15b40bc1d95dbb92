// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/HostResolver.h"

/// The system resolver through QHostInfo, waiting at most timeoutMs while window events run.
class SystemHostResolver : public HostResolver
{
public:
    explicit SystemHostResolver(int timeoutMs = 3000) : m_timeoutMs(timeoutMs) {}
    bool resolves(const QString& host) override;

private:
    int m_timeoutMs;
};
