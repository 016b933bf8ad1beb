// Conversions between SQLite storage and the server's typed values. Currency from a REAL is
// the value of the 15-digit decimal SQLite shows for it (100.1 - 20.03 is 80.07, not
// 80.069999...), worked out in integers; dates use civil-day arithmetic.
#include "server/conversions.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace server {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

bool isLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Reads exactly `n` digits at `pos`.
bool digits(std::string_view s, std::size_t pos, std::size_t n, int& value) {
    if (pos + n > s.size())
        return false;
    value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

struct DateParts {
    std::int64_t ms = 0;
    bool hasTime = false;
};

std::optional<DateParts> parseDateParts(std::string_view text) {
    const std::string_view s = trimmed(text);
    int y, mo, d, h = 0, mi = 0, sec = 0, frac = 0;
    if (!digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, mo) ||
        s[7] != '-' || !digits(s, 8, 2, d))
        return std::nullopt;
    DateParts out;
    std::size_t pos = 10;
    if (pos < s.size()) {
        if ((s[pos] != ' ' && s[pos] != 'T') || !digits(s, pos + 1, 2, h) || pos + 3 >= s.size() ||
            s[pos + 3] != ':' || !digits(s, pos + 4, 2, mi))
            return std::nullopt;
        out.hasTime = true;
        pos += 6;
        if (pos < s.size()) {
            if (s[pos] != ':' || !digits(s, pos + 1, 2, sec))
                return std::nullopt;
            pos += 3;
            if (pos < s.size()) {
                if (s[pos] != '.' || pos + 1 >= s.size())
                    return std::nullopt;
                int scale = 100;
                for (++pos; pos < s.size(); ++pos) {
                    if (!std::isdigit(static_cast<unsigned char>(s[pos])))
                        return std::nullopt;
                    frac += (s[pos] - '0') * scale;
                    scale /= 10;
                }
            }
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || static_cast<unsigned>(d) > daysInMonth(y, mo) || h > 23 ||
        mi > 59 || sec > 59)
        return std::nullopt;
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    out.ms = ((days * 24 + h) * 60 + mi) * 60000 + sec * 1000 + frac;
    return out;
}

}  // namespace

std::optional<ColumnType> typeFromDeclaration(std::string_view declared, int* size) {
    const std::string decl = upper(trimmed(declared));
    const std::size_t paren = decl.find('(');
    const std::string base(trimmed(std::string_view(decl).substr(0, paren)));
    int n = 0;
    if (paren != std::string::npos)
        n = std::atoi(decl.c_str() + paren + 1);
    if (size)
        *size = 0;
    if (base == "MONEY" || base == "SMALLMONEY")
        return ColumnType::Currency;
    if (base == "INT" || base == "INTEGER" || base == "SMALLINT" || base == "TINYINT" ||
        base == "BIGINT" || base == "BIT")
        return ColumnType::Integer;
    if (base == "CHAR" || base == "VARCHAR" || base == "NCHAR" || base == "NVARCHAR" ||
        base == "CHARACTER" || base == "VARYING CHARACTER") {
        if (size)
            *size = paren == std::string::npos && base == "CHAR" ? 1 : n;
        return ColumnType::Text;
    }
    if (base == "DATETIME" || base == "SMALLDATETIME" || base == "DATE" || base == "DATETIME2")
        return ColumnType::DateTime;
    if (base == "FLOAT" || base == "REAL" || base == "DOUBLE" || base == "DOUBLE PRECISION" ||
        base == "DECIMAL" || base == "NUMERIC")
        return ColumnType::Float;
    if (base == "TEXT" || base == "NTEXT" || base == "CLOB" || base == "MEMO")
        return ColumnType::Memo;
    return std::nullopt;
}

