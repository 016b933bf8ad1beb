// Paints the grid's cells: the item background of the style, then the text placed by the
// grid's own rule (celltext.h) instead of the style's wider margins. A cut text shows whole
// as the cell's tool tip.
#pragma once

#include <QStyledItemDelegate>

namespace grid {

class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // The text a tool tip at `index` shows: the whole text when the cell cuts it, else "".
    static QString toolTipText(const QStyleOptionViewItem& option, const QModelIndex& index);
};

}  // namespace grid
