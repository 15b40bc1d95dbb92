// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

/// A service for every interface that does nothing (and says so where it can: a launcher that starts
/// nothing returns false), so that a Platform never holds a null service and no caller has to ask.
/// The application wires the real ones and tests the recording fakes; these fill what neither set.
namespace NoServices {
/// The machine's own clock: time has no do-nothing version.
Clock* clock();
ProcessLauncher* launcher();
DesktopOpener* opener();
SoundPlayer* sound();
Autostart* autostart();
HostResolver* resolver();
MediaPlayerFactory* media();
Notifier* notifier();
/// A session that starts nothing at a time: available() is false.
SessionTimer* sessionTimer();
/// A wake timer on Qt's own timers (no suspend counted), on the clock above.
WakeTimer* wakeTimer();
} // namespace NoServices
