// The statement window's test server: log tables filled by the procedures' own bodies,
// so a test reads back exactly what the library sent, and the data modules built over it
// the way the start-up builds them.
#include "windowenv.h"

#include "data/fm_yycwdata.h"
#include "data/frmdata.h"
#include "framework/ui/application.h"
#include "plugin/dllparams.h"
#include "server/server.h"
#include "ui/frmmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QPointer>
#include <QTemporaryDir>

namespace windowtest {
namespace {

const char* const kBusinessSchema = R"sql(
CREATE TABLE statlog(seq INTEGER PRIMARY KEY AUTOINCREMENT, viewobject TEXT, deptid TEXT,
  salerid TEXT, year1 TEXT, month1 TEXT, year2 TEXT, month2 TEXT, queryoption,
  monthtype TEXT, optiontype TEXT);
CREATE TABLE importlog(seq INTEGER PRIMARY KEY AUTOINCREMENT, year1 TEXT, year2 TEXT,
  yeartype TEXT);
CREATE TABLE cwnamelog(seq INTEGER PRIMARY KEY AUTOINCREMENT, curyear, cwdept TEXT);
CREATE TABLE cwyears(minyear INT, maxyear INT);
CREATE TABLE cwdepts(code VARCHAR(8), deptname VARCHAR(30));
INSERT INTO cwdepts VALUES('0301', '财务一组');
CREATE TABLE results(seq INTEGER PRIMARY KEY, invoiceno VARCHAR(20), UnExchTag VARCHAR(2),
  dept VARCHAR(20), srUSD MONEY, srRMB MONEY, yfUSD MONEY, yfRMB MONEY, bfUSD MONEY,
  bfRMB MONEY, yjUSD MONEY, yjRMB MONEY, cb MONEY, value_no VARCHAR(20), lirun MONEY,
  lirun_true MONEY, shouhui MONEY);
)sql";

const char* const kStatBody =
    "insert into statlog(viewobject, deptid, salerid, year1, month1, year2, month2, queryoption,"
    " monthtype, optiontype) values(@ViewObject, @deptid, @salerid, @year1, @month1, @year2,"
    " @month2, @queryOption, typeof(@month1), typeof(@queryOption));"
    "select invoiceno, UnExchTag, dept, srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB, yjUSD, yjRMB,"
    " cb, value_no, lirun, lirun_true, shouhui from results order by seq";
const char* const kImportBody =
    "insert into importlog(year1, year2, yeartype) values(@year1, @year2, typeof(@year1))";
const char* const kYearsBody = "select minyear, maxyear from cwyears";
const char* const kCwSalersBody =
    "select code as cDepCode, deptname as cdepname from cwdepts order by code";
const char* const kCwNameBody =
    "insert into cwnamelog(curyear, cwdept) values(@curyear, @cwdept);"
    "select deptname from cwdepts where code = @cwdept";

const char* const kKernelSchema = R"sql(
CREATE TABLE dept(DeptId CHAR(2), deptname VARCHAR(20), classid CHAR(1));
INSERT INTO dept VALUES('03', '业务三部', 'B'), ('05', '业务五部', 'B'), ('O''', '引号部', 'B');
CREATE TABLE users(UserId CHAR(4), Username VARCHAR(10), classid CHAR(1), dept CHAR(2));
INSERT INTO users VALUES('0012', '张三', 'S', '03'), ('0013', '李四', 'S', '05');
)sql";

const char* const kDictSchema = R"sql(
CREATE TABLE corp_set(code CHAR(1), name_ch VARCHAR(60), name_en VARCHAR(80),
  addr_ch VARCHAR(60), addr_en VARCHAR(80), order_bank VARCHAR(60), account TEXT,
  order_tax VARCHAR(30), zip CHAR(6), present CHAR(8), name_simple VARCHAR(20),
  custom_code VARCHAR(16), corp_code CHAR(1), tel VARCHAR(30), is_default CHAR(1),
  order_name VARCHAR(60), pay_default CHAR(1), prefix CHAR(3));
)sql";

QString sqlText(const QString& s) {
    QString q = s;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString cellText(const server::Value& v) {
    switch (v.kind) {
        case server::Value::Kind::Null:
            return QStringLiteral("NULL");
        case server::Value::Kind::Integer:
            return QString::number(v.integer);
        case server::Value::Kind::Float:
            return QString::number(v.real);
        case server::Value::Kind::Currency:
            return QString::number(v.integer / 10000.0);
        case server::Value::Kind::DateTime:
            return QString::number(v.integer);
        case server::Value::Kind::Text:
            return QString::fromStdString(v.text);
    }
    return QString();
}

}  // namespace

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool savePicture(const QImage& image, const QString& fileName) {
    const QString kept = qEnvironmentVariable("EXPORTPNL_TEST_PICTURES");
    if (!kept.isEmpty())
        return QDir().mkpath(kept) && image.save(QDir(kept).filePath(fileName));
    const QTemporaryDir dir;
    return dir.isValid() && image.save(dir.filePath(fileName));
}

