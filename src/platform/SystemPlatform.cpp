// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemPlatform.h"

#include "platform/AppId.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DBusNotifier.h"
#include "platform/DesktopOpener.h"
#include "platform/LazyServices.h"
#include "platform/ProcessLauncher.h"
#include "platform/SessionTimer.h"
#include "platform/UserKey.h"
#include "platform/WakeTimer.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

struct SystemPlatform::Services
{
    SystemClock clock;
    SystemProcessLauncher launcher;
    SystemDesktopOpener opener;
    // Sound, music and name resolution come from the service module, loaded on first use.
    LazySoundPlayer sound{[] { QApplication::beep(); }};
    XdgAutostart autostart;
    LazyHostResolver resolver;
    LazyMediaPlayerFactory media;
    std::unique_ptr<DBusNotifier> notifier;
    SystemdSessionTimer sessionTimer{launcher, qEnvironmentVariable("XDG_RUNTIME_DIR")};
    SystemWakeTimer wakeTimer{[this] { return clock.monotonicMs(); }};
};

namespace {
/// The icon for notifications: the theme's icon of the installed launcher, or the picture the build
/// writes beside a portable executable, which no icon theme knows.
QString notificationIcon(const QString& resourceFolder)
{
    const QString built = resourceFolder + QStringLiteral("/VemraNotes.png");
    return QFileInfo(built).isFile() ? QUrl::fromLocalFile(built).toString() : kAppId;
}
} // namespace

QStringList SystemPlatform::emergencyFolders(const QString& xdgStateHome, const QString& home,
                                             const QString& temporary)
{
    // Relative values are meaningless here (the basedir rules say to ignore them).
    const auto absolute = [](const QString& path) { return !path.isEmpty() && QDir::isAbsolutePath(path); };
    QStringList folders;
    if (absolute(xdgStateHome))
        folders.append(xdgStateHome + QStringLiteral("/VemraNotes"));
    else if (absolute(home))
        folders.append(home + QStringLiteral("/.local/state/VemraNotes"));
    if (absolute(home))
        folders.append(home);
    folders.append(temporary);
    return folders;
}

SystemPlatform::SystemPlatform(const AppFolders& folders) : m_services(std::make_unique<Services>())
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    m_platform.appFolder = folders.data;
    m_platform.resourceFolder = folders.resources;
    m_platform.appName = exe.completeBaseName();
    m_platform.executablePath = exe.absoluteFilePath();
    m_platform.emergencyFolders = emergencyFolders(qEnvironmentVariable("XDG_STATE_HOME"),
                                                   qEnvironmentVariable("HOME"), QDir::tempPath());
    m_platform.taskKeyPath = UserKey::defaultPath();
    m_platform.clock = &m_services->clock;
    m_platform.launcher = &m_services->launcher;
    m_platform.opener = &m_services->opener;
    m_platform.sound = &m_services->sound;
    m_platform.autostart = &m_services->autostart;
    m_platform.resolver = &m_services->resolver;
    m_platform.media = &m_services->media;
    m_services->notifier = std::make_unique<DBusNotifier>(QStringLiteral("Vemra便笺"),
                                                          notificationIcon(folders.resources), kAppId);
    m_platform.notifier = m_services->notifier.get();
    m_platform.sessionTimer = &m_services->sessionTimer;
    m_platform.wakeTimer = &m_services->wakeTimer;
    m_platform.canPlaceWindows = WindowSystem::canPlaceWindows(QGuiApplication::platformName());
}

SystemPlatform::~SystemPlatform() = default;
