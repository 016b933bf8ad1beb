// The fixture databases shared by the server suites.
#include "serverhelpers.h"

namespace servertest {

void fillKernelAndDict(testsupport::TempServer& srv) {
    srv.exec("Miskernel", R"(
        CREATE TABLE dept(DeptId CHAR(2) PRIMARY KEY, deptname VARCHAR(20), classid CHAR(1));
        INSERT INTO dept VALUES('01','业务一部','B'),('02','财务部','F'),('03','业务三部','b');
        CREATE TABLE users(UserId CHAR(4) PRIMARY KEY, Username VARCHAR(10), classid CHAR(1),
                           dept CHAR(2));
        INSERT INTO users VALUES('0012','张三','S','03'),('0013','李四','A','02'),
                                ('0014','王五','s','01');
    )");
    srv.exec("Pubdict", R"(
        CREATE TABLE corp_set(code CHAR(1), name_simple VARCHAR(20), account TEXT);
        INSERT INTO corp_set VALUES('1','泰沃进出口','6222-01');
    )");
    srv.exec("Calvesteri", "CREATE TABLE shipment(invoiceno VARCHAR(12), amount MONEY);");
}

}  // namespace servertest
