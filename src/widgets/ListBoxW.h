// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGlyphRun>
#include <QHash>
#include <QListView>
#include <QStaticText>
#include <QStringList>

#include <array>
#include <optional>

class ListBoxModel;

/// The Unicode list box: entries by index, one selection, DblClick on a double-click. Entries keep
/// their text exactly (titles may hold line breaks); only the drawing folds breaks into spaces.
class ListBoxW : public QListView
{
    Q_OBJECT

public:
    explicit ListBoxW(QWidget* parent = nullptr);

    void AddItem(const QString& item);
    /// Appends many entries at once (a search filling the hit list).
    void AddItems(const QStringList& items);
    void RemoveItem(int index);
    void Clear();
    QString List(int index) const;
    /// Changes an entry's text; only the part of the row that looks different is drawn again.
    void setList(int index, const QString& text);
    int ListCount() const;
    /// Selected entry, -1 when none. Setting it from code raises no handler of the host.
    int ListIndex() const;
    void setListIndex(int index);
    QStringList items() const;
    /// The width of text from the glyphs' own advances, without laying it out: exact for digits, signs
    /// and Chinese characters, within kerning for Latin, Greek and Cyrillic letters (lettersToo); -1
    /// for text it cannot measure so.
    qreal plainAdvance(QStringView text, bool lettersToo) const;
    /// The characters [from, to) of an entry drawn in area that fall in the part of the viewport being
    /// drawn, offset pixels after the text's start; an empty range when the text is drawn whole.
    struct DrawnPart
    {
        qsizetype from = 0;
        qsizetype to = 0;
        qreal offset = 0;
    };
    DrawnPart drawnPart(const QString& text, const QRect& area) const;
    /// Draws part (characters of an entry) from place's left edge, its line centred in place as
    /// drawText with AlignVCenter centres it. A countdown draws the same few digits again and again:
    /// each part is laid out once. context is the letter whose script the entry gives the part's
    /// digits and signs (QChar() when none, nothing when unknown); a part of such characters is drawn
    /// one by one, from glyphs laid out once each.
    void drawPart(QPainter* painter, const QRectF& place, const QString& part,
                  std::optional<QChar> context) const;

signals:
    void DblClick();
    void MouseMove(int button, int shift, int x, int y);
    /// Return, Enter, Space or Delete on the list (key code as TextBoxW::keyCode: Return 13, Space 32,
    /// Delete 46): the host decides what they do; the view itself does nothing with them.
    void KeyDown(int keyCode, int shift);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    /// Where a change of an entry's text shows in the viewport: the changed characters when the rest
    /// keeps its place, else the whole row.
    QRect changedSpan(const QModelIndex& index, const QString& before, const QString& after) const;
    struct Glyph
    {
        qreal advance = 0;
        qreal leftBearing = 0;
        qreal rightBearing = 0;
        bool measured = false;
    };
    /// A character's measures in the list's font.
    const Glyph& glyph(QChar c) const;
    /// A character's glyphs as its entry draws it, by the character and the letter whose script it
    /// takes there.
    const QList<QGlyphRun>& characterGlyphs(QChar c, QChar context) const;
    /// The rectangle of an entry in the viewport, as visualRect gives it.
    QRect rowRect(int row) const;
    /// One character's advance as plainAdvance gives it.
    qreal charAdvance(QChar c, bool lettersToo) const;
    /// The width of text as drawn in the list's font.
    qreal advance(QStringView text) const;
    /// Pixels from a row's left edge to its text.
    int textInset() const;

    ListBoxModel* m_model;
    mutable int m_textInset = -1;
    /// The characters measured so far, in the list's font: ASCII by code, the others by hash.
    mutable std::array<Glyph, 0x80> m_asciiGlyphs;
    mutable QHash<char16_t, Glyph> m_glyphs;
    /// Parts drawn lately, laid out, in the list's font.
    mutable QHash<QString, QStaticText> m_parts;
    /// Characters laid out so far, by the character and its script's letter (characterGlyphs).
    mutable QHash<quint32, QList<QGlyphRun>> m_characters;
    /// The height of a line in the list's font, once asked for; -1 until then.
    mutable qreal m_lineHeight = -1;
    /// The first entry's rectangle in the viewport scrolled to its start, for a viewport of this size.
    mutable QRect m_firstRow;
    mutable QSize m_firstRowViewport;
    /// Draws only the changed parts of the rows in m_changedRows when that is all the paint asks
    /// for and they look plain; false when the view must paint.
    bool paintChangedParts();

    /// The part of the viewport being drawn, during a paint event.
    QRegion m_painting;
    /// Rows whose changed characters alone were asked to be drawn since the last paint.
    QList<int> m_changedRows;
    int m_changedRow = -1;
    QRect m_changedSpan;
};
