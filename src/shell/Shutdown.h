// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class FrmMain;

/// Closing by the system: SIGTERM, SIGHUP and SIGINT, and the end of the desktop session, close
/// the main window through its normal close sequence so settings and notes are saved; nothing in it
/// waits for an answer, since nobody may be there to give one.
namespace Shutdown {
void closeOnTerminationSignals(FrmMain* mainWindow);
}
