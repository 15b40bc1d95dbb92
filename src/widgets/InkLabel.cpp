// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/InkLabel.h"

#include "widgets/DevicePixels.h"

#include <QPainter>

InkLabel::InkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
}

void InkLabel::centreOnParent(int insetPixels)
{
    m_onParent = true;
    m_inset = insetPixels;
    update();
}

bool InkLabel::drawsItself() const
{
    return !wordWrap() && !text().contains(u'\n') && frameShape() == QFrame::NoFrame && pixmap().isNull();
}

QSize InkLabel::sizeHint() const
{
    if (!drawsItself())
        return QLabel::sizeHint();
    const QRect ink = DevicePixels::inkOf(text(), font(), 1.0);
    if (ink.isEmpty())
        return QLabel::sizeHint();
    return ink.size() + QSize(2, 2);
}

QSize InkLabel::minimumSizeHint() const
{
    return drawsItself() ? sizeHint() : QLabel::minimumSizeHint();
}

void InkLabel::paintEvent(QPaintEvent* event)
{
    if (!drawsItself()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QRectF area = rect();
    if (m_onParent && parentWidget())
        area = QRectF(QPointF(-x(), -y()), QSizeF(parentWidget()->size()));
    const QRect device = DevicePixels::span(painter, area).adjusted(m_inset, m_inset, -m_inset, -m_inset);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    DevicePixels::drawText(painter, device, text(), alignment());
}
