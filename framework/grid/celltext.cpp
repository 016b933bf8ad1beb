// The margins give way before the text does: an 11-digit amount in a 70-pixel column and a
// 10-character costing-sheet number in a 61-pixel column show whole.
#include "framework/grid/celltext.h"

#include <QFontInfo>

namespace grid {

CellText placeCellText(const QFontMetrics& fm, const QString& text, const QRect& cell,
                       Qt::Alignment align) {
    CellText out;
    const int width = fm.horizontalAdvance(text);
    if (width <= cell.width() - 2 * kCellMargin) {
        out.rect = cell.adjusted(kCellMargin, 0, -kCellMargin, 0);
        out.shown = text;
        return out;
    }
    if (width > cell.width()) {
        out.rect = cell;
        out.shown = fm.elidedText(text, Qt::ElideRight, cell.width());
        out.cut = true;
        return out;
    }
    // Whatever room is left beside the text keeps to the side it is aligned to.
    const int spare = cell.width() - width;
    const int margin = qMin(spare, kCellMargin);
    int left = cell.left() + margin;
    if (align & Qt::AlignRight)
        left = cell.left() + spare - margin;
    else if (align & Qt::AlignHCenter)
        left = cell.left() + spare / 2;
    out.rect = QRect(left, cell.top(), width, cell.height());
    out.shown = text;
    return out;
}

FittedCellText fitCellText(const QFont& font, const QFontMetrics& fm, const QString& text,
                           const QRect& cell, Qt::Alignment align) {
    FittedCellText out{placeCellText(fm, text, cell, align), font};
    if (!out.placed.cut)
        return out;
    const int pixels = QFontInfo(font).pixelSize();
    QFont smaller = font;
    for (int px = pixels - 1; px * 4 >= pixels * 3 && px > 0; --px) {
        smaller.setPixelSize(px);
        const CellText placed = placeCellText(QFontMetrics(smaller), text, cell, align);
        if (!placed.cut) {
            out.placed = placed;
            out.font = smaller;
            return out;
        }
    }
    return out;  // cut in the grid's own size, which reads best
}

}  // namespace grid
