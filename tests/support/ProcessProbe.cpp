// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ProcessProbe.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

QString startPrivateXvfb(QProcess& xvfb, const QString& program)
{
    xvfb.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-noreset"),
                         QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted(20000) ||
        !QTest::qWaitFor([&xvfb] { return xvfb.canReadLine() || xvfb.state() != QProcess::Running; }, 20000))
        return QString();
    const QByteArray number = xvfb.readLine().trimmed();
    return number.isEmpty() ? QString() : u':' + QString::fromLatin1(number);
}

bool catchesTermination(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray caught = "SigCgt:";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(caught)) {
            bool ok = false;
            const quint64 mask = line.mid(caught.size()).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (quint64(1) << (SIGTERM - 1)));
        }
    }
    return false;
}

QProcessEnvironment sandboxEnvironment(const QString& root)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const std::pair<const char*, const char*> folders[] = {{"HOME", "home"},
                                                           {"XDG_CONFIG_HOME", "config"},
                                                           {"XDG_RUNTIME_DIR", "runtime"},
                                                           {"XDG_CACHE_HOME", "cache"},
                                                           {"XDG_DATA_HOME", "data"},
                                                           {"XDG_STATE_HOME", "state"}};
    for (const auto& [variable, sub] : folders)
        environment.insert(QString::fromLatin1(variable), root + u'/' + QString::fromLatin1(sub));
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER"})
        environment.remove(QString::fromLatin1(variable));
    return environment;
}

void endProcesses(QList<QProcess*>& processes)
{
    for (QProcess* process : std::as_const(processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
        if (QTest::currentTestFailed())
            qWarning("%s output:\n%s", qPrintable(process->objectName()), process->readAll().constData());
        delete process;
    }
    processes.clear();
}
