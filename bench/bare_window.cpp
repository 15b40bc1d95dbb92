// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick of the start-up benchmark: the least a Qt Widgets program must do to show a window
// like ours. Same size and frame as the main window, white, with one line of Chinese in the family the
// application ends up with, so font loading and shaping are part of the reference too.

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QPalette>
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

    window.show();
    return app.exec();
}
