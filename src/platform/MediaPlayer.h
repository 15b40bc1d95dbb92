// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>

/// A music player for the reminder window: plays one file once at a given volume.
class MediaPlayer
{
public:
    virtual ~MediaPlayer() = default;
    /// Start playing path once; an empty or missing path plays nothing.
    virtual void play(const QString& path, float volume) = 0;
    virtual void stop() = 0;
};

/// Makes a fresh player for each reminder window.
class MediaPlayerFactory
{
public:
    virtual ~MediaPlayerFactory() = default;
    virtual std::unique_ptr<MediaPlayer> create() = 0;
};
