// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QListView>
#include <QString>
#include <QWidget>
#include <QtTest>

/// Finds a control of a window by its object name; fails the test when it is missing.
template <typename T> T* control(QWidget* window, const QString& name)
{
    T* found = window->findChild<T*>(name);
    if (!found)
        qWarning("control %s not found", qPrintable(name));
    return found;
}

/// Writes bytes to a file, creating its folder.
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
/// UTF-8 with the byte-order mark, as the application writes notes.
QByteArray utf8WithBom(const QString& text);

/// Double-clicks / clicks entry row of a list view.
void doubleClickRow(QListView* list, int row);
void clickRow(QListView* list, int row);

/// Moves the pointer onto a point of a widget (a real move event through the window system).
void pointerTo(QWidget* widget, QPoint pos = QPoint(-1, -1));

/// Answers the next modal window that opens by closing it, and tells its object name.
class ModalCloser : public QObject
{
    Q_OBJECT
public:
    /// Closes every modal window that appears until destroyed; records their object names.
    ModalCloser();
    QStringList seen;
    /// Called on each modal window before it is closed (e.g. to read its labels).
    std::function<void(QWidget*)> inspect;

private:
    void poll();
    QTimer m_timer;
};
