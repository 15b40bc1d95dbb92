// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemMediaPlayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

SystemMediaPlayer::SystemMediaPlayer() = default;

SystemMediaPlayer::~SystemMediaPlayer()
{
    stop();
    delete m_player;
    delete m_output;
}

void SystemMediaPlayer::play(const QString& path, float volume)
{
    if (path.trimmed().isEmpty() || !QFileInfo(path).isFile())
        return;
    // Built lazily: a reminder without a playable file never touches the media back end.
    if (!m_player) {
        m_player = new QMediaPlayer;
        m_output = new QAudioOutput;
        m_player->setAudioOutput(m_output);
    }
    m_output->setVolume(volume);
    m_player->setLoops(1);
    m_player->setSource(QUrl::fromLocalFile(path));
    m_player->play();
}

void SystemMediaPlayer::stop()
{
    if (m_player)
        m_player->stop();
}
