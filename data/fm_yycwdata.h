// The financial data module: the financial connection db_yycw, the financial-system
// procedures and the free query CommonQuery, plus the bridge operations that translate
// between the financial system and the business side.
#pragma once

#include "framework/db/database.h"
#include "framework/db/datalink.h"
#include "framework/db/query.h"

#include <QObject>
#include <QString>

class Tfm_YYCWData : public QObject {
    Q_OBJECT

public:
    explicit Tfm_YYCWData(QObject* owner);
    ~Tfm_YYCWData() override;

    // Gives db_yycw and the module's datasets the run-time name, sets db_yycw up, opens it.
    void ConnectYYCW();
    // The name of the library file this code is loaded from, without folder, cut before its
    // first "." (empty when the name has none).
    QString GetModuleBaseName() const;
    // "DBYW_" + GetModuleBaseName() for db_yycw and every dataset of the module.
    void ApplyDatabaseAlias();

    // Business department id for a financial department code in a year ("" for null).
    QString CwDept2YwDept(int year, const QString& cwDept);
    // Name of a financial department in a year ("" without a row or for null).
    QString GetCwDeptName(int year, const QString& cwDept);
    // The financial system's first and last year (0 without a row or for null); true when
    // fromYear..toYear lies within them. Both out-values are written in every case.
    bool GetCwMinMaxYear(int fromYear, int toYear, int& minYear, int& maxYear);

    db::Database* db_yycw = nullptr;
    db::StoredProc* sp_cw2ywDept = nullptr;
    db::StoredProc* sp_getCwdeptName = nullptr;
    db::StoredProc* sp_getCwMinMaxYear = nullptr;
    db::StoredProc* sp_GetCwSalerList = nullptr;
    db::DataSource* ds_GetCwSalersList = nullptr;
    db::Query* CommonQuery = nullptr;
};

extern Tfm_YYCWData* fm_YYCWData;
