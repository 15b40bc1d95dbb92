// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Name resolution for the translation host's reachability test.
class HostResolver
{
public:
    virtual ~HostResolver() = default;
    /// True when the host name resolves (an IP address literal always does). Bounded in time.
    virtual bool resolves(const QString& host) = 0;
};
