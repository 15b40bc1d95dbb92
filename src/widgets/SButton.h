// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/PropertyBag.h"

#include <QWidget>

class InkLabel;

/// Flat push button: a filled rectangle with a centred caption and an optional outline, in three
/// looks (normal, hover, pressed) with their own colours. Colours are 0x00BBGGRR values; a value with
/// the top bit set names a system colour. Click fires when the left button goes down, not on release.
class SButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(quint32 BackColorClick READ backColorClick WRITE setBackColorClick)
    Q_PROPERTY(quint32 BackColorHover READ backColorHover WRITE setBackColorHover)
    Q_PROPERTY(quint32 BackColorNormal READ backColorNormal WRITE setBackColorNormal)
    Q_PROPERTY(quint32 BorderColorClick READ borderColorClick WRITE setBorderColorClick)
    Q_PROPERTY(quint32 BorderColorHover READ borderColorHover WRITE setBorderColorHover)
    Q_PROPERTY(quint32 BorderColorNormal READ borderColorNormal WRITE setBorderColorNormal)
    Q_PROPERTY(int BorderStyle READ borderStyle WRITE setBorderStyle)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(quint32 ForeColorClick READ foreColorClick WRITE setForeColorClick)
    Q_PROPERTY(quint32 ForeColorHover READ foreColorHover WRITE setForeColorHover)
    Q_PROPERTY(quint32 ForeColorNormal READ foreColorNormal WRITE setForeColorNormal)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)

public:
    enum Look
    {
        LookNormal = 0,
        LookHover = 1,
        LookPressed = 2
    };

    static constexpr quint32 DefaultBackColorClick = 0xFF9933;
    static constexpr quint32 DefaultBackColorHover = 0xFFCC66;
    static constexpr quint32 DefaultBackColorNormal = 0xFFCC33;
    static constexpr quint32 DefaultBorderColor = 0;
    static constexpr quint32 DefaultForeColor = 0xFFFFFF;

    /// A button with every property at its default and the normal look.
    explicit SButton(QWidget* parent = nullptr);
    ~SButton() override;

    quint32 backColorClick() const { return m_backColor[LookPressed]; }
    quint32 backColorHover() const { return m_backColor[LookHover]; }
    quint32 backColorNormal() const { return m_backColor[LookNormal]; }
    quint32 borderColorClick() const { return m_borderColor[LookPressed]; }
    quint32 borderColorHover() const { return m_borderColor[LookHover]; }
    quint32 borderColorNormal() const { return m_borderColor[LookNormal]; }
    int borderStyle() const { return m_borderStyle; }
    QString caption() const;
    quint32 foreColorClick() const { return m_foreColor[LookPressed]; }
    quint32 foreColorHover() const { return m_foreColor[LookHover]; }
    quint32 foreColorNormal() const { return m_foreColor[LookNormal]; }
    QString tag() const { return m_tag; }

    void setBackColorClick(quint32 color);
    void setBackColorHover(quint32 color);
    void setBackColorNormal(quint32 color);
    void setBorderColorClick(quint32 color);
    void setBorderColorHover(quint32 color);
    void setBorderColorNormal(quint32 color);
    /// 1 shows the outline; any other value hides it.
    void setBorderStyle(int style);
    void setCaption(const QString& caption);
    void setForeColorClick(quint32 color);
    void setForeColorHover(quint32 color);
    void setForeColorNormal(quint32 color);
    /// Free text for the host; the button never reads it.
    void setTag(const QString& tag);
    /// The same colour for all three looks, as every button of the main window has.
    void setColors(quint32 back, quint32 border, quint32 fore);
    /// What a left press does, for the keyboard (Space, Return) and assistive technology: raises
    /// Click without drawing the pressed look, since no button is held down.
    void press();

    /// Current look: 0 normal, 1 hover, 2 pressed.
    int look() const { return m_look; }
    /// Colours drawn right now, after the disabled override.
    QColor currentBackColor() const;
    QColor currentBorderColor() const;
    QColor currentForeColor() const;
    /// Whether the outline is drawn.
    bool outlineVisible() const { return m_borderStyle == 1; }

    /// Loads the 13 designer properties, defaults for missing ones, then redraws.
    void readProperties(const PropertyBag& bag);
    /// Appends the designer properties in their fixed order, leaving out those at their default.
    void writeProperties(PropertyBag& bag) const;

    QSize sizeHint() const override;

signals:
    /// The left button went down on the button (before the pressed look is drawn).
    void Click();
    /// The pointer moved over the button with no mouse button held.
    void Hover();
    /// A property was set by the host (not while reading the designer store).
    void propertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setColor(quint32 (&colors)[3], int look, quint32 color, const char* name);
    void setLook(int look);
    void redraw();
    void centreCaption();
    void buttonDown(Qt::MouseButton button);
    void buttonUp();
    void captionMoved(Qt::MouseButtons buttons);
    void dropCapture();

    InkLabel* m_label = nullptr;
    quint32 m_backColor[3] = {DefaultBackColorNormal, DefaultBackColorHover, DefaultBackColorClick};
    quint32 m_borderColor[3] = {DefaultBorderColor, DefaultBorderColor, DefaultBorderColor};
    quint32 m_foreColor[3] = {DefaultForeColor, DefaultForeColor, DefaultForeColor};
    int m_borderStyle = 0;
    QString m_tag;
    QFont m_defaultFont;
    int m_look = LookNormal;
    bool m_loading = false;
};
