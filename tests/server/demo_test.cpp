// The generated demo server answers every object the library calls, and its statistics
// agree with the base tables they come from.
#include "server/demo/demobuilder.h"
#include "server/demo/demoreport.h"
#include "serverhelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using server::Value;
using servertest::queryOrFail;
using servertest::textAt;

Value text(const std::string& s) {
    return Value::fromText(s);
}

class DemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        srv = new testsupport::TempServer;
        demo::DemoOptions options;
        options.shipments = 300;
        options.seed = 42;
        options.clock = "2024-03-15 10:00:00";
        demo::DemoBuilder(options).build(srv->folder());
    }
    static void TearDownTestSuite() {
        delete srv;
        srv = nullptr;
    }
    void SetUp() override {
        const auto s = server::Server::open(srv->folder());
        biz = s.connect("Calvesteri");
        kernel = s.connect("Miskernel");
        dict = s.connect("Pubdict");
    }

    void import(const std::string& y1, const std::string& y2) {
        biz->call("dbo.ImportYYCWDATA", {{"@year1", text(y1)}, {"@year2", text(y2)}},
                  static_cast<server::RowSet*>(nullptr));
    }
    server::RowSet stat(const std::string& kind, const std::string& id, const std::string& y1,
                        const std::string& m1, const std::string& y2, const std::string& m2,
                        int option) {
        server::RowSet rows;
        const auto r = biz->call("dbo.StatCalvesteri",
                                 {{"@ViewObject", text(kind)},
                                  {"@deptid", text(id)},
                                  {"@salerid", text(id)},
                                  {"@year1", text(y1)},
                                  {"@month1", text(m1)},
                                  {"@year2", text(y2)},
                                  {"@month2", text(m2)},
                                  {"@queryOption", Value::fromInt(option)}},
                                 &rows);
        EXPECT_TRUE(r.hasResultSet);
        return rows;
    }
    std::int64_t count(const std::string& sql) {
        const auto rs = queryOrFail(*biz, sql);
        return rs.rows.empty() ? -1 : rs.rows[0][0].integer;
    }

    static testsupport::TempServer* srv;
    std::unique_ptr<server::Connection> biz, kernel, dict;
};

testsupport::TempServer* DemoTest::srv = nullptr;

TEST_F(DemoTest, FinancialProceduresAnswer) {
    server::RowSet years;
    biz->call("dbo.GetCwMaxMinYear", {}, &years);
    ASSERT_EQ(years.rows.size(), 1u);
    EXPECT_EQ(years.columns[years.columnIndex("minyear")].type, server::ColumnType::Integer);
    EXPECT_EQ(years.rows[0][years.columnIndex("minyear")].integer, 2003);
    EXPECT_EQ(years.rows[0][years.columnIndex("maxyear")].integer, 2024);

    server::RowSet list, again;
    biz->call("dbo.getCWSalersList", {{"@curyear", Value::fromInt(2024)}}, &list);
    biz->call("dbo.getCWSalersList", {{"@curyear", Value::fromInt(2024)}}, &again);
    ASSERT_GE(list.rows.size(), 5u);
    ASSERT_GE(list.columnIndex("cDepCode"), 0);
    ASSERT_GE(list.columnIndex("cdepname"), 0);
    for (std::size_t r = 0; r < list.rows.size(); ++r)
        EXPECT_EQ(textAt(list, r, "cDepCode"), textAt(again, r, "cDepCode"));

    const std::string code = textAt(list, 0, "cDepCode");
    const auto mapped = biz->call("dbo.CWDept2YWDept_Format1",
                                  {{"@curyear", Value::fromInt(2024)},
                                   {"@cwdept", text(code)},
                                   {"@toYWdept", Value::null(), true}},
                                  static_cast<server::RowSet*>(nullptr));
    ASSERT_EQ(mapped.outputs.size(), 1u);
    EXPECT_EQ(mapped.outputs[0].second.text.size(), 2u);
    EXPECT_EQ(queryOrFail(*kernel, "select classid from dept where deptid='" +
                                       mapped.outputs[0].second.text + "'")
                  .rows.at(0)
                  .at(0)
                  .text,
              "B");

    server::RowSet name;
    biz->call("dbo.getCWDeptName", {{"@curyear", Value::fromInt(2024)}, {"@cwdept", text(code)}},
              &name);
    EXPECT_EQ(textAt(name, 0, "deptname"), textAt(list, 0, "cdepname"));
    biz->call("dbo.getCWDeptName", {{"@curyear", Value::fromInt(2024)}, {"@cwdept", text("none")}},
              &name);
    EXPECT_TRUE(name.rows.empty());
}

