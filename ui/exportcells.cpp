#include "ui/exportcells.h"

#include "framework/db/field.h"
#include "framework/db/money.h"

#include <QLocale>
#include <charconv>
#include <cmath>

namespace ui::cells {

namespace {

void appendQString(const QString& s, std::string& out) {
    const QByteArray utf8 = s.toUtf8();
    out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace

bool appendText(const db::RowStore& rows, int row, const ExportColumn& c, std::string& out) {
    if (c.field < 0 || rows.isNull(row, c.field))
        return false;
    const int minDecimals = c.money ? 2 : 0;
    char buf[48];
    switch (rows.columns()[static_cast<std::size_t>(c.field)].type) {
        case db::FieldType::Currency:
            out.append(buf, static_cast<std::size_t>(db::writeExactCurrency(
                                rows.integer(row, c.field), minDecimals, buf)));
            return true;
        case db::FieldType::Integer:
            out.append(buf, std::to_chars(buf, buf + sizeof buf, rows.integer(row, c.field)).ptr);
            if (c.money)
                out.append(".00");
            return true;
        case db::FieldType::Float: {
            const double v = rows.real(row, c.field);
            appendQString(std::isfinite(v) ? QString::number(v, 'g', QLocale::FloatingPointShortest)
                                           : db::formatGeneral(v),
                          out);
            return std::isfinite(v);
        }
        case db::FieldType::String:
        case db::FieldType::Memo:
            out.append(rows.text(row, c.field));
            return false;
        case db::FieldType::DateTime:
            appendQString(rows.string(row, c.field), out);
            return false;
    }
    return false;
}

std::optional<double> number(const db::RowStore& rows, int row, const ExportColumn& c) {
    if (c.field < 0 || rows.isNull(row, c.field))
        return std::nullopt;
    switch (rows.columns()[static_cast<std::size_t>(c.field)].type) {
        case db::FieldType::Currency:
            return static_cast<double>(rows.integer(row, c.field)) / 10000.0;
        case db::FieldType::Integer:
            return static_cast<double>(rows.integer(row, c.field));
        case db::FieldType::Float:
            if (const double v = rows.real(row, c.field); std::isfinite(v))
                return v;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

int displayWidth(std::string_view utf8) {
    int w = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if ((b & 0xC0) == 0x80)
            continue;  // inside a character
        // U+2E80 and above, where the CJK characters start, take two: E2 BA 80 on.
        const bool wide =
            b >= 0xF0 || b > 0xE2 ||
            (b == 0xE2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0xBA);
        w += wide ? 2 : 1;
    }
    return w;
}

int displayWidth(const QString& s) {
    int w = 0;
    for (QChar ch : s) w += ch.unicode() >= 0x2E80 ? 2 : 1;
    return w;
}

namespace {

char32_t decodeAt(std::string_view utf8, std::size_t i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80)
        return lead;
    const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t cp = lead & (0x3F >> more);
    for (int k = 1; k <= more && i + k < utf8.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    return cp;
}

}  // namespace

char32_t firstCodePoint(std::string_view utf8) {
    return utf8.empty() ? 0 : decodeAt(utf8, 0);
}

char32_t lastCodePoint(std::string_view utf8) {
    if (utf8.empty())
        return 0;
    std::size_t start = utf8.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(utf8[start]) & 0xC0) == 0x80) --start;
    return decodeAt(utf8, start);
}

}  // namespace ui::cells
