// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/TextBoxW.h"

#include "widgets/DevicePixels.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QWheelEvent>

namespace {
QString toParagraphs(const QString& text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

// What toPlainText() makes of a character the document holds, with the line break as CR LF;
// false for a break inside a block, which block numbers do not count.
bool appendCrLf(QString& out, QStringView raw)
{
    for (const QChar c : raw) {
        switch (c.unicode()) {
        case 0x2029: // between blocks
            out += QStringLiteral("\r\n");
            break;
        case 0x2028: // a break inside a block
        case 0xfdd0: // frame start
        case 0xfdd1: // frame end
            return false;
        case 0x00a0:
            out += u' ';
            break;
        default:
            out += c;
        }
    }
    return true;
}

// Past this many characters (a line break counting one) the text is not kept: the first key after
// each taking copies it, and texts that long are taken only when the typing pauses.
constexpr int kLongestKeptText = 1000000;
} // namespace

TextBoxW::TextBoxW(QWidget* parent) : QPlainTextEdit(parent)
{
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QPlainTextEdit::textChanged, this, &TextBoxW::Change);
    connect(document(), &QTextDocument::contentsChange, this, &TextBoxW::followChange);
}

void TextBoxW::setMultiLine(bool multiLine)
{
    if (multiLine != m_multiLine) {
        // What assistive technology was given before (a name set first asks for it) would still
        // say the other kind of box: the next question gets the right one.
        if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(this))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    m_multiLine = multiLine;
    // Tab moves on from a one-line box; in a page of text it types a tab, and Ctrl+Tab moves on.
    setTabChangesFocus(!multiLine);
    setLineWrapMode(multiLine ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (!multiLine) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        document()->setDocumentMargin(1);
    }
}

void TextBoxW::setOutline(const QColor& color)
{
    m_outline = color;
    const bool outlined = color.isValid();
    // A frame of QFrame is drawn by logical coordinates and breaks at fractional scales; the box
    // draws its own outline in the margin it keeps free around the text.
    setFrameShape(QFrame::NoFrame);
    updateMargins();
    // What lies between the outline and the text area is the text area's ground, not the panel's.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(outlined);
    update();
}

void TextBoxW::setInkCentred(const QString& sample)
{
    m_inkSample = sample;
    updateMargins();
    viewport()->update();
}

void TextBoxW::updateMargins()
{
    const int outline = m_outline.isValid() ? 1 : 0;
    // A line placed by its ink uses the document margin for the fine vertical shift, and that
    // margin is about a pixel smaller than the usual one; the viewport makes up for it on the left
    // so the text keeps its distance from the outline.
    const int left = outline + (m_inkSample.isEmpty() ? 0 : 1);
    setViewportMargins(left, outline, outline, outline);
}

void TextBoxW::placeLineOnInk()
{
    // Where the line must go depends on the device pixels the box lands on, which only a painter
    // knows (the scale and the box's place in the window); the top margin of the document moves the
    // line by fractions of a logical pixel.
    QPainter probe(viewport());
    const QTransform device = probe.deviceTransform();
    probe.end();
    const qreal scale = device.m22();
    const QRect ink = DevicePixels::inkOf(m_inkSample, font(), scale);
    if (scale <= 0 || ink.isEmpty())
        return;
    const int inset = m_outline.isValid() ? 1 : 0;
    const QRect box = DevicePixels::span(device, QRectF(QPointF(-viewport()->pos()), QSizeF(size())))
                          .adjusted(inset, inset, -inset, -inset);
    const int baseline = box.top() + (box.height() - ink.height()) / 2 - ink.top();
    const qreal logicalBaseline = device.inverted().map(QPointF(0, baseline)).y();
    const QTextBlock first = document()->firstBlock();
    const QTextLayout* layout = first.layout();
    const qreal ascent =
        layout && layout->lineCount() > 0 ? layout->lineAt(0).ascent() : fontMetrics().ascent();
    const qreal margin = logicalBaseline - ascent;
    if (qAbs(margin - document()->documentMargin()) > 0.001)
        document()->setDocumentMargin(margin);
}

void TextBoxW::paintEvent(QPaintEvent* event)
{
    if (!m_inkSample.isEmpty())
        placeLineOnInk();
    QPlainTextEdit::paintEvent(event);
}

bool TextBoxW::event(QEvent* event)
{
    const bool handled = QPlainTextEdit::event(event);
    if (event->type() == QEvent::Paint && m_outline.isValid()) {
        QPainter painter(this);
        DevicePixels::drawOutline(painter, rect(), m_outline);
    }
    return handled;
}

