// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class ProcessLauncher;

/// The user's session starting the application at a given moment, so a reminder falls due even
/// when the window was closed before it.
class SessionTimer
{
public:
    virtual ~SessionTimer() = default;
    /// True when the session can start a program at a moment (a systemd user instance is there).
    virtual bool available() const = 0;
    /// Asks the session to run program with arguments at the moment atUtc, under the timer unit
    /// named unit. Returns at once; a refusal is not reported.
    virtual void schedule(const QString& unit, const QDateTime& atUtc, const QString& program,
                          const QStringList& arguments) = 0;
    /// Takes away the timer of that unit, if there is one. Returns at once.
    virtual void cancel(const QString& unit) = 0;

    /// The unit name for the data folder: one fixed name per folder, so two copies of the
    /// application with their own data never take each other's timer away.
    static QString unitName(const QString& dataFolder);
};

/// Transient timers of the systemd user instance, through systemd-run and systemctl started
/// detached: the close of the window never waits for them.
class SystemdSessionTimer : public SessionTimer
{
public:
    /// runtimeFolder is $XDG_RUNTIME_DIR, where the user instance keeps its socket.
    SystemdSessionTimer(ProcessLauncher& launcher, QString runtimeFolder);
    bool available() const override;
    void schedule(const QString& unit, const QDateTime& atUtc, const QString& program,
                  const QStringList& arguments) override;
    void cancel(const QString& unit) override;

    /// The systemd-run arguments for a timer of unit at atUtc (rounded up to the second) running
    /// program with arguments, handing on the variables that say where the desktop and the data
    /// are (environment lists NAME=value).
    static QStringList runArguments(const QString& unit, const QDateTime& atUtc, const QString& program,
                                    const QStringList& arguments, const QStringList& environment);
    /// The unit a timer is created under: unit, or its second name while this very process runs
    /// as unit's service (started by that timer), which holds the name until it ends.
    static QString freeName(const QString& unit, const QByteArray& ownCgroup);
    /// The second name of unit.
    static QString secondName(const QString& unit);

private:
    ProcessLauncher& m_launcher;
    QString m_runtimeFolder;
};
