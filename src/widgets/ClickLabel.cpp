// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ClickLabel.h"

#include "widgets/DevicePixels.h"

#include <QMouseEvent>
#include <QPainter>

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    setCursor(Qt::PointingHandCursor);
}

void ClickLabel::setColors(const QColor& background, const QColor& text)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::WindowText, text);
    setPalette(p);
}

QColor ClickLabel::textColor() const
{
    return palette().color(QPalette::WindowText);
}

void ClickLabel::setChosen(bool chosen)
{
    if (chosen)
        setColors(QColor(128, 128, 128), Qt::white);
    else
        setColors(Qt::white, QColor(64, 64, 64));
}

bool ClickLabel::isChosen() const
{
    return textColor() == QColor(Qt::white);
}

void ClickLabel::setOutline(const QColor& color)
{
    m_outline = color;
    // The outline takes the pixel a frame would, so the label keeps the size it had with one.
    setFrameShape(QFrame::NoFrame);
    setMargin(color.isValid() ? 1 : 0);
    update();
}

void ClickLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (m_outline.isValid()) {
        QPainter painter(this);
        DevicePixels::drawOutline(painter, rect(), m_outline);
    }
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void ClickLabel::mouseMoveEvent(QMouseEvent*)
{
    emit mouseMoved();
}
