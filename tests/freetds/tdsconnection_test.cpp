// The network back end end to end against a scripted loopback server: the login it sends,
// rows typed from the server's columns, procedure calls with outputs, server errors, and a
// time limit or a lost link closing the connection instead of hanging.
#include "faketdsserver.h"

#include "framework/db/database.h"
#include "framework/db/drivers/freetds/dblibrary.h"
#include "framework/db/drivers/freetds/tdsconnection.h"
#include "framework/db/query.h"
#include "framework/text/errors.h"

#include <QDate>
#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>

using db::FieldType;
using db::RowStore;
using db::tds::DbLibrary;
using db::tds::LoginSettings;
using db::tds::TdsConnection;
using testtds::FakeTdsServer;
using testtds::Reply;
using testtds::Request;
using testtds::Tokens;

namespace {

LoginSettings settingsFor(const FakeTdsServer& server, int maxQueryTime = 300) {
    LoginSettings s;
    s.server = server.serverName();
    s.user = QStringLiteral("sa");
    s.database = QStringLiteral("Calvesteri");
    s.hostName = QStringLiteral("PC-ACCOUNTING,0012-sta4-09:41");
    s.applicationName = QStringLiteral("QEmDll");
    s.loginTime = 5;
    s.maxQueryTime = maxQueryTime;
    return s;
}

bool isSetup(const Request& r) {
    return r.text.startsWith(QStringLiteral("SET "));
}

// Answers every batch with a plain DONE except the ones `script` handles.
FakeTdsServer::Script withSetup(std::function<Reply(const Request&)> script) {
    return [script](const Request& r) { return isSetup(r) ? Reply{} : script(r); };
}

TEST(TdsConnection, LoginCarriesTheParameterListAndSessionSetup) {
    FakeTdsServer server(withSetup([](const Request&) { return Reply{}; }));
    db::ParamList params;
    params.setLines({QStringLiteral("HOST NAME=财务室,0012-sta4-Dict"), QStringLiteral("PASSWORD="),
                     QStringLiteral("USER NAME=sa"),
                     QStringLiteral("SERVER NAME=") + server.serverName(),
                     QStringLiteral("DATABASE NAME=zzPubdict"), QStringLiteral("HOST NAME="),
                     QStringLiteral("APPLICATION NAME="), QStringLiteral("PASSWORD=")});
    auto connection = db::openNetworkConnection(params);
    EXPECT_EQ(server.logins(), 1);
    EXPECT_EQ(server.lastLoginHostName(), QStringLiteral("财务室,0012-sta4-Dict"));
    EXPECT_EQ(server.lastLoginUser(), QStringLiteral("sa"));
    EXPECT_EQ(server.lastLoginDatabase(), QStringLiteral("zzPubdict"));
    EXPECT_EQ(server.lastLoginAppName(), QString());
    EXPECT_EQ(connection->hostName(), QStringLiteral("财务室,0012-sta4-Dict"));
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests.front().text.contains(QStringLiteral("SET QUOTED_IDENTIFIER OFF")));
    EXPECT_EQ(DbLibrary::users(), 1);
    connection.reset();
    EXPECT_EQ(DbLibrary::users(), 0);
}

