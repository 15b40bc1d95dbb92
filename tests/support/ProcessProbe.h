#pragma once

#include <QtGlobal>

/// True once the process catches SIGTERM: the application installs its handler after the window
/// exists, so from then on the signal closes the window instead of killing the process.
bool catchesTermination(qint64 pid);
