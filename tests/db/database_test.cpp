// Connections: the "Default" registry, parameter lists as the driver reads them, and the
// embedded back end (client identity, time limit, clear failures, queries and procedures).
#include "framework/db/database.h"
#include "framework/db/drivers/embedded/embeddedconnection.h"
#include "framework/db/query.h"
#include "framework/text/errors.h"
#include "serverfixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using db::Database;
using db::Session;

// Prints the database error's own text when a statement unexpectedly fails.
#define ASSERT_NO_DB_ERROR(stmt)                                     \
    try {                                                            \
        stmt;                                                        \
    } catch (const Exception& e) {                                   \
        FAIL() << #stmt << " failed: " << e.message().toStdString(); \
    }

TEST(ParamList, KeysIgnoreCaseAndTheFirstLineIsInForce) {
    db::ParamList p;
    p.setLines({"HOST NAME=pc,0012-sta4-Dict", "PASSWORD=", "server name=/srv", "NOEQUALS",
                "HOST NAME=", "PASSWORD=later"});
    bool found = false;
    EXPECT_EQ(p.Values("host name", &found), "pc,0012-sta4-Dict");
    EXPECT_TRUE(found);
    EXPECT_EQ(p.Values("PASSWORD", &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(p.Values("SERVER NAME"), "/srv");
    EXPECT_EQ(p.Values("OPEN MODE", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(p.valueOr("OPEN MODE", "READ ONLY"), "READ ONLY");
    EXPECT_EQ(p.valueOr("PASSWORD", "x"), "");
}

TEST(ParamList, DeleteAndInsertAtTheTop) {
    db::ParamList p;
    p.setLines({"a=1", "b=2", "c=3"});
    p.Delete(0);
    p.Insert(0, "z=9");
    p.Insert(0, "y=8");
    EXPECT_EQ(p.lines(), QStringList({"y=8", "z=9", "b=2", "c=3"}));
    EXPECT_THROW(p.Delete(4), EInvalidOperation);
}

TEST(Session, DuplicateNameFailsAndLeavesTheFirstRegistered) {
    Database first("DB_Dup");
    try {
        Database second("db_dup");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Duplicate database name 'db_dup'");
    }
    EXPECT_EQ(Session::Default().FindDatabase("DB_DUP"), &first);
}

TEST(Session, RenamingChecksTheRegistryAndDestructionFreesTheName) {
    Database a("DB_A");
    {
        Database b("DB_B");
        EXPECT_THROW(b.SetDatabaseName("db_a"), EDatabaseError);
        EXPECT_EQ(b.DatabaseName(), "DB_B");
        b.SetDatabaseName("Db_b");  // its own name in another case
        EXPECT_EQ(Session::Default().FindDatabase("DB_B"), &b);
    }
    EXPECT_EQ(Session::Default().FindDatabase("DB_B"), nullptr);
    Database again("DB_B");
    EXPECT_EQ(Session::Default().FindDatabase("db_b"), &again);
    EXPECT_EQ(Session::Default().SessionName(), "Default");
    EXPECT_EQ(again.DriverName(), "MSSQL");
    EXPECT_FALSE(again.LoginPrompt());
}

class EmbeddedTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.exec("Biz",
                    "CREATE TABLE ship(invoiceno VARCHAR(10), srUSD MONEY, qty INT);"
                    "INSERT INTO ship VALUES('A123', 1234.5, 2), ('B7', NULL, 3);");
        server.exec("Kernel",
                    "CREATE TABLE dept(DeptId CHAR(2), deptname VARCHAR(20));"
                    "INSERT INTO dept VALUES('03', 'Sales 3');");
        server.addProcedure("Biz", "map",
                            "select upper(@code) as \"@out\"; "
                            "select invoiceno, srUSD from ship where qty >= @min");
    }
    void connect(Database& d, const QStringList& extra = {}) {
        d.Params().setLines(QStringList{"SERVER NAME=" + server.qfolder(), "DATABASE NAME=biz",
                                        "USER NAME=sa", "PASSWORD="} +
                            extra);
        d.Open();
    }
    testsupport::TempServer server;
};

TEST_F(EmbeddedTest, KeepsTheClientIdentityAndTimeLimitFromTheFirstLines) {
    Database d("DB_Identity");
    connect(d, {"HOST NAME=PC-ACCOUNTING,0012-sta4-09:41", "APPLICATION NAME=QEmDll",
                "MAX QUERY TIME=120", "HOST NAME=", "APPLICATION NAME="});
    auto& c = dynamic_cast<db::EmbeddedConnection&>(d.connection());
    EXPECT_EQ(c.hostName(), "PC-ACCOUNTING,0012-sta4-09:41");
    EXPECT_EQ(c.applicationName(), "QEmDll");
    EXPECT_EQ(c.userName(), "sa");
    EXPECT_EQ(c.queryTimeLimit(), 120);
}

TEST_F(EmbeddedTest, MissingTimeLimitTakesTheDriverDefault) {
    Database d("DB_Default");
    connect(d);
    EXPECT_EQ(dynamic_cast<db::EmbeddedConnection&>(d.connection()).queryTimeLimit(),
              db::EmbeddedConnection::kDefaultQueryTimeLimit);
}

TEST_F(EmbeddedTest, StatementOverTheTimeLimitFails) {
    Database d("DB_Slow");
    connect(d, {"MAX QUERY TIME=1"});
    db::Query q;
    q.SetDatabaseName("DB_Slow");
    q.SQL() << "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)"
            << "SELECT count(*) FROM n";
    EXPECT_THROW(q.Open(), EDatabaseError);
    EXPECT_FALSE(q.Active());
}

TEST_F(EmbeddedTest, MissingFolderOrDatabaseFailsNamingIt) {
    Database d("DB_Missing");
    d.Params().setLines({"SERVER NAME=" + server.qfolder() + "/nowhere", "DATABASE NAME=biz"});
    try {
        d.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains("nowhere")) << e.message().toStdString();
    }
    EXPECT_FALSE(d.Connected());
    d.Params().setLines({"SERVER NAME=" + server.qfolder(), "DATABASE NAME=NoSuchDb"});
    try {
        d.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains("NoSuchDb")) << e.message().toStdString();
    }
    EXPECT_FALSE(d.Connected());
}

