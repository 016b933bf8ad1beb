// Footer totals: fixed-point sums over a result's rows and the text each footer shows.
#include "framework/grid/footersums.h"

#include "framework/db/field.h"

#include <gtest/gtest.h>

#include <QVariant>
#include <tuple>
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
    db::Scaled4 expected;  // 1/10000 units
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
        SumCase{"numbers carried as text",
                db::FieldType::String,
                {QStringLiteral(" 12.5 "), QStringLiteral(""), QStringLiteral("-2")},
                105000}),
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

TEST(FooterSums, TotalsStayExactBeyondTheRangeOfOneValue) {
    // Before, the 64-bit total skipped (or wrapped on) an addition that overflowed it.
    const db::Scaled4 max = INT64_MAX;
    struct Case {
        const char* what;
        db::FieldType type;
        std::vector<QVariant> values;
        db::Scaled4 expected;
        const char* text;
    };
    const Case cases[] = {
        {"two rows of 900,000,000,000,000.00 in money", db::FieldType::Currency,
         repeated(QVariant::fromValue<qlonglong>(9000000000000000000LL), 2),
         db::Scaled4{18000000000000000000ULL}, "1.8E15"},
        {"three of the largest money value", db::FieldType::Currency,
         repeated(QVariant::fromValue<qlonglong>(INT64_MAX), 3), 3 * max, "2.76701161105643E15"},
        {"a bigint of 2^62 scaled to 1/10000",
         db::FieldType::Integer,
         {QVariant::fromValue<qlonglong>(qlonglong{1} << 62)},
         db::Scaled4{qlonglong{1} << 62} * 10000,
         "4.61168601842739E18"},
        {"the smallest bigint",
         db::FieldType::Integer,
         {QVariant::fromValue<qlonglong>(INT64_MIN)},
         db::Scaled4{INT64_MIN} * 10000,
         "-9.22337203685478E18"},
    };
    for (const Case& c : cases) {
        FooterSums sums;
        const ColumnSpec sum = sumOf(QStringLiteral("amount"));
        sums.compute(oneColumn(c.type, c.values), {sum});
        EXPECT_EQ(sums.total(0), c.expected) << c.what;
        EXPECT_EQ(sums.text(0, sum, c.type, false), QString::fromLatin1(c.text)) << c.what;
        EXPECT_TRUE(sums.overflow(0).isEmpty()) << c.what;
    }
}

// Before, a text that is no number added nothing without a word (and printing refused the
// same column): the footer now says the column has no total, and why.
TEST(FooterSums, ATextThatIsNoNumberLeavesTheColumnWithoutATotal) {
    const db::RowStore store =
        oneColumn(db::FieldType::String,
                  {QStringLiteral("12.5"), QStringLiteral("abc"), QStringLiteral("1")});
    const ColumnSpec sum = sumOf(QStringLiteral("amount"));
    FooterSums sums;
    sums.compute(store, {sum});
    EXPECT_EQ(sums.text(0, sum, db::FieldType::String, false), FooterSums::kNotNumberText);
    EXPECT_EQ(sums.overflow(0), QStringLiteral("Field 'Amount': the text 'abc' is not a number"));
}

TEST(FooterSums, ValueTooLargeForATotalShowsOverflowNotAWrongNumber) {
    // Before, a float column holding 1e300 made the footer read "-922337203685473".
    db::RowStore store;
    store.setColumns({{QStringLiteral("srUSD"), db::FieldType::Float, 0},
                      {QStringLiteral("srRMB"), db::FieldType::Float, 0},
                      {QStringLiteral("note"), db::FieldType::String, 0}});
    const std::vector<std::tuple<double, double, const char*>> rows = {{1e300, 1.5, "1"},
                                                                       {2.0, 2.25, "1e300"}};
    for (const auto& [usd, rmb, note] : rows) {
        store.beginRow();
        store.appendFloat(usd);
        store.appendFloat(rmb);
        store.appendText(note);
        store.endRow();
    }
    const std::vector<ColumnSpec> cols{sumOf(QStringLiteral("srUSD")),
                                       sumOf(QStringLiteral("srRMB")),
                                       sumOf(QStringLiteral("note"))};
    FooterSums sums;
    sums.compute(store, cols);
    EXPECT_EQ(sums.text(0, cols[0], db::FieldType::Float, false), FooterSums::kOverflowText);
    EXPECT_TRUE(sums.overflow(0).contains(QStringLiteral("srUSD")))
        << sums.overflow(0).toStdString();
    EXPECT_EQ(sums.text(1, cols[1], db::FieldType::Float, false), QStringLiteral("3.75"))
        << "the other columns keep their totals";
    EXPECT_TRUE(sums.overflow(1).isEmpty());
    EXPECT_EQ(sums.text(2, cols[2], db::FieldType::String, false), FooterSums::kOverflowText)
        << "a number carried as text is held to the same range";
}

}  // namespace
