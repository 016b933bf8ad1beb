#include "framework/report/pdfwriter.h"

#include "framework/io/atomicfile.h"
#include "framework/report/prepared.h"
#include "framework/report/textmeasure.h"
#include "framework/text/errors.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace report {

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;
constexpr double kGlyphUnits = 1000;  // glyph space: 1000 units to the em
constexpr int kCompression = 3;       // content streams: most of the gain for little time
constexpr quint32 kNoGlyph = 0xFFFFFFFFu;

// The largest magnitude a number of the file may have: far past any page or glyph (a page
// of 5 m is 14,200 pt), and short enough to format.
constexpr double kMaxNumber = 1e9;
constexpr double kMaxFontPt = 1000;  // Qt has no glyphs far past this

void num(QByteArray& out, double v) {
    char buf[40];
    if (std::abs(v) < 0.0005)
        v = 0;
    // Never write what was not formatted: a loaded report is checked, this is the last guard.
    if (!(std::abs(v) <= kMaxNumber))
        throw EInvalidOperation(QStringLiteral("报表中有超出PDF范围的数值，无法导出"));
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3);
    if (r.ec != std::errc())
        throw EInvalidOperation(QStringLiteral("报表中有超出PDF范围的数值，无法导出"));
    char* end = r.ptr;
    char* dot = std::find(buf, end, '.');
    if (dot != end) {
        while (end > dot + 1 && end[-1] == '0') --end;
        if (end == dot + 1)
            end = dot;
    }
    out.append(buf, end - buf);
    out.append(' ');
}

void hex2(QByteArray& out, unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    out.append(digits[(v >> 4) & 15]);
    out.append(digits[v & 15]);
}

void utf16Hex(QByteArray& out, char32_t c) {
    const auto four = [&](unsigned u) {
        hex2(out, u >> 8);
        hex2(out, u & 0xFF);
    };
    if (c > 0xFFFF) {
        c -= 0x10000;
        four(0xD800 + (c >> 10));
        four(0xDC00 + (c & 0x3FF));
    } else {
        four(c);
    }
}

// A text string of PDF: UTF-16 with its byte-order mark, in hex.
QByteArray textString(const QString& s) {
    QByteArray out("<FEFF");
    for (const QChar c : s) {
        hex2(out, c.unicode() >> 8);
        hex2(out, c.unicode() & 0xFF);
    }
    out.append('>');
    return out;
}

QByteArray glyphName(std::size_t code) {
    return code == 0 ? QByteArray("/a") : "/g" + QByteArray::number(static_cast<qulonglong>(code));
}

bool styleIsBold(const QString& styleName) {
    for (const char* w : {"bold", "black", "heavy", "semibold", "demi"})
        if (styleName.contains(QLatin1String(w), Qt::CaseInsensitive))
            return true;
    return false;
}

struct GlyphKey {
    int face;
    quint32 glyph;
};

// One face (a font file's face, at glyph-space size) and the glyphs of it the report uses.
struct Face {
    QRawFont raw;
    double boldStroke = 0;  // a bold the face lacks, drawn by stroking the outlines too
    std::unordered_map<quint32, std::pair<int, int>> codes;  // glyph -> (font, code)
    int openFont = -1;                                       // the one still taking glyphs
};

// One Type 3 font of the file: up to 256 glyphs of one face.
struct Font {
    int face;
    int object;
    std::vector<quint32> glyphs;
    std::vector<char32_t> unicode;
    std::vector<double> widths;
};

// How the characters of one style's font map to glyphs, fallback faces included.
struct StyleFont {
    bool ready = false;
    int face = -1;
    double sizePt = 0;
    double ascentMm = 0;
    QFont font;
    std::unordered_map<char32_t, GlyphKey> chars;
};

class Writer {
public:
    // Every byte goes to `sink`, which throws when it cannot take them.
    explicit Writer(std::function<void(const QByteArray&)> sink) : m_sink(std::move(sink)) {}

