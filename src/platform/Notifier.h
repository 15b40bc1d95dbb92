// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>

/// Desktop notifications, so a reminder reaches the user even when its window is covered or the
/// window system will not put it on top.
class Notifier
{
public:
    /// Names one posted notification for withdraw().
    using Ticket = quint64;
    /// How insistently the desktop shows it: a critical notification stays until it is dismissed.
    enum class Urgency
    {
        Normal,
        Critical,
    };

    /// A button on the notification: key is what the service reports back, label what it shows,
    /// invoked what a press does.
    struct Action
    {
        QString key;
        QString label;
        std::function<void()> invoked;
    };

    virtual ~Notifier() = default;
    /// Posts a notification; activated runs when the user clicks it. It makes no sound of its own
    /// (the reminder's window sounds), and a body that only repeats the summary is left out. The actions
    /// become buttons where the notification service draws them (it announces the "actions" capability);
    /// elsewhere they are left out and the notification is as it would be without them. Never fails visibly:
    /// without a notification service nothing happens.
    virtual Ticket post(const QString& summary, const QString& body, Urgency urgency,
                        std::function<void()> activated, QList<Action> actions = {}) = 0;
    /// Takes the notification away if it is still shown; harmless when it is gone.
    virtual void withdraw(Ticket ticket) = 0;
};
