// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ImageButton.h"

#include "widgets/Accessibility.h"
#include "widgets/FocusRing.h"
#include "widgets/ImageList.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

ImageButton::ImageButton(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    // Reached by Tab only: a click must leave the keyboard where it was (the editor keeps it).
    setFocusPolicy(Qt::TabFocus);
    Accessibility::install();
    FocusRing::install();
}

void ImageButton::press()
{
    if (!isEnabled())
        return;
    // A handler may hide or rebuild the button's window.
    QPointer<ImageButton> self(this);
    emit mouseDown(Qt::LeftButton);
    if (self)
        emit clicked();
    if (self)
        emit pressedWithoutPointer();
}

bool ImageButton::event(QEvent* event)
{
    // The tooltip is the button's name for a screen reader (the page button's changes with the page).
    if (event->type() == QEvent::ToolTipChange)
        Accessibility::nameChanged(this);
    return QWidget::event(event);
}

void ImageButton::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            press();
            return;
        }
    }
    QWidget::keyPressEvent(event);
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
