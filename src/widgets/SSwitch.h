// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/PropertyBag.h"

#include <QRectF>
#include <QWidget>

/// Two-position slide switch: a coloured track with a white knob at the left end when off and at the
/// right end when on. A click anywhere flips Value and then raises Click; setting Value from code
/// does not. Geometry follows the twip layout (15 twips per pixel).
class SSwitch : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(quint32 BackColorOff READ backColorOff WRITE setBackColorOff)
    Q_PROPERTY(quint32 BackColorOn READ backColorOn WRITE setBackColorOn)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Value READ value WRITE setValue)

public:
    static constexpr quint32 DefaultBackColorOff = 0xE1E1E1;
    static constexpr quint32 DefaultBackColorOn = 0xFFCC33;
    static constexpr double TwipsPerPixel = 15.0;

    /// An off switch with the default colours.
    explicit SSwitch(QWidget* parent = nullptr);

    quint32 backColorOff() const { return m_backColorOff; }
    quint32 backColorOn() const { return m_backColorOn; }
    bool value() const { return m_value; }
    void setBackColorOff(quint32 color);
    void setBackColorOn(quint32 color);
    /// Sets the position without raising Click.
    void setValue(bool on);
    /// What a click does, for the keyboard (Space) and assistive technology: flips Value, then
    /// raises Click.
    void toggle();

    /// The knob's rectangle in twips inside the track.
    QRectF knobTwips() const { return m_knobTwips; }
    /// The track's (and outline's) rectangle in twips.
    QRectF trackTwips() const { return m_trackTwips; }
    /// Colour of the track and of its outline right now.
    QColor trackColor() const;

    /// Loads BackColorOff, BackColorOn, Value, Enabled (defaults for missing ones), then redraws.
    void readProperties(const PropertyBag& bag);
    /// Appends BackColorOff, BackColorOn, Enabled, Value, leaving out those at their default.
    void writeProperties(PropertyBag& bag) const;

    QSize sizeHint() const override;

signals:
    /// A click flipped Value.
    void Click();
    /// A property was set by the host (not while reading the designer store).
    void propertyChanged(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layoutTwips();
    void redraw();

    QWidget* m_track = nullptr; // Picture1, carries the outline Shape1
    QWidget* m_knob = nullptr;  // Picture2
    quint32 m_backColorOff = DefaultBackColorOff;
    quint32 m_backColorOn = DefaultBackColorOn;
    bool m_value = false;
    bool m_pressed = false;
    bool m_loading = false;
    QRectF m_trackTwips;
    QRectF m_knobTwips;
};
