// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ListBoxW.h"

#include "widgets/TextBoxW.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <algorithm>
#include <optional>

namespace {
/// The letter whose script the digits and signs at from take when text is laid out: the nearest
/// letter of a script before them, else the first after; QChar() when text has none, and nothing
/// when a character outside the basic plane stands in the way.
std::optional<QChar> scriptContext(const QString& text, qsizetype from)
{
    const auto strong = [](QChar c) { return c.script() > QChar::Script_Common; };
    for (qsizetype i = from - 1; i >= 0; --i) {
        if (text.at(i).isSurrogate())
            return std::nullopt;
        if (strong(text.at(i)))
            return text.at(i);
    }
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i).isSurrogate())
            return std::nullopt;
        if (strong(text.at(i)))
            return text.at(i);
    }
    return QChar();
}

/// Pixels an entry's estimated width must stay below its room to be drawn without eliding it.
constexpr qreal kElideSlack = 8;

// The view keeps a current entry for the keyboard even when nothing is selected (the first entry
// once the list has the focus). Drawn with the focus look it passes for a selection, and the remove
// button and Ctrl+W then seem to refuse it; only a selected entry shows the focus.
class EntryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QWidget* view = item.widget;
        QStyle* style = view ? view->style() : QApplication::style();
        // The style lays the text out twice to place it beside an icon the entries never have, and
        // once more to draw it. The row's background, selection and focus are the style's; the
        // text is drawn here, laid out once: a countdown draws its five entries every second.
        const QString text = item.text;
        item.text.clear();
        item.features &= ~QStyleOptionViewItem::HasDisplay;
        // A row that is neither selected, pointed at nor focused has no background of its own: the
        // viewport's is already there.
        const bool bare =
            !(item.state & (QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus)) &&
            item.backgroundBrush.style() == Qt::NoBrush && !(item.features & QStyleOptionViewItem::Alternate);
        if (!bare)
            style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

        QPalette::ColorGroup group =
            (item.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !(item.state & QStyle::State_Active))
            group = QPalette::Inactive;
        const QPalette::ColorRole role =
            (item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QRect area = item.rect.adjusted(margin, 0, -margin, 0);
        // Only an entry that may not fit is measured as laid out; kerning moves letters a pixel or
        // two, well within the slack.
        const auto* list = qobject_cast<const ListBoxW*>(view);
        const qreal estimate = list && item.font == list->font() ? list->plainAdvance(text, true) : -1;
        const QString shown =
            estimate >= 0 && estimate < area.width() - kElideSlack
                ? text
                : QFontMetricsF(item.font).elidedText(text, item.textElideMode, area.width());
        painter->save();
        painter->setFont(item.font);
        painter->setPen(item.palette.color(group, role));
        const Qt::Alignment alignment = item.displayAlignment;
        const ListBoxW::DrawnPart part = list && shown == text && (alignment & Qt::AlignLeft)
                                             ? list->drawnPart(text, area)
                                             : ListBoxW::DrawnPart{};
        if (part.to > part.from) {
            // Only the characters in the part of the row being drawn (a countdown's digits), at the
            // places the whole text gives them.
            QRectF place(area);
            place.setLeft(area.left() + part.offset);
            if ((alignment & Qt::AlignVertical_Mask) == Qt::AlignVCenter && item.font == list->font())
                list->drawPart(painter, place, text.sliced(part.from, part.to - part.from),
                               scriptContext(text, part.from));
            else
                painter->drawText(place, int(alignment) | Qt::TextSingleLine,
                                  text.sliced(part.from, part.to - part.from));
        } else {
            painter->drawText(area, int(alignment) | Qt::TextSingleLine, shown);
        }
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!(option->state & QStyle::State_Selected))
            option->state &= ~QStyle::State_HasFocus;
    }
};

/// An entry as drawn: line breaks folded into spaces.
QString shownText(QString entry)
{
    // Every countdown entry is folded every second; nearly none holds a break.
    if (!entry.contains(u'\n') && !entry.contains(u'\r'))
        return entry;
    entry.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    entry.replace(u'\r', u' ');
    entry.replace(u'\n', u' ');
    return entry;
}
} // namespace

