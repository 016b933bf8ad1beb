// The printable elements of a band: static text, field text, sum expression, page number,
// rectangle and vertical line. Each records draw operations in millimetres for the band it
// stands on; texts size themselves to their text and keep their anchor.
#pragma once

#include "framework/db/money.h"
#include "framework/db/rowstore.h"
#include "framework/report/prepared.h"
#include "framework/report/textmeasure.h"

#include <QFont>
#include <QObject>
#include <QPointF>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace db {
class DataSet;
class Field;
}  // namespace db

namespace report {

class Band;

// Left: x is the left edge; Right: the right edge; Center: the centre; BandCenter: the text
// is centred on the band's full width and x is ignored.
enum class Alignment { Left, Right, Center, BandCenter };

struct RenderContext {
    QPointF origin;        // the band's top-left corner on the paper, mm
    double bandWidth = 0;  // mm
    int page = 1;          // page being laid out, 1-based
    bool hasRow = false;   // the dataset stands on a row that this band prints
    db::DataSet* dataSet = nullptr;
    PageOps* out = nullptr;
};

class Element : public QObject {
public:
    Element(Band* band, const QString& name);
    Band* band() const { return m_band; }

    double x() const { return m_x; }
    double top() const { return m_top; }
    void setPosition(double x, double top) {
        m_x = x;
        m_top = top;
    }

    virtual void render(const RenderContext& ctx) const = 0;
    // True when the element draws the same at every placement of its band during a layout
    // (rules, fixed captions): it is recorded once per band.
    virtual bool isStatic() const { return false; }
    // Called once before a layout walks the dataset, and once after it.
    virtual void startRun(db::DataSet&) {}
    virtual void endRun() {}

private:
    Band* m_band;
    double m_x = 0;
    double m_top = 0;
};

// Where a text goes: its box on the paper and the font it prints in.
struct TextBox {
    QRectF rect;
    const QFont* font = nullptr;  // the element's
    // A smaller size that fits (setFitLeft, setFitRight); made only then, as a box is made
    // per text.
    std::optional<QFont> fitted;
    const QFont& drawnFont() const { return fitted ? *fitted : *font; }
    TextAlign align = TextAlign::Left;
    bool empty = false;  // an empty auto-sized text: nothing to draw
};

class TextElement : public Element {
public:
    using Element::Element;

    const QFont& font() const { return m_font; }
    void setFont(const QFont& f) {
        m_font = f;
        m_measure = nullptr;
        m_smaller.clear();
    }
    Alignment alignment() const { return m_align; }
    void setAlignment(Alignment a) { m_align = a; }
    // Off: the box keeps `width`/`height` and the text sits in it by its alignment.
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on) { m_autoSize = on; }
    void setSize(double width, double height) {
        m_width = width;
        m_height = height;
    }
    bool transparent() const { return m_transparent; }
    void setTransparent(bool on) { m_transparent = on; }
    // A right-aligned auto-sized text that would reach left of `left` (band millimetres) is
    // printed in the largest size, in half points down to 6 pt, that keeps it right of it;
    // its right edge stays.
    void setFitLeft(double left) { m_fitLeft = left; }
    // A left-aligned auto-sized text may run on past `right` (band millimetres), but not to
    // within `gap` of the next figure of its band, `next`, as placed at the same placement:
    // one that would is printed in the largest size, down to 6 pt, that stays clear of it,
    // or that ends at `right`. Its left edge stays.
    void setFitRight(double right, const TextElement* next, double gap) {
        m_fitRight = right;
        m_fitNext = next;
        m_fitGap = gap;
    }

    virtual QString text(const RenderContext& ctx) const = 0;
    // text(ctx) as UTF-8 appended to `out`: the layout's way, without a string per text
    // where the element can (a field's value).
    virtual void appendText(const RenderContext& ctx, std::string& out) const;
    void render(const RenderContext& ctx) const override;
    // The box of `text` at the placement `ctx`, as render() records it.
    TextBox place(const RenderContext& ctx, const QString& text) const;
    // The same for UTF-8 text whose width in the element's font is `width`.
    TextBox place(const RenderContext& ctx, std::string_view text, double width) const;
    // Whether a text of `width` prints in the element's own font in a box of its own width
    // (an auto-sized text no fitting touches): the layout then records just that width.
    bool fitsAsItIs(double width) const {
        return m_autoSize &&
               !(m_align == Alignment::Right && m_fitLeft >= 0 && x() - width < m_fitLeft) &&
               !(m_align == Alignment::Left && m_fitNext && x() + width > m_fitRight);
    }
    const FontMeasure& measure() const;
    // The element as a changing text of its band (ctx gives the band's width).
    TextSlot slot(const RenderContext& ctx) const;

private:
    // The largest size below the font's, in half points down to 6 pt, at which `fits` holds
    // for the text's width (6 pt when none does); into box.fitted, with its measure.
    template <typename Fits>
    const FontMeasure& shrink(TextBox& box, std::string_view s, Fits fits) const;

