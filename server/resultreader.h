// Reads a prepared SQLite statement to its end and hands the rows to a RowSink with typed
// columns: declared types where SQLite knows them, otherwise the type of the first value.
#pragma once

#include "server/server.h"

#include <string>
#include <vector>

struct sqlite3_stmt;

namespace server {

class ResultReader {
public:
    explicit ResultReader(sqlite3_stmt* stmt);

    // Steps to the end; returns SQLite's last step code (SQLITE_DONE when all went well).
    // With a null sink the rows are stepped over. A stored value that its column's type
    // cannot hold throws Error naming the column.
    int readAll(RowSink* sink);

private:
    struct Cell {
        int storage = 0;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL
        std::int64_t integer = 0;
        double real = 0;
        std::string text;
    };
    using Row = std::vector<Cell>;

    void fetch(Row& row) const;
    void emit(const Row& row, RowSink& sink) const;
    void emitCell(const Cell& cell, std::size_t col, RowSink& sink) const;
    [[noreturn]] void badValue(const Cell& cell, std::size_t col, const char* what) const;

    sqlite3_stmt* m_stmt;
    std::vector<Column> m_columns;
    std::vector<bool> m_typed;
};

}  // namespace server
