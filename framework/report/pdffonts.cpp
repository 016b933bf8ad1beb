#include "framework/report/pdffonts.h"

#include "framework/report/textmeasure.h"
#include "framework/text/errors.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>

namespace report::pdf {

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;
constexpr double kGlyphUnits = 1000;  // glyph space: 1000 units to the em
constexpr quint32 kNoGlyph = 0xFFFFFFFFu;
constexpr double kMaxFontPt = 1000;  // Qt has no glyphs far past this

QByteArray glyphName(std::size_t code) {
    if (code == 0)
        return QByteArray("/a");
    QByteArray name("/g");
    appendNumber(name, static_cast<std::int64_t>(code));
    return name;
}

bool styleIsBold(const QString& styleName) {
    for (const char* w : {"bold", "black", "heavy", "semibold", "demi"})
        if (styleName.contains(QLatin1String(w), Qt::CaseInsensitive))
            return true;
    return false;
}

}  // namespace

int Type3Fonts::faceOf(const QRawFont& raw, bool syntheticBold) {
    // Only a font file's face has outlines to take. Qt's stand-in for a font it has not got
    // (drawing boxes) has none, and no family either: asking for its name crashes.
    if (!raw.isValid() || raw.fontTable("head").isEmpty())
        return -1;
    for (std::size_t i = 0; i < m_faces.size(); ++i) {
        const Face& f = m_faces[i];
        if (f.raw.familyName() == raw.familyName() && f.raw.styleName() == raw.styleName() &&
            (f.boldStroke > 0) == syntheticBold)
            return static_cast<int>(i);
    }
    Face face;
    face.raw = raw;
    face.raw.setPixelSize(kGlyphUnits);
    // Synthesised bold grows the outline by a 24th of the em, as the screen's rasteriser does.
    face.boldStroke = syntheticBold ? kGlyphUnits / 24 : 0;
    m_faces.push_back(std::move(face));
    return static_cast<int>(m_faces.size() - 1);
}

Type3Fonts::StyleFont& Type3Fonts::styleFont(int index, const PreparedReport::Style& style) {
    if (m_styleFonts.size() <= static_cast<std::size_t>(index))
        m_styleFonts.resize(static_cast<std::size_t>(index) + 1);
    StyleFont& sf = m_styleFonts[static_cast<std::size_t>(index)];
    if (sf.ready)
        return sf;
    sf.ready = true;
    sf.font = style.font;
    // A font without any family (a damaged file) gets the one the screen falls back to: Qt's
    // raw font of it has no family name either, and asking for one crashes.
    if (sf.font.family().isEmpty())
        sf.font.setFamily(QGuiApplication::font().family());
    // A font holds a point size or a pixel size, the other -1; a damaged one may hold both
    // (Qt then draws the pixel size, even 0, and its raw font has no family): set afresh.
    if (style.font.pixelSize() > 0) {
        sf.font.setPixelSize(style.font.pixelSize());
        sf.sizePt = style.font.pixelSize() * 0.75;
    } else {
        sf.sizePt = style.font.pointSizeF();
        if (sf.sizePt > 0)
            sf.font.setPointSizeF(sf.sizePt);
    }
    // A size the file cannot state, or no face to take glyphs from (a size no font is made in).
    const auto refuse = [&] {
        return EInvalidOperation(QStringLiteral("报表中有无法用于PDF的字体“%1”（%2磅），无法导出")
                                     .arg(style.font.family())
                                     .arg(sf.sizePt));
    };
    if (!(sf.sizePt > 0 && sf.sizePt <= kMaxFontPt))
        throw refuse();
    const QRawFont raw = QRawFont::fromFont(sf.font);
    if (!raw.isValid())
        throw refuse();
    sf.ascentMm = FontMeasure::of(sf.font).ascent();
    sf.face = faceOf(raw, style.font.weight() >= QFont::DemiBold && !styleIsBold(raw.styleName()));
    if (sf.face < 0)
        throw refuse();
    return sf;
}

Type3Fonts::Coded Type3Fonts::coded(StyleFont& sf, char32_t c) {
    Coded* slot = nullptr;
    if (c < 128) {
        slot = &sf.ascii[c];
        if (slot->font != -2)
            return *slot;
    } else if (const auto it = sf.other.find(c); it != sf.other.end()) {
        return it->second;
    }
    Coded k;
    k.font = -1;
    const GlyphKey g = glyphOf(sf, c);
    if (g.face >= 0) {
        const auto [font, code] = codeOf(g, c);
        k.font = font;
        k.code = code;
        k.advance = m_fonts[static_cast<std::size_t>(font)].widths[static_cast<std::size_t>(code)];
    }
    if (slot)
        *slot = k;
    else
        sf.other.emplace(c, k);
    return k;
}

