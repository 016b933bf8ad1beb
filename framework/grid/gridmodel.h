// The grid's item model: reads an open dataset's rows in place (its RowStore and Fields,
// by index) for the configured columns. Holds no copy of the data and nothing per row;
// the row count is fixed between resets so views never see rows change under them.
#pragma once

#include "framework/grid/dbgrid.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <vector>

namespace db {
class DataSet;
class Field;
}  // namespace db

namespace grid {

class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(QObject* parent = nullptr);

    // Starts over with `dataSet` (nullptr or closed: no rows) and the given columns.
    void reload(db::DataSet* dataSet, const std::vector<ColumnSpec>& columns);
    // Same rows, possibly new Field objects or values: looks the fields up again and
    // repaints every cell.
    void refresh();

    db::DataSet* dataSet() const { return m_dataSet; }
    const db::Field* fieldOf(int column) const;  // nullptr when missing or closed
    Qt::Alignment cellAlignment(int column) const;
    QString cellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void resolveFields();

    QPointer<db::DataSet> m_dataSet;
    std::vector<ColumnSpec> m_columns;
    std::vector<int> m_fieldIndex;  // dataset field per column; -1 when missing
    int m_rows = 0;
};

}  // namespace grid
