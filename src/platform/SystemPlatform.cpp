#include "platform/SystemPlatform.h"

#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DesktopOpener.h"
#include "platform/ProcessLauncher.h"
#include "platform/SystemHostResolver.h"
#include "platform/SystemMediaPlayer.h"
#include "platform/SystemSoundPlayer.h"

#include <QCoreApplication>
#include <QFileInfo>

struct SystemPlatform::Services
{
    SystemClock clock;
    SystemProcessLauncher launcher;
    SystemDesktopOpener opener;
    SystemSoundPlayer sound;
    XdgAutostart autostart;
    SystemHostResolver resolver;
    SystemMediaPlayerFactory media;
};

SystemPlatform::SystemPlatform() : m_services(std::make_unique<Services>())
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    m_platform.appFolder = exe.absolutePath();
    m_platform.appName = exe.completeBaseName();
    m_platform.executablePath = exe.absoluteFilePath();
    m_platform.clock = &m_services->clock;
    m_platform.launcher = &m_services->launcher;
    m_platform.opener = &m_services->opener;
    m_platform.sound = &m_services->sound;
    m_platform.autostart = &m_services->autostart;
    m_platform.resolver = &m_services->resolver;
    m_platform.media = &m_services->media;
}

SystemPlatform::~SystemPlatform() = default;
