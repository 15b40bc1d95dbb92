// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NoServices.h"

#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DesktopOpener.h"
#include "platform/HostResolver.h"
#include "platform/MediaPlayer.h"
#include "platform/Notifier.h"
#include "platform/ProcessLauncher.h"
#include "platform/SessionTimer.h"
#include "platform/SoundPlayer.h"
#include "platform/WakeTimer.h"

namespace {

class NoLauncher : public ProcessLauncher
{
public:
    bool startDetached(const QString&, const QStringList&, const QString&) override { return false; }
};

class NoOpener : public DesktopOpener
{
public:
    bool open(const QUrl&) override { return false; }
};

class NoSound : public SoundPlayer
{
public:
    void playWav(const QString&, bool) override {}
};

class NoAutostart : public Autostart
{
public:
    void enable(const QString&, const QString&) override {}
    void disable(const QString&) override {}
};

class NoResolver : public HostResolver
{
public:
    bool resolves(const QString&) override { return false; }
};

class SilentPlayer : public MediaPlayer
{
public:
    void play(const QString&, float) override {}
    void stop() override {}
};

class NoMedia : public MediaPlayerFactory
{
public:
    std::unique_ptr<MediaPlayer> create() override { return std::make_unique<SilentPlayer>(); }
};

class NoNotifier : public Notifier
{
public:
    Ticket post(const QString&, const QString&, Urgency, std::function<void()>, QList<Action>) override
    {
        return 0;
    }
    void withdraw(Ticket) override {}
};

class NoSessionTimer : public SessionTimer
{
public:
    bool available() const override { return false; }
    void schedule(const QString&, const QDateTime&, const QString&, const QStringList&) override {}
    void cancel(const QString&) override {}
};

} // namespace

Clock* NoServices::clock()
{
    static SystemClock clock;
    return &clock;
}

ProcessLauncher* NoServices::launcher()
{
    static NoLauncher launcher;
    return &launcher;
}

DesktopOpener* NoServices::opener()
{
    static NoOpener opener;
    return &opener;
}

SoundPlayer* NoServices::sound()
{
    static NoSound sound;
    return &sound;
}

Autostart* NoServices::autostart()
{
    static NoAutostart autostart;
    return &autostart;
}

HostResolver* NoServices::resolver()
{
    static NoResolver resolver;
    return &resolver;
}

MediaPlayerFactory* NoServices::media()
{
    static NoMedia media;
    return &media;
}

Notifier* NoServices::notifier()
{
    static NoNotifier notifier;
    return &notifier;
}

SessionTimer* NoServices::sessionTimer()
{
    static NoSessionTimer timer;
    return &timer;
}

WakeTimer* NoServices::wakeTimer()
{
    static PlainWakeTimer timer([] { return NoServices::clock()->monotonicMs(); });
    return &timer;
}
