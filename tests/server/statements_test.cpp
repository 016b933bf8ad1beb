// The statements the library sends, run against a fixture server: right columns, right
// rows, right types, through the T-SQL rewrite.
#include "serverhelpers.h"

#include <gtest/gtest.h>

namespace {

using servertest::queryOrFail;
using servertest::textAt;

class StatementsTest : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::fillKernelAndDict(srv);
        srv.setClock("2024-03-15 10:00:00");
    }
    std::unique_ptr<server::Connection> connect(const std::string& db) {
        return server::Server::open(srv.folder()).connect(db);
    }
    testsupport::TempServer srv;
};

struct LibraryText {
    const char* what;
    const char* database;
    const char* sql;
    const char* column;               // column checked
    std::vector<std::string> values;  // its values, row by row
};

TEST_F(StatementsTest, LibraryTextsGiveTheirRows) {
    const LibraryText cases[] = {
        {"business departments with joined list",
         "Miskernel",
         "select DeptId,deptname,'list'=DeptId+' '+Deptname from dept\nwhere  upper(classid)='B'",
         "list",
         {"01 业务一部", "03 业务三部"}},
        {"salespersons with joined list",
         "Miskernel",
         "select UserId,Username,'list'=UserId+' '+Username from users\nwhere upper(classid)='S'",
         "LIST",
         {"0012 张三", "0014 王五"}},
        {"double-quoted alias and string constant",
         "Miskernel",
         "  select \"dept\"=dept from users where userid=\"0012\" ",
         "dept",
         {"03"}},
        {"three-part department look-up from the business database",
         "Calvesteri",
         "Select deptname from Miskernel.dbo.dept \nwhere deptid='03'",
         "deptname",
         {"业务三部"}},
        {"three-part user look-up, database name in other case",
         "Calvesteri",
         "Select username from MISKERNEL.dbo.users \nwhere userid='0012'",
         "username",
         {"张三"}},
        {"company settings", "Pubdict", "select * from corp_set", "name_simple", {"泰沃进出口"}},
        {"dbo-qualified two-part name",
         "Miskernel",
         "select deptname from dbo.dept where deptid='02'",
         "deptname",
         {"财务部"}},
        {"bracketed names and bare alias",
         "Miskernel",
         "select [name]=[deptname] from [dbo].[dept] where [DeptId]='01'",
         "name",
         {"业务一部"}},
    };
    for (const LibraryText& c : cases) {
        SCOPED_TRACE(c.what);
        auto conn = connect(c.database);
        const server::RowSet rs = queryOrFail(*conn, c.sql);
        ASSERT_EQ(rs.rows.size(), c.values.size());
        for (std::size_t r = 0; r < c.values.size(); ++r)
            EXPECT_EQ(textAt(rs, r, c.column), c.values[r]);
    }
}

TEST_F(StatementsTest, DepartmentListKeepsAllThreeColumnsWithTheirTypes) {
    auto conn = connect("miskernel");
    const server::RowSet rs = conn->query(
        "select DeptId,deptname,'list'=DeptId+' '+Deptname from dept\nwhere  upper(classid)='B'");
    ASSERT_EQ(rs.columns.size(), 3u);
    EXPECT_EQ(rs.columns[0].name, "DeptId");
    EXPECT_EQ(rs.columns[0].type, server::ColumnType::Text);
    EXPECT_EQ(rs.columns[0].size, 2);
    EXPECT_EQ(rs.columns[1].size, 20);
    EXPECT_EQ(rs.columns[2].name, "list");
    EXPECT_EQ(rs.columns[2].type, server::ColumnType::Text);
}

