// Writing the statement to .xlsx (the CSV writer is statementcsv.cpp). libxlsxwriter runs in
// constant-memory mode, row by row, so 100,000 rows cost little memory; column widths come from a
// first pass over the texts so that every value shows.
#include "ui/statementexport.h"

#include "ui/exportcells.h"

#include "framework/db/field.h"
#include "framework/io/atomicfile.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"

#include <xlsxwriter.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <string>

namespace ui {

namespace {

constexpr int kProgressEvery = 2000;

void checkProgress(const ExportProgress& progress, int done) {
    if (progress && done % kProgressEvery == 0 && !progress(done))
        throw EAbort();
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

namespace {

const QString kCutMark = QStringLiteral("…[截断]");

// A whole zip on disk: its end record where the file ends and its central directory just
// before it. A write cut short by a full disk leaves neither.
bool completeZip(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 22)
        return false;
    const qint64 tail = std::min<qint64>(f.size(), 22 + 0xFFFF);
    f.seek(f.size() - tail);
    const QByteArray end = f.read(tail);
    f.seek(0);
    if (f.read(4) != QByteArray("PK\x03\x04", 4))
        return false;
    const auto u32 = [&](qsizetype at) {
        return quint32(quint8(end[at])) | quint32(quint8(end[at + 1])) << 8 |
               quint32(quint8(end[at + 2])) << 16 | quint32(quint8(end[at + 3])) << 24;
    };
    for (qsizetype at = end.size() - 22; at >= 0; --at) {
        if (u32(at) != 0x06054b50)
            continue;
        const quint32 size = u32(at + 12);
        const quint32 offset = u32(at + 16);
        const qint64 record = f.size() - tail + at;
        if (size == 0xFFFFFFFF || offset == 0xFFFFFFFF)  // zip64: its own locator precedes
            return at >= 20 && u32(at - 20) == 0x07064b50;
        return qint64(offset) + size == record;
    }
    return false;
}

class Workbook {
public:
    Workbook(const QString& path, const QString& temporary, const XlsxLimits& limits)
        : m_path(path), m_limits(limits) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        // Its row files go beside the target, on the disk the workbook goes to.
        m_tmpdir = QFile::encodeName(QFileInfo(path).absolutePath());
        options.tmpdir = m_tmpdir.data();
        errno = 0;
        m_book = workbook_new_opt(QFile::encodeName(temporary).constData(), &options);
        if (!m_book)
            failFile(LXW_ERROR_CREATING_XLSX_FILE);
    }
    ~Workbook() {
        if (m_book)
            workbook_close(m_book);
    }
    lxw_workbook* book() const { return m_book; }

    void check(lxw_error e) const {
        if (e != LXW_NO_ERROR)
            fail(e);
    }
    [[noreturn]] void fail(lxw_error e) const {
        throw EInvalidOperation(io::writeErrorText(
            m_path,
            QStringLiteral("Excel 工作簿出错（%1）").arg(QString::fromUtf8(lxw_strerror(e)))));
    }
    // libxlsxwriter says only "usually a permissions error" when a file fails; the system's
    // error, cleared before the call, names the cause.
    [[noreturn]] void failFile(lxw_error e) const {
        if (errno == 0)
            fail(e);
        throw EInvalidOperation(io::writeErrorText(m_path, io::describeError(errno)));
    }
    void close() {
        lxw_workbook* book = m_book;
        m_book = nullptr;
        errno = 0;
        const lxw_error e = workbook_close(book);
        if (e != LXW_NO_ERROR)
            failFile(e);
    }

    // A text as a cell can hold it: at most the limit's characters, no NUL (which would end
    // it without a word); `outcome` counts what had to be altered. The result stays valid
    // until the next call.
    const char* cellText(std::string_view utf8, XlsxOutcome& outcome) {
        m_cell.assign(utf8);
        if (m_cell.find('\0') != std::string::npos) {
            std::string replaced;
            for (const char ch : m_cell) {
                if (ch == '\0')
                    replaced += "\xEF\xBF\xBD";  // U+FFFD
                else
                    replaced += ch;
            }
            m_cell = std::move(replaced);
            ++outcome.textsWithNul;
        }
        std::size_t characters = 0;  // what libxlsxwriter counts: UTF-8 sequences
        for (const char ch : m_cell) characters += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
        if (characters <= static_cast<std::size_t>(m_limits.textLength))
            return m_cell.c_str();
        ++outcome.textsCut;
        const std::size_t keep =
            static_cast<std::size_t>(m_limits.textLength - kCutMark.size());  // characters
        std::size_t at = 0;
        for (std::size_t kept = 0; at < m_cell.size(); ++at) {
            if ((static_cast<unsigned char>(m_cell[at]) & 0xC0) != 0x80 && kept++ == keep)
                break;
        }
        m_cell.resize(at);
        m_cell += kCutMark.toStdString();
        return m_cell.c_str();
    }
    const char* cellText(const QString& text, XlsxOutcome& outcome) {
        const QByteArray utf8 = text.toUtf8();
        return cellText(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                        outcome);
    }

private:
    QString m_path;
    XlsxLimits m_limits;
    QByteArray m_tmpdir;
    lxw_workbook* m_book = nullptr;
    std::string m_cell;
};

}  // namespace

XlsxOutcome writeXlsx(const StatementExport& s, const QString& path, const ExportProgress& progress,
                      const XlsxLimits& limits) {
    const db::RowStore& rows = *s.rows;
    const int columnCount = static_cast<int>(s.columns.size());

    // Widths first: constant-memory mode writes each row as it goes.
    std::vector<int> widths(s.columns.size(), 4);
    std::string cell;
    for (int c = 0; c < columnCount; ++c) {
        const ExportColumn& col = s.columns[static_cast<std::size_t>(c)];
        int& w = widths[static_cast<std::size_t>(c)];
        w = qMax(w, cells::displayWidth(col.title));
        for (int r = 0; r < rows.rowCount(); ++r) {
            cell.clear();
            cells::appendText(rows, r, col, cell);
            w = qMax(w, cells::displayWidth(cell));
        }
        if (col.total)
            w = qMax(w, cells::displayWidth(db::formatExactScaled4(*col.total, 2)));
        w = qMax(w, cells::displayWidth(col.totalText));
        w = qMin(w, 100);  // a column wider than a screen helps nobody
    }

    io::AtomicFile file(path);
    XlsxOutcome outcome;
    Workbook wb(path, file.handOver(), limits);
    lxw_workbook* book = wb.book();
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
    const auto text = [&](lxw_worksheet* sheet, lxw_row_t row, int col, const QString& t,
                          lxw_format* format) {
        wb.check(worksheet_write_string(sheet, row, static_cast<lxw_col_t>(col),
                                        wb.cellText(t, outcome), format));
    };

    // A statement longer than a sheet goes on over further sheets, each with the heading and
    // the column titles; the totals close the last one.
    const lxw_row_t headRows = static_cast<lxw_row_t>(s.heading.size()) + 2;
    if (limits.rowsPerSheet <= headRows)
        throw EInvalidOperation(QStringLiteral("A sheet must hold more than the heading"));
    int next = 0;
    bool totalsWritten = false;
    while (!totalsWritten) {
        ++outcome.sheets;
        const QString name = outcome.sheets == 1
                                 ? QStringLiteral("出口盈亏表")
                                 : QStringLiteral("出口盈亏表 (%1)").arg(outcome.sheets);
        lxw_worksheet* sheet = workbook_add_worksheet(book, utf8(name).constData());
        if (!sheet)
            wb.fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
        for (int c = 0; c < columnCount; ++c)
            wb.check(worksheet_set_column(sheet, static_cast<lxw_col_t>(c),
                                          static_cast<lxw_col_t>(c),
                                          widths[static_cast<std::size_t>(c)] + 2, nullptr));
        worksheet_set_landscape(sheet);
        worksheet_set_paper(sheet, 9);  // A4
        worksheet_fit_to_pages(sheet, 1, 0);

        lxw_row_t row = 0;
        text(sheet, row++, 0, s.title, title);
        for (const QString& line : s.heading) text(sheet, row++, 0, line, nullptr);
        const lxw_row_t titleRow = row++;
        for (int c = 0; c < columnCount; ++c)
            text(sheet, titleRow, c, s.columns[static_cast<std::size_t>(c)].title, header);
        worksheet_freeze_panes(sheet, titleRow + 1, static_cast<lxw_col_t>(s.frozenColumns));
        wb.check(worksheet_repeat_rows(sheet, titleRow, titleRow));

        for (; next < rows.rowCount() && row < limits.rowsPerSheet; ++next, ++row) {
            for (int c = 0; c < columnCount; ++c) {
                const ExportColumn& col = s.columns[static_cast<std::size_t>(c)];
                const auto x = static_cast<lxw_col_t>(c);
                if (const std::optional<double> v = cells::number(rows, next, col)) {
                    wb.check(
                        worksheet_write_number(sheet, row, x, *v, col.money ? money : nullptr));
                    continue;
                }
                cell.clear();
                cells::appendText(rows, next, col, cell);
                if (!cell.empty())
                    wb.check(
                        worksheet_write_string(sheet, row, x, wb.cellText(cell, outcome), nullptr));
            }
            checkProgress(progress, next + 1);
        }
        if (next < rows.rowCount() || row >= limits.rowsPerSheet)
            continue;
        for (int c = 0; c < columnCount; ++c) {
            const ExportColumn& col = s.columns[static_cast<std::size_t>(c)];
            const auto x = static_cast<lxw_col_t>(c);
            if (col.total)
                wb.check(worksheet_write_number(
                    sheet, row, x,
                    static_cast<double>(static_cast<long double>(*col.total) / 10000.0L),
                    moneyTotal));
            else if (!col.totalText.isEmpty())
                text(sheet, row, c, col.totalText, bold);
        }
        totalsWritten = true;
    }
    wb.close();
    file.commit(completeZip);
    return outcome;
}

}  // namespace ui
