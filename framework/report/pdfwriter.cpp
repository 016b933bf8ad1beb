#include "framework/report/pdfwriter.h"

#include "framework/io/atomicfile.h"
#include "framework/report/pdffonts.h"
#include "framework/report/pdfsyntax.h"
#include "framework/report/prepared.h"
#include "framework/text/errors.h"

#include <QIODevice>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace report {

namespace {

using pdf::appendNumber;
using pdf::num;

constexpr double kPtPerMm = 72.0 / 25.4;
constexpr int kCompression = kPdfCompression;

// Where something is already drawn on a page, in cells of a quarter millimetre: a text's white
// box matters only over something drawn before it. A cell is marked when any drawing covers
// part of it, so the test finds every overlap (and, at worst, paints a box where something
// only comes within a quarter millimetre).
class Coverage {
public:
    explicit Coverage(QSizeF paperMm)
        : m_columns(std::clamp(static_cast<int>(paperMm.width() / kCell) + 2, 1, 1 << 16)),
          m_rows(std::clamp(static_cast<int>(paperMm.height() / kCell) + 2, 1, 1 << 16)),
          m_words((m_columns + 63) / 64),
          m_bits(static_cast<std::size_t>(m_words) * static_cast<std::size_t>(m_rows)) {}

    void clear() { std::fill(m_bits.begin(), m_bits.end(), 0); }
    void mark(double left, double top, double right, double bottom) {
        visit(left, top, right, bottom, [](std::uint64_t& word, std::uint64_t mask) {
            word |= mask;
            return false;
        });
    }
    bool drawnUnder(double left, double top, double right, double bottom) {
        return visit(left, top, right, bottom,
                     [](std::uint64_t& word, std::uint64_t mask) { return (word & mask) != 0; });
    }

private:
    static constexpr double kCell = 0.25;  // mm
    int cell(double mm, int count) const {
        return std::clamp(static_cast<int>(std::floor(mm / kCell)), 0, count - 1);
    }
    template <typename Op>
    bool visit(double left, double top, double right, double bottom, Op op) {
        if (!(right > left && bottom > top))
            return false;  // nothing covered, as an empty rectangle intersects nothing
        const int x0 = cell(left, m_columns), x1 = cell(right, m_columns);
        const int y0 = cell(top, m_rows), y1 = cell(bottom, m_rows);
        for (int y = y0; y <= y1; ++y) {
            std::uint64_t* row = m_bits.data() + static_cast<std::size_t>(y) * m_words;
            for (int w = x0 / 64; w <= x1 / 64; ++w) {
                const int from = std::max(x0, w * 64) - w * 64;
                const int to = std::min(x1, w * 64 + 63) - w * 64;
                const std::uint64_t mask =
                    (to == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to + 1)) - 1) &
                    ~((std::uint64_t{1} << from) - 1);
                if (op(row[w], mask))
                    return true;
            }
        }
        return false;
    }

    int m_columns;
    int m_rows;
    int m_words;
    std::vector<std::uint64_t> m_bits;
};

