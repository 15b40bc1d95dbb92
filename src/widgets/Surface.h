// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

/// A container panel (a picture box used as a frame). It tells the window when the pointer moves
/// or a button goes down on its own bare background rather than on one of its controls.
class Surface : public QWidget
{
    Q_OBJECT

public:
    explicit Surface(QWidget* parent = nullptr, const QColor& background = Qt::white);
    void setBackground(const QColor& color);

signals:
    void bareMouseMove();
    void bareMouseDown(Qt::MouseButton button);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
