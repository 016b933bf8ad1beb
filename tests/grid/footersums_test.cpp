// Footer totals: fixed-point sums over a result's rows and the text each footer shows.
#include "framework/grid/footersums.h"

#include "framework/db/field.h"

#include <gtest/gtest.h>

#include <QVariant>
#include <vector>

namespace {

using grid::ColumnSpec;
using grid::FooterKind;
using grid::FooterSums;

// One column of the given type filled with `values` (a null QVariant is an empty cell).
db::RowStore oneColumn(db::FieldType type, const std::vector<QVariant>& values) {
    db::RowStore store;
    store.setColumns({db::FieldDef{QStringLiteral("Amount"), type, 0}});
    for (const QVariant& v : values) {
        store.beginRow();
        if (v.isNull()) {
            store.appendNull();
        } else if (type == db::FieldType::Float) {
            store.appendFloat(v.toDouble());
        } else if (type == db::FieldType::Integer) {
            store.appendInteger(v.toLongLong());
        } else if (type == db::FieldType::Currency) {
            store.appendCurrency(v.toLongLong());  // given in 1/10000 units
        } else {
            store.appendText(v.toString().toStdString());
        }
        store.endRow();
    }
    return store;
}

ColumnSpec sumOf(const QString& field) {
    ColumnSpec c;
    c.fieldName = field;
    c.footer = FooterKind::Sum;
    return c;
}

struct SumCase {
    const char* what;
    db::FieldType type;
    std::vector<QVariant> values;
    std::int64_t expected;  // 1/10000 units
};

class FooterSumsTotals : public ::testing::TestWithParam<SumCase> {};

TEST_P(FooterSumsTotals, SumsInFixedPoint) {
    const SumCase& c = GetParam();
    FooterSums sums;
    sums.compute(oneColumn(c.type, c.values), {sumOf(QStringLiteral("amount"))});
    EXPECT_EQ(sums.total(0), c.expected) << c.what;
    EXPECT_TRUE(sums.hasField(0));
}

std::vector<QVariant> repeated(const QVariant& v, int n) {
    return std::vector<QVariant>(n, v);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FooterSumsTotals,
    ::testing::Values(
        SumCase{"0.1 + 0.2 is exactly 0.3", db::FieldType::Float, {0.1, 0.2}, 3000},
        SumCase{"ten thousand cents make 100", db::FieldType::Float, repeated(0.01, 10000),
                1000000},
        SumCase{"each value rounded to four decimals",
                db::FieldType::Float,
                {0.00004, 0.00004, 0.00004},
                0},
        SumCase{"empty values add nothing", db::FieldType::Float, {1.5, QVariant(), 2.25}, 37500},
        SumCase{"only empty values", db::FieldType::Float, {QVariant(), QVariant()}, 0},
        SumCase{"negative amounts", db::FieldType::Float, {-0.25, 0.1}, -1500},
        SumCase{"currency cells", db::FieldType::Currency, {12345000, 5}, 12345005},
        SumCase{"integer cells", db::FieldType::Integer, {7, -2, 40}, 450000},
        SumCase{"numbers carried as text; other text adds nothing",
                db::FieldType::String,
                {QStringLiteral(" 12.5 "), QStringLiteral("abc"), QStringLiteral("")},
                125000}),
    [](const ::testing::TestParamInfo<SumCase>& info) { return std::to_string(info.index); });

TEST(FooterSums, ColumnsWithoutSumOrFieldTotalZero) {
    db::RowStore store = oneColumn(db::FieldType::Float, {3.0});
    ColumnSpec text;
    text.fieldName = QStringLiteral("amount");
    text.footer = FooterKind::Text;
    text.footerText = QStringLiteral("合计");
    FooterSums sums;
    sums.compute(store, {text, sumOf(QStringLiteral("missing")), sumOf(QStringLiteral("AMOUNT"))});
    EXPECT_EQ(sums.total(0), 0);
    EXPECT_FALSE(sums.hasField(1));
    EXPECT_EQ(sums.total(1), 0);
    EXPECT_EQ(sums.total(2), 30000);
    EXPECT_EQ(sums.total(7), 0);
}

TEST(FooterSums, TextsFollowTheFieldDisplay) {
    FooterSums sums;
    ColumnSpec caption;
    caption.footer = FooterKind::Text;
    caption.footerText = QStringLiteral("合计");
    ColumnSpec none;
    none.fieldName = QStringLiteral("amount");
    const ColumnSpec sum = sumOf(QStringLiteral("amount"));
    const ColumnSpec missing = sumOf(QStringLiteral("gone"));
    const std::vector<ColumnSpec> cols{caption, none, sum, missing};

    sums.compute(oneColumn(db::FieldType::Currency, {12345000}), cols);
    EXPECT_EQ(sums.text(0, caption, db::FieldType::String, false), QStringLiteral("合计"));
    EXPECT_EQ(sums.text(1, none, db::FieldType::Currency, false), QString());
    EXPECT_EQ(sums.text(2, sum, db::FieldType::Currency, false), QStringLiteral("1234.5"));
    EXPECT_EQ(sums.text(2, sum, db::FieldType::Currency, true),
              db::formatCurrencyScaled4(12345000));
    EXPECT_EQ(sums.text(2, sum, db::FieldType::Float, true), QStringLiteral("1234.5"))
        << "the currency flag only affects currency fields";
    EXPECT_EQ(sums.text(3, missing, db::FieldType::String, false), QStringLiteral("0"));

    sums.compute(oneColumn(db::FieldType::Currency, {}), cols);
    EXPECT_EQ(sums.text(2, sum, db::FieldType::Currency, true), QStringLiteral("0"))
        << "a total over no rows reads 0 in any display";
    EXPECT_EQ(sums.text(0, caption, db::FieldType::String, false), QStringLiteral("合计"));

    sums.clear(cols.size());
    EXPECT_EQ(sums.text(2, sum, db::FieldType::Currency, false), QStringLiteral("0"));
    EXPECT_EQ(sums.rowCount(), 0);
}

TEST(FooterSums, OverflowingAdditionDoesNotWrap) {
    // Before, a huge amount could wrap the 64-bit total to a negative number.
    db::RowStore store = oneColumn(db::FieldType::Currency,
                                   {QVariant::fromValue<qlonglong>(INT64_MAX - 10), 100, 5});
    FooterSums sums;
    sums.compute(store, {sumOf(QStringLiteral("amount"))});
    EXPECT_GT(sums.total(0), 0);
    EXPECT_EQ(sums.total(0), INT64_MAX - 5);
}

}  // namespace
