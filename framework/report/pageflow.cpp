// Page breaking of a banded report: the page header opens every page, the column header
// follows it (on the first page only once the first row comes), the footer sits on the
// bottom margin, and a band that does not fit above the footer moves to a new page.
#include "framework/report/pageflow.h"

namespace report {

namespace {
// Heights are sums of two-decimal millimetres; compare with a little slack so that a band
// ending exactly on the footer still fits.
constexpr double kSlack = 1e-6;
}  // namespace

PageFlow::PageFlow(double bodyHeight, BandHeights heights, FlowOptions options)
    : m_body(bodyHeight), m_h(heights), m_opt(options) {}

std::vector<Placement> PageFlow::begin() {
    std::vector<Placement> out;
    m_page = 0;
    openPage(out, false);
    m_columnHeaderPending = m_h.columnHeader > 0;
    return out;
}

std::vector<Placement> PageFlow::detail(bool withRow) {
    std::vector<Placement> out;
    if (withRow && m_columnHeaderPending) {
        // The column header and the first row stay together.
        ensureRoom(out, m_h.columnHeader + m_h.detail);
        if (m_columnHeaderPending) {
            place(out, BandKind::ColumnHeader, m_h.columnHeader);
            m_columnHeaderPending = false;
        }
    }
    ensureRoom(out, m_h.detail);
    place(out, BandKind::Detail, m_h.detail);
    return out;
}

std::vector<Placement> PageFlow::summary() {
    std::vector<Placement> out;
    if (m_h.summary > 0) {
        ensureRoom(out, m_h.summary);
        place(out, BandKind::Summary, m_h.summary);
    }
    return out;
}

std::vector<Placement> PageFlow::end() {
    std::vector<Placement> out;
    if (m_opt.footerOnLastPage)
        closePage(out);
    return out;
}

void PageFlow::openPage(std::vector<Placement>& out, bool withColumnHeader) {
    ++m_page;
    m_y = 0;
    m_pageHasContent = false;
    if (m_h.pageHeader > 0 && (m_page > 1 || m_opt.headerOnFirstPage))
        place(out, BandKind::PageHeader, m_h.pageHeader);
    if (withColumnHeader && m_h.columnHeader > 0)
        place(out, BandKind::ColumnHeader, m_h.columnHeader);
}

void PageFlow::closePage(std::vector<Placement>& out) {
    if (m_h.pageFooter > 0)
        out.push_back({BandKind::PageFooter, m_page, m_body - m_h.pageFooter});
}

void PageFlow::place(std::vector<Placement>& out, BandKind kind, double height) {
    out.push_back({kind, m_page, m_y});
    m_y += height;
    if (kind == BandKind::Detail || kind == BandKind::Summary)
        m_pageHasContent = true;
}

void PageFlow::ensureRoom(std::vector<Placement>& out, double height) {
    const double limit = m_body - m_h.pageFooter;
    if (m_y + height <= limit + kSlack)
        return;
    // A band taller than an empty page prints there anyway instead of breaking forever.
    if (!m_pageHasContent)
        return;
    closePage(out);
    openPage(out, true);
    m_columnHeaderPending = false;
}

}  // namespace report
