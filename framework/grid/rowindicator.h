// The grid's row indicator: a narrow vertical header without numbers that marks the
// view's current row with a small right-pointing triangle.
#pragma once

#include <QHeaderView>

class QAbstractItemView;

namespace grid {

class RowIndicator : public QHeaderView {
public:
    explicit RowIndicator(QAbstractItemView* view);
    void setIndicatorWidth(int width) {
        m_width = width;
        updateGeometry();
    }
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QAbstractItemView* m_view;
    int m_width = 12;
};

}  // namespace grid
