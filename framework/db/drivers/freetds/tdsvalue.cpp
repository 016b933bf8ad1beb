// Value layouts are those of the client library's public structures (DBMONEY, DBDATETIME,
// DBNUMERIC, ...), decoded by hand: its own converter needs a live connection, and these
// decoders are exercised without one.
#include "framework/db/drivers/freetds/tdsvalue.h"
#include "framework/text/errors.h"

#include <QDate>
#include <QDateTime>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTime>
#include <cmath>
#include <cstring>

#include <sybdb.h>
#include <sybfront.h>

namespace db::tds {

namespace {

template <typename T>
T readAs(const unsigned char* data) {
    T v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

template <typename T>
QByteArray bytesOf(const T& v) {
    return QByteArray(reinterpret_cast<const char*>(&v), static_cast<qsizetype>(sizeof v));
}

Cell integerCell(std::int64_t v) {
    Cell c;
    c.kind = Cell::Kind::Integer;
    c.integer = v;
    return c;
}

Cell floatCell(double v) {
    Cell c;
    c.kind = Cell::Kind::Float;
    c.real = v;
    return c;
}

Cell currencyCell(std::int64_t tenThousandths) {
    Cell c;
    c.kind = Cell::Kind::Currency;
    c.integer = tenThousandths;
    return c;
}

Cell dateTimeCell(std::int64_t days, std::int64_t msOfDay) {
    Cell c;
    c.kind = Cell::Kind::DateTime;
    c.integer = localMsFrom1900(days, msOfDay);
    return c;
}

// Bytes of magnitude the client library keeps for a decimal of `precision` digits (1 to
// 38): the fewest whole bytes that hold 10^precision - 1.
int numericMagnitudeBytes(int precision) {
    unsigned __int128 limit = 1;
    for (int i = 0; i < precision; ++i) limit *= 10;
    // Counted by the bytes the largest value needs, so the count stops at 16: a reach
    // shifted past 128 bits would wrap to 0 and never pass the limit.
    const unsigned __int128 largest = limit - 1;
    int bytes = 1;
    while (bytes < 16 && (largest >> (8 * bytes)) != 0) ++bytes;
    return bytes;
}

// DBNUMERIC: precision, scale, then a sign byte (1 = negative) and the magnitude big-endian.
std::optional<Cell> decodeNumeric(const unsigned char* data, int length) {
    if (length < 3)
        return std::nullopt;
    const int precision = data[0];
    const int scale = data[1];
    const int bytes = numericMagnitudeBytes(precision);
    if (precision < 1 || precision > 38 || scale > precision || 3 + bytes > length)
        return std::nullopt;
    unsigned __int128 magnitude = 0;
    for (int i = 0; i < bytes; ++i) magnitude = (magnitude << 8) | data[3 + i];
    double v;
    if (magnitude < (static_cast<unsigned __int128>(1) << 53)) {
        // Both operands exact: one correctly rounded division, so 1234.5678 stays 1234.5678.
        v = static_cast<double>(static_cast<std::int64_t>(magnitude)) / std::pow(10.0, scale);
    } else {
        v = static_cast<double>(static_cast<long double>(magnitude) /
                                std::pow(10.0L, static_cast<long double>(scale)));
    }
    return floatCell(data[2] == 1 ? -v : v);
}

}  // namespace

QString decodeText(const char* bytes, int length) {
    if (!bytes || length <= 0)
        return QString();
    QStringDecoder decoder(kClientCharset);
    return decoder.decode(QByteArrayView(bytes, length));
}

QByteArray encodeText(const QString& text) {
    QStringEncoder encoder(kClientCharset);
    return encoder.encode(text);
}

FieldType fieldTypeOf(int serverType) {
    switch (serverType) {
        case SYBMONEY:
        case SYBMONEY4:
        case SYBMONEYN:
            return FieldType::Currency;
        case SYBINT1:
        case SYBINT2:
        case SYBINT4:
        case SYBINT8:
        case SYBINTN:
        case SYBBIT:
        case SYBBITN:
            return FieldType::Integer;
        case SYBFLT8:
        case SYBREAL:
        case SYBFLTN:
        case SYBDECIMAL:
        case SYBNUMERIC:
            return FieldType::Float;
        case SYBTEXT:
        case SYBNTEXT:
            return FieldType::Memo;
        case SYBDATETIME:
        case SYBDATETIME4:
        case SYBDATETIMN:
        case SYBMSDATE:
        case SYBMSTIME:
        case SYBMSDATETIME2:
        case SYBMSDATETIMEOFFSET:
            return FieldType::DateTime;
        default:  // char, varchar, nchar, nvarchar and anything shown as text
            return FieldType::String;
    }
}

std::int64_t localMsFrom1900(std::int64_t days, std::int64_t msOfDay) {
    const QDate date = QDate(1900, 1, 1).addDays(days);
    const QDateTime at(date, QTime(0, 0));
    // Added after midnight so that a time inside a daylight-saving gap still lands somewhere.
    return at.toMSecsSinceEpoch() + msOfDay;
}

std::optional<Cell> decodeCell(int serverType, const unsigned char* data, int length) {
    if (!data)
        return Cell{};
    switch (serverType) {
        case SYBCHAR:
        case SYBVARCHAR:
        case SYBNVARCHAR:
        case SYBTEXT:
        case SYBNTEXT: {
            Cell c;
            c.kind = Cell::Kind::Text;
            c.text = decodeText(reinterpret_cast<const char*>(data), length);
            return c;
        }
        case SYBINT1:
        case SYBINT2:
        case SYBINT4:
        case SYBINT8:
        case SYBINTN:
            switch (length) {
                case 1:
                    return integerCell(data[0]);  // tinyint is unsigned
                case 2:
                    return integerCell(readAs<std::int16_t>(data));
                case 4:
                    return integerCell(readAs<std::int32_t>(data));
                case 8:
                    return integerCell(readAs<std::int64_t>(data));
            }
            return std::nullopt;
        case SYBBIT:
        case SYBBITN:
            return length >= 1 ? std::optional<Cell>(integerCell(data[0] ? 1 : 0)) : std::nullopt;
        case SYBFLT8:
        case SYBREAL:
        case SYBFLTN:
            if (length == 8)
                return floatCell(readAs<double>(data));
            if (length == 4)
                return floatCell(static_cast<double>(readAs<float>(data)));
            return std::nullopt;
        case SYBMONEY:
        case SYBMONEY4:
        case SYBMONEYN:
            if (length == 8) {
                const auto m = readAs<DBMONEY>(data);
                return currencyCell(static_cast<std::int64_t>(
                    (static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.mnyhigh)) << 32) |
                    m.mnylow));
            }
            if (length == 4)
                return currencyCell(readAs<DBMONEY4>(data).mny4);
            return std::nullopt;
        case SYBDECIMAL:
        case SYBNUMERIC:
            return decodeNumeric(data, length);
        case SYBDATETIME:
        case SYBDATETIME4:
        case SYBDATETIMN:
            if (length == 8) {
                const auto d = readAs<DBDATETIME>(data);
                // The time is counted in 1/300 s; rounded to the nearest millisecond.
                return dateTimeCell(d.dtdays, (static_cast<std::int64_t>(d.dttime) * 10 + 1) / 3);
            }
            if (length == 4) {
                const auto d = readAs<DBDATETIME4>(data);
                return dateTimeCell(d.days, static_cast<std::int64_t>(d.minutes) * 60000);
            }
            return std::nullopt;
        case SYBMSDATE:
        case SYBMSTIME:
        case SYBMSDATETIME2:
        case SYBMSDATETIMEOFFSET:
            if (length >= static_cast<int>(sizeof(DBDATETIMEALL))) {
                const auto d = readAs<DBDATETIMEALL>(data);
                // time in 100 ns units since midnight; a time-only value sits on 1900-01-01.
                return dateTimeCell(d.has_date ? d.date : 0,
                                    d.has_time ? static_cast<std::int64_t>(d.time / 10000) : 0);
            }
            return std::nullopt;
    }
    return std::nullopt;
}

