// Writing the statement to .xlsx and .csv. libxlsxwriter runs in constant-memory mode, row
// by row, so 100,000 rows cost little memory; column widths come from a first pass over
// the texts so that every value shows.
#include "ui/statementexport.h"

#include "framework/db/field.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"

#include <xlsxwriter.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ui {

namespace {

constexpr int kProgressEvery = 2000;

// A cell's value as the export writes it.
struct Value {
    bool number = false;
    double real = 0;
    QString text;  // text cells; the exact decimal of a number for CSV
};

QString decimalText(db::Scaled4 units, int minDecimals) {
    QString s = db::formatGeneralScaled4(units);
    if (s.contains(QLatin1Char('E')))  // past 15 digits: every digit instead
        s = QString::number(static_cast<double>(static_cast<long double>(units) / 10000.0L), 'f',
                            4);
    const qsizetype dot = s.indexOf(QLatin1Char('.'));
    const qsizetype have = dot < 0 ? 0 : s.size() - dot - 1;
    if (dot < 0 && minDecimals > 0)
        s += QLatin1Char('.');
    for (qsizetype i = have; i < minDecimals; ++i) s += QLatin1Char('0');
    return s;
}

// `withText`: also the exact decimal of a number (CSV, widths); a workbook needs the number.
Value valueAt(const db::RowStore& rows, int row, const ExportColumn& c, bool withText = true) {
    Value v;
    if (c.field < 0 || rows.isNull(row, c.field))
        return v;
    const int minDecimals = c.money ? 2 : 0;
    switch (rows.columns()[static_cast<std::size_t>(c.field)].type) {
        case db::FieldType::Currency:
            v.number = true;
            v.real = static_cast<double>(rows.integer(row, c.field)) / 10000.0;
            if (withText)
                v.text = decimalText(rows.integer(row, c.field), minDecimals);
            return v;
        case db::FieldType::Integer:
            v.number = true;
            v.real = static_cast<double>(rows.integer(row, c.field));
            if (withText)
                v.text = decimalText(db::Scaled4{rows.integer(row, c.field)} * 10000, minDecimals);
            return v;
        case db::FieldType::Float:
            v.number = true;
            v.real = rows.real(row, c.field);
            if (withText)
                v.text = QString::number(v.real, 'g', QLocale::FloatingPointShortest);
            return v;
        default:
            v.text = rows.string(row, c.field);
            return v;
    }
}

// Width in the spreadsheet's character units: a Chinese character takes two.
int displayWidth(const QString& s) {
    int w = 0;
    for (QChar ch : s) w += ch.unicode() >= 0x2E80 ? 2 : 1;
    return w;
}

QString fileError(const QString& path, const QString& why) {
    return QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), why);
}

void checkProgress(const ExportProgress& progress, int done) {
    if (progress && done % kProgressEvery == 0 && !progress(done))
        throw EAbort();
}

