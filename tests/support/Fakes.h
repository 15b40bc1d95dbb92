// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DesktopOpener.h"
#include "platform/HostResolver.h"
#include "platform/MediaPlayer.h"
#include "platform/Notifier.h"
#include "platform/Platform.h"
#include "platform/ProcessLauncher.h"
#include "platform/SessionTimer.h"
#include "platform/SoundPlayer.h"
#include "platform/WakeTimer.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <memory>
#include <utility>

/// A clock that only moves when the test moves it. It holds an instant, shown in the time zone in
/// force when now() is asked, so a test that changes TZ sees the local time move as a trip would.
class FakeClock : public Clock
{
public:
    FakeClock();
    QDateTime now() const override { return m_now.toLocalTime(); }
    qint64 monotonicMs() const override { return m_monotonic; }
    /// Sets the wall clock alone, as the user or a time service does; the monotonic clock stays.
    void setNow(const QDateTime& now) { m_now = now.toUTC(); }
    /// Moves both the wall clock and the monotonic clock forward; with no tick in between, this is
    /// a suspend (the monotonic clock counts it).
    void advanceMs(qint64 ms);

private:
    QDateTime m_now;
    qint64 m_monotonic = 1000000;
};

struct LaunchRecord
{
    QString program;
    QStringList arguments;
    QString workingDirectory;
};

/// Records every start instead of starting anything; can be told to fail.
class RecordingLauncher : public ProcessLauncher
{
public:
    bool startDetached(const QString& program, const QStringList& arguments,
                       const QString& workingDirectory = QString()) override;
    QList<LaunchRecord> launches;
    bool succeed = true;
};

class RecordingOpener : public DesktopOpener
{
public:
    bool open(const QUrl& url) override
    {
        opened.append(url);
        return opens;
    }
    QList<QUrl> opened;
    /// false: a desktop with no program for the file (no PDF viewer, say).
    bool opens = true;
};

class RecordingSound : public SoundPlayer
{
public:
    void playWav(const QString& path, bool async) override
    {
        played.append(path);
        asyncFlags.append(async);
    }
    QStringList played;
    QList<bool> asyncFlags;
};

class RecordingAutostart : public Autostart
{
public:
    void enable(const QString& name, const QString& executablePath) override
    {
        calls.append(QStringLiteral("enable %1 %2").arg(name, executablePath));
        enabled = true;
    }
    void disable(const QString& name) override
    {
        calls.append(QStringLiteral("disable %1").arg(name));
        enabled = false;
    }
    QStringList calls;
    bool enabled = false;
};

class FakeResolver : public HostResolver
{
public:
    bool resolves(const QString& host) override
    {
        asked.append(host);
        return reachable;
    }
    bool reachable = true;
    QStringList asked;
};

/// What the fake music players were asked to do, shared by all players one factory made.
struct MediaLog
{
    QStringList played;
    QList<float> volumes;
    int stops = 0;
};

class FakeMediaPlayerFactory : public MediaPlayerFactory
{
public:
    std::unique_ptr<MediaPlayer> create() override;
    MediaLog log;
    int created = 0;
};

struct PostedNotice
{
    Notifier::Ticket ticket = 0;
    QString summary;
    QString body;
    std::function<void()> activated;
    Notifier::Urgency urgency = Notifier::Urgency::Normal;
    QList<Notifier::Action> actions;
};

/// Keeps every notification instead of showing it; a test clicks one by calling its activated.
class RecordingNotifier : public Notifier
{
public:
    Ticket post(const QString& summary, const QString& body, Urgency urgency, std::function<void()> activated,
                QList<Action> actions = {}) override
    {
        posted.append({m_next, summary, body, std::move(activated), urgency, std::move(actions)});
        return m_next++;
    }
    void withdraw(Ticket ticket) override { withdrawn.append(ticket); }
    QList<PostedNotice> posted;
    QList<Ticket> withdrawn;

private:
    Ticket m_next = 1;
};

/// Records what the session was asked to start and cancel, starting nothing.
class RecordingSessionTimer : public SessionTimer
{
public:
    bool available() const override { return reachable; }
    void schedule(const QString& unit, const QDateTime& atUtc, const QString& program,
                  const QStringList& arguments) override
    {
        calls.append(QStringLiteral("schedule %1 %2 %3 %4")
                         .arg(unit, atUtc.toUTC().toString(Qt::ISODate), program, arguments.join(u' ')));
    }
    void cancel(const QString& unit) override { calls.append(QStringLiteral("cancel ") + unit); }
    bool reachable = true;
    QStringList calls;
};

/// Keeps the one wake asked for; the test runs it with fire().
class RecordingWakeTimer : public WakeTimer
{
public:
    void wakeAt(qint64 monotonicMs, std::function<void()> wake) override
    {
        requested = monotonicMs;
        m_wake = std::move(wake);
    }
    void cancel() override
    {
        requested = -1;
        m_wake = nullptr;
    }
    /// Runs the pending wake, if any.
    void fire()
    {
        requested = -1;
        if (const std::function<void()> wake = std::exchange(m_wake, nullptr))
            wake();
    }
    /// The moment asked for; -1 when none is pending.
    qint64 requested = -1;

private:
    std::function<void()> m_wake;
};

/// A complete set of fakes around a fresh temporary application folder.
class TestPlatform
{
public:
    TestPlatform();
    const Platform& platform() const { return m_platform; }
    Platform& platform() { return m_platform; }
    QString appFolder() const { return m_platform.appFolder; }
    QString path(const QString& relative) const { return appFolder() + u'/' + relative; }

    FakeClock clock;
    RecordingLauncher launcher;
    RecordingOpener opener;
    RecordingSound sound;
    RecordingAutostart autostart;
    FakeResolver resolver;
    FakeMediaPlayerFactory media;
    RecordingNotifier notifier;
    RecordingSessionTimer sessionTimer;
    RecordingWakeTimer wakeTimer;

private:
    QTemporaryDir m_dir;
    Platform m_platform;
};