void writeReport(pdf::Objects& file, const PreparedReport& rep, const PdfInfo& info,
                 const PdfPages& chosen) {
    std::vector<int> pages;
    for (int p : chosen.pages)
        if (p >= 0 && p < rep.pageCount())
            pages.push_back(p);
    if (chosen.pages.empty())
        for (int p = 0; p < rep.pageCount(); ++p) pages.push_back(p);
    pdf::Type3Fonts fonts(file);
    file.put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    const int catalog = file.reserve();
    const int pagesObject = file.reserve();
    const int infoObject = file.reserve();
    const int resources = file.reserve();

    const QSizeF paper = rep.paperSize();
    const double widthPt = paper.width() * kPtPerMm;
    const double heightPt = paper.height() * kPtPerMm;
    const auto& styles = rep.styles();
    std::vector<int> pageObjects;
    pageObjects.reserve(pages.size());
    QByteArray content;
    Coverage drawn(paper);

    for (int p : pages) {
        content.clear();                 // keeps its room: pages of a report are alike
        content += "2 J 2 j 0 g 0 G\n";  // the screen's pen: square caps, bevelled joins
        drawn.clear();
        double penNow = -1;
        rep.forEachStepText(p, [&](const PreparedReport::Step& s, std::string_view utf8,
                                   const QString* text) {
            const PreparedReport::Style& style = styles[s.style];
            switch (s.kind) {
                case DrawOp::Kind::Text:
                    if (style.opaque && drawn.drawnUnder(s.x, s.y, s.x + s.w, s.y + s.h)) {
                        content += "1 g ";
                        num(content, s.x * kPtPerMm);
                        num(content, heightPt - (s.y + s.h) * kPtPerMm);
                        num(content, s.w * kPtPerMm);
                        num(content, s.h * kPtPerMm);
                        content += "re f 0 g\n";
                    }
                    if (text)
                        fonts.text(content, s, style, *text, heightPt);
                    else
                        fonts.text(content, s, style, utf8, heightPt);
                    drawn.mark(s.x, s.y, s.x + s.w, s.y + s.h);
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
                    num(content, s.x * kPtPerMm);
                    num(content, heightPt - (s.y + s.h) * kPtPerMm);
                    num(content, s.w * kPtPerMm);
                    num(content, s.h * kPtPerMm);
                    content +=
                        style.penWidth > 0 ? (style.fill.isValid() ? "re B" : "re S") : "re f";
                    content += style.fill.isValid() ? " 0 g\n" : "\n";
                    const double half = style.penWidth / 2;
                    drawn.mark(s.x - half, s.y - half, s.x + s.w + half, s.y + s.h + half);
                    break;
                }
                case DrawOp::Kind::Line: {
                    const double pen = std::max(style.penWidth, 0.0);  // 0: the thinnest line
                    if (pen != penNow) {
                        num(content, pen * kPtPerMm);
                        content += "w ";
                        penNow = pen;
                    }
                    num(content, s.x * kPtPerMm);
                    num(content, heightPt - s.y * kPtPerMm);
                    content += "m ";
                    num(content, s.x * kPtPerMm);
                    num(content, heightPt - (s.y + s.h) * kPtPerMm);
                    content += "l S\n";
                    drawn.mark(s.x - pen / 2, s.y - pen / 2, s.x + pen / 2, s.y + s.h + pen / 2);
                    break;
                }
            }
        });
        const int contents = file.reserve();
        file.stream(contents, content);
        const int page = file.reserve();
        file.begin(page);
        QByteArray dict("<< /Type /Page /Parent ");
        appendNumber(dict, pagesObject);
        dict += " 0 R /MediaBox [0 0 ";
        num(dict, widthPt);
        num(dict, heightPt);
        dict += "] /Resources ";
        appendNumber(dict, resources);
        dict += " 0 R /Contents ";
        appendNumber(dict, contents);
        dict += " 0 R >>";
        file.put(dict);
        file.end();
        pageObjects.push_back(page);
        if (chosen.progress &&
            !chosen.progress(static_cast<int>(pageObjects.size()), static_cast<int>(pages.size())))
            throw EAbort();
    }

    fonts.writeAll();

    file.begin(resources);
    QByteArray res("<< /ProcSet [/PDF /Text] /Font << ");
    for (std::size_t f = 0; f < fonts.count(); ++f) {
        res += "/F";
        appendNumber(res, static_cast<std::int64_t>(f));
        res += ' ';
        appendNumber(res, fonts.object(f));
        res += " 0 R ";
    }
    res += ">> >>";
    file.put(res);
    file.end();

    file.begin(pagesObject);
    QByteArray kids("<< /Type /Pages /Kids [");
    for (int page : pageObjects) {
        appendNumber(kids, page);
        kids += " 0 R ";
    }
    kids += "] /Count ";
    appendNumber(kids, static_cast<std::int64_t>(pageObjects.size()));
    kids += " >>";
    file.put(kids);
    file.end();

    file.begin(infoObject);
    file.put("<< /Title " + pdf::textString(info.title) + " /Creator " +
             pdf::textString(info.creator) + " /Producer " + pdf::textString(info.creator) + " >>");
    file.end();
    file.begin(catalog);
    QByteArray root("<< /Type /Catalog /Pages ");
    appendNumber(root, pagesObject);
    root += " 0 R >>";
    file.put(root);
    file.end();
    file.finish(catalog, infoObject);
}

}  // namespace

void writePdf(const PreparedReport& report, const QString& path, const PdfInfo& info,
              const PdfPages& pages) {
    io::AtomicFile file(path);
    pdf::Objects objects([&file](const QByteArray& bytes) { file.write(bytes); },
                         info.compression < 0 ? kCompression : std::min(info.compression, 9));
    writeReport(objects, report, info, pages);
    file.commit();
}

void writePdf(const PreparedReport& report, QIODevice& device, const PdfInfo& info,
              const PdfPages& pages) {
    pdf::Objects objects(
        [&device](const QByteArray& bytes) {
            if (device.write(bytes) != bytes.size())
                throw EInvalidOperation(
                    QStringLiteral("无法写出PDF：%1").arg(device.errorString()));
        },
        info.compression < 0 ? kCompression : std::min(info.compression, 9));
    writeReport(objects, report, info, pages);
}

}  // namespace report
