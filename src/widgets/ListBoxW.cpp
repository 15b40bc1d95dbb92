// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ListBoxW.h"

#include "widgets/TextBoxW.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace {
// The view keeps a current entry for the keyboard even when nothing is selected (the first entry
// once the list has the focus). Drawn with the focus look it passes for a selection, and the remove
// button and Ctrl+W then seem to refuse it; only a selected entry shows the focus.
class EntryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!(option->state & QStyle::State_Selected))
            option->state &= ~QStyle::State_HasFocus;
    }
};
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
            QString shown = items.at(index.row());
            shown.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
            shown.replace(u'\r', u' ');
            shown.replace(u'\n', u' ');
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
    if (index < 0 || index >= m_model->items.size())
        return;
    m_model->set(index, text);
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
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
        viewport()->update(visualRect(m_model->index(row)));
}
