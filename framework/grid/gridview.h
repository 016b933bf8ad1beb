// The grid's table view: all columns scroll inside it, and a second view laid over its
// left edge shows the first N columns (in the current visual order) so they stay in view.
// Both views share one model and one selection model; widths and moves are kept in step.
#pragma once

#include <QTableView>
#include <functional>

namespace grid {

class RowIndicator;

class GridView : public QTableView {
public:
    explicit GridView(QWidget* parent = nullptr);
    ~GridView() override;

    void setModel(QAbstractItemModel* model) override;
    void setFrozenCount(int n);
    int frozenCount() const { return m_frozenCount; }
    QTableView* frozenView() const { return m_frozen; }
    RowIndicator* indicator() const { return m_indicator; }
    bool isFrozenColumn(int logicalColumn) const;
    int frozenWidth() const;  // width the overlay covers at the viewport's left edge
    void setRowSelect(bool on);
    // Title row height, row height and indicator width, applied to both views.
    void setMetrics(int headerHeight, int rowHeight, int indicatorWidth);

    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // Width that shows a column's widest text: every row's cell (not only the visible ones)
    // and what `extraWidth` adds (the footer's text); the title is the header's part.
    int sizeHintForColumn(int column) const override;
    void setExtraWidth(std::function<int(int column)> extraWidth) {
        m_extraWidth = std::move(extraWidth);
    }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    void syncFrozenColumns();  // the overlay shows exactly the first N visual columns
    void updateFrozenGeometry();

    QTableView* m_frozen;
    RowIndicator* m_indicator;
    int m_frozenCount = 0;
    bool m_syncing = false;  // a header change being copied to the other view
    std::function<int(int)> m_extraWidth;
};

}  // namespace grid
