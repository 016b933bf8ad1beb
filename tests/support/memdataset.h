// An in-memory dataset for tests of bound controls: columns and rows given in the test,
// "fetched" at Open like a server result.
#pragma once

#include "framework/db/dataset.h"

#include <QVariant>
#include <initializer_list>
#include <vector>

namespace testsupport {

class MemDataSet : public db::DataSet {
public:
    explicit MemDataSet(std::vector<db::FieldDef> columns, QObject* parent = nullptr)
        : db::DataSet(parent), m_columns(std::move(columns)) {}

    // One value per column; a null QVariant is a NULL cell. Currency values are given as
    // doubles and stored in 1/10000 units.
    void addRow(std::vector<QVariant> values) { m_rows.push_back(std::move(values)); }
    void clearRows() { m_rows.clear(); }

protected:
    void fetchRows(db::RowStore& into) override {
        into.setColumns(m_columns);
        for (const auto& row : m_rows) {
            into.beginRow();
            for (std::size_t c = 0; c < m_columns.size(); ++c) {
                const QVariant v = c < row.size() ? row[c] : QVariant();
                if (v.isNull()) {
                    into.appendNull();
                    continue;
                }
                switch (m_columns[c].type) {
                case db::FieldType::Integer: into.appendInteger(v.toLongLong()); break;
                case db::FieldType::Float: into.appendFloat(v.toDouble()); break;
                case db::FieldType::Currency:
                    into.appendCurrency(static_cast<std::int64_t>(v.toDouble() * 10000.0 +
                                                                  (v.toDouble() < 0 ? -0.5 : 0.5)));
                    break;
                case db::FieldType::DateTime:
                    into.appendDateTime(db::naiveMsSinceEpoch(v.toDateTime()));
                    break;
                default: into.appendText(v.toString().toStdString()); break;
                }
            }
            into.endRow();
        }
    }

private:
    std::vector<db::FieldDef> m_columns;
    std::vector<std::vector<QVariant>> m_rows;
};

}  // namespace testsupport
