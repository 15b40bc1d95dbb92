// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

#include <functional>

/// Hands a web address or a local file to the desktop's default handler (browser, viewer, ...).
class DesktopOpener
{
public:
    virtual ~DesktopOpener() = default;
    /// Returns false when the desktop refused; callers ignore it, as a failed open is silent.
    virtual bool open(const QUrl& url) = 0;
    /// As open(), for a caller that tells the user: notOpened runs on this thread when no program
    /// took the file, at once or once the desktop's opener has looked (it may find no program for
    /// the file's type only after it started).
    virtual void openOrTell(const QUrl& url, std::function<void()> notOpened)
    {
        if (!open(url))
            notOpened();
    }
};

/// QDesktopServices behind the interface; local files told about go through xdg-open, whose exit
/// status says whether a program took them.
class SystemDesktopOpener : public DesktopOpener
{
public:
    bool open(const QUrl& url) override;
    void openOrTell(const QUrl& url, std::function<void()> notOpened) override;
};
