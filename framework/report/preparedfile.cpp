// The report file of a prepared report: a QDataStream of magic, format version, paper size,
// margins, then (from version 3) the recording zlib-compressed: styles, bands, pages.
// Versions 1 and 2 held every page's drawing steps one by one, each with its font; they
// still load. A load checks every count against the bytes there are and refuses what no
// report of ours has (a paper, font or position it could not print) before it is used.
#include "framework/io/atomicfile.h"
#include "framework/report/prepared.h"
#include "framework/text/errors.h"

#include <zlib.h>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>

namespace report {

namespace {

constexpr quint32 kMagic = 0x45504e52;  // "EPNR"
constexpr quint16 kVersion = 3;         // 2 added the margins, 3 the compact recording
// A recording expands at most this much when decompressed; more is no report of ours.
constexpr qint64 kMaxExpansion = 400;

}  // namespace

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

// Qt reads a colour's model byte straight into its enum; a byte no model has is undefined
// behaviour at the colour's first use. The byte is checked first, then Qt reads the colour.
bool readColor(QDataStream& in, QColor& color) {
    QIODevice* dev = in.device();
    const qint64 start = dev->pos();
    qint8 model = 0;
    in >> model;
    if (in.status() != QDataStream::Ok || model < QColor::Invalid || model > QColor::ExtendedRgb ||
        !dev->seek(start))
        return false;
    in >> color;
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
        in >> align >> s.opaque >> s.penWidth;
        if (!readColor(in, s.fill))
            return false;
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
// A page a printer or a screen can take, in mm: from a label to past A0.
constexpr double kMinPaperMm = 10;
constexpr double kMaxPaperMm = 1500;  // past A0's long side
constexpr double kMaxPenMm = 50;
// Font sizes a report prints in; past these a font has no glyphs to draw (Qt gives it no
// family) or sizes the PDF cannot state.
constexpr double kMinFontPt = 1;
constexpr double kMaxFontPt = 500;

bool plausibleMm(double v) {
    return std::isfinite(v) && std::abs(v) <= kMaxMm;
}

bool plausibleStep(const PreparedReport::Step& s) {
    return plausibleMm(s.x) && plausibleMm(s.y) && plausibleMm(s.w) && plausibleMm(s.h);
}

bool plausiblePaper(QSizeF paper, const std::optional<QMarginsF>& margins) {
    const auto side = [](double v) { return v >= kMinPaperMm && v <= kMaxPaperMm; };
    if (!side(paper.width()) || !side(paper.height()))
        return false;
    if (!margins)
        return true;
    const QMarginsF& m = *margins;
    for (double v : {m.left(), m.top(), m.right(), m.bottom()})
        if (!(v >= 0 && v <= kMaxPaperMm))
            return false;
    return m.left() + m.right() < paper.width() && m.top() + m.bottom() < paper.height();
}

bool plausibleFont(const QFont& f) {
    // A font has a point size or a pixel size and -1 for the other; a damaged file may give
    // both (Qt then draws the pixel size, even 0).
    const double pt = f.pixelSize() == -1    ? f.pointSizeF()
                      : f.pointSizeF() == -1 ? f.pixelSize() * 0.75
                                             : -1;
    if (!(pt >= kMinFontPt && pt <= kMaxFontPt))
        return false;
    const auto spacing = [](double v, QFont::SpacingType type) {
        // Percent of the normal spacing, or points added between letters.
        return std::isfinite(v) &&
               (type == QFont::PercentageSpacing ? v >= 0 && v <= 1000 : std::abs(v) <= 100);
    };
    return spacing(f.letterSpacing(), f.letterSpacingType()) &&
           spacing(f.wordSpacing(), QFont::AbsoluteSpacing) && f.stretch() >= 0 &&
           f.stretch() <= 4000;
}

}  // namespace

QString PreparedReport::refusal() const {
    const QString geometry = QStringLiteral("位置或尺寸超出纸张");
    const QString indexes = QStringLiteral("内容不完整");
    if (!plausiblePaper(m_paper, m_margins))
        return QStringLiteral("纸张或页边距不合理");
    for (const Style& style : m_styles) {
        if (!(style.penWidth >= 0 && style.penWidth <= kMaxPenMm))
            return QStringLiteral("线宽不合理");
        if (!plausibleFont(style.font))
            return QStringLiteral("字体大小或间距不合理");
    }
    for (const auto& band : m_bands) {
        for (const Item& item : band) {
            if (item.step.style >= m_styles.size())
                return indexes;
            if (!plausibleStep(item.step))
                return geometry;
        }
    }
    for (const Page& p : m_pages) {
        std::size_t values = 0;
        std::size_t loose = 0;
        for (const Placement& pl : p.placements) {
            if (!plausibleMm(pl.x) || !plausibleMm(pl.y))
                return geometry;
            if (pl.band == kLoose) {
                ++loose;
                continue;
            }
            if (pl.band >= m_bands.size())
                return indexes;
            for (const Item& item : m_bands[pl.band]) {
                if (item.anchor == Anchor{})
                    continue;
                if (values >= p.values.size())
                    return indexes;
                if (p.values[values++].width == kOwnStep)
                    ++loose;
            }
        }
        if (values != p.values.size() || loose != p.loose.size())
            return indexes;
        std::uint32_t end = 0;
        for (const Value& v : p.values) {
            if (v.textEnd < end || v.textEnd > p.texts.size())
                return indexes;
            if (v.width != kNothing && v.width != kOwnStep && !plausibleMm(widthOf(v.width)))
                return geometry;
            end = v.textEnd;
        }
        for (const Loose& l : p.loose) {
            if (l.step.style >= m_styles.size())
                return indexes;
            if (!plausibleStep(l.step))
                return geometry;
        }
    }
    return {};
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
            in >> align >> op.opaque >> op.penWidth;
            if (!readColor(in, op.fill))
                throw EInvalidOperation(QString());
            if (in.status() != QDataStream::Ok || kind > quint8(DrawOp::Kind::Line) ||
                align > quint8(TextAlign::Center))
                throw EInvalidOperation(QString());
            op.kind = DrawOp::Kind(kind);
            op.align = TextAlign(align);
            addStep(op);
        }
    }
}

