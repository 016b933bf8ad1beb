// Page breaking of a banded report, on numbers only: which band goes on which page at what
// height. The report feeds it one band at a time and paints each placement it hands back;
// nothing here knows about datasets, fonts or devices.
#pragma once

#include <vector>

namespace report {

enum class BandKind { PageHeader, ColumnHeader, Detail, Summary, PageFooter };

// Band heights in millimetres; 0 means the report has no such band.
struct BandHeights {
    double pageHeader = 0;
    double columnHeader = 0;
    double detail = 0;
    double summary = 0;
    double pageFooter = 0;
};

struct FlowOptions {
    bool headerOnFirstPage = true;
    bool footerOnLastPage = true;
};

struct Placement {
    BandKind kind;
    int page;    // 1-based
    double top;  // millimetres below the top margin
};

class PageFlow {
public:
    // bodyHeight: paper height less the top and bottom margins.
    PageFlow(double bodyHeight, BandHeights heights, FlowOptions options = {});

    // Each call returns the placements it added, in print order (page footer and the
    // next page's header and column header included when the band breaks the page).
    std::vector<Placement> begin();
    // withRow false: the one empty row of an empty result, printed without a column header.
    std::vector<Placement> detail(bool withRow = true);
    std::vector<Placement> summary();
    std::vector<Placement> end();

    int pageCount() const { return m_page; }
    double position() const { return m_y; }

private:
    void openPage(std::vector<Placement>& out, bool withColumnHeader);
    void closePage(std::vector<Placement>& out);
    void place(std::vector<Placement>& out, BandKind kind, double height);
    // Breaks the page when `height` no longer fits above the footer's space.
    void ensureRoom(std::vector<Placement>& out, double height);

    double m_body;
    BandHeights m_h;
    FlowOptions m_opt;
    int m_page = 0;
    double m_y = 0;
    bool m_columnHeaderPending = false;  // first page: printed with the first row
    bool m_pageHasContent = false;       // a detail or summary band on this page
};

}  // namespace report
