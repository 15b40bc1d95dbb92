// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

/// A caption that acts as a button: it reports presses, clicks and pointer moves.
class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickLabel(const QString& text = QString(), QWidget* parent = nullptr);
    /// Colours of a choice item: chosen is grey ground with white text, the others white ground
    /// with dark grey text.
    void setChosen(bool chosen);
    bool isChosen() const;
    void setColors(const QColor& background, const QColor& text);
    QColor textColor() const;
    /// A one-pixel outline in this colour in every look, so the button keeps its size when its
    /// colours change (a frame in the text colour would vanish into a light ground when chosen).
    void setOutline(const QColor& color);

signals:
    void clicked();
    void mouseMoved();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_pressed = false;
    QColor m_outline;
};
