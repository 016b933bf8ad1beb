// Money in 1/10000 units: checked conversions into the 64-bit currency range, 128-bit
// scaled values for totals, and their display texts. Every conversion either gives the
// exact value or says that it cannot; nothing here wraps or rounds out of range.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace db {

// A value or total in 1/10000 units. 128 bits hold any integer or money value scaled,
// and the sum of 10^7 rows of the largest money value needs only 87 of them.
using Scaled4 = __int128;

// A whole number as currency units; nullopt outside the money range (|v| > 922337203685477).
std::optional<std::int64_t> currencyFromInteger(std::int64_t whole);
// A float rounded half away from zero to currency units; nullopt for NaN, infinities and
// values outside the money range.
std::optional<std::int64_t> currencyFromFloat(double v);
// A float rounded half away from zero to 1/10000 units; nullopt beyond about 1.7E34.
std::optional<Scaled4> scaled4FromFloat(double v);
// A float truncated toward zero to a 64-bit integer; nullopt when it does not fit.
std::optional<std::int64_t> integerFromFloat(double v);
// a + b, or nullopt when the sum leaves the 128-bit range.
std::optional<Scaled4> addScaled4(Scaled4 a, Scaled4 b);

// Decimal digits of a magnitude, without sign.
QString decimalDigits(unsigned __int128 v);
// General number format of a scaled value: 1234.5, 1200, -0.25; past 15 significant
// digits the general float format (9.22337203685478E21).
QString formatGeneralScaled4(Scaled4 tenThousandths);
// The general number format of currency units written at `out` (room for 24 characters):
// the text formatGeneralScaled4 gives, in 64-bit arithmetic and without a string; 0 when that
// text is the float format of a value past 15 significant digits.
int writeGeneralCurrency(std::int64_t units, char* out);
// Every digit of currency units at `out` (room for 28 characters), at least `minDecimals`
// decimals (0 to 4): formatExactScaled4's text without a string; returns its length.
int writeExactCurrency(std::int64_t units, int minDecimals, char* out);
// Every digit of a scaled value, at least `minDecimals` decimals (0 to 8): 12345678901234.5678,
// 1200.00 for 2; what a file that must be exact (CSV) holds.
QString formatExactScaled4(Scaled4 tenThousandths, int minDecimals);
// Currency display format while a field's currency flag is on (symbol, grouping, 2 decimals).
QString formatCurrencyScaled4(Scaled4 tenThousandths);

}  // namespace db
