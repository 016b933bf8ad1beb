// Typed reading of result rows. Rows are streamed to the sink; only while a computed
// column has shown no value yet are the first rows held back to learn its type.
#include "server/resultreader.h"

#include "server/conversions.h"
#include "server/tokenizer.h"

#include <sqlite3.h>

namespace server {

ResultReader::ResultReader(sqlite3_stmt* stmt, const std::vector<std::string>* castTypes)
    : m_stmt(stmt), m_castTypes(castTypes) {}

void ResultReader::describeColumns() {
    const int n = sqlite3_column_count(m_stmt);
    m_columns.assign(static_cast<std::size_t>(n), Column{});
    m_typed.assign(static_cast<std::size_t>(n), false);
    std::vector<std::string> read;
    const std::vector<std::string>* casts = m_castTypes;
    for (int i = 0; i < n; ++i) {
        Column& c = m_columns[static_cast<std::size_t>(i)];
        const char* name = sqlite3_column_name(m_stmt, i);
        c.name = name ? name : "";
        const char* declared = sqlite3_column_decltype(m_stmt, i);
        if (!declared) {
            // SQLite declares no type for a computed column, not even a cast one.
            if (!casts) {
                const char* sql = sqlite3_sql(m_stmt);
                read = selectCastTypes(sql ? sql : "");
                casts = &read;
            }
            if (casts->size() == static_cast<std::size_t>(n) &&
                !(*casts)[static_cast<std::size_t>(i)].empty())
                declared = (*casts)[static_cast<std::size_t>(i)].c_str();
        }
        if (!declared)
            continue;
        if (const auto type = typeFromDeclaration(declared, &c.size)) {
            c.type = *type;
            m_typed[static_cast<std::size_t>(i)] = true;
        }
    }
}

int ResultReader::readAll(RowSink* sink) {
    // The columns are read after the first step: a statement kept prepared between calls is
    // prepared again by that step when the schema changed, and may then have other columns.
    int rc = sqlite3_step(m_stmt);
    if (!sink) {
        while (rc == SQLITE_ROW) rc = sqlite3_step(m_stmt);
        return rc;
    }
    describeColumns();
    std::vector<Row> pending;
    auto untyped = [this] {
        for (bool t : m_typed) {
            if (!t)
                return true;
        }
        return false;
    };
    for (; rc == SQLITE_ROW && untyped(); rc = sqlite3_step(m_stmt)) {
        Row row(m_columns.size());
        hold(row);
        for (std::size_t c = 0; c < row.size(); ++c) {
            const CellView cell = row[c].viewed();
            if (m_typed[c] || cell.storage == SQLITE_NULL)
                continue;
            m_typed[c] = true;
            switch (cell.storage) {
                case SQLITE_INTEGER:
                    m_columns[c].type = ColumnType::Integer;
                    break;
                case SQLITE_FLOAT:
                    m_columns[c].type = ColumnType::Float;
                    break;
                case SQLITE_BLOB:
                    m_columns[c].type = ColumnType::Memo;
                    break;
                default:
                    m_columns[c].type =
                        looksLikeDateTime(cell.text) ? ColumnType::DateTime : ColumnType::Text;
            }
        }
        pending.push_back(std::move(row));
    }
    // A column without any value (no rows, or NULL throughout) is text.
    sink->columns(m_columns);
    for (const Row& row : pending) emit(row, *sink);
    if (rc != SQLITE_ROW)
        return rc;
    // From here on each value goes from SQLite's row to the sink without a copy of its own.
    // One column call per cell (each sqlite3_column_* call is a full API entry), and the
    // usual pairs of column type and storage are handed over directly. The value it gives
    // is "unprotected", which differs from a protected one only by a mutex that the
    // connection does not have (it is opened without).
    // What each column's usual values need, looked up once instead of per cell.
    enum class Fast : std::uint8_t { None, Money, Text };
    const int n = static_cast<int>(m_columns.size());
    std::vector<Fast> fast(m_columns.size(), Fast::None);
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        const ColumnType type = m_columns[c].type;
        if (type == ColumnType::Currency)
            fast[c] = Fast::Money;
        else if (type == ColumnType::Text || type == ColumnType::Memo)
            fast[c] = Fast::Text;
    }
    for (; rc == SQLITE_ROW; rc = sqlite3_step(m_stmt)) {
        sink->beginRow();
        for (int c = 0; c < n; ++c) {
            sqlite3_value* value = sqlite3_column_value(m_stmt, c);
            const int storage = sqlite3_value_type(value);
            const Fast kind = fast[static_cast<std::size_t>(c)];
            std::int64_t units = 0;
            if (storage == SQLITE_NULL) {
                sink->null();
            } else if (kind == Fast::Money && storage == SQLITE_FLOAT &&
                       currencyFromNearWholeReal(sqlite3_value_double(value), units)) {
                sink->currency(units);
            } else if (kind == Fast::Money && storage == SQLITE_INTEGER &&
                       !__builtin_mul_overflow(sqlite3_value_int64(value), std::int64_t{10000},
                                               &units)) {
                // A MONEY column stores a whole amount as an integer.
                sink->currency(units);
            } else if (kind == Fast::Text && storage == SQLITE_TEXT) {
                const unsigned char* text = sqlite3_value_text(value);
                sink->text(text ? std::string_view(reinterpret_cast<const char*>(text),
                                                   static_cast<std::size_t>(
                                                       sqlite3_value_bytes(value)))
                                : std::string_view());
            } else {
                emitCell(cellOf(value, storage), static_cast<std::size_t>(c), *sink);
            }
        }
        sink->endRow();
    }
    return rc;
}

