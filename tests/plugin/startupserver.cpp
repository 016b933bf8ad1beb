// The start-up server's tables and procedures, filled with raw SQLite.
#include "startupserver.h"

namespace startuptest {
namespace {

const char* const kBusinessSchema = R"sql(
CREATE TABLE cwyears(minyear INT, maxyear INT);
INSERT INTO cwyears VALUES(2003, 2024);
CREATE TABLE results(seq INTEGER PRIMARY KEY, invoiceno VARCHAR(20), UnExchTag VARCHAR(2),
  dept VARCHAR(20), srUSD MONEY, srRMB MONEY, yfUSD MONEY, yfRMB MONEY, bfUSD MONEY,
  bfRMB MONEY, yjUSD MONEY, yjRMB MONEY, cb MONEY, value_no VARCHAR(20), lirun MONEY,
  lirun_true MONEY, shouhui MONEY);
INSERT INTO results(seq, invoiceno, UnExchTag, dept, srUSD, srRMB, cb, lirun, lirun_true)
  VALUES(1, '24EX0001', '', '业务三部', 1000, 8270, 7000, 1270, 1270),
        (2, '24EX0002', '*', '业务三部', 2500.5, 20679.64, 18000, 2679.64, 0),
        (3, '24EX0003', '', '业务五部', 300, 2481, 2600, -119, -119);
CREATE TABLE cwdepts(code VARCHAR(8), deptname VARCHAR(30));
)sql";

const char* const kKernelSchema = R"sql(
CREATE TABLE dept(DeptId CHAR(2), deptname VARCHAR(20), classid CHAR(1));
INSERT INTO dept VALUES('03', '业务三部', 'B'), ('05', '业务五部', 'B');
CREATE TABLE users(UserId CHAR(4), Username VARCHAR(10), classid CHAR(1), dept CHAR(2));
INSERT INTO users VALUES('0012', '张三', 'S', '03');
)sql";

const char* const kDictSchema = R"sql(
CREATE TABLE corp_set(code CHAR(1), name_ch VARCHAR(60), name_en VARCHAR(80),
  addr_ch VARCHAR(60), addr_en VARCHAR(80), order_bank VARCHAR(60), account TEXT,
  order_tax VARCHAR(30), zip CHAR(6), present CHAR(8), name_simple VARCHAR(20),
  custom_code VARCHAR(16), corp_code CHAR(1), tel VARCHAR(30), is_default CHAR(1),
  order_name VARCHAR(60), pay_default CHAR(1), prefix CHAR(3));
INSERT INTO corp_set(code, name_simple) VALUES('1', '测试公司');
)sql";

}  // namespace

StartUpServer::StartUpServer() {
    server.exec(kBusiness, kBusinessSchema);
    server.exec(kKernel, kKernelSchema);
    server.exec(kDict, kDictSchema);
    server.setClock("2024-03-15 09:41:07");
    server.addProcedure(kBusiness, "GetCwMaxMinYear", "select minyear, maxyear from cwyears");
    server.addProcedure(kBusiness, "ImportYYCWDATA", "select 1 where 0");
    server.addProcedure(kBusiness, "StatCalvesteri",
                        "select invoiceno, UnExchTag, dept, srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB,"
                        " yjUSD, yjRMB, cb, value_no, lirun, lirun_true, shouhui from results order by seq");
    server.addProcedure(kBusiness, "getCWDeptName", "select deptname from cwdepts where code = @cwdept");
}

TDllParams StartUpServer::record() const {
    TDllParams p{};
    p.UserId.assign(QStringLiteral("0012"));
    p.UserDept.assign(QStringLiteral("03"));
    p.ServerName.assign(server.qfolder());
    p.DbUserName.assign(QStringLiteral("clerk"));
    p.DbPassword.assign(QStringLiteral("secret"));
    p.BusinessDbName.assign(QString::fromLatin1(kBusiness));
    p.PubdictDbName.assign(QString::fromLatin1(kDict));
    p.MiskernelDbName.assign(QString::fromLatin1(kKernel));
    p.Rights.assign(QStringLiteral("****CR"));
    p.ViewKind.assign(QStringLiteral("C"));
    p.OperationType.assign(QStringLiteral("R"));
    p.StationName.assign(QStringLiteral("TESTSTATION"));
    return p;
}

}  // namespace startuptest
