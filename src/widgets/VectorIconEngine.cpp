// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/VectorIconEngine.h"

#include <QPainter>
#include <QPixmap>

void VectorIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap pm = pixmap(rect.size() * dpr, mode, state);
    pm.setDevicePixelRatio(dpr);
    painter->drawPixmap(rect.topLeft(), pm);
}

QPixmap VectorIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State)
{
    const int side = qMin(size.width(), size.height());
    if (side <= 0)
        return QPixmap();
    return QPixmap::fromImage(m_render(side, mode));
}
