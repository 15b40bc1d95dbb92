// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemSoundPlayer.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

void SystemSoundPlayer::playWav(const QString& path, bool async)
{
    if (!QFileInfo(path).isFile()) {
        QApplication::beep();
        return;
    }
    // The effect deletes itself when it stops, so several alarms may overlap without leaking.
    auto* effect = new QSoundEffect(qApp);
    effect->setSource(QUrl::fromLocalFile(path));
    effect->setLoopCount(1);
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying() && effect->status() == QSoundEffect::Ready)
            effect->deleteLater();
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error) {
            QApplication::beep();
            effect->deleteLater();
        } else if (effect->status() == QSoundEffect::Ready && !effect->isPlaying()) {
            effect->play();
        }
    });
    if (effect->status() == QSoundEffect::Ready)
        effect->play();
    if (!async) {
        QEventLoop loop;
        QObject::connect(effect, &QObject::destroyed, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
