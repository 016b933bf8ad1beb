// The T-SQL rewrite on its own: what each construct becomes, and what must pass unchanged.
#include "server/rewriter.h"
#include "server/conversions.h"

#include <gtest/gtest.h>

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
