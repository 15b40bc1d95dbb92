// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

/// A borderless picture box showing one picture of the image list. Its hover and state marks live
/// in Tag ("0"/"1", or two digits for two-state buttons), which the window reads and writes.
class ImageButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Tag READ tag WRITE setTag)
    Q_PROPERTY(int picture READ picture WRITE setPicture)

public:
    explicit ImageButton(QWidget* parent = nullptr);
    QString tag() const { return m_tag; }
    void setTag(const QString& tag) { m_tag = tag; }
    /// Image-list index of the picture shown.
    int picture() const { return m_picture; }
    void setPicture(int index);
    /// What a click does, for the keyboard (Space, Return) and assistive technology: mouseDown for the
    /// left button, then clicked, then pressedWithoutPointer.
    void press();

signals:
    /// Left button released over the button after a press on it.
    void clicked();
    /// Any mouse button went down on the button.
    void mouseDown(Qt::MouseButton button);
    void mouseMoved();
    /// press() ran: the pointer is not on the button, so the window may take its hover picture away.
    void pressedWithoutPointer();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString m_tag = QStringLiteral("0");
    int m_picture = 0;
    bool m_pressed = false;
};
