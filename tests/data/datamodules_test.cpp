// The two data modules over a temporary server: parameter lists after set-up, the host
// names and run-time connection name, connection failures, fixed field lists, destruction,
// and the financial bridge operations.
#include "data/connectionsetup.h"
#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/db/drivers/embedded/embeddedconnection.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "serverfixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <memory>

namespace {

#define ASSERT_NO_DB_ERROR(stmt)                                     \
    try {                                                            \
        stmt;                                                        \
    } catch (const Exception& e) {                                   \
        FAIL() << #stmt << " failed: " << e.message().toStdString(); \
    }

TDllParams hostRecord(const std::string& folder) {
    TDllParams p{};
    p.UserId.assign(std::string_view("0012"));
    p.ServerName.assign(std::string_view(folder));
    p.DbUserName.assign(std::string_view("boss"));  // the host's login; start-up replaces it
    p.DbPassword.assign(std::string_view("secret"));
    p.BusinessDbName.assign(std::string_view("Calvesteri"));
    p.MiskernelDbName.assign(std::string_view("Miskernel"));
    p.PubdictDbName.assign(std::string_view("Pubdict"));
    p.StationName.assign(std::string_view("PC-ACCOUNTING-01"));
    return p;
}

class DataModulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.exec("Calvesteri",
                    "CREATE TABLE cwyears(minyear INT, maxyear INT);"
                    "CREATE TABLE cwmap(year INT, cwdept VARCHAR(10), ywdept CHAR(2));"
                    "CREATE TABLE cwdept(year INT, code VARCHAR(10), deptname VARCHAR(20));"
                    "INSERT INTO cwmap VALUES(2005, '0101', '03'), (2005, '0102', NULL);"
                    "INSERT INTO cwdept VALUES(2005, '0101', 'Group One');");
        server.addProcedure("Calvesteri", "GetCwMaxMinYear",
                            "select minyear, maxyear from cwyears");
        server.addProcedure("Calvesteri", "CWDept2YWDept_Format1",
                            "select (select ywdept from cwmap where year = @curyear and "
                            "cwdept = @cwdept) as \"@toYWdept\"");
        server.addProcedure("Calvesteri", "getCWDeptName",
                            "select deptname from cwdept where year = @curyear and code = @cwdept");
        server.exec("Miskernel",
                    "CREATE TABLE dept(DeptId CHAR(2), deptname VARCHAR(20), classid CHAR(1));"
                    "INSERT INTO dept VALUES('03', 'Sales 3', 'B'), ('09', 'Finance', 'F');"
                    "CREATE TABLE users(UserId CHAR(4), Username VARCHAR(10), classid CHAR(1),"
                    " dept CHAR(2));"
                    "INSERT INTO users VALUES('0012', 'Wang', 'S', '03');");
        server.exec("Pubdict",
                    "CREATE TABLE corp_set(code CHAR(1), name_ch VARCHAR(60), name_en VARCHAR(80),"
                    " addr_ch VARCHAR(60), addr_en VARCHAR(80), order_bank VARCHAR(60),"
                    " account TEXT, order_tax VARCHAR(30), zip CHAR(6), present CHAR(8),"
                    " name_simple VARCHAR(20), custom_code VARCHAR(16), corp_code CHAR(1),"
                    " tel VARCHAR(30), is_default CHAR(1), order_name VARCHAR(60),"
                    " pay_default CHAR(1), prefix CHAR(3));"
                    "INSERT INTO corp_set(code, name_simple) VALUES('1', 'Taiwo');");
        const TDllParams rec = hostRecord(server.folder());
        TakeHostParams(&rec);
        data::setClock([] { return QTime(9, 41, 7); });
        data::setTimeFormat(QStringLiteral("HH:mm:ss"));
    }
    void TearDown() override {
        data::setClock(nullptr);
        data::setTimeFormat(QString());
    }
    void setCwYears(const char* values) {
        server.exec("Calvesteri", std::string("DELETE FROM cwyears;") + values);
    }

    testsupport::TempServer server;
};

