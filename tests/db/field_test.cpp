// Field values and display formats, and the row store under them: the general number
// format used when currency display is off, currency display, conversions, in-place edits.
#include "framework/db/datalink.h"
#include "framework/text/errors.h"
#include "support/memdataset.h"

#include <gtest/gtest.h>

#include <QTimeZone>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

using db::FieldType;

struct GeneralCase {
    double value;
    const char* text;
};

TEST(FieldFormat, GeneralFormatHasNoGroupingAndAtMostFifteenDigits) {
    const GeneralCase cases[] = {
        {1234.5, "1234.5"},
        {1200, "1200"},
        {-0.25, "-0.25"},
        {0.1 + 0.2, "0.3"},
        {0, "0"},
        {123456789012.34, "123456789012.34"},
        {1.0 / 3.0, "0.333333333333333"},
        {1e17, "1E17"},
        {0.00001, "1E-5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db::formatGeneral(c.value), QString::fromLatin1(c.text)) << c.value;
}

TEST(FieldFormat, ScaledValuesFormatExactly) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {12345000, "1234.5"},
        {12000000, "1200"},
        {-2500, "-0.25"},
        {0, "0"},
        {1, "0.0001"},
        {-1, "-0.0001"},
        {3000, "0.3"},
        {99999999990000, "9999999999"},
        {10000, "1"},
        {-10000000, "-1000"},
        {1234, "0.1234"},
        // Fifteen significant digits print as they are; a sixteenth rounds in general format.
        {123456789012345, "12345678901.2345"},
        {-123456789012345, "-12345678901.2345"},
        {1234567890123456, "123456789012.346"},
        {10000000000000000, "1000000000000"},
        {INT64_MAX, "922337203685478"},
        {INT64_MIN, "-922337203685478"},
    };
    // The layout's and the exports' way to the same texts, without strings: as the grid
    // shows a value, and every digit of it with at least two decimals.
    db::RowStore store;
    store.setColumns({{QStringLiteral("m"), db::FieldType::Currency, 0}});
    for (const auto& [v, t] : cases) {
        store.beginRow();
        store.appendCurrency(v);
        store.endRow();
    }
    int row = 0;
    for (const auto& [v, t] : cases) {
        EXPECT_EQ(db::formatGeneralScaled4(v), QString::fromLatin1(t)) << v;
        std::string bytes;
        store.appendString(row++, 0, bytes);
        EXPECT_EQ(bytes, t) << v;
        char buf[32];
        const int n = db::writeExactCurrency(v, 2, buf);
        EXPECT_EQ(QString::fromLatin1(buf, n), db::formatExactScaled4(v, 2)) << v;
    }
}

TEST(FieldFormat, TotalsBeyondSixtyFourBitsFormatFromAllTheirDigits) {
    const db::Scaled4 max = INT64_MAX;
    EXPECT_EQ(db::formatGeneralScaled4(max * 10000000), QStringLiteral("9.22337203685478E21"));
    EXPECT_EQ(db::formatGeneralScaled4(-max * 3), QStringLiteral("-2.76701161105643E15"));
    EXPECT_EQ(db::formatCurrencyScaled4(max * 2), QStringLiteral("\uFFE51,844,674,407,370,955.16"));
    EXPECT_EQ(db::decimalDigits(static_cast<unsigned __int128>(max) * 100),
              QStringLiteral("922337203685477580700"));
}

TEST(FieldFormat, CurrencyFormatHasSymbolGroupingAndTwoDecimals) {
    EXPECT_EQ(db::formatCurrencyScaled4(12345000), QStringLiteral("\uFFE51,234.50"));
    EXPECT_EQ(db::formatCurrencyScaled4(-12345000), QStringLiteral("\uFFE5-1,234.50"));
    EXPECT_EQ(db::formatCurrencyScaled4(1234567890050), QStringLiteral("\uFFE5123,456,789.01"));
    EXPECT_EQ(db::formatCurrencyScaled4(-40), QStringLiteral("\uFFE50.00"));
}

class CountingLink : public db::DataLink {
public:
    int changed = 0;

protected:
    void DataSetChanged() override { ++changed; }
};

