// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SessionTimer.h"

#include "platform/ProcessLauncher.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
/// What the started copy needs to find the same desktop and the same data folder; the user
/// instance's own environment may lack them.
const char* const kHandedOn[] = {
    "DISPLAY",       "WAYLAND_DISPLAY", "XAUTHORITY",     "QT_QPA_PLATFORM",
    "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "DBUS_SESSION_BUS_ADDRESS",
    "LANG"};
} // namespace

QString SessionTimer::unitName(const QString& dataFolder)
{
    const QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash((canonical.isEmpty() ? dataFolder : canonical).toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(16);
    return QStringLiteral("vemranotes-due-") + QString::fromLatin1(hash);
}

SystemdSessionTimer::SystemdSessionTimer(ProcessLauncher& launcher, QString runtimeFolder)
    : m_launcher(launcher), m_runtimeFolder(std::move(runtimeFolder))
{
}

bool SystemdSessionTimer::available() const
{
    // The user instance listens on its private socket; no process needs to start to see it.
    return !m_runtimeFolder.isEmpty() &&
           QFileInfo::exists(m_runtimeFolder + QStringLiteral("/systemd/private")) &&
           !QStandardPaths::findExecutable(QStringLiteral("systemd-run")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("systemctl")).isEmpty();
}

QStringList SystemdSessionTimer::runArguments(const QString& unit, const QDateTime& atUtc,
                                              const QString& program, const QStringList& arguments,
                                              const QStringList& environment)
{
    // Whole seconds, never before the moment: started early, the copy would find nothing due yet.
    QDateTime at = atUtc.toUTC();
    if (at.time().msec() > 0)
        at = at.addMSecs(1000 - at.time().msec());
    QStringList out = {QStringLiteral("--user"), QStringLiteral("--unit=") + unit,
                       QStringLiteral("--collect"),
                       QStringLiteral("--on-calendar=") + at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                           QStringLiteral(" UTC"),
                       // The default accuracy is a minute; a reminder is expected on its second.
                       QStringLiteral("--timer-property=AccuracySec=1s")};
    for (const QString& variable : environment)
        out << QStringLiteral("--setenv=") + variable;
    out << QStringLiteral("--") << program << arguments;
    return out;
}

QString SystemdSessionTimer::secondName(const QString& unit)
{
    return unit + QStringLiteral("-next");
}

QString SystemdSessionTimer::freeName(const QString& unit, const QByteArray& ownCgroup)
{
    const QByteArray service = '/' + unit.toUtf8() + ".service";
    return ownCgroup.contains(service + '\n') || ownCgroup.endsWith(service) ? secondName(unit) : unit;
}

void SystemdSessionTimer::schedule(const QString& unit, const QDateTime& atUtc, const QString& program,
                                   const QStringList& arguments)
{
    QByteArray cgroup;
    QFile own(QStringLiteral("/proc/self/cgroup"));
    if (own.open(QIODevice::ReadOnly))
        cgroup = own.read(64 * 1024);
    QStringList environment;
    for (const char* name : kHandedOn) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            environment << QString::fromLatin1(name) + u'=' + value;
    }
    m_launcher.startDetached(QStringLiteral("systemd-run"),
                             runArguments(freeName(unit, cgroup), atUtc, program, arguments, environment));
}

void SystemdSessionTimer::cancel(const QString& unit)
{
    m_launcher.startDetached(QStringLiteral("systemctl"),
                             {QStringLiteral("--user"), QStringLiteral("stop"),
                              unit + QStringLiteral(".timer"), secondName(unit) + QStringLiteral(".timer")});
}