QVariant cellToVariant(const Cell& cell, FieldType declared) {
    switch (cell.kind) {
        case Cell::Kind::Null:
            return QVariant();
        case Cell::Kind::Text:
            return cell.text;
        case Cell::Kind::Float:
            return cell.real;
        case Cell::Kind::Currency:
            if (declared == FieldType::Currency || declared == FieldType::Float)
                return static_cast<double>(cell.integer) / 10000.0;
            return QString::number(static_cast<double>(cell.integer) / 10000.0, 'f', 4);
        case Cell::Kind::DateTime:
            return QDateTime::fromMSecsSinceEpoch(cell.integer);
        case Cell::Kind::Integer:
            if (declared == FieldType::String || declared == FieldType::Memo)
                return QString::number(cell.integer);
            return QVariant::fromValue<qlonglong>(cell.integer);
    }
    return QVariant();
}

RpcParam encodeParam(const Param& param) {
    RpcParam p;
    p.name = param.Name.toUtf8();
    p.output = param.Type == ParamType::Output || param.Type == ParamType::InputOutput;
    // A pure output parameter carries no value in; the server sees NULL until it sets one.
    const bool null = param.Value.isNull() || param.Type == ParamType::Output;
    p.null = null;
    switch (param.DataType) {
        case FieldType::Integer: {
            const std::int64_t v = null ? 0 : paramInteger(param);
            if (v >= INT32_MIN && v <= INT32_MAX) {
                p.type = SYBINT4;
                p.value = bytesOf(static_cast<std::int32_t>(v));
            } else {
                p.type = SYBINT8;
                p.value = bytesOf(static_cast<std::int64_t>(v));
            }
            p.dataLength = null ? 0 : -1;
            return p;
        }
        case FieldType::Float:
        case FieldType::Currency: {
            // Sent as a float: the server rounds it to the procedure's money or decimal type.
            const double v = null ? 0.0 : paramFloat(param);
            p.type = SYBFLT8;
            p.value = bytesOf(v);
            p.dataLength = null ? 0 : -1;
            return p;
        }
        case FieldType::DateTime: {
            // ISO text with 'T' reads the same whatever the server's date format setting.
            p.type = SYBVARCHAR;
            if (!null)
                p.value = param.Value.toDateTime()
                              .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
                              .toLatin1();
            break;
        }
        case FieldType::String:
        case FieldType::Memo:
            p.type = SYBVARCHAR;
            if (!null)
                p.value = encodeText(param.Value.toString());
            break;
    }
    if (p.value.size() > 8000)
        p.type = SYBTEXT;
    // The remote-call interface has no empty text: an empty value reaches the server as NULL.
    p.dataLength = static_cast<int>(p.value.size());
    p.maxLength = p.output ? 8000 : -1;
    return p;
}

}  // namespace db::tds
