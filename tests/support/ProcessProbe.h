// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

/// True once the process catches SIGTERM: the application installs its handler after the window
/// exists, so from then on the signal closes the window instead of killing the process.
bool catchesTermination(qint64 pid);

#include <QList>
#include <QProcessEnvironment>
#include <QString>

class QProcess;

/// The environment of the real executable started by a test: home and the XDG config, runtime,
/// cache, data and state folders are the subfolders of those names below root, and nothing leads
/// to the user's desktop session (display, session bus, session manager).
QProcessEnvironment sandboxEnvironment(const QString& root);

/// Starts an X server of the test's own on a free display (-displayfd) that never resets when its
/// last client leaves (a reset refuses the next start for a moment); its name (":N"), or "" when it
/// did not start.
QString startPrivateXvfb(QProcess& xvfb, const QString& program = QStringLiteral("Xvfb"));

/// Kills those still running, shows the output of each when the test failed, and deletes them.
void endProcesses(QList<QProcess*>& processes);
