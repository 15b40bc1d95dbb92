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
    /// A choice among its siblings (the time modes, the action kinds): a radio button to assistive
    /// technology, checked while chosen, and the arrow keys move the choice along its radio siblings.
    /// Otherwise it is a push button.
    void setRadio(bool radio) { m_radio = radio; }
    bool isRadio() const { return m_radio; }
    /// An on/off toggle (a chosen weekday): a check box to assistive technology, checked while chosen.
    void setCheckBox(bool checkBox) { m_checkBox = checkBox; }
    bool isCheckBox() const { return m_checkBox; }
    /// What a click does, for the keyboard (Space, Return) and assistive technology.
    void press();

signals:
    void clicked();
    void mouseMoved();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void chooseSibling(int step);
    void setChosenLook(bool chosen);

    bool m_pressed = false;
    bool m_radio = false;
    bool m_checkBox = false;
    QColor m_outline;
};
