// Recorded pages of a prepared report: recording and replay onto a device (the report file
// is preparedfile.cpp's).
#include "framework/report/prepared.h"

#include "framework/text/errors.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace report {

namespace {

constexpr double kMmPerInch = 25.4;

Qt::Alignment flagsOf(TextAlign a) {
    switch (a) {
        case TextAlign::Right:
            return Qt::AlignRight | Qt::AlignTop;
        case TextAlign::Center:
            return Qt::AlignHCenter | Qt::AlignTop;
        case TextAlign::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

void appendUtf8(std::string& out, const QString& s) {
    bool ascii = true;
    for (const QChar c : s) ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        for (const QChar c : s) out.push_back(static_cast<char>(c.unicode()));
        return;
    }
    const QByteArray bytes = s.toUtf8();
    out.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

const QFont& noFont() {
    static const QFont font;
    return font;
}

// ---- recording

std::uint16_t PreparedReport::styleOf(const DrawOp& op) {
    Style s;
    if (op.kind == DrawOp::Kind::Text) {
        s.font = op.font;
        s.align = op.align;
        s.opaque = op.opaque;
    } else {
        s.penWidth = op.penWidth;
        s.fill = op.fill;
    }
    const auto it = std::find(m_styles.begin(), m_styles.end(), s);
    if (it != m_styles.end())
        return static_cast<std::uint16_t>(it - m_styles.begin());
    if (m_styles.size() >= 0xFFFF)
        throw EInvalidOperation(QStringLiteral("A report cannot use more than 65535 styles"));
    m_styles.push_back(s);
    return static_cast<std::uint16_t>(m_styles.size() - 1);
}

PreparedReport::Step PreparedReport::stepOf(const DrawOp& op) {
    Step s;
    s.x = op.rect.x();
    s.y = op.rect.y();
    s.w = op.rect.width();
    s.h = op.rect.height();
    s.style = styleOf(op);
    s.kind = op.kind;
    return s;
}

std::vector<PreparedReport::Item> PreparedReport::itemsOf(const BandDrawing& drawing) {
    std::vector<Item> items;
    items.reserve(drawing.items.size());
    for (const BandDrawing::Item& in : drawing.items) {
        Item item;
        if (in.fixed) {
            item.step = stepOf(*in.fixed);
            item.text = in.fixed->text;
        } else {
            const TextSlot& t = in.slot;
            DrawOp styleOnly;
            styleOnly.font = t.font;
            styleOnly.align = t.align;
            styleOnly.opaque = t.opaque;
            item.step.style = styleOf(styleOnly);
            item.step.x = t.x;
            item.step.y = t.top;
            item.step.h = t.height;
            item.step.w = t.bandWidth;
            item.anchor = t.anchor;
        }
        items.push_back(std::move(item));
    }
    return items;
}

int PreparedReport::addBand(const BandDrawing& drawing) {
    m_bands.push_back(itemsOf(drawing));
    return static_cast<int>(m_bands.size() - 1);
}

void PreparedReport::setBand(int band, const BandDrawing& drawing) {
    std::vector<Item> items = itemsOf(drawing);
    std::vector<Item>& old = m_bands.at(static_cast<std::size_t>(band));
    // The placements' values follow the slots: only the fixed steps may change.
    const auto slotCount = [](const std::vector<Item>& v) {
        return std::count_if(v.begin(), v.end(),
                             [](const Item& i) { return i.anchor != Anchor{}; });
    };
    if (slotCount(items) != slotCount(old))
        throw EInvalidOperation(QStringLiteral("A band's changing texts cannot be redrawn"));
    old = std::move(items);
}

void PreparedReport::clearForReuse() {
    for (Page& p : m_pages) {
        p.placements.clear();
        p.values.clear();
        p.texts.clear();
        p.loose.clear();
        m_spare.pages.push_back(std::move(p));
    }
    m_pages.clear();
    m_styles.clear();
    m_bands.clear();
    m_margins.reset();
    m_paper = QSizeF(297, 210);
}

void PreparedReport::addPage() {
    if (!m_spare.pages.empty()) {
        m_pages.push_back(std::move(m_spare.pages.back()));
        m_spare.pages.pop_back();
        return;
    }
    Page page;
    if (!m_pages.empty()) {
        // Pages of a report look alike: the previous one tells what to reserve.
        const Page& prev = m_pages.back();
        page.placements.reserve(prev.placements.size());
        page.values.reserve(prev.values.size());
        page.texts.reserve(prev.texts.size() + prev.texts.size() / 8);
    }
    m_pages.push_back(std::move(page));
}

PreparedReport::Page& PreparedReport::lastPage() {
    if (m_pages.empty())
        throw EInvalidOperation(QStringLiteral("The report has no page to draw on"));
    return m_pages.back();
}

void PreparedReport::placeBand(int band, QPointF origin) {
    lastPage().placements.push_back({static_cast<std::uint32_t>(band), origin.x(), origin.y()});
}

bool PreparedReport::addSlotText(const QString& text, double width) {
    std::string& texts = slotTexts();
    const std::size_t start = texts.size();
    appendUtf8(texts, text);
    if (commitSlotText(start, width))
        return true;
    texts.resize(start);
    return false;
}

bool PreparedReport::commitSlotUnits(std::int64_t units) {
    if (units < 0 || units >= kOwnStep)
        return false;
    Page& page = lastPage();
    page.values.push_back(
        {static_cast<std::uint32_t>(page.texts.size()), static_cast<std::uint32_t>(units)});
    return true;
}

std::string& PreparedReport::slotTexts() {
    return lastPage().texts;
}

bool PreparedReport::commitSlotText(std::size_t start, double width) {
    Page& page = lastPage();
    // A multiplication, not a division, per text: the nearest whole number is the same, and
    // the test against widthOf below keeps only exact widths.
    constexpr double kUnitsPerMm = 64.0 / FontMeasure::kMmPerUnit;
    const double units = width * kUnitsPerMm;
    // std::lround would be a library call per text; the range is checked first.
    if (!(units >= 0 && units < kOwnStep) || start > page.texts.size())
        return false;
    const auto whole = static_cast<std::uint32_t>(units + 0.5);
    if (widthOf(whole) != width)
        return false;  // not a measured width: the caller records a step of its own
    page.values.push_back({static_cast<std::uint32_t>(page.texts.size()), whole});
    return true;
}

void PreparedReport::addSlotNothing() {
    Page& page = lastPage();
    page.values.push_back({static_cast<std::uint32_t>(page.texts.size()), kNothing});
}

void PreparedReport::addSlotStep(const DrawOp& op) {
    Page& page = lastPage();
    page.values.push_back({static_cast<std::uint32_t>(page.texts.size()), kOwnStep});
    page.loose.push_back({stepOf(op), op.text});
}

void PreparedReport::addStep(const DrawOp& op) {
    Page& page = lastPage();
    page.placements.push_back({kLoose, 0, 0});
    page.loose.push_back({stepOf(op), op.text});
}

std::size_t PreparedReport::pageBytes() const {
    std::size_t bytes = m_pages.capacity() * sizeof(Page);
    for (const Page& p : m_pages) {
        bytes += p.placements.capacity() * sizeof(Placement) + p.values.capacity() * sizeof(Value) +
                 p.texts.capacity() + p.loose.capacity() * sizeof(Loose);
        for (const Loose& l : p.loose) bytes += static_cast<std::size_t>(l.text.capacity()) * 2;
    }
    return bytes;
}

// ---- replay

PageOps PreparedReport::page(int index) const {
    PageOps ops;
    forEachStep(index, [&](const Step& s, const QString& text) {
        const Style& style = m_styles[s.style];
        DrawOp op;
        op.kind = s.kind;
        op.rect = QRectF(s.x, s.y, s.w, s.h);
        if (s.kind == DrawOp::Kind::Text) {
            op.text = text;
            op.font = style.font;
            op.align = style.align;
            op.opaque = style.opaque;
        } else {
            op.penWidth = style.penWidth;
            op.fill = style.fill;
        }
        ops.push_back(std::move(op));
    });
    return ops;
}

void PreparedReport::paintPage(QPainter& painter, int index) const {
    const QPaintDevice* dev = painter.device();
    const double sx = dev->logicalDpiX() / kMmPerInch;
    const double sy = dev->logicalDpiY() / kMmPerInch;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    int font = -1;  // the style whose font the painter holds
    forEachStep(index, [&](const Step& s, const QString& text) {
        const Style& style = m_styles[s.style];
        const QRectF r(s.x * sx, s.y * sy, s.w * sx, s.h * sy);
        switch (s.kind) {
            case DrawOp::Kind::Text: {
                // The white box covers only the pixels wholly inside it: rounded outwards at a
                // small scale, it wiped out the row's rule just below or above the text.
                if (style.opaque) {
                    const QPoint from(int(std::ceil(r.left())), int(std::ceil(r.top())));
                    const QPoint to(int(std::floor(r.right())), int(std::floor(r.bottom())));
                    if (to.x() > from.x() && to.y() > from.y())
                        painter.fillRect(QRect(from, QSize(to.x() - from.x(), to.y() - from.y())),
                                         Qt::white);
                }
                if (font != s.style) {
                    painter.setFont(style.font);
                    font = s.style;
                }
                painter.setPen(Qt::black);
                painter.drawText(
                    r, int(flagsOf(style.align)) | Qt::TextDontClip | Qt::TextSingleLine, text);
                break;
            }
            case DrawOp::Kind::Rect: {
                if (style.penWidth <= 0 && !style.fill.isValid())
                    break;
                const double penPx = style.penWidth > 0 ? std::max(1.0, style.penWidth * sx) : 0.0;
                const QRectF outer = r.adjusted(-penPx / 2, -penPx / 2, penPx / 2, penPx / 2);
                if (outer.width() < 3 || outer.height() < 3) {
                    // A rule a few pixels thick or less: one solid block in whole pixels, its
                    // size rounded rather than both edges, so that every rule of a zoom has
                    // the same thickness and none vanishes between pixel rows.
                    const QRect block(int(std::lround(outer.left())), int(std::lround(outer.top())),
                                      std::max(1, int(std::lround(outer.width()))),
                                      std::max(1, int(std::lround(outer.height()))));
                    painter.fillRect(block, style.penWidth > 0 ? QColor(Qt::black) : style.fill);
                    break;
                }
                QPen pen(Qt::black);
                pen.setWidthF(penPx);
                painter.setPen(style.penWidth > 0 ? pen : QPen(Qt::NoPen));
                painter.setBrush(style.fill.isValid() ? QBrush(style.fill) : QBrush(Qt::NoBrush));
                painter.drawRect(r);
                break;
            }
            case DrawOp::Kind::Line: {
                QPen pen(Qt::black);
                pen.setWidthF(std::max(1.0, style.penWidth * sx));
                painter.setPen(pen);
                painter.drawLine(r.topLeft(), r.bottomLeft());
                break;
            }
        }
    });
    painter.restore();
}

bool operator==(const DrawOp& a, const DrawOp& b) {
    return a.kind == b.kind && a.rect == b.rect && a.text == b.text && a.font == b.font &&
           a.align == b.align && a.opaque == b.opaque && a.penWidth == b.penWidth &&
           a.fill == b.fill;
}

bool operator==(const PreparedReport& a, const PreparedReport& b) {
    return a.m_paper == b.m_paper && a.m_margins == b.m_margins && a.m_styles == b.m_styles &&
           a.m_bands == b.m_bands && a.m_pages == b.m_pages;
}

}  // namespace report
