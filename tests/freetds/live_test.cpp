// Common database checks against a real SQL Server, run only when one is named in the
// environment: EXPORTPNL_MSSQL_SERVER (host, host:port or host\instance), and optionally
// EXPORTPNL_MSSQL_USER, EXPORTPNL_MSSQL_PASSWORD, EXPORTPNL_MSSQL_DATABASE. Otherwise skipped.
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/text/errors.h"

#include <QDateTime>

#include <optional>

#include <gtest/gtest.h>

namespace {

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

class LiveServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (env("EXPORTPNL_MSSQL_SERVER").isEmpty())
            GTEST_SKIP() << "no server configured (EXPORTPNL_MSSQL_SERVER)";
        m_db = std::make_unique<db::Database>(QStringLiteral("live_mssql"));
        m_db->Params().setLines({
            QStringLiteral("HOST NAME=live-test,0000-sta4-Dict"),
            QStringLiteral("PASSWORD=") + env("EXPORTPNL_MSSQL_PASSWORD"),
            QStringLiteral("USER NAME=") + (env("EXPORTPNL_MSSQL_USER").isEmpty()
                                                ? QStringLiteral("sa")
                                                : env("EXPORTPNL_MSSQL_USER")),
            QStringLiteral("SERVER NAME=") + env("EXPORTPNL_MSSQL_SERVER"),
            QStringLiteral("DATABASE NAME=") + env("EXPORTPNL_MSSQL_DATABASE"),
            QStringLiteral("APPLICATION NAME=QEmDll"),
            QStringLiteral("CONNECT TIMEOUT=15"),
        });
        m_db->Open();
    }

    void exec(const QString& sql) {
        db::Query q;
        q.SetDatabaseName(QStringLiteral("live_mssql"));
        q.SQL() << sql;
        q.ExecSQL();
    }

    std::unique_ptr<db::Database> m_db;
};

TEST_F(LiveServer, TypedRowsRoundTrip) {
    exec(QStringLiteral(
        "create table #t (ywbh nvarchar(20) null, amount money null, qty int null, "
        "rate float null, at datetime null, memo ntext null, w decimal(18,4) null)\n"
        "insert #t values (N'EX-𠀀€', 1234.5678, -7, 0.25, '2005-03-04T09:41:07', N'备注', "
        "-1.5)\ninsert #t values (null, null, null, null, null, null, null)"));
    db::Query q;
    q.SetDatabaseName(QStringLiteral("live_mssql"));
    q.SQL() << QStringLiteral("select * from #t order by qty desc");
    q.Open();
    ASSERT_EQ(q.RecordCount(), 2);
    q.First();
    EXPECT_EQ(q.FieldByName(QStringLiteral("ywbh"))->AsString(), QStringLiteral("EX-𠀀€"));
    EXPECT_EQ(q.FieldByName(QStringLiteral("amount"))->DataType(), db::FieldType::Currency);
    EXPECT_EQ(q.store().integer(0, 1), 12345678);
    EXPECT_EQ(q.FieldByName(QStringLiteral("qty"))->AsInteger(), -7);
    EXPECT_EQ(q.FieldByName(QStringLiteral("rate"))->AsFloat(), 0.25);
    EXPECT_EQ(q.FieldByName(QStringLiteral("at"))->AsDateTime(),
              QDateTime(QDate(2005, 3, 4), QTime(9, 41, 7)));
    EXPECT_EQ(q.FieldByName(QStringLiteral("memo"))->DataType(), db::FieldType::Memo);
    EXPECT_EQ(q.FieldByName(QStringLiteral("w"))->AsFloat(), -1.5);
    q.Next();
    for (int c = 0; c < q.FieldCount(); ++c) EXPECT_TRUE(q.fieldAt(c)->IsNull()) << c;
}

TEST_F(LiveServer, DoubleQuotedTextIsAString) {
    db::Query q;
    q.SetDatabaseName(QStringLiteral("live_mssql"));
    q.SQL() << QStringLiteral("select 'list'=\"B\"+' '+\"出口\", getDate()");
    q.Open();
    EXPECT_EQ(q.FieldByName(QStringLiteral("list"))->AsString(), QStringLiteral("B 出口"));
    EXPECT_EQ(q.fieldAt(1)->DataType(), db::FieldType::DateTime);
}

