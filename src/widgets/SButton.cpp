// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/SButton.h"

#include "widgets/Accessibility.h"
#include "widgets/DevicePixels.h"
#include "widgets/FocusRing.h"
#include "widgets/InkLabel.h"
#include "widgets/OleColor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace {

const QString DefaultCaption = QStringLiteral("SButton");

// Drawn instead of the look's colours while the button is disabled.
constexpr quint32 DisabledBack = OleSystemColor | 15;   // button face
constexpr quint32 DisabledFore = OleSystemColor | 17;   // grey text
constexpr quint32 DisabledBorder = OleSystemColor | 21; // 3-D dark shadow

} // namespace

SButton::SButton(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    m_label = new InkLabel(DefaultCaption, this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setAutoFillBackground(false);
    m_label->setMouseTracking(true);
    // The caption handles the mouse itself: a move over it must not take the pointer grab.
    m_label->installEventFilter(this);
    // Reached by Tab only: a click must leave the keyboard where it was.
    setFocusPolicy(Qt::TabFocus);
    Accessibility::install();
    FocusRing::install();
    redraw();
}

void SButton::press()
{
    if (isEnabled())
        emit Click();
}

void SButton::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        press();
        return;
    }
    QWidget::keyPressEvent(event);
}

SButton::~SButton()
{
    if (mouseGrabber() == this)
        releaseMouse();
}

QString SButton::caption() const
{
    return m_label->text();
}

void SButton::setColor(quint32 (&colors)[3], int look, quint32 color, const char* name)
{
    colors[look] = color;
    redraw();
    if (!m_loading)
        emit propertyChanged(QString::fromLatin1(name));
}

void SButton::setBackColorClick(quint32 color)
{
    setColor(m_backColor, LookPressed, color, "BackColorClick");
}

void SButton::setBackColorHover(quint32 color)
{
    setColor(m_backColor, LookHover, color, "BackColorHover");
}

void SButton::setBackColorNormal(quint32 color)
{
    setColor(m_backColor, LookNormal, color, "BackColorNormal");
}

void SButton::setBorderColorClick(quint32 color)
{
    setColor(m_borderColor, LookPressed, color, "BorderColorClick");
}

void SButton::setBorderColorHover(quint32 color)
{
    setColor(m_borderColor, LookHover, color, "BorderColorHover");
}

void SButton::setBorderColorNormal(quint32 color)
{
    setColor(m_borderColor, LookNormal, color, "BorderColorNormal");
}

void SButton::setForeColorClick(quint32 color)
{
    setColor(m_foreColor, LookPressed, color, "ForeColorClick");
}

void SButton::setForeColorHover(quint32 color)
{
    setColor(m_foreColor, LookHover, color, "ForeColorHover");
}

void SButton::setForeColorNormal(quint32 color)
{
    setColor(m_foreColor, LookNormal, color, "ForeColorNormal");
}

void SButton::setBorderStyle(int style)
{
    m_borderStyle = style;
    redraw();
    if (!m_loading)
        emit propertyChanged(QStringLiteral("BorderStyle"));
}

void SButton::setCaption(const QString& caption)
{
    m_label->setText(caption);
    redraw();
    Accessibility::nameChanged(this);
    if (!m_loading)
        emit propertyChanged(QStringLiteral("Caption"));
}

void SButton::setTag(const QString& tag)
{
    m_tag = tag;
}

void SButton::setColors(quint32 back, quint32 border, quint32 fore)
{
    setBackColorClick(back);
    setBackColorHover(back);
    setBackColorNormal(back);
    setBorderColorClick(border);
    setBorderColorHover(border);
    setBorderColorNormal(border);
    setForeColorClick(fore);
    setForeColorHover(fore);
    setForeColorNormal(fore);
}

QColor SButton::currentBackColor() const
{
    return oleColor(isEnabled() ? m_backColor[m_look] : DisabledBack);
}

