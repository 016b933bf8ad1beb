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
    c.integer = wallClockMsFrom1900(days, msOfDay);
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
// Up to four places it is currency units, exactly, while they fit; otherwise a float.
std::optional<Cell> decodeNumeric(const unsigned char* data, int length) {
    if (length < 3)
        return std::nullopt;
    const int precision = data[0];
    const int scale = data[1];
    if (precision < 1 || precision > 38 || scale > precision)
        return std::nullopt;
    const int bytes = numericMagnitudeBytes(precision);
    if (3 + bytes > length)
        return std::nullopt;
    unsigned __int128 magnitude = 0;
    for (int i = 0; i < bytes; ++i) magnitude = (magnitude << 8) | data[3 + i];
    const bool negative = data[2] == 1;
    if (scale <= 4) {
        // Checked before scaling: a 38-digit magnitude times 10^4 passes 2^128 and would wrap
        // to a small, wrong amount. Out of range, it goes on as a float, which the money
        // column refuses with its range error.
        unsigned __int128 factor = 1;
        for (int i = scale; i < 4; ++i) factor *= 10;
        const auto limit = static_cast<unsigned __int128>(INT64_MAX) + (negative ? 1 : 0);
        if (magnitude <= limit / factor) {
            const unsigned __int128 units = magnitude * factor;
            const auto below = static_cast<std::int64_t>(units - (negative ? 1 : 0));
            return currencyCell(negative ? -below - 1 : below);
        }
    }
    double v;
    if (magnitude < (static_cast<unsigned __int128>(1) << 53)) {
        // Both operands exact: one correctly rounded division, so 1234.5678 stays 1234.5678.
        v = static_cast<double>(static_cast<std::int64_t>(magnitude)) / std::pow(10.0, scale);
    } else {
        v = static_cast<double>(static_cast<long double>(magnitude) /
                                std::pow(10.0L, static_cast<long double>(scale)));
    }
    return floatCell(negative ? -v : v);
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

FieldType fieldTypeOf(int serverType, int scale) {
    switch (serverType) {
        case SYBDECIMAL:
        case SYBNUMERIC:
            return scale <= 4 ? FieldType::Currency : FieldType::Float;
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

std::int64_t wallClockMsFrom1900(std::int64_t days, std::int64_t msOfDay) {
    // 1900-01-01 is 25567 days before 1970-01-01; no zone and no daylight-saving gap applies
    // to a wall-clock value.
    constexpr std::int64_t kDays1900To1970 = 25567;
    return (days - kDays1900To1970) * 86400000 + msOfDay;
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

QVariant storedToVariant(const RowStore& store, int row, int col, FieldType declared) {
    if (store.isNull(row, col))
        return QVariant();
    switch (declared) {
        case FieldType::Integer:
            return QVariant::fromValue<qlonglong>(store.integer(row, col));
        case FieldType::Float:
        case FieldType::Currency:
            return store.real(row, col);
        case FieldType::DateTime:
            if (store.columns()[static_cast<std::size_t>(col)].type == FieldType::DateTime)
                return naiveDateTime(store.integer(row, col));
            break;
        case FieldType::String:
        case FieldType::Memo:
            break;
    }
    return store.string(row, col);
}

}  // namespace db::tds
