// The statement of the last run as a file a spreadsheet opens: an Excel workbook (.xlsx,
// written with libxlsxwriter) or CSV. Both hold the heading lines, the column titles, every
// result row (amounts as numbers) and the totals. The file is written under a temporary
// name beside the chosen one and renamed into place when complete, so a failed or
// cancelled export leaves nothing under the chosen name.
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

// EInvalidOperation with a clear text when the file cannot be written (read-only folder,
// full disk) or the export was cancelled (EAbort then).
void writeXlsx(const StatementExport& statement, const QString& path,
               const ExportProgress& progress = {});
void writeCsv(const StatementExport& statement, const QString& path, CsvEncoding encoding,
              const ExportProgress& progress = {});

// The name proposed for an export: 出口盈亏表_2024年03月份.xlsx (no character a file name
// cannot hold).
QString proposedExportName(const QString& periodText, const QString& suffix);

}  // namespace ui
