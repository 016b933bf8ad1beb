// Text measured for the layout at a fixed high resolution, so that positions do not depend
// on the screen. Laying out measures every cell of every row, so each font keeps its metrics,
// the advances of single characters and the widths of strings already measured.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QSizeF>
#include <QString>
#include <array>
#include <memory>

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
    mutable QHash<QString, double> m_widths;  // other strings, device units
};

// Width and height of `text` in `font`, in millimetres.
QSizeF measureText(const QFont& font, const QString& text);

}  // namespace report