WindowEnv::WindowEnv() {
    ui::Application::instance();
    m_previous = ui::setMessagePresenter(&presenter);
    server.exec(kBusiness, kBusinessSchema);
    server.exec(kKernel, kKernelSchema);
    server.exec(kDict, kDictSchema);
    restoreProcedures();
}

WindowEnv::~WindowEnv() {
    closeWindow();
    // Modules of a test that never opened a window.
    delete frmData;
    frmData = nullptr;
    delete fm_YYCWData;
    fm_YYCWData = nullptr;
    flushDeletes();
    ui::setMessagePresenter(m_previous);
    DllParams = TDllParams{};
    OnScreenFlag = 0;
}

void WindowEnv::restoreProcedures() {
    server.addProcedure(kBusiness, "StatCalvesteri", kStatBody);
    server.addProcedure(kBusiness, "ImportYYCWDATA", kImportBody);
    server.addProcedure(kBusiness, "GetCwMaxMinYear", kYearsBody);
    server.addProcedure(kBusiness, "getCWDeptName", kCwNameBody);
    server.addProcedure(kBusiness, "getCWSalersList", kCwSalersBody);
}

void WindowEnv::breakProcedure(const std::string& name) {
    server.addProcedure(kBusiness, name, "select * from no_such_table_" + name);
}

void WindowEnv::setCompany(const QString& nameSimple) {
    server.exec(kDict,
                ("DELETE FROM corp_set; INSERT INTO corp_set(code, name_simple) VALUES('1', " +
                 sqlText(nameSimple) + ");")
                    .toStdString());
}

void WindowEnv::setCwYears(int minYear, int maxYear) {
    server.exec(kBusiness,
                QStringLiteral("DELETE FROM cwyears; INSERT INTO cwyears VALUES(%1, %2);")
                    .arg(minYear)
                    .arg(maxYear)
                    .toStdString());
}

void WindowEnv::setRows(const std::vector<ResultRow>& rows) {
    QString sql = QStringLiteral("DELETE FROM results;");
    int seq = 0;
    for (const ResultRow& r : rows) {
        sql += QStringLiteral(
                   "INSERT INTO results(seq, invoiceno, UnExchTag, dept, srUSD, cb, lirun, "
                   "lirun_true) VALUES(%1, %2, %3, '三部', %4, %5, 0, %6);")
                   .arg(++seq)
                   .arg(sqlText(r.invoiceno), sqlText(r.tag),
                        r.srUSD.isEmpty() ? QStringLiteral("NULL") : r.srUSD, r.cb, r.lirunTrue);
    }
    server.exec(kBusiness, sql.toStdString());
}

void connectModules(const QString& folder, const QString& business, const QString& kernel,
                    const QString& dict, const QString& viewKind, const QString& viewId,
                    const QString& user, const QString& password) {
    TDllParams p{};
    p.UserId.assign(QStringLiteral("0012"));
    p.StationName.assign(QStringLiteral("TESTSTATION"));
    p.ServerName.assign(folder);
    p.DbUserName.assign(user);
    p.DbPassword.assign(password);
    p.BusinessDbName.assign(business);
    p.MiskernelDbName.assign(kernel);
    p.PubdictDbName.assign(dict);
    p.ViewKind.assign(viewKind);
    p.ViewId.assign(viewId);
    p.OperationType.assign(QStringLiteral("R"));
    DllParams = p;

    frmData = new TfrmData(&ui::Application::instance());
    frmData->ConnectAll();
    fm_YYCWData = new Tfm_YYCWData(&ui::Application::instance());
    fm_YYCWData->ConnectYYCW();
}

void WindowEnv::connect(const QString& viewKind, const QString& viewId) {
    connectModules(server.qfolder(), QString::fromLatin1(kBusiness), QString::fromLatin1(kKernel),
                   QString::fromLatin1(kDict), viewKind, viewId);
}

Tfrmmain* WindowEnv::openWindow() {
    m_window = new Tfrmmain();
    frmmain = m_window;
    return m_window;
}

void WindowEnv::closeWindow() {
    if (m_window)
        m_window->close();
    flushDeletes();
    // Closing deletes the window later; a window whose close failed goes here.
    delete m_window.data();
}

QStringList WindowEnv::log(const std::string& table) const {
    const auto connection = server::Server::open(server.folder()).connect(kBusiness);
    const server::RowSet rows = connection->query("select * from " + table + " order by seq");
    QStringList out;
    for (const auto& row : rows.rows) {
        QStringList cells;
        for (std::size_t c = 1; c < row.size(); ++c)  // past seq
            cells << cellText(row[c]);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

void WindowEnv::clearLogs() {
    server.exec(kBusiness, "DELETE FROM statlog; DELETE FROM importlog; DELETE FROM cwnamelog;");
}

QStringList WindowEnv::messages() const {
    QStringList out;
    for (const ui::Shown& s : presenter.shown)
        if (s.kind == ui::BoxKind::Message)
            out << s.text;
    return out;
}

QStringList WindowEnv::errors() const {
    QStringList out;
    for (const ui::Shown& s : presenter.shown)
        if (s.kind == ui::BoxKind::Error)
            out << s.text;
    return out;
}

}  // namespace windowtest
