// The statement of the last run as a file a spreadsheet opens: an Excel workbook (.xlsx,
// written with libxlsxwriter) or CSV. Both hold the heading lines, the column titles, every
// result row (amounts as numbers) and the totals. The file is written under a temporary
// name beside the chosen one and renamed into place when complete, so a failed or
// cancelled export leaves nothing under the chosen name and an earlier file as it was.
// Amounts in CSV are exact to their last digit; texts a spreadsheet would run as formulas
// are made inert.
#pragma once

#include "framework/db/money.h"
#include "framework/db/rowstore.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace ui {

struct ExportColumn {
    QString title;
    int field = -1;                    // column of the result; -1 when the result lacks it
    bool money = false;                // shown with two decimals
    std::optional<db::Scaled4> total;  // the footer's total; none for unsummed columns
    QString totalText;                 // the footer's fixed text ("合计"), if any
};

struct StatementExport {
    QString title;        // "<company>--出口盈亏表"
    QStringList heading;  // 查看对象, 时间段, 打印日期 lines
    std::vector<ExportColumn> columns;
    const db::RowStore* rows = nullptr;
    int frozenColumns = 2;  // 运编号 and 标志 stay in view
};

enum class CsvEncoding { Utf8WithBom, Gbk };

// Called every few thousand rows with the rows written so far; false cancels the export.
using ExportProgress = std::function<bool(int rowsWritten)>;

// What a sheet can hold: rows per sheet and characters per text cell.
struct XlsxLimits {
    unsigned rowsPerSheet = 1048576;
    int textLength = 32767;
};

// What the workbook could not hold as it was: texts cut at the cell limit (ending in
// "…[截断]"), texts whose NUL characters became U+FFFD, and the sheets used.
struct XlsxOutcome {
    int sheets = 0;
    int textsCut = 0;
    int textsWithNul = 0;
};

// EInvalidOperation naming the cause when the file cannot be written (read-only folder,
// full disk), EAbort when cancelled; either way nothing is left and an earlier file stays.
// A statement longer than a sheet continues on further sheets, each with the heading and
// the column titles, the totals at the end of the last.
XlsxOutcome writeXlsx(const StatementExport& statement, const QString& path,
                      const ExportProgress& progress = {}, const XlsxLimits& limits = {});
void writeCsv(const StatementExport& statement, const QString& path, CsvEncoding encoding,
              const ExportProgress& progress = {});

// The name proposed for an export: 出口盈亏表_2024年03月份.xlsx (no character a file name
// cannot hold).
QString proposedExportName(const QString& periodText, const QString& suffix);

}  // namespace ui