QStringList standardTail(const char* app, const char* blobsToCache, const char* blobSize) {
    return {QString("APPLICATION NAME=") + app,
            "OPEN MODE=READ/WRITE",
            "SCHEMA CACHE SIZE=8",
            "BLOB EDIT LOGGING=",
            "LANGDRIVER=",
            "SQLQRYMODE=",
            "SQLPASSTHRU MODE=SHARED AUTOCOMMIT",
            "DATE MODE=0",
            "SCHEMA CACHE TIME=-1",
            "MAX QUERY TIME=300",
            "MAX ROWS=-1",
            "BATCH COUNT=200",
            "ENABLE SCHEMA CACHE=FALSE",
            "SCHEMA CACHE DIR=",
            "NATIONAL LANG NAME=",
            "ENABLE BCD=FALSE",
            "TDS PACKET SIZE=4096",
            QString("BLOBS TO CACHE=") + blobsToCache,
            QString("BLOB SIZE=") + blobSize};
}

TEST_F(DataModulesTest, ParameterListsAfterSetUpLineByLine) {
    TfrmData frm(nullptr);
    Tfm_YYCWData fm(nullptr);
    ASSERT_NO_DB_ERROR(frm.ConnectAll());
    ASSERT_NO_DB_ERROR(fm.ConnectYYCW());
    const QString server = "SERVER NAME=" + this->server.qfolder();
    const QStringList login = {"PASSWORD=", "USER NAME=sa", server};

    EXPECT_EQ(frm.DataBase1->Params().lines(),
              QStringList{"HOST NAME=PC-ACCOUNTING,0012-sta4-09:41"} + login +
                  QStringList{"DATABASE NAME=Calvesteri"} + standardTail("QEmDll", "256", "32"));
    EXPECT_EQ(frm.dbMis->Params().lines(), QStringList{"HOST NAME=PC-ACCOUNTING,0012-sta4-mis"} +
                                               login + QStringList{"DATABASE NAME=Miskernel"} +
                                               standardTail("QemDll", "512", "64"));
    EXPECT_EQ(fm.db_yycw->Params().lines(),
              QStringList{"HOST NAME=PC-ACCOUNTING,0012--Ctr--09:41"} + login +
                  QStringList{"DATABASE NAME=Calvesteri"} + standardTail("QEmDll", "256", "32"));
    const QStringList pubdict = QStringList{"HOST NAME=PC-ACCOUNTING,0012-sta4-Dict"} + login +
                                QStringList{"DATABASE NAME=Pubdict",
                                            "BLOB EDIT LOGGING=",
                                            "LANGDRIVER=",
                                            "SQLQRYMODE=",
                                            "SQLPASSTHRU MODE=SHARED AUTOCOMMIT",
                                            "DATE MODE=1",
                                            "SCHEMA CACHE TIME=-1",
                                            "MAX QUERY TIME=300",
                                            "MAX ROWS=-1",
                                            "BATCH COUNT=200",
                                            "ENABLE SCHEMA CACHE=TRUE",
                                            "SCHEMA CACHE DIR=",
                                            "HOST NAME=",
                                            "APPLICATION NAME=",
                                            "NATIONAL LANG NAME=",
                                            "ENABLE BCD=TRUE",
                                            "TDS PACKET SIZE=4096",
                                            "BLOBS TO CACHE=64",
                                            "BLOB SIZE=32",
                                            "PASSWORD="};
    EXPECT_EQ(frm.dbPubdict->Params().lines(), pubdict);
    bool found = true;
    frm.dbPubdict->Params().Values("OPEN MODE", &found);
    EXPECT_FALSE(found);
    // The later empty HOST NAME= changes nothing: the first line is in force.
    EXPECT_EQ(frm.dbPubdict->connection().hostName(), "PC-ACCOUNTING,0012-sta4-Dict");
    EXPECT_EQ(frm.dbPubdict->connection().applicationName(), "");
    EXPECT_EQ(frm.DataBase1->connection().applicationName(), "QEmDll");
}

