// The demo's import and statistics procedures answer exactly what their earlier, plainly
// written versions answered (kept below as the reference): one demo runs the procedures as
// built, its twin from the same seed runs the reference, and both go through the same
// receipt changes and imports.
#include "server/demo/demobuilder.h"
#include "serverhelpers.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using server::Value;

// Copies every receipt of the years again and compares row by row.
constexpr const char* kReferenceImport = R"sql(
DELETE FROM yw_receipts
 WHERE iyear BETWEEN CAST(@year1 AS INT) AND CAST(@year2 AS INT)
   AND receipt_id NOT IN (SELECT receipt_id FROM cw_receipts
                           WHERE iyear BETWEEN CAST(@year1 AS INT) AND CAST(@year2 AS INT));
INSERT OR REPLACE INTO yw_receipts(receipt_id, iyear, invoiceno, usd, rmb)
SELECT c.receipt_id, c.iyear, c.invoiceno, c.usd, c.rmb
  FROM cw_receipts c
 WHERE c.iyear BETWEEN CAST(@year1 AS INT) AND CAST(@year2 AS INT)
   AND NOT EXISTS (SELECT 1 FROM yw_receipts y
                    WHERE y.receipt_id = c.receipt_id AND y.iyear = c.iyear
                      AND y.invoiceno = c.invoiceno AND y.usd = c.usd AND y.rmb = c.rmb);
)sql";

// Sums the receipts of a shipment wherever the sum is used.
constexpr const char* kReferenceStatistics = R"sql(
CREATE TEMP TABLE stat_result(
    invoiceno VARCHAR(12), UnExchTag CHAR(2), dept VARCHAR(20),
    srUSD MONEY, srRMB MONEY, yfUSD MONEY, yfRMB MONEY, bfUSD MONEY, bfRMB MONEY,
    yjUSD MONEY, yjRMB MONEY, cb MONEY, value_no VARCHAR(12),
    lirun MONEY, lirun_true MONEY, shouhui MONEY);
CREATE TEMP TABLE stat_param AS
SELECT CAST(@year1 AS INT) * 100 + CAST(@month1 AS INT) AS ym1,
       CAST(@year2 AS INT) * 100 + CAST(@month2 AS INT) AS ym2,
       CAST(@year1 AS INT) AS y1,
       coalesce(@ViewObject, '') AS kind,
       trim(coalesce(@deptid, '')) AS deptid,
       trim(coalesce(@salerid, '')) AS salerid,
       coalesce(CAST(@queryOption AS INT), 0) AS opt;
INSERT INTO stat_result
SELECT invoiceno,
       CASE WHEN recv_usd < srUSD THEN '*' ELSE '' END,
       deptname, srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB, yjUSD, yjRMB, cb, value_no,
       lirun,
       lirun * CASE WHEN srUSD > 0 AND recv_usd < srUSD
                    THEN (srUSD - recv_usd) / srUSD ELSE 0 END,
       recv_usd
  FROM (SELECT s.*, coalesce(d.deptname, s.dept) AS deptname,
               s.srRMB - s.yfRMB - s.bfRMB - s.yjRMB - s.cb AS lirun,
               (SELECT total(r.usd) FROM yw_receipts r WHERE r.invoiceno = s.invoiceno) AS recv_usd
          FROM (SELECT s.* FROM stat_param p JOIN shipment s
                    ON s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind NOT IN ('D', 'S')
                UNION ALL
                SELECT s.* FROM stat_param p JOIN shipment s
                    ON s.dept = p.deptid AND s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind = 'D'
                UNION ALL
                SELECT s.* FROM stat_param p JOIN shipment s
                    ON s.salerid = p.salerid AND s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind = 'S' AND p.y1 < 2004
                UNION ALL
                SELECT s.* FROM stat_param p JOIN shipment s
                    ON s.cwdept = p.salerid AND s.ym BETWEEN p.ym1 AND p.ym2
                 WHERE p.kind = 'S' AND p.y1 >= 2004) s
          LEFT JOIN ywdept d ON d.deptid = s.dept)
 WHERE (SELECT opt FROM stat_param) <> 1 OR recv_usd < srUSD;
SELECT * FROM stat_result ORDER BY invoiceno;
)sql";

struct Query {
    const char* what;
    const char* kind;
    const char* id;
    const char* year1;
    const char* month1;
    const char* year2;
    const char* month2;
    int option;
};

