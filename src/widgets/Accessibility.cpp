// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Accessibility.h"

#include "widgets/ClickLabel.h"
#include "widgets/ImageButton.h"
#include "widgets/SButton.h"
#include "widgets/SSwitch.h"
#include "widgets/TextBoxW.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QRegularExpression>
#include <QTextCursor>

namespace {

// "名称(Ctrl+E)": the name, then the key in ASCII or full-width brackets.
const QRegularExpression& tooltipPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(.*?)\\s*[(（]([^()（）]+)[)）]\\s*$"));
    return pattern;
}

// A caption of dots or blanks alone ("···") tells a listener nothing.
bool saysSomething(const QString& caption)
{
    for (QChar c : caption) {
        if (c.isLetterOrNumber())
            return true;
    }
    return false;
}

QString buddyCaption(const QWidget* widget)
{
    const QWidget* parent = widget->parentWidget();
    if (!parent)
        return QString();
    for (const QLabel* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->buddy() == widget) {
            QString text = label->text().trimmed();
            while (text.endsWith(u'：') || text.endsWith(u':'))
                text.chop(1);
            return text;
        }
    }
    return QString();
}

/// A control drawn by the application that acts like one of Qt's buttons. Its parts (the caption of
/// a flat button, the track and knob of a switch) are pictures of it, not controls of their own.
class ControlAccessible : public QAccessibleWidget
{
public:
    ControlAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    QAccessible::Role role() const override
    {
        // A caption becomes a choice after it is built: ask it each time.
        if (auto* label = qobject_cast<ClickLabel*>(widget()))
            return label->isRadio()      ? QAccessible::RadioButton
                   : label->isCheckBox() ? QAccessible::CheckBox
                                         : QAccessible::PushButton;
        return QAccessibleWidget::role();
    }

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return Accessibility::nameOf(widget(), caption());
        case QAccessible::Accelerator:
            return Accessibility::keyOfTooltip(widget()->toolTip());
        case QAccessible::Description:
            // The tooltip says what the control does, and names its key.
            return widget()->accessibleDescription().isEmpty() ? widget()->toolTip()
                                                               : widget()->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleWidget::state();
        if (role() == QAccessible::CheckBox || role() == QAccessible::RadioButton) {
            st.checkable = true;
            st.checked = checked();
        }
        return st;
    }

    QStringList actionNames() const override
    {
        QStringList names{role() == QAccessible::CheckBox ? toggleAction() : pressAction()};
        names += QAccessibleWidget::actionNames();
        return names;
    }

    void doAction(const QString& name) override
    {
        if (!widget()->isEnabled())
            return;
        if (name == pressAction() || name == toggleAction())
            press();
        else
            QAccessibleWidget::doAction(name);
    }

    QStringList keyBindingsForAction(const QString& name) const override
    {
        // The window's key for the same thing where the tooltip names one (Ctrl+E for 清空).
        if (name == pressAction() || name == toggleAction()) {
            const QString key = Accessibility::keyOfTooltip(widget()->toolTip());
            return {key.isEmpty() ? QStringLiteral("Space") : key};
        }
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    QString caption() const
    {
        if (auto* button = qobject_cast<SButton*>(widget()))
            return button->caption();
        if (auto* label = qobject_cast<ClickLabel*>(widget()))
            return label->text();
        return QString();
    }

    bool checked() const
    {
        if (auto* s = qobject_cast<SSwitch*>(widget()))
            return s->value();
        if (auto* label = qobject_cast<ClickLabel*>(widget()))
            return label->isChosen();
        return false;
    }

    void press()
    {
        if (auto* button = qobject_cast<SButton*>(widget()))
            button->press();
        else if (auto* image = qobject_cast<ImageButton*>(widget()))
            image->press();
        else if (auto* s = qobject_cast<SSwitch*>(widget()))
            s->toggle();
        else if (auto* label = qobject_cast<ClickLabel*>(widget()))
            label->press();
    }
};