TEST_F(DataModulesTest, HostsLoginNeverReachesAConnection) {
    TfrmData frm(nullptr);
    Tfm_YYCWData fm(nullptr);
    ASSERT_NO_DB_ERROR(frm.ConnectAll());
    ASSERT_NO_DB_ERROR(fm.ConnectYYCW());
    for (db::Database* d : {frm.DataBase1, frm.dbMis, frm.dbPubdict, fm.db_yycw}) {
        EXPECT_EQ(dynamic_cast<db::EmbeddedConnection&>(d->connection()).userName(), "sa");
        EXPECT_EQ(d->Params().Values("PASSWORD"), "") << d->objectName().toStdString();
    }
}

struct HostNameCase {
    const char* station;
    const char* expected;
};

TEST(HostName, StationIsCutToThirteenBytes) {
    const HostNameCase cases[] = {
        {"PC-ACCOUNTING-01", "PC-ACCOUNTING,0012-sta4-mis"},
        {"PC-ACCOUNTING", "PC-ACCOUNTING,0012-sta4-mis"},
        {"PC7", "PC7,0012-sta4-mis"},
        {"", ",0012-sta4-mis"},
        // Seven double-byte characters: the 13th byte would split the seventh.
        {"财务部电脑一号机", "财务部电脑一,0012-sta4-mis"},
    };
    for (const auto& c : cases) {
        TDllParams p{};
        p.UserId.assign(std::string_view("0012"));
        p.StationName.assign(text::toGbk(QString::fromUtf8(c.station)));
        EXPECT_EQ(data::hostName(p, "-sta4-mis"), QString::fromUtf8(c.expected)) << c.station;
    }
}

TEST(HostName, TimeTextIsTheFirstFiveCharacters) {
    EXPECT_EQ(data::timeTextOf(QTime(9, 41, 7), "HH:mm:ss"), "09:41");
    EXPECT_EQ(data::timeTextOf(QTime(9, 41, 7), "H:mm:ss"), "9:41:");
    EXPECT_EQ(data::timeTextOf(QTime(21, 5, 0), "H:mm:ss"), "21:05");
    // Before, a long format with the time zone first gave the zone's name instead of the time.
    EXPECT_EQ(data::timeTextOf(QTime(9, 41, 7), "t HH:mm:ss"), "09:41");
    EXPECT_EQ(data::timeTextOf(QTime(9, 41, 7), "HH:mm:ss t"), "09:41");
    EXPECT_EQ(data::timeTextOf(QTime(9, 41, 7), "tttt HH:mm:ss"), "09:41");
}

TEST(ModuleName, BaseNameIsCutBeforeTheFirstDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/lib/mis/libexportpnl.so", "libexportpnl"},
        {"C:\\MIS\\DLL\\abc.dll", "abc"},
        {"/opt/a.b/plugin", ""},
        {"/opt/abc.tar.gz", "abc"},
        {"abc.dll", "abc"},
        {"", ""},
    };
    for (const auto& [path, base] : cases) EXPECT_EQ(data::moduleBaseNameOf(path), base) << path;
}

TEST_F(DataModulesTest, FinancialConnectionTakesTheLibraryFilesName) {
    Tfm_YYCWData fm(nullptr);
    // The code lives in this test program, whose file name has no "." (so "DBYW_" alone).
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    EXPECT_EQ(fm.GetModuleBaseName(), data::moduleBaseNameOf(self));
    ASSERT_NO_DB_ERROR(fm.ConnectYYCW());
    const QString name = "DBYW_" + data::moduleBaseNameOf(self);
    EXPECT_EQ(fm.db_yycw->DatabaseName(), name);
    for (db::DataSet* ds : {static_cast<db::DataSet*>(fm.sp_cw2ywDept),
                            static_cast<db::DataSet*>(fm.sp_getCwdeptName),
                            static_cast<db::DataSet*>(fm.sp_getCwMinMaxYear),
                            static_cast<db::DataSet*>(fm.sp_GetCwSalerList),
                            static_cast<db::DataSet*>(fm.CommonQuery)})
        EXPECT_EQ(ds->DatabaseName(), name) << ds->objectName().toStdString();
    EXPECT_EQ(db::Session::Default().FindDatabase("DB_YYCW"), nullptr);
}