TEST(TdsConnection, RowsAreTypedFromServerColumnsAndNullsKept) {
    const int days = static_cast<int>(QDate(1900, 1, 1).daysTo(QDate(2005, 3, 4)));
    FakeTdsServer server(withSetup([days](const Request&) {
        Tokens t;
        // A first result set that the caller does not keep: the last one with columns wins.
        t.columns({{QStringLiteral("ignored"), Tokens::Int, 4}}).beginRow().integer(1).done(true);
        t.columns({{QStringLiteral("ywbh"), Tokens::NVarChar, 40},
                   {QStringLiteral("deptname"), Tokens::VarChar, 20},
                   {QStringLiteral("qty"), Tokens::Int, 4},
                   {QStringLiteral("lirun"), Tokens::Money, 8},
                   {QStringLiteral("rate"), Tokens::Float, 8},
                   {QStringLiteral("shipped"), Tokens::DateTime, 8},
                   {QStringLiteral("weight"), Tokens::Decimal, 18, 4}});
        t.beginRow()
            .text(QStringLiteral("EX-𠀀€-01"))
            .bytes(QByteArray("\xB2\xBF\xC3\xC5"))
            .integer(-7)
            .money(12345678)
            .real(8.25)
            .dateTime(days, 9 * 3600 * 300)
            .decimal(true, 12345678);
        t.beginRow().null().null().null().null().null().null().null();
        t.done();
        return Reply::answer(t);
    }));
    TdsConnection connection(settingsFor(server));
    RowStore rows;
    const QString sql = QStringLiteral("select * from 出口 where ywbh = \"EX-01\"");
    connection.execute(sql, &rows);
    EXPECT_EQ(server.requests().back().text, sql);  // sent as it stands

    ASSERT_EQ(rows.columnCount(), 7);
    ASSERT_EQ(rows.rowCount(), 2);
    // The decimal(18,4) is held as exactly as the money column.
    const FieldType types[] = {FieldType::String,   FieldType::String, FieldType::Integer,
                               FieldType::Currency, FieldType::Float,  FieldType::DateTime,
                               FieldType::Currency};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(rows.columns()[static_cast<std::size_t>(c)].type, types[c]) << c;
    EXPECT_EQ(rows.indexOf(QStringLiteral("LIRUN")), 3);
    EXPECT_EQ(rows.string(0, 0), QStringLiteral("EX-𠀀€-01"));
    EXPECT_EQ(rows.string(0, 1), QStringLiteral("部门"));
    EXPECT_EQ(rows.integer(0, 2), -7);
    EXPECT_EQ(rows.integer(0, 3), 12345678);  // 1234.5678 to the ten-thousandth
    EXPECT_EQ(rows.real(0, 4), 8.25);
    EXPECT_EQ(rows.integer(0, 5), db::naiveMsSinceEpoch(QDateTime(QDate(2005, 3, 4), QTime(9, 0))));
    EXPECT_EQ(rows.integer(0, 6), -12345678);
    for (int c = 0; c < 7; ++c) EXPECT_TRUE(rows.isNull(1, c)) << c;
}

TEST(TdsConnection, ServerErrorRaisesWithTextAndNumberAndConnectionStaysUsable) {
    FakeTdsServer server(withSetup([](const Request& r) {
        Tokens t;
        if (r.text.contains(QStringLiteral("missing"))) {
            t.error(208, 16, QStringLiteral("Invalid object name 'missing'.")).done(false, true);
        } else if (r.text.contains(QStringLiteral("chatty"))) {
            t.info(5701, QStringLiteral("Changed database context to 'Calvesteri'."));
            t.columns({{QStringLiteral("n"), Tokens::Int, 4}}).beginRow().integer(3).done();
        } else {
            t.columns({{QStringLiteral("n"), Tokens::Int, 4}}).beginRow().integer(1).done();
        }
        return Reply::answer(t);
    }));
    TdsConnection connection(settingsFor(server));
    RowStore rows;
    try {
        connection.execute(QStringLiteral("select * from missing"), &rows);
        FAIL() << "server error not raised";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid object name 'missing'."));
        EXPECT_EQ(e.errorCode(), 208);
    }
    EXPECT_TRUE(connection.isOpen());
    connection.execute(QStringLiteral("select chatty"), &rows);  // informational: no error
    EXPECT_EQ(rows.integer(0, 0), 3);
    connection.execute(QStringLiteral("select 1"), &rows);
    EXPECT_EQ(rows.integer(0, 0), 1);
}

db::Param makeParam(const char* name, FieldType type, db::ParamType dir, QVariant v = {}) {
    db::Param p;
    p.Name = QString::fromLatin1(name);
    p.DataType = type;
    p.Type = dir;
    p.Value = std::move(v);
    return p;
}

