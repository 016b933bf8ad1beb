// Page breaking on numbers: the statement's band heights on A4 landscape with 10 mm top and
// bottom margins, and a few shapes of report around them.
#include "framework/report/pageflow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using report::BandKind;
using report::PageFlow;
using report::Placement;

namespace {

const report::BandHeights kStatement{22.75, 5.29, 5.29, 5.29, 5.29};
constexpr double kBody = 190;

// Lays out `rows` rows (0: the empty result) and returns every placement.
std::vector<Placement> run(int rows, report::BandHeights h = kStatement,
                           report::FlowOptions opt = {}) {
    PageFlow flow(kBody, h, opt);
    std::vector<Placement> all;
    auto take = [&](std::vector<Placement> p) { all.insert(all.end(), p.begin(), p.end()); };
    take(flow.begin());
    for (int i = 0; i < rows; ++i) take(flow.detail(true));
    if (rows == 0)
        take(flow.detail(false));
    take(flow.summary());
    take(flow.end());
    return all;
}

// One letter per band on a page: H header, C column header, D detail, S summary, F footer.
std::string pageShape(const std::vector<Placement>& all, int page) {
    std::string s;
    for (const Placement& p : all) {
        if (p.page != page)
            continue;
        switch (p.kind) {
            case BandKind::PageHeader:
                s += 'H';
                break;
            case BandKind::ColumnHeader:
                s += 'C';
                break;
            case BandKind::Detail:
                s += 'D';
                break;
            case BandKind::Summary:
                s += 'S';
                break;
            case BandKind::PageFooter:
                s += 'F';
                break;
        }
    }
    return s;
}

int pages(const std::vector<Placement>& all) {
    return all.empty() ? 0 : all.back().page;
}

struct Case {
    const char* name;
    int rows;
    int pages;
    std::string lastPage;
};

class StatementFlow : public ::testing::TestWithParam<Case> {};

TEST_P(StatementFlow, PagesAndLastPage) {
    const Case& c = GetParam();
    const auto all = run(c.rows);
    EXPECT_EQ(pages(all), c.pages);
    EXPECT_EQ(pageShape(all, c.pages), c.lastPage);
}

INSTANTIATE_TEST_SUITE_P(Rows, StatementFlow,
                         ::testing::Values(
                             // The empty result: its one row comes without a column header.
                             Case{"Empty", 0, 1, "HDSF"}, Case{"OneRow", 1, 1, "HCDSF"},
                             Case{"TwentyEightFitWithTotals", 28, 1,
                                  "HC" + std::string(28, 'D') + "SF"},
                             // 29 rows fill the page; the totals move to a page of their own.
                             Case{"TwentyNine", 29, 2, "HCSF"}, Case{"Thirty", 30, 2, "HCDSF"},
                             Case{"FiftyEight", 58, 3, "HCSF"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PageFlow, FullPageHoldsTwentyNineRowsAndFooterSitsOnBottomMargin) {
    const auto all = run(29);
    EXPECT_EQ(pageShape(all, 1), "HC" + std::string(29, 'D') + "F");
    for (const Placement& p : all) {
        if (p.kind == BandKind::PageFooter) {
            EXPECT_NEAR(p.top, kBody - 5.29, 1e-9);
        }
    }
    // Rows stack directly below the column header, one below the other.
    std::vector<double> tops;
    for (const Placement& p : all) {
        if (p.page == 1 && p.kind == BandKind::Detail)
            tops.push_back(p.top);
    }
    ASSERT_EQ(tops.size(), 29u);
    EXPECT_NEAR(tops.front(), 22.75 + 5.29, 1e-9);
    EXPECT_NEAR(tops.back(), 22.75 + 5.29 * 29, 1e-9);
}

TEST(PageFlow, SecondPageStartsWithHeaderAndColumnHeaderAtTheTop) {
    const auto all = run(40);
    std::vector<Placement> page2;
    for (const Placement& p : all) {
        if (p.page == 2)
            page2.push_back(p);
    }
    ASSERT_GE(page2.size(), 3u);
    EXPECT_EQ(page2[0].kind, BandKind::PageHeader);
    EXPECT_DOUBLE_EQ(page2[0].top, 0);
    EXPECT_EQ(page2[1].kind, BandKind::ColumnHeader);
    EXPECT_NEAR(page2[1].top, 22.75, 1e-9);
    EXPECT_EQ(page2[2].kind, BandKind::Detail);
    EXPECT_EQ(pageShape(all, 2), "HC" + std::string(11, 'D') + "SF");
}

TEST(PageFlow, BandTallerThanAPagePrintsOnceInsteadOfBreakingForever) {
    report::BandHeights h = kStatement;
    h.detail = 500;
    const auto all = run(2, h);
    EXPECT_EQ(pages(all), 3);
    EXPECT_EQ(pageShape(all, 1), "HCDF");
    EXPECT_EQ(pageShape(all, 2), "HCDF");
    EXPECT_EQ(pageShape(all, 3), "HCSF");
}

TEST(PageFlow, OptionsLeaveOutFirstHeaderAndLastFooter) {
    const auto all = run(1, kStatement, {false, false});
    EXPECT_EQ(pageShape(all, 1), "CDS");
}

TEST(PageFlow, ReportWithoutColumnHeaderOrSummary) {
    report::BandHeights h = kStatement;
    h.columnHeader = 0;
    h.summary = 0;
    const auto all = run(30, h);
    // Without the column header a page holds one row more.
    EXPECT_EQ(pageShape(all, 1), "H" + std::string(30, 'D') + "F");
    EXPECT_EQ(pages(all), 1);
}

}  // namespace