TEST_F(DemoTest, KernelDictionaryAndClockAnswerTheLibraryTexts) {
    const auto depts = queryOrFail(
        *kernel,
        "select DeptId,deptname,'list'=DeptId+' '+Deptname from dept\nwhere  upper(classid)='B'");
    EXPECT_GE(depts.rows.size(), 4u);
    EXPECT_LE(depts.rows.size(), 6u);
    const auto salers = queryOrFail(
        *kernel,
        "select UserId,Username,'list'=UserId+' '+Username from users\nwhere upper(classid)='S'");
    ASSERT_FALSE(salers.rows.empty());
    const std::string userId = textAt(salers, 0, "UserId");
    const auto dept =
        queryOrFail(*kernel, "  select \"dept\"=dept from users where userid=\"" + userId + "\" ");
    EXPECT_EQ(textAt(dept, 0, "dept").size(), 2u);
    const auto name = queryOrFail(
        *biz, "Select username from Miskernel.dbo.users \nwhere userid='" + userId + "'");
    EXPECT_EQ(textAt(name, 0, "username"), textAt(salers, 0, "Username"));

    const auto corp = queryOrFail(*dict, "select * from corp_set");
    const char* columns[] = {"code",        "name_ch",     "name_en",   "addr_ch", "addr_en",
                             "order_bank",  "account",     "order_tax", "zip",     "present",
                             "name_simple", "custom_code", "corp_code", "tel",     "is_default",
                             "order_name",  "pay_default", "prefix"};
    ASSERT_EQ(corp.columns.size(), std::size(columns));
    for (std::size_t i = 0; i < std::size(columns); ++i)
        EXPECT_EQ(corp.columns[i].name, columns[i]);
    EXPECT_EQ(corp.columns[corp.columnIndex("account")].type, server::ColumnType::Memo);
    EXPECT_EQ(corp.columns[corp.columnIndex("name_simple")].size, 20);
    EXPECT_EQ(textAt(corp, 0, "name_simple"), "泰沃进出口");

    const auto now = queryOrFail(*biz, "select getDate()");
    EXPECT_EQ(now.columns.at(0).type, server::ColumnType::DateTime);
}

TEST_F(DemoTest, StatisticsRowsMatchTheBaseTables) {
    import("2003", "2024");
    const std::int64_t ym = count("select max(ym) from shipment where ym < 202403");
    const std::string y = std::to_string(ym / 100), m = std::to_string(ym % 100);
    const auto rows = stat("C", "", y, m, y, m, 0);

    const char* columns[] = {"invoiceno", "UnExchTag", "dept",       "srUSD",  "srRMB", "yfUSD",
                             "yfRMB",     "bfUSD",     "bfRMB",      "yjUSD",  "yjRMB", "cb",
                             "value_no",  "lirun",     "lirun_true", "shouhui"};
    ASSERT_EQ(rows.columns.size(), std::size(columns));
    for (std::size_t i = 0; i < std::size(columns); ++i) {
        EXPECT_EQ(rows.columns[i].name, columns[i]);
        const bool money = i >= 3 && i != 12;
        EXPECT_EQ(rows.columns[i].type == server::ColumnType::Currency, money) << columns[i];
    }
    ASSERT_EQ(static_cast<std::int64_t>(rows.rows.size()),
              count("select count(*) from shipment where ym = " + std::to_string(ym)));

    for (std::size_t r = 0; r < rows.rows.size(); ++r) {
        const std::string invoice = textAt(rows, r, "invoiceno");
        if (r > 0) {
            EXPECT_LT(textAt(rows, r - 1, "invoiceno"), invoice);
        }
        const auto base = queryOrFail(
            *biz, "select srUSD, srRMB, yfRMB, bfRMB, yjRMB, cb from shipment where invoiceno='" +
                      invoice + "'");
        ASSERT_EQ(base.rows.size(), 1u);
        const auto& b = base.rows[0];
        const std::int64_t lirun =
            b[1].integer - b[2].integer - b[3].integer - b[4].integer - b[5].integer;
        const auto& row = rows.rows[r];
        EXPECT_EQ(row[rows.columnIndex("lirun")].integer, lirun) << invoice;
        const auto received =
            queryOrFail(*biz, "select usd from cw_receipts where invoiceno='" + invoice + "'");
        std::int64_t got = 0;
        for (const auto& receipt : received.rows) got += receipt[0].integer;
        EXPECT_EQ(row[rows.columnIndex("shouhui")].integer, got) << invoice;
        const bool open = got < b[0].integer;
        EXPECT_EQ(textAt(rows, r, "UnExchTag").empty(), !open) << invoice;
        if (!open) {
            EXPECT_EQ(row[rows.columnIndex("lirun_true")].integer, 0) << invoice;
        }
    }
}

