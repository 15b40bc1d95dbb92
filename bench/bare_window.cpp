// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick of the start-up benchmark: the least a Qt Widgets program must do to show a window
// like ours. Same size and frame as the main window, white, with one line of Chinese in the family the
// application ends up with, so font loading and shaping are part of the reference too.
//
//   bare_window [--tick]
//
// --tick: a second label counts down once a second, the least a Qt Widgets program does to show a
// changing second (the idle benchmark's yardstick for a visible countdown).

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setWindowTitle(QStringLiteral("Vemra便笺"));
    window.setFixedSize(458, 595);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::white);
    window.setPalette(palette);
    window.setAutoFillBackground(true);

    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSizeF(12);
    QLabel label(&window);
    label.setFont(font);
    label.setText(QStringLiteral("Vemra便笺：便笺与定时提醒"));
    label.move(16, 12);
    label.adjustSize();

    QLabel countdown(&window);
    QTimer tick;
    if (QCoreApplication::arguments().contains(QStringLiteral("--tick"))) {
        countdown.setFont(font);
        countdown.setFixedWidth(200);
        countdown.move(16, 48);
        int left = 5 * 3600;
        const auto show = [&] {
            countdown.setText(QStringLiteral("-%1:%2:%3")
                                  .arg(left / 3600, 2, 10, QChar(u'0'))
                                  .arg(left / 60 % 60, 2, 10, QChar(u'0'))
                                  .arg(left % 60, 2, 10, QChar(u'0')));
            --left;
        };
        show();
        QObject::connect(&tick, &QTimer::timeout, show);
        tick.start(1000);
    }

    window.show();
    return app.exec();
}
