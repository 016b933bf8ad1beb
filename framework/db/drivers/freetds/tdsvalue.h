// Conversion between the server's wire values, as the client library hands them over, and
// the framework's field types: column types, cell values, procedure parameters and the
// client character set (GB18030, so that text outside GBK survives the trip).
// Everything here is plain data in and out; nothing talks to a server.
#pragma once

#include "framework/db/query.h"
#include "framework/db/rowstore.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace db::tds {

// The character set asked of the client library for every connection.
inline constexpr const char* kClientCharset = "GB18030";

QString decodeText(const char* bytes, int length);
QByteArray encodeText(const QString& text);

// Field type of a result column of the given server type. Decimals of up to four places
// are currency, held exactly in 1/10000 units as money is; others are floats.
FieldType fieldTypeOf(int serverType, int scale = 0);

// One value read from a result row or an output parameter.
struct Cell {
    enum class Kind { Null, Integer, Float, Currency, Text, DateTime };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;  // Integer; Currency in 1/10000; DateTime in ms since 1970
    double real = 0;           // Float
    QString text;              // Text
};

// Decodes `length` bytes of a value of `serverType`; a null `data` is a NULL value.
// std::nullopt for a type this layer does not know (the caller converts it to text).
std::optional<Cell> decodeCell(int serverType, const unsigned char* data, int length);

// Wall-clock date and time of the server (days since 1900-01-01 and milliseconds into the
// day) as the framework holds it: milliseconds since 1970 of that wall-clock time counted
// as if it were UTC, whatever this machine's time zone.
std::int64_t wallClockMsFrom1900(std::int64_t days, std::int64_t msOfDay);

// A stored cell as a QVariant of the declared parameter type; null for NULL.
QVariant storedToVariant(const RowStore& store, int row, int col, FieldType declared);

}  // namespace db::tds