    void write(const PreparedReport& rep, const PdfInfo& info, const PdfPages& pages);

private:
    int reserve() {
        m_offsets.push_back(-1);
        return static_cast<int>(m_offsets.size() - 1);
    }
    void begin(int object) {
        m_offsets[static_cast<std::size_t>(object)] = m_pos;
        QByteArray head = QByteArray::number(object);
        head += " 0 obj\n";
        put(head);
    }
    void end() { put("\nendobj\n"); }
    void put(const QByteArray& bytes) {
        m_sink(bytes);
        m_pos += bytes.size();
    }
    void stream(int object, const QByteArray& data, bool compress, const QByteArray& extra = {}) {
        begin(object);
        QByteArray body = data;
        QByteArray dict("<< ");
        if (compress) {
            body = qCompress(data, kCompression).mid(4);  // zlib stream without Qt's length
            dict += "/Filter /FlateDecode ";
        }
        dict += extra;
        dict += "/Length " + QByteArray::number(body.size()) + " >>\nstream\n";
        put(dict);
        put(body);
        put("\nendstream");
        end();
    }
    int faceOf(const QRawFont& raw, bool syntheticBold);
    StyleFont& styleFont(int index, const PreparedReport::Style& style);
    GlyphKey glyphOf(StyleFont& sf, char32_t c);
    std::pair<int, int> codeOf(GlyphKey g, char32_t c);
    void text(QByteArray& out, const PreparedReport::Step& s, const PreparedReport::Style& style,
              const QString& text, double pageHeightPt);
    void writeFont(const Font& font);

    std::function<void(const QByteArray&)> m_sink;
    qint64 m_pos = 0;
    std::vector<qint64> m_offsets{0};  // by object number; 0 is the free head
    std::vector<Face> m_faces;
    std::vector<Font> m_fonts;
    std::vector<StyleFont> m_styleFonts;
};

int Writer::faceOf(const QRawFont& raw, bool syntheticBold) {
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

StyleFont& Writer::styleFont(int index, const PreparedReport::Style& style) {
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
    return sf;
}

GlyphKey Writer::glyphOf(StyleFont& sf, char32_t c) {
    const auto it = sf.chars.find(c);
    if (it != sf.chars.end())
        return it->second;
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
            key = {faceOf(fallback, m_faces[static_cast<std::size_t>(sf.face)].boldStroke > 0 &&
                                        !styleIsBold(fallback.styleName())),
                   runs.first().glyphIndexes().first()};
        }
    }
    sf.chars.emplace(c, key);
    return key;
}

