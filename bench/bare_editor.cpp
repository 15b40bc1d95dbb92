// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick of the typing benchmark: the least a Qt Widgets program does to take a key into a
// text box and show it. A frameless white window of the main window's size with a plain text box
// where the application has its note editor: same place, size, font, no frame, wrapped at the
// width, scroll bar as needed.
//
//   bare_editor [FILE]
//
// FILE (UTF-8, a byte-order mark is dropped) is the text it opens with, the caret at its end.

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QPalette>
#include <QPlainTextEdit>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setWindowTitle(QStringLiteral("Vemra便笺"));
    window.setFixedSize(458, 595);
    window.move(0, 0);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, Qt::white);
    window.setPalette(palette);
    window.setAutoFillBackground(true);

    // The note page starts under the title row (26 px) and fills the rest; the editor keeps 2 px
    // free on its left.
    QPlainTextEdit editor(&window);
    editor.setFrameShape(QFrame::NoFrame);
    editor.setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    editor.setGeometry(2, 26, 456, 569);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSizeF(11.25);
    editor.setFont(font);

    if (argc > 1) {
        QFile file(QString::fromLocal8Bit(argv[1]));
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("bare_editor: cannot read %s", argv[1]);
            return 1;
        }
        QByteArray bytes = file.readAll();
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        QString text = QString::fromUtf8(bytes);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        editor.setPlainText(text);
        editor.moveCursor(QTextCursor::End);
    }

    window.show();
    editor.setFocus();
    return app.exec();
}
