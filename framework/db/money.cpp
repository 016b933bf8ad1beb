// Checked money arithmetic. Range tests are done on doubles before any conversion, since
// converting an out-of-range double to an integer is undefined.
#include "framework/db/money.h"

#include "framework/db/field.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace db {

namespace {

constexpr double kTwo63 = 9223372036854775808.0;                       // 2^63
constexpr double kTwo127 = 170141183460469231731687303715884105728.0;  // 2^127
constexpr std::int64_t kMaxWholeCurrency = std::numeric_limits<std::int64_t>::max() / 10000;

unsigned __int128 magnitude(Scaled4 v) {
    return v < 0 ? static_cast<unsigned __int128>(0) - static_cast<unsigned __int128>(v)
                 : static_cast<unsigned __int128>(v);
}

QString grouped(const QString& digits) {
    QString s = digits;
    for (qsizetype i = s.size() - 3; i > 0; i -= 3) s.insert(i, QLatin1Char(','));
    return s;
}

}  // namespace

std::optional<std::int64_t> currencyFromInteger(std::int64_t whole) {
    if (whole > kMaxWholeCurrency || whole < -kMaxWholeCurrency)
        return std::nullopt;
    return whole * 10000;
}

std::optional<std::int64_t> currencyFromFloat(double v) {
    const double units = std::round(v * 10000.0);  // NaN fails both tests below
    // -2^63 itself is refused too: a double there stands as well for values a little past the
    // smallest money value, which must not pass for it.
    if (!(units > -kTwo63 && units < kTwo63))
        return std::nullopt;
    return static_cast<std::int64_t>(units);
}

std::optional<Scaled4> scaled4FromFloat(double v) {
    const double units = std::round(v * 10000.0);
    if (!(units > -kTwo127 && units < kTwo127))
        return std::nullopt;
    return static_cast<Scaled4>(units);
}

std::optional<std::int64_t> integerFromFloat(double v) {
    const double whole = std::trunc(v);
    if (!(whole >= -kTwo63 && whole < kTwo63))
        return std::nullopt;
    return static_cast<std::int64_t>(whole);
}

std::optional<Scaled4> addScaled4(Scaled4 a, Scaled4 b) {
    Scaled4 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return std::nullopt;
    return sum;
}

QString decimalDigits(unsigned __int128 v) {
    char buf[48];
    char* end = buf + sizeof buf;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(v % 10));
        v /= 10;
    } while (v != 0);
    return QString::fromLatin1(p, static_cast<qsizetype>(end - p));
}

namespace {

// The exact decimal of a scaled value written backwards ending at `end`, with trailing zeros
// of the fraction dropped down to `minDecimals`; `digits` counts the significant digits.
char* writeScaled4(char* end, Scaled4 tenThousandths, int minDecimals, int& digits) {
    const unsigned __int128 a = magnitude(tenThousandths);
    unsigned __int128 whole = a / 10000;
    int frac = static_cast<int>(a % 10000);
    int fracDigits = 4;
    while (fracDigits > minDecimals && frac % 10 == 0) {
        frac /= 10;
        --fracDigits;
    }
    char* p = end;
    for (int i = fracDigits; i > 4; --i) *--p = '0';
    for (int i = std::min(fracDigits, 4); i > 0; --i) {
        *--p = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    if (fracDigits > 0)
        *--p = '.';
    char* const wholeEnd = p;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(whole % 10));
        whole /= 10;
    } while (whole != 0);
    const int wholeDigits = static_cast<int>(wholeEnd - p);
    digits = (wholeDigits == 1 && *p == '0' ? 0 : wholeDigits) + fracDigits;
    if (tenThousandths < 0)
        *--p = '-';
    return p;
}

}  // namespace

namespace {

// Currency units as a decimal at `out`: trailing zeros of the fraction dropped down to
// `minDecimals` (0 to 4); 0 when `cap15` and the text has more than 15 significant digits.
int writeCurrency(std::int64_t units, int minDecimals, bool cap15, char* out) {
    const std::uint64_t a =
        units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    const std::uint64_t whole = a / 10000;
    unsigned frac = static_cast<unsigned>(a % 10000);
    int fracDigits = 4;
    while (fracDigits > minDecimals && frac % 10 == 0) {
        frac /= 10;
        --fracDigits;
    }
    char* p = out;
    if (units < 0)
        *p++ = '-';
    char* const wholeStart = p;
    p = std::to_chars(p, p + 20, whole).ptr;
    if (cap15 && (whole == 0 ? 0 : p - wholeStart) + fracDigits > 15)
        return 0;
    if (fracDigits > 0) {
        *p++ = '.';
        for (int i = fracDigits - 1; i >= 0; --i) {
            p[i] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        p += fracDigits;
    }
    return static_cast<int>(p - out);
}

}  // namespace

int writeGeneralCurrency(std::int64_t units, char* out) {
    if (units == 0) {
        out[0] = '0';
        return 1;
    }
    return writeCurrency(units, 0, true, out);
}

int writeExactCurrency(std::int64_t units, int minDecimals, char* out) {
    return writeCurrency(units, std::clamp(minDecimals, 0, 4), false, out);
}

QString formatGeneralScaled4(Scaled4 tenThousandths) {
    // Every money cell of a statement passes here: built in one buffer, one allocation, in
    // 64 bits where the value fits them.
    if (tenThousandths >= INT64_MIN && tenThousandths <= INT64_MAX) {
        char buf[32];
        if (const int n = writeGeneralCurrency(static_cast<std::int64_t>(tenThousandths), buf))
            return QString::fromLatin1(buf, n);
    }
    if (tenThousandths == 0)
        return QStringLiteral("0");
    char buf[64];
    char* const end = buf + sizeof buf;
    int digits = 0;
    char* const p = writeScaled4(end, tenThousandths, 0, digits);
    if (digits > 15)
        return formatGeneral(
            static_cast<double>(static_cast<long double>(tenThousandths) / 10000.0L));
    return QString::fromLatin1(p, static_cast<qsizetype>(end - p));
}

QString formatExactScaled4(Scaled4 tenThousandths, int minDecimals) {
    char buf[64];
    char* const end = buf + sizeof buf;
    int digits = 0;
    char* const p = writeScaled4(end, tenThousandths, std::clamp(minDecimals, 0, 8), digits);
    return QString::fromLatin1(p, static_cast<qsizetype>(end - p));
}

QString formatCurrencyScaled4(Scaled4 tenThousandths) {
    const unsigned __int128 cents = (magnitude(tenThousandths) + 50) / 100;  // half away from 0
    const QString body =
        grouped(decimalDigits(cents / 100)) + QLatin1Char('.') +
        QStringLiteral("%1").arg(static_cast<int>(cents % 100), 2, 10, QLatin1Char('0'));
    const bool negative = tenThousandths < 0 && cents != 0;
    return QStringLiteral("\uFFE5") + (negative ? QStringLiteral("-") : QString()) + body;
}

}  // namespace db