// Before, calls went through the client library's remote-call interface, which sends an
// empty string as NULL. A call is now a batch of literals, its outputs read back last.
TEST(TdsConnection, ProcedureCallSendsEveryInputAsItIsAndReadsOutputsAfterRows) {
    FakeTdsServer server(withSetup([](const Request& r) {
        Tokens t;
        t.columns({{QStringLiteral("deptname"), Tokens::NVarChar, 40}})
            .beginRow()
            .text(QStringLiteral("出口一部"))
            .done(true);
        // The batch's final SELECT: return value, then the outputs in order.
        t.columns({{QString(), Tokens::Int, 4},
                   {QString(), Tokens::NVarChar, 8000},
                   {QString(), Tokens::Int, 4}})
            .beginRow()
            .integer(0);
        if (r.text.contains(QStringLiteral("ReturnsNull")))
            t.null();
        else
            t.text(QStringLiteral("B1"));
        t.integer(42).done();
        return Reply::answer(t);
    }));
    TdsConnection connection(settingsFor(server));
    std::vector<db::Param> params = {
        makeParam("Result", FieldType::Integer, db::ParamType::Result),
        makeParam("@curyear", FieldType::Integer, db::ParamType::Input, 2005),
        makeParam("@cwdept", FieldType::String, db::ParamType::Input, QStringLiteral("0301")),
        makeParam("@toYWdept", FieldType::String, db::ParamType::Output),
        makeParam("@COUNT", FieldType::Integer, db::ParamType::InputOutput, 1),
        makeParam("@salerid", FieldType::String, db::ParamType::Input, QString(QLatin1String(""))),
        makeParam("@deptid", FieldType::String, db::ParamType::Input),
    };
    RowStore rows;
    connection.call(QStringLiteral("dbo.CWDept2YWDept_Format1"), params, &rows);

    const QString sent = server.requests().back().text;
    EXPECT_FALSE(server.requests().back().rpc);
    EXPECT_TRUE(
        sent.contains(QStringLiteral("EXEC @RETURN_VALUE = [dbo].[CWDept2YWDept_Format1] "
                                     "@curyear = 2005, @cwdept = '0301', "
                                     "@toYWdept = @p1 OUTPUT, @COUNT = @p2 OUTPUT, "
                                     "@salerid = '', @deptid = NULL;")))
        << sent.toStdString();
    EXPECT_TRUE(sent.contains(QStringLiteral("SET @p2 = 1;")));

    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.columnCount(), 1) << "the outputs' row set is not the caller's";
    EXPECT_EQ(rows.string(0, 0), QStringLiteral("出口一部"));
    EXPECT_EQ(params[3].Value.toString(), QStringLiteral("B1"));
    EXPECT_EQ(params[4].Value.toLongLong(), 42);
    EXPECT_EQ(params[0].Value.toLongLong(), 0);

    connection.call(QStringLiteral("dbo.ReturnsNull"), params, nullptr);
    EXPECT_TRUE(params[3].IsNull());
}

TEST(TdsConnection, StatementTimeLimitIsPerConnectionAndClosesOnlyThatOne) {
    FakeTdsServer server(withSetup([](const Request& r) {
        if (r.text.contains(QStringLiteral("slow")))
            return Reply::silent();
        Tokens t;
        t.columns({{QStringLiteral("n"), Tokens::Int, 4}}).beginRow().integer(5).done();
        return Reply::answer(t);
    }));
    TdsConnection limited(settingsFor(server, 1));
    TdsConnection patient(settingsFor(server, 0));
    RowStore rows;
    try {
        limited.execute(QStringLiteral("exec slow"), &rows);
        FAIL() << "a silent server did not time out";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("query time limit of 1 s")))
            << e.message().toStdString();
    }
    EXPECT_FALSE(limited.isOpen());
    EXPECT_THROW(limited.execute(QStringLiteral("select 1"), &rows), EDatabaseError);
    // The other connection has its own limit (none) and was not disturbed.
    EXPECT_TRUE(patient.isOpen());
    patient.execute(QStringLiteral("select 1"), &rows);
    EXPECT_EQ(rows.integer(0, 0), 5);
    EXPECT_EQ(DbLibrary::users(), 1);
}