Type3Fonts::GlyphKey Type3Fonts::glyphOf(const StyleFont& sf, char32_t c) {
    QChar units[2];
    int count = 1;
    if (c > 0xFFFF) {
        units[0] = QChar::highSurrogate(c);
        units[1] = QChar::lowSurrogate(c);
        count = 2;
    } else {
        units[0] = QChar(static_cast<char16_t>(c));
    }
    quint32 glyph = 0;
    int glyphs = 1;
    GlyphKey key{-1, 0};
    const Face& primary = m_faces[static_cast<std::size_t>(sf.face)];
    if (primary.raw.glyphIndexesForChars(units, count, &glyph, &glyphs) && glyphs == 1 &&
        glyph != 0) {
        key = {sf.face, glyph};
    } else {
        // Not in the font's own face: the face the screen falls back to, as it lays it out.
        QTextLayout layout(QString(units, count), sf.font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (!runs.isEmpty() && !runs.first().glyphIndexes().isEmpty() &&
            runs.first().glyphIndexes().first() != 0) {
            const QRawFont fallback = runs.first().rawFont();
            const int face =
                faceOf(fallback, m_faces[static_cast<std::size_t>(sf.face)].boldStroke > 0 &&
                                     !styleIsBold(fallback.styleName()));
            if (face >= 0)
                key = {face, runs.first().glyphIndexes().first()};
        }
    }
    return key;
}

std::pair<int, int> Type3Fonts::codeOf(GlyphKey g, char32_t c) {
    Face& face = m_faces[static_cast<std::size_t>(g.face)];
    const auto it = face.codes.find(g.glyph);
    if (it != face.codes.end())
        return it->second;
    if (face.openFont < 0 ||
        m_fonts[static_cast<std::size_t>(face.openFont)].glyphs.size() == 256) {
        // Code 0 is an empty glyph half an em wide named like a letter: text extractors guess
        // a Type 3 font's scale from a letter's width, and would read CJK text at twice its
        // size (and lose the gaps between words) without one.
        m_fonts.push_back({g.face, m_objects.reserve(), {kNoGlyph}, {0}, {kGlyphUnits / 2}});
        face.openFont = static_cast<int>(m_fonts.size() - 1);
    }
    Font& font = m_fonts[static_cast<std::size_t>(face.openFont)];
    const int code = static_cast<int>(font.glyphs.size());
    font.glyphs.push_back(g.glyph);
    font.unicode.push_back(c);
    const QList<QPointF> advance = face.raw.advancesForGlyphIndexes(QList<quint32>{g.glyph});
    font.widths.push_back(advance.isEmpty() ? 0 : advance.first().x());
    const std::pair<int, int> ref{face.openFont, code};
    face.codes.emplace(g.glyph, ref);
    return ref;
}

void Type3Fonts::text(QByteArray& out, const PreparedReport::Step& s,
                      const PreparedReport::Style& style, std::string_view utf8,
                      double pageHeightPt) {
    m_chars.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            m_chars.push_back(lead);
            ++i;
            continue;
        }
        const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        char32_t c = lead & (0x3F >> more);
        for (int k = 1; k <= more && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        m_chars.push_back(c);
        i += static_cast<std::size_t>(more) + 1;
    }
    runs(out, s, style, pageHeightPt);
}