// A name beside `path` that no file has: where the export is written before it is renamed.
QString temporaryBeside(const QString& path) {
    const QFileInfo target(path);
    for (;;) {
        const QString candidate = target.dir().filePath(
            QStringLiteral(".%1.%2.part")
                .arg(target.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QByteArray utf8(const QString& s) {
    return s.toUtf8();
}

}  // namespace

QString proposedExportName(const QString& periodText, const QString& suffix) {
    QString name = QStringLiteral("出口盈亏表");
    if (!periodText.isEmpty())
        name += QLatin1Char('_') + periodText;
    return text::safeFileName(name) + QLatin1Char('.') + suffix;
}

void writeXlsx(const StatementExport& s, const QString& path, const ExportProgress& progress) {
    const db::RowStore& rows = *s.rows;
    const int columnCount = static_cast<int>(s.columns.size());

    // Widths first: constant-memory mode writes each row as it goes.
    std::vector<int> widths(s.columns.size(), 4);
    for (int c = 0; c < columnCount; ++c) {
        const ExportColumn& col = s.columns[static_cast<std::size_t>(c)];
        int& w = widths[static_cast<std::size_t>(c)];
        w = qMax(w, displayWidth(col.title));
        for (int r = 0; r < rows.rowCount(); ++r)
            w = qMax(w, displayWidth(valueAt(rows, r, col).text));
        if (col.total)
            w = qMax(w, displayWidth(decimalText(*col.total, 2)));
        w = qMax(w, displayWidth(col.totalText));
    }

    const QString temporary = temporaryBeside(path);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(temporaryName.constData(), &options);
    if (!book)
        throw EInvalidOperation(fileError(path, QStringLiteral("无法创建工作簿")));
    lxw_worksheet* sheet =
        workbook_add_worksheet(book, utf8(QStringLiteral("出口盈亏表")).constData());
    lxw_format* title = workbook_add_format(book);
    format_set_bold(title);
    format_set_font_size(title, 14);
    lxw_format* header = workbook_add_format(book);
    format_set_bold(header);
    format_set_align(header, LXW_ALIGN_CENTER);
    lxw_format* money = workbook_add_format(book);
    format_set_num_format(money, "0.00");
    lxw_format* moneyTotal = workbook_add_format(book);
    format_set_num_format(moneyTotal, "0.00");
    format_set_bold(moneyTotal);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);

    for (int c = 0; c < columnCount; ++c)
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                             widths[static_cast<std::size_t>(c)] + 2, nullptr);
    worksheet_set_landscape(sheet);
    worksheet_set_paper(sheet, 9);  // A4
    worksheet_fit_to_pages(sheet, 1, 0);

    lxw_row_t row = 0;
    worksheet_write_string(sheet, row++, 0, utf8(s.title).constData(), title);
    for (const QString& line : s.heading)
        worksheet_write_string(sheet, row++, 0, utf8(line).constData(), nullptr);
    const lxw_row_t titleRow = row++;
    for (int c = 0; c < columnCount; ++c)
        worksheet_write_string(sheet, titleRow, static_cast<lxw_col_t>(c),
                               utf8(s.columns[static_cast<std::size_t>(c)].title).constData(),
                               header);
    worksheet_freeze_panes(sheet, titleRow + 1, static_cast<lxw_col_t>(s.frozenColumns));
    worksheet_repeat_rows(sheet, titleRow, titleRow);

    try {
        for (int r = 0; r < rows.rowCount(); ++r, ++row) {
            for (int c = 0; c < columnCount; ++c) {
                const ExportColumn& col = s.columns[static_cast<std::size_t>(c)];
                const Value v = valueAt(rows, r, col, false);
                const auto x = static_cast<lxw_col_t>(c);
                if (v.number)
                    worksheet_write_number(sheet, row, x, v.real, col.money ? money : nullptr);
                else if (!v.text.isEmpty())
                    worksheet_write_string(sheet, row, x, utf8(v.text).constData(), nullptr);
            }
            checkProgress(progress, r + 1);
        }
    } catch (...) {
        workbook_close(book);
        QFile::remove(temporary);
        throw;
    }
    for (int c = 0; c < columnCount; ++c) {
        const ExportColumn& col = s.columns[static_cast<std::size_t>(c)];
        const auto x = static_cast<lxw_col_t>(c);
        if (col.total)
            worksheet_write_number(
                sheet, row, x, static_cast<double>(static_cast<long double>(*col.total) / 10000.0L),
                moneyTotal);
        else if (!col.totalText.isEmpty())
            worksheet_write_string(sheet, row, x, utf8(col.totalText).constData(), bold);
    }

    const lxw_error closed = workbook_close(book);
    if (closed != LXW_NO_ERROR) {
        QFile::remove(temporary);
        throw EInvalidOperation(fileError(path, QString::fromUtf8(lxw_strerror(closed))));
    }
    if (std::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        throw EInvalidOperation(fileError(path, why));
    }
}

void writeCsv(const StatementExport& s, const QString& path, CsvEncoding encoding,
              const ExportProgress& progress) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInvalidOperation(fileError(path, file.errorString()));
    auto field = [](const QString& text) {
        if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
            !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
            text.trimmed() == text)
            return text;
        QString quoted = text;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    };
    auto write = [&](const QStringList& cells) {
        const QString line = cells.join(QLatin1Char(',')) + QStringLiteral("\r\n");
        const QByteArray bytes = encoding == CsvEncoding::Gbk
                                     ? QByteArray::fromStdString(text::toGbk(line))
                                     : line.toUtf8();
        if (file.write(bytes) != bytes.size())
            throw EInvalidOperation(fileError(path, file.errorString()));
    };
    if (encoding == CsvEncoding::Utf8WithBom)
        file.write("\xEF\xBB\xBF", 3);
    write({field(s.title)});
    for (const QString& line : s.heading) write({field(line)});
    QStringList titles;
    for (const ExportColumn& c : s.columns) titles << field(c.title);
    write(titles);
    const db::RowStore& rows = *s.rows;
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList cells;
        for (const ExportColumn& c : s.columns) cells << field(valueAt(rows, r, c).text);
        write(cells);
        checkProgress(progress, r + 1);
    }
    QStringList totals;
    for (const ExportColumn& c : s.columns)
        totals << (c.total ? decimalText(*c.total, 2) : field(c.totalText));
    write(totals);
    if (!file.commit())
        throw EInvalidOperation(fileError(path, file.errorString()));
}

}  // namespace ui
