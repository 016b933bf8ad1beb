// Row indicator of the grid. The marker is drawn as a polygon rather than a glyph so it
// shows whatever fonts are installed.
#include "framework/grid/rowindicator.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPolygonF>

namespace grid {

RowIndicator::RowIndicator(QAbstractItemView* view)
    : QHeaderView(Qt::Vertical, view), m_view(view) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize RowIndicator::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    s.setWidth(m_width);
    return s;
}

void RowIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    // The style may leave a clip behind after drawing the section: keep it to itself.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (m_view->currentIndex().row() != logicalIndex)
        return;
    const qreal h = qMin<qreal>(rect.height() - 4, rect.width() - 2);
    if (h <= 0)
        return;
    const QPointF c = QRectF(rect).center();
    const QPolygonF arrow{QPointF(c.x() - h / 4, c.y() - h / 2), QPointF(c.x() + h / 4, c.y()),
                          QPointF(c.x() - h / 4, c.y() + h / 2)};
    painter->save();
    painter->setClipRect(rect);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPolygon(arrow);
    painter->restore();
}

}  // namespace grid
