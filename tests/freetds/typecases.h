// One column of every server type the back end reads, at the limits of its range, as the
// loopback server sends it: TYPE_INFO, a value and (for nullable types) a NULL. Each case
// says what the back end must make of it and what an independent client reads.
#pragma once

#include "faketdsserver.h"
#include "framework/db/rowstore.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringEncoder>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace typecases {

inline QByteArray le(std::uint64_t v, int bytes) {
    QByteArray b;
    for (int i = 0; i < bytes; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return b;
}
inline QByteArray cat(std::initializer_list<QByteArray> parts) {
    QByteArray b;
    for (const QByteArray& p : parts) b.append(p);
    return b;
}
inline QByteArray byte(int v) {
    return QByteArray(1, static_cast<char>(v));
}
inline QByteArray collation() {
    return QByteArray("\x04\x08\xD0\x00\x00", 5);  // Chinese (PRC), code page 936
}
inline QByteArray ucs2(const QString& s) {
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}
inline QByteArray cp936(const QString& s) {
    QStringEncoder e("GB18030");
    return e.encode(s);
}
inline QByteArray dbl(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return le(bits, 8);
}
inline QByteArray flt(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return le(bits, 4);
}
inline int daysSince1900(int y, int m, int d) {
    return static_cast<int>(QDate(1900, 1, 1).daysTo(QDate(y, m, d)));
}
inline int daysSince0001(int y, int m, int d) {
    return static_cast<int>(QDate(1, 1, 1).daysTo(QDate(y, m, d)));
}
// Bytes of a decimal on the wire, sign byte included.
inline int decimalLength(int precision) {
    return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}
inline QByteArray decimalCell(int precision, bool negative, unsigned __int128 magnitude) {
    const int length = decimalLength(precision);
    QByteArray b = byte(length) + byte(negative ? 0 : 1);
    for (int i = 0; i < length - 1; ++i)
        b.append(static_cast<char>(static_cast<std::uint64_t>(magnitude >> (8 * i)) & 0xFF));
    return b;
}
inline QByteArray textPointer() {
    return byte(16) + QByteArray(16, '\x11') + QByteArray(8, '\x22');
}

struct Case {
    const char* what;
    QByteArray typeInfo;
    QByteArray value;                   // the cell as the row carries it
    QByteArray null;                    // the NULL cell; empty for types that cannot be NULL
    db::FieldType type;                 // the field type the back end gives the column
    const char* text;                   // RowStore::string of the value
    std::optional<std::int64_t> units;  // RowStore::integer: whole numbers, 1/10000, ms
    const char* python;  // what python-tds reads, as the cross-check script prints it
};

inline std::int64_t wallMs(int y, int mo, int d, int h, int mi, int s, int ms) {
    return db::naiveMsSinceEpoch(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms)));
}

