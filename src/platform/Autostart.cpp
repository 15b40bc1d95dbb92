#include "platform/Autostart.h"

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

QString XdgAutostart::quoteExecArgument(const QString& arg)
{
    // Inside double quotes the Exec key needs ", `, $ and \ escaped by a backslash; the whole
    // value is then escaped once more as a string value, which doubles every backslash.
    QString quoted;
    for (QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    // A literal percent sign must be written %% in Exec.
    quoted.replace(u'%', QStringLiteral("%%"));
    return quoted;
}

void XdgAutostart::enable(const QString& name, const QString& executablePath)
{
    const QString path = entryPath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(name, quoteExecArgument(executablePath));
    file.write(text.toUtf8());
    file.commit();
}

void XdgAutostart::disable(const QString& name)
{
    QFile::remove(entryPath(name));
}
