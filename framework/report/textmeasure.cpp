#include "framework/report/textmeasure.h"

#include <QImage>
#include <cmath>
#include <vector>

namespace report {

namespace {

constexpr double kMeasureDpi = 1200;

const QPaintDevice& measuringDevice() {
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_ARGB32);
        const int dpm = qRound(kMeasureDpi / 0.0254);
        img.setDotsPerMeterX(dpm);
        img.setDotsPerMeterY(dpm);
        return img;
    }();
    return device;
}

// What amounts, dates and shipment numbers are made of.
constexpr char kSummable[] = "0123456789.-+,*/:()%# ABCDEFGHIJKLMNOPQRSTUVWXYZ";

}  // namespace

FontMeasure::FontMeasure(const QFont& font) : m_font(font), m_metrics(font, &measuringDevice()) {
    m_height = m_metrics.height() * kMmPerUnit;
    m_ascent = m_metrics.ascent() * kMmPerUnit;
    for (const char* c = kSummable; *c; ++c) {
        m_advances[static_cast<unsigned char>(*c)] = m_metrics.horizontalAdvance(QChar(*c));
        m_additive[static_cast<unsigned char>(*c)] = true;
    }
    // Kerning or a ligature between two of them: strings holding either are shaped.
    m_units.fill(-1);
    for (const char* a = kSummable; *a; ++a) {
        for (const char* b = kSummable; *b; ++b) {
            const QString pair = QString(QChar(*a)) + QChar(*b);
            const double sum = m_advances[static_cast<unsigned char>(*a)] +
                               m_advances[static_cast<unsigned char>(*b)];
            if (m_metrics.horizontalAdvance(pair) != sum) {
                m_additive[static_cast<unsigned char>(*a)] = false;
                m_additive[static_cast<unsigned char>(*b)] = false;
            }
        }
    }
    for (int c = 0; c < 128; ++c) {
        const double units = m_advances[static_cast<std::size_t>(c)] * 64;
        if (m_additive[static_cast<std::size_t>(c)] && units == std::floor(units) && units < 1e9)
            m_units[static_cast<std::size_t>(c)] = static_cast<std::int32_t>(units);
    }
}

double FontMeasure::width(const QString& text) const {
    const QByteArray utf8 = text.toUtf8();
    return width(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

std::int64_t FontMeasure::additiveUnits(std::string_view utf8) const {
    // Amounts and shipment numbers are ASCII: summed from the advances, byte by byte.
    std::int64_t sum = 0;
    for (const char c : utf8) {
        const std::int32_t u = m_units[static_cast<unsigned char>(c)];
        if (u < 0)
            return -1;
        sum += u;
    }
    return sum;
}

double FontMeasure::width(std::string_view utf8) const {
    if (const std::int64_t units = additiveUnits(utf8); units >= 0)
        return static_cast<double>(units) / 64.0 * kMmPerUnit;
    auto it = m_widths.find(utf8);
    if (it == m_widths.end()) {
        if (m_widths.size() > 50000)  // names and numbers of one report, not of every run
            m_widths.clear();
        const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        it = m_widths.emplace(std::string(utf8), m_metrics.horizontalAdvance(text)).first;
    }
    return it->second * kMmPerUnit;
}

const FontMeasure& FontMeasure::of(const QFont& font) {
    // A report uses a handful of fonts; fitted texts add a few smaller sizes.
    static std::vector<std::unique_ptr<FontMeasure>> measures;
    for (const auto& m : measures)
        if (m->font() == font)
            return *m;
    measures.push_back(std::make_unique<FontMeasure>(font));
    return *measures.back();
}

QSizeF measureText(const QFont& font, const QString& text) {
    const FontMeasure& m = FontMeasure::of(font);
    return {m.width(text), m.height()};
}

}  // namespace report
