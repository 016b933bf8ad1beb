// The report form of the export profit-and-loss statement: a never-shown container of the
// report QuickRep1, its five bands and every printed element at its place, bound to the
// statistics result it is given.
#pragma once

#include "framework/report/report.h"

#include <QObject>

namespace db {
class DataSet;
}

class TfrmExportPrn : public QObject {
public:
    // result: the main window's statistics result; owner: the application object.
    explicit TfrmExportPrn(db::DataSet* result, QObject* owner = nullptr);
    ~TfrmExportPrn() override;

    report::Report* QuickRep1;
    report::Band* PageHeaderBand1;
    report::Band* ColumnHeaderBand1;
    report::Band* DetailBand1;
    report::Band* SummaryBand1;
    report::Band* PageFooterBand1;

    report::Label* qrlMonth;
    report::Label* qrlDept;
    report::Label* qrlDate;
    report::Label* qrlCount;
    report::Label* qrlPagecount;
    report::DBText* qrdbt_lirun;
    report::Expr* qrexpr_lirun;

    // The x positions of the inner column rules, shared by the three ruled bands.
    static const double kInnerRules[14];

private:
    void buildPageHeader();
    void buildColumnHeader();
    void buildDetail();
    void buildSummary();
    void buildPageFooter();
};