ResultReader::CellView ResultReader::cellAt(int col) const {
    sqlite3_value* value = sqlite3_column_value(m_stmt, col);
    return cellOf(value, sqlite3_value_type(value));
}

ResultReader::CellView ResultReader::cellOf(sqlite3_value* value, int storage) {
    CellView cell;
    cell.storage = storage;
    switch (storage) {
        case SQLITE_INTEGER:
            cell.integer = sqlite3_value_int64(value);
            break;
        case SQLITE_FLOAT:
            cell.real = sqlite3_value_double(value);
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const void* p = storage == SQLITE_TEXT
                                ? static_cast<const void*>(sqlite3_value_text(value))
                                : sqlite3_value_blob(value);
            const int bytes = sqlite3_value_bytes(value);
            if (p)
                cell.text = {static_cast<const char*>(p), static_cast<std::size_t>(bytes)};
            break;
        }
        default:
            break;
    }
    return cell;
}

void ResultReader::hold(Row& row) const {
    for (std::size_t c = 0; c < row.size(); ++c) {
        Cell& cell = row[c];
        cell.view = cellAt(static_cast<int>(c));
        cell.text.assign(cell.view.text);
        cell.view.text = {};
    }
}

void ResultReader::emit(const Row& row, RowSink& sink) const {
    sink.beginRow();
    for (std::size_t c = 0; c < row.size(); ++c) emitCell(row[c].viewed(), c, sink);
    sink.endRow();
}

void ResultReader::badValue(const CellView& cell, std::size_t col, const char* what) const {
    std::string shown;
    switch (cell.storage) {
        case SQLITE_INTEGER:
            shown = std::to_string(cell.integer);
            break;
        case SQLITE_FLOAT:
            shown = formatReal(cell.real);
            break;
        default:
            shown = std::string(cell.text);
            break;
    }
    throw Error("column '" + m_columns[col].name + "': value '" + shown + "' is not " + what);
}

void ResultReader::emitCell(const CellView& cell, std::size_t col, RowSink& sink) const {
    if (cell.storage == SQLITE_NULL) {
        sink.null();
        return;
    }
    const bool isText = cell.storage == SQLITE_TEXT || cell.storage == SQLITE_BLOB;
    switch (m_columns[col].type) {
        case ColumnType::Text:
        case ColumnType::Memo:
            if (isText)
                sink.text(cell.text);
            else if (cell.storage == SQLITE_INTEGER)
                sink.text(std::to_string(cell.integer));
            else
                sink.text(formatReal(cell.real));
            return;
        case ColumnType::Integer:
            if (cell.storage == SQLITE_INTEGER) {
                sink.integer(cell.integer);
            } else if (cell.storage == SQLITE_FLOAT) {
                const auto v = integerFromReal(cell.real);
                if (!v)
                    badValue(cell, col, "a whole number within the range of an integer");
                sink.integer(*v);
            } else if (const auto v = parseInteger(cell.text)) {
                sink.integer(*v);
            } else {
                badValue(cell, col, "a whole number");
            }
            return;
        case ColumnType::Float:
            if (cell.storage == SQLITE_INTEGER) {
                sink.real(static_cast<double>(cell.integer));
            } else if (cell.storage == SQLITE_FLOAT) {
                sink.real(cell.real);
            } else if (const auto v = parseFloat(cell.text)) {
                sink.real(*v);
            } else {
                badValue(cell, col, "a number");
            }
            return;
        case ColumnType::Currency: {
            std::optional<std::int64_t> v;
            if (cell.storage == SQLITE_INTEGER) {
                v = currencyFromInteger(cell.integer);
            } else if (cell.storage == SQLITE_FLOAT) {
                v = currencyFromReal(cell.real);
            } else {
                v = parseCurrency(cell.text);
            }
            if (!v)
                badValue(cell, col, "an amount of money within its range");
            sink.currency(*v);
            return;
        }
        case ColumnType::DateTime: {
            const auto v = isText ? parseDateTime(cell.text) : std::nullopt;
            if (!v)
                badValue(cell, col, "a date and time");
            sink.dateTime(*v);
            return;
        }
    }
}

}  // namespace server
