// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

/// Hands a web address or a local file to the desktop's default handler (browser, viewer, ...).
class DesktopOpener
{
public:
    virtual ~DesktopOpener() = default;
    /// Returns false when the desktop refused; callers ignore it, as a failed open is silent.
    virtual bool open(const QUrl& url) = 0;
};

/// QDesktopServices behind the interface.
class SystemDesktopOpener : public DesktopOpener
{
public:
    bool open(const QUrl& url) override;
};
