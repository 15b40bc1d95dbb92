// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"

#include "platform/AppId.h"
#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

XdgAutostart::XdgAutostart(const QString& configHome) : m_configHome(configHome) {}

QString XdgAutostart::entryPath(const QString& name) const
{
    QString home = m_configHome;
    if (home.isEmpty())
        home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.config");
    return home + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

void XdgAutostart::enable(const QString& name, const QString& executablePath)
{
    const QString path = entryPath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QByteArray::fromStdString(
        DesktopEntry::autostartContents(executablePath.toStdString(), kAppId.toStdString())));
    file.commit();
}

void XdgAutostart::disable(const QString& name)
{
    QFile::remove(entryPath(name));
}
