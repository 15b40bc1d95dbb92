// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DataFolder.h"
#include "platform/Platform.h"

#include <memory>

/// Owns the real services of this Linux desktop. Made after the application object, so the window
/// system in use is known.
class SystemPlatform
{
public:
    explicit SystemPlatform(const AppFolders& folders);
    ~SystemPlatform();
    const Platform& platform() const { return m_platform; }
    /// Where notes go that the notes folder refused at the end: $XDG_STATE_HOME/VemraNotes (else
    /// ~/.local/state/VemraNotes), then the home folder, then the temporary folder.
    static QStringList emergencyFolders(const QString& xdgStateHome, const QString& home,
                                        const QString& temporary);

private:
    struct Services;
    std::unique_ptr<Services> m_services;
    Platform m_platform;
};