std::unique_ptr<testsupport::MemDataSet> moneyRows() {
    auto ds = std::make_unique<testsupport::MemDataSet>(
        std::vector<db::FieldDef>{{"srUSD", FieldType::Currency, 0},
                                  {"qty", FieldType::Integer, 0},
                                  {"rate", FieldType::Float, 0},
                                  {"invoiceno", FieldType::String, 10},
                                  {"shipped", FieldType::DateTime, 0}});
    ds->addRow(
        {1234.5, 7, 0.25, QStringLiteral("A1"), QDateTime(QDate(2005, 3, 7), QTime(9, 41, 7))});
    ds->addRow({QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
    ds->addRow(
        {1200.0, 12, 1e-3, QStringLiteral("x12"), QDateTime(QDate(2005, 3, 8), QTime(0, 0))});
    return ds;
}

TEST(Field, CurrencyDisplayFollowsTheFlag) {
    auto ds = moneyRows();
    ds->Open();
    db::Field* f = ds->FieldByName("srusd");
    EXPECT_TRUE(f->Currency());
    EXPECT_FALSE(ds->FieldByName("rate")->Currency());
    EXPECT_EQ(f->DisplayText(), QStringLiteral("\uFFE51,234.50"));
    f->SetCurrency(false);
    EXPECT_EQ(f->DisplayText(), "1234.5");
    EXPECT_EQ(f->DisplayTextAt(2), "1200");
    EXPECT_EQ(f->DisplayTextAt(1), "");
    EXPECT_EQ(f->AsString(), "1234.5");
}

TEST(Field, SwitchingCurrencyOffTellsBoundControls) {
    auto ds = moneyRows();
    db::DataSource src;
    src.setDataSet(ds.get());
    CountingLink link;
    link.setDataSource(&src);
    ds->AfterOpen = [](db::DataSet& d) {
        for (int i = 0; i < d.FieldCount(); ++i) {
            if (d.fieldAt(i)->DataType() == FieldType::Currency)
                d.fieldAt(i)->SetCurrency(false);
        }
    };
    ds->Open();
    EXPECT_EQ(link.changed, 1);
    ds->FieldByName("srUSD")->SetCurrency(false);  // no change, nothing sent
    EXPECT_EQ(link.changed, 1);
}

TEST(Field, NullsReadAsEmptyZeroAndInvalid) {
    auto ds = moneyRows();
    ds->Open();
    ds->Next();
    for (int i = 0; i < ds->FieldCount(); ++i) {
        db::Field* f = ds->fieldAt(i);
        EXPECT_TRUE(f->IsNull()) << i;
        EXPECT_EQ(f->AsString(), "") << i;
        EXPECT_EQ(f->DisplayText(), "") << i;
        EXPECT_EQ(f->AsInteger(), 0) << i;
        EXPECT_EQ(f->AsFloat(), 0.0) << i;
    }
    EXPECT_FALSE(ds->FieldByName("shipped")->AsDateTime().isValid());
}

TEST(Field, ConversionsBetweenTypes) {
    auto ds = moneyRows();
    ds->Open();
    EXPECT_EQ(ds->FieldByName("qty")->AsString(), "7");
    EXPECT_EQ(ds->FieldByName("qty")->AsFloat(), 7.0);
    EXPECT_EQ(ds->FieldByName("rate")->AsString(), "0.25");
    EXPECT_EQ(ds->FieldByName("srUSD")->AsInteger(), 1235);  // rounded, as the framework does
    EXPECT_EQ(ds->FieldByName("shipped")->AsDateTime(),
              QDateTime(QDate(2005, 3, 7), QTime(9, 41, 7)));
    EXPECT_EQ(ds->FieldByName("shipped")->DisplayText(), "2005-03-07 09:41:07");
    EXPECT_THROW(ds->FieldByName("invoiceno")->AsInteger(), EConvertError);
    EXPECT_THROW(ds->FieldByName("invoiceno")->AsFloat(), EConvertError);
    ds->Last();
    EXPECT_EQ(ds->FieldByName("shipped")->DisplayText(), "2005-03-08");
    EXPECT_EQ(ds->FieldByName("rate")->DisplayText(), "0.001");
}

TEST(Field, DateTimeKeepsTheWallClockInAnyZone) {
    // The server's clock has no zone: 2024-03-15 10:00:00 must read back as exactly that.
    const std::int64_t ms =
        QDateTime(QDate(2024, 3, 15), QTime(10, 0), QTimeZone::utc()).toMSecsSinceEpoch();
    EXPECT_EQ(db::naiveDateTime(ms), QDateTime(QDate(2024, 3, 15), QTime(10, 0)));
    EXPECT_EQ(db::naiveMsSinceEpoch(db::naiveDateTime(ms)), ms);
}

TEST(Field, WritesOfEveryTypeRoundTrip) {
    auto ds = moneyRows();
    ds->Open();
    ds->Edit();
    ds->FieldByName("srUSD")->SetAsString("99.125");
    ds->FieldByName("qty")->SetAsInteger(-3);
    ds->FieldByName("rate")->SetAsFloat(2.5);
    ds->FieldByName("invoiceno")->SetAsString("新编号");
    ds->FieldByName("shipped")->SetAsDateTime(QDateTime(QDate(2006, 1, 2), QTime(3, 4, 5)));
    EXPECT_THROW(ds->FieldByName("qty")->SetAsString("seven"), EConvertError);
    ds->Post();
    EXPECT_EQ(ds->FieldByName("srUSD")->AsString(), "99.125");
    EXPECT_EQ(ds->store().scaled4(0, 0), 991250);
    EXPECT_EQ(ds->FieldByName("qty")->AsInteger(), -3);
    EXPECT_EQ(ds->FieldByName("rate")->AsFloat(), 2.5);
    EXPECT_EQ(ds->FieldByName("invoiceno")->AsString(), "新编号");
    EXPECT_EQ(ds->FieldByName("shipped")->AsString(), "2006-01-02 03:04:05");
}

TEST(RowStore, SnapshotRestoresEveryTypeIncludingNulls) {
    db::RowStore s;
    s.setColumns({{"t", FieldType::String, 5},
                  {"i", FieldType::Integer, 0},
                  {"f", FieldType::Float, 0},
                  {"c", FieldType::Currency, 0}});
    s.beginRow();
    s.appendText("abc");
    s.appendNull();
    s.appendFloat(1.5);
    s.appendCurrency(12345);
    s.endRow();
    const auto snap = s.snapshotRow(0);
    s.setText(0, 0, "changed");
    s.setInteger(0, 1, 5);
    s.setNull(0, 2);
    s.setFloat(0, 3, 2.0);
    s.restoreRow(0, snap);
    EXPECT_EQ(s.text(0, 0), "abc");
    EXPECT_TRUE(s.isNull(0, 1));
    EXPECT_EQ(s.real(0, 2), 1.5);
    EXPECT_EQ(s.integer(0, 3), 12345);
}

// A column keeps no null flags until its first null: each way a null can arrive, after rows
// without one, must leave the earlier rows not null and the sums right.
TEST(RowStore, NullsArrivingLateLeaveTheEarlierRowsAlone) {
    struct Case {
        const char* what;
        std::function<void(db::RowStore&)> change;  // on three rows of 10, 20, 30
        std::vector<bool> nulls;
        std::int64_t sum;
    };
    const Case cases[] = {
        {"appended as the fourth row",
         [](db::RowStore& s) {
             s.beginRow();
             s.endRow();  // a row left short is finished with nulls
         },
         {false, false, false, true}, 60},
        {"set on a row", [](db::RowStore& s) { s.setNull(1, 0); }, {false, true, false}, 40},
        {"row inserted", [](db::RowStore& s) { s.insertRow(1); }, {false, true, false, false}, 60},
        {"null set, row removed, value set again",
         [](db::RowStore& s) {
             s.setNull(2, 0);
             s.removeRow(0);
             s.setInteger(1, 0, 7);
         },
         {false, false}, 20 + 70000},  // 7 whole units
        {"restored from a snapshot taken when null",
         [](db::RowStore& s) {
             s.setNull(0, 0);
             const auto snap = s.snapshotRow(0);
             s.setInteger(0, 0, 1);
             s.restoreRow(0, snap);
         },
         {true, false, false}, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        db::RowStore s;
        s.setColumns({{"c", FieldType::Currency, 0}});
        for (std::int64_t v : {10, 20, 30}) {
            s.beginRow();
            s.appendCurrency(v);
            s.endRow();
        }
        c.change(s);
        ASSERT_EQ(s.rowCount(), static_cast<int>(c.nulls.size()));
        for (int r = 0; r < s.rowCount(); ++r) EXPECT_EQ(s.isNull(r, 0), c.nulls[r]) << r;
        EXPECT_EQ(s.columnSum(0), c.sum);
    }
}

TEST(RowStore, ScaledValuesRoundHalfAwayFromZeroAndIgnoreNulls) {
    db::RowStore s;
    s.setColumns({{"f", FieldType::Float, 0}, {"i", FieldType::Integer, 0}});
    const double values[] = {0.00005, -0.00005, 0.1, 0.2};
    for (double v : values) {
        s.beginRow();
        s.appendFloat(v);
        s.appendNull();
        s.endRow();
    }
    EXPECT_EQ(s.scaled4(0, 0), 1);
    EXPECT_EQ(s.scaled4(1, 0), -1);
    EXPECT_EQ(s.scaled4(2, 0) + s.scaled4(3, 0), 3000);
    EXPECT_EQ(s.scaled4(0, 1), 0);
}

// What a column of each type holds when handed a value at or past its range. Before, the
// conversions multiplied or rounded past 64 bits (undefined behaviour, wrong numbers).
struct RangeCase {
    const char* what;
    FieldType column;
    std::function<void(db::RowStore&)> append;
    bool refused;
    const char* shown;  // the stored value as plain text when kept
};

TEST(RowStore, ValuesAtAndPastTheirColumnRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const RangeCase cases[] = {
        {"largest whole money", FieldType::Currency,
         [](db::RowStore& s) { s.appendInteger(922337203685477); }, false, "922337203685477"},
        {"whole number past money", FieldType::Currency,
         [](db::RowStore& s) { s.appendInteger(922337203685478); }, true, ""},
        {"negative whole number past money", FieldType::Currency,
         [](db::RowStore& s) { s.appendInteger(INT64_MIN); }, true, ""},
        {"float money", FieldType::Currency, [](db::RowStore& s) { s.appendFloat(-0.00005); },
         false, "-0.0001"},
        {"float past money", FieldType::Currency, [](db::RowStore& s) { s.appendFloat(1e300); },
         true, ""},
        {"NaN as money", FieldType::Currency, [nan](db::RowStore& s) { s.appendFloat(nan); }, true,
         ""},
        {"float rounded into an integer", FieldType::Integer,
         [](db::RowStore& s) { s.appendFloat(-2.5); }, false, "-3"},
        {"float past 64 bits into an integer", FieldType::Integer,
         [](db::RowStore& s) { s.appendFloat(9.3e18); }, true, ""},
        {"NaN into an integer", FieldType::Integer, [nan](db::RowStore& s) { s.appendFloat(nan); },
         true, ""},
        {"number text past money", FieldType::Currency,
         [](db::RowStore& s) { s.appendText("1e20"); }, true, ""},
    };
    for (const RangeCase& c : cases) {
        db::RowStore s;
        s.setColumns({{"v", c.column, 0}, {"after", FieldType::Integer, 0}});
        s.beginRow();
        if (c.refused) {
            EXPECT_THROW(c.append(s), EDatabaseError) << c.what;
            continue;
        }
        c.append(s);
        s.appendInteger(7);
        s.endRow();
        EXPECT_EQ(s.string(0, 0), QString::fromLatin1(c.shown)) << c.what;
        EXPECT_EQ(s.integer(0, 1), 7) << c.what << ": the next cell lands in its own column";
    }
}

TEST(RowStore, RefusedValueLeavesTheRowToBeFinished) {
    db::RowStore s;
    s.setColumns({{"c", FieldType::Currency, 0}, {"i", FieldType::Integer, 0}});
    s.beginRow();
    EXPECT_THROW(s.appendInteger(INT64_MAX), EDatabaseError);
    s.appendNull();
    s.appendInteger(1);
    s.endRow();
    ASSERT_EQ(s.rowCount(), 1);
    EXPECT_TRUE(s.isNull(0, 0));
    EXPECT_EQ(s.integer(0, 1), 1);
}

// A result filled into the buffers a cleared one left (other types, other widths, fewer
// rows) shows nothing of the old one, and appends past the last column still throw.
TEST(RowStore, RefilledBuffersHoldOnlyTheNewResult) {
    db::RowStore s;
    s.setColumns({{"t", FieldType::String, 10}, {"c", FieldType::Currency, 0}});
    for (int i = 0; i < 1000; ++i) {
        s.beginRow();
        s.appendText("old" + std::to_string(i));
        s.appendCurrency(i);
        s.endRow();
    }
    s.clear();
    s.setColumns({{"c", FieldType::Currency, 0},
                  {"f", FieldType::Float, 0},
                  {"t", FieldType::String, 10}});
    s.beginRow();
    s.appendCurrency(5);
    s.appendFloat(2.5);
    s.appendText("new");
    EXPECT_THROW(s.appendCurrency(1), std::out_of_range);
    EXPECT_THROW(s.appendText("x"), std::out_of_range);
    s.endRow();
    s.fitCapacity();
    ASSERT_EQ(s.rowCount(), 1);
    EXPECT_EQ(s.integer(0, 0), 5);
    EXPECT_EQ(s.real(0, 1), 2.5);
    EXPECT_EQ(s.text(0, 2), "new");
    EXPECT_EQ(s.columnSum(0), db::Scaled4{5});
}

TEST(RowStore, ScaledValuesOfEveryMagnitude) {
    db::RowStore s;
    s.setColumns({{"i", FieldType::Integer, 0}, {"f", FieldType::Float, 0}});
    s.beginRow();
    s.appendInteger(INT64_MAX);
    s.appendFloat(1e30);
    s.endRow();
    s.beginRow();
    s.appendInteger(INT64_MIN);
    s.appendFloat(-1e300);
    s.endRow();
    EXPECT_EQ(s.scaled4(0, 0), db::Scaled4{INT64_MAX} * 10000);
    EXPECT_EQ(s.scaled4(1, 0), db::Scaled4{INT64_MIN} * 10000);
    EXPECT_EQ(s.scaled4(0, 1), static_cast<db::Scaled4>(1e30 * 10000.0))
        << "1e30, held in 128 bits";
    EXPECT_THROW(s.scaled4(1, 1), EDatabaseError) << "no 1/10000 value holds -1e300";
}

TEST(Field, FloatsOutsideTheIntegerRangeConvertWithAnErrorAndDisplayWhole) {
    testsupport::MemDataSet ds({{"f", FieldType::Float, 0}});
    ds.addRow({1e300});
    ds.Open();
    db::Field* f = ds.FieldByName("f");
    EXPECT_THROW(f->AsInteger(), EConvertError);
    EXPECT_EQ(f->DisplayText(), QStringLiteral("1E300"));
    f->SetCurrency(true);
    EXPECT_EQ(f->DisplayText(), QStringLiteral("\uFFE51E300"));
}

TEST(RowStore, LargeResultKeepsEveryRowAddressableByIndex) {
    db::RowStore s;
    s.setColumns({{"no", FieldType::String, 10}, {"amount", FieldType::Currency, 0}});
    const int n = 100000;
    s.reserve(n);
    for (int i = 0; i < n; ++i) {
        const std::string no = "N" + std::to_string(i);
        s.beginRow();
        s.appendText(no);
        s.appendCurrency(i * 10000LL);
        s.endRow();
    }
    ASSERT_EQ(s.rowCount(), n);
    EXPECT_EQ(s.text(n - 1, 0), "N99999");
    EXPECT_EQ(s.integer(54321, 1), 54321LL * 10000);
    s.removeRow(0);
    EXPECT_EQ(s.text(0, 0), "N1");
    EXPECT_EQ(s.rowCount(), n - 1);
}

}  // namespace