/// A one-line box (the search box, 内容, the hour and minute): Qt's own interface for a plain text
/// edit calls every one multi-line, so a screen reader would announce a page of text. Reading only:
/// editing goes through the keyboard, where the box's limits apply.
class LineBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LineBoxAccessible(TextBoxW* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleWidget::state();
        st.editable = !box()->isReadOnly();
        st.readOnly = box()->isReadOnly();
        st.selectableText = true;
        st.multiLine = false;
        return st;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box()->toPlainText();
        return QAccessibleWidget::text(t);
    }

    void selection(int index, int* start, int* end) const override
    {
        const QTextCursor cursor = box()->textCursor();
        const bool has = index == 0 && cursor.hasSelection();
        *start = has ? cursor.selectionStart() : 0;
        *end = has ? cursor.selectionEnd() : 0;
    }
    int selectionCount() const override { return box()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override
    {
        QTextCursor cursor = box()->textCursor();
        cursor.clearSelection();
        box()->setTextCursor(cursor);
    }
    void setSelection(int, int start, int end) override
    {
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(clamped(start));
        cursor.setPosition(clamped(end), QTextCursor::KeepAnchor);
        box()->setTextCursor(cursor);
    }
    int cursorPosition() const override { return box()->textCursor().position(); }
    void setCursorPosition(int position) override
    {
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(clamped(position));
        box()->setTextCursor(cursor);
    }
    QString text(int start, int end) const override
    {
        return box()->toPlainText().mid(start, qMax(0, end - start));
    }
    int characterCount() const override { return int(box()->toPlainText().size()); }
    QRect characterRect(int offset) const override
    {
        QTextCursor cursor = box()->textCursor();
        cursor.setPosition(clamped(offset));
        QRect r = box()->cursorRect(cursor);
        const QString c = text(offset, offset + 1);
        r.setWidth(c.isEmpty() ? 1 : box()->fontMetrics().horizontalAdvance(c));
        return QRect(box()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return box()->cursorForPosition(box()->viewport()->mapFromGlobal(point)).position();
    }
    void scrollToSubstring(int start, int) override
    {
        setCursorPosition(start);
        box()->ensureCursorVisible();
    }
    QString attributes(int, int* start, int* end) const override
    {
        *start = 0;
        *end = characterCount();
        return QString();
    }

private:
    TextBoxW* box() const { return static_cast<TextBoxW*>(widget()); }
    int clamped(int position) const { return qBound(0, position, characterCount()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("SButton") || className == QLatin1String("ImageButton"))
        return new ControlAccessible(widget, QAccessible::PushButton);
    if (className == QLatin1String("SSwitch"))
        return new ControlAccessible(widget, QAccessible::CheckBox);
    // A panel that tells something as it appears is a notification, which screen readers speak when
    // it shows; any other panel with a name is a group of the controls on it (the time modes, ...).
    if (className == QLatin1String("Surface") && widget->property(Accessibility::kStatusMessage).toBool())
        return new QAccessibleWidget(widget, QAccessible::Notification);
    if (className == QLatin1String("Surface") && !widget->accessibleName().isEmpty())
        return new QAccessibleWidget(widget, QAccessible::Grouping);
    if (className == QLatin1String("ClickLabel"))
        return new ControlAccessible(widget, QAccessible::PushButton);
    if (className == QLatin1String("TextBoxW") && !static_cast<TextBoxW*>(widget)->isMultiLine())
        return new LineBoxAccessible(static_cast<TextBoxW*>(widget));
    return nullptr;
}

} // namespace

void Accessibility::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

QString Accessibility::nameOf(const QWidget* widget, const QString& caption)
{
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    if (saysSomething(caption))
        return caption.trimmed();
    const QString buddy = buddyCaption(widget);
    if (!buddy.isEmpty())
        return buddy;
    const QRegularExpressionMatch m = tooltipPattern().match(widget->toolTip());
    return m.hasMatch() ? m.captured(1) : widget->toolTip().trimmed();
}

QString Accessibility::keyOfTooltip(const QString& tooltip)
{
    const QRegularExpressionMatch m = tooltipPattern().match(tooltip);
    return m.hasMatch() ? m.captured(2) : QString();
}

void Accessibility::checkedChanged(QWidget* widget)
{
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}

void Accessibility::nameChanged(QWidget* widget)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