QString TextBoxW::text() const
{
    if (m_textKept)
        return m_keptText;
    QString s = toPlainText();
    const qsizetype breaks = s.count(u'\n');
    if (breaks > 0)
        s.replace(u'\n', QStringLiteral("\r\n"));
    // Kept only while every line break is one between blocks: a block's number then says where
    // a position lies in the text.
    if (plainLength() <= kLongestKeptText && breaks == document()->blockCount() - 1) {
        m_keptText = s;
        m_textKept = true;
    }
    return s;
}

void TextBoxW::forgetKeptText() const
{
    m_textKept = false;
    m_keptText = QString();
}

void TextBoxW::followChange(int position, int removed, int added)
{
    if (!m_textKept)
        return;
    // The document before the position is as it was, and each block before it ends in a line
    // break, which the text holds as two characters.
    const int length = plainLength();
    const QTextBlock block = document()->findBlock(position);
    const qsizetype at = block.isValid() ? position + block.blockNumber() : -1;
    if (position < 0 || position > length || at > m_keptText.size()) {
        forgetKeptText();
        return;
    }
    // A change of the whole document counts its closing separator too, past the end of the text.
    qsizetype end = at;
    for (int i = 0; i < removed && end < m_keptText.size(); ++i)
        end += m_keptText.at(end) == u'\r' ? 2 : 1;
    QString inserted;
    const int addedEnd = qMin(position + added, length);
    if (addedEnd > position) {
        QTextCursor c(document());
        c.setPosition(position);
        c.setPosition(addedEnd, QTextCursor::KeepAnchor);
        const QString raw = c.selectedText();
        inserted.reserve(raw.size() + raw.size() / 8);
        if (!appendCrLf(inserted, raw)) {
            forgetKeptText();
            return;
        }
    }
    m_keptText.replace(at, qMin(end, m_keptText.size()) - at, inserted);
    // A change whose bounds were not what they seemed shows in the length.
    if (m_keptText.size() != length + document()->blockCount() - 1 || length > kLongestKeptText)
        forgetKeptText();
}

void TextBoxW::setText(const QString& text)
{
    setPlainText(toParagraphs(text));
}

int TextBoxW::plainLength() const
{
    return document()->characterCount() - 1;
}

int TextBoxW::toCrLf(int qtPosition) const
{
    // Every line break before the position counts one extra character.
    const QTextBlock block = document()->findBlock(qtPosition);
    return qtPosition + (block.isValid() ? block.blockNumber() : 0);
}

int TextBoxW::fromCrLf(int crLfPosition) const
{
    int remaining = crLfPosition;
    int qtPosition = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const int length = block.length() - 1; // without the separator
        if (remaining <= length)
            return qtPosition + remaining;
        remaining -= length;
        qtPosition += length;
        if (!block.next().isValid())
            return qtPosition;
        // The separator takes two units: a position between CR and LF rounds to after the break.
        remaining -= 2;
        qtPosition += 1;
        if (remaining < 0)
            return qtPosition;
    }
    return qtPosition;
}

int TextBoxW::selStart() const
{
    return toCrLf(textCursor().selectionStart());
}

int TextBoxW::selLength() const
{
    const QTextCursor c = textCursor();
    return toCrLf(c.selectionEnd()) - toCrLf(c.selectionStart());
}

QString TextBoxW::selText() const
{
    QString s = textCursor().selectedText();
    s.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    s.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return s;
}

void TextBoxW::setSelStart(int start)
{
    QTextCursor c = textCursor();
    c.setPosition(qBound(0, fromCrLf(qMax(0, start)), plainLength()));
    setTextCursor(c);
}