TEST(TdsConnection, LostLinkRaisesAndLeavesConnectionClosed) {
    FakeTdsServer server(withSetup([](const Request&) { return Reply::drop(); }));
    TdsConnection connection(settingsFor(server));
    try {
        connection.execute(QStringLiteral("select 1"), nullptr);
        FAIL() << "a dropped link was not reported";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("was lost"))) << e.message().toStdString();
    }
    EXPECT_FALSE(connection.isOpen());
    std::vector<db::Param> none;
    EXPECT_THROW(connection.call(QStringLiteral("dbo.x"), none, nullptr), EDatabaseError);
    EXPECT_EQ(DbLibrary::users(), 0);
}

TEST(TdsConnection, ErrorsReachOnlyTheConnectionTheyBelongTo) {
    FakeTdsServer server(withSetup([](const Request& r) {
        Tokens t;
        if (r.text == QStringLiteral("bad"))
            t.error(50000, 16, QStringLiteral("只属于一个连接")).done(false, true);
        else
            t.columns({{QStringLiteral("n"), Tokens::Int, 4}}).beginRow().integer(9).done();
        return Reply::answer(t);
    }));
    TdsConnection first(settingsFor(server));
    TdsConnection second(settingsFor(server));
    RowStore rows;
    EXPECT_THROW(first.execute(QStringLiteral("bad"), &rows), EDatabaseError);
    EXPECT_NO_THROW(second.execute(QStringLiteral("good"), &rows));
    EXPECT_EQ(rows.integer(0, 0), 9);
    EXPECT_EQ(DbLibrary::users(), 2);
}

TEST(TdsConnection, QueryThroughNamedDatabase) {
    FakeTdsServer server(withSetup([](const Request&) {
        Tokens t;
        t.columns({{QStringLiteral("name_simple"), Tokens::NVarChar, 40}})
            .beginRow()
            .text(QStringLiteral("华贸"))
            .done();
        return Reply::answer(t);
    }));
    db::Database database(QStringLiteral("zzPubdict_net"));
    database.Params().setLines(
        {QStringLiteral("SERVER NAME=") + server.serverName(), QStringLiteral("USER NAME=sa")});
    database.Open();
    ASSERT_TRUE(database.Connected());
    db::Query query;
    query.SetDatabaseName(QStringLiteral("zzPubdict_net"));
    query.SQL() << QStringLiteral("select * from corp_set");
    query.Open();
    EXPECT_EQ(query.FieldByName(QStringLiteral("NAME_SIMPLE"))->AsString(), QStringLiteral("华贸"));
    query.Close();
    database.Close();
    EXPECT_EQ(DbLibrary::users(), 0);
}

}  // namespace

namespace {

// Before, a Database whose link had dropped still answered Connected() and was never reopened.
TEST(TdsConnection, DatabaseWithALostLinkReportsClosedAndKeepsItsName) {
    FakeTdsServer server(withSetup([](const Request&) { return Reply::drop(); }));
    db::Database database(QStringLiteral("DB_lost_link"));
    database.Params().setLines(
        {QStringLiteral("SERVER NAME=") + server.serverName(), QStringLiteral("USER NAME=sa")});
    database.Open();
    ASSERT_TRUE(database.Connected());
    db::Query query;
    query.SetDatabaseName(QStringLiteral("DB_lost_link"));
    query.SQL() << QStringLiteral("select 1");
    EXPECT_THROW(query.Open(), EDatabaseError);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(db::Session::Default().FindDatabase(QStringLiteral("db_lost_link")), &database);
    database.Close();
    EXPECT_EQ(DbLibrary::users(), 0);
}

}  // namespace