class ListBoxModel : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(items.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= items.size())
            return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            const QString shown = shownText(items.at(index.row()));
            if (role == Qt::DisplayRole)
                return shown;
            // A tooltip that looks like markup is read as markup; an entry is the user's text and is
            // shown as typed, so it goes in escaped and marked as rich text.
            return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(shown.toHtmlEscaped());
        }
        return {};
    }

    void append(const QStringList& more)
    {
        const int row = int(items.size());
        beginInsertRows(QModelIndex(), row, row + int(more.size()) - 1);
        items.append(more);
        endInsertRows();
    }

    void removeAt(int row)
    {
        beginRemoveRows(QModelIndex(), row, row);
        items.removeAt(row);
        endRemoveRows();
    }

    void clear()
    {
        beginResetModel();
        items.clear();
        endResetModel();
    }

    void set(int row, const QString& text)
    {
        items[row] = text;
        const QModelIndex i = index(row);
        emit dataChanged(i, i);
    }

    QStringList items;
};

ListBoxW::ListBoxW(QWidget* parent) : QListView(parent), m_model(new ListBoxModel(this))
{
    setModel(m_model);
    setItemDelegate(new EntryDelegate(this));
    // A row asked to be drawn in part may be another row once the list changes.
    const auto forgetChangedRows = [this] { m_changedRows.clear(); };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, forgetChangedRows);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, forgetChangedRows);
    connect(m_model, &QAbstractItemModel::modelReset, this, forgetChangedRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ListBoxW::AddItem(const QString& item)
{
    m_model->append({item});
}

void ListBoxW::AddItems(const QStringList& items)
{
    if (items.isEmpty())
        return;
    m_model->append(items);
}

void ListBoxW::RemoveItem(int index)
{
    if (index < 0 || index >= m_model->items.size())
        return;
    m_model->removeAt(index);
}

void ListBoxW::Clear()
{
    m_model->clear();
}

QString ListBoxW::List(int index) const
{
    return index >= 0 && index < m_model->items.size() ? m_model->items.at(index) : QString();
}

void ListBoxW::setList(int index, const QString& text)
{
    if (index < 0 || index >= m_model->items.size() || m_model->items.at(index) == text)
        return;
    m_changedRow = index;
    m_changedSpan = changedSpan(m_model->index(index), shownText(m_model->items.at(index)), shownText(text));
    m_model->set(index, text);
    m_changedRow = -1;
}

QRect ListBoxW::changedSpan(const QModelIndex& index, const QString& before, const QString& after) const
{
    const QRect row = rowRect(index.row());
    // Text that runs right to left is laid out as a whole: its changed characters are not where
    // their place in the text says.
    if (!row.isValid() || before.isRightToLeft() || after.isRightToLeft())
        return row;
    qsizetype head = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (head < shorter && before.at(head) == after.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && before.at(before.size() - 1 - tail) == after.at(after.size() - 1 - tail))
        ++tail;
    // Digits and signs beside digits and signs stand alone; anything else takes one unchanged
    // character on each side: whole surrogate pairs, and the letter a change may join or kern with.
    const auto alone = [this](QStringView text) { return plainAdvance(text, false) >= 0; };
    const auto edges = [](const QString& text, qsizetype from, qsizetype to) {
        return QStringView(text).sliced(std::max<qsizetype>(0, from - 1),
                                        std::min(text.size(), to + 1) - std::max<qsizetype>(0, from - 1));
    };
    if (!alone(edges(before, head, before.size() - tail)) ||
        !alone(edges(after, head, after.size() - tail))) {
        head = std::max<qsizetype>(0, head - 1);
        tail = std::max<qsizetype>(0, tail - 1);
    }
    const QStringView spanBefore = QStringView(before).sliced(head, before.size() - head - tail);
    const QStringView spanAfter = QStringView(after).sliced(head, after.size() - head - tail);

    const qreal widthBefore = advance(spanBefore);
    const qreal widthAfter = advance(spanAfter);
    // What follows the change keeps its place only when both spans are equally wide.
    if (spanBefore.isEmpty() || spanAfter.isEmpty() || widthBefore != widthAfter)
        return row;
    const qreal left = textInset() + advance(QStringView(after).first(head));
    // An elided entry keeps the same end as long as the change lies well before it.
    const qreal room = row.width() - textInset() - glyph(QChar(0x2026)).advance;
    if (left + widthAfter > room)
        return row;
    // Glyphs reach past their advance by their bearings; a pixel more for rounding and anti-aliasing.
    const auto overhang = [](qreal bearing) { return std::max<qreal>(0, -bearing) + 2; };
    const qreal reachLeft = std::max(overhang(glyph(spanBefore.front()).leftBearing),
                                     overhang(glyph(spanAfter.front()).leftBearing));
    const qreal reachRight = std::max(overhang(glyph(spanBefore.back()).rightBearing),
                                      overhang(glyph(spanAfter.back()).rightBearing));
    const QRectF span(row.left() + left - reachLeft, row.top(), widthAfter + reachLeft + reachRight,
                      row.height());
    return span.toAlignedRect().intersected(row);
}

qreal ListBoxW::charAdvance(QChar c, bool lettersToo) const
{
    // Digits, signs and Chinese characters are drawn at their own advances, one after the other:
    // summing them needs no shaping, which is most of the cost of a countdown's second. Letters of
    // the Latin, Greek and Cyrillic alphabets only kern, by a pixel or two; other scripts join or
    // reorder.
    const char16_t u = c.unicode();
    const bool plain = (u >= 0x20 && u < 0x7F && (lettersToo || !c.isLetter())) ||
                       (lettersToo && u >= 0xA0 && u < 0x0530 && !c.isMark()) ||
                       (u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) ||
                       (u >= 0xFF01 && u <= 0xFF5E);
    return plain ? glyph(c).advance : -1;
}

const ListBoxW::Glyph& ListBoxW::glyph(QChar c) const
{
    // A countdown's second measures a few dozen characters, most of them ASCII digits and signs.
    const char16_t u = c.unicode();
    Glyph* known = nullptr;
    if (u < m_asciiGlyphs.size()) {
        known = &m_asciiGlyphs[u];
        if (known->measured)
            return *known;
    } else if (const auto it = m_glyphs.constFind(u); it != m_glyphs.cend()) {
        return *it;
    }
    const QFontMetricsF metrics(font());
    const Glyph measured{metrics.horizontalAdvance(c), metrics.leftBearing(c), metrics.rightBearing(c), true};
    if (known) {
        *known = measured;
        return *known;
    }
    return *m_glyphs.insert(u, measured);
}

QRect ListBoxW::rowRect(int row) const
{
    // Every entry is as high as the first and lies below the one before it; asking the view lays out
    // a style option for each, a tenth of a countdown's second.
    const QSize viewportSize = viewport()->size();
    if (m_firstRow.isEmpty() || m_firstRowViewport != viewportSize) {
        m_firstRow = visualRect(m_model->index(0)).translated(horizontalOffset(), verticalOffset());
        m_firstRowViewport = viewportSize;
        if (m_firstRow.isEmpty())
            return visualRect(m_model->index(row));
    }
    return m_firstRow.translated(-horizontalOffset(), row * m_firstRow.height() - verticalOffset());
}

qreal ListBoxW::plainAdvance(QStringView text, bool lettersToo) const
{
    qreal sum = 0;
    for (const QChar c : text) {
        const qreal advance = charAdvance(c, lettersToo);
        if (advance < 0)
            return -1;
        sum += advance;
    }
    return sum;
}

ListBoxW::DrawnPart ListBoxW::drawnPart(const QString& text, const QRect& area) const
{
    // Glyphs reach past their advances by a few pixels at most.
    constexpr qreal reach = 3;
    const QRect drawn = (m_painting & area).boundingRect();
    if (drawn.isEmpty() || drawn.left() <= area.left() || text.isRightToLeft())
        return {};
    const qreal left = drawn.left() - area.left() - reach;
    const qreal right = drawn.right() + 1 - area.left() + reach;
    // The characters before the part are placed by their advances alone: no letters among them.
    qsizetype first = 0;
    qreal offset = 0;
    qreal previous = 0;
    for (; first < text.size(); ++first) {
        const qreal advance = charAdvance(text.at(first), false);
        if (advance < 0)
            return {};
        if (offset + advance > left)
            break;
        previous = offset;
        offset += advance;
    }
    // One character more on each side, for what a neighbour's glyph reaches into the part.
    const qsizetype from = std::max<qsizetype>(0, first - 1);
    const qreal start = first > 0 ? previous : 0;
    qsizetype to = first;
    for (qreal place = offset; to < text.size() && place < right; ++to) {
        const qreal advance = charAdvance(text.at(to), true);
        if (advance < 0)
            return {from, text.size(), start};
        place += advance;
    }
    to = std::min(text.size(), to + 1);
    while (to < text.size() && (text.at(to).isLowSurrogate() || text.at(to).isMark()))
        ++to;
    return {from, to, start};
}

const QList<QGlyphRun>& ListBoxW::characterGlyphs(QChar c, QChar context) const
{
    const quint32 key = quint32(c.unicode()) << 16 | context.unicode();
    auto it = m_characters.find(key);
    if (it == m_characters.end()) {
        // A few dozen in a countdown's list; other lists pass through.
        constexpr qsizetype kMostCharacters = 512;
        if (m_characters.size() >= kMostCharacters)
            m_characters.clear();
        // Laid out beside the letter, a digit gets the face its row gives it: a face may hint the
        // same digit differently for Latin and for Chinese text.
        QTextLayout layout(context.isNull() || context == c ? QString(c) : QString(c) + context, font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        it = m_characters.insert(key, layout.glyphRuns(0, 1));
    }
    return *it;
}

void ListBoxW::drawPart(QPainter* painter, const QRectF& place, const QString& part,
                        std::optional<QChar> context) const
{
    if (m_lineHeight < 0)
        m_lineHeight = QFontMetricsF(font()).height();
    const qreal top = place.top() + (place.height() - m_lineHeight) / 2;
    // A second's part is its digit and the neighbours it may reach into: sixty new parts in a
    // countdown's first minute, each shaped once, where a dozen characters are laid out once for
    // good. Digits and signs sit at their advances, so one by one they draw as the row does; the
    // last character, the neighbour after, may be a letter of its own.
    const auto common = [this](QChar c) {
        return c.script() == QChar::Script_Common && charAdvance(c, false) >= 0;
    };
    const bool oneByOne = context && !part.isEmpty() && std::all_of(part.cbegin(), part.cend() - 1, common) &&
                          (common(part.back()) || charAdvance(part.back(), true) >= 0);
    if (oneByOne) {
        qreal x = place.left();
        for (const QChar c : part) {
            const bool letter = c.script() > QChar::Script_Common;
            for (const QGlyphRun& run : characterGlyphs(c, letter ? c : *context))
                painter->drawGlyphRun(QPointF(x, top), run);
            x += glyph(c).advance;
        }
        return;
    }
    // Other parts are a few hundred at most; anything else passes through.
    constexpr qsizetype kMostParts = 512;
    auto it = m_parts.find(part);
    if (it == m_parts.end()) {
        if (m_parts.size() >= kMostParts)
            m_parts.clear();
        QStaticText laidOut(part);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        it = m_parts.insert(part, laidOut);
    }
    painter->drawStaticText(QPointF(place.left(), top), *it);
}

void ListBoxW::paintEvent(QPaintEvent* event)
{
    m_painting = event->region();
    if (!paintChangedParts())
        QListView::paintEvent(event);
    m_painting = QRegion();
    m_changedRows.clear();
}

bool ListBoxW::paintChangedParts()
{
    // A countdown's second asks for its changed digits alone. The view's own paint would build a
    // style option and ask the model for every role of each row, to draw the same few glyphs the
    // delegate draws here for a plain row: no selection, pointer or focus look, nothing else asked.
    if (m_changedRows.isEmpty() || !isEnabled() || alternatingRowColors() || viewport()->underMouse() ||
        state() != NoState)
        return false;
    QRegion rows;
    for (int row : std::as_const(m_changedRows))
        rows |= rowRect(row);
    if (!(m_painting - rows).isEmpty())
        return false;
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    struct Part
    {
        QRectF place;
        QString text;
        std::optional<QChar> context;
    };
    QList<Part> parts;
    for (int row : std::as_const(m_changedRows)) {
        if (row >= m_model->items.size())
            return false;
        const QModelIndex index = m_model->index(row);
        if (selectionModel()->isSelected(index))
            return false;
        const QRect area = rowRect(row).adjusted(margin, 0, -margin, 0);
        const QString text = shownText(m_model->items.at(row));
        const qreal estimate = plainAdvance(text, true);
        const DrawnPart part = drawnPart(text, area);
        if (estimate < 0 || estimate >= area.width() - kElideSlack || part.to <= part.from)
            return false;
        QRectF place(area);
        place.setLeft(area.left() + part.offset);
        parts.append({place, text.sliced(part.from, part.to - part.from), scriptContext(text, part.from)});
    }
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    painter.setPen(palette().color(group, QPalette::Text));
    for (const Part& part : std::as_const(parts))
        drawPart(&painter, part.place, part.text, part.context);
    return true;
}

qreal ListBoxW::advance(QStringView text) const
{
    const qreal plain = plainAdvance(text, false);
    return plain >= 0 ? plain : QFontMetricsF(font()).horizontalAdvance(text.toString());
}

int ListBoxW::textInset() const
{
    // Where the delegate starts an entry's text within its row: the same for every entry.
    if (m_textInset < 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = QRect(0, 0, std::max(1, viewport()->width()), std::max(1, sizeHintForRow(0)));
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = QStringLiteral("0");
        const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
        m_textInset = text.left() + style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    }
    return m_textInset;
}

void ListBoxW::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_textInset = -1;
        m_glyphs.clear();
        m_asciiGlyphs.fill(Glyph{});
        m_parts.clear();
        m_characters.clear();
        m_lineHeight = -1;
        m_firstRow = QRect();
    }
    QListView::changeEvent(event);
}

