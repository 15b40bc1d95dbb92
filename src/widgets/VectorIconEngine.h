// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIconEngine>
#include <QImage>
#include <functional>

/// An icon drawn by code at whatever size and device pixel ratio it is asked for.
class VectorIconEngine : public QIconEngine
{
public:
    /// Draws the icon as a square image of side device pixels in the given mode.
    using Render = std::function<QImage(int side, QIcon::Mode mode)>;

    VectorIconEngine(Render render, QList<QSize> sizes, QString key)
        : m_render(std::move(render)), m_sizes(std::move(sizes)), m_key(std::move(key))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_sizes; }
    QIconEngine* clone() const override { return new VectorIconEngine(m_render, m_sizes, m_key); }
    QString key() const override { return m_key; }

private:
    Render m_render;
    QList<QSize> m_sizes;
    QString m_key;
};
