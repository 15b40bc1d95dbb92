// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// Starts programs without waiting for them. Every caller passes an argument list: no shell ever
/// parses a path, so spaces and shell characters in file names are harmless.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;
    /// Start program with arguments, detached; returns false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments,
                               const QString& workingDirectory = QString()) = 0;
};

/// QProcess::startDetached behind the interface.
class SystemProcessLauncher : public ProcessLauncher
{
public:
    bool startDetached(const QString& program, const QStringList& arguments,
                       const QString& workingDirectory = QString()) override;
};
