// Stored procedures kept in sys_procedures: parameters by name, outputs, result sets,
// money columns, failures and what a failed call leaves behind.
#include "serverhelpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using server::ProcParam;
using server::Value;

ProcParam in(std::string name, Value v) {
    return {std::move(name), std::move(v), false};
}
ProcParam out(std::string name) {
    return {std::move(name), Value::null(), true};
}

const Value* output(const server::CallResult& r, std::string_view name) {
    for (const auto& [n, v] : r.outputs) {
        if (n == name)
            return &v;
    }
    return nullptr;
}

class ProceduresTest : public ::testing::Test {
protected:
    void SetUp() override {
        srv.exec("Biz", R"(
            CREATE TABLE map(year INT, cwdept VARCHAR(10), ywdept CHAR(2));
            INSERT INTO map VALUES(2005,'0301','03'),(2006,'0301','04');
            CREATE TABLE log(msg TEXT);
        )");
        srv.addProcedure("Biz", "CWDept2YWDept_Format1", R"(
            SELECT ywdept AS "@toYWdept" FROM map WHERE year = @curyear AND cwdept = @CWDEPT;
        )");
        srv.addProcedure("Biz", "Sums", R"(
            DROP TABLE IF EXISTS temp.r;
            CREATE TEMP TABLE r(name VARCHAR(10), amount MONEY, n INT);
            INSERT INTO r VALUES('a; b', 12.3456, 1), ('c', @extra, 2);
            SELECT count(*) AS "@count" FROM r;
            SELECT * FROM r ORDER BY n;
            INSERT INTO log VALUES('ran with ' || coalesce(@extra, 'nothing'));
        )");
        conn = server::Server::open(srv.folder()).connect("biz");
    }
    testsupport::TempServer srv;
    std::unique_ptr<server::Connection> conn;
};

TEST_F(ProceduresTest, OutputParameterFromFirstRowOrNull) {
    struct Case {
        const char* what;
        std::int64_t year;
        const char* cwdept;
        const char* expected;  // nullptr: NULL
    } cases[] = {
        {"2005 mapping", 2005, "0301", "03"},
        {"same code, other year", 2006, "0301", "04"},
        {"no row gives NULL", 2007, "0301", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = conn->call("dbo.CWDept2YWDept_Format1",
                                  {in("@curyear", Value::fromInt(c.year)),
                                   in("@cwdept", Value::fromText(c.cwdept)), out("@toYWdept")},
                                  static_cast<server::RowSet*>(nullptr));
        const Value* v = output(r, "@toYWdept");
        ASSERT_NE(v, nullptr);
        EXPECT_FALSE(r.hasResultSet);
        EXPECT_EQ(r.returnValue, 0);
        if (c.expected)
            EXPECT_EQ(v->text, c.expected);
        else
            EXPECT_TRUE(v->isNull());
    }
}

TEST_F(ProceduresTest, ResultSetIsLastSelectWithMoneyAsCurrency) {
    server::RowSet rows;
    const auto r = conn->call("Sums", {in("@EXTRA", Value::fromDouble(0.5))}, &rows);
    EXPECT_TRUE(r.hasResultSet);
    ASSERT_EQ(rows.columns.size(), 3u);
    EXPECT_EQ(rows.columns[1].type, server::ColumnType::Currency);
    EXPECT_EQ(rows.columns[2].type, server::ColumnType::Integer);
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[0][0].text, "a; b");  // a ; inside a literal does not split the body
    EXPECT_EQ(rows.rows[0][1].integer, 123456);
    EXPECT_EQ(rows.rows[1][1].integer, 5000);
    const Value* count = output(r, "@count");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->integer, 2);
    // The statement after the select ran too, and the procedure's temp table is gone.
    EXPECT_EQ(conn->query("select msg from log").rows.at(0).at(0).text, "ran with 0.5");
    EXPECT_THROW(conn->query("select * from temp.r"), server::Error);
}

