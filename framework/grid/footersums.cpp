// Footer totals in fixed point: adding 1/10000 integers keeps 0.1 + 0.2 exactly 0.3 and
// keeps long columns of small amounts from drifting, as money totals must. The 128-bit
// totals cannot overflow for money; only absurd floats can leave their range, and such a
// column shows that it has no total rather than a wrong one.
#include "framework/grid/footersums.h"

#include "framework/db/field.h"
#include "framework/text/errors.h"

namespace grid {

namespace {}  // namespace

const QString FooterSums::kOverflowText = QStringLiteral("溢出");
const QString FooterSums::kNotNumberText = QStringLiteral("非数值");

bool FooterSums::cellValue(const db::RowStore& store, int row, int col, db::Scaled4& out) {
    if (store.isNull(row, col))
        return false;
    const db::FieldType type = store.columns()[static_cast<std::size_t>(col)].type;
    if (type == db::FieldType::DateTime)
        return false;               // dates do not sum
    out = store.scaled4(row, col);  // a text that is no number: EDatabaseError
    return true;
}

void FooterSums::compute(const db::RowStore& store, const std::vector<ColumnSpec>& columns) {
    clear(columns.size());
    m_rows = store.rowCount();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const int col = store.indexOf(columns[c].fieldName);
        m_fieldIndex[c] = col;
        if (col < 0 || columns[c].footer != FooterKind::Sum)
            continue;
        if (const std::optional<db::Scaled4> whole = store.columnSum(col)) {
            m_totals[c] = *whole;
            continue;
        }
        db::Scaled4 sum = 0;
        try {
            for (int r = 0; r < m_rows; ++r) {
                db::Scaled4 v = 0;
                if (!cellValue(store, r, col, v))
                    continue;
                const std::optional<db::Scaled4> next = db::addScaled4(sum, v);
                if (!next)
                    throw EDatabaseError(
                        QStringLiteral("Field '%1': the total is too large to be held")
                            .arg(store.columns()[static_cast<std::size_t>(col)].name));
                sum = *next;
            }
        } catch (const EDatabaseError& e) {
            m_overflow[c] = e.message();
            m_notNumber[c] = e.message().endsWith(QLatin1String("is not a number"));
            sum = 0;
        }
        m_totals[c] = sum;
    }
}

void FooterSums::clear(std::size_t columnCount) {
    m_totals.assign(columnCount, 0);
    m_overflow.assign(columnCount, QString());
    m_notNumber.assign(columnCount, false);
    m_fieldIndex.assign(columnCount, -1);
    m_rows = 0;
}

db::Scaled4 FooterSums::total(int column) const {
    if (column < 0 || column >= static_cast<int>(m_totals.size()))
        return 0;
    return m_totals[static_cast<std::size_t>(column)];
}

QString FooterSums::overflow(int column) const {
    if (column < 0 || column >= static_cast<int>(m_overflow.size()))
        return QString();
    return m_overflow[static_cast<std::size_t>(column)];
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
    if (!overflow(column).isEmpty())
        return m_notNumber[static_cast<std::size_t>(column)] ? kNotNumberText : kOverflowText;
    const db::Scaled4 t = total(column);
    if (type == db::FieldType::Currency && currencyOn)
        return db::formatCurrencyScaled4(t);
    return db::formatGeneralScaled4(t);
}

}  // namespace grid
