// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

FakeClock::FakeClock() : m_now(QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0)).toUTC()) {}

void FakeClock::advanceMs(qint64 ms)
{
    m_now = m_now.addMSecs(ms);
    m_monotonic += ms;
}

bool RecordingLauncher::startDetached(const QString& program, const QStringList& arguments,
                                      const QString& workingDirectory)
{
    launches.append({program, arguments, workingDirectory});
    return succeed;
}

namespace {
class FakeMediaPlayer : public MediaPlayer
{
public:
    explicit FakeMediaPlayer(MediaLog& log) : m_log(log) {}
    void play(const QString& path, float volume) override
    {
        m_log.played.append(path);
        m_log.volumes.append(volume);
    }
    void stop() override { ++m_log.stops; }

private:
    MediaLog& m_log;
};
} // namespace

std::unique_ptr<MediaPlayer> FakeMediaPlayerFactory::create()
{
    ++created;
    return std::make_unique<FakeMediaPlayer>(log);
}

TestPlatform::TestPlatform()
{
    m_platform.appFolder = m_dir.path();
    m_platform.resourceFolder = m_dir.path();
    m_platform.appName = QStringLiteral("VemraNotes");
    m_platform.executablePath = m_dir.path() + QStringLiteral("/VemraNotes");
    // Beside the data, never the user's own folders.
    m_platform.taskKeyPath = m_dir.path() + QStringLiteral("/config/VemraNotes/tasks.key");
    m_platform.emergencyFolders = {m_dir.path() + QStringLiteral("/state"),
                                   m_dir.path() + QStringLiteral("/home")};
    m_platform.clock = &clock;
    m_platform.launcher = &launcher;
    m_platform.opener = &opener;
    m_platform.sound = &sound;
    m_platform.autostart = &autostart;
    m_platform.resolver = &resolver;
    m_platform.media = &media;
    m_platform.notifier = &notifier;
    m_platform.sessionTimer = &sessionTimer;
    m_platform.wakeTimer = &wakeTimer;
}