void TextBoxW::setSelLength(int length)
{
    QTextCursor c = textCursor();
    const int anchor = c.selectionStart();
    const int end = fromCrLf(toCrLf(anchor) + qMax(0, length));
    c.setPosition(anchor);
    c.setPosition(qBound(0, end, plainLength()), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void TextBoxW::setSelText(const QString& text)
{
    QTextCursor c = textCursor();
    c.insertText(toParagraphs(text));
    setTextCursor(c);
}

void TextBoxW::setForeColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

QColor TextBoxW::foreColor() const
{
    return palette().color(QPalette::Text);
}

int TextBoxW::shiftState(Qt::KeyboardModifiers modifiers)
{
    int state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= 1;
    if (modifiers & Qt::ControlModifier)
        state |= 2;
    if (modifiers & Qt::AltModifier)
        state |= 4;
    return state;
}

int TextBoxW::keyCode(const QKeyEvent* event)
{
    const int key = event->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key; // same codes as the upper-case letters
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    default:
        return key & 0xffff;
    }
}

QString TextBoxW::filtered(const QString& incoming) const
{
    QString s = toParagraphs(incoming);
    if (!m_multiLine)
        s.remove(u'\n');
    if (m_digitsOnly) {
        QString digits;
        for (QChar c : s)
            if (c >= u'0' && c <= u'9')
                digits += c;
        s = digits;
    }
    if (m_maxLength > 0) {
        const int room = m_maxLength - (plainLength() - textCursor().selectedText().size());
        s = s.left(qMax(0, room));
    }
    return s;
}

void TextBoxW::keyPressEvent(QKeyEvent* event)
{
    emit KeyDown(keyCode(event), shiftState(event->modifiers()));
    const int key = event->key();
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && (event->modifiers() & Qt::ControlModifier)) {
        // The text box keeps Tab for itself; Ctrl+Tab is the way out to the next control.
        const bool forward = key == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        QWidget::focusNextPrevChild(forward);
        return;
    }
    if (!m_multiLine && (key == Qt::Key_Return || key == Qt::Key_Enter))
        return;
    if (m_ownWheelZoom == false && (event->modifiers() & Qt::ControlModifier) &&
        (key == Qt::Key_Plus || key == Qt::Key_Minus || key == Qt::Key_Equal))
        return;
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (printable && (m_digitsOnly || m_maxLength > 0)) {
        const QString allowed = filtered(typed);
        if (allowed.isEmpty())
            return;
        if (allowed != typed) {
            QTextCursor c = textCursor();
            c.insertText(allowed);
            setTextCursor(c);
            return;
        }
    }
    if (m_multiLine && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        // Shift+Enter would make a soft break that is no line break in the saved text; every
        // Enter makes a real one. With Ctrl held Enter is a command key and types nothing.
        if (event->modifiers() & Qt::ControlModifier)
            return;
        if (m_maxLength > 0 && filtered(QStringLiteral("\n")).isEmpty())
            return;
        QTextCursor c = textCursor();
        c.insertBlock();
        setTextCursor(c);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TextBoxW::keyReleaseEvent(QKeyEvent* event)
{
    emit KeyUp(keyCode(event), shiftState(event->modifiers()));
    QPlainTextEdit::keyReleaseEvent(event);
}

namespace {
int buttonCode(Qt::MouseButtons buttons)
{
    int code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}
} // namespace

void TextBoxW::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit MouseDown(buttonCode(event->button()), shiftState(event->modifiers()), p.x(), p.y());
    QPlainTextEdit::mousePressEvent(event);
}

void TextBoxW::mouseReleaseEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseReleaseEvent(event);
    // After the release: a press inside a selection clears it again when the button comes up. A
    // drag that chose some characters keeps them.
    if (m_selectAfterPress && !textCursor().hasSelection())
        selectAll();
    m_selectAfterPress = false;
}

void TextBoxW::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit MouseMove(buttonCode(event->buttons()), shiftState(event->modifiers()), p.x(), p.y());
    QPlainTextEdit::mouseMoveEvent(event);
}

// The box keeps the focus while another window is active: the window system taking the focus away
// and giving it back is not the user leaving or entering the box. Reacting to it would, for one,
// close the settings panel that the click activating the window had just opened.
void TextBoxW::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    // A disabled box says nothing about what to type: the editor under the open note list would
    // show its hint beside the list.
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled() && !placeholderText().isEmpty()) {
            m_placeholderWhileDisabled = placeholderText();
            setPlaceholderText(QString());
        } else if (isEnabled() && !m_placeholderWhileDisabled.isEmpty()) {
            setPlaceholderText(m_placeholderWhileDisabled);
            m_placeholderWhileDisabled.clear();
        }
    }
}

void TextBoxW::setHint(const QString& hint)
{
    if (isEnabled())
        setPlaceholderText(hint);
    else
        m_placeholderWhileDisabled = hint;
}

void TextBoxW::focusInEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusInEvent(event);
    if (m_selectOnFocus && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason) {
        // A click would put the caret where it landed right after this: select once it has.
        if (event->reason() == Qt::MouseFocusReason)
            m_selectAfterPress = true;
        else
            selectAll();
    }
    if (event->reason() != Qt::ActiveWindowFocusReason)
        emit GotFocus();
}

void TextBoxW::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (event->reason() != Qt::ActiveWindowFocusReason)
        emit LostFocus();
}

void TextBoxW::wheelEvent(QWheelEvent* event)
{
    if (!m_ownWheelZoom && (event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    QPlainTextEdit::wheelEvent(event);
}

bool TextBoxW::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasText();
}

void TextBoxW::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText())
        return;
    const QString text = filtered(source->text());
    if (text.isEmpty() && !textCursor().hasSelection())
        return;
    QTextCursor c = textCursor();
    c.insertText(text);
    setTextCursor(c);
}
