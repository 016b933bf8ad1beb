// Writing the statement to .xlsx and .csv. libxlsxwriter runs in constant-memory mode, row
// by row, so 100,000 rows cost little memory; column widths come from a first pass over
// the texts so that every value shows.
#include "ui/statementexport.h"

#include "framework/db/field.h"
#include "framework/io/atomicfile.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"

#include <xlsxwriter.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cerrno>
#include <cmath>

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
    return db::formatExactScaled4(units, minDecimals);
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
            v.real = rows.real(row, c.field);
            // A spreadsheet has no number for an infinity: it gets the grid's text for it.
            v.number = std::isfinite(v.real);
            if (withText || !v.number)
                v.text = v.number ? QString::number(v.real, 'g', QLocale::FloatingPointShortest)
                                  : db::formatGeneral(v.real);
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
    // it without a word); `changed` counts what had to be altered.
    QByteArray cellText(const QString& text, XlsxOutcome& outcome) const {
        QString t = text;
        if (t.contains(QChar(0))) {
            t.replace(QChar(0), QChar(0xFFFD));
            ++outcome.textsWithNul;
        }
        const QByteArray bytes = t.toUtf8();
        qsizetype characters = 0;  // what libxlsxwriter counts: UTF-8 sequences
        for (const char ch : bytes) characters += (quint8(ch) & 0xC0) != 0x80;
        if (characters <= m_limits.textLength)
            return bytes;
        ++outcome.textsCut;
        const qsizetype keep = m_limits.textLength - kCutMark.size();
        qsizetype units = 0;
        for (qsizetype kept = 0; kept < keep && units < t.size(); ++kept)
            units += t[units].isHighSurrogate() && units + 1 < t.size() ? 2 : 1;
        return (t.left(units) + kCutMark).toUtf8();
    }

private:
    QString m_path;
    XlsxLimits m_limits;
    QByteArray m_tmpdir;
    lxw_workbook* m_book = nullptr;
};

}  // namespace

XlsxOutcome writeXlsx(const StatementExport& s, const QString& path, const ExportProgress& progress,
                      const XlsxLimits& limits) {
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
                                        wb.cellText(t, outcome).constData(), format));
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
                const Value v = valueAt(rows, next, col, false);
                if (v.number)
                    wb.check(worksheet_write_number(sheet, row, static_cast<lxw_col_t>(c), v.real,
                                                    col.money ? money : nullptr));
                else if (!v.text.isEmpty())
                    text(sheet, row, c, v.text, nullptr);
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

namespace {

// A text a spreadsheet would take for a formula (=HYPERLINK(...), +cmd, @SUM, a leading tab
// or carriage return) gets a leading apostrophe, as spreadsheet programs recommend; numbers
// are written by us and never pass here.
QString inert(const QString& text) {
    if (text.isEmpty())
        return text;
    switch (text[0].unicode()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
            return QLatin1Char('\'') + text;
        default:
            return text;
    }
}

QString csvField(const QString& raw) {
    const QString text = inert(raw);
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
        text.trimmed() == text)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

void writeCsv(const StatementExport& s, const QString& path, CsvEncoding encoding,
              const ExportProgress& progress) {
    io::AtomicFile file(path);
    auto write = [&](const QStringList& cells) {
        const QString line = cells.join(QLatin1Char(',')) + QStringLiteral("\r\n");
        if (encoding == CsvEncoding::Gbk) {
            const std::string bytes = text::toGbk(line);
            file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        } else {
            file.write(line.toUtf8());
        }
    };
    if (encoding == CsvEncoding::Utf8WithBom)
        file.write("\xEF\xBB\xBF", 3);
    write({csvField(s.title)});
    for (const QString& line : s.heading) write({csvField(line)});
    QStringList titles;
    for (const ExportColumn& c : s.columns) titles << csvField(c.title);
    write(titles);
    const db::RowStore& rows = *s.rows;
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList cells;
        for (const ExportColumn& c : s.columns) {
            const Value v = valueAt(rows, r, c);
            cells << (v.number ? v.text : csvField(v.text));
        }
        write(cells);
        checkProgress(progress, r + 1);
    }
    QStringList totals;
    for (const ExportColumn& c : s.columns)
        totals << (c.total ? decimalText(*c.total, 2) : csvField(c.totalText));
    write(totals);
    file.commit();
}

}  // namespace ui
