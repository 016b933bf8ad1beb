// The business-side data module: the business, kernel and public-dictionary connections and
// the lookup queries of the main window and the options dialog. Components are public so
// other code reaches them as frmData->qrDepts; each carries its component name.
#pragma once

#include "framework/db/database.h"
#include "framework/db/datalink.h"
#include "framework/db/query.h"

#include <QObject>

class TfrmData : public QObject {
    Q_OBJECT

public:
    // Registers the three connection names; a name still held by another module fails with
    // "Duplicate database name '%s'".
    explicit TfrmData(QObject* owner);
    ~TfrmData() override;

    // Sets up and opens DataBase1, dbMis and dbPubdict, each completely before the next.
    void ConnectAll();

    db::Database* DataBase1 = nullptr;  // "DB_Calvesteri", business database
    db::Database* dbMis = nullptr;      // "DBEXP_Miskernel", MIS kernel database
    db::Database* dbPubdict = nullptr;  // "zzPubdict_ex", public dictionary
    db::Query* qrDepts = nullptr;       // business departments: DeptId, deptname, list
    db::Query* qrSalers = nullptr;      // salespersons: UserId, Username, list
    db::Query* qrGeneral2 = nullptr;    // free text set by the options dialog
    db::Query* qCorp = nullptr;         // company settings (corp_set)
    db::DataSource* dsdepts = nullptr;
    db::DataSource* dsSalers = nullptr;
};

extern TfrmData* frmData;