    QFont m_font;
    mutable const FontMeasure* m_measure = nullptr;
    // The smaller sizes tried by the fitting, made on first use: 0.5 pt, 1 pt, ... below.
    mutable std::vector<std::pair<QFont, const FontMeasure*>> m_smaller;
    Alignment m_align = Alignment::Left;
    bool m_autoSize = true;
    bool m_transparent = false;  // default: an opaque white box behind the text
    double m_fitLeft = -1;       // < 0: no limit
    double m_fitRight = 0;
    const TextElement* m_fitNext = nullptr;  // none: no limit on the right
    double m_fitGap = 0;
    double m_width = 0;
    double m_height = 0;
};

class Label : public TextElement {
public:
    using TextElement::TextElement;
    const QString& Caption() const { return m_caption; }
    void SetCaption(const QString& c) { m_caption = c; }
    QString text(const RenderContext&) const override { return m_caption; }
    bool isStatic() const override { return true; }

private:
    QString m_caption;
};

// A field's display text at the dataset's current row; empty without a row or for null.
class DBText : public TextElement {
public:
    using TextElement::TextElement;
    const QString& DataField() const { return m_field; }
    void SetDataField(const QString& f) { m_field = f; }
    QString text(const RenderContext& ctx) const override;
    void appendText(const RenderContext& ctx, std::string& out) const override;
    void startRun(db::DataSet& ds) override;  // resolves the field once
    void endRun() override {
        m_resolved = nullptr;
        m_resolvedIn = nullptr;
        m_plainColumn = -1;
    }

private:
    QString m_field;
    const db::Field* m_resolved = nullptr;
    const db::DataSet* m_resolvedIn = nullptr;
    int m_plainColumn = -1;  // the store's column while the run shows it as plain text
};

// An aggregate over the detail rows, "sum(field)" (function names in any case), printed
// with a number mask such as "0.00". Sums are kept exactly in 1/10000 units (128 bits); a
// value too large to be summed so raises EDatabaseError.
class Expr : public TextElement {
public:
    using TextElement::TextElement;
    const QString& Expression() const { return m_expression; }
    void SetExpression(const QString& e) { m_expression = e; }
    const QString& Mask() const { return m_mask; }
    void SetMask(const QString& m) { m_mask = m; }

    // Parses the expression and resolves its field; EInvalidOperation for an expression it
    // cannot evaluate, the dataset's error for an unknown field.
    void startRun(db::DataSet& ds) override;
    void accumulate(const db::DataSet& ds);  // adds the current row's value
    db::Scaled4 total() const { return m_sum; }
    QString text(const RenderContext& ctx) const override;

private:
    QString m_expression;
    QString m_mask;
    int m_column = -1;
    db::FieldType m_type = db::FieldType::Float;
    db::Scaled4 m_sum = 0;
};

// The number of the page being printed.
class SysData : public TextElement {
public:
    using TextElement::TextElement;
    QString text(const RenderContext& ctx) const override { return QString::number(ctx.page); }
};

// A rectangle (with pen and fill) or a vertical line (at x, from top down by height).
class Shape : public Element {
public:
    enum class Kind { Rectangle, VertLine };
    Shape(Band* band, const QString& name, Kind kind);
    void setSize(double width, double height) {
        m_width = width;
        m_height = height;
    }
    void setPen(double widthMm) { m_pen = widthMm; }
    void setFill(const QColor& c) { m_fill = c; }
    void render(const RenderContext& ctx) const override;
    bool isStatic() const override { return true; }

private:
    Kind m_kind;
    double m_width = 0;
    double m_height = 0;
    double m_pen = 0.2;
    QColor m_fill;
};

// A number in 1/10000 units under a mask: digits after the point from the zeros and hashes
// after '.', thousands grouping when the mask holds ','. Rounds half away from zero.
QString formatMasked(db::Scaled4 tenThousandths, const QString& mask);

}  // namespace report