// The demo script shows only the summary, so its figures must be the statement's own.
TEST_F(DemoTest, SummaryGivesTheLatestMonthsRowCountAndTotals) {
    std::ostringstream out;
    demo::DemoReport::summary(srv->folder(), out);
    const std::string summary = out.str();

    const std::int64_t ym = count("select max(ym) from shipment");
    const auto rows = stat("C", "", std::to_string(ym / 100), std::to_string(ym % 100),
                           std::to_string(ym / 100), std::to_string(ym % 100), 0);
    ASSERT_FALSE(rows.rows.empty());
    std::int64_t srRMB = 0, lirunTrue = 0;
    for (const auto& row : rows.rows) {
        srRMB += row[rows.columnIndex("srRMB")].integer;
        lirunTrue += row[rows.columnIndex("lirun_true")].integer;
    }
    const auto money = [](std::int64_t units) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(units) / 10000.0);
        return std::string(buf);
    };
    char month[48];
    std::snprintf(month, sizeof month, "%04lld-%02lld", static_cast<long long>(ym / 100),
                  static_cast<long long>(ym % 100));
    const std::string expected[] = {
        "databases Calvesteri, Miskernel, Pubdict",
        "300 shipments",
        "statement of " + std::string(month) + " for the whole company: " +
            std::to_string(rows.rows.size()) + " rows",
        " srRMB " + money(srRMB) + " ",
        " lirun_true " + money(lirunTrue) + " ",
    };
    for (const std::string& part : expected)
        EXPECT_NE(summary.find(part), std::string::npos) << part << "\n" << summary;
}

TEST_F(DemoTest, FiltersByOptionDepartmentAndSalesperson) {
    import("2003", "2024");
    const auto all = stat("C", "", "2023", "1", "2023", "12", 0);
    const auto open = stat("C", "", "2023", "01", "2023", "12", 1);
    std::size_t tagged = 0;
    for (std::size_t r = 0; r < all.rows.size(); ++r)
        tagged += textAt(all, r, "UnExchTag").empty() ? 0 : 1;
    EXPECT_GT(tagged, 0u);
    EXPECT_LT(tagged, all.rows.size());
    ASSERT_EQ(open.rows.size(), tagged);
    for (std::size_t r = 0; r < open.rows.size(); ++r)
        EXPECT_FALSE(textAt(open, r, "UnExchTag").empty());

    struct Case {
        const char* what;
        const char* kind;
        const char* id;
        const char* year;
        std::string baseCount;
    } cases[] = {
        {"department 03", "D", "03", "2023",
         "select count(*) from shipment where dept='03' and ym between 202301 and 202312"},
        {"kernel salesperson before 2004", "S", "0015", "2003",
         "select count(*) from shipment where salerid='0015' and ym between 200301 and 200312"},
        {"financial group from 2004", "S", "5031", "2023",
         "select count(*) from shipment where cwdept='5031' and ym between 202301 and 202312"},
        {"whole company", "C", "", "2023",
         "select count(*) from shipment where ym between 202301 and 202312"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto rows = stat(c.kind, c.id, c.year, "1", c.year, "12", 0);
        EXPECT_GT(rows.rows.size(), 0u);
        EXPECT_EQ(static_cast<std::int64_t>(rows.rows.size()), count(c.baseCount));
    }
}

TEST_F(DemoTest, SecondImportChangesNothing) {
    const std::string all =
        "select receipt_id, iyear, invoiceno, usd, rmb from yw_receipts order by 1";
    import("2003", "2024");
    const auto first = queryOrFail(*biz, all);
    EXPECT_EQ(static_cast<std::int64_t>(first.rows.size()),
              count("select count(*) from cw_receipts"));
    import("2003", "2024");
    const auto second = queryOrFail(*biz, all);
    ASSERT_EQ(first.rows.size(), second.rows.size());
    for (std::size_t r = 0; r < first.rows.size(); ++r) {
        for (std::size_t c = 0; c < first.columns.size(); ++c) {
            EXPECT_EQ(first.rows[r][c].integer, second.rows[r][c].integer);
            EXPECT_EQ(first.rows[r][c].text, second.rows[r][c].text);
        }
    }
}

TEST(DemoBuild, RefusesANonEmptyFolderAndIsReproducible) {
    testsupport::TempServer a, b;
    std::ofstream(a.folder() + "/keep.txt") << "mine";
    demo::DemoOptions options;
    options.shipments = 40;
    options.seed = 9;
    options.clock = "2024-03-15 10:00:00";
    EXPECT_THROW(demo::DemoBuilder(options).build(a.folder()), server::Error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(a.folder()),
                            std::filesystem::directory_iterator()),
              1);

    const std::string fresh = a.folder() + "/fresh";
    demo::DemoBuilder(options).build(fresh);
    demo::DemoBuilder(options).build(b.folder());
    const std::string sql = "select * from shipment order by invoiceno";
    const auto x = server::Server::open(fresh).connect("Calvesteri")->query(sql);
    const auto y = server::Server::open(b.folder()).connect("calvesteri")->query(sql);
    ASSERT_EQ(x.rows.size(), 40u);
    ASSERT_EQ(y.rows.size(), 40u);
    for (std::size_t r = 0; r < x.rows.size(); ++r) EXPECT_EQ(x.rows[r][0].text, y.rows[r][0].text);
    EXPECT_EQ(x.rows.back()[4].text, y.rows.back()[4].text);
}

}  // namespace
