// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class HostResolver;
class HttpClient;
class MediaPlayerFactory;
class SoundPlayer;

/// The services that need Qt Multimedia or Qt Network. They are built into a module of their own,
/// loaded with QLibrary on first use, so those libraries and the dozens they pull in (PulseAudio,
/// codecs, Kerberos, proxy lookup) are neither mapped nor relocated while the application starts.
class ServiceModule
{
public:
    virtual ~ServiceModule() = default;
    virtual SoundPlayer& sound() = 0;
    virtual MediaPlayerFactory& media() = 0;
    virtual HostResolver& resolver() = 0;
    virtual HttpClient& http() = 0;

    /// The name of the function the module exports: `extern "C" ServiceModule* vemraServiceModule()`.
    static constexpr const char* EntryPoint = "vemraServiceModule";

    /// The module, loaded by the first call; null when it cannot be found or loaded (see errorString).
    static ServiceModule* instance();
    /// True once instance() has loaded the module.
    static bool isLoaded();
    /// Why the module could not be loaded; empty when it was or nobody asked yet.
    static QString errorString();
    /// Where the module is looked for, in order: beside the executable, then the folder it is
    /// installed to, relative to the executable so any prefix works.
    static QStringList searchFolders();
    /// The module's file name.
    static QString fileName();
};
