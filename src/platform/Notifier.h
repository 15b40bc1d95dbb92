// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

    virtual ~Notifier() = default;
    /// Posts a notification; activated runs when the user clicks it. Never fails visibly: without a
    /// notification service nothing happens.
    virtual Ticket post(const QString& summary, const QString& body, Urgency urgency,
                        std::function<void()> activated) = 0;
    /// Takes the notification away if it is still shown; harmless when it is gone.
    virtual void withdraw(Ticket ticket) = 0;
};