TEST_F(LiveServer, ProcedureOutputsAndRows) {
    exec(QStringLiteral(
        "create procedure #cw2yw @curyear int, @cwdept varchar(20), @toYWdept varchar(2) output "
        "as begin select deptname = 'dept ' + @cwdept; "
        "set @toYWdept = case when @curyear = 2005 then 'B1' else null end end"));
    db::StoredProc p;
    p.SetDatabaseName(QStringLiteral("live_mssql"));
    p.SetStoredProcName(QStringLiteral("#cw2yw"));
    p.addParam(QStringLiteral("Result"), db::FieldType::Integer, db::ParamType::Result);
    p.addParam(QStringLiteral("@curyear"), db::FieldType::Integer, db::ParamType::Input);
    p.addParam(QStringLiteral("@cwdept"), db::FieldType::String, db::ParamType::Input);
    p.addParam(QStringLiteral("@toYWdept"), db::FieldType::String, db::ParamType::Output);
    p.ParamByName(QStringLiteral("@curyear")).Value = 2005;
    p.ParamByName(QStringLiteral("@cwdept")).Value = QStringLiteral("0301");
    p.Open();
    EXPECT_EQ(p.FieldByName(QStringLiteral("deptname"))->AsString(), QStringLiteral("dept 0301"));
    EXPECT_EQ(p.ParamByName(QStringLiteral("@toYWdept")).AsString(), QStringLiteral("B1"));
    p.Close();
    p.ParamByName(QStringLiteral("@curyear")).Value = 2004;
    p.ExecProc();
    EXPECT_TRUE(p.ParamByName(QStringLiteral("@toYWdept")).IsNull());
}

TEST_F(LiveServer, ServerErrorRaisesAndConnectionStaysOpen) {
    db::Query q;
    q.SetDatabaseName(QStringLiteral("live_mssql"));
    q.SQL() << QStringLiteral("select * from no_such_table_here");
    try {
        q.Open();
        FAIL() << "missing table not reported";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.errorCode(), 208);
    }
    EXPECT_TRUE(m_db->Connected());
    exec(QStringLiteral("select 1"));
}

// Every type the back end reads, at its limits, and NULL of each, from the server itself.
TEST_F(LiveServer, EveryTypeAtItsLimits) {
    struct Case {
        const char* expr;
        const char* nullType;  // a NULL of the expression's type is CAST(NULL AS nullType)
        db::FieldType type;
        const char* text;
        std::optional<std::int64_t> units;
    };
    using db::FieldType;
    // Single-byte Chinese text takes the Chinese (PRC) collation's code page whatever the
    // database's own collation is.
    const Case cases[] = {
        {"CAST(255 AS tinyint)", "tinyint", FieldType::Integer, "255", 255},
        {"CAST(-32768 AS smallint)", "smallint", FieldType::Integer, "-32768", -32768},
        {"CAST(-2147483648 AS int)", "int", FieldType::Integer, "-2147483648", -2147483648LL},
        {"CAST(-9223372036854775808 AS bigint)", "bigint", FieldType::Integer,
         "-9223372036854775808", INT64_MIN},
        {"CAST(1 AS bit)", "bit", FieldType::Integer, "1", 1},
        {"CAST(-922337203685477.5808 AS money)", "money", FieldType::Currency, "-922337203685478",
         INT64_MIN},
        {"CAST(922337203685477.5807 AS money)", "money", FieldType::Currency, "922337203685478",
         INT64_MAX},
        {"CAST(-214748.3648 AS smallmoney)", "smallmoney", FieldType::Currency, "-214748.3648",
         -2147483648LL},
        {"CAST(1.7976931348623157E308 AS float)",
         "float",
         FieldType::Float,
         "1.79769313486232E308",
         {}},
        {"CAST(3.4028235E38 AS real)", "real", FieldType::Float, "3.40282346638529E38", {}},
        {"CAST(9 AS decimal(1,0))", "decimal(1,0)", FieldType::Currency, "9", 90000},
        {"CAST(922337203685477.5807 AS decimal(38,4))", "decimal(38,4)", FieldType::Currency,
         "922337203685478", INT64_MAX},
        {"SUM(CAST(-9223372036854.75 AS decimal(18,2)))", "decimal(38,2)", FieldType::Currency,
         "-9223372036854.75", -92233720368547500},
        {"CAST(-12345.6789 AS numeric(9,4))", "numeric(9,4)", FieldType::Currency, "-12345.6789",
         -123456789},
        {"CAST(1.2345678901 AS decimal(19,10))",
         "decimal(19,10)",
         FieldType::Float,
         "1.2345678901",
         {}},
        {"CAST(N'业务一部' COLLATE Chinese_PRC_CI_AS AS char(10))",
         "char(10)",
         FieldType::String,
         "业务一部  ",
         {}},
        {"CAST(N'出口盈亏' COLLATE Chinese_PRC_CI_AS AS varchar(20))",
         "varchar(20)",
         FieldType::String,
         "出口盈亏",
         {}},
        {"CAST('' AS varchar(20))", "varchar(20)", FieldType::String, "", {}},
        {"CAST(N'𠀀€出' AS nchar(4))", "nchar(4)", FieldType::String, "𠀀€出", {}},
        {"CAST(N'EX-€1' AS nvarchar(40))", "nvarchar(40)", FieldType::String, "EX-€1", {}},
        {"CAST(N'备注' COLLATE Chinese_PRC_CI_AS AS text)", "text", FieldType::Memo, "备注", {}},
        {"CAST(N'长文本' AS ntext)", "ntext", FieldType::Memo, "长文本", {}},
        {"CAST('1753-01-01' AS datetime)", "datetime", FieldType::DateTime, "1753-01-01", {}},
        {"CAST('9999-12-31T23:59:59.997' AS datetime)",
         "datetime",
         FieldType::DateTime,
         "9999-12-31 23:59:59",
         {}},
        {"CAST('2079-06-06T23:59:00' AS smalldatetime)",
         "smalldatetime",
         FieldType::DateTime,
         "2079-06-06 23:59:00",
         {}},
        {"CAST('2024-03-15' AS date)", "date", FieldType::DateTime, "2024-03-15", {}},
        {"CAST('9999-12-31T23:59:59.1234567' AS datetime2(7))",
         "datetime2(7)",
         FieldType::DateTime,
         "9999-12-31 23:59:59",
         {}},
    };
    QStringList values;
    QStringList nulls;
    for (const Case& c : cases) {
        const QString expr = QString::fromUtf8(c.expr);
        values << expr;
        nulls << QStringLiteral("CAST(NULL AS %1)").arg(QLatin1String(c.nullType));
    }
    db::Query q;
    q.SetDatabaseName(QStringLiteral("live_mssql"));
    q.SQL() << QStringLiteral("select ") + values.join(QStringLiteral(", ")) +
                   QStringLiteral(" union all select ") + nulls.join(QStringLiteral(", "));
    q.Open();
    ASSERT_EQ(q.RecordCount(), 2);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const int col = static_cast<int>(i);
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(q.store().columns()[i].type, c.type);
        EXPECT_EQ(q.store().string(0, col).toStdString(), c.text);
        if (c.units) {
            EXPECT_EQ(q.store().integer(0, col), *c.units);
        }
        EXPECT_TRUE(q.store().isNull(1, col));
    }
}

