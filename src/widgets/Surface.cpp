// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Surface.h"

#include <QMouseEvent>

Surface::Surface(QWidget* parent, const QColor& background) : QWidget(parent)
{
    setMouseTracking(true);
    setAutoFillBackground(true);
    setBackground(background);
}

void Surface::setBackground(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}

void Surface::mouseMoveEvent(QMouseEvent* event)
{
    // Moves over a child that does not track the pointer arrive here too: only the bare
    // background counts.
    if (!childAt(event->position().toPoint()))
        emit bareMouseMove();
    event->accept();
}

void Surface::mousePressEvent(QMouseEvent* event)
{
    if (!childAt(event->position().toPoint()))
        emit bareMouseDown(event->button());
    event->accept();
}
