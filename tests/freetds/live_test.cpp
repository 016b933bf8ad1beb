// Common database checks against a real SQL Server, run only when one is named in the
// environment: EXPORTPNL_MSSQL_SERVER (host, host:port or host\instance), and optionally
// EXPORTPNL_MSSQL_USER, EXPORTPNL_MSSQL_PASSWORD, EXPORTPNL_MSSQL_DATABASE. Otherwise skipped.
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/text/errors.h"

#include <QDateTime>

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

}  // namespace