// Before, DB-Library's remote-call interface sent an empty string input as NULL.
TEST_F(LiveServer, EmptyStringInputsArriveAsEmptyStrings) {
    exec(QStringLiteral(
        "create procedure #probe @s varchar(10), @n int, @seen varchar(20) output as begin "
        "select seen = case when @s is null then 'NULL' when @s = '' then 'EMPTY' else @s end, "
        "n = @n; set @seen = case when @s is null then 'NULL' "
        "else 'length ' + cast(datalength(@s) as varchar(5)) end end"));
    db::StoredProc p;
    p.SetDatabaseName(QStringLiteral("live_mssql"));
    p.SetStoredProcName(QStringLiteral("#probe"));
    p.addParam(QStringLiteral("@s"), db::FieldType::String, db::ParamType::Input);
    p.addParam(QStringLiteral("@n"), db::FieldType::Integer, db::ParamType::Input);
    p.addParam(QStringLiteral("@seen"), db::FieldType::String, db::ParamType::Output);
    const std::pair<QVariant, const char*> cases[] = {
        {QString(QLatin1String("")), "EMPTY"}, {QVariant(), "NULL"}, {QStringLiteral("x'"), "x'"}};
    for (const auto& [value, seen] : cases) {
        p.Close();
        p.ParamByName(QStringLiteral("@s")).Value = value;
        p.ParamByName(QStringLiteral("@n")).Value = 0;
        p.Open();
        EXPECT_EQ(p.FieldByName(QStringLiteral("seen"))->AsString(), QString::fromUtf8(seen));
        EXPECT_EQ(p.FieldByName(QStringLiteral("n"))->AsInteger(), 0);
    }
    p.Close();
    p.ParamByName(QStringLiteral("@s")).Value = QString(QLatin1String(""));
    p.ExecProc();
    EXPECT_EQ(p.ParamByName(QStringLiteral("@seen")).AsString(), QStringLiteral("length 0"));
}

}  // namespace
