// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// One-shot playback of a short WAV file (the alarm).
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    /// Play the file once. With async the call returns at once; otherwise after the sound ended.
    /// A missing or unplayable file gives the desktop's fallback beep.
    virtual void playWav(const QString& path, bool async) = 0;
};
