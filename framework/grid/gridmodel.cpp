// Item model of the data-aware grid. Every read checks the row against the store as it
// is now: the dataset may be reopened while the grid is not listening (controls disabled).
#include "framework/grid/gridmodel.h"

#include "framework/db/dataset.h"
#include "framework/db/field.h"

namespace grid {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::reload(db::DataSet* dataSet, const std::vector<ColumnSpec>& columns) {
    beginResetModel();
    m_dataSet = dataSet;
    m_columns = columns;
    m_rows = (dataSet && dataSet->Active()) ? dataSet->store().rowCount() : 0;
    resolveFields();
    endResetModel();
}

void GridModel::refresh() {
    resolveFields();
    if (m_rows > 0 && !m_columns.empty())
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}

void GridModel::resolveFields() {
    m_fieldIndex.assign(m_columns.size(), -1);
    if (!m_dataSet || !m_dataSet->Active())
        return;
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        if (const db::Field* f = m_dataSet->FindField(m_columns[c].fieldName))
            m_fieldIndex[c] = f->Index();
    }
}

const db::Field* GridModel::fieldOf(int column) const {
    if (!m_dataSet || !m_dataSet->Active())
        return nullptr;
    if (column < 0 || column >= static_cast<int>(m_fieldIndex.size()))
        return nullptr;
    const int i = m_fieldIndex[static_cast<std::size_t>(column)];
    if (i < 0 || i >= m_dataSet->FieldCount())
        return nullptr;
    return m_dataSet->fieldAt(i);
}

Qt::Alignment GridModel::cellAlignment(int column) const {
    Align a = Align::FieldOwn;
    if (column >= 0 && column < static_cast<int>(m_columns.size()))
        a = m_columns[static_cast<std::size_t>(column)].align;
    switch (a) {
        case Align::Left:
            return Qt::AlignLeft | Qt::AlignVCenter;
        case Align::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::FieldOwn:
            break;
    }
    const db::Field* f = fieldOf(column);
    const bool number =
        f && (f->DataType() == db::FieldType::Integer || f->DataType() == db::FieldType::Float ||
              f->DataType() == db::FieldType::Currency);
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

QString GridModel::cellText(int row, int column) const {
    const db::Field* f = fieldOf(column);
    if (!f || row < 0 || row >= m_rows || row >= m_dataSet->store().rowCount())
        return QString();
    return f->DisplayTextAt(row);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    switch (role) {
        case Qt::DisplayRole:
            return cellText(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return cellAlignment(index.column()).toInt();
        default:
            return QVariant();
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The vertical header is the row indicator: it carries no text.
    if (orientation == Qt::Vertical)
        return QVariant();
    if (section < 0 || section >= static_cast<int>(m_columns.size()))
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<std::size_t>(section)].title;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter) | int(Qt::TextWordWrap);
    return QVariant();
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;  // viewing only
}

}  // namespace grid
