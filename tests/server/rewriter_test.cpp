// The T-SQL rewrite on its own: what each construct becomes, and what must pass unchanged.
#include "server/rewriter.h"
#include "server/conversions.h"
#include "server/tokenizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>

namespace {

struct Rewrite {
    const char* what;
    const char* tsql;
    const char* sqlite;
};

TEST(Rewriter, TurnsTheSubsetIntoSQLite) {
    const Rewrite cases[] = {
        {"quoted alias and text join", "select 'list'=DeptId+' '+Deptname from dept",
         "select tsql_add(tsql_add(DeptId,' '),Deptname) AS \"list\" from dept"},
        {"double-quoted alias and constant",
         "select \"dept\"=dept from users where userid=\"0012\"",
         "select dept AS \"dept\" from users where userid='0012'"},
        {"bare alias", "select total = a * 2 from t", "select a * 2 AS \"total\" from t"},
        {"three-part name", "Select deptname from Kernel.dbo.dept",
         "Select deptname from Kernel.dept"},
        {"two dots", "select * from Kernel..dept", "select * from Kernel.dept"},
        {"dbo only", "select * from dbo.dept", "select * from dept"},
        {"brackets", "select [my col] from [dbo].[t]", "select \"my col\" from \"t\""},
        {"minus keeps its place", "select a - b + c - d", "select tsql_add(a - b, c) - d"},
        {"precedence", "select a * b + c / d", "select tsql_add(a * b, c / d)"},
        {"unary minus", "select -a + -b", "select tsql_add(-a, -b)"},
        {"inside function", "select upper(a+b) from t", "select upper(tsql_add(a,b)) from t"},
        {"case block is one term", "select 'x' + case when a = 1 then 'y' else 'z' end",
         "select tsql_add('x', case when a = 1 then 'y' else 'z' end)"},
        {"comparison stops the chain", "select * from t where a + 1 = b",
         "select * from t where tsql_add(a, 1) = b"},
        {"quote inside double-quoted text", "select \"it's\"", "select 'it''s'"},
        {"untouched statement", "select count(*) from t -- note\nwhere x = 1",
         "select count(*) from t -- note\nwhere x = 1"},
        {"plus inside a string stays", "select 'a+b' from t", "select 'a+b' from t"},
        {"comparison in where is no alias", "select a from t where b=1",
         "select a from t where b=1"},
        {"national string", "select N'abc'", "select 'abc'"},
    };
    for (const Rewrite& c : cases) EXPECT_EQ(server::Rewriter::rewrite(c.tsql), c.sqlite) << c.what;
}

// What a result column is typed as when SQLite declares no type: only an item that is a
// whole CAST counts, and nothing when the items cannot be lined up with the columns.
TEST(Tokenizer, SelectCastTypesNameOnlyWholeCastItems) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"select cast(a * 2 as money) as m, b, CAST(x AS varchar ( 20 )) v from t",
         {"money", "", "varchar(20)"}},
        {"with p as (select cast(1 as int) as n) select cast(f(a, (b)) as double precision), "
         "cast(a as money) + 1, (select cast(z as money) from u) from t, p",
         {"double precision", "", ""}},
        {"select distinct cast(a as money) from t union all select cast(b as int) from u",
         {"money"}},
        {"select cast(a as money), * from t", {}},
        {"select t.*, cast(a as money) from t", {}},
        {"select cast(a as money) x y from t", {""}},
        {"insert into t values(1)", {}},
        {"select cast(a as) from t", {""}},
    };
    for (const auto& [sql, expected] : cases) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(server::selectCastTypes(sql), expected);
    }
}

TEST(Conversions, CurrencyIsExactAndRoundsHalfAwayFromZero) {
    const struct {
        const char* text;
        std::int64_t units;
    } cases[] = {{"12.5", 125000},     {"-3", -30000},
                 {"0.00005", 1},       {"-0.00005", -1},
                 {"0.00004", 0},       {"1.5e-05", 0},
                 {"2.5e-05", 0},       {"1e3", 10000000},
                 {" 7.12345 ", 71235}, {"80.07000000000001", 800700}};
    for (const auto& c : cases) EXPECT_EQ(server::parseCurrency(c.text), c.units) << c.text;
    EXPECT_FALSE(server::parseCurrency("12abc"));
    EXPECT_FALSE(server::parseCurrency("1e30"));  // beyond the currency range
    EXPECT_EQ(server::currencyFromReal(0.00005), 1);
    EXPECT_EQ(server::currencyFromReal(100.1 - 20.03), 800700);
}

