// Recorded pages of a prepared report: replay onto a device and the report file format.
// The file is a QDataStream: magic, format version, paper size, margins (from version 2),
// then every page's ops.
#include "framework/report/prepared.h"

#include "framework/text/errors.h"

#include <QDataStream>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace report {

namespace {

constexpr quint32 kMagic = 0x45504e52;  // "EPNR"
constexpr quint16 kVersion = 2;         // 2 adds the margins
constexpr double kMmPerInch = 25.4;
constexpr int kMeasureDpi = 1200;

const QPaintDevice& measuringDevice() {
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_ARGB32);
        const int dpm = qRound(kMeasureDpi / 0.0254);
        img.setDotsPerMeterX(dpm);
        img.setDotsPerMeterY(dpm);
        return img;
    }();
    return device;
}

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

}  // namespace

QSizeF measureText(const QFont& font, const QString& text) {
    // Layout measures every cell of every row: keep one metrics object per font (a report
    // uses only a handful).
    static std::vector<std::pair<QFont, QFontMetricsF>> cache;
    auto it =
        std::find_if(cache.begin(), cache.end(), [&](const auto& e) { return e.first == font; });
    if (it == cache.end()) {
        cache.emplace_back(font, QFontMetricsF(font, &measuringDevice()));
        it = cache.end() - 1;
    }
    const QFontMetricsF& fm = it->second;
    const double toMm = kMmPerInch / kMeasureDpi;
    return {fm.horizontalAdvance(text) * toMm, fm.height() * toMm};
}

const QFont& noFont() {
    static const QFont font;
    return font;
}

PageOps& PreparedReport::addPage() {
    m_pages.emplace_back();
    m_pages.back().reserve(m_pages.size() > 1 ? m_pages[m_pages.size() - 2].size() : 64);
    return m_pages.back();
}

void PreparedReport::paintPage(QPainter& painter, int index) const {
    const QPaintDevice* dev = painter.device();
    const double sx = dev->logicalDpiX() / kMmPerInch;
    const double sy = dev->logicalDpiY() / kMmPerInch;
    auto toDevice = [&](const QRectF& mm) {
        return QRectF(mm.left() * sx, mm.top() * sy, mm.width() * sx, mm.height() * sy);
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const DrawOp& op : page(index)) {
        const QRectF r = toDevice(op.rect);
        switch (op.kind) {
            case DrawOp::Kind::Text: {
                // The white box covers only the pixels wholly inside it: rounded outwards at a
                // small scale, it wiped out the row's rule just below or above the text.
                if (op.opaque) {
                    const QPoint from(int(std::ceil(r.left())), int(std::ceil(r.top())));
                    const QPoint to(int(std::floor(r.right())), int(std::floor(r.bottom())));
                    if (to.x() > from.x() && to.y() > from.y())
                        painter.fillRect(QRect(from, QSize(to.x() - from.x(), to.y() - from.y())),
                                         Qt::white);
                }
                painter.setFont(op.font);
                painter.setPen(Qt::black);
                painter.drawText(r, int(flagsOf(op.align)) | Qt::TextDontClip | Qt::TextSingleLine,
                                 op.text);
                break;
            }
            case DrawOp::Kind::Rect: {
                if (op.penWidth <= 0 && !op.fill.isValid())
                    break;
                const double penPx = op.penWidth > 0 ? std::max(1.0, op.penWidth * sx) : 0.0;
                const QRectF outer = r.adjusted(-penPx / 2, -penPx / 2, penPx / 2, penPx / 2);
                if (outer.width() < 3 || outer.height() < 3) {
                    // A rule a few pixels thick or less: one solid block in whole pixels, its
                    // size rounded rather than both edges, so that every rule of a zoom has
                    // the same thickness and none vanishes between pixel rows.
                    const QRect block(int(std::lround(outer.left())), int(std::lround(outer.top())),
                                      std::max(1, int(std::lround(outer.width()))),
                                      std::max(1, int(std::lround(outer.height()))));
                    painter.fillRect(block, op.penWidth > 0 ? QColor(Qt::black) : op.fill);
                    break;
                }
                QPen pen(Qt::black);
                pen.setWidthF(penPx);
                painter.setPen(op.penWidth > 0 ? pen : QPen(Qt::NoPen));
                painter.setBrush(op.fill.isValid() ? QBrush(op.fill) : QBrush(Qt::NoBrush));
                painter.drawRect(r);
                break;
            }
            case DrawOp::Kind::Line: {
                QPen pen(Qt::black);
                pen.setWidthF(std::max(1.0, op.penWidth * sx));
                painter.setPen(pen);
                painter.drawLine(r.topLeft(), r.bottomLeft());
                break;
            }
        }
    }
    painter.restore();
}

void PreparedReport::save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInvalidOperation(
            QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_4);
    out << kMagic << kVersion << m_paper << bool(m_margins) << m_margins.value_or(QMarginsF())
        << qint32(m_pages.size());
    for (const PageOps& ops : m_pages) {
        out << qint32(ops.size());
        for (const DrawOp& op : ops) {
            out << quint8(op.kind) << op.rect << op.text << op.font << quint8(op.align) << op.opaque
                << op.penWidth << op.fill;
        }
    }
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
    qint32 pages = 0;
    in >> rep.m_paper;
    if (version >= 2) {
        bool known = false;
        QMarginsF margins;
        in >> known >> margins;
        if (known)
            rep.m_margins = margins;
    }
    in >> pages;
    if (in.status() != QDataStream::Ok || pages < 0)
        throw notReport();
    for (qint32 p = 0; p < pages; ++p) {
        qint32 count = 0;
        in >> count;
        if (in.status() != QDataStream::Ok || count < 0)
            throw notReport();
        PageOps& ops = rep.addPage();
        for (qint32 i = 0; i < count; ++i) {
            DrawOp op;
            quint8 kind = 0;
            quint8 align = 0;
            in >> kind >> op.rect >> op.text >> op.font >> align >> op.opaque >> op.penWidth >>
                op.fill;
            if (in.status() != QDataStream::Ok || kind > quint8(DrawOp::Kind::Line) ||
                align > quint8(TextAlign::Center))
                throw notReport();
            op.kind = DrawOp::Kind(kind);
            op.align = TextAlign(align);
            ops.push_back(std::move(op));
        }
    }
    return rep;
}

bool operator==(const DrawOp& a, const DrawOp& b) {
    return a.kind == b.kind && a.rect == b.rect && a.text == b.text && a.font == b.font &&
           a.align == b.align && a.opaque == b.opaque && a.penWidth == b.penWidth &&
           a.fill == b.fill;
}

bool operator==(const PreparedReport& a, const PreparedReport& b) {
    return a.m_paper == b.m_paper && a.m_margins == b.m_margins && a.m_pages == b.m_pages;
}

}  // namespace report
