// Rendering of the printable elements into draw operations, the sum expression and the
// number mask of totals.
#include "framework/report/element.h"

#include "framework/db/dataset.h"
#include "framework/db/field.h"
#include "framework/report/band.h"
#include "framework/report/textmeasure.h"
#include "framework/text/errors.h"

#include <QRegularExpression>
#include <algorithm>

namespace report {

Element::Element(Band* band, const QString& name) : QObject(band), m_band(band) {
    setObjectName(name);
    if (band)
        band->addElement(this);
}

const FontMeasure& TextElement::measure() const {
    if (m_measure == nullptr)
        m_measure = &FontMeasure::of(m_font);
    return *m_measure;
}

template <typename Fits>
const FontMeasure& TextElement::shrink(TextBox& box, std::string_view s, Fits fits) const {
    constexpr double kSmallest = 6.0;
    const int steps = std::max(0, static_cast<int>((m_font.pointSizeF() - kSmallest) * 2 + 1e-9));
    const FontMeasure* m = &measure();
    for (int i = 0; i < steps; ++i) {
        if (static_cast<std::size_t>(i) == m_smaller.size()) {
            QFont smaller = m_font;
            smaller.setPointSizeF(m_font.pointSizeF() - 0.5 * (i + 1));
            m_smaller.emplace_back(smaller, &FontMeasure::of(smaller));
        }
        const auto& [font, fontMeasure] = m_smaller[static_cast<std::size_t>(i)];
        box.fitted = font;
        m = fontMeasure;
        if (fits(m->width(s)))
            break;
    }
    return *m;
}

TextBox TextElement::place(const RenderContext& ctx, const QString& s) const {
    const QByteArray utf8 = s.toUtf8();
    const std::string_view text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    return place(ctx, text, measure().width(text));
}

TextBox TextElement::place(const RenderContext& ctx, std::string_view s, double width) const {
    TextBox box;
    box.font = &m_font;
    const FontMeasure* m = &measure();
    if (m_autoSize && m_align == Alignment::Right && m_fitLeft >= 0 && x() - width < m_fitLeft) {
        m = &shrink(box, s, [this](double w) { return x() - w >= m_fitLeft; });
        width = m->width(s);
    } else if (m_autoSize && m_align == Alignment::Left && m_fitNext && x() + width > m_fitRight) {
        // Past its own column only as far as the next figure leaves room.
        const TextBox next = m_fitNext->place(ctx, m_fitNext->text(ctx));
        if (!next.empty) {
            const double limit = std::max(m_fitRight, next.rect.left() - ctx.origin.x() - m_fitGap);
            if (x() + width > limit) {
                m = &shrink(box, s, [this, limit](double w) { return x() + w <= limit; });
                width = m->width(s);
            }
        }
    }
    const double height = m->height();
    // A smaller text keeps its middle where the full-size one had it.
    const double top = this->top() + (measure().height() - height) / 2;
    const double w = m_autoSize ? width : m_width;
    const double h = m_autoSize ? height : std::max(m_height, 0.0);
    double left = x();
    switch (m_align) {
        case Alignment::Left:
            break;
        case Alignment::Right:
            left = x() - w;
            box.align = TextAlign::Right;
            break;
        case Alignment::Center:
            left = x() - w / 2;
            box.align = TextAlign::Center;
            break;
        case Alignment::BandCenter:
            left = (ctx.bandWidth - w) / 2;
            box.align = TextAlign::Center;
            break;
    }
    box.empty = s.empty() && m_autoSize;  // an empty auto-sized text has no box to paint
    box.rect = QRectF(ctx.origin.x() + left, ctx.origin.y() + top, w, h);
    return box;
}

void TextElement::appendText(const RenderContext& ctx, std::string& out) const {
    const QByteArray utf8 = text(ctx).toUtf8();
    out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

TextSlot TextElement::slot(const RenderContext& ctx) const {
    TextSlot t;
    t.font = m_font;
    t.opaque = !m_transparent;
    t.x = x();
    t.top = top();
    t.height = m_autoSize ? measure().height() : std::max(m_height, 0.0);
    t.bandWidth = ctx.bandWidth;
    switch (m_align) {
        case Alignment::Left:
            t.anchor = Anchor::Left;
            break;
        case Alignment::Right:
            t.anchor = Anchor::Right;
            t.align = TextAlign::Right;
            break;
        case Alignment::Center:
            t.anchor = Anchor::Center;
            t.align = TextAlign::Center;
            break;
        case Alignment::BandCenter:
            t.anchor = Anchor::BandCenter;
            t.align = TextAlign::Center;
            break;
    }
    return t;
}

void TextElement::render(const RenderContext& ctx) const {
    const QString s = text(ctx);
    const TextBox box = place(ctx, s);
    if (box.empty)
        return;
    DrawOp op;
    op.kind = DrawOp::Kind::Text;
    op.rect = box.rect;
    op.text = s;
    op.font = box.drawnFont();
    op.align = box.align;
    op.opaque = !m_transparent;
    ctx.out->push_back(std::move(op));
}

void DBText::startRun(db::DataSet& ds) {
    // An unknown field fails where it is printed, as it always did, not before the first row.
    m_resolved = m_field.isEmpty() ? nullptr : ds.FindField(m_field);
    m_resolvedIn = &ds;
    // A value shown without the currency format is the row store's plain text of it, taken
    // straight from the store for every row of the run.
    const bool numeric = m_resolved && m_resolved->DataType() != db::FieldType::String &&
                         m_resolved->DataType() != db::FieldType::Memo &&
                         m_resolved->DataType() != db::FieldType::DateTime;
    m_plainColumn = m_resolved && !(m_resolved->Currency() && numeric) ? m_resolved->Index() : -1;
}

void DBText::appendText(const RenderContext& ctx, std::string& out) const {
    if (!ctx.hasRow || !ctx.dataSet || m_field.isEmpty())
        return;
    if (m_plainColumn >= 0 && m_resolvedIn == ctx.dataSet) {
        if (const int row = ctx.dataSet->currentRow(); row >= 0)
            ctx.dataSet->store().appendString(row, m_plainColumn, out);
        return;
    }
    const db::Field* f = m_resolvedIn == ctx.dataSet && m_resolved != nullptr
                             ? m_resolved
                             : ctx.dataSet->FieldByName(m_field);
    f->appendDisplayText(ctx.dataSet->currentRow(), out);
}

QString DBText::text(const RenderContext& ctx) const {
    if (!ctx.hasRow || !ctx.dataSet || m_field.isEmpty())
        return {};
    if (m_resolvedIn == ctx.dataSet && m_resolved != nullptr)
        return m_resolved->DisplayText();
    return ctx.dataSet->FieldByName(m_field)->DisplayText();
}

void Expr::startRun(db::DataSet& ds) {
    static const QRegularExpression call(
        QStringLiteral(R"(^\s*([A-Za-z_]\w*)\s*\(\s*([A-Za-z_]\w*)\s*\)\s*$)"));
    const auto m = call.match(m_expression);
    if (!m.hasMatch())
        throw EInvalidOperation(QStringLiteral("Invalid expression '%1'").arg(m_expression));
    if (m.captured(1).compare(QLatin1String("sum"), Qt::CaseInsensitive) != 0)
        throw EInvalidOperation(QStringLiteral("Unknown function '%1' in expression '%2'")
                                    .arg(m.captured(1), m_expression));
    const db::Field* f = ds.FieldByName(m.captured(2));
    // Texts sum as the grid's footer sums them: a number carried as text adds it, any other
    // text stops the run with the field's error.
    if (f->DataType() == db::FieldType::DateTime)
        throw EInvalidOperation(QStringLiteral("Field '%1' is not numeric in expression '%2'")
                                    .arg(f->FieldName(), m_expression));
    m_column = f->Index();
    m_type = f->DataType();
    m_sum = 0;
}

void Expr::accumulate(const db::DataSet& ds) {
    const int row = ds.currentRow();
    if (m_column < 0 || row < 0)
        return;
    const db::RowStore& store = ds.store();
    if (m_type == db::FieldType::Currency || m_type == db::FieldType::Integer) {
        // 64-bit cells, even times 10,000, summed over any number of rows stay far inside
        // 128 bits: no overflow test per row.
        if (!store.isNull(row, m_column))
            m_sum += m_type == db::FieldType::Currency
                         ? db::Scaled4{store.integer(row, m_column)}
                         : db::Scaled4{store.integer(row, m_column)} * 10000;
        return;
    }
    const std::optional<db::Scaled4> sum = db::addScaled4(m_sum, ds.store().scaled4(row, m_column));
    if (!sum)
        throw EDatabaseError(QStringLiteral("The total of expression '%1' is too large to be held")
                                 .arg(m_expression));
    m_sum = *sum;
}

QString Expr::text(const RenderContext&) const {
    return formatMasked(m_sum, m_mask);
}

Shape::Shape(Band* band, const QString& name, Kind kind) : Element(band, name), m_kind(kind) {}

void Shape::render(const RenderContext& ctx) const {
    DrawOp op;
    op.rect = QRectF(ctx.origin.x() + x(), ctx.origin.y() + top(), m_width, m_height);
    op.penWidth = m_pen;
    if (m_kind == Kind::Rectangle) {
        op.kind = DrawOp::Kind::Rect;
        op.fill = m_fill;
    } else {
        op.kind = DrawOp::Kind::Line;
        op.rect.setWidth(0);
    }
    ctx.out->push_back(std::move(op));
}

QString formatMasked(db::Scaled4 v, const QString& mask) {
    if (mask.isEmpty())
        return db::formatGeneralScaled4(v);
    const qsizetype dot = mask.indexOf(QLatin1Char('.'));
    int zeros = 0;
    int hashes = 0;
    if (dot >= 0) {
        for (qsizetype i = dot + 1; i < mask.size(); ++i) {
            if (mask[i] == QLatin1Char('0')) {
                zeros += hashes + 1;  // a zero after hashes makes them required too
                hashes = 0;
            } else if (mask[i] == QLatin1Char('#')) {
                ++hashes;
            } else {
                break;
            }
        }
    }
    const int decimals = std::min(zeros + hashes, 4);
    const bool grouping = mask.left(dot < 0 ? mask.size() : dot).contains(QLatin1Char(','));

    using U128 = unsigned __int128;
    U128 div = 1;
    for (int i = decimals; i < 4; ++i) div *= 10;
    const bool negative = v < 0;
    const U128 mag = negative ? U128(0) - U128(v) : U128(v);
    const U128 rounded = (mag + div / 2) / div;
    U128 scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    QString intPart = db::decimalDigits(rounded / scale);
    if (grouping) {
        for (qsizetype i = intPart.size() - 3; i > 0; i -= 3) intPart.insert(i, QLatin1Char(','));
    }
    QString frac =
        decimals > 0 ? db::decimalDigits(rounded % scale).rightJustified(decimals, QLatin1Char('0'))
                     : QString();
    // Optional digits ('#') drop their trailing zeros.
    while (frac.size() > zeros && frac.endsWith(QLatin1Char('0'))) frac.chop(1);
    QString s = intPart;
    if (!frac.isEmpty())
        s += QLatin1Char('.') + frac;
    // A sum that rounds to zero prints without a sign.
    if (negative && rounded != 0)
        s.prepend(QLatin1Char('-'));
    return s;
}

}  // namespace report
