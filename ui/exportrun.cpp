// The statement window's export: the last run's whole result (not only the rows in view)
// with its heading and totals, to a file the user names, under a progress dialog that can
// cancel it. A failure shows the standard error box and leaves no file under that name.
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "framework/grid/footersums.h"
#include "framework/text/text.h"
#include "framework/ui/application.h"
#include "framework/ui/filedialog.h"
#include "framework/ui/messages.h"
#include "framework/ui/progress.h"
#include "ui/frmmain.h"
#include "ui/statementexport.h"

#include <QDir>

namespace {

ui::StatementExport statementOf(const Tfrmmain& w) {
    ui::StatementExport s;
    s.title = ui::Application::instance().Title();
    s.heading = {
        QStringLiteral("查看对象:") + ViewObjectText, QStringLiteral("时间段:") + PeriodText,
        QStringLiteral("打印日期:%1/%2/%3").arg(ServerYear).arg(ServerMonth).arg(ServerDay)};
    s.rows = &w.StoredProc1->store();
    const auto& columns = w.DBGridEh1->columns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const grid::ColumnSpec& shown = columns[c];
        ui::ExportColumn col;
        col.title = shown.title;
        col.field = s.rows->indexOf(shown.fieldName);
        col.money = shown.footer == grid::FooterKind::Sum;
        const QString footer = w.DBGridEh1->footerText(static_cast<int>(c));
        if (shown.footer == grid::FooterKind::Sum &&
            w.DBGridEh1->footerProblem(static_cast<int>(c)).isEmpty())
            col.total = w.DBGridEh1->footerTotal(static_cast<int>(c));
        else
            col.totalText = footer;
        s.columns.push_back(col);
    }
    return s;
}

}  // namespace

void Tfrmmain::ExportStatement(bool excel) {
    const int rows = StoredProc1->RecordCount();  // the dataset's error when it is closed
    const QString suffix = excel ? QStringLiteral("xlsx") : QStringLiteral("csv");
    QString path = property(kExportPathProperty).toString();
    bool gbk = property(kExportGbkProperty).toBool();
    if (path.isEmpty()) {
        const QString gbkFilter = QStringLiteral("CSV 文件，GBK (*.csv)");
        const ui::FileDialogSpec request{
            suffix, excel ? QStringLiteral("导出Excel") : QStringLiteral("导出CSV"),
            excel ? QStringList{QStringLiteral("Excel 工作簿 (*.xlsx)")}
                  : QStringList{QStringLiteral("CSV 文件，UTF-8 (*.csv)"), gbkFilter},
            suffix, ui::proposedExportName(PeriodText, suffix)};
        const ui::FileChoice chosen = ui::askSaveFile(this, request);
        if (chosen.path.isEmpty())
            return;
        path = chosen.path;
        gbk = chosen.filter == gbkFilter;
    }
    path = text::withSuffix(path, suffix);

    const ui::StatementExport statement = statementOf(*this);
    ui::XlsxOutcome outcome;
    {
        ui::JobProgress progress(this, QStringLiteral("正在导出%1笔数据…").arg(rows), rows);
        if (!excel) {
            ui::writeCsv(statement, path, gbk ? ui::CsvEncoding::Gbk : ui::CsvEncoding::Utf8WithBom,
                         progress.callback());
            return;
        }
        outcome = ui::writeXlsx(statement, path, progress.callback());
    }
    // What the workbook could not hold as it stands, said once, after it is written.
    QStringList notes;
    if (outcome.sheets > 1)
        notes << QStringLiteral(
                     "数据超过一张工作表的1048576行，已分成%1张工作表，"
                     "每张都有标题，合计在最后一张的末尾。")
                     .arg(outcome.sheets);
    if (outcome.textsCut > 0)
        notes << QStringLiteral("有%1个文字超过单元格的32767个字符，已截断，截断处标有“…[截断]”。")
                     .arg(outcome.textsCut);
    if (outcome.textsWithNul > 0)
        notes << QStringLiteral("有%1个文字含有空字符（NUL），已换成“\uFFFD”。")
                     .arg(outcome.textsWithNul);
    if (!notes.isEmpty())
        ui::ShowMessage(QStringLiteral("已导出到“%1”。\n").arg(QDir::toNativeSeparators(path)) +
                        notes.join(QLatin1Char('\n')));
}
