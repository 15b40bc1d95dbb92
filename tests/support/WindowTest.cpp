// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WindowTest.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray utf8WithBom(const QString& text)
{
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

void doubleClickRow(QListView* list, int row)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

void clickRow(QListView* list, int row)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

void pointerTo(QWidget* widget, QPoint pos)
{
    if (pos == QPoint(-1, -1))
        pos = widget->rect().center();
    QTest::mouseMove(widget, pos);
    QCoreApplication::processEvents();
}

ModalCloser::ModalCloser()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalCloser::poll);
    m_timer.start(20);
}

void ModalCloser::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    // Reminder windows wait for their answer without being modal (they must not take the keyboard):
    // the newest, which the offscreen platform makes the active window, first.
    const auto waits = [](QWidget* window) {
        return window && window->isVisible() && window->property("waitsForAnswer").toBool();
    };
    if (!modal && waits(QApplication::activeWindow()))
        modal = QApplication::activeWindow();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!modal && waits(window))
            modal = window;
    }
    if (!modal)
        return;
    seen.append(modal->objectName());
    if (inspect)
        inspect(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}
