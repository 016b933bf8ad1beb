// The host parameter file: which text lands in which slot of the record, as GBK bytes, and
// how the server folder is found relative to the file.
#include "host/hostparams.h"

#include "framework/text/text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string gbk(const QString& s) { return text::toGbk(s); }

TEST(HostParams, EachKeyFillsItsSlot) {
    const QString ini = QStringLiteral(
        "[other]\nUserId=9999\n"
        "[params]\n"
        "UserId=0012\nUserDept=03\nServerName=dbhost\nDbUserName=clerk\nDbPassword=secret\n"
        "BusinessDbName=Calvesteri\nPubdictDbName=Pubdict\nMiskernelDbName=Miskernel\n"
        "Rights=****CR\nModuleRights=**03DW\nViewKind=S\nViewId=0301\nOperationType=R\n"
        "ViewDept=03\nStationName=PC-ACCOUNTING-01\n"
        "[later]\nUserId=8888\n");
    const TDllParams p = host::parseParams(ini, QStringLiteral("/nonexistent"));
    const struct {
        const TShortString& slot;
        const char* expected;
    } cases[] = {
        {p.UserId, "0012"},         {p.UserDept, "03"},         {p.ServerName, "dbhost"},
        {p.DbUserName, "clerk"},    {p.DbPassword, "secret"},   {p.BusinessDbName, "Calvesteri"},
        {p.PubdictDbName, "Pubdict"}, {p.MiskernelDbName, "Miskernel"}, {p.Rights, "****CR"},
        {p.ModuleRights, "**03DW"}, {p.ViewKind, "S"},          {p.ViewId, "0301"},
        {p.OperationType, "R"},     {p.ViewDept, "03"},         {p.StationName, "PC-ACCOUNTING-01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.slot.bytes(), c.expected);
    // The host's own slots stay empty: the record is what the host would send, no more.
    EXPECT_EQ(p.Reserved01.length, 0);
    EXPECT_EQ(p.Reserved1B.length, 0);
}

TEST(HostParams, TextBecomesGbkAndLongValuesAreCut) {
    const QString longChinese = QString(200, QChar(0x4E2D));  // 400 GBK bytes
    const QString ini = QStringLiteral("[params]\nUserId=张三\nStationName=%1\n").arg(longChinese);
    const TDllParams p = host::parseParams(ini, QString());
    EXPECT_EQ(p.UserId.bytes(), gbk(QStringLiteral("张三")));
    EXPECT_EQ(p.UserId.length, 4);
    // 255 bytes would split a character: the record holds 127 whole characters.
    EXPECT_EQ(p.StationName.length, 254);
    EXPECT_EQ(p.StationName.text(), QString(127, QChar(0x4E2D)));
}

TEST(HostParams, ValuesKeepTheirInnerAndTrailingBlanks) {
    const QString ini = QStringLiteral("\xFEFF[Params]\r\nmodulerights =  **03DW  \r\nRights=a,b\r\n");
    const TDllParams p = host::parseParams(ini, QString());
    EXPECT_EQ(p.ModuleRights.bytes(), "**03DW  ");
    EXPECT_EQ(p.Rights.bytes(), "a,b");
}

TEST(HostParams, RelativeServerFolderIsFoundNextToTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("demo/server")));
    const QString iniPath = dir.filePath(QStringLiteral("demo/host.ini"));
    const struct {
        const char* serverName;
        QString expected;
    } cases[] = {
        {"server", QDir(dir.filePath(QStringLiteral("demo/server"))).absolutePath()},
        {"SQLSRV01", QStringLiteral("SQLSRV01")},  // a network server is not a folder
        {"/srv/data", QStringLiteral("/srv/data")},
    };
    for (const auto& c : cases) {
        QFile f(iniPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QStringLiteral("[params]\nServerName=%1\n").arg(QLatin1String(c.serverName)).toUtf8());
        f.close();
        EXPECT_EQ(host::readParamsFile(iniPath).ServerName.text(), c.expected) << c.serverName;
    }
}

TEST(HostParams, MissingFileIsAnError) {
    EXPECT_THROW(host::readParamsFile(QStringLiteral("/nonexistent/host.ini")), std::runtime_error);
}

TEST(HostParams, DemoParametersReadBackAgainstTheDemoServer) {
    QTemporaryDir dir;
    const QString server = dir.filePath(QStringLiteral("demo/server"));
    ASSERT_TRUE(QDir().mkpath(server));
    const QString ini = dir.filePath(QStringLiteral("out/host.ini"));
    host::writeDemoParams(ini, server);
    const TDllParams p = host::readParamsFile(ini);
    EXPECT_EQ(p.ServerName.text(), QDir(server).absolutePath());
    EXPECT_EQ(p.BusinessDbName.bytes(), "Calvesteri");
    EXPECT_EQ(p.MiskernelDbName.bytes(), "Miskernel");
    EXPECT_EQ(p.PubdictDbName.bytes(), "Pubdict");
    EXPECT_EQ(p.ViewKind.bytes(), "C");
    EXPECT_EQ(p.OperationType.bytes(), "R");
}

}  // namespace