TEST_F(DataModulesTest, ComponentsCarryTheirNames) {
    TfrmData frm(nullptr);
    Tfm_YYCWData fm(nullptr);
    EXPECT_EQ(frm.objectName(), "frmData");
    EXPECT_EQ(fm.objectName(), "fm_YYCWData");
    for (const char* n : {"DataBase1", "dbMis", "dbPubdict", "qrDepts", "dsdepts", "qrSalers",
                          "dsSalers", "qrGeneral2", "qCorp"})
        EXPECT_NE(frm.findChild<QObject*>(n), nullptr) << n;
    for (const char* n : {"db_yycw", "sp_cw2ywDept", "sp_getCwdeptName", "sp_getCwMinMaxYear",
                          "sp_GetCwSalerList", "ds_GetCwSalersList", "CommonQuery"})
        EXPECT_NE(fm.findChild<QObject*>(n), nullptr) << n;
    EXPECT_EQ(frm.findChild<db::Query*>("qrDepts"), frm.qrDepts);
    EXPECT_FALSE(frm.DataBase1->Connected());
    EXPECT_FALSE(frm.qCorp->Active());
}

TEST_F(DataModulesTest, LookupQueriesOpenOnTheKernelAndDictionary) {
    TfrmData frm(nullptr);
    ASSERT_NO_DB_ERROR(frm.ConnectAll());
    ASSERT_NO_DB_ERROR(frm.qrDepts->Open());
    ASSERT_NO_DB_ERROR(frm.qrSalers->Open());  // two datasets open on one connection
    EXPECT_EQ(frm.qrDepts->RecordCount(), 1);
    EXPECT_EQ(frm.qrDepts->FieldByName("list")->AsString(), "03 Sales 3");
    EXPECT_EQ(frm.qrSalers->FieldByName("LIST")->AsString(), "0012 Wang");
    ASSERT_NO_DB_ERROR(frm.qCorp->Open());
    EXPECT_EQ(frm.qCorp->FieldCount(), 18);
    EXPECT_EQ(frm.qCorp->FieldByName("name_simple")->AsString(), "Taiwo");
}

TEST_F(DataModulesTest, FixedFieldListFailsOnAMissingField) {
    server.exec("Pubdict", "ALTER TABLE corp_set DROP COLUMN prefix;");
    TfrmData frm(nullptr);
    ASSERT_NO_DB_ERROR(frm.ConnectAll());
    try {
        frm.qCorp->Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Field 'prefix' not found");
    }
    EXPECT_FALSE(frm.qCorp->Active());
}

TEST_F(DataModulesTest, DuplicateModuleFailsAndLeavesTheFirstWorking) {
    TfrmData first(nullptr);
    ASSERT_NO_DB_ERROR(first.ConnectAll());
    try {
        TfrmData second(nullptr);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.message(), "Duplicate database name 'DB_Calvesteri'");
    }
    EXPECT_EQ(db::Session::Default().FindDatabase("DB_Calvesteri"), first.DataBase1);
    EXPECT_TRUE(first.dbMis->Connected());
    ASSERT_NO_DB_ERROR(first.qrDepts->Open());
    EXPECT_EQ(first.qrDepts->RecordCount(), 1);
}

TEST_F(DataModulesTest, MissingDatabaseFailsAndEarlierConnectionsStayOpen) {
    DllParams.PubdictDbName.assign(std::string_view("NoDict"));
    TfrmData frm(nullptr);
    try {
        frm.ConnectAll();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains("NoDict")) << e.message().toStdString();
    }
    EXPECT_TRUE(frm.DataBase1->Connected());
    EXPECT_TRUE(frm.dbMis->Connected());
    EXPECT_FALSE(frm.dbPubdict->Connected());
}

TEST_F(DataModulesTest, MissingServerFolderFailsAtTheFirstConnection) {
    DllParams.ServerName.assign(server.folder() + "/gone");
    TfrmData frm(nullptr);
    try {
        frm.ConnectAll();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains("gone")) << e.message().toStdString();
    }
    EXPECT_FALSE(frm.DataBase1->Connected());
}

