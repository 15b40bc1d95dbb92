// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"

#include "platform/AppId.h"
#include "platform/DesktopEntry.h"
#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    // The name is replaced, never written through: a link there (to a file of the user's, say) is
    // replaced by the entry, and what it pointed to stays as it was.
    (void)DurableFile::write(path,
                             QByteArray::fromStdString(DesktopEntry::autostartContents(
                                 executablePath.toStdString(), kAppId.toStdString())),
                             0644);
}

void XdgAutostart::disable(const QString& name)
{
    QFile::remove(entryPath(name));
}
