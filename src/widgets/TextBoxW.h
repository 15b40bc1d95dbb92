// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPlainTextEdit>

/// The Unicode text box every window is built on. Its text, caret and selection speak in CR LF
/// line breaks, as the note files, ledgers and translations expect, whatever Qt keeps inside.
class TextBoxW : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString Tag READ tag WRITE setTag)

public:
    explicit TextBoxW(QWidget* parent = nullptr);

    /// The text with every line break as CR LF.
    QString text() const;
    /// Sets the text; CR LF, lone CR and lone LF all become line breaks. Raises Change at once.
    void setText(const QString& text);
    /// Caret or selection start, counted in characters of text() (a line break counts 2).
    int selStart() const;
    int selLength() const;
    QString selText() const;
    /// Moves the caret, clearing the selection, like assigning the text box's SelStart.
    void setSelStart(int start);
    void setSelLength(int length);
    /// Replaces the selection (or inserts at the caret) and leaves the caret behind the new text.
    void setSelText(const QString& text);

    void setMultiLine(bool multiLine);
    bool isMultiLine() const { return m_multiLine; }
    /// At most this many characters can be typed or pasted; 0 means no limit.
    void setMaxLength(int maxLength) { m_maxLength = maxLength; }
    int maxLength() const { return m_maxLength; }
    /// Only the digits 0-9 can be typed or pasted.
    void setDigitsOnly(bool digitsOnly) { m_digitsOnly = digitsOnly; }
    bool digitsOnly() const { return m_digitsOnly; }
    void setForeColor(const QColor& color);
    QColor foreColor() const;
    QString tag() const { return m_tag; }
    void setTag(const QString& tag) { m_tag = tag; }
    /// When set, the whole text is selected whenever the box gets the focus (by a click too), so
    /// what is typed replaces it: for short fields that are always full, like a two-digit hour.
    void setSelectOnFocus(bool enabled) { m_selectOnFocus = enabled; }
    /// When set, Ctrl + wheel does not zoom the text box itself (the window zooms the font).
    void setOwnWheelZoom(bool enabled) { m_ownWheelZoom = enabled; }
    /// A one-pixel outline in this colour around the box, on whole device pixels at every scale; an
    /// invalid colour removes it.
    void setOutline(const QColor& color);
    QColor outlineColor() const { return m_outline; }
    /// For a one-line box: place the line so that the ink of sample (the characters the box is
    /// meant to hold) is centred vertically inside the box, on whole device pixels. The font's
    /// line box would leave CJK fonts' glyphs visibly low.
    void setInkCentred(const QString& sample);
    /// The placeholder text, shown once the box is enabled: a disabled box shows none.
    void setHint(const QString& hint);

    /// Modifier state as the bit set 1 Shift, 2 Ctrl, 4 Alt.
    static int shiftState(Qt::KeyboardModifiers modifiers);
    /// Key code of a key event in virtual-key terms: letters as upper-case codes, Enter 13.
    static int keyCode(const QKeyEvent* event);

signals:
    void Change();
    void KeyDown(int keyCode, int shift);
    void KeyUp(int keyCode, int shift);
    void MouseDown(int button, int shift, int x, int y);
    void MouseMove(int button, int shift, int x, int y);
    void GotFocus();
    void LostFocus();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;

private:
    int toCrLf(int qtPosition) const;
    int fromCrLf(int crLfPosition) const;
    QString filtered(const QString& incoming) const;
    void placeLineOnInk();
    void updateMargins();
    int plainLength() const;
    void followChange(int position, int removed, int added);
    void forgetKeptText() const;

    QString m_tag;
    bool m_multiLine = true;
    bool m_digitsOnly = false;
    bool m_ownWheelZoom = true;
    bool m_selectOnFocus = false;
    /// The placeholder text while the box is disabled, when it shows none.
    QString m_placeholderWhileDisabled;
    /// The press that brought the focus is still to place the caret: the selection comes after it.
    bool m_selectAfterPress = false;
    QColor m_outline;
    QString m_inkSample;
    int m_maxLength = 0;
    // text() as of the last change, once somebody asked for it: a long note's text is then taken
    // at each key for the cost of the key's own characters, not of the whole note.
    mutable QString m_keptText;
    mutable bool m_textKept = false;
};