TEST_F(DataModulesTest, DestroyingModulesClosesAndFreesTheNames) {
    auto frm = std::make_unique<TfrmData>(nullptr);
    auto fm = std::make_unique<Tfm_YYCWData>(nullptr);
    frmData = frm.get();
    fm_YYCWData = fm.get();
    ASSERT_NO_DB_ERROR(frm->ConnectAll());
    ASSERT_NO_DB_ERROR(fm->ConnectYYCW());
    ASSERT_NO_DB_ERROR(frm->qrDepts->Open());
    frm.reset();
    fm.reset();
    EXPECT_EQ(frmData, nullptr);
    EXPECT_EQ(fm_YYCWData, nullptr);
    for (const char* n : {"DB_Calvesteri", "DBEXP_Miskernel", "zzPubdict_ex", "DB_YYCW"})
        EXPECT_EQ(db::Session::Default().FindDatabase(n), nullptr) << n;
    EXPECT_TRUE(db::Session::Default().databases().empty());
    TfrmData again(nullptr);  // a later start-up can register the names again
    ASSERT_NO_DB_ERROR(again.ConnectAll());
}

struct YearCase {
    const char* rows;
    int from, to;
    bool within;
    int minYear, maxYear;
};

TEST_F(DataModulesTest, MinMaxYearAnswersAndAlwaysWritesBothYears) {
    const YearCase cases[] = {
        {"INSERT INTO cwyears VALUES(2003, 2006);", 2004, 2005, true, 2003, 2006},
        {"INSERT INTO cwyears VALUES(2003, 2006);", 2002, 2005, false, 2003, 2006},
        {"INSERT INTO cwyears VALUES(2003, 2006);", 2004, 2007, false, 2003, 2006},
        {"INSERT INTO cwyears VALUES(2003, 2006);", 0, 0, false, 2003, 2006},
        {"INSERT INTO cwyears VALUES(2003, 2006);", 2003, 2006, true, 2003, 2006},
        {"", 0, 0, true, 0, 0},  // no row: zeros
        {"", 1, 0, true, 0, 0},
        {"", 0, 1, false, 0, 0},
        {"INSERT INTO cwyears VALUES(NULL, 2006);", 0, 2006, true, 0, 2006},
    };
    Tfm_YYCWData fm(nullptr);
    ASSERT_NO_DB_ERROR(fm.ConnectYYCW());
    for (const auto& c : cases) {
        setCwYears(c.rows);
        int minYear = -1;
        int maxYear = -1;
        bool within = false;
        ASSERT_NO_DB_ERROR(within = fm.GetCwMinMaxYear(c.from, c.to, minYear, maxYear));
        EXPECT_EQ(within, c.within) << c.rows << c.from << "-" << c.to;
        EXPECT_EQ(minYear, c.minYear) << c.rows;
        EXPECT_EQ(maxYear, c.maxYear) << c.rows;
        EXPECT_FALSE(fm.sp_getCwMinMaxYear->Active());
    }
}

TEST_F(DataModulesTest, DepartmentMappingAndNames) {
    Tfm_YYCWData fm(nullptr);
    ASSERT_NO_DB_ERROR(fm.ConnectYYCW());
    QString v;
    ASSERT_NO_DB_ERROR(v = fm.CwDept2YwDept(2005, "0101"));
    EXPECT_EQ(v, "03");
    ASSERT_NO_DB_ERROR(v = fm.CwDept2YwDept(2005, "0102"));  // null output
    EXPECT_EQ(v, "");
    ASSERT_NO_DB_ERROR(v = fm.CwDept2YwDept(2004, "0101"));  // no mapping that year
    EXPECT_EQ(v, "");
    ASSERT_NO_DB_ERROR(v = fm.GetCwDeptName(2005, "0101"));
    EXPECT_EQ(v, "Group One");
    ASSERT_NO_DB_ERROR(v = fm.GetCwDeptName(2005, "9999"));  // no row
    EXPECT_EQ(v, "");
    EXPECT_FALSE(fm.sp_getCwdeptName->Active());
}

TEST_F(DataModulesTest, ProcedureErrorReachesTheCaller) {
    server.exec("Calvesteri", "DELETE FROM sys_procedures WHERE name = 'getCWDeptName';");
    Tfm_YYCWData fm(nullptr);
    ASSERT_NO_DB_ERROR(fm.ConnectYYCW());
    EXPECT_THROW(fm.GetCwDeptName(2005, "0101"), EDatabaseError);
}

}  // namespace
