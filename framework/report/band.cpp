// A band paints its elements in the order they were added.
#include "framework/report/band.h"

#include "framework/report/report.h"

namespace report {

Band::Band(Report* report, const QString& name, BandKind kind, double height)
    : QObject(report), m_report(report), m_kind(kind), m_height(height) {
    setObjectName(name);
    if (report)
        report->addBand(this);
}

void Band::render(const RenderContext& ctx) const {
    for (const Element* e : m_elements) e->render(ctx);
}

}  // namespace report
