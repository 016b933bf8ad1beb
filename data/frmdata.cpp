// Design of the business-side data module and its connection set-up. The design lists are
// the ones the module ships with; ConnectAll replaces their login lines from DllParams.
#include "data/frmdata.h"

#include "data/connectionsetup.h"
#include "framework/text/text.h"

TfrmData* frmData = nullptr;

namespace {

using db::FieldDef;
using db::FieldType;

template <typename T>
T* component(QObject* owner, const char* name) {
    T* c = new T(owner);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

db::Database* connection(QObject* owner, const char* name, const char* connectionName,
                         const QStringList& design) {
    auto* d = new db::Database(QString::fromLatin1(connectionName), owner);
    d->setObjectName(QString::fromLatin1(name));
    d->Params().setLines(design);
    return d;
}

std::vector<FieldDef> corpFields() {
    return {
        {"code", FieldType::String, 1},         {"name_ch", FieldType::String, 60},
        {"name_en", FieldType::String, 80},     {"addr_ch", FieldType::String, 60},
        {"addr_en", FieldType::String, 80},     {"order_bank", FieldType::String, 60},
        {"account", FieldType::Memo, 0},        {"order_tax", FieldType::String, 30},
        {"zip", FieldType::String, 6},          {"present", FieldType::String, 8},
        {"name_simple", FieldType::String, 20}, {"custom_code", FieldType::String, 16},
        {"corp_code", FieldType::String, 1},    {"tel", FieldType::String, 30},
        {"is_default", FieldType::String, 1},   {"order_name", FieldType::String, 60},
        {"pay_default", FieldType::String, 1},  {"prefix", FieldType::String, 3},
    };
}

QString gbk(const TShortString& s) {
    return text::fromGbk(s.bytes());
}

}  // namespace

TfrmData::TfrmData(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("frmData"));
    DataBase1 = connection(this, "DataBase1", "DB_Calvesteri",
                           data::standardDesignParams(QStringLiteral("QEmDll"), 256, 32));
    dbMis = connection(this, "dbMis", "DBEXP_Miskernel",
                       data::standardDesignParams(QStringLiteral("QemDll"), 512, 64));
    dbPubdict = connection(this, "dbPubdict", "zzPubdict_ex", data::pubdictDesignParams());

    qrDepts = component<db::Query>(this, "qrDepts");
    qrDepts->SetDatabaseName(QStringLiteral("DBEXP_Miskernel"));
    qrDepts->SQL() << QStringLiteral("select DeptId,deptname,'list'=DeptId+' '+Deptname from dept")
                   << QStringLiteral("where  upper(classid)='B'");
    qrDepts->setFieldList({{"DeptId", FieldType::String, 2},
                           {"deptname", FieldType::String, 20},
                           {"list", FieldType::String, 23}});
    dsdepts = component<db::DataSource>(this, "dsdepts");
    dsdepts->setDataSet(qrDepts);

    qrSalers = component<db::Query>(this, "qrSalers");
    qrSalers->SetDatabaseName(QStringLiteral("DBEXP_Miskernel"));
    qrSalers->SQL() << QStringLiteral(
                           "select UserId,Username,'list'=UserId+' '+Username from users")
                    << QStringLiteral("where upper(classid)='S'");
    qrSalers->setFieldList({{"UserId", FieldType::String, 4},
                            {"Username", FieldType::String, 10},
                            {"list", FieldType::String, 15}});
    dsSalers = component<db::DataSource>(this, "dsSalers");
    dsSalers->setDataSet(qrSalers);

    qrGeneral2 = component<db::Query>(this, "qrGeneral2");
    qrGeneral2->SetDatabaseName(QStringLiteral("DBEXP_Miskernel"));

    qCorp = component<db::Query>(this, "qCorp");
    qCorp->SetDatabaseName(QStringLiteral("zzPubdict_ex"));
    qCorp->SQL() << QStringLiteral("select * from corp_set");
    qCorp->setFieldList(corpFields());
}

TfrmData::~TfrmData() {
    // Datasets close before their connections go; the children's destructors then
    // unregister the connection names.
    for (db::DataSet* ds :
         {static_cast<db::DataSet*>(qrDepts), static_cast<db::DataSet*>(qrSalers),
          static_cast<db::DataSet*>(qrGeneral2), static_cast<db::DataSet*>(qCorp)})
        ds->Close();
    DataBase1->Close();
    dbMis->Close();
    dbPubdict->Close();
    if (frmData == this)
        frmData = nullptr;
}

void TfrmData::ConnectAll() {
    data::setUpConnection(*DataBase1, gbk(DllParams.BusinessDbName),
                          data::hostName(DllParams, QStringLiteral("-sta4-") + data::timeText()));
    data::setUpConnection(*dbMis, gbk(DllParams.MiskernelDbName),
                          data::hostName(DllParams, QStringLiteral("-sta4-mis")));
    data::setUpConnection(*dbPubdict, gbk(DllParams.PubdictDbName),
                          data::hostName(DllParams, QStringLiteral("-sta4-Dict")));
}
