// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ClickLabel.h"

#include "widgets/Accessibility.h"
#include "widgets/DevicePixels.h"
#include "widgets/FocusRing.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    setCursor(Qt::PointingHandCursor);
    // Reached by Tab only: a click must leave the keyboard where it was.
    setFocusPolicy(Qt::TabFocus);
    Accessibility::install();
    FocusRing::install();
}

void ClickLabel::press()
{
    if (isEnabled())
        emit clicked();
}

void ClickLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            press();
            return;
        }
        if (m_radio && (key == Qt::Key_Down || key == Qt::Key_Right)) {
            chooseSibling(1);
            return;
        }
        if (m_radio && (key == Qt::Key_Up || key == Qt::Key_Left)) {
            chooseSibling(-1);
            return;
        }
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::chooseSibling(int step)
{
    QList<ClickLabel*> group;
    for (ClickLabel* sibling : parentWidget()->findChildren<ClickLabel*>(Qt::FindDirectChildrenOnly)) {
        if (sibling->isRadio() && sibling->isVisibleTo(parentWidget()) && sibling->isEnabled())
            group.append(sibling);
    }
    const qsizetype at = group.indexOf(this);
    if (at < 0 || group.size() < 2)
        return;
    ClickLabel* next = group.at((at + step + group.size()) % group.size());
    next->setFocus(Qt::TabFocusReason);
    next->press();
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
    if (m_radio && chosen != isChosen()) {
        setChosenLook(chosen);
        Accessibility::checkedChanged(this);
        return;
    }
    setChosenLook(chosen);
}

void ClickLabel::setChosenLook(bool chosen)
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