void Type3Fonts::text(QByteArray& out, const PreparedReport::Step& s,
                      const PreparedReport::Style& style, const QString& str, double pageHeightPt) {
    m_chars.clear();
    for (qsizetype i = 0; i < str.size(); ++i) {
        char32_t c = str[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < str.size() && str[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(str[i], str[i + 1]);
            ++i;
        }
        m_chars.push_back(c);
    }
    runs(out, s, style, pageHeightPt);
}

void Type3Fonts::runs(QByteArray& out, const PreparedReport::Step& s,
                      const PreparedReport::Style& style, double pageHeightPt) {
    StyleFont& sf = styleFont(s.style, style);
    // Runs of one font each, each starting where the text has advanced to (glyph units).
    // A blank is a move, not a glyph: text extractors then see the gap a reader sees.
    std::size_t used = 0;
    double width = 0;  // glyph units
    bool afterBlank = true;
    for (const char32_t c : m_chars) {
        const Coded k = coded(sf, c);
        if (k.font < 0)
            continue;  // no face has it: nothing is drawn for it on screen either
        if (c == U' ' || c == U'\u3000') {
            width += k.advance;
            afterBlank = true;
            continue;
        }
        if (afterBlank || m_runs[used - 1].font != k.font) {
            if (used == m_runs.size())
                m_runs.push_back({});
            Run& r = m_runs[used++];
            r.font = k.font;
            r.at = width;
            r.codes.clear();
        }
        afterBlank = false;
        hex2(m_runs[used - 1].codes, static_cast<unsigned>(k.code));
        width += k.advance;
    }
    if (used == 0)
        return;
    const double unitMm = sf.sizePt / kGlyphUnits / kPtPerMm;
    const double widthMm = width * unitMm;
    double x = s.x;
    if (style.align == TextAlign::Right)
        x = s.x + s.w - widthMm;
    else if (style.align == TextAlign::Center)
        x = s.x + (s.w - widthMm) / 2;
    const double baseline = pageHeightPt - (s.y + sf.ascentMm) * kPtPerMm;
    out += "BT\n";
    int fontNow = -1;
    for (std::size_t i = 0; i < used; ++i) {
        const Run& r = m_runs[i];
        out += "1 0 0 1 ";
        num(out, (x + r.at * unitMm) * kPtPerMm);
        num(out, baseline);
        out += "Tm ";
        if (r.font != fontNow) {
            out += "/F";
            appendNumber(out, r.font);
            out += ' ';
            num(out, sf.sizePt);
            out += "Tf ";
            fontNow = r.font;
        }
        out += '<';
        out += r.codes;
        out += "> Tj\n";
    }
    out += "ET\n";
}

void Type3Fonts::writeAll() {
    for (const Font& font : m_fonts) writeFont(font);
}

void Type3Fonts::writeFont(const Font& font) {
    const Face& face = m_faces[static_cast<std::size_t>(font.face)];
    QByteArray procs("<< ");
    QRectF box;
    for (std::size_t code = 0; code < font.glyphs.size(); ++code) {
        const QPainterPath path = font.glyphs[code] == kNoGlyph
                                      ? QPainterPath()
                                      : face.raw.pathForGlyph(font.glyphs[code]);
        const QRectF bounds = path.boundingRect().adjusted(-face.boldStroke, -face.boldStroke,
                                                           face.boldStroke, face.boldStroke);
        box = box.united(bounds);
        QByteArray g;
        num(g, font.widths[code]);
        g += "0 ";
        num(g, bounds.left());
        num(g, -bounds.bottom());
        num(g, bounds.right());
        num(g, -bounds.top());
        g += "d1\n";
        if (face.boldStroke > 0) {
            num(g, face.boldStroke);
            g += "w 1 j\n";
        }
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo()) {
                if (i > 0)
                    g += "h ";
                num(g, e.x);
                num(g, -e.y);
                g += "m\n";
            } else if (e.isLineTo()) {
                num(g, e.x);
                num(g, -e.y);
                g += "l\n";
            } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPainterPath::Element c3 = path.elementAt(i + 2);
                num(g, e.x);
                num(g, -e.y);
                num(g, c2.x);
                num(g, -c2.y);
                num(g, c3.x);
                num(g, -c3.y);
                g += "c\n";
                i += 2;
            }
        }
        if (path.elementCount() > 0)
            g += face.boldStroke > 0 ? "h B\n" : "h f\n";
        const int proc = m_objects.reserve();
        m_objects.stream(proc, g);
        procs += glyphName(code) + ' ' + QByteArray::number(proc) + " 0 R ";
    }
    procs += ">>";

    QByteArray cmap(
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
        "1 begincodespacerange <00> <FF> endcodespacerange\n");
    for (std::size_t from = 1; from < font.unicode.size(); from += 100) {
        const std::size_t to = std::min(font.unicode.size(), from + 100);
        cmap += QByteArray::number(static_cast<qulonglong>(to - from)) + " beginbfchar\n";
        for (std::size_t code = from; code < to; ++code) {
            cmap += '<';
            hex2(cmap, static_cast<unsigned>(code));
            cmap += "> <";
            utf16Hex(cmap, font.unicode[code]);
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap CMapName currentdict /CMap defineresource pop end end\n";
    const int toUnicode = m_objects.reserve();
    m_objects.stream(toUnicode, cmap);

    QByteArray dict(
        "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0]\n/FontBBox [");
    num(dict, box.left());
    num(dict, -box.bottom());
    num(dict, box.right());
    num(dict, -box.top());
    dict += "]\n/CharProcs " + procs + "\n/Encoding << /Type /Encoding /Differences [0";
    for (std::size_t code = 0; code < font.glyphs.size(); ++code) dict += ' ' + glyphName(code);
    dict += "] >>\n/FirstChar 0 /LastChar " +
            QByteArray::number(static_cast<qulonglong>(font.glyphs.size() - 1)) + "\n/Widths [";
    for (double w : font.widths) num(dict, w);
    dict += "]\n/Resources << >> /ToUnicode " + QByteArray::number(toUnicode) + " 0 R >>";
    m_objects.begin(font.object);
    m_objects.put(dict);
    m_objects.end();
}

}  // namespace report::pdf
