// Value conversions of the embedded server: declared column types to column types,
// decimal text to currency units, date-time text to milliseconds and back.
#pragma once

#include "server/server.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// The column type a declared SQL type stands for; nullopt when the declaration says nothing
// we know (the column is then typed by its first value). `size` gets n of CHAR(n)/VARCHAR(n).
std::optional<ColumnType> typeFromDeclaration(std::string_view declared, int* size);

// Decimal text ("12.5", "-3", "1.5e-05") in 1/10000 units, rounded half away from zero.
std::optional<std::int64_t> parseCurrency(std::string_view text);
// currencyFromReal's exact part, for values not near a whole number of units.
std::optional<std::int64_t> currencyFromRealExactly(double v);

// The usual case of currencyFromReal, a near-whole number of units (amounts in cents): true
// with `units` set, false when the exact part must decide. Inline and without an optional,
// for a result's every money cell.
inline bool currencyFromNearWholeReal(double v, std::int64_t& units) {
    const double scaled = v * 10000.0;
    if (!(scaled > -1e14 && scaled < 1e14))  // NaN too
        return false;
    // The nearest whole number, ties to even: adding 2^52 drops the fraction in the FPU's
    // rounding, where nearbyint would be a library call.
    constexpr double kTwo52 = 4503599627370496.0;
    const double whole = std::copysign((std::fabs(scaled) + kTwo52) - kTwo52, scaled);
    // Far from a half unit: plain rounding gives what the decimal text would.
    if (!(std::fabs(scaled - whole) < 1e-6))
        return false;
    units = static_cast<std::int64_t>(whole);
    return true;
}

// A REAL in 1/10000 units, as its %.15g decimal (what SQLite shows) parsed by parseCurrency
// would give, computed without making the text; nullopt for NaN, infinities and values past
// the money range.
inline std::optional<std::int64_t> currencyFromReal(double v) {
    std::int64_t units = 0;
    if (currencyFromNearWholeReal(v, units))
        return units;
    return currencyFromRealExactly(v);
}

// A whole number in 1/10000 units; nullopt outside the money range.
std::optional<std::int64_t> currencyFromInteger(std::int64_t whole);
// A REAL truncated toward zero, as SQL Server converts float to an integer; nullopt when
// it does not fit in 64 bits (or is NaN).
std::optional<std::int64_t> integerFromReal(double v);
std::optional<std::int64_t> parseInteger(std::string_view text);
std::optional<double> parseFloat(std::string_view text);
// %.15g: how SQLite itself shows a REAL, so currency sees the decimal the database holds.
std::string formatReal(double v);

// "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (or with 'T') to ms since 1970, the text taken as UTC.
std::optional<std::int64_t> parseDateTime(std::string_view text);
// True for texts carrying both a date and a time of day: how a computed date-time shows.
bool looksLikeDateTime(std::string_view text);
// "YYYY-MM-DD HH:MM:SS", with ".fff" when the milliseconds are not zero.
std::string formatDateTime(std::int64_t msSinceEpoch);

}  // namespace server
