#pragma once

class QWidget;

/// Closing by the system: SIGTERM, SIGHUP and SIGINT, and the end of the desktop session, close
/// the main window through its normal close sequence so settings and notes are saved.
namespace Shutdown {
void closeOnTerminationSignals(QWidget* mainWindow);
}
