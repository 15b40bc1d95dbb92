// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class ClickLabel;
class QLabel;
class Surface;

/// The frame shared by the borderless secondary windows: a title line, a close picture in the top
/// right corner (when wanted) and an inner panel; dragged by its background and its title.
class SecondaryWindow : public QDialog
{
    Q_OBJECT

public:
    /// innerTwips is the window's inner area in twips.
    SecondaryWindow(QWidget* parent, const QSize& innerTwips, bool withClosePicture);
    QLabel* titleLabel() const { return m_title; }
    Surface* interfacePanel() const { return m_interface; }
    /// Puts the window centred on the given widget's window.
    void centreOn(const QWidget* other);
    /// Whether Escape closes the window. Off by default: a reminder must not vanish by a stray key;
    /// only the window's own controls and the platform's close request close it.
    void setClosesOnEscape(bool closes) { m_closesOnEscape = closes; }
    /// Shows the window above the others without taking the keyboard from the window the user is
    /// typing in, and returns its result once it is closed. The window is not modal: Qt hands the
    /// keyboard to a modal window as it appears, and again whenever a window it blocks is clicked.
    /// Once the user brings it forward it takes keys like any other window.
    int showAndWait();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void beginWindowDrag();
    void setClosePicture(int index);

private:
    QLabel* m_title = nullptr;
    ClickLabel* m_close = nullptr;
    Surface* m_interface = nullptr;
    int m_closePicture = 0;
    bool m_closesOnEscape = false;
};