TEST_F(StatementsTest, GetDateAnswersTheServerClockAsDateTime) {
    auto conn = connect("Calvesteri");
    const server::RowSet rs = conn->query("select getDate()");
    ASSERT_EQ(rs.rows.size(), 1u);
    ASSERT_EQ(rs.columns[0].type, server::ColumnType::DateTime);
    EXPECT_EQ(rs.rows[0][0].kind, server::Value::Kind::DateTime);
    // 2024-03-15 10:00:00 as naive ms since 1970.
    EXPECT_EQ(rs.rows[0][0].integer, 1710496800000LL);
}

TEST_F(StatementsTest, GetDateWithoutClockIsNearLocalTime) {
    std::remove((srv.folder() + "/server.ini").c_str());
    auto conn = connect("Calvesteri");
    const server::RowSet rs = conn->query("select getdate()");
    ASSERT_EQ(rs.columns[0].type, server::ColumnType::DateTime);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::int64_t naiveLocalMs = static_cast<std::int64_t>(timegm(&local)) * 1000;
    EXPECT_LT(std::llabs(rs.rows[0][0].integer - naiveLocalMs), 5000);
}

TEST_F(StatementsTest, PlusAddsNumbersAndJoinsText) {
    auto conn = connect("Calvesteri");
    const server::RowSet rs = conn->query(
        "select 'n'=1+2, 'f'=1.5+2, 't'='a'+'b', 'mixed'='No.'+3, 'nul'='a'+null, "
        "'prec'=2*3+4-1, 'neg'=5 + -2, 'nested'=('x'+'y')+upper('z'+'w')");
    ASSERT_EQ(rs.rows.size(), 1u);
    const auto& row = rs.rows[0];
    EXPECT_EQ(row[0].integer, 3);
    EXPECT_DOUBLE_EQ(row[1].real, 3.5);
    EXPECT_EQ(row[2].text, "ab");
    EXPECT_EQ(row[3].text, "No.3");
    EXPECT_TRUE(row[4].isNull());
    EXPECT_EQ(row[5].integer, 9);
    EXPECT_EQ(row[6].integer, 3);
    EXPECT_EQ(row[7].text, "xyZW");
}

TEST_F(StatementsTest, MoneyColumnsComeBackAsCurrencyUnits) {
    srv.exec("Calvesteri",
             "INSERT INTO shipment VALUES('A1', 1234.5),('A2', 0.00005),('A3', -0.00005),"
             "('A4', 7),('A5', NULL);");
    auto conn = connect("Calvesteri");
    const server::RowSet rs = conn->query("select invoiceno, amount from shipment order by 1");
    ASSERT_EQ(rs.columns[1].type, server::ColumnType::Currency);
    ASSERT_EQ(rs.rows.size(), 5u);
    EXPECT_EQ(rs.rows[0][1].integer, 12345000);
    EXPECT_EQ(rs.rows[1][1].integer, 1);  // half a unit rounds away from zero
    EXPECT_EQ(rs.rows[2][1].integer, -1);
    EXPECT_EQ(rs.rows[3][1].integer, 70000);
    EXPECT_TRUE(rs.rows[4][1].isNull());
}

TEST_F(StatementsTest, ValuesOutsideTheirDeclaredTypeFailTheStatement) {
    // Before, a real of 1e300 in an INT column was converted past 64 bits (undefined).
    struct Case {
        const char* what;
        const char* table;
        const char* value;
        const char* expected;  // in the error text; nullptr: no error
    };
    const Case cases[] = {
        {"real past 64 bits in an INT column", "a INT", "1e300", "1e+300"},
        {"NaN-like infinity in an INT column", "a INT", "9e999", "inf"},
        {"real truncated into an INT column", "a INT", "-2.75", nullptr},
        {"bigint past money in a MONEY column", "a MONEY", "9223372036854775807",
         "9223372036854775807"},
        {"real past money in a MONEY column", "a MONEY", "1e300", "1e+300"},
        {"largest money", "a MONEY", "922337203685477", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto conn = connect("Calvesteri");
        conn->execute(std::string("DROP TABLE IF EXISTS x; CREATE TABLE x(") + c.table +
                          "); INSERT INTO x VALUES(" + c.value + ")",
                      nullptr);
        if (!c.expected) {
            EXPECT_EQ(queryOrFail(*conn, "SELECT a FROM x").rows.size(), 1u);
            continue;
        }
        try {
            conn->query("SELECT a FROM x");
            FAIL() << "no error";
        } catch (const server::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("column 'a'"), std::string::npos) << e.what();
        }
    }
}