const Query kQueries[] = {
    {"whole company, a year", "C", "", "2023", "1", "2023", "12", 0},
    {"not yet received, across years", "C", "", "2022", "11", "2024", "3", 1},
    {"department, one month", "D", "03", "2023", "5", "2023", "5", 0},
    {"department id padded", "D", " 03 ", "2023", "1", "2023", "06", 1},
    {"kernel salesperson before 2004", "S", "0015", "2003", "1", "2003", "12", 0},
    {"financial group from 2004", "S", "5031", "2022", "1", "2024", "12", 1},
    {"no shipments in the period", "C", "", "2010", "1", "2010", "12", 0},
};

// Differences of two result sets, at most a few, for the failure text; empty when equal.
std::string differences(const server::RowSet& got, const server::RowSet& want) {
    std::ostringstream out;
    if (got.columns.size() != want.columns.size())
        return "column count " + std::to_string(got.columns.size()) + " vs " +
               std::to_string(want.columns.size());
    for (std::size_t c = 0; c < got.columns.size(); ++c) {
        const auto& a = got.columns[c];
        const auto& b = want.columns[c];
        if (a.name != b.name || a.type != b.type || a.size != b.size)
            out << "column " << c << ": " << a.name << " vs " << b.name << "\n";
    }
    if (got.rows.size() != want.rows.size())
        out << "row count " << got.rows.size() << " vs " << want.rows.size() << "\n";
    int shown = 0;
    for (std::size_t r = 0; r < std::min(got.rows.size(), want.rows.size()) && shown < 5; ++r) {
        for (std::size_t c = 0; c < got.columns.size() && shown < 5; ++c) {
            const Value& a = got.rows[r][c];
            const Value& b = want.rows[r][c];
            if (a.kind != b.kind || a.integer != b.integer || a.real != b.real ||
                a.text != b.text) {
                out << "row " << r << " column " << got.columns[c].name << ": " << a.text << "/"
                    << a.integer << "/" << a.real << " vs " << b.text << "/" << b.integer << "/"
                    << b.real << "\n";
                ++shown;
            }
        }
    }
    return out.str();
}

class DemoImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        demo::DemoOptions options;
        options.shipments = 400;
        options.seed = 7;
        options.clock = "2024-03-15 10:00:00";
        demo::DemoBuilder(options).build(built.folder());
        demo::DemoBuilder(options).build(reference.folder());
        reference.addProcedure("Calvesteri", "ImportYYCWDATA", kReferenceImport);
        reference.addProcedure("Calvesteri", "StatCalvesteri", kReferenceStatistics);
        builtConn = server::Server::open(built.folder()).connect("Calvesteri");
        referenceConn = server::Server::open(reference.folder()).connect("Calvesteri");
    }

    // The same raw SQLite change on both demos, as the financial system would make it.
    void change(const std::string& sql) {
        built.exec("Calvesteri", sql);
        reference.exec("Calvesteri", sql);
    }
    static void import(server::Connection& conn, const char* y1, const char* y2) {
        conn.call("dbo.ImportYYCWDATA",
                  {{"@year1", Value::fromText(y1)}, {"@year2", Value::fromText(y2)}},
                  static_cast<server::RowSet*>(nullptr));
    }
    static server::RowSet statistics(server::Connection& conn, const Query& q) {
        server::RowSet rows;
        conn.call("dbo.StatCalvesteri",
                  {{"@ViewObject", Value::fromText(q.kind)},
                   {"@deptid", Value::fromText(q.id)},
                   {"@salerid", Value::fromText(q.id)},
                   {"@year1", Value::fromText(q.year1)},
                   {"@month1", Value::fromText(q.month1)},
                   {"@year2", Value::fromText(q.year2)},
                   {"@month2", Value::fromText(q.month2)},
                   {"@queryOption", Value::fromInt(q.option)}},
                  &rows);
        return rows;
    }
    static server::RowSet receipts(server::Connection& conn) {
        return servertest::queryOrFail(
            conn, "select receipt_id, iyear, invoiceno, usd, rmb from yw_receipts order by 1");
    }

    testsupport::TempServer built, reference;
    std::unique_ptr<server::Connection> builtConn, referenceConn;
};

