// Footer totals of a grid: one fixed-point total (1/10000 units, 128 bits) per summed
// column, taken over every row of a result at once, and the text each footer cell shows.
// Kept apart from the widget so the arithmetic is checked without a screen.
#pragma once

#include "framework/db/rowstore.h"
#include "framework/grid/dbgrid.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace grid {

class FooterSums {
public:
    // Sums each summed column's field over all rows of `store`. Empty cells add nothing, a
    // text that is a number adds it; every total is exact in 1/10000 units. A column holding
    // a value too large for a total, or a text that is no number, gets no total: its footer
    // shows kOverflowText or kNotNumberText and overflow() says why (the report refuses such
    // a column with the same reason).
    void compute(const db::RowStore& store, const std::vector<ColumnSpec>& columns);
    // Forgets all totals (closed dataset): every sum then reads "0".
    void clear(std::size_t columnCount);

    db::Scaled4 total(int column) const;  // 1/10000 units; 0 for unknown columns
    bool hasField(int column) const;      // the column's field was in the result
    // Why the column has no total ("" when it has one).
    QString overflow(int column) const;
    static const QString kOverflowText;
    static const QString kNotNumberText;
    int rowCount() const { return m_rows; }

    // The footer text of `column`: the fixed text, the formatted total, or "" without a
    // footer. A total shows as its field's cells do: in currency format only for a currency
    // field whose currency display is on, otherwise as a plain number; "0" over no rows.
    QString text(int column, const ColumnSpec& def, db::FieldType type, bool currencyOn) const;

    // One cell in 1/10000 units; false when it is empty or a date. EDatabaseError for a
    // number too large to be held in 1/10000 units or a text that is no number.
    static bool cellValue(const db::RowStore& store, int row, int col, db::Scaled4& out);

private:
    std::vector<db::Scaled4> m_totals;
    std::vector<QString> m_overflow;
    std::vector<bool> m_notNumber;  // the reason is a text that is no number
    std::vector<int> m_fieldIndex;  // store column per grid column; -1 when absent
    int m_rows = 0;
};

}  // namespace grid