QColor SButton::currentBorderColor() const
{
    return oleColor(isEnabled() ? m_borderColor[m_look] : DisabledBorder);
}

QColor SButton::currentForeColor() const
{
    return oleColor(isEnabled() ? m_foreColor[m_look] : DisabledFore);
}

void SButton::setLook(int look)
{
    if (m_look == look)
        return;
    m_look = look;
    redraw();
}

void SButton::redraw()
{
    // The caption is centred on the space inside the outline, not on the outline itself.
    m_label->centreOnParent(outlineVisible() ? 1 : 0);
    QPalette pal = m_label->palette();
    pal.setColor(QPalette::WindowText, currentForeColor());
    m_label->setPalette(pal);
    centreCaption();
    update();
}

void SButton::centreCaption()
{
    // The caption's size is that of its drawn glyphs (see InkLabel), so centring it centres what
    // the eye sees rather than the font's much taller line box.
    m_label->adjustSize();
    m_label->move((width() - m_label->width()) / 2, (height() - m_label->height()) / 2);
}

QSize SButton::sizeHint() const
{
    return m_label->sizeHint() + QSize(12, 6);
}

void SButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), currentBackColor());
    // On the device pixels the button really owns: at a fractional scale a rectangle drawn by
    // logical coordinates loses edges to the clip or leaves a strip of background outside it.
    if (outlineVisible())
        DevicePixels::drawOutline(painter, rect(), currentBorderColor());
}

void SButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    centreCaption();
}

void SButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        // A disabled widget sees no more pointer moves, so the one that would end the hover never
        // comes: end it now rather than keep the grab.
        if (!isEnabled() && mouseGrabber() == this) {
            releaseMouse();
            m_look = LookNormal;
        }
        redraw();
        if (!m_loading)
            emit propertyChanged(QStringLiteral("Enabled"));
    } else if (event->type() == QEvent::FontChange) {
        m_label->setFont(font());
        redraw();
        if (!m_loading)
            emit propertyChanged(QStringLiteral("Font"));
    }
}

void SButton::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A grab held by a hidden widget would swallow every click of the application.
    if (mouseGrabber() == this) {
        releaseMouse();
        setLook(LookNormal);
    }
}

void SButton::dropCapture()
{
    if (mouseGrabber() == this)
        releaseMouse();
}

void SButton::buttonDown(Qt::MouseButton button)
{
    if (!isEnabled() || button != Qt::LeftButton)
        return;
    // The host may hide or rebuild things from its handler; only touch the look if still alive.
    QPointer<SButton> self(this);
    emit Click();
    if (self)
        setLook(LookPressed);
}

void SButton::buttonUp()
{
    if (isEnabled())
        setLook(LookHover);
}

void SButton::captionMoved(Qt::MouseButtons buttons)
{
    if (!isEnabled() || buttons != Qt::NoButton)
        return;
    if (m_look == LookNormal)
        setLook(LookHover);
    emit Hover();
}

void SButton::mousePressEvent(QMouseEvent* event)
{
    buttonDown(event->button());
    event->accept();
}

void SButton::mouseReleaseEvent(QMouseEvent* event)
{
    buttonUp();
    event->accept();
}

void SButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click has already arrived as a press of its own.
    event->accept();
}

void SButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    // The grab brings moves from outside; the edge itself (x = width, y = height) still counts inside.
    if (p.x() < 0 || p.y() < 0 || p.x() > width() || p.y() > height()) {
        setLook(LookNormal);
        dropCapture();
    } else if (isEnabled() && event->buttons() == Qt::NoButton) {
        if (m_look == LookNormal)
            setLook(LookHover);
        QPointer<SButton> self(this);
        emit Hover();
        if (self && isVisible() && mouseGrabber() != this)
            grabMouse();
    }
    event->accept();
}

