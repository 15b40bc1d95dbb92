// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/SoundPlayer.h"

/// QSoundEffect behind the interface; the desktop bell stands in for a file that cannot play.
class SystemSoundPlayer : public SoundPlayer
{
public:
    void playWav(const QString& path, bool async) override;
};
