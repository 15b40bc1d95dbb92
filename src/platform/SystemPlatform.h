#pragma once

#include "platform/Platform.h"

#include <memory>

/// Owns the real services of this Linux desktop.
class SystemPlatform
{
public:
    SystemPlatform();
    ~SystemPlatform();
    const Platform& platform() const { return m_platform; }

private:
    struct Services;
    std::unique_ptr<Services> m_services;
    Platform m_platform;
};