bool SButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_label)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        buttonDown(static_cast<QMouseEvent*>(event)->button());
        return true;
    case QEvent::MouseButtonRelease:
        buttonUp();
        return true;
    case QEvent::MouseButtonDblClick:
        return true; // its press has already been handled
    case QEvent::MouseMove:
        captionMoved(static_cast<QMouseEvent*>(event)->buttons());
        return true;
    default:
        return false;
    }
}

void SButton::readProperties(const PropertyBag& bag)
{
    using namespace PropertyBags;
    const QFont defaultFont = parentWidget() ? parentWidget()->font() : QApplication::font(this);
    m_loading = true;
    m_backColor[LookPressed] = toUInt32(read(bag, QStringLiteral("BackColorClick"), DefaultBackColorClick));
    m_backColor[LookHover] = toUInt32(read(bag, QStringLiteral("BackColorHover"), DefaultBackColorHover));
    m_backColor[LookNormal] = toUInt32(read(bag, QStringLiteral("BackColorNormal"), DefaultBackColorNormal));
    m_borderColor[LookPressed] = toUInt32(read(bag, QStringLiteral("BorderColorClick"), DefaultBorderColor));
    m_borderColor[LookHover] = toUInt32(read(bag, QStringLiteral("BorderColorHover"), DefaultBorderColor));
    m_borderColor[LookNormal] = toUInt32(read(bag, QStringLiteral("BorderColorNormal"), DefaultBorderColor));
    m_borderStyle = read(bag, QStringLiteral("BorderStyle"), 0).toInt();
    m_label->setText(read(bag, QStringLiteral("Caption"), DefaultCaption).toString());
    setEnabled(read(bag, QStringLiteral("Enabled"), true).toBool());
    // Setting an equal font would still pin it, and stop the host's font from reaching the button.
    const QFont storedFont = read(bag, QStringLiteral("Font"), defaultFont).value<QFont>();
    if (storedFont != font())
        setFont(storedFont);
    m_foreColor[LookPressed] = toUInt32(read(bag, QStringLiteral("ForeColorClick"), DefaultForeColor));
    m_foreColor[LookHover] = toUInt32(read(bag, QStringLiteral("ForeColorHover"), DefaultForeColor));
    m_foreColor[LookNormal] = toUInt32(read(bag, QStringLiteral("ForeColorNormal"), DefaultForeColor));
    m_loading = false;
    redraw();
}

void SButton::writeProperties(PropertyBag& bag) const
{
    using namespace PropertyBags;
    const QFont defaultFont = parentWidget() ? parentWidget()->font() : QApplication::font(this);
    write(bag, QStringLiteral("BackColorClick"), m_backColor[LookPressed], DefaultBackColorClick);
    write(bag, QStringLiteral("BackColorHover"), m_backColor[LookHover], DefaultBackColorHover);
    write(bag, QStringLiteral("BackColorNormal"), m_backColor[LookNormal], DefaultBackColorNormal);
    write(bag, QStringLiteral("BorderColorClick"), m_borderColor[LookPressed], DefaultBorderColor);
    write(bag, QStringLiteral("BorderColorHover"), m_borderColor[LookHover], DefaultBorderColor);
    write(bag, QStringLiteral("BorderColorNormal"), m_borderColor[LookNormal], DefaultBorderColor);
    write(bag, QStringLiteral("BorderStyle"), m_borderStyle, 0);
    write(bag, QStringLiteral("Caption"), caption(), DefaultCaption);
    write(bag, QStringLiteral("Enabled"), !testAttribute(Qt::WA_ForceDisabled), true);
    write(bag, QStringLiteral("Font"), font(), defaultFont);
    write(bag, QStringLiteral("ForeColorClick"), m_foreColor[LookPressed], DefaultForeColor);
    write(bag, QStringLiteral("ForeColorHover"), m_foreColor[LookHover], DefaultForeColor);
    write(bag, QStringLiteral("ForeColorNormal"), m_foreColor[LookNormal], DefaultForeColor);
}
