// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DBusNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");
/// Urgency levels of freedesktop.org desktop notifications: 0 low, 1 normal, 2 critical.
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;
} // namespace

DBusNotifier::DBusNotifier(QString appName, QString appIcon, QString desktopEntry, QString busAddress,
                           QObject* parent)
    : QObject(parent), m_appName(std::move(appName)), m_appIcon(std::move(appIcon)),
      m_desktopEntry(std::move(desktopEntry)), m_busAddress(std::move(busAddress))
{
}

DBusNotifier::~DBusNotifier()
{
    if (m_bus && !m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(m_bus->name());
}

QDBusConnection& DBusNotifier::bus()
{
    if (!m_bus) {
        m_bus = m_busAddress.isEmpty()
                    ? QDBusConnection::sessionBus()
                    : QDBusConnection::connectToBus(
                          m_busAddress, QStringLiteral("vemra-notifier-%1").arg(quintptr(this), 0, 16));
        // Any sender: the service may start, stop or change hands while the application runs, and
        // the notification ids below tell ours apart anyway.
        m_bus->connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                       SLOT(onActionInvoked(uint, QString)));
        m_bus->connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                       SLOT(onNotificationClosed(uint, uint)));
    }
    return *m_bus;
}

Notifier::Ticket DBusNotifier::post(const QString& summary, const QString& body, Urgency urgency,
                                    std::function<void()> activated)
{
    const Ticket ticket = m_nextTicket++;
    QDBusConnection& connection = bus();
    if (!connection.isConnected())
        return ticket;

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    const uchar level = urgency == Urgency::Critical ? kCritical : kNormal;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(level)); // a byte, as the service expects
    if (!m_desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    // The default action is what a click on the notification does; its label is shown by services
    // that draw the default action as a button.
    const QStringList actions = {kDefaultAction, QStringLiteral("查看")};
    call << m_appName << uint(0) << m_appIcon << summary << body << actions << hints << int(-1);

    m_posted[ticket].activated = std::move(activated);
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, ticket](QDBusPendingCallWatcher* w) { answered(ticket, w); });
    return ticket;
}

void DBusNotifier::answered(Ticket ticket, QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    const auto it = m_posted.find(ticket);
    if (it == m_posted.end())
        return;
    // No service, or one that refused: the reminder window is there all the same.
    if (reply.isError() || reply.value() == 0) {
        m_posted.erase(it);
        return;
    }
    it->second.serverId = reply.value();
    if (it->second.withdrawn) {
        closeOnServer(it->second.serverId);
        m_posted.erase(it);
    }
}

void DBusNotifier::withdraw(Ticket ticket)
{
    const auto it = m_posted.find(ticket);
    if (it == m_posted.end())
        return;
    if (it->second.serverId == 0) {
        // Still on its way: close it as soon as the service says which one it is.
        it->second.withdrawn = true;
        it->second.activated = nullptr;
        return;
    }
    closeOnServer(it->second.serverId);
    m_posted.erase(it);
}

void DBusNotifier::closeOnServer(uint serverId)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
    call << serverId;
    bus().asyncCall(call);
}

void DBusNotifier::onActionInvoked(uint id, const QString& actionKey)
{
    if (actionKey != kDefaultAction)
        return;
    for (auto& [ticket, posted] : m_posted) {
        if (posted.serverId == id && posted.activated) {
            // A copy: the action may withdraw this very notification.
            const std::function<void()> activated = posted.activated;
            activated();
            return;
        }
    }
}

void DBusNotifier::onNotificationClosed(uint id, uint)
{
    for (auto it = m_posted.begin(); it != m_posted.end(); ++it) {
        if (it->second.serverId == id) {
            m_posted.erase(it);
            return;
        }
    }
}
