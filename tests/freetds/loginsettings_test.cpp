// How a connection's parameter list becomes the network login: each honoured key, the
// first line of a key winning, keys in any letter case, defaults for missing keys.
#include "framework/db/drivers/freetds/loginsettings.h"

#include <gtest/gtest.h>

using db::tds::LoginSettings;
using db::tds::loginSettingsFromLines;

namespace {

// The public-dictionary connection's list as the start-up leaves it: later empty HOST NAME,
// APPLICATION NAME and PASSWORD lines, no OPEN MODE or SCHEMA CACHE SIZE.
QStringList pubdictList() {
    return {QStringLiteral("HOST NAME=PC-ACCOUNTING,0012-sta4-Dict"),
            QStringLiteral("PASSWORD=secret"),
            QStringLiteral("USER NAME=sa"),
            QStringLiteral("SERVER NAME=dbhost\\TRADE"),
            QStringLiteral("DATABASE NAME=zzPubdict"),
            QStringLiteral("BLOB EDIT LOGGING="),
            QStringLiteral("LANGDRIVER="),
            QStringLiteral("SQLQRYMODE="),
            QStringLiteral("SQLPASSTHRU MODE=SHARED AUTOCOMMIT"),
            QStringLiteral("DATE MODE=1"),
            QStringLiteral("SCHEMA CACHE TIME=-1"),
            QStringLiteral("MAX QUERY TIME=300"),
            QStringLiteral("MAX ROWS=-1"),
            QStringLiteral("BATCH COUNT=200"),
            QStringLiteral("ENABLE SCHEMA CACHE=TRUE"),
            QStringLiteral("SCHEMA CACHE DIR="),
            QStringLiteral("HOST NAME="),
            QStringLiteral("APPLICATION NAME="),
            QStringLiteral("NATIONAL LANG NAME="),
            QStringLiteral("ENABLE BCD=TRUE"),
            QStringLiteral("TDS PACKET SIZE=4096"),
            QStringLiteral("BLOBS TO CACHE=64"),
            QStringLiteral("BLOB SIZE=32"),
            QStringLiteral("PASSWORD=")};
}

TEST(LoginSettings, PubdictListGivesItsLoginAndTrailingEmptyLinesChangeNothing) {
    const LoginSettings s = loginSettingsFromLines(pubdictList());
    EXPECT_EQ(s.hostName, QStringLiteral("PC-ACCOUNTING,0012-sta4-Dict"));
    EXPECT_EQ(s.password, QStringLiteral("secret"));
    EXPECT_EQ(s.user, QStringLiteral("sa"));
    EXPECT_EQ(s.server, QStringLiteral("dbhost\\TRADE"));
    EXPECT_EQ(s.database, QStringLiteral("zzPubdict"));
    EXPECT_EQ(s.applicationName, QString());
    EXPECT_EQ(s.packetSize, 4096);
    EXPECT_EQ(s.maxQueryTime, 300);

    // Dropping the trailing lines must give exactly the same login.
    QStringList shorter = pubdictList();
    shorter.removeLast();  // PASSWORD=
    shorter.removeAll(QStringLiteral("HOST NAME="));
    const LoginSettings t = loginSettingsFromLines(shorter);
    EXPECT_EQ(t.hostName, s.hostName);
    EXPECT_EQ(t.password, s.password);
}

TEST(LoginSettings, BusinessListGivesApplicationNameAndTimeInHostName) {
    const QStringList lines = {QStringLiteral("HOST NAME=PC-ACCOUNTING,0012-sta4-09:41"),
                               QStringLiteral("PASSWORD="),
                               QStringLiteral("USER NAME=sa"),
                               QStringLiteral("SERVER NAME=127.0.0.1:1433"),
                               QStringLiteral("DATABASE NAME=Calvesteri"),
                               QStringLiteral("APPLICATION NAME=QEmDll"),
                               QStringLiteral("OPEN MODE=READ/WRITE"),
                               QStringLiteral("SCHEMA CACHE SIZE=8")};
    const LoginSettings s = loginSettingsFromLines(lines);
    EXPECT_EQ(s.hostName, QStringLiteral("PC-ACCOUNTING,0012-sta4-09:41"));
    EXPECT_EQ(s.password, QString());
    EXPECT_EQ(s.server, QStringLiteral("127.0.0.1:1433"));
    EXPECT_EQ(s.database, QStringLiteral("Calvesteri"));
    EXPECT_EQ(s.applicationName, QStringLiteral("QEmDll"));
}

TEST(LoginSettings, MissingKeysTakeDefaults) {
    const LoginSettings s = loginSettingsFromLines({QStringLiteral("SERVER NAME=db1")});
    const LoginSettings d;
    EXPECT_EQ(s.server, QStringLiteral("db1"));
    EXPECT_TRUE(s.user.isEmpty());
    EXPECT_TRUE(s.password.isEmpty());
    EXPECT_TRUE(s.hostName.isEmpty());
    EXPECT_TRUE(s.database.isEmpty());
    EXPECT_EQ(s.packetSize, d.packetSize);
    EXPECT_EQ(s.maxQueryTime, d.maxQueryTime);
    EXPECT_EQ(s.loginTime, d.loginTime);
    EXPECT_EQ(loginSettingsFromLines({}).server, QString());
}

struct KeyCase {
    const char* what;
    QStringList lines;
    QString LoginSettings::*field;
    QString expected;
};

class LoginKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(LoginKeyTest, ReadsKey) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(loginSettingsFromLines(c.lines).*(c.field), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LoginKeyTest,
    ::testing::Values(
        KeyCase{"lower-case key", {"user name=report"}, &LoginSettings::user, "report"},
        KeyCase{"mixed-case key", {"Host Name=ST,01"}, &LoginSettings::hostName, "ST,01"},
        KeyCase{"first line wins over a later one",
                {"APPLICATION NAME=QemDll", "application name=Other"},
                &LoginSettings::applicationName,
                "QemDll"},
        KeyCase{"an empty first line still wins",
                {"PASSWORD=", "PASSWORD=x"},
                &LoginSettings::password,
                ""},
        KeyCase{
            "value keeps '=' and spaces", {"PASSWORD= a=b "}, &LoginSettings::password, " a=b "},
        KeyCase{"Chinese text passes unchanged",
                {"HOST NAME=财务室,0012-sta4-mis"},
                &LoginSettings::hostName,
                "财务室,0012-sta4-mis"},
        KeyCase{"line without '=' is no key",
                {"SERVER NAME", "SERVER NAME=db2"},
                &LoginSettings::server,
                "db2"},
        KeyCase{"key with extra blank is another key",
                {"SERVER NAME =db3"},
                &LoginSettings::server,
                ""},
        KeyCase{"server name trimmed", {"SERVER NAME= db4 "}, &LoginSettings::server, "db4"},
        KeyCase{
            "database name", {"DATABASE NAME=MisKernel"}, &LoginSettings::database, "MisKernel"}),
    [](const ::testing::TestParamInfo<KeyCase>& info) {
        return "Case" + std::to_string(info.index);
    });

struct NumberCase {
    const char* line;
    int LoginSettings::*field;
    int expected;
};

class LoginNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LoginNumberTest, ReadsNumber) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(loginSettingsFromLines({QString::fromUtf8(c.line)}).*(c.field), c.expected) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, LoginNumberTest,
    ::testing::Values(NumberCase{"TDS PACKET SIZE=8192", &LoginSettings::packetSize, 8192},
                      NumberCase{"TDS PACKET SIZE=100", &LoginSettings::packetSize, 4096},
                      NumberCase{"TDS PACKET SIZE=big", &LoginSettings::packetSize, 4096},
                      NumberCase{"TDS PACKET SIZE=", &LoginSettings::packetSize, 4096},
                      NumberCase{"MAX QUERY TIME=5", &LoginSettings::maxQueryTime, 5},
                      NumberCase{"max query time= 7 ", &LoginSettings::maxQueryTime, 7},
                      NumberCase{"MAX QUERY TIME=-1", &LoginSettings::maxQueryTime, 0},
                      NumberCase{"MAX QUERY TIME=0", &LoginSettings::maxQueryTime, 0},
                      NumberCase{"MAX QUERY TIME=x", &LoginSettings::maxQueryTime, 300},
                      NumberCase{"CONNECT TIMEOUT=2", &LoginSettings::loginTime, 2},
                      NumberCase{"CONNECT TIMEOUT=0", &LoginSettings::loginTime, 60}),
    [](const ::testing::TestParamInfo<NumberCase>& info) {
        return "Case" + std::to_string(info.index);
    });

}  // namespace