std::optional<std::int64_t> parseCurrency(std::string_view text) {
    std::string_view s = trimmed(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::string mantissa;  // all digits, decimal point dropped
    int exponent = 0;      // value = mantissa * 10^exponent
    bool seenPoint = false;
    std::size_t i = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            mantissa += c;
            if (seenPoint)
                --exponent;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (mantissa.empty())
        return std::nullopt;
    if (i < s.size()) {
        if (s[i] != 'e' && s[i] != 'E')
            return std::nullopt;
        const std::string exp(s.substr(i + 1));
        char* end = nullptr;
        const long e = std::strtol(exp.c_str(), &end, 10);
        if (exp.empty() || *end != '\0' || e > 40 || e < -400)
            return std::nullopt;
        exponent += static_cast<int>(e);
    }
    exponent += 4;
    bool roundUp = false;
    if (exponent < 0) {
        const std::size_t cut = static_cast<std::size_t>(-exponent);
        if (cut > mantissa.size()) {
            mantissa.clear();
        } else {
            roundUp = mantissa[mantissa.size() - cut] >= '5';
            mantissa.resize(mantissa.size() - cut);
        }
        exponent = 0;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t v = 0;
    for (char c : mantissa) {
        if (v > (kMax - (c - '0')) / 10)
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    for (int e = 0; e < exponent; ++e) {
        if (v > kMax / 10)
            return std::nullopt;
        v *= 10;
    }
    if (roundUp) {
        if (v == kMax)
            return std::nullopt;
        ++v;
    }
    return negative ? -v : v;
}

namespace {

using U128 = unsigned __int128;

constexpr U128 pow10(int n) {
    U128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

constexpr U128 kPow10[] = {pow10(0),  pow10(1),  pow10(2),  pow10(3),  pow10(4),  pow10(5),
                           pow10(6),  pow10(7),  pow10(8),  pow10(9),  pow10(10), pow10(11),
                           pow10(12), pow10(13), pow10(14), pow10(15), pow10(16), pow10(17),
                           pow10(18), pow10(19), pow10(20)};

// The value of |v|'s %.15g decimal in 1/10000 units, rounded half away from zero, in integer
// arithmetic: |v| = m * 2^-s exactly, so its 15 significant digits are m * 10^p / 2^s rounded
// half to even (as printf rounds an exact tie) for the p that puts 15 digits before the point.
std::optional<std::int64_t> unitsOfDecimal15(double magnitude) {
    // Below 4E-5 the 15-digit decimal stays under 0.4 units; from 1E15 on it is past the range.
    if (magnitude < 4e-5)
        return 0;
    if (magnitude >= 1e15)
        return std::nullopt;
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);  // a normal number here
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int s = 1075 - biased;  // 3..67 over the range above
    // floor(log10(2^e)) for the power of two below |v|: floor(log10 |v|) or one less,
    // put right below.
    const int e = biased - 1023;
    int p = std::clamp(14 - ((e * 78913) >> 18), 0, 19);
    const U128 low = kPow10[14] << s;  // 10^14 <= m * 10^p / 2^s < 10^15 picks p exactly
    U128 scaled = static_cast<U128>(m) * kPow10[p];
    if (scaled < low) {
        ++p;
        scaled = static_cast<U128>(m) * kPow10[p];
    } else if (scaled >= low * 10) {
        --p;
        scaled = static_cast<U128>(m) * kPow10[p];
    }
    U128 digits = scaled >> s;
    const U128 rest = scaled - (digits << s);
    const U128 half = U128{1} << (s - 1);
    if (rest > half || (rest == half && (digits & 1) != 0))
        ++digits;
    U128 units = 0;
    if (p <= 4) {
        units = digits * kPow10[4 - p];
    } else {
        const U128 unit = kPow10[p - 4];
        units = digits / unit;
        if ((digits % unit) * 2 >= unit)
            ++units;
    }
    if (units > static_cast<U128>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return static_cast<std::int64_t>(units);
}

}  // namespace

std::optional<std::int64_t> currencyFromRealExactly(double v) {
    if (!std::isfinite(v * 10000.0))
        return std::nullopt;
    const std::optional<std::int64_t> magnitude = unitsOfDecimal15(std::fabs(v));
    if (!magnitude)
        return std::nullopt;
    return std::signbit(v) ? -*magnitude : *magnitude;
}

std::optional<std::int64_t> currencyFromInteger(std::int64_t whole) {
    std::int64_t units = 0;
    if (__builtin_mul_overflow(whole, std::int64_t{10000}, &units))
        return std::nullopt;
    return units;
}

std::optional<std::int64_t> integerFromReal(double v) {
    const double whole = std::trunc(v);
    // 2^63 is exact as a double; comparing before converting keeps the cast defined.
    if (!(whole >= -9223372036854775808.0 && whole < 9223372036854775808.0))
        return std::nullopt;
    return static_cast<std::int64_t>(whole);
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    const std::string s(trimmed(text));
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return std::nullopt;
    return v;
}

std::optional<double> parseFloat(std::string_view text) {
    const std::string s(trimmed(text));
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0')
        return std::nullopt;
    return v;
}

std::string formatReal(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::optional<std::int64_t> parseDateTime(std::string_view text) {
    const auto parts = parseDateParts(text);
    if (!parts)
        return std::nullopt;
    return parts->ms;
}

bool looksLikeDateTime(std::string_view text) {
    const auto parts = parseDateParts(text);
    return parts && parts->hasTime;
}

std::string formatDateTime(std::int64_t ms) {
    std::int64_t days = ms / 86400000;
    std::int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    const int h = static_cast<int>(rest / 3600000);
    const int mi = static_cast<int>(rest / 60000 % 60);
    const int s = static_cast<int>(rest / 1000 % 60);
    const int f = static_cast<int>(rest % 1000);
    char buf[48];
    if (f)
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d.%03d",
                      static_cast<long long>(y), m, d, h, mi, s, f);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(y),
                      m, d, h, mi, s);
    return buf;
}

}  // namespace server
