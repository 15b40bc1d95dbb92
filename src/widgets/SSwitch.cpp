// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/SSwitch.h"

#include "widgets/Accessibility.h"
#include "widgets/FocusRing.h"
#include "widgets/OleColor.h"

#include <QKeyEvent>

#include <QMouseEvent>
#include <QPainter>

namespace {

/// The track: filled with its colour and outlined in the same colour (the outline Shape1).
class SwitchTrack : public QWidget
{
public:
    explicit SwitchTrack(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("Picture1"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QColor color;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), color);
        painter.setPen(QPen(color, 0));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

} // namespace

SSwitch::SSwitch(QWidget* parent) : QWidget(parent)
{
    m_track = new SwitchTrack(this);
    m_knob = new QWidget(m_track);
    m_knob->setObjectName(QStringLiteral("Picture2"));
    m_knob->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_knob->setAutoFillBackground(true);
    QPalette pal = m_knob->palette();
    pal.setColor(QPalette::Window, oleColor(0xFFFFFF));
    m_knob->setPalette(pal);
    resize(41, 17); // 615 x 255 twips, the size the main window gives both switches
    // Reached by Tab only: a click must leave the keyboard where it was.
    setFocusPolicy(Qt::TabFocus);
    Accessibility::install();
    FocusRing::install();
    layoutTwips();
    redraw();
}

QSize SSwitch::sizeHint() const
{
    return QSize(41, 17);
}

void SSwitch::setBackColorOff(quint32 color)
{
    m_backColorOff = color;
    redraw();
    if (!m_loading)
        emit propertyChanged(QStringLiteral("BackColorOff"));
}

void SSwitch::setBackColorOn(quint32 color)
{
    m_backColorOn = color;
    redraw();
    if (!m_loading)
        emit propertyChanged(QStringLiteral("BackColorOn"));
}

void SSwitch::setValue(bool on)
{
    const bool changed = m_value != on;
    m_value = on;
    redraw();
    if (changed)
        Accessibility::checkedChanged(this);
    if (!m_loading)
        emit propertyChanged(QStringLiteral("Value"));
}

QColor SSwitch::trackColor() const
{
    return oleColor(m_value ? m_backColorOn : m_backColorOff);
}

void SSwitch::layoutTwips()
{
    m_trackTwips = QRectF(0, 0, width() * TwipsPerPixel, height() * TwipsPerPixel);
    m_knobTwips.setTop(15);
    m_knobTwips.setWidth(m_trackTwips.width() / 2 - 15);
    m_knobTwips.setHeight(m_trackTwips.height() - 30);
    m_track->setGeometry(rect());
}

void SSwitch::redraw()
{
    const double knobLeft = m_value ? m_trackTwips.width() - 15 - m_knobTwips.width() : 15;
    m_knobTwips.moveLeft(knobLeft);

    // Whole pixels for the knob, mirrored between the two ends so that both gaps look alike even
    // when the twip width falls between pixels.
    const int knobWidth = qMax(0, qRound(m_knobTwips.width() / TwipsPerPixel));
    const int knobHeight = qMax(0, qRound(m_knobTwips.height() / TwipsPerPixel));
    const int inset = qRound(15 / TwipsPerPixel);
    const int left = m_value ? m_track->width() - inset - knobWidth : inset;
    m_knob->setGeometry(left, inset, knobWidth, knobHeight);

    static_cast<SwitchTrack*>(m_track)->color = trackColor();
    m_track->update();
}

void SSwitch::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutTwips();
    redraw();
}

void SSwitch::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        m_pressed = false;
        if (!m_loading)
            emit propertyChanged(QStringLiteral("Enabled"));
    }
}

void SSwitch::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void SSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        toggle();
}

void SSwitch::toggle()
{
    if (!isEnabled())
        return;
    m_value = !m_value;
    redraw();
    Accessibility::checkedChanged(this);
    emit Click();
}

void SSwitch::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        toggle();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SSwitch::readProperties(const PropertyBag& bag)
{
    using namespace PropertyBags;
    m_loading = true;
    m_backColorOff = toUInt32(read(bag, QStringLiteral("BackColorOff"), DefaultBackColorOff));
    m_backColorOn = toUInt32(read(bag, QStringLiteral("BackColorOn"), DefaultBackColorOn));
    m_value = read(bag, QStringLiteral("Value"), false).toBool();
    setEnabled(read(bag, QStringLiteral("Enabled"), true).toBool());
    m_loading = false;
    redraw();
}

void SSwitch::writeProperties(PropertyBag& bag) const
{
    using namespace PropertyBags;
    write(bag, QStringLiteral("BackColorOff"), m_backColorOff, DefaultBackColorOff);
    write(bag, QStringLiteral("BackColorOn"), m_backColorOn, DefaultBackColorOn);
    write(bag, QStringLiteral("Enabled"), !testAttribute(Qt::WA_ForceDisabled), true);
    write(bag, QStringLiteral("Value"), m_value, false);
}
