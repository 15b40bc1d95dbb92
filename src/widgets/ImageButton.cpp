// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ImageButton.h"

#include "widgets/ImageList.h"

#include <QMouseEvent>
#include <QPainter>

ImageButton::ImageButton(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
}

void ImageButton::setPicture(int index)
{
    if (m_picture == index)
        return;
    m_picture = index;
    update();
}

void ImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(backgroundRole()));
    if (m_picture <= 0)
        return;
    const QPixmap pixmap = ImageList::picture(m_picture, devicePixelRatioF());
    const QSizeF logical = pixmap.deviceIndependentSize();
    const QPointF topLeft((width() - logical.width()) / 2.0, (height() - logical.height()) / 2.0);
    painter.drawPixmap(topLeft, pixmap);
}

void ImageButton::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    emit mouseDown(event->button());
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void ImageButton::mouseMoveEvent(QMouseEvent*)
{
    emit mouseMoved();
}
