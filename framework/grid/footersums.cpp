// Footer totals in fixed point: adding 1/10000 integers keeps 0.1 + 0.2 exactly 0.3 and
// keeps long columns of small amounts from drifting, as money totals must.
#include "framework/grid/footersums.h"

#include "framework/db/field.h"

#include <cmath>

namespace grid {

namespace {

bool isNumeric(db::FieldType t) {
    return t == db::FieldType::Integer || t == db::FieldType::Float || t == db::FieldType::Currency;
}

// Rounds half away from zero to 1/10000; false when out of the 64-bit range.
bool toScaled4(double v, std::int64_t& out) {
    if (!std::isfinite(v))
        return false;
    const double scaled = std::round(v * 10000.0);
    if (std::fabs(scaled) >= 9.2e18)
        return false;
    out = static_cast<std::int64_t>(scaled);
    return true;
}

}  // namespace

bool FooterSums::cellValue(const db::RowStore& store, int row, int col, std::int64_t& out) {
    if (store.isNull(row, col))
        return false;
    const db::FieldType type = store.columns()[static_cast<std::size_t>(col)].type;
    if (isNumeric(type)) {
        out = store.scaled4(row, col);
        return true;
    }
    if (type == db::FieldType::String || type == db::FieldType::Memo) {
        // A number carried as text still sums; other text adds nothing.
        bool ok = false;
        const double v = store.string(row, col).trimmed().toDouble(&ok);
        return ok && toScaled4(v, out);
    }
    return false;  // dates do not sum
}

void FooterSums::compute(const db::RowStore& store, const std::vector<ColumnSpec>& columns) {
    clear(columns.size());
    m_rows = store.rowCount();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const int col = store.indexOf(columns[c].fieldName);
        m_fieldIndex[c] = col;
        if (col < 0 || columns[c].footer != FooterKind::Sum)
            continue;
        std::int64_t sum = 0;
        for (int r = 0; r < m_rows; ++r) {
            std::int64_t v = 0;
            std::int64_t next = 0;
            // An overflowing addition is left out rather than wrapping to a wrong sign.
            if (cellValue(store, r, col, v) && !__builtin_add_overflow(sum, v, &next))
                sum = next;
        }
        m_totals[c] = sum;
    }
}

void FooterSums::clear(std::size_t columnCount) {
    m_totals.assign(columnCount, 0);
    m_fieldIndex.assign(columnCount, -1);
    m_rows = 0;
}

std::int64_t FooterSums::total(int column) const {
    if (column < 0 || column >= static_cast<int>(m_totals.size()))
        return 0;
    return m_totals[static_cast<std::size_t>(column)];
}

bool FooterSums::hasField(int column) const {
    if (column < 0 || column >= static_cast<int>(m_fieldIndex.size()))
        return false;
    return m_fieldIndex[static_cast<std::size_t>(column)] >= 0;
}

QString FooterSums::text(int column, const ColumnSpec& def, db::FieldType type,
                         bool currencyOn) const {
    switch (def.footer) {
        case FooterKind::None:
            return QString();
        case FooterKind::Text:
            return def.footerText;
        case FooterKind::Sum:
            break;
    }
    if (m_rows == 0 || !hasField(column))
        return QStringLiteral("0");
    const std::int64_t t = total(column);
    if (type == db::FieldType::Currency && currencyOn)
        return db::formatCurrencyScaled4(t);
    return db::formatGeneralScaled4(t);
}

}  // namespace grid