TEST_F(ProceduresTest, MoneyOutputOutsideTheMoneyRangeFailsTheCall) {
    // Before, the output's scaling to 1/10000 units overflowed 64 bits.
    srv.addProcedure("Biz", "Big", R"(
        CREATE TEMP TABLE mm(v MONEY);
        INSERT INTO mm VALUES(@v);
        SELECT v AS "@o" FROM mm;
    )");
    const std::pair<Value, const char*> cases[] = {
        {Value::fromInt(INT64_MAX), "out of the range of money"},
        {Value::fromDouble(1e300), "out of the range of money"},
        {Value::fromInt(922337203685477), nullptr},
    };
    for (const auto& [v, expected] : cases) {
        if (!expected) {
            const auto r =
                conn->call("Big", {in("@v", v), out("@o")}, static_cast<server::RowSet*>(nullptr));
            ASSERT_NE(output(r, "@o"), nullptr);
            EXPECT_EQ(output(r, "@o")->integer, 9223372036854770000);
            continue;
        }
        try {
            conn->call("Big", {in("@v", v), out("@o")}, static_cast<server::RowSet*>(nullptr));
            FAIL() << "no error";
        } catch (const server::Error& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("@o"), std::string::npos) << e.what();
        }
    }
}

TEST_F(ProceduresTest, UnsentParameterIsNull) {
    server::RowSet rows;
    conn->call("dbo.Sums;1", {}, &rows);
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_TRUE(rows.rows[1][1].isNull());
    EXPECT_EQ(conn->query("select msg from log").rows.at(0).at(0).text, "ran with nothing");
}

TEST_F(ProceduresTest, UnknownProcedureIsNamed) {
    try {
        conn->call("dbo.NoSuchProc", {}, static_cast<server::RowSet*>(nullptr));
        FAIL() << "no error";
    } catch (const server::Error& e) {
        EXPECT_NE(std::string(e.what()).find("dbo.NoSuchProc"), std::string::npos) << e.what();
    }
    // A database without any procedures answers the same way.
    srv.exec("Empty", "CREATE TABLE t(x INT);");
    auto empty = server::Server::open(srv.folder()).connect("Empty");
    EXPECT_THROW(empty->call("dbo.X", {}, static_cast<server::RowSet*>(nullptr)), server::Error);
}

TEST_F(ProceduresTest, FailingStatementRollsBackTheWholeCall) {
    srv.addProcedure("Biz", "Half", R"(
        INSERT INTO log VALUES('first');
        INSERT INTO nosuchtable VALUES(1);
    )");
    try {
        conn->call("dbo.Half", {}, static_cast<server::RowSet*>(nullptr));
        FAIL() << "no error";
    } catch (const server::Error& e) {
        const std::string msg = e.what();
        EXPECT_NE(msg.find("dbo.Half"), std::string::npos) << msg;
        EXPECT_NE(msg.find("nosuchtable"), std::string::npos) << msg;
    }
    // Before, the first insert stayed behind although the call failed.
    EXPECT_TRUE(conn->query("select * from log").rows.empty());
}

// Before, an error in a procedure's first statement (a lock held past the busy time-out)
// quoted the procedure's heading comment instead of the statement that failed.
TEST_F(ProceduresTest, AnErrorQuotesTheFailingStatementWithoutTheHeading) {
    srv.addProcedure("Biz", "Import", R"(
        -- Imports the year range from the financial system.
        /* Kept by the trade system's developers. */
        INSERT INTO map VALUES(@year1, abs(-9223372036854775807 - 1), '03');
    )");
    try {
        conn->call("dbo.Import", {in("@year1", Value::fromInt(2005))},
                   static_cast<server::RowSet*>(nullptr));
        FAIL() << "no error";
    } catch (const server::Error& e) {
        const std::string msg = e.what();
        EXPECT_NE(msg.find("procedure dbo.Import, statement \"INSERT INTO map"), std::string::npos)
            << msg;
        EXPECT_EQ(msg.find("Imports the year range"), std::string::npos) << msg;
    }
}

TEST_F(ProceduresTest, TriggerBodyWithSemicolonsIsOneStatement) {
    srv.addProcedure("Biz", "MakeTrigger", R"(
        CREATE TRIGGER IF NOT EXISTS logmap AFTER INSERT ON map BEGIN
            INSERT INTO log VALUES('map ' || new.cwdept);
            INSERT INTO log VALUES('again');
        END;
        INSERT INTO map VALUES(2008, @code, '09');
    )");
    conn->call("MakeTrigger", {in("@code", Value::fromText("0999"))},
               static_cast<server::RowSet*>(nullptr));
    const auto rs = conn->query("select msg from log");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.rows[0][0].text, "map 0999");
}