TEST_F(EmbeddedTest, QueryFetchesTypedRowsAndOtherDatabasesByName) {
    Database d("DB_Query");
    connect(d);
    db::Query q;
    q.SetDatabaseName("db_query");
    q.SQL() << "select invoiceno, srUSD, qty from ship"
            << "order by invoiceno";
    ASSERT_NO_DB_ERROR(q.Open());
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldByName("srusd")->DataType(), db::FieldType::Currency);
    EXPECT_EQ(q.FieldByName("qty")->DataType(), db::FieldType::Integer);
    EXPECT_EQ(q.FieldByName("invoiceno")->Size(), 10);
    EXPECT_EQ(q.FieldByName("srUSD")->AsFloat(), 1234.5);
    q.Close();
    q.SQL().clear();
    q.SQL() << "Select deptname from Kernel.dbo.dept "
            << "where deptid='03'";
    ASSERT_NO_DB_ERROR(q.Open());
    EXPECT_EQ(q.FieldByName("deptname")->AsString(), "Sales 3");
}

TEST_F(EmbeddedTest, DatasetOpensItsClosedConnectionAndCloseClosesDatasets) {
    Database d("DB_Auto");
    d.Params().setLines({"SERVER NAME=" + server.qfolder(), "DATABASE NAME=biz"});
    db::Query q;
    q.SetDatabaseName("DB_Auto");
    q.SQL() << "select * from ship";
    ASSERT_NO_DB_ERROR(q.Open());
    EXPECT_TRUE(d.Connected());
    d.Close();
    EXPECT_FALSE(q.Active());
    EXPECT_THROW(q.RecordCount(), EDatabaseError);
}

TEST_F(EmbeddedTest, ConnectionWhoseFolderWentAwayFailsAndIsReopenedLater) {
    Database d("DB_Gone");
    connect(d);
    db::Query q;
    q.SetDatabaseName("DB_Gone");
    q.SQL() << "select * from ship";
    ASSERT_NO_DB_ERROR(q.Open());
    q.Close();
    const std::string folder = server.folder();
    std::filesystem::rename(folder, folder + ".moved");
    try {
        q.Open();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains("'Biz'")) << e.message().toStdString();
    }
    EXPECT_FALSE(d.Connected());
    EXPECT_THROW(q.Open(), EDatabaseError);  // the folder is still missing
    std::filesystem::rename(folder + ".moved", folder);
    ASSERT_NO_DB_ERROR(q.Open());
    EXPECT_EQ(q.RecordCount(), 2);
}

TEST_F(EmbeddedTest, UnknownConnectionNameFails) {
    db::Query q;
    q.SetDatabaseName("DB_Nobody");
    q.SQL() << "select 1";
    EXPECT_THROW(q.Open(), EDatabaseError);
}

TEST_F(EmbeddedTest, StoredProcReturnsRowsOutputsAndResult) {
    Database d("DB_Proc");
    connect(d);
    db::StoredProc sp;
    sp.SetDatabaseName("DB_Proc");
    sp.SetStoredProcName("dbo.map");
    sp.addParam("Result", db::FieldType::Integer, db::ParamType::Result);
    sp.addParam("@code", db::FieldType::String, db::ParamType::Input);
    sp.addParam("@min", db::FieldType::Integer, db::ParamType::Input);
    sp.addParam("@out", db::FieldType::String, db::ParamType::Output);
    sp.ParamByName("@CODE").SetAsString("ab");
    sp.ParamByName("@min").SetAsInteger(3);
    ASSERT_NO_DB_ERROR(sp.Open());
    EXPECT_EQ(sp.RecordCount(), 1);
    EXPECT_EQ(sp.FieldByName("invoiceno")->AsString(), "B7");
    EXPECT_EQ(sp.ParamByName("@out").AsString(), "AB");
    EXPECT_EQ(sp.ParamByName("Result").AsInteger(), 0);
    sp.Close();
    sp.ParamByName("@code").Clear();
    ASSERT_NO_DB_ERROR(sp.ExecProc());
    EXPECT_TRUE(sp.ParamByName("@out").IsNull());
    EXPECT_EQ(sp.ParamByName("@out").AsString(), "");
    EXPECT_THROW(sp.ParamByName("@nope"), EDatabaseError);
}

TEST_F(EmbeddedTest, OpeningSomethingWithoutRowsFails) {
    Database d("DB_NoRows");
    connect(d);
    db::Query q;
    q.SetDatabaseName("DB_NoRows");
    q.SQL() << "update ship set qty = qty + 1";
    EXPECT_THROW(q.Open(), EDatabaseError);
    ASSERT_NO_DB_ERROR(q.ExecSQL());
}

}  // namespace
