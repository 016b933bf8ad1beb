#include "framework/report/textmeasure.h"

#include <QImage>
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
}

double FontMeasure::width(const QString& text) const {
    double sum = 0;
    bool additive = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 128 || !m_additive[u]) {
            additive = false;
            break;
        }
        sum += m_advances[u];
    }
    if (additive)
        return sum * kMmPerUnit;
    auto it = m_widths.constFind(text);
    if (it == m_widths.constEnd()) {
        if (m_widths.size() > 50000)  // names and numbers of one report, not of every run
            m_widths.clear();
        it = m_widths.insert(text, m_metrics.horizontalAdvance(text));
    }
    return *it * kMmPerUnit;
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