TEST_F(StatementsTest, ComputedColumnTakesTypeOfFirstNonNullValue) {
    srv.exec("Calvesteri", "INSERT INTO shipment VALUES('B1', NULL),('B2', 3);");
    auto conn = connect("Calvesteri");
    const server::RowSet rs = conn->query("select 'x'=amount*2 from shipment order by invoiceno");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.columns[0].type, server::ColumnType::Integer);
    EXPECT_TRUE(rs.rows[0][0].isNull());
    EXPECT_EQ(rs.rows[1][0].integer, 6);
}

TEST_F(StatementsTest, CastColumnsTakeTheTypeTheyAreCastTo) {
    srv.exec("Calvesteri", "INSERT INTO shipment VALUES('B1', NULL),('B2', 3.5);");
    auto conn = connect("Calvesteri");
    // The first value is NULL: before, the column was typed by the next value (Float).
    const server::RowSet rs = conn->query(
        "select cast(amount * 2 as money) as m, cast(invoiceno || 'x' as varchar(6)) as v,"
        " cast(amount as money) + 0 as e from shipment order by invoiceno");
    ASSERT_EQ(rs.columns.size(), 3u);
    EXPECT_EQ(rs.columns[0].type, server::ColumnType::Currency);
    EXPECT_EQ(rs.columns[1].type, server::ColumnType::Text);
    EXPECT_EQ(rs.columns[1].size, 6);
    EXPECT_EQ(rs.columns[2].type, server::ColumnType::Float);
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_TRUE(rs.rows[0][0].isNull());
    EXPECT_EQ(rs.rows[1][0].integer, 70000);
    EXPECT_EQ(rs.rows[1][1].text, "B2x");
}

TEST_F(StatementsTest, SeveralConnectionsReadOneDatabaseAtOnce) {
    auto a = connect("Miskernel");
    auto b = connect("Miskernel");
    EXPECT_EQ(a->query("select * from dept").rows.size(), 3u);
    b->execute("insert into dept values('09','新部门','B')", nullptr);
    EXPECT_EQ(a->query("select * from dept").rows.size(), 4u);
}

TEST_F(StatementsTest, FailingStatementNamesStatementAndObject) {
    auto conn = connect("Miskernel");
    try {
        conn->query("select * from nosuchtable");
        FAIL() << "no error";
    } catch (const server::Error& e) {
        const std::string msg = e.what();
        EXPECT_NE(msg.find("select * from nosuchtable"), std::string::npos) << msg;
        EXPECT_NE(msg.find("no such table: nosuchtable"), std::string::npos) << msg;
    }
    try {
        conn->query("select top 5 * from dept");
        FAIL() << "no error";
    } catch (const server::Error& e) {
        EXPECT_NE(std::string(e.what()).find("select top 5 * from dept"), std::string::npos);
    }
}

TEST_F(StatementsTest, TimeLimitStopsARunawayStatement) {
    auto conn = connect("Calvesteri");
    conn->setQueryTimeLimit(1);
    try {
        conn->query(
            "with recursive n(i) as (select 1 union all select i+1 from n) "
            "select count(*) from n");
        FAIL() << "no error";
    } catch (const server::Error& e) {
        EXPECT_NE(std::string(e.what()).find("query timed out after 1 s"), std::string::npos)
            << e.what();
    }
    // The connection stays usable afterwards.
    EXPECT_EQ(conn->query("select 1").rows.size(), 1u);
}

}  // namespace
