// A prepared report: every page recorded in millimetres on the paper, independent of any
// device. Pages replay onto any QPaintDevice at its resolution, and the whole recording saves
// to and loads from a versioned file.
//
// The recording is compact: fonts, pens and fills are held once (a style per drawing step);
// what a band draws the same way every time (its rules and fixed captions) is held once per
// band, and each placement of the band adds only its origin and, for every text that changes,
// the text and its width.
#pragma once

#include "framework/report/textmeasure.h"

#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace report {

enum class TextAlign { Left, Right, Center };

const QFont& noFont();  // shared default for ops without text (cheap to copy)

// One drawing step as the layout makes it and as callers inspect a page.
struct DrawOp {
    enum class Kind { Text, Rect, Line };
    Kind kind = Kind::Text;
    QRectF rect;  // mm from the paper's top-left; a line runs from topLeft to bottomLeft
    QString text;
    QFont font = noFont();
    TextAlign align = TextAlign::Left;  // where the text sits in its box
    bool opaque = false;                // white box behind the text
    double penWidth = 0;                // mm; 0: no outline
    QColor fill;                        // invalid: no fill
};

using PageOps = std::vector<DrawOp>;

// Where a band's changing text is anchored; the box then takes the text's width.
enum class Anchor : std::uint8_t { Left = 1, Right, Center, BandCenter };

// A text of a band that changes from placement to placement: its style (font, alignment in
// the box, white box), its anchor and top in band millimetres, and the height of its box.
struct TextSlot {
    QFont font;
    TextAlign align = TextAlign::Left;
    bool opaque = false;
    Anchor anchor = Anchor::Left;
    double x = 0;          // the anchor, mm from the band's left edge
    double top = 0;        // mm from the band's top
    double height = 0;     // of the box
    double bandWidth = 0;  // for Anchor::BandCenter
};

// A band as drawn every time: its fixed drawing steps (at the band's origin) and its
// changing texts, in paint order.
struct BandDrawing {
    struct Item {
        std::optional<DrawOp> fixed;  // set: a fixed step; otherwise `slot`
        TextSlot slot;
    };
    std::vector<Item> items;
};

class PreparedReport {
public:
    QSizeF paperSize() const { return m_paper; }  // mm, as printed (landscape: wide)
    void setPaperSize(QSizeF mm) { m_paper = mm; }
    // The layout's margins (mm), for showing; unknown in reports saved before they were kept.
    std::optional<QMarginsF> margins() const { return m_margins; }
    void setMargins(QMarginsF mm) { m_margins = mm; }

    int pageCount() const { return static_cast<int>(m_pages.size()); }
    // Empties the recording for a new layout, keeping the pages' memory to record into: a
    // layout done again (the same report laid out once more) then neither allocates nor
    // touches fresh memory for its pages. Copies do not take the kept memory along.
    void clearForReuse();
    // The drawing steps of page `index` (0-based), in paint order.
    PageOps page(int index) const;

    // Paints page `index` (0-based) with the painter's origin on the paper's top-left corner.
    void paintPage(QPainter& painter, int index) const;

    // Own file format; EInvalidOperation when the file cannot be written or read, or is not
    // a report of this format. `progress` is told the share done so far, in thousandths;
    // false cancels the save (EAbort), leaving no file and any earlier one as it was.
    void save(const QString& path, const std::function<bool(int permille)>& progress = {}) const;
    static PreparedReport load(const QString& path);

    // Recording. A band's drawing is set once (and may be set again, when only its fixed
    // steps changed); each placement on the last page then gives, for each of its slots in
    // order, a text and its measured width, nothing (an empty text that draws no box) or a
    // step of its own (a text printed in another font, or of a width not measured).
    int addBand(const BandDrawing& drawing);
    void setBand(int band, const BandDrawing& drawing);
    void addPage();
    void placeBand(int band, QPointF origin);
    bool addSlotText(const QString& text, double width);  // false: record addSlotStep
    // The same without a string: the slot's UTF-8 text appended to slotTexts() from `start`
    // on, then committed with its width; false: the caller cuts the text off again and
    // records addSlotStep.
    std::string& slotTexts();
    bool commitSlotText(std::size_t start, double width);
    // The same for a width known in whole measuring units (1/64 device units), as the text
    // measure sums them for additive texts; false past their range.
    bool commitSlotUnits(std::int64_t units);
    static double widthOfUnits(std::int64_t units) {
        return units / 64.0 * FontMeasure::kMmPerUnit;
    }
    void addSlotNothing();
    void addSlotStep(const DrawOp& op);
    void addStep(const DrawOp& op);  // a step on the last page outside any band

    // Bytes held for the pages, for the benchmarks.
    std::size_t pageBytes() const;

    friend bool operator==(const PreparedReport& a, const PreparedReport& b);

