// Every server type the back end reads, at the limits of its range and as NULL, through the
// client library from the loopback server: the field type of the column, the text, and the
// exact value in whole numbers, 1/10000 units or milliseconds.
#include "faketdsserver.h"
#include "framework/db/drivers/freetds/tdsconnection.h"
#include "framework/text/errors.h"
#include "typecases.h"

#include <gtest/gtest.h>

namespace {

using testtds::FakeTdsServer;
using testtds::Reply;
using testtds::Request;

db::tds::LoginSettings settingsFor(const FakeTdsServer& server) {
    db::tds::LoginSettings s;
    s.server = server.serverName();
    s.user = QStringLiteral("sa");
    s.loginTime = 5;
    s.maxQueryTime = 5;
    return s;
}

// Answers every batch but the session set-up with one row set of `cases`.
FakeTdsServer::Script answering(const std::vector<typecases::Case>& cases) {
    return [cases](const Request& r) {
        if (r.text.startsWith(QStringLiteral("SET ")))
            return Reply{};
        return Reply::answer(typecases::answer(cases));
    };
}

void expectRead(const std::vector<typecases::Case>& cases) {
    FakeTdsServer server(answering(cases));
    db::tds::TdsConnection connection(settingsFor(server));
    db::RowStore rows;
    connection.execute(QStringLiteral("select every type"), &rows);
    ASSERT_EQ(rows.columnCount(), static_cast<int>(cases.size()));
    ASSERT_GE(rows.rowCount(), 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const typecases::Case& c = cases[i];
        const int col = static_cast<int>(i);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rows.columns()[i].type, c.type);
        EXPECT_FALSE(rows.isNull(0, col));
        EXPECT_EQ(rows.string(0, col).toStdString(), c.text);
        if (c.units) {
            EXPECT_EQ(rows.integer(0, col), *c.units);
        }
        if (rows.rowCount() > 1) {
            EXPECT_TRUE(rows.isNull(1, col));
        }
    }
}

TEST(ServerTypes, NullableColumnsAtTheirLimitsAndNull) {
    expectRead(typecases::nullableCases());
}

TEST(ServerTypes, NotNullColumnsAtTheirLimits) {
    expectRead(typecases::fixedCases());
}

// A decimal with no more than four places is held as currency; one past the money range
// is no silent float but an error naming the column.
TEST(ServerTypes, DecimalPastTheMoneyRangeIsRefused) {
    unsigned __int128 largest = 1;
    for (int i = 0; i < 38; ++i) largest *= 10;
    --largest;
    const std::vector<typecases::Case> cases = {
        {"decimal(38,0) largest",
         typecases::byte(0x6A) + typecases::byte(17) + typecases::byte(38) + typecases::byte(0),
         typecases::decimalCell(38, false, largest), typecases::byte(0), db::FieldType::Currency,
         "", std::nullopt, ""}};
    FakeTdsServer server(answering(cases));
    db::tds::TdsConnection connection(settingsFor(server));
    db::RowStore rows;
    try {
        connection.execute(QStringLiteral("select sum(big)"), &rows);
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("'c0'"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("1E38"))) << e.message().toStdString();
    }
    EXPECT_TRUE(connection.isOpen()) << "the connection stays usable";
}

}  // namespace
