// Reads a prepared SQLite statement to its end and hands the rows to a RowSink with typed
// columns: declared types where SQLite knows them, then the type a select item is CAST to
// (as SQL Server types such a column), otherwise the type of the first value.
#pragma once

#include "server/server.h"

#include <string>
#include <string_view>
#include <vector>

struct sqlite3_stmt;
struct sqlite3_value;

namespace server {

class ResultReader {
public:
    // `castTypes`, when given, holds selectCastTypes() of the statement's text, read once by
    // a caller that runs the statement again and again; else it is read here when needed.
    explicit ResultReader(sqlite3_stmt* stmt, const std::vector<std::string>* castTypes = nullptr);

    // Steps to the end; returns SQLite's last step code (SQLITE_DONE when all went well).
    // With a null sink the rows are stepped over. A stored value that its column's type
    // cannot hold throws Error naming the column.
    int readAll(RowSink* sink);

private:
    void describeColumns();
    // One stored value; `text` points into SQLite's row until the next step, or into a
    // held-back row's copy.
    struct CellView {
        int storage = 0;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL
        std::int64_t integer = 0;
        double real = 0;
        std::string_view text;
    };
    struct Cell {  // a held-back row's value, owning its text
        CellView view;  // text left empty: it is in `text`
        std::string text;
        CellView viewed() const {
            CellView v = view;
            v.text = text;
            return v;
        }
    };
    using Row = std::vector<Cell>;

    CellView cellAt(int col) const;
    static CellView cellOf(sqlite3_value* value, int storage);
    void hold(Row& row) const;
    void emit(const Row& row, RowSink& sink) const;
    void emitCell(const CellView& cell, std::size_t col, RowSink& sink) const;
    [[noreturn]] void badValue(const CellView& cell, std::size_t col, const char* what) const;

    sqlite3_stmt* m_stmt;
    const std::vector<std::string>* m_castTypes;
    std::vector<Column> m_columns;
    std::vector<bool> m_typed;
};

}  // namespace server