    // The compact form, public for the writers that walk it.
    struct Style {
        QFont font;
        TextAlign align = TextAlign::Left;
        bool opaque = false;
        double penWidth = 0;
        QColor fill;
        friend bool operator==(const Style&, const Style&) = default;
    };
    struct Step {  // geometry in mm from the paper's (or the band's) top-left corner
        double x = 0, y = 0, w = 0, h = 0;
        std::uint16_t style = 0;
        DrawOp::Kind kind = DrawOp::Kind::Text;
        friend bool operator==(const Step&, const Step&) = default;
    };
    const std::vector<Style>& styles() const { return m_styles; }
    // Calls f(const Step&, const QString& text) for every step of page `index` in order, with
    // the step's geometry on the paper.
    template <typename F>
    void forEachStep(int index, F&& f) const {
        forEachStepText(index, [&f](const Step& s, std::string_view utf8, const QString* text) {
            f(s,
              text ? *text : QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
        });
    }
    // The same without a string per text: f(const Step&, std::string_view utf8, const
    // QString* text) gets the text as UTF-8 bytes of the page, or as `text` where it is held
    // as a string (fixed texts, texts with steps of their own).
    template <typename F>
    void forEachStepText(int index, F&& f) const;

private:
    struct Item {         // of a band: a fixed step at the band's origin, or a slot
        Step step;        // a slot: style; x anchor, y top, h height, w band width
        QString text;     // of a fixed text
        Anchor anchor{};  // zero: a fixed step
        friend bool operator==(const Item&, const Item&) = default;
    };
    struct Placement {
        std::uint32_t band;  // kLoose: the page's next loose step
        double x, y;
        friend bool operator==(const Placement&, const Placement&) = default;
    };
    // A measured width is a whole number of 1/64 device units of the measuring resolution;
    // held so, it is exact in four bytes.
    struct Value {
        std::uint32_t textEnd;  // end of the text in the page's text bytes
        std::uint32_t width;    // in units of kWidthUnit mm, or kNothing / kOwnStep
        friend bool operator==(const Value&, const Value&) = default;
    };
    struct Loose {
        Step step;
        QString text;
        friend bool operator==(const Loose&, const Loose&) = default;
    };
    struct Page {
        std::vector<Placement> placements;
        std::vector<Value> values;
        std::string texts;  // UTF-8, one after the other
        std::vector<Loose> loose;
        friend bool operator==(const Page&, const Page&) = default;
    };
    static constexpr std::uint32_t kLoose = 0xFFFFFFFFu;
    static constexpr std::uint32_t kNothing = 0xFFFFFFFFu;
    static constexpr std::uint32_t kOwnStep = 0xFFFFFFFEu;
    static double widthOf(std::uint32_t units) { return units / 64.0 * FontMeasure::kMmPerUnit; }

    std::uint16_t styleOf(const DrawOp& op);
    Step stepOf(const DrawOp& op);
    std::vector<Item> itemsOf(const BandDrawing& drawing);
    Page& lastPage();
    // Why a loaded recording is no report of ours (an index out of range, a paper, font or
    // position no report has); empty when it is one.
    QString refusal() const;
    void readV2(class QDataStream& in, int pages);
    void writeBody(class QDataStream& out) const;
    bool readBody(class QDataStream& in);

    QSizeF m_paper{297, 210};
    std::optional<QMarginsF> m_margins;
    std::vector<Style> m_styles;
    std::vector<std::vector<Item>> m_bands;
    std::vector<Page> m_pages;
    // Pages of an earlier layout, emptied, whose memory the next pages take over.
    struct Spare {
        std::vector<Page> pages;
        Spare() = default;
        Spare(const Spare&) {}
        Spare& operator=(const Spare&) { return *this; }
        Spare(Spare&&) = default;
        Spare& operator=(Spare&&) = default;
    } m_spare;
};

template <typename F>
void PreparedReport::forEachStepText(int index, F&& f) const {
    const Page& page = m_pages.at(static_cast<std::size_t>(index));
    std::size_t value = 0;
    std::size_t loose = 0;
    std::uint32_t textStart = 0;
    for (const Placement& p : page.placements) {
        if (p.band == kLoose) {
            const Loose& l = page.loose[loose++];
            f(l.step, std::string_view(), &l.text);
            continue;
        }
        for (const Item& item : m_bands[p.band]) {
            if (item.anchor == Anchor{}) {
                Step s = item.step;
                s.x += p.x;
                s.y += p.y;
                f(s, std::string_view(), &item.text);
                continue;
            }
            const Value& v = page.values[value++];
            const std::uint32_t start = textStart;
            textStart = v.textEnd;
            if (v.width == kNothing)
                continue;
            if (v.width == kOwnStep) {
                const Loose& l = page.loose[loose++];
                f(l.step, std::string_view(), &l.text);
                continue;
            }
            const double w = widthOf(v.width);
            double left = item.step.x;
            switch (item.anchor) {
                case Anchor::Right:
                    left = item.step.x - w;
                    break;
                case Anchor::Center:
                    left = item.step.x - w / 2;
                    break;
                case Anchor::BandCenter:
                    left = (item.step.w - w) / 2;
                    break;
                case Anchor::Left:
                    break;
            }
            Step s;
            s.x = p.x + left;
            s.y = p.y + item.step.y;
            s.w = w;
            s.h = item.step.h;
            s.style = item.step.style;
            s.kind = DrawOp::Kind::Text;
            f(s, std::string_view(page.texts.data() + start, v.textEnd - start),
              static_cast<const QString*>(nullptr));
        }
    }
}

bool operator==(const DrawOp& a, const DrawOp& b);

}  // namespace report
