// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/HostResolver.h"
#include "platform/HttpClient.h"
#include "platform/MediaPlayer.h"
#include "platform/SoundPlayer.h"

#include <functional>

// Stand-ins handed out at start-up for the services of the ServiceModule: each loads the module on
// its first call and passes the call on. Without the module each fails the way its service fails
// when the system cannot help: the sound beeps, the music stays silent, no host resolves and no
// HTTP answer comes.

/// The alarm player of the module; fallbackBeep stands in when the module is missing.
class LazySoundPlayer : public SoundPlayer
{
public:
    explicit LazySoundPlayer(std::function<void()> fallbackBeep) : m_fallbackBeep(std::move(fallbackBeep)) {}
    void playWav(const QString& path, bool async) override;

private:
    std::function<void()> m_fallbackBeep;
};

/// Music players that load the module when they are first asked to play, not when a reminder
/// window merely opens.
class LazyMediaPlayerFactory : public MediaPlayerFactory
{
public:
    std::unique_ptr<MediaPlayer> create() override;
};

class LazyHostResolver : public HostResolver
{
public:
    bool resolves(const QString& host) override;
};

class LazyHttpClient : public HttpClient
{
public:
    HttpAnswer get(const QUrl& url, int timeoutMs, qint64 maxBytes) override;
};
