// Design and operations of the financial data module. The procedure components are opened
// or executed and closed within each bridge operation; an error leaves a component as it
// was at that point (no clean-up), the way the callers expect.
#include "data/fm_yycwdata.h"

#include "data/connectionsetup.h"
#include "framework/text/text.h"

#include <dlfcn.h>

Tfm_YYCWData* fm_YYCWData = nullptr;

namespace {

using db::FieldType;
using db::ParamType;

const QString kDesignName = QStringLiteral("DB_YYCW");

db::StoredProc* procedure(QObject* owner, const char* name, const char* serverName) {
    auto* sp = new db::StoredProc(owner);
    sp->setObjectName(QString::fromLatin1(name));
    sp->SetDatabaseName(kDesignName);
    sp->SetStoredProcName(QString::fromLatin1(serverName));
    sp->addParam(QStringLiteral("Result"), FieldType::Integer, ParamType::Result);
    return sp;
}

// An address inside this library: dladdr answers with the file it was loaded from.
void moduleAnchor() {}

}  // namespace

Tfm_YYCWData::Tfm_YYCWData(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("fm_YYCWData"));
    db_yycw = new db::Database(kDesignName, this);
    db_yycw->setObjectName(QStringLiteral("db_yycw"));
    db_yycw->Params().setLines(data::standardDesignParams(QStringLiteral("QEmDll"), 256, 32));

    sp_cw2ywDept = procedure(this, "sp_cw2ywDept", "dbo.CWDept2YWDept_Format1");
    sp_cw2ywDept->addParam(QStringLiteral("@curyear"), FieldType::Integer, ParamType::Input);
    sp_cw2ywDept->addParam(QStringLiteral("@cwdept"), FieldType::String, ParamType::Input);
    sp_cw2ywDept->addParam(QStringLiteral("@toYWdept"), FieldType::String, ParamType::Output);

    sp_getCwdeptName = procedure(this, "sp_getCwdeptName", "dbo.getCWDeptName");
    sp_getCwdeptName->addParam(QStringLiteral("@curyear"), FieldType::Integer, ParamType::Input);
    sp_getCwdeptName->addParam(QStringLiteral("@cwdept"), FieldType::String, ParamType::Input);

    sp_getCwMinMaxYear = procedure(this, "sp_getCwMinMaxYear", "dbo.GetCwMaxMinYear");

    sp_GetCwSalerList = procedure(this, "sp_GetCwSalerList", "dbo.getCWSalersList");
    sp_GetCwSalerList->addParam(QStringLiteral("@curyear"), FieldType::Integer, ParamType::Input);
    ds_GetCwSalersList = new db::DataSource(this);
    ds_GetCwSalersList->setObjectName(QStringLiteral("ds_GetCwSalersList"));
    ds_GetCwSalersList->setDataSet(sp_GetCwSalerList);

    CommonQuery = new db::Query(this);
    CommonQuery->setObjectName(QStringLiteral("CommonQuery"));
    CommonQuery->SetDatabaseName(kDesignName);
}

Tfm_YYCWData::~Tfm_YYCWData() {
    for (db::DataSet* ds :
         {static_cast<db::DataSet*>(sp_cw2ywDept), static_cast<db::DataSet*>(sp_getCwdeptName),
          static_cast<db::DataSet*>(sp_getCwMinMaxYear),
          static_cast<db::DataSet*>(sp_GetCwSalerList), static_cast<db::DataSet*>(CommonQuery)})
        ds->Close();
    db_yycw->Close();
    if (fm_YYCWData == this)
        fm_YYCWData = nullptr;
}

QString Tfm_YYCWData::GetModuleBaseName() const {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleAnchor), &info) == 0 || info.dli_fname == nullptr)
        return QString();
    return data::moduleBaseNameOf(QString::fromLocal8Bit(info.dli_fname));
}

void Tfm_YYCWData::ApplyDatabaseAlias() {
    const QString name = QStringLiteral("DBYW_") + GetModuleBaseName();
    db_yycw->SetDatabaseName(name);
    for (db::DataSet* ds :
         {static_cast<db::DataSet*>(sp_cw2ywDept), static_cast<db::DataSet*>(sp_getCwdeptName),
          static_cast<db::DataSet*>(sp_getCwMinMaxYear),
          static_cast<db::DataSet*>(sp_GetCwSalerList), static_cast<db::DataSet*>(CommonQuery)})
        ds->SetDatabaseName(name);
}

void Tfm_YYCWData::ConnectYYCW() {
    db_yycw->Close();
    ApplyDatabaseAlias();
    data::setUpConnection(*db_yycw, text::fromGbk(DllParams.BusinessDbName.bytes()),
                          data::hostName(DllParams, QStringLiteral("--Ctr--") + data::timeText()));
}

QString Tfm_YYCWData::CwDept2YwDept(int year, const QString& cwDept) {
    sp_cw2ywDept->ParamByName(QStringLiteral("@curyear")).SetAsInteger(year);
    sp_cw2ywDept->ParamByName(QStringLiteral("@cwdept")).SetAsString(cwDept);
    sp_cw2ywDept->ExecProc();
    const QString result = sp_cw2ywDept->ParamByName(QStringLiteral("@toYWdept")).AsString();
    sp_cw2ywDept->Close();
    return result;
}

QString Tfm_YYCWData::GetCwDeptName(int year, const QString& cwDept) {
    sp_getCwdeptName->ParamByName(QStringLiteral("@curyear")).SetAsInteger(year);
    sp_getCwdeptName->ParamByName(QStringLiteral("@cwdept")).SetAsString(cwDept);
    sp_getCwdeptName->Open();
    const QString name = sp_getCwdeptName->FieldByName(QStringLiteral("deptname"))->AsString();
    sp_getCwdeptName->Close();
    return name;
}

bool Tfm_YYCWData::GetCwMinMaxYear(int fromYear, int toYear, int& minYear, int& maxYear) {
    sp_getCwMinMaxYear->Open();
    minYear =
        static_cast<int>(sp_getCwMinMaxYear->FieldByName(QStringLiteral("minyear"))->AsInteger());
    maxYear =
        static_cast<int>(sp_getCwMinMaxYear->FieldByName(QStringLiteral("maxyear"))->AsInteger());
    const bool within = minYear <= fromYear && maxYear >= toYear;
    sp_getCwMinMaxYear->Close();
    return within;
}
