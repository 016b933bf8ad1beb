// Cell painting of the grid: background and selection from the style, text by the grid.
#include "framework/grid/celldelegate.h"

#include "framework/grid/celltext.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace grid {

namespace {

Qt::Alignment alignmentOf(const QModelIndex& index) {
    const QVariant a = index.data(Qt::TextAlignmentRole);
    return a.isValid() ? Qt::Alignment::fromInt(a.toInt()) : (Qt::AlignLeft | Qt::AlignVCenter);
}

}  // namespace

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    opt.state &= ~QStyle::State_HasFocus;  // the row indicator marks the current row
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const Qt::Alignment align = alignmentOf(index);
    const FittedCellText fitted = fitCellText(opt.font, opt.fontMetrics, text, opt.rect, align);
    const CellText& placed = fitted.placed;
    painter->save();
    painter->setFont(fitted.font);
    const QPalette::ColorGroup group =
        (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    painter->setPen(opt.palette.color(
        group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(placed.rect, int(align) | Qt::TextSingleLine, placed.shown);
    painter->restore();
}

QString CellDelegate::toolTipText(const QStyleOptionViewItem& option, const QModelIndex& index) {
    const QString text = index.data(Qt::DisplayRole).toString();
    return fitCellText(option.font, option.fontMetrics, text, option.rect, alignmentOf(index))
                   .placed.cut
               ? text
               : QString();
}

bool CellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                             const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString tip = toolTipText(option, index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), tip, view);
    return true;
}

}  // namespace grid
