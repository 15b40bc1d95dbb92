#pragma once

#include <QString>

class Clock;
class ProcessLauncher;
class DesktopOpener;
class SoundPlayer;
class Autostart;
class HostResolver;
class MediaPlayerFactory;

/// Every service the application takes from the operating system, handed to the main window at
/// construction. The application wires the real ones; tests wire recording fakes.
struct Platform
{
    /// Folder of the running executable: Config.ini, Notes/ and Sounds/ live here.
    QString appFolder;
    /// Executable's file name without extension, the name of the autostart entry.
    QString appName = QStringLiteral("VemraNotes");
    /// Full path of the executable, written into the autostart entry.
    QString executablePath;
    Clock* clock = nullptr;
    ProcessLauncher* launcher = nullptr;
    DesktopOpener* opener = nullptr;
    SoundPlayer* sound = nullptr;
    Autostart* autostart = nullptr;
    HostResolver* resolver = nullptr;
    MediaPlayerFactory* media = nullptr;
};