namespace {

QByteArray regressionInput(const char* name) {
    QFile f(QStringLiteral(EXPORTPNL_FUZZ_REGRESSIONS "/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// Before, the login asked for TDS 7.4, where the client library reads a feature
// acknowledgement (token AE) in a loop that spins for ever once the link has dropped.
TEST(TdsConnection, AnswersThatSpunTheClientLibraryFailPromptlyAtTds73) {
    for (const char* name :
         {"tdswire-freetds-spin-AEA7.bin", "tdswire-freetds-spin-dbresults.bin"}) {
        SCOPED_TRACE(name);
        const QByteArray input = regressionInput(name);
        ASSERT_FALSE(input.isEmpty());
        FakeTdsServer server(
            withSetup([&input](const Request&) { return Reply::rawThenDrop(input.mid(1)); }));
        TdsConnection connection(settingsFor(server, 2));
        EXPECT_EQ(server.lastLoginTdsVersion(), 0x730B0003u);
        const auto started = std::chrono::steady_clock::now();
        RowStore rows;
        EXPECT_THROW(connection.execute(QStringLiteral("select 1"), &rows), EDatabaseError);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_FALSE(connection.isOpen());
    }
    FakeTdsServer next(withSetup([](const Request&) { return Reply{}; }));
    EXPECT_NO_THROW(TdsConnection(settingsFor(next)).execute(QStringLiteral("select 1"), nullptr));
}

// Before, the decoder of a DECIMAL(37) or DECIMAL(38) value, the type SQL Server gives a
// SUM over a decimal column, never returned. Now it keeps its cents exactly, and a value
// beyond the money range is refused instead of rounded.
TEST(TdsConnection, Decimal38ValuesKeepTheirCentsOrFailClearly) {
    FakeTdsServer server(withSetup([](const Request& r) {
        Tokens t;
        t.columns({{QStringLiteral("total"), Tokens::Decimal, 38, 2}}).beginRow();
        if (r.text.contains(QStringLiteral("huge")))
            t.decimal(true, 123456789012345678ULL);
        else
            t.decimal(true, 922337203685475ULL);  // -9223372036854.75
        return Reply::answer(t.done());
    }));
    TdsConnection connection(settingsFor(server));
    RowStore rows;
    connection.execute(QStringLiteral("select sum(amount) from ship"), &rows);
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.columns()[0].type, FieldType::Currency);
    EXPECT_EQ(rows.integer(0, 0), -92233720368547500);
    EXPECT_EQ(rows.string(0, 0), QStringLiteral("-9223372036854.75"));
    try {
        connection.execute(QStringLiteral("select huge"), &rows);
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("'total'"))) << e.message().toStdString();
    }
}

}  // namespace

namespace {

// A server that answers with nonsense or declares absurd sizes gives a clear error within
// the time limits, and the next connection works.
TEST(TdsConnection, NonsenseAnswersFailWithinTheLimits) {
    const std::pair<const char*, QByteArray> answers[] = {
        {"random bytes", QByteArray("\x13\x37\xC0\xFF\xEE\x00\x42", 7)},
        {"a row before any columns", QByteArray("\xD1\x04\x01\x00\x00\x00", 6)},
        {"65535 columns, then the end", QByteArray("\x81\xFF\xFF", 3)},
        {"a text of 2 GB that never comes",
         QByteArray("\x81\x01\x00\x00\x00\x00\x00\x09\x00\xA7\x40\x1F"
                    "\x04\x08\xD0\x00\x00\x01\x78\x00\xD1\xFE\x7F",
                    23)},
        {"a truncated DONE", QByteArray("\xFD\x00", 2)},
    };
    for (const auto& [what, bytes] : answers) {
        SCOPED_TRACE(what);
        const QByteArray answer = bytes;
        FakeTdsServer server(
            withSetup([answer](const Request&) { return Reply::rawThenDrop(answer); }));
        TdsConnection connection(settingsFor(server, 2));
        const auto started = std::chrono::steady_clock::now();
        RowStore rows;
        EXPECT_THROW(connection.execute(QStringLiteral("select 1"), &rows), EDatabaseError);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    }
    FakeTdsServer next(withSetup([](const Request&) { return Reply{}; }));
    EXPECT_NO_THROW(TdsConnection(settingsFor(next)).execute(QStringLiteral("select 1"), nullptr));
}

}  // namespace