std::pair<int, int> Writer::codeOf(GlyphKey g, char32_t c) {
    Face& face = m_faces[static_cast<std::size_t>(g.face)];
    const auto it = face.codes.find(g.glyph);
    if (it != face.codes.end())
        return it->second;
    if (face.openFont < 0 ||
        m_fonts[static_cast<std::size_t>(face.openFont)].glyphs.size() == 256) {
        // Code 0 is an empty glyph half an em wide named like a letter: text extractors guess
        // a Type 3 font's scale from a letter's width, and would read CJK text at twice its
        // size (and lose the gaps between words) without one.
        m_fonts.push_back({g.face, reserve(), {kNoGlyph}, {0}, {kGlyphUnits / 2}});
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

void Writer::text(QByteArray& out, const PreparedReport::Step& s,
                  const PreparedReport::Style& style, const QString& str, double pageHeightPt) {
    StyleFont& sf = styleFont(s.style, style);
    // Runs of one font each, each starting where the text has advanced to (glyph units).
    // A blank is a move, not a glyph: text extractors then see the gap a reader sees.
    struct Run {
        int font;
        double at;
        QByteArray codes;
    };
    std::vector<Run> runs;
    double width = 0;  // glyph units
    bool afterBlank = true;
    for (qsizetype i = 0; i < str.size(); ++i) {
        char32_t c = str[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < str.size() && str[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(str[i], str[i + 1]);
            ++i;
        }
        const GlyphKey g = glyphOf(sf, c);
        if (g.face < 0)
            continue;  // no face has it: nothing is drawn for it on screen either
        const auto [font, code] = codeOf(g, c);
        const double advance =
            m_fonts[static_cast<std::size_t>(font)].widths[static_cast<std::size_t>(code)];
        if (c == U' ' || c == U'\u3000') {
            width += advance;
            afterBlank = true;
            continue;
        }
        if (afterBlank || runs.back().font != font)
            runs.push_back({font, width, {}});
        afterBlank = false;
        hex2(runs.back().codes, static_cast<unsigned>(code));
        width += advance;
    }
    if (runs.empty())
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
    for (const Run& r : runs) {
        out += "1 0 0 1 ";
        num(out, (x + r.at * unitMm) * kPtPerMm);
        num(out, baseline);
        out += "Tm ";
        if (r.font != fontNow) {
            out += "/F" + QByteArray::number(r.font) + ' ';
            num(out, sf.sizePt);
            out += "Tf ";
            fontNow = r.font;
        }
        out += "<" + r.codes + "> Tj\n";
    }
    out += "ET\n";
}

void Writer::writeFont(const Font& font) {
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
        const int proc = reserve();
        stream(proc, g, true);
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
    const int toUnicode = reserve();
    stream(toUnicode, cmap, true);

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
    begin(font.object);
    put(dict);
    end();
}

void Writer::write(const PreparedReport& rep, const PdfInfo& info, const PdfPages& chosen) {
    std::vector<int> pages;
    for (int p : chosen.pages)
        if (p >= 0 && p < rep.pageCount())
            pages.push_back(p);
    if (chosen.pages.empty())
        for (int p = 0; p < rep.pageCount(); ++p) pages.push_back(p);
    put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    const int catalog = reserve();
    const int pagesObject = reserve();
    const int infoObject = reserve();
    const int resources = reserve();

    const QSizeF paper = rep.paperSize();
    const double widthPt = paper.width() * kPtPerMm;
    const double heightPt = paper.height() * kPtPerMm;
    const auto& styles = rep.styles();
    std::vector<int> pageObjects;
    pageObjects.reserve(pages.size());
    QByteArray content;
    // Where something is already drawn on the page, in 2 mm bands of height: a text's white
    // box matters only over something drawn before it.
    constexpr double kBucket = 2.0;
    const int buckets = std::max(1, static_cast<int>(std::min(paper.height(), 1e5) / kBucket) + 2);
    std::vector<std::vector<QRectF>> drawn(static_cast<std::size_t>(buckets));
    const auto bucketRange = [&](const QRectF& r) {
        const int from =
            std::clamp(static_cast<int>(std::floor(r.top() / kBucket)), 0, buckets - 1);
        const int to =
            std::clamp(static_cast<int>(std::floor(r.bottom() / kBucket)), 0, buckets - 1);
        return std::pair{from, to};
    };
    const auto markDrawn = [&](const QRectF& r) {
        const auto [from, to] = bucketRange(r);
        for (int b = from; b <= to; ++b) drawn[static_cast<std::size_t>(b)].push_back(r);
    };
    const auto overDrawn = [&](const QRectF& r) {
        const auto [from, to] = bucketRange(r);
        for (int b = from; b <= to; ++b)
            for (const QRectF& d : drawn[static_cast<std::size_t>(b)])
                if (d.intersects(r))
                    return true;
        return false;
    };

    for (int p : pages) {
        content.clear();
        content += "2 J 2 j 0 g 0 G\n";  // the screen's pen: square caps, bevelled joins
        for (auto& b : drawn) b.clear();
        double penNow = -1;
        rep.forEachStep(p, [&](const PreparedReport::Step& s, const QString& str) {
            const PreparedReport::Style& style = styles[s.style];
            const QRectF r(s.x, s.y, s.w, s.h);
            switch (s.kind) {
                case DrawOp::Kind::Text:
                    if (style.opaque && overDrawn(r)) {
                        content += "1 g ";
                        num(content, r.x() * kPtPerMm);
                        num(content, heightPt - r.bottom() * kPtPerMm);
                        num(content, r.width() * kPtPerMm);
                        num(content, r.height() * kPtPerMm);
                        content += "re f 0 g\n";
                    }
                    text(content, s, style, str, heightPt);
                    markDrawn(r);
                    break;
                case DrawOp::Kind::Rect: {
                    if (style.penWidth <= 0 && !style.fill.isValid())
                        break;
                    if (style.fill.isValid()) {
                        num(content, style.fill.redF());
                        num(content, style.fill.greenF());
                        num(content, style.fill.blueF());
                        content += "rg ";
                    }
                    if (style.penWidth > 0 && style.penWidth != penNow) {
                        num(content, style.penWidth * kPtPerMm);
                        content += "w ";
                        penNow = style.penWidth;
                    }
                    num(content, r.x() * kPtPerMm);
                    num(content, heightPt - r.bottom() * kPtPerMm);
                    num(content, r.width() * kPtPerMm);
                    num(content, r.height() * kPtPerMm);
                    content +=
                        style.penWidth > 0 ? (style.fill.isValid() ? "re B" : "re S") : "re f";
                    content += style.fill.isValid() ? " 0 g\n" : "\n";
                    markDrawn(r.adjusted(-style.penWidth / 2, -style.penWidth / 2,
                                         style.penWidth / 2, style.penWidth / 2));
                    break;
                }
                case DrawOp::Kind::Line: {
                    const double pen = std::max(style.penWidth, 0.0);  // 0: the thinnest line
                    if (pen != penNow) {
                        num(content, pen * kPtPerMm);
                        content += "w ";
                        penNow = pen;
                    }
                    num(content, r.x() * kPtPerMm);
                    num(content, heightPt - r.top() * kPtPerMm);
                    content += "m ";
                    num(content, r.x() * kPtPerMm);
                    num(content, heightPt - r.bottom() * kPtPerMm);
                    content += "l S\n";
                    markDrawn(QRectF(r.x() - pen / 2, r.top() - pen / 2, pen, r.height() + pen));
                    break;
                }
            }
        });
        const int contents = reserve();
        stream(contents, content, true);
        const int page = reserve();
        begin(page);
        QByteArray dict("<< /Type /Page /Parent " + QByteArray::number(pagesObject) +
                        " 0 R /MediaBox [0 0 ");
        num(dict, widthPt);
        num(dict, heightPt);
        dict += "] /Resources " + QByteArray::number(resources) + " 0 R /Contents " +
                QByteArray::number(contents) + " 0 R >>";
        put(dict);
        end();
        pageObjects.push_back(page);
        if (chosen.progress &&
            !chosen.progress(static_cast<int>(pageObjects.size()), static_cast<int>(pages.size())))
            throw EAbort();
    }

    for (const Font& font : m_fonts) writeFont(font);

    begin(resources);
    QByteArray res("<< /ProcSet [/PDF /Text] /Font << ");
    for (std::size_t f = 0; f < m_fonts.size(); ++f)
        res += "/F" + QByteArray::number(static_cast<qulonglong>(f)) + ' ' +
               QByteArray::number(m_fonts[f].object) + " 0 R ";
    res += ">> >>";
    put(res);
    end();

    begin(pagesObject);
    QByteArray kids("<< /Type /Pages /Kids [");
    for (int page : pageObjects) kids += QByteArray::number(page) + " 0 R ";
    kids += "] /Count " + QByteArray::number(static_cast<qulonglong>(pageObjects.size())) + " >>";
    put(kids);
    end();

    begin(infoObject);
    put("<< /Title " + textString(info.title) + " /Creator " + textString(info.creator) +
        " /Producer " + textString(info.creator) + " >>");
    end();
    begin(catalog);
    put("<< /Type /Catalog /Pages " + QByteArray::number(pagesObject) + " 0 R >>");
    end();

    const qint64 xref = m_pos;
    QByteArray table("xref\n0 " + QByteArray::number(static_cast<qulonglong>(m_offsets.size())) +
                     "\n0000000000 65535 f \n");
    for (std::size_t i = 1; i < m_offsets.size(); ++i)
        table += QByteArray::number(m_offsets[i]).rightJustified(10, '0') + " 00000 n \n";
    table += "trailer\n<< /Size " + QByteArray::number(static_cast<qulonglong>(m_offsets.size())) +
             " /Root " + QByteArray::number(catalog) + " 0 R /Info " +
             QByteArray::number(infoObject) + " 0 R >>\nstartxref\n" + QByteArray::number(xref) +
             "\n%%EOF\n";
    put(table);
}

}  // namespace

void writePdf(const PreparedReport& report, const QString& path, const PdfInfo& info,
              const PdfPages& pages) {
    io::AtomicFile file(path);
    Writer([&file](const QByteArray& bytes) { file.write(bytes); }).write(report, info, pages);
    file.commit();
}

void writePdf(const PreparedReport& report, QIODevice& device, const PdfInfo& info,
              const PdfPages& pages) {
    Writer([&device](const QByteArray& bytes) {
        if (device.write(bytes) != bytes.size())
            throw EInvalidOperation(QStringLiteral("无法写出PDF：%1").arg(device.errorString()));
    }).write(report, info, pages);
}

}  // namespace report