int ListBoxW::ListCount() const
{
    return int(m_model->items.size());
}

int ListBoxW::ListIndex() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void ListBoxW::setListIndex(int index)
{
    if (index < 0 || index >= m_model->items.size()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex i = m_model->index(index);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
}

QStringList ListBoxW::items() const
{
    return m_model->items;
}

void ListBoxW::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit DblClick();
}

void ListBoxW::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    int button = 0;
    if (event->buttons() & Qt::LeftButton)
        button |= 1;
    if (event->buttons() & Qt::RightButton)
        button |= 2;
    emit MouseMove(button, TextBoxW::shiftState(event->modifiers()), p.x(), p.y());
    QListView::mouseMoveEvent(event);
}

void ListBoxW::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Delete:
        emit KeyDown(TextBoxW::keyCode(event), TextBoxW::shiftState(event->modifiers()));
        event->accept();
        return;
    case Qt::Key_Z:
        // Ctrl+Z is the window's undo of a removal, not a letter for the view's keyboard search.
        if (event->modifiers() == Qt::ControlModifier) {
            emit KeyDown(TextBoxW::keyCode(event), TextBoxW::shiftState(event->modifiers()));
            event->accept();
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // With nothing selected the first arrow selects the entry the view keeps as current (the
        // first one) rather than stepping past it.
        if (ListIndex() < 0 && ListCount() > 0) {
            const QModelIndex current = currentIndex();
            setListIndex(current.isValid() ? current.row() : 0);
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QListView::keyPressEvent(event);
}

void ListBoxW::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles)
{
    // Only the text of entries changes here, once a second for every countdown. The view's own
    // handling would tell assistive technology each time, and a screen reader would read the
    // list out every second; the entries' texts are read when asked for, so a repaint is all it takes.
    Q_UNUSED(roles);
    // A countdown changes a few digits of its entry: only they are drawn again, which is also all
    // the window system is sent.
    if (topLeft.row() == m_changedRow && bottomRight.row() == m_changedRow) {
        viewport()->update(m_changedSpan);
        if (!m_changedRows.contains(m_changedRow))
            m_changedRows.append(m_changedRow);
        return;
    }
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
        viewport()->update(visualRect(m_model->index(row)));
}
