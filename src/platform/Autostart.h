// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Registration of the application to start at log-on (a freedesktop autostart entry on Linux).
class Autostart
{
public:
    virtual ~Autostart() = default;
    /// Register executablePath under name; failures are silent.
    virtual void enable(const QString& name, const QString& executablePath) = 0;
    /// Remove the registration of name; removing an absent one is harmless.
    virtual void disable(const QString& name) = 0;
};

/// Writes or removes $XDG_CONFIG_HOME/autostart/<name>.desktop (default ~/.config/autostart). The
/// entry shows as "Vemra便笺" with the launcher's icon, whatever its file is called.
class XdgAutostart : public Autostart
{
public:
    /// configHome overrides $XDG_CONFIG_HOME (tests point it at a temporary folder).
    explicit XdgAutostart(const QString& configHome = QString());
    void enable(const QString& name, const QString& executablePath) override;
    void disable(const QString& name) override;
    QString entryPath(const QString& name) const;

private:
    QString m_configHome;
};
