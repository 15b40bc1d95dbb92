// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/SecondaryWindow.h"

class ClickLabel;
#include <functional>

class QLabel;
class QScrollArea;
class Surface;
class SoundPlayer;

/// The application's own message window: title, message, a confirm button; topmost, with the alarm
/// sound on every opening. It appears without taking the keyboard; once brought forward, " 确定 " is
/// its default button (Return, or Space while it has the focus, as it has first).
class FrmMessage : public SecondaryWindow
{
    Q_OBJECT

public:
    FrmMessage(QWidget* parent, const QString& title, const QString& message);
    /// Shows the window (see SecondaryWindow::showAndWait) and returns once it is closed. The alarm
    /// (resourceFolder/Sounds/Alarm.wav) starts while the window opens. opened is told the window just
    /// before it shows, so that a notification's button can close it as its own confirm button does
    /// (accept()).
    static void ShowMessage(QWidget* parent, SoundPlayer* sound, const QString& resourceFolder,
                            const QString& title, const QString& message,
                            const std::function<void(QDialog*)>& opened = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setConfirmHover(bool hover);

    QScrollArea* m_messageArea = nullptr;
    QLabel* m_message = nullptr;
    Surface* m_confirm = nullptr;
    ClickLabel* m_confirmLabel = nullptr;
};
