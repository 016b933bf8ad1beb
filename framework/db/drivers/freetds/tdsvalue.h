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

// Field type of a result column of the given server type.
FieldType fieldTypeOf(int serverType);

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
// day) as the framework holds it: milliseconds since 1970 of that local time.
std::int64_t localMsFrom1900(std::int64_t days, std::int64_t msOfDay);

// The same value as a QVariant of the declared parameter type (output parameters).
QVariant cellToVariant(const Cell& cell, FieldType declared);

// A procedure parameter as the client library's remote-call interface takes it.
struct RpcParam {
    QByteArray name;      // "@curyear"
    int type = 0;         // server type
    int maxLength = -1;   // -1 for inputs and fixed-length outputs
    int dataLength = -1;  // -1 for fixed-length values, byte count for text, 0 for NULL
    bool output = false;
    bool null = false;  // NULL goes without a value pointer
    QByteArray value;   // the value's bytes in the client library's layout
};

// Encodes an input, output or input/output parameter. The return value ("Result") is not
// sent; callers skip it.
RpcParam encodeParam(const Param& param);

}  // namespace db::tds