inline std::vector<Case> nullableCases() {
    using db::FieldType;
    return {
        {"tinyint", byte(0x26) + byte(1), byte(1) + byte(255), byte(0), FieldType::Integer, "255",
         255, "255"},
        {"smallint", byte(0x26) + byte(2), byte(2) + le(0x8000, 2), byte(0), FieldType::Integer,
         "-32768", -32768, "-32768"},
        {"int", byte(0x26) + byte(4), byte(4) + le(0x80000000u, 4), byte(0), FieldType::Integer,
         "-2147483648", -2147483648LL, "-2147483648"},
        {"bigint", byte(0x26) + byte(8), byte(8) + le(0x8000000000000000ULL, 8), byte(0),
         FieldType::Integer, "-9223372036854775808", INT64_MIN, "-9223372036854775808"},
        {"bit", byte(0x68) + byte(1), byte(1) + byte(1), byte(0), FieldType::Integer, "1", 1,
         "True"},
        {"money smallest", byte(0x6E) + byte(8), byte(8) + le(0x80000000u, 4) + le(0, 4), byte(0),
         FieldType::Currency, "-922337203685478", INT64_MIN, "-922337203685477.5808"},
        {"money", byte(0x6E) + byte(8), byte(8) + le(0, 4) + le(12345678, 4), byte(0),
         FieldType::Currency, "1234.5678", 12345678, "1234.5678"},
        {"smallmoney", byte(0x6E) + byte(4), byte(4) + le(0x80000000u, 4), byte(0),
         FieldType::Currency, "-214748.3648", -2147483648LL, "-214748.3648"},
        {"float largest", byte(0x6D) + byte(8), byte(8) + dbl(1.7976931348623157e308), byte(0),
         FieldType::Float, "1.79769313486232E308", std::nullopt, "1.7976931348623157e+308"},
        {"float smallest normal", byte(0x6D) + byte(8), byte(8) + dbl(-2.2250738585072014e-308),
         byte(0), FieldType::Float, "-2.2250738585072E-308", std::nullopt,
         "-2.2250738585072014e-308"},
        {"real", byte(0x6D) + byte(4), byte(4) + flt(3.4028235e38f), byte(0), FieldType::Float,
         "3.40282346638529E38", std::nullopt, "3.4028234663852886e+38"},
        {"decimal(1,0)", byte(0x6A) + byte(5) + byte(1) + byte(0), decimalCell(1, false, 9),
         byte(0), FieldType::Currency, "9", 90000, "9"},
        {"decimal(38,4) largest money", byte(0x6A) + byte(17) + byte(38) + byte(4),
         decimalCell(38, false, 9223372036854775807ULL), byte(0), FieldType::Currency,
         "922337203685478", INT64_MAX, "922337203685477.5807"},
        {"decimal(38,2) negative", byte(0x6A) + byte(17) + byte(38) + byte(2),
         decimalCell(38, true, 922337203685475ULL), byte(0), FieldType::Currency,
         "-9223372036854.75", -92233720368547500, "-9223372036854.75"},
        {"numeric(9,4)", byte(0x6C) + byte(5) + byte(9) + byte(4), decimalCell(9, true, 123456789),
         byte(0), FieldType::Currency, "-12345.6789", -123456789, "-12345.6789"},
        {"decimal(19,10) more places than money", byte(0x6A) + byte(9) + byte(19) + byte(10),
         decimalCell(19, false, 12345678901ULL), byte(0), FieldType::Float, "1.2345678901",
         std::nullopt, "1.2345678901"},
        {"char(10)", byte(0xAF) + le(10, 2) + collation(), le(10, 2) + cp936("业务一部  "),
         le(0xFFFF, 2), FieldType::String, "业务一部  ", std::nullopt, "业务一部  "},
        {"varchar", byte(0xA7) + le(20, 2) + collation(), le(8, 2) + cp936("出口盈亏"),
         le(0xFFFF, 2), FieldType::String, "出口盈亏", std::nullopt, "出口盈亏"},
        {"varchar empty", byte(0xA7) + le(20, 2) + collation(), le(0, 2), le(0xFFFF, 2),
         FieldType::String, "", std::nullopt, ""},
        {"nchar(4)", byte(0xEF) + le(8, 2) + collation(), le(8, 2) + ucs2(QStringLiteral("𠀀€出")),
         le(0xFFFF, 2), FieldType::String, "𠀀€出", std::nullopt, "𠀀€出"},
        {"nvarchar", byte(0xE7) + le(80, 2) + collation(),
         le(10, 2) + ucs2(QStringLiteral("EX-€1")), le(0xFFFF, 2), FieldType::String, "EX-€1",
         std::nullopt, "EX-€1"},
        {"text", byte(0x23) + le(0x7FFFFFFF, 4) + collation() + byte(1) + le(1, 2) + ucs2("t"),
         textPointer() + le(4, 4) + cp936("备注"), byte(0), FieldType::Memo, "备注", std::nullopt,
         "备注"},
        {"ntext", byte(0x63) + le(0x7FFFFFFE, 4) + collation() + byte(1) + le(1, 2) + ucs2("t"),
         textPointer() + le(6, 4) + ucs2(QStringLiteral("长文本")), byte(0), FieldType::Memo,
         "长文本", std::nullopt, "长文本"},
        {"datetime earliest", byte(0x6F) + byte(8),
         byte(8) + le(static_cast<std::uint32_t>(daysSince1900(1753, 1, 1)), 4) + le(0, 4), byte(0),
         FieldType::DateTime, "1753-01-01", wallMs(1753, 1, 1, 0, 0, 0, 0), "1753-01-01T00:00:00"},
        {"datetime latest", byte(0x6F) + byte(8),
         byte(8) + le(static_cast<std::uint32_t>(daysSince1900(9999, 12, 31)), 4) + le(25919999, 4),
         byte(0), FieldType::DateTime, "9999-12-31 23:59:59", wallMs(9999, 12, 31, 23, 59, 59, 997),
         "9999-12-31T23:59:59.997000"},
        {"smalldatetime", byte(0x6F) + byte(4),
         byte(4) + le(static_cast<std::uint32_t>(daysSince1900(2079, 6, 6)), 2) +
             le(23 * 60 + 59, 2),
         byte(0), FieldType::DateTime, "2079-06-06 23:59:00", wallMs(2079, 6, 6, 23, 59, 0, 0),
         "2079-06-06T23:59:00"},
        {"date", byte(0x28),
         byte(3) + le(static_cast<std::uint32_t>(daysSince0001(2024, 3, 15)), 3), byte(0),
         FieldType::DateTime, "2024-03-15", wallMs(2024, 3, 15, 0, 0, 0, 0), "2024-03-15"},
        {"datetime2(7)", byte(0x2A) + byte(7),
         byte(8) + le((((23ULL * 60 + 59) * 60 + 59) * 1000 + 123) * 10000 + 4567, 5) +
             le(static_cast<std::uint32_t>(daysSince0001(9999, 12, 31)), 3),
         byte(0), FieldType::DateTime, "9999-12-31 23:59:59", wallMs(9999, 12, 31, 23, 59, 59, 123),
         "9999-12-31T23:59:59.123456"},
    };
}

