// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LazyServices.h"

#include "platform/ServiceModule.h"

namespace {
/// Makes the module's player on the first play and keeps it for the later ones.
class LazyMediaPlayer : public MediaPlayer
{
public:
    void play(const QString& path, float volume) override
    {
        if (!m_player) {
            ServiceModule* module = ServiceModule::instance();
            if (!module)
                return;
            m_player = module->media().create();
        }
        m_player->play(path, volume);
    }
    void stop() override
    {
        if (m_player)
            m_player->stop();
    }

private:
    std::unique_ptr<MediaPlayer> m_player;
};
} // namespace

void LazySoundPlayer::playWav(const QString& path, bool async)
{
    if (ServiceModule* module = ServiceModule::instance())
        module->sound().playWav(path, async);
    else if (m_fallbackBeep)
        m_fallbackBeep();
}

std::unique_ptr<MediaPlayer> LazyMediaPlayerFactory::create()
{
    return std::make_unique<LazyMediaPlayer>();
}

bool LazyHostResolver::resolves(const QString& host)
{
    ServiceModule* module = ServiceModule::instance();
    return module && module->resolver().resolves(host);
}

HttpAnswer LazyHttpClient::get(const QUrl& url, int timeoutMs, qint64 maxBytes)
{
    ServiceModule* module = ServiceModule::instance();
    return module ? module->http().get(url, timeoutMs, maxBytes) : HttpAnswer();
}