TEST_F(ProceduresTest, ParametersAreBoundNotPasted) {
    srv.addProcedure("Biz", "Echo", "SELECT @text AS t, length(@text) AS n;");
    server::RowSet rows;
    const std::string nasty = "x'); DROP TABLE log; --";
    conn->call("Echo", {in("@Text", Value::fromText(nasty))}, &rows);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0][0].text, nasty);
    EXPECT_NO_THROW(conn->query("select * from log"));
}

TEST_F(ProceduresTest, TraceShowsEveryStatementWithWhatWasBound) {
    std::vector<server::TracedStatement> seen;
    conn->setStatementTrace([&](const server::TracedStatement& t) { seen.push_back(t); });
    conn->call("Sums", {in("@extra", Value::fromText("traced"))},
               static_cast<server::RowSet*>(nullptr));
    conn->setStatementTrace({});
    const std::size_t traced = seen.size();
    conn->call("Sums", {}, static_cast<server::RowSet*>(nullptr));
    EXPECT_EQ(seen.size(), traced) << "tracing did not stop";

    std::vector<std::string> inserts;
    std::size_t boundExtra = 0;
    for (const auto& t : seen) {
        if (t.sql.find("INSERT INTO") != std::string::npos)
            inserts.push_back(t.sql);
        for (const auto& [name, value] : t.bound) {
            if (name == "@extra" && value.text == "traced")
                ++boundExtra;
        }
    }
    // Both inserts of the body in order, each with the value it was given; then the
    // framing around the body: the savepoint released, the temp table dropped.
    ASSERT_EQ(inserts.size(), 2u);
    EXPECT_NE(inserts[0].find("'a; b'"), std::string::npos) << inserts[0];
    EXPECT_NE(inserts[1].find("INTO log"), std::string::npos) << inserts[1];
    EXPECT_EQ(boundExtra, 2u);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back().sql, "DROP TABLE temp.\"r\"");
    EXPECT_NE(std::find_if(seen.begin(), seen.end(),
                           [](const auto& t) { return t.sql == "RELEASE exportpnl_call"; }),
              seen.end());
}

// A procedure's statements stay prepared from one call to the next; nothing of an earlier
// call may show in a later one.
TEST_F(ProceduresTest, KeptStatementsAnswerEachCallAsIfPreparedAnew) {
    srv.exec("Biz", "CREATE TABLE item(k INT PRIMARY KEY, name TEXT); INSERT INTO item VALUES(1, 'a');");
    srv.addProcedure("Biz", "Items", "SELECT * FROM item WHERE k >= coalesce(@from, 0) ORDER BY k;");
    srv.addProcedure("Biz", "AddItem", "INSERT INTO item(k, name) VALUES(@k, 'added');");
    auto other = server::Server::open(srv.folder()).connect("biz");
    auto items = [&](std::vector<ProcParam> params) {
        server::RowSet rows;
        conn->call("Items", params, &rows);
        return rows;
    };
    EXPECT_EQ(items({in("@from", Value::fromInt(2))}).rows.size(), 0u);
    // A parameter sent last time and not now is NULL again.
    EXPECT_EQ(items({}).rows.size(), 1u);

    // Another connection changes the table's columns: the kept statement follows.
    other->execute("ALTER TABLE item ADD COLUMN price MONEY", nullptr);
    other->execute("UPDATE item SET price = 2.5", nullptr);
    server::RowSet rows = items({});
    ASSERT_EQ(rows.columns.size(), 3u);
    EXPECT_EQ(rows.columns[2].type, server::ColumnType::Currency);
    EXPECT_EQ(rows.rows.at(0).at(2).integer, 25000);

    // A changed body is run as it now stands.
    srv.addProcedure("Biz", "Items", "SELECT name FROM item ORDER BY k DESC;");
    rows = items({});
    ASSERT_EQ(rows.columns.size(), 1u);
    EXPECT_EQ(rows.rows.at(0).at(0).text, "a");

    // A failed call leaves the next one whole.
    EXPECT_THROW(conn->call("AddItem", {in("@k", Value::fromInt(1))},
                            static_cast<server::RowSet*>(nullptr)),
                 server::Error);
    conn->call("AddItem", {in("@k", Value::fromInt(2))}, static_cast<server::RowSet*>(nullptr));
    EXPECT_EQ(items({}).rows.size(), 2u);
}

}  // namespace
