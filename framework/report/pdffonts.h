// The fonts of a PDF file as the PDF writer makes them: Type 3 fonts built from the outlines
// of the glyphs a report uses (each glyph once per file, up to 256 to a font, a font per
// face), with a ToUnicode map so that the text can be selected, searched and extracted; and
// the text operators that draw a report's texts in them.
#pragma once

#include "framework/report/pdfsyntax.h"
#include "framework/report/prepared.h"

#include <QFont>
#include <QRawFont>
#include <array>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace report::pdf {

class Type3Fonts {
public:
    explicit Type3Fonts(Objects& objects) : m_objects(objects) {}

    // The operators that draw one text step: runs of glyph codes, a blank being a move.
    // EInvalidOperation for a font no face can be made of.
    void text(QByteArray& out, const PreparedReport::Step& s, const PreparedReport::Style& style,
              std::string_view utf8, double pageHeightPt);
    void text(QByteArray& out, const PreparedReport::Step& s, const PreparedReport::Style& style,
              const QString& text, double pageHeightPt);

    // After the pages: every font with its glyph procedures and Unicode map.
    void writeAll();
    std::size_t count() const { return m_fonts.size(); }
    int object(std::size_t font) const { return m_fonts[font].object; }

private:
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
    // A character as drawn in a style's font: its font and code, and its advance.
    struct Coded {
        int font = -2;  // -2: not looked up yet; -1: no face has it
        int code = 0;
        double advance = 0;
    };
    // How the characters of one style's font map to glyphs, fallback faces included.
    struct StyleFont {
        bool ready = false;
        int face = -1;
        double sizePt = 0;
        double ascentMm = 0;
        QFont font;
        std::array<Coded, 128> ascii{};  // the characters of amounts, looked up once
        std::unordered_map<char32_t, Coded> other;
    };

    int faceOf(const QRawFont& raw, bool syntheticBold);
    StyleFont& styleFont(int index, const PreparedReport::Style& style);
    Coded coded(StyleFont& sf, char32_t c);
    GlyphKey glyphOf(const StyleFont& sf, char32_t c);
    std::pair<int, int> codeOf(GlyphKey g, char32_t c);
    void runs(QByteArray& out, const PreparedReport::Step& s, const PreparedReport::Style& style,
              double pageHeightPt);
    void writeFont(const Font& font);

    Objects& m_objects;
    std::vector<Face> m_faces;
    std::vector<Font> m_fonts;
    std::vector<StyleFont> m_styleFonts;
    std::vector<char32_t> m_chars;  // the text being drawn, decoded
    struct Run {
        int font;
        double at;
        QByteArray codes;
    };
    std::vector<Run> m_runs;  // kept, with their room, from text to text
};

}  // namespace report::pdf