// What a REAL in a MONEY column gave when it went through its %.15g text.
std::optional<std::int64_t> currencyThroughText(double v) {
    const double units = v * 10000.0;
    if (!std::isfinite(units))
        return std::nullopt;
    if (std::fabs(units) < 1e14) {
        const double whole = std::nearbyint(units);
        if (std::fabs(units - whole) < 1e-6)
            return static_cast<std::int64_t>(whole);
    }
    return server::parseCurrency(server::formatReal(v));
}

TEST(Conversions, RealMoneyKeepsTheRoundingOfItsDecimalText) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        double v;
        std::optional<std::int64_t> units;
    } cases[] = {
        {"half a unit rounds away from zero", 0.00005, 1},
        {"negative half a unit", -0.00005, -1},
        {"just under half a unit, whose decimal is the half", 0.000049999999999999996, 1},
        {"clearly under half a unit", 0.0000499999, 0},
        {"a quarter unit", 0.000025, 0},
        {"many decimals", 1234.56785, 12345679},
        {"many decimals, negative", -1234.56785, -12345679},
        {"product of a rate", 1234.56 * 6.8312, 84335263},
        {"15 digits cut the fifth decimal off", 1234567890.123456, 12345678901235},
        {"an exact tie at 15 digits goes to even, down", 12345678901234.25, 123456789012342000},
        {"an exact tie at 15 digits goes to even, up", 12345678901234.75, 123456789012348000},
        {"a whole tie at 15 digits", 123456789012344.5, 1234567890123440000},
        {"a whole tie at 15 digits, up", 123456789012345.5, 1234567890123460000},
        {"largest money value's neighbourhood", 922337203685477.0, 9223372036854770000},
        {"past the largest money value", 922337203685478.0, std::nullopt},
        {"past it, negative", -922337203685478.0, std::nullopt},
        {"1E15", 1e15, std::nullopt},
        {"tiny", 1e-300, 0},
        {"smallest subnormal", -4.9e-324, 0},
        {"negative zero", -0.0, 0},
        {"infinity", kInf, std::nullopt},
        {"minus infinity", -kInf, std::nullopt},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {"largest double", std::numeric_limits<double>::max(), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(server::currencyFromReal(c.v), c.units) << c.what;
        EXPECT_EQ(server::currencyFromReal(c.v), currencyThroughText(c.v)) << c.what;
    }
    // Sweeps: decimals with up to eight places around half units, and arbitrary bit patterns
    // across the money range, each against the text.
    std::mt19937_64 random(20240315);
    for (int i = 0; i < 200000; ++i) {
        const double cents = static_cast<double>(static_cast<std::int64_t>(random() % 2000000001) -
                                                 1000000000);
        const double v = i % 2 ? cents / 100.0 + 0.00005 : cents * 1.0e-8;
        ASSERT_EQ(server::currencyFromReal(v), currencyThroughText(v)) << server::formatReal(v);
    }
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t bits = (random() & 0x800FFFFFFFFFFFFFull) |
                                   ((1008 + random() % 56) << 52);  // 2^-15 .. 2^50
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        ASSERT_EQ(server::currencyFromReal(v), currencyThroughText(v)) << server::formatReal(v);
    }
}

TEST(Conversions, DateTimesRoundTripAsNaiveClock) {
    const struct {
        const char* text;
        std::int64_t ms;
    } cases[] = {{"1970-01-01 00:00:00", 0},
                 {"2024-03-15 10:00:00", 1710496800000LL},
                 {"2024-02-29", 1709164800000LL},
                 {"1969-12-31 23:59:59.500", -500},
                 {"2003-07-01T08:30", 1057048200000LL}};
    for (const auto& c : cases) {
        EXPECT_EQ(server::parseDateTime(c.text), c.ms) << c.text;
        EXPECT_EQ(server::parseDateTime(server::formatDateTime(c.ms)), c.ms) << c.text;
    }
    for (const char* bad : {"2023-02-29", "2024-13-01", "2024-01-01 24:00", "15/03/2024", ""})
        EXPECT_FALSE(server::parseDateTime(bad)) << bad;
    EXPECT_TRUE(server::looksLikeDateTime("2024-03-15 10:00:00"));
    EXPECT_FALSE(server::looksLikeDateTime("2024-03-15"));
}

}  // namespace
