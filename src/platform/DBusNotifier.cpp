// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DBusNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <vector>

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
                                    std::function<void()> activated, QList<Action> actions)
{
    const Ticket ticket = m_nextTicket++;
    QDBusConnection& connection = bus();
    if (!connection.isConnected())
        return ticket;

    Posted& posted = m_posted[ticket];
    posted.activated = std::move(activated);
    posted.actions = std::move(actions);
    posted.summary = summary;
    posted.body = body;
    posted.urgency = urgency;
    if (m_capabilities == Capabilities::Known)
        send(ticket);
    else
        askCapabilities();
    return ticket;
}

void DBusNotifier::askCapabilities()
{
    if (m_capabilities == Capabilities::Asking)
        return;
    m_capabilities = Capabilities::Asking;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        // No answer: the service may come later, so the next notification asks again.
        m_capabilities = reply.isError() ? Capabilities::Unknown : Capabilities::Known;
        m_actionsShown = !reply.isError() && reply.value().contains(QStringLiteral("actions"));
        std::vector<Ticket> waiting;
        for (const auto& [ticket, posted] : m_posted) {
            if (!posted.sent)
                waiting.push_back(ticket);
        }
        for (const Ticket ticket : waiting)
            send(ticket);
    });
}

void DBusNotifier::send(Ticket ticket)
{
    const auto it = m_posted.find(ticket);
    if (it == m_posted.end())
        return;
    Posted& posted = it->second;
    if (posted.withdrawn) {
        m_posted.erase(it);
        return;
    }
    posted.sent = true;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    const uchar level = posted.urgency == Urgency::Critical ? kCritical : kNormal;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(level)); // a byte, as the service expects
    if (!m_desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    // The reminder's own window plays the alarm or the music: a desktop that would add its
    // notification sound (GNOME may) stays silent, so the user hears one sound.
    hints.insert(QStringLiteral("suppress-sound"), true);
    // The default action is what a click on the notification does; its label is shown by services
    // that draw the default action as a button.
    QStringList actions = {kDefaultAction, QStringLiteral("查看")};
    if (m_actionsShown) {
        for (const Action& action : std::as_const(posted.actions))
            actions << action.key << action.label;
    } else {
        // Buttons the service will not draw could never be pressed: nothing may wait for them.
        posted.actions.clear();
    }
    // A preset's prompt is its task's text: the same words twice under each other say nothing more.
    const QString body = posted.body.trimmed() == posted.summary.trimmed() ? QString() : posted.body;
    call << m_appName << uint(0) << m_appIcon << posted.summary << body << actions << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, ticket](QDBusPendingCallWatcher* w) { answered(ticket, w); });
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
        if (!it->second.sent) {
            // Not even sent yet: it never will be.
            m_posted.erase(it);
            return;
        }
        // Still on its way: close it as soon as the service says which one it is.
        it->second.withdrawn = true;
        it->second.activated = nullptr;
        it->second.actions.clear();
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
    for (auto& [ticket, posted] : m_posted) {
        if (posted.serverId != id)
            continue;
        // A copy: the action may withdraw this very notification.
        std::function<void()> run;
        if (actionKey == kDefaultAction) {
            run = posted.activated;
        } else {
            for (const Action& action : std::as_const(posted.actions)) {
                if (action.key == actionKey)
                    run = action.invoked;
            }
        }
        if (run)
            run();
        return;
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