TEST_F(DemoImportTest, ImportsAndStatisticsMatchTheReferenceThroughChanges) {
    // Receipts picked by what they are, so the same rows are meant on both demos.
    const std::string first2023 = "(SELECT min(receipt_id) FROM cw_receipts WHERE iyear = 2023)";
    const std::string last2023 = "(SELECT max(receipt_id) FROM cw_receipts WHERE iyear = 2023)";
    const std::string unpaid2023 =
        "(SELECT min(invoiceno) FROM shipment WHERE ym BETWEEN 202301 AND 202312"
        " AND invoiceno NOT IN (SELECT invoiceno FROM cw_receipts))";
    struct Step {
        const char* what;
        std::string sql;  // the change before the import; empty: none
        const char* year1;
        const char* year2;
        bool repeat = false;  // nothing changed since the step before: same results as there
    } steps[] = {
        {"first import", "", "2003", "2024"},
        {"nothing changed", "", "2003", "2024", true},
        {"an amount changes",
         "UPDATE cw_receipts SET usd = usd + 1000, rmb = rmb + 7100 WHERE receipt_id = " +
             first2023,
         "2003", "2024"},
        {"a receipt pays an open shipment in full",
         "INSERT INTO cw_receipts SELECT (SELECT max(receipt_id) + 1 FROM cw_receipts), 2023, "
         "12, '2023-12-20 00:00:00', invoiceno, cwdept, srUSD, srRMB FROM shipment "
         "WHERE invoiceno = " +
             unpaid2023,
         "2003", "2024"},
        {"a receipt is deleted", "DELETE FROM cw_receipts WHERE receipt_id = " + last2023, "2003",
         "2024"},
        {"a receipt moves to another shipment",
         "UPDATE cw_receipts SET invoiceno = (SELECT max(invoiceno) FROM shipment "
         "WHERE ym < 202312) WHERE receipt_id = " +
             first2023,
         "2003", "2024"},
        {"a receipt is renumbered",
         "UPDATE cw_receipts SET receipt_id = receipt_id + 100000 WHERE receipt_id = " + last2023,
         "2003", "2024"},
        {"a change outside the range stays out",
         "UPDATE cw_receipts SET usd = usd / 2 WHERE receipt_id = " + last2023, "2024", "2024"},
        {"and comes in with the whole range", "", "2003", "2024"},
        {"a receipt moves into the one year imported",
         "UPDATE cw_receipts SET iyear = 2024, imonth = 1 WHERE receipt_id = " + first2023, "2024",
         "2024"},
        {"a year of receipts deleted and written again",
         "CREATE TABLE keep AS SELECT * FROM cw_receipts WHERE iyear = 2022;"
         "DELETE FROM cw_receipts WHERE iyear = 2022;"
         "INSERT INTO cw_receipts SELECT * FROM keep; DROP TABLE keep;",
         "2003", "2024"},
        {"a reversed range imports nothing",
         "DELETE FROM cw_receipts WHERE receipt_id = " + first2023, "2024", "2023"},
        {"a range with a year never imported", "", "2022", "2025"},
        {"the whole range again", "", "2003", "2024"},
        {"nothing changed after all that", "", "2003", "2024", true},
    };

    std::vector<server::RowSet> before(std::size(kQueries));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (!step.sql.empty())
            change(step.sql);
        import(*builtConn, step.year1, step.year2);
        import(*referenceConn, step.year1, step.year2);
        EXPECT_EQ(differences(receipts(*builtConn), receipts(*referenceConn)), "");
        for (std::size_t i = 0; i < std::size(kQueries); ++i) {
            const Query& q = kQueries[i];
            SCOPED_TRACE(q.what);
            const auto got = statistics(*builtConn, q);
            EXPECT_EQ(differences(got, statistics(*referenceConn, q)), "");
            if (step.repeat) {
                EXPECT_EQ(differences(got, before[i]), "") << "a repeated import changed it";
            }
            before[i] = got;
        }
    }
    for (const auto& rows : before) {
        if (!rows.rows.empty())
            return;
    }
    ADD_FAILURE() << "every query came back empty: the cases test nothing";
}

TEST_F(DemoImportTest, ChangeMarksDoNotPileUp) {
    import(*builtConn, "2003", "2024");
    for (int i = 0; i < 5; ++i)
        built.exec("Calvesteri", "UPDATE cw_receipts SET usd = usd + 1 WHERE receipt_id = " +
                                     std::to_string(10 + i));
    import(*builtConn, "2003", "2024");
    import(*builtConn, "2003", "2024");
    const auto marks =
        servertest::queryOrFail(*builtConn, "select count(*) from cw_receipts_changes");
    ASSERT_EQ(marks.rows.size(), 1u);
    // The highest mark stays: the next change must get a higher version than any import saw.
    EXPECT_EQ(marks.rows[0][0].integer, 1);

    built.exec("Calvesteri", "UPDATE cw_receipts SET usd = usd + 1 WHERE receipt_id = 10");
    import(*builtConn, "2003", "2024");
    EXPECT_EQ(differences(servertest::queryOrFail(
                              *builtConn, "select usd from yw_receipts where receipt_id = 10"),
                          servertest::queryOrFail(
                              *builtConn, "select usd from cw_receipts where receipt_id = 10")),
              "");
}

}  // namespace
