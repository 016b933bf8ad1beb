// Recorded pages of a prepared report: recording, replay onto a device and the report file.
// The file is a QDataStream: magic, format version, paper size, margins, then (from version 3)
// the recording zlib-compressed: styles, bands, pages. Versions 1 and 2 held every page's
// drawing steps one by one, each with its font; they still load.
#include "framework/report/prepared.h"

#include "framework/text/errors.h"

#include <QDataStream>
#include <QFile>
#include <QPaintDevice>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace report {

namespace {

constexpr quint32 kMagic = 0x45504e52;  // "EPNR"
constexpr quint16 kVersion = 3;         // 2 added the margins, 3 the compact recording
constexpr double kMmPerInch = 25.4;
// A recording expands at most this much when decompressed; more is no report of ours.
constexpr qint64 kMaxExpansion = 400;

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

void PreparedReport::addPage() {
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
    const double units = width / FontMeasure::kMmPerUnit * 64.0;
    if (!(units >= 0 && units < kOwnStep))
        return false;
    const auto whole = static_cast<std::uint32_t>(std::lround(units));
    if (widthOf(whole) != width)
        return false;  // not a measured width: the caller records a step of its own
    Page& page = lastPage();
    appendUtf8(page.texts, text);
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

// ---- file

namespace {

QDataStream& operator<<(QDataStream& out, const PreparedReport::Step& s) {
    return out << s.x << s.y << s.w << s.h << s.style << quint8(s.kind);
}

bool readStep(QDataStream& in, PreparedReport::Step& s) {
    quint8 kind = 0;
    in >> s.x >> s.y >> s.w >> s.h >> s.style >> kind;
    if (kind > quint8(DrawOp::Kind::Line))
        return false;
    s.kind = DrawOp::Kind(kind);
    return in.status() == QDataStream::Ok;
}

// Counts read from a file are checked against what could at most follow.
bool plausibleCount(QDataStream& in, qint64 count, qint64 bytesEach) {
    const QIODevice* dev = in.device();
    return count >= 0 && (dev == nullptr || count * bytesEach <= dev->bytesAvailable());
}

// Qt reads a font's list of families by reserving room for whatever count the bytes state
// (gigabytes for a damaged file), so the font's fields are walked first, as the stream
// version in use lays them out, and the count checked; then Qt reads the font itself.
bool readFont(QDataStream& in, QFont& font) {
    QIODevice* dev = in.device();
    const qint64 start = dev->pos();
    QString family;
    QString styleName;
    double pointSize = 0;
    qint32 pixelSize = 0;
    qint32 spacing = 0;
    quint8 byte = 0;
    quint16 word = 0;
    in >> family >> styleName >> pointSize >> pixelSize;
    in >> byte >> word >> word >> byte >> word >> byte;  // hint, strategy, weight, bits, stretch
    in >> spacing >> spacing >> byte >> byte;  // letter and word spacing, hinting, capitals
    quint32 families = 0;
    in >> families;
    if (in.status() != QDataStream::Ok || !plausibleCount(in, families, 4) || !dev->seek(start))
        return false;
    in >> font;
    return in.status() == QDataStream::Ok;
}

}  // namespace

void PreparedReport::writeBody(QDataStream& out) const {
    out << quint32(m_styles.size());
    for (const Style& s : m_styles)
        out << s.font << quint8(s.align) << s.opaque << s.penWidth << s.fill;
    out << quint32(m_bands.size());
    for (const auto& band : m_bands) {
        out << quint32(band.size());
        for (const Item& item : band) out << item.step << item.text << quint8(item.anchor);
    }
    out << quint32(m_pages.size());
    for (const Page& p : m_pages) {
        out << quint32(p.placements.size());
        for (const Placement& pl : p.placements) out << pl.band << pl.x << pl.y;
        out << quint32(p.values.size());
        for (const Value& v : p.values) out << v.textEnd << v.width;
        out << QByteArray::fromRawData(p.texts.data(), static_cast<qsizetype>(p.texts.size()));
        out << quint32(p.loose.size());
        for (const Loose& l : p.loose) out << l.step << l.text;
    }
}

bool PreparedReport::readBody(QDataStream& in) {
    quint32 count = 0;
    in >> count;
    if (!plausibleCount(in, count, 8) || count > 0xFFFF)
        return false;
    m_styles.resize(count);
    for (Style& s : m_styles) {
        quint8 align = 0;
        if (!readFont(in, s.font))
            return false;
        in >> align >> s.opaque >> s.penWidth >> s.fill;
        if (align > quint8(TextAlign::Center))
            return false;
        s.align = TextAlign(align);
    }
    in >> count;
    if (!plausibleCount(in, count, 4))
        return false;
    m_bands.resize(count);
    for (auto& band : m_bands) {
        in >> count;
        if (!plausibleCount(in, count, 36))
            return false;
        band.resize(count);
        for (Item& item : band) {
            quint8 anchor = 0;
            if (!readStep(in, item.step))
                return false;
            in >> item.text >> anchor;
            if (anchor > quint8(Anchor::BandCenter))
                return false;
            item.anchor = Anchor(anchor);
        }
    }
    in >> count;
    if (!plausibleCount(in, count, 16))
        return false;
    m_pages.resize(count);
    for (Page& p : m_pages) {
        in >> count;
        if (!plausibleCount(in, count, 20))
            return false;
        p.placements.resize(count);
        for (Placement& pl : p.placements) in >> pl.band >> pl.x >> pl.y;
        in >> count;
        if (!plausibleCount(in, count, 8))
            return false;
        p.values.resize(count);
        for (Value& v : p.values) in >> v.textEnd >> v.width;
        QByteArray texts;
        in >> texts;
        p.texts.assign(texts.constData(), static_cast<std::size_t>(texts.size()));
        in >> count;
        if (!plausibleCount(in, count, 36))
            return false;
        p.loose.resize(count);
        for (Loose& l : p.loose) {
            if (!readStep(in, l.step))
                return false;
            in >> l.text;
        }
        if (in.status() != QDataStream::Ok)
            return false;
    }
    return in.status() == QDataStream::Ok && in.atEnd();
}

namespace {

// Geometry a report of ours can have, in mm: a file with coordinates past this (or not
// finite) is no report, and painting it would overflow the painter's device coordinates.
constexpr double kMaxMm = 100000;

bool plausibleMm(double v) {
    return std::isfinite(v) && std::abs(v) <= kMaxMm;
}

bool plausibleStep(const PreparedReport::Step& s) {
    return plausibleMm(s.x) && plausibleMm(s.y) && plausibleMm(s.w) && plausibleMm(s.h);
}

}  // namespace

bool PreparedReport::consistent() const {
    if (!plausibleMm(m_paper.width()) || !plausibleMm(m_paper.height()))
        return false;
    if (m_margins && !(plausibleMm(m_margins->left()) && plausibleMm(m_margins->top()) &&
                       plausibleMm(m_margins->right()) && plausibleMm(m_margins->bottom())))
        return false;
    for (const Style& style : m_styles)
        if (!plausibleMm(style.penWidth))
            return false;
    for (const auto& band : m_bands)
        for (const Item& item : band)
            if (item.step.style >= m_styles.size() || !plausibleStep(item.step))
                return false;
    for (const Page& p : m_pages) {
        std::size_t values = 0;
        std::size_t loose = 0;
        for (const Placement& pl : p.placements) {
            if (!plausibleMm(pl.x) || !plausibleMm(pl.y))
                return false;
            if (pl.band == kLoose) {
                ++loose;
                continue;
            }
            if (pl.band >= m_bands.size())
                return false;
            for (const Item& item : m_bands[pl.band]) {
                if (item.anchor == Anchor{})
                    continue;
                if (values >= p.values.size())
                    return false;
                if (p.values[values++].width == kOwnStep)
                    ++loose;
            }
        }
        if (values != p.values.size() || loose != p.loose.size())
            return false;
        std::uint32_t end = 0;
        for (const Value& v : p.values) {
            if (v.textEnd < end || v.textEnd > p.texts.size())
                return false;
            end = v.textEnd;
        }
        for (const Loose& l : p.loose)
            if (l.step.style >= m_styles.size() || !plausibleStep(l.step))
                return false;
    }
    return true;
}

void PreparedReport::readV2(QDataStream& in, int pages) {
    for (int p = 0; p < pages; ++p) {
        qint32 count = 0;
        in >> count;
        if (in.status() != QDataStream::Ok || !plausibleCount(in, count, 8))
            throw EInvalidOperation(QString());
        addPage();
        for (qint32 i = 0; i < count; ++i) {
            DrawOp op;
            quint8 kind = 0;
            quint8 align = 0;
            in >> kind >> op.rect >> op.text;
            if (!readFont(in, op.font))
                throw EInvalidOperation(QString());
            in >> align >> op.opaque >> op.penWidth >> op.fill;
            if (in.status() != QDataStream::Ok || kind > quint8(DrawOp::Kind::Line) ||
                align > quint8(TextAlign::Center))
                throw EInvalidOperation(QString());
            op.kind = DrawOp::Kind(kind);
            op.align = TextAlign(align);
            addStep(op);
        }
    }
}

void PreparedReport::save(const QString& path) const {
    QByteArray body;
    {
        QDataStream out(&body, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        writeBody(out);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInvalidOperation(
            QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << kVersion << m_paper << bool(m_margins) << m_margins.value_or(QMarginsF())
        << qCompress(body, 6);
    if (out.status() != QDataStream::Ok || !file.commit())
        throw EInvalidOperation(
            QStringLiteral("Cannot write file \"%1\". %2").arg(path, file.errorString()));
}

PreparedReport PreparedReport::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidOperation(
            QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    const auto notReport = [&] {
        return EInvalidOperation(QStringLiteral("\"%1\" is not a saved report").arg(path));
    };
    quint32 magic = 0;
    quint16 version = 0;
    in >> magic >> version;
    if (magic != kMagic || version < 1 || version > kVersion)
        throw notReport();
    PreparedReport rep;
    in >> rep.m_paper;
    if (version >= 2) {
        bool known = false;
        QMarginsF margins;
        in >> known >> margins;
        if (known)
            rep.m_margins = margins;
    }
    if (in.status() != QDataStream::Ok)
        throw notReport();
    if (version < 3) {
        qint32 pages = 0;
        in >> pages;
        if (in.status() != QDataStream::Ok || !plausibleCount(in, pages, 4))
            throw notReport();
        try {
            rep.readV2(in, pages);
        } catch (const EInvalidOperation&) {
            throw notReport();
        }
        if (!rep.consistent())
            throw notReport();
        return rep;
    }
    QByteArray packed;
    in >> packed;
    // qUncompress trusts the size the data states; a hostile file must not make it allocate.
    if (in.status() != QDataStream::Ok || packed.size() < 4)
        throw notReport();
    const qint64 stated = (qint64(quint8(packed[0])) << 24) | (quint8(packed[1]) << 16) |
                          (quint8(packed[2]) << 8) | quint8(packed[3]);
    if (stated > kMaxExpansion * packed.size())
        throw notReport();
    const QByteArray body = qUncompress(packed);
    if (body.isEmpty() && stated != 0)
        throw notReport();
    QDataStream bin(body);
    bin.setVersion(QDataStream::Qt_6_4);
    if (!rep.readBody(bin) || !rep.consistent())
        throw notReport();
    return rep;
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
