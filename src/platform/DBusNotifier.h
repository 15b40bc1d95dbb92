// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Notifier.h"

#include <QDBusConnection>
#include <QObject>
#include <map>
#include <optional>

class QDBusPendingCallWatcher;

/// Notifications through the desktop's org.freedesktop.Notifications service on the session bus.
/// Every call is asynchronous: a hung or missing notification service never holds up the window.
/// The service is asked once for its capabilities (the first notification waits for that answer);
/// buttons are offered only to a service that says it draws them.
class DBusNotifier : public QObject, public Notifier
{
    Q_OBJECT

public:
    /// appIcon is an icon name of the theme or a file URL; desktopEntry the launcher's id. An empty
    /// busAddress means the user's session bus, connected to at the first notification.
    DBusNotifier(QString appName, QString appIcon, QString desktopEntry, QString busAddress = QString(),
                 QObject* parent = nullptr);
    ~DBusNotifier() override;

    Ticket post(const QString& summary, const QString& body, Urgency urgency, std::function<void()> activated,
                QList<Action> actions = {}) override;
    void withdraw(Ticket ticket) override;

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Posted
    {
        uint serverId = 0; // 0 until the service has answered
        bool withdrawn = false;
        bool sent = false;
        std::function<void()> activated;
        QList<Action> actions;
        // What goes to the service, kept until the capabilities are known.
        QString summary;
        QString body;
        Urgency urgency = Urgency::Normal;
    };
    enum class Capabilities
    {
        Unknown,
        Asking,
        Known,
    };

    QDBusConnection& bus();
    void askCapabilities();
    void send(Ticket ticket);
    void answered(Ticket ticket, QDBusPendingCallWatcher* watcher);
    void closeOnServer(uint serverId);

    QString m_appName;
    QString m_appIcon;
    QString m_desktopEntry;
    QString m_busAddress;
    std::optional<QDBusConnection> m_bus;
    std::map<Ticket, Posted> m_posted;
    Capabilities m_capabilities = Capabilities::Unknown;
    bool m_actionsShown = false;
    Ticket m_nextTicket = 1;
};