namespace {

// qCompress's form (the length big-endian, then a zlib stream), deflated a piece at a time
// so that a long save can show how far it is and be cancelled.
QByteArray compressed(const QByteArray& body, const std::function<bool(int)>& progress) {
    constexpr qsizetype kPiece = 256 * 1024;
    z_stream z{};
    if (deflateInit(&z, 6) != Z_OK)
        throw EInvalidOperation(QStringLiteral("内存不足，无法保存报表"));
    QByteArray out(4 + static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(body.size()))),
                   Qt::Uninitialized);
    const quint32 n = static_cast<quint32>(body.size());
    out[0] = char(n >> 24);
    out[1] = char(n >> 16);
    out[2] = char(n >> 8);
    out[3] = char(n);
    z.next_out = reinterpret_cast<Bytef*>(out.data() + 4);
    z.avail_out = static_cast<uInt>(out.size() - 4);
    qsizetype at = 0;
    int result = Z_OK;
    do {
        const qsizetype piece = std::min(kPiece, body.size() - at);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()) + at);
        z.avail_in = static_cast<uInt>(piece);
        at += piece;
        result = deflate(&z, at == body.size() ? Z_FINISH : Z_NO_FLUSH);
        if (progress &&
            !progress(static_cast<int>(100 + 900 * at / std::max<qsizetype>(1, body.size())))) {
            deflateEnd(&z);
            throw EAbort();
        }
    } while (result == Z_OK);
    deflateEnd(&z);
    if (result != Z_STREAM_END)
        throw EInvalidOperation(QStringLiteral("无法压缩报表"));
    out.resize(4 + static_cast<qsizetype>(z.total_out));
    return out;
}

}  // namespace

void PreparedReport::save(const QString& path, const std::function<bool(int)>& progress) const {
    io::AtomicFile file(path);  // first: a folder that cannot be written fails before the work
    QByteArray body;
    {
        QDataStream out(&body, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        writeBody(out);
    }
    if (progress && !progress(100))
        throw EAbort();
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << kMagic << kVersion << m_paper << bool(m_margins) << m_margins.value_or(QMarginsF())
            << compressed(body, progress);
    }
    file.write(bytes);
    file.commit();
}

PreparedReport PreparedReport::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidOperation(
            QStringLiteral("无法打开文件“%1”：%2")
                .arg(QDir::toNativeSeparators(path), io::describeError(errno, io::Access::Read)));
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    const auto notReport = [&](const QString& why = QString()) {
        QString text =
            QStringLiteral("“%1”不是保存的报表文件，或已损坏").arg(QDir::toNativeSeparators(path));
        if (!why.isEmpty())
            text += QStringLiteral("（%1）").arg(why);
        return EInvalidOperation(text);
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
        if (const QString why = rep.refusal(); !why.isEmpty())
            throw notReport(why);
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
    if (!rep.readBody(bin))
        throw notReport(QStringLiteral("内容不完整"));
    if (const QString why = rep.refusal(); !why.isEmpty())
        throw notReport(why);
    return rep;
}

}  // namespace report
