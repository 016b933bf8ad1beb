// Where a cell's or footer's text goes and what of it shows: the grid's own rule, shared by
// the cells and the footer. Text keeps a 2-pixel margin from the cell's edges; a text too
// wide for that but no wider than the cell gives up the margins; a text wider than the
// cell is drawn a pixel smaller at a time, down to three quarters of the grid's size; only
// one too wide even then is cut with an ellipsis (and then shows whole as a tool tip).
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

namespace grid {

inline constexpr int kCellMargin = 2;

struct CellText {
    QRect rect;     // where the text is drawn
    QString shown;  // the text, or its elided form
    bool cut = false;
};

// `cell` excludes the grid line; `align` is the text's horizontal alignment.
CellText placeCellText(const QFontMetrics& fm, const QString& text, const QRect& cell,
                       Qt::Alignment align);

struct FittedCellText {
    CellText placed;
    QFont font;  // the grid's font, or the smaller one the text fits in
};

// As placeCellText in `font`, trying smaller sizes before the text is cut: a large
// company's total (111883809.12 in a 70-pixel column) shows whole.
// `fm` are the metrics of `font`, which the caller usually has at hand.
FittedCellText fitCellText(const QFont& font, const QFontMetrics& fm, const QString& text,
                           const QRect& cell, Qt::Alignment align);

}  // namespace grid