// Types a server sends for NOT NULL columns: no length prefix, never NULL.
inline std::vector<Case> fixedCases() {
    using db::FieldType;
    return {
        {"int NOT NULL",
         byte(0x38),
         le(0x7FFFFFFF, 4),
         {},
         FieldType::Integer,
         "2147483647",
         2147483647,
         "2147483647"},
        {"bigint NOT NULL",
         byte(0x7F),
         le(0x7FFFFFFFFFFFFFFFULL, 8),
         {},
         FieldType::Integer,
         "9223372036854775807",
         INT64_MAX,
         "9223372036854775807"},
        {"tinyint NOT NULL", byte(0x30), byte(0), {}, FieldType::Integer, "0", 0, "0"},
        {"smallint NOT NULL",
         byte(0x34),
         le(0x7FFF, 2),
         {},
         FieldType::Integer,
         "32767",
         32767,
         "32767"},
        {"bit NOT NULL", byte(0x32), byte(0), {}, FieldType::Integer, "0", 0, "False"},
        {"money NOT NULL",
         byte(0x3C),
         le(0x7FFFFFFF, 4) + le(0xFFFFFFFFu, 4),
         {},
         FieldType::Currency,
         "922337203685478",
         INT64_MAX,
         "922337203685477.5807"},
        {"smallmoney NOT NULL",
         byte(0x7A),
         le(0x7FFFFFFF, 4),
         {},
         FieldType::Currency,
         "214748.3647",
         2147483647,
         "214748.3647"},
        {"float NOT NULL", byte(0x3E), dbl(0.1), {}, FieldType::Float, "0.1", std::nullopt, "0.1"},
        {"real NOT NULL",
         byte(0x3B),
         flt(-0.5f),
         {},
         FieldType::Float,
         "-0.5",
         std::nullopt,
         "-0.5"},
        {"datetime NOT NULL",
         byte(0x3D),
         le(static_cast<std::uint32_t>(daysSince1900(2005, 3, 4)), 4) + le(300 * 35167, 4),
         {},
         FieldType::DateTime,
         "2005-03-04 09:46:07",
         wallMs(2005, 3, 4, 9, 46, 7, 0),
         "2005-03-04T09:46:07"},
        {"smalldatetime NOT NULL",
         byte(0x3A),
         le(static_cast<std::uint32_t>(daysSince1900(1900, 1, 1)), 2) + le(1, 2),
         {},
         FieldType::DateTime,
         "1900-01-01 00:01:00",
         wallMs(1900, 1, 1, 0, 1, 0, 0),
         "1900-01-01T00:01:00"},
    };
}

// The whole answer to the cross-check batch: one row set of `cases`, the values' row, then
// (when every case can be NULL) a row of NULLs.
inline testtds::Tokens answer(const std::vector<Case>& cases) {
    std::vector<testtds::Tokens::RawColumn> columns;
    std::vector<QByteArray> values;
    std::vector<QByteArray> nulls;
    bool nullable = true;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        columns.push_back({QStringLiteral("c%1").arg(i), cases[i].typeInfo});
        values.push_back(cases[i].value);
        nulls.push_back(cases[i].null);
        nullable = nullable && !cases[i].null.isEmpty();
    }
    testtds::Tokens t;
    t.rawColumns(columns).rawRow(values);
    if (nullable)
        t.rawRow(nulls);
    t.done();
    return t;
}

}  // namespace typecases
