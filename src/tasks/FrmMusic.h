// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/SecondaryWindow.h"

#include <functional>
#include <memory>

class ClickLabel;
class MediaPlayer;
class MediaPlayerFactory;

/// The music reminder: plays the task's file once at half volume and offers to close the reminder
/// or to snooze it for five minutes. Playback stops however the window closes.
class FrmMusic : public SecondaryWindow
{
    Q_OBJECT

public:
    FrmMusic(QWidget* parent, MediaPlayerFactory* media, int taskIndex, const QString& path,
             std::function<void(int taskIndex)> snooze);
    ~FrmMusic() override;
    /// Shows the window for the task at taskIndex (see SecondaryWindow::showAndWait) and returns once
    /// it is closed. Brought forward, Return closes the reminder and Space presses the focused button.
    /// opened is told the window just before it shows, so that a notification's button can close it as
    /// " 关闭提醒 " does (accept(); the music stops).
    static void ShowMusicReminder(QWidget* parent, MediaPlayerFactory* media, int taskIndex,
                                  const QString& path, std::function<void(int taskIndex)> snooze,
                                  const std::function<void(QDialog*)>& opened = {});

    /// Says when a reminder that comes late was due ("原定 07:30") in the title line.
    void setNote(const QString& note);

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<MediaPlayer> m_player;
    std::function<void(int)> m_snooze;
    bool m_stopped = false;
};
