// Column-major storage of a fetched result: every row held once, no heap object per cell.
// Numbers live in one vector per column, text in one byte arena per column with offsets.
// Drivers fill it; DataSet reads and edits it in place; the grid and report read it by index.
#pragma once

#include "framework/db/money.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

enum class FieldType { String, Integer, Float, Currency, DateTime, Memo };

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;  // declared text length; 0 when not given
};

// A column's text bytes. Its appends are the cells' usual few bytes, copied inline: a
// string's append goes through a library memcpy call for each.
class TextArena {
public:
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    const char* data() const { return m_data.get(); }
    void clear() { m_size = 0; }
    void shrink_to_fit();
    void append(std::string_view bytes) {
        const std::size_t n = bytes.size();
        if (n > m_capacity - m_size)
            grow(n);
        char* to = m_data.get() + m_size;
        const char* from = bytes.data();
        // Two overlapping fixed-size copies cover 4 to 16 bytes without reading past the end.
        if (n > 16) {
            std::memcpy(to, from, n);
        } else if (n >= 8) {
            std::memcpy(to, from, 8);
            std::memcpy(to + n - 8, from + n - 8, 8);
        } else if (n >= 4) {
            std::memcpy(to, from, 4);
            std::memcpy(to + n - 4, from + n - 4, 4);
        } else if (n > 0) {
            to[0] = from[0];
            to[n / 2] = from[n / 2];
            to[n - 1] = from[n - 1];
        }
        m_size += n;
    }

private:
    void grow(std::size_t more);
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

class RowStore {
public:
    void setColumns(std::vector<FieldDef> defs);
    const std::vector<FieldDef>& columns() const { return m_defs; }
    int columnCount() const { return static_cast<int>(m_defs.size()); }
    int rowCount() const { return m_rows; }
    // Changes with every change of rows or cells (never with reading), so a reader that
    // derived something from the rows (the grid's totals) knows when to derive it again.
    std::uint64_t version() const { return m_version; }
    int indexOf(const QString& name) const;  // case-insensitive, -1 when absent
    // Rows and columns. The column buffers keep their memory for the next setColumns (a
    // result opened again needs as much); fitCapacity gives back what a smaller one left over.
    void clear();
    void fitCapacity();
    void reserve(int rows);
    // Keeps only the given columns, in that order (a dataset's fixed field list).
    void keepColumns(const std::vector<int>& order);

    // Appending, cell by cell in column order (drivers). A value that the column's type
    // cannot hold (a whole number or float outside the money range into a currency column,
    // a float outside the 64-bit range into an integer column) raises EDatabaseError.
    void beginRow();
    void appendNull();
    void appendInteger(std::int64_t v);
    void appendFloat(double v);
    void appendCurrency(std::int64_t tenThousandths) {
        // Inline for a driver's usual case, money into a money column.
        const int c = m_appendCol;
        if (c < columnCount() && m_defs[static_cast<std::size_t>(c)].type == FieldType::Currency) {
            ColumnData& d = m_data[static_cast<std::size_t>(c)];
            d.appendNotNull();
            d.ints.push_back(tenThousandths);
            ++m_appendCol;
            return;
        }
        appendCurrencyConverted(tenThousandths);
    }
    void appendText(std::string_view utf8) {
        // Inline for a driver's usual case, text into a text column.
        const int c = m_appendCol;
        if (c < columnCount()) {
            const FieldType t = m_defs[static_cast<std::size_t>(c)].type;
            if (t == FieldType::String || t == FieldType::Memo) {
                ColumnData& d = m_data[static_cast<std::size_t>(c)];
                d.appendNotNull();
                d.ints.push_back(static_cast<std::int64_t>(d.arena.size()));
                d.lens.push_back(static_cast<std::uint32_t>(utf8.size()));
                d.arena.append(utf8);
                ++m_appendCol;
                return;
            }
        }
        appendTextConverted(utf8);
    }
    void appendDateTime(std::int64_t msSinceEpoch);
    void endRow();

    // Reading by position, constant time.
    bool isNull(int row, int col) const;
    std::int64_t integer(int row, int col) const;   // Integer, Currency (1/10000), DateTime (ms)
    double real(int row, int col) const;            // Float
    std::string_view text(int row, int col) const;  // String, Memo (UTF-8)
    QString string(int row, int col) const;         // any type, as plain text (no currency format)
    // string(row, col) as UTF-8 appended to `out`, without making a string for it where the
    // type allows (texts, whole numbers, currency).
    void appendString(int row, int col, std::string& out) const;
    // Any numeric cell in 1/10000 units, rounded half away from zero (footer and report
    // sums); 0 for null and dates. EDatabaseError for a float (or number as text) too large
    // to be held in 1/10000 units.
    Scaled4 scaled4(int row, int col) const;
    // The sum of a whole Integer or Currency column in 1/10000 units, nulls adding nothing;
    // nullopt for other types. It cannot overflow: 64-bit cells times 10000 stay far inside
    // 128 bits for any row count.
    std::optional<Scaled4> columnSum(int col) const;

    // In-memory editing (nothing is written back to any server); out-of-range values raise
    // EDatabaseError as when appending.
    void insertRow(int at);  // all nulls
    void removeRow(int at);
    void setNull(int row, int col);
    void setInteger(int row, int col, std::int64_t v);
    void setFloat(int row, int col, double v);
    void setText(int row, int col, std::string_view utf8);
    void setDateTime(int row, int col, std::int64_t msSinceEpoch);
    // Copies a whole row (used to save and restore a row around Edit/Cancel).
    std::vector<std::string> snapshotRow(int row) const;
    void restoreRow(int row, const std::vector<std::string>& snapshot);

private:
    void appendCurrencyConverted(std::int64_t tenThousandths);
    void appendTextConverted(std::string_view utf8);

    struct ColumnData {
        std::vector<std::int64_t> ints;   // Integer, Currency, DateTime; text: offset into arena
        std::vector<double> reals;        // Float
        std::vector<std::uint32_t> lens;  // text lengths
        // Empty while the column holds no null (most never do, and a flag per cell is one
        // more stream of writes per cell); then one flag per row.
        std::vector<std::uint8_t> nulls;
        TextArena arena;
        void appendNotNull() {
            if (!nulls.empty())
                nulls.push_back(0);
        }
        void setNotNull(int row) {
            if (!nulls.empty())
                nulls[static_cast<std::size_t>(row)] = 0;
        }
    };
    // The column's null flags made whole for `rows` rows, none of them null.
    static std::vector<std::uint8_t>& nullFlags(ColumnData& d, int rows);
    std::vector<FieldDef> m_defs;
    std::vector<ColumnData> m_data;
    std::vector<ColumnData> m_spare;  // cleared buffers kept for the next setColumns
    int m_rows = 0;
    int m_appendCol = 0;
    std::uint64_t m_version = 0;
};

// Date-times travel as milliseconds of the server's wall clock counted as if it were UTC,
// so a value reads back with the same date and time whatever the local zone.
QDateTime naiveDateTime(std::int64_t msSinceEpoch);
std::int64_t naiveMsSinceEpoch(const QDateTime& local);

}  // namespace db
