// Text measured for the layout at a fixed high resolution, so that positions do not depend
// on the screen. Laying out measures every cell of every row, so each font keeps its metrics,
// the advances of single characters and the widths of strings already measured.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QSizeF>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace report {

class FontMeasure {
public:
    // Millimetres per device unit of the measuring resolution (1200 dpi).
    static constexpr double kMmPerUnit = 25.4 / 1200;

    explicit FontMeasure(const QFont& font);

    const QFont& font() const { return m_font; }
    double height() const { return m_height; }  // mm
    double ascent() const { return m_ascent; }  // mm
    double width(const QString& text) const;    // mm, as QFontMetricsF gives it
    double width(std::string_view utf8) const;  // the same for UTF-8 text
    // The width of a text of additive characters in whole 1/64 device units (the layout's
    // own unit of widths, exact); -1 for any other text.
    std::int64_t additiveUnits(std::string_view utf8) const;

    // The measure of `font`, made on first use and kept for the process.
    static const FontMeasure& of(const QFont& font);

private:
    QFont m_font;
    QFontMetricsF m_metrics;
    double m_height = 0;
    double m_ascent = 0;
    // Printable ASCII characters whose advances add up exactly to the width of any string of
    // them (no kerning between them in this font): those strings are summed, not shaped.
    std::array<bool, 128> m_additive{};
    std::array<double, 128> m_advances{};
    // The same as whole 1/64 device units (Qt's advances are such), -1 where not additive or
    // not a whole number of them: a text's width is then summed in integers, exactly.
    std::array<std::int32_t, 256> m_units{};
    // Other strings, device units, by their UTF-8 bytes.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    mutable std::unordered_map<std::string, double, Hash, std::equal_to<>> m_widths;
};

// Width and height of `text` in `font`, in millimetres.
QSizeF measureText(const QFont& font, const QString& text);

}  // namespace report
