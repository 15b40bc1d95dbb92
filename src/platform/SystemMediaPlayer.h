// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/MediaPlayer.h"

class QMediaPlayer;
class QAudioOutput;

/// QMediaPlayer with its own audio output.
class SystemMediaPlayer : public MediaPlayer
{
public:
    SystemMediaPlayer();
    ~SystemMediaPlayer() override;
    void play(const QString& path, float volume) override;
    void stop() override;

private:
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
};

class SystemMediaPlayerFactory : public MediaPlayerFactory
{
public:
    std::unique_ptr<MediaPlayer> create() override { return std::make_unique<SystemMediaPlayer>(); }
};
