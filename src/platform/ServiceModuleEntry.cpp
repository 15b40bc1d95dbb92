// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point of the service module (libVemraServices.so): the only code that links Qt
// Multimedia and Qt Network. The application reaches it through ServiceModule::instance().
#include "platform/QtHttpClient.h"
#include "platform/ServiceModule.h"
#include "platform/SystemHostResolver.h"
#include "platform/SystemMediaPlayer.h"
#include "platform/SystemSoundPlayer.h"

namespace {
class SystemServiceModule : public ServiceModule
{
public:
    SoundPlayer& sound() override { return m_sound; }
    MediaPlayerFactory& media() override { return m_media; }
    HostResolver& resolver() override { return m_resolver; }
    HttpClient& http() override { return m_http; }

private:
    SystemSoundPlayer m_sound;
    SystemMediaPlayerFactory m_media;
    SystemHostResolver m_resolver;
    QtHttpClient m_http;
};
} // namespace

extern "C" Q_DECL_EXPORT ServiceModule* vemraServiceModule()
{
    // Kept to the end of the process, as the module itself is never unloaded.
    static auto* module = new SystemServiceModule;
    return module;
}
