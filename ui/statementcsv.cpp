// Writing the statement to CSV: each line made as UTF-8 in one buffer straight from the row
// store (no string per cell), turned into GBK per line where that encoding was chosen.
#include "framework/db/money.h"
#include "framework/io/atomicfile.h"
#include "framework/text/errors.h"
#include "framework/text/text.h"
#include "ui/exportcells.h"
#include "ui/statementexport.h"

#include <QChar>
#include <string>

namespace ui {

namespace {

constexpr int kProgressEvery = 2000;

// A text a spreadsheet would take for a formula (=HYPERLINK(...), +cmd, @SUM, a leading tab
// or carriage return) gets a leading apostrophe, as spreadsheet programs recommend; numbers
// are written by us and never pass here.
bool takenForAFormula(std::string_view text) {
    if (text.empty())
        return false;
    switch (text.front()) {
        case '=':
        case '+':
        case '-':
        case '@':
        case '\t':
        case '\r':
            return true;
        default:
            return false;
    }
}

// The text of `line` from `start` on as a CSV field: made inert, and quoted where it holds a
// separator, a quote or a line break, or starts or ends with a blank a reader would drop.
void makeField(std::string& line, std::size_t start) {
    const std::string_view text(line.data() + start, line.size() - start);
    const bool inert = takenForAFormula(text);
    // After the apostrophe a leading blank is no longer at the start.
    const bool quoted =
        text.find_first_of(",\"\n\r") != std::string_view::npos ||
        (!text.empty() && ((!inert && QChar::isSpace(cells::firstCodePoint(text))) ||
                           QChar::isSpace(cells::lastCodePoint(text))));
    if (!inert && !quoted)
        return;
    std::string field;
    field.reserve(text.size() + 4);
    if (quoted)
        field += '"';
    if (inert)
        field += '\'';
    for (const char ch : text) {
        if (ch == '"' && quoted)
            field += '"';
        field += ch;
    }
    if (quoted)
        field += '"';
    line.replace(start, std::string::npos, field);
}

void appendField(std::string& line, const QString& text) {
    const std::size_t start = line.size();
    line += text.toStdString();
    makeField(line, start);
}

}  // namespace

void writeCsv(const StatementExport& s, const QString& path, CsvEncoding encoding,
              const ExportProgress& progress) {
    io::AtomicFile file(path);
    std::string line;
    const auto endLine = [&] {
        line += "\r\n";
        if (encoding == CsvEncoding::Gbk) {
            const std::string bytes =
                text::toGbk(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
            file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        } else {
            file.write(line.data(), static_cast<qint64>(line.size()));
        }
        line.clear();
    };
    if (encoding == CsvEncoding::Utf8WithBom)
        file.write("\xEF\xBB\xBF", 3);
    appendField(line, s.title);
    endLine();
    for (const QString& heading : s.heading) {
        appendField(line, heading);
        endLine();
    }
    for (std::size_t c = 0; c < s.columns.size(); ++c) {
        if (c > 0)
            line += ',';
        appendField(line, s.columns[c].title);
    }
    endLine();
    const db::RowStore& rows = *s.rows;
    for (int r = 0; r < rows.rowCount(); ++r) {
        for (std::size_t c = 0; c < s.columns.size(); ++c) {
            if (c > 0)
                line += ',';
            const std::size_t start = line.size();
            if (!cells::appendText(rows, r, s.columns[c], line))
                makeField(line, start);
        }
        endLine();
        if (progress && (r + 1) % kProgressEvery == 0 && !progress(r + 1))
            throw EAbort();
    }
    for (std::size_t c = 0; c < s.columns.size(); ++c) {
        if (c > 0)
            line += ',';
        const ExportColumn& col = s.columns[c];
        if (col.total)
            line += db::formatExactScaled4(*col.total, 2).toStdString();
        else
            appendField(line, col.totalText);
    }
    endLine();
    file.commit();
}

}  // namespace ui
