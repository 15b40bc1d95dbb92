// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/NoServices.h"

#include <QString>
#include <QStringList>

class Clock;
class ProcessLauncher;
class DesktopOpener;
class SoundPlayer;
class Autostart;
class HostResolver;
class MediaPlayerFactory;
class Notifier;
class SessionTimer;
class WakeTimer;

/// Every service the application takes from the operating system, handed to the main window at
/// construction. The application wires the real ones; tests wire recording fakes. None is ever null:
/// what nobody wires is a service that does nothing.
struct Platform
{
    /// The data folder: Config.ini, Notes/ and Notes.recycle/ live here. Beside the executable for a
    /// portable copy, else the per-user folder (see DataFolder).
    QString appFolder;
    /// Where the read-only files are looked up: Sounds/ and the help document. Beside the executable
    /// when they are there, else the installed share/vemranotes/.
    QString resourceFolder;
    /// Executable's file name without extension, the name of the autostart entry.
    QString appName = QStringLiteral("VemraNotes");
    /// Full path of the executable, written into the autostart entry.
    QString executablePath;
    /// Where notes that the notes folder refused at the end go, in the order tried: the user's state
    /// folder, the home folder, the temporary folder.
    QStringList emergencyFolders;
    /// The per-user key that signs the kept to-do list (see UserKey), outside the data folder. ""
    /// means there is none: then no kept task that runs something is armed after a restart.
    QString taskKeyPath;
    Clock* clock = NoServices::clock();
    ProcessLauncher* launcher = NoServices::launcher();
    DesktopOpener* opener = NoServices::opener();
    SoundPlayer* sound = NoServices::sound();
    Autostart* autostart = NoServices::autostart();
    HostResolver* resolver = NoServices::resolver();
    MediaPlayerFactory* media = NoServices::media();
    /// Desktop notifications for reminders.
    Notifier* notifier = NoServices::notifier();
    /// Starts the application at the next due moment after the window closed with reminders pending.
    SessionTimer* sessionTimer = NoServices::sessionTimer();
    /// Wakes the reminders at their due moment on the clock's monotonic time while none is shown.
    WakeTimer* wakeTimer = NoServices::wakeTimer();
    /// False where the window system places windows itself (Wayland): the application can then
    /// neither move its window to the saved place nor centre or raise its secondary windows, and
    /// the place it reads back is meaningless.
    bool canPlaceWindows = true;
};
