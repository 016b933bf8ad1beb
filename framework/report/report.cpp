// Laying a banded report out: the page flow decides where each band goes, the bands record
// their elements there, and the sums take every row's values just before its detail band.
#include "framework/report/report.h"

#include "framework/db/dataset.h"
#include "framework/report/preview.h"
#include "framework/text/errors.h"

namespace report {

Report::Report(QObject* parent, const QString& name) : QObject(parent) {
    setObjectName(name);
}

Report::~Report() = default;

Band* Report::band(BandKind kind) const {
    for (Band* b : m_bands) {
        if (b->kind() == kind)
            return b;
    }
    return nullptr;
}

const Report::BandRecord* Report::recordOf(BandKind kind) const {
    const Band* b = band(kind);
    for (const BandRecord& r : m_records)
        if (r.band == b)
            return &r;
    return nullptr;
}

BandDrawing Report::drawingOf(const Band& b) const {
    BandDrawing drawing;
    PageOps ops;
    RenderContext ctx;  // at the band's own origin
    ctx.bandWidth = m_page.printableWidth();
    ctx.dataSet = m_dataSet;
    ctx.out = &ops;
    for (const Element* e : b.elements()) {
        if (e->isStatic()) {
            ops.clear();
            e->render(ctx);
            for (DrawOp& op : ops) drawing.items.push_back({std::move(op), {}});
        } else if (const auto* t = dynamic_cast<const TextElement*>(e)) {
            drawing.items.push_back({std::nullopt, t->slot(ctx)});
        }
    }
    return drawing;
}

void Report::emitBands(const std::vector<Placement>& placements, bool rowBand) {
    for (const Placement& p : placements) {
        while (m_prepared.pageCount() < p.page) m_prepared.addPage();
        const BandRecord* r = recordOf(p.kind);
        if (!r)
            continue;
        RenderContext ctx;
        ctx.origin = QPointF(m_page.margins.left(), m_page.margins.top() + p.top);
        ctx.bandWidth = m_page.printableWidth();
        ctx.page = p.page;
        // Only the detail band of a real row shows field values; the empty result's row and
        // the bands around a page break print without one.
        ctx.hasRow = rowBand && p.kind == BandKind::Detail;
        ctx.dataSet = m_dataSet;
        m_prepared.placeBand(r->drawing, ctx.origin);
        for (const TextElement* t : r->changing) {
            // The text goes straight into the page's text bytes; it is taken out again only
            // when it needs a step of its own (a smaller font, a width not measured).
            std::string& texts = m_prepared.slotTexts();
            const std::size_t start = texts.size();
            t->appendText(ctx, texts);
            const std::string_view s(texts.data() + start, texts.size() - start);
            // Most texts are figures in their own font and box: their width in whole units,
            // exactly as width() gives it, is all there is to record.
            if (const std::int64_t units = t->measure().additiveUnits(s);
                units >= 0 && !s.empty() && t->fitsAsItIs(PreparedReport::widthOfUnits(units)) &&
                m_prepared.commitSlotUnits(units))
                continue;
            const TextBox box = t->place(ctx, s, t->measure().width(s));
            if (box.empty) {
                texts.resize(start);
                m_prepared.addSlotNothing();
            } else if (box.fitted || !m_prepared.commitSlotText(start, box.rect.width())) {
                DrawOp op;
                op.rect = box.rect;
                op.text = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
                op.font = box.drawnFont();
                op.align = box.align;
                op.opaque = !t->transparent();
                texts.resize(start);
                m_prepared.addSlotStep(op);
            }
        }
    }
}

void Report::Prepare() {
    m_prepared.clearForReuse();
    m_records.clear();
    m_prepared.setPaperSize(m_page.printedSize());
    m_prepared.setMargins(m_page.margins);
    if (!m_dataSet)
        throw EInvalidOperation(QStringLiteral("Report '%1' has no dataset").arg(objectName()));
    if (!m_dataSet->Active())
        (void)m_dataSet->RecordCount();  // raises the dataset layer's closed-dataset error

    // Elements let go of what they resolved for the run however it ends.
    struct RunEnd {
        const std::vector<Band*>& bands;
        ~RunEnd() {
            for (Band* b : bands)
                for (Element* e : b->elements()) e->endRun();
        }
    } runEnd{m_bands};
    std::vector<Expr*> sums;
    for (Band* b : m_bands) {
        BandRecord record;
        record.band = b;
        for (Element* e : b->elements()) {
            e->startRun(*m_dataSet);
            if (auto* x = dynamic_cast<Expr*>(e))
                sums.push_back(x);
            if (!e->isStatic())
                if (auto* t = dynamic_cast<TextElement*>(e))
                    record.changing.push_back(t);
        }
        record.drawing = m_prepared.addBand(drawingOf(*b));
        m_records.push_back(std::move(record));
    }

    auto height = [&](BandKind k) {
        const Band* b = band(k);
        return b ? b->height() : 0.0;
    };
    const BandHeights heights{height(BandKind::PageHeader), height(BandKind::ColumnHeader),
                              height(BandKind::Detail), height(BandKind::Summary),
                              height(BandKind::PageFooter)};
    PageFlow flow(m_page.bodyHeight(), heights,
                  {m_options.firstPageHeader, m_options.lastPageFooter});

    m_dataSet->First();
    if (m_dataSet->Eof() && !m_options.printIfEmpty) {
        m_prepared = PreparedReport();
        m_prepared.setPaperSize(m_page.printedSize());
        m_prepared.setMargins(m_page.margins);
        m_records.clear();
        return;
    }
    emitBands(flow.begin(), false);
    bool anyRow = false;
    while (!m_dataSet->Eof()) {
        anyRow = true;
        for (Expr* x : sums) x->accumulate(*m_dataSet);
        emitBands(flow.detail(true), true);
        m_dataSet->Next();
    }
    if (!anyRow)
        emitBands(flow.detail(false), false);
    emitBands(flow.summary(), false);
    emitBands(flow.end(), false);
}

void Report::Relayout() {
    if (m_records.empty()) {
        Prepare();
        return;
    }
    for (const BandRecord& r : m_records) m_prepared.setBand(r.drawing, drawingOf(*r.band));
}

void Report::Preview(const std::function<void(report::Preview&)>& onShown) {
    Prepare();
    ShowPreview(onShown);
}

void Report::ShowPreview(const std::function<void(report::Preview&)>& onShown) {
    report::Preview window(m_prepared);
    // The window closes when the dataset or the report goes away: that is the application
    // being torn down under an open preview, and the run waiting on it must end.
    auto closeWindow = [&window] { window.close(); };
    QObject::connect(m_dataSet, &QObject::destroyed, &window, closeWindow);
    QObject::connect(this, &QObject::destroyed, &window, closeWindow);
    window.exec(onShown);
}

}  // namespace report
