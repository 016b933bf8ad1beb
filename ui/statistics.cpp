// The statistics run of the statement window: financial years, period check, import,
// the statistics procedure, then the status bar and the texts the print run reads. Each
// step's effects stand when a later step fails, as the window's users expect.
#include "data/fm_yycwdata.h"
#include "framework/db/query.h"
#include "framework/ui/messages.h"
#include "plugin/dllparams.h"
#include "ui/frmmain.h"
#include "ui/viewnames.h"

#include <QComboBox>
#include <QDate>
#include <QLabel>

namespace {

// The first day of the month the two texts name; invalid when either is no whole number or
// out of the calendar's range.
QDate firstOfMonth(const QString& yearText, const QString& monthText) {
    bool yearOk = false;
    bool monthOk = false;
    const int year = yearText.toInt(&yearOk, 10);
    const int month = monthText.toInt(&monthOk, 10);
    if (!yearOk || !monthOk || year < 1 || year > 9999 || month < 1 || month > 12)
        return QDate();
    return QDate(year, month, 1);
}

}  // namespace

void Tfrmmain::RunStatistics() {
    // 1-2 take effect even when the run stops later.
    fm_YYCWData->GetCwMinMaxYear(0, 0, MinYear, MaxYear);
    QueryOption = cbxOption->currentIndex();

    // 3. Period check.
    const QString year1 = cbxYear1->currentText();
    const QString month1 = cbxMonth1->currentText();
    const QString year2 = cbxyear2->currentText();
    const QString month2 = cbxmonth2->currentText();
    const QDate from = firstOfMonth(year1, month1);
    const QDate to = firstOfMonth(year2, month2);
    if (!from.isValid() || !to.isValid() || from > to) {
        ui::ShowMessage(QStringLiteral("错误的查询时间段,请重新输入！"));
        return;
    }

    // 4. Import the financial system's whole year range; a failure leaves the old result.
    sp_ImportYYCWData->ParamByName(QStringLiteral("@year1")).Value = QString::number(MinYear);
    sp_ImportYYCWData->ParamByName(QStringLiteral("@year2")).Value = QString::number(MaxYear);
    sp_ImportYYCWData->ExecProc();

    // 5. The period texts go to the server exactly as typed ("3" stays "3").
    StoredProc1->Close();
    const QString viewId = DllParams.ViewId.text();
    StoredProc1->ParamByName(QStringLiteral("@ViewObject")).Value = DllParams.ViewKind.text();
    StoredProc1->ParamByName(QStringLiteral("@deptid")).Value = viewId;
    StoredProc1->ParamByName(QStringLiteral("@salerid")).Value = viewId;
    StoredProc1->ParamByName(QStringLiteral("@year1")).Value = year1;
    StoredProc1->ParamByName(QStringLiteral("@month1")).Value = month1;
    StoredProc1->ParamByName(QStringLiteral("@year2")).Value = year2;
    StoredProc1->ParamByName(QStringLiteral("@month2")).Value = month2;
    StoredProc1->ParamByName(QStringLiteral("@queryOption")).Value = QueryOption;
    StoredProc1->Open();
    m_resultQueryOption = QueryOption;

    // 6.
    SBarPanel[1]->setText(QStringLiteral("共有%1笔数据").arg(StoredProc1->RecordCount()));

    // 7.
    if (from == to)
        PeriodText = year1 + QStringLiteral("年") + month1 + QStringLiteral("月份");
    else
        PeriodText = year1 + QStringLiteral("年") + month1 + QStringLiteral("月份至") + year2 +
                     QStringLiteral("年") + month2 + QStringLiteral("月份");
    SBarPanel[2]->setText(QStringLiteral("时间段:") + PeriodText);

    // 8. The era is chosen by the start year; the financial era names by the last
    // financial year, not the period's.
    QString prefix;
    QString name;
    if (from.year() >= 2004)
        GetCwViewObjectName(MaxYear, viewId, prefix, name);
    else
        GetViewObjectName(viewId, prefix, name);
    ViewObjectText = prefix + name;
    SBarPanel[0]->setText(QStringLiteral("查看对象:") + ViewObjectText);
}
