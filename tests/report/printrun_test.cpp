// The statement's report through the print run: captions, page breaking with the real
// layout, the profit field by query option, totals, ruling, and what the run leaves behind.
#include "report/printrun.h"

#include "framework/db/datalink.h"
#include "framework/db/field.h"
#include "framework/text/errors.h"
#include "report/tfrmexportprn.h"
#include "statementdata.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

using report::DrawOp;
using report::PageOps;

namespace {

class PrintRun : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance();
        ds = stmt::makeResult();
    }
    void open() { ds->Open(); }
    // Paper y of the top of detail row i (0-based) on a page with a column header.
    static double rowTop(int i) { return stmt::kTop + stmt::kHeader + stmt::kRow * (i + 1); }
    static QString footerOf(const PageOps& page) {
        QString s;
        for (const auto* op : stmt::texts(page)) {
            if (op->rect.top() > 190)
                s += op->text + QLatin1Char(' ');
        }
        return s.trimmed();
    }
    std::unique_ptr<testsupport::MemDataSet> ds;
    QTemporaryDir tmp;
};

TEST_F(PrintRun, HeaderCaptionsComeFromTheLastRun) {
    stmt::addRows(*ds, 3);
    open();
    const auto rep = stmt::printAndCapture(
        *ds, {QStringLiteral("部门/出口一部"), QStringLiteral("2005年01月份至2005年03月份"), 0});
    ASSERT_EQ(rep.pageCount(), 1);
    const PageOps& p = rep.page(0);
    for (const char* s : {"出 口 盈 亏 表", "【2005年01月份至2005年03月份】",
                          "打印对象:部门/出口一部", "打印日期:2005/3/7", "共有数据:3笔"}) {
        EXPECT_NE(stmt::findText(p, QString::fromUtf8(s)), nullptr) << s;
    }
    // Fixed places of the header labels (band x = paper x - 5, band y = paper y - 10).
    const DrawOp* dept = stmt::findText(p, QStringLiteral("打印对象:部门/出口一部"));
    EXPECT_NEAR(dept->rect.left(), 5 + 1.59, 1e-6);
    EXPECT_NEAR(dept->rect.top(), 10 + 18.52, 1e-6);
    EXPECT_NEAR(stmt::findText(p, QStringLiteral("打印日期:2005/3/7"))->rect.left(), 5 + 60.59,
                1e-6);
    EXPECT_NEAR(stmt::findText(p, QStringLiteral("共有数据:3笔"))->rect.left(), 5 + 120.12, 1e-6);
    // Title and period are centred on the band's full width.
    for (const char* s : {"出 口 盈 亏 表", "【2005年01月份至2005年03月份】"}) {
        const DrawOp* op = stmt::findText(p, QString::fromUtf8(s));
        EXPECT_NEAR(op->rect.center().x(), 5 + 287.0 / 2, 1e-6) << s;
    }
    EXPECT_TRUE(stmt::findText(p, QStringLiteral("出 口 盈 亏 表"))->font.bold());
    EXPECT_EQ(footerOf(p), QStringLiteral("第 1 页 共 1 页"));
}

TEST_F(PrintRun, EmptyResultPrintsOneRuledEmptyRowWithoutColumnHeader) {
    open();
    const auto rep = stmt::printAndCapture(*ds);
    ASSERT_EQ(rep.pageCount(), 1);
    const PageOps& p = rep.page(0);
    EXPECT_NE(stmt::findText(p, QStringLiteral("共有数据:0笔")), nullptr);
    EXPECT_EQ(stmt::findText(p, QStringLiteral("运 编 号")), nullptr);
    EXPECT_EQ(stmt::findText(p, QStringLiteral("收入美元")), nullptr);
    // The empty row sits directly below the page header: its rules, but no texts.
    const double emptyRow = stmt::kTop + stmt::kHeader;
    EXPECT_EQ(stmt::verticalsOfBand(p, emptyRow).size(), 16u);
    EXPECT_TRUE(stmt::textsInBand(p, emptyRow).empty());
    // Then the totals row: the caption and eleven totals of 0.00.
    const auto totals = stmt::textsInBand(p, emptyRow + stmt::kRow);
    ASSERT_EQ(totals.size(), 12u);
    EXPECT_EQ(totals[0]->text, QStringLiteral("合   计"));
    for (std::size_t i = 1; i < totals.size(); ++i)
        EXPECT_EQ(totals[i]->text, QStringLiteral("0.00"));
    EXPECT_EQ(footerOf(p), QStringLiteral("第 1 页 共 1 页"));
}

struct BreakCase {
    int rows;
    int rowsOnPage2;
};

class PrintRunBreaks : public PrintRun, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(PrintRunBreaks, SecondPageHasHeaderColumnHeaderAndTotals) {
    stmt::addRows(*ds, GetParam().rows);
    open();
    const auto rep = stmt::printAndCapture(*ds);
    ASSERT_EQ(rep.pageCount(), 2);
    const PageOps& p1 = rep.page(0);
    const PageOps& p2 = rep.page(1);
    EXPECT_EQ(stmt::countText(p1, QStringLiteral("运 编 号")), 1);
    EXPECT_EQ(stmt::findText(p1, QStringLiteral("合   计")), nullptr);
    EXPECT_NE(stmt::findText(p1, QStringLiteral("S05-029")), nullptr);
    EXPECT_NE(stmt::findText(p2, QStringLiteral("出 口 盈 亏 表")), nullptr);
    EXPECT_NE(stmt::findText(p2, QStringLiteral("共有数据:%1笔").arg(GetParam().rows)), nullptr);
    EXPECT_EQ(stmt::countText(p2, QStringLiteral("运 编 号")), 1);
    EXPECT_EQ(stmt::countText(p2, QStringLiteral("1.5")), 9 * GetParam().rowsOnPage2);
    // Totals right below the last row on page 2; sums never reset at the page break.
    const auto totals = stmt::textsInBand(p2, rowTop(GetParam().rowsOnPage2));
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(totals[0]->text, QStringLiteral("合   计"));
    const QString sum = QString::number(1.5 * GetParam().rows, 'f', 2);
    EXPECT_EQ(totals[1]->text, sum);
    EXPECT_EQ(footerOf(p1), QStringLiteral("第 1 页 共 2 页"));
    EXPECT_EQ(footerOf(p2), QStringLiteral("第 2 页 共 2 页"));
}

INSTANTIATE_TEST_SUITE_P(FullFirstPage, PrintRunBreaks,
                         ::testing::Values(BreakCase{29, 0}, BreakCase{30, 1}));

struct ProfitCase {
    int option;
    const char* row;
    const char* total;
};

class PrintRunProfit : public PrintRun, public ::testing::WithParamInterface<ProfitCase> {};

TEST_P(PrintRunProfit, OptionPicksProfitFieldForRowAndTotal) {
    stmt::Row r;
    r.lirun = -12.5;
    r.lirunTrue = 7.125;
    stmt::addRow(*ds, r);
    open();
    const auto rep = stmt::printAndCapture(
        *ds, {QStringLiteral("全公司"), QStringLiteral("2005年03月份"), GetParam().option});
    const PageOps& p = rep.page(0);
    const DrawOp* row = stmt::findText(p, QString::fromUtf8(GetParam().row));
    const DrawOp* total = stmt::findText(p, QString::fromUtf8(GetParam().total));
    ASSERT_NE(row, nullptr);
    ASSERT_NE(total, nullptr);
    EXPECT_NEAR(row->rect.right(), 5 + 264.58, 1e-6);
    EXPECT_NEAR(row->rect.top(), rowTop(0) + 0.79, 1e-6);
    EXPECT_NEAR(total->rect.right(), 5 + 264.85, 1e-6);
    EXPECT_NEAR(total->rect.top(), rowTop(1) + 0.79, 1e-6);
    EXPECT_NE(stmt::findText(p, QStringLiteral("利 润")), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Options, PrintRunProfit,
                         ::testing::Values(ProfitCase{0, "-12.5", "-12.50"},
                                           ProfitCase{1, "7.125", "7.13"},
                                           ProfitCase{2, "7.125", "7.13"}));

TEST_F(PrintRun, TotalsSumEveryRowAndSkipNulls) {
    stmt::Row a;
    a.amount = 1234.5;
    a.shouhui = QVariant();
    stmt::Row b;
    b.amount = 0.255;
    b.shouhui = 10;
    stmt::addRow(*ds, a);
    stmt::addRow(*ds, b);
    open();
    const auto rep = stmt::printAndCapture(*ds);
    const PageOps& p = rep.page(0);
    // Nine amount totals of 1234.755 -> 1234.76 (half away from zero), net receipts 10.00.
    EXPECT_EQ(stmt::countText(p, QStringLiteral("1234.76")), 9);
    EXPECT_EQ(stmt::countText(p, QStringLiteral("10.00")), 1);
    // Amounts in general format, a null cell prints nothing.
    EXPECT_EQ(stmt::countText(p, QStringLiteral("1234.5")), 9);
    EXPECT_EQ(stmt::textsInBand(p, rowTop(0)).size(), 14u);
    EXPECT_EQ(stmt::textsInBand(p, rowTop(1)).size(), 15u);
}

// Before, a total of 9 digits or more ran over the rule on its left into its neighbour's
// column, or under that neighbour's white box; and one ending within 0.4 mm of that rule
// printed smaller though nothing was hidden.
TEST_F(PrintRun, WideTotalsPrintSmallerBetweenTheirColumnsRules) {
    stmt::Row r;
    r.amount = 61728394.56;  // nine amount columns total 123456789.12
    stmt::addRow(*ds, r);
    stmt::addRow(*ds, r);
    open();
    const auto rep = stmt::printAndCapture(*ds);
    const PageOps& p = rep.page(0);
    const auto totals = stmt::textsInBand(p, rowTop(2));
    ASSERT_EQ(totals.size(), 12u);
    const double leftRules[] = {49.87,  69.98,  89.83,  109.93, 129.78,
                                150.15, 170.26, 189.84, 209.95};
    int kept = 0, shrunk = 0;
    for (int i = 0; i < 9; ++i) {
        const DrawOp* t = totals[static_cast<std::size_t>(i + 1)];
        SCOPED_TRACE(i);
        EXPECT_EQ(t->text, QStringLiteral("123456789.12"));
        const double limit = stmt::kLeft + leftRules[i] + 0.1;  // the rule's ink stays clear
        EXPECT_GE(t->rect.left(), limit - 1e-9);
        const double room = t->rect.right() - limit;
        const double size = t->font.pointSizeF();
        QFont larger = t->font;
        larger.setPointSizeF(size + 0.5);
        if (size == 9.0) {
            ++kept;
        } else {
            ++shrunk;
            EXPECT_GE(size, 6.0);
            EXPECT_GT(report::measureText(larger, t->text).width(), room)
                << "half a point more fits";
        }
    }
    EXPECT_GT(kept, 0) << "totals that fit keep 9 pt";
    EXPECT_GT(shrunk, 0);
    EXPECT_NEAR(totals[2]->rect.right(), stmt::kLeft + 88.64, 1e-6) << "the right edge stays";
    // A total that fits, and the rows, keep 9 pt.
    EXPECT_EQ(totals.back()->font.pointSizeF(), 9.0);
    for (const auto* op : stmt::textsInBand(p, rowTop(0))) EXPECT_EQ(op->font.pointSizeF(), 9.0);
}

TEST_F(PrintRun, InnerRulesRunStraightThroughHeaderDetailAndSummary) {
    stmt::addRows(*ds, 2);
    open();
    const auto rep = stmt::printAndCapture(*ds);
    const PageOps& p = rep.page(0);
    const std::vector<double> inner(std::begin(TfrmExportPrn::kInnerRules),
                                    std::end(TfrmExportPrn::kInnerRules));
    const auto header = stmt::verticalsOfBand(p, rowTop(-1));
    const auto detail = stmt::verticalsOfBand(p, rowTop(0));
    const auto summary = stmt::verticalsOfBand(p, rowTop(2));
    ASSERT_EQ(header.size(), 14u);
    ASSERT_EQ(detail.size(), 16u);
    ASSERT_EQ(summary.size(), 16u);
    for (std::size_t i = 0; i < 14; ++i) {
        EXPECT_NEAR(header[i], inner[i], 1e-6);
        EXPECT_NEAR(detail[i + 1], inner[i], 1e-6);
        EXPECT_NEAR(summary[i + 1], inner[i], 1e-6);
    }
    EXPECT_NEAR(detail.front(), 0.40, 1e-6);
    EXPECT_NEAR(detail.back(), 286.68, 1e-6);
}

TEST_F(PrintRun, WideTextRunsOverItsRuleUncutAndUnwrapped) {
    stmt::Row r;
    r.invoice = QStringLiteral("SHIPMENT-2005-0001-LONGER-THAN-ITS-COLUMN");
    stmt::addRow(*ds, r);
    open();
    const auto rep = stmt::printAndCapture(*ds);
    const PageOps page = rep.page(0);
    const DrawOp* op = stmt::findText(page, r.invoice);
    ASSERT_NE(op, nullptr);
    EXPECT_NEAR(op->rect.left(), 5 + 1.32, 1e-6);
    EXPECT_GT(op->rect.right(), 5 + 25.00);    // past the column's right rule
    EXPECT_LT(op->rect.height(), stmt::kRow);  // one line
    EXPECT_TRUE(op->opaque);
}

// Counts what a bound control hears from its dataset.
class HeardLink : public db::DataLink {
public:
    int heard = 0;

protected:
    void DataSetChanged() override { ++heard; }
    void DataSetScrolled(int) override { ++heard; }
};

TEST_F(PrintRun, LayoutsAreQuietAndThePreviewLeavesControlsFollowing) {
    stmt::addRows(*ds, 5);
    open();
    db::DataSource source;
    source.setDataSet(ds.get());
    HeardLink link;
    link.setDataSource(&source);
    int heardBeforePreview = -1;
    bool followingDuringPreview = false;
    bool activeDuringPreview = false;
    setPreviewHook([&](report::Preview& p) {
        heardBeforePreview = link.heard;
        followingDuringPreview = !ds->ControlsDisabled();
        activeDuringPreview = PrintRunActive() && frmExportPrn != nullptr;
        p.close();
    });
    RunPrint(ds.get(), QStringLiteral("全公司"), QString(), 0, 2005, 3, 7);
    setPreviewHook(nullptr);
    // Two layouts walked five rows each; the control heard only the one change at the end.
    EXPECT_EQ(heardBeforePreview, 1);
    EXPECT_TRUE(followingDuringPreview);
    EXPECT_TRUE(activeDuringPreview);
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_EQ(ds->RecNo(), 5);
    EXPECT_FALSE(PrintRunActive());
    EXPECT_EQ(frmExportPrn, nullptr);
    EXPECT_EQ(ui::Application::instance().findChild<QObject*>(QStringLiteral("frmExportPrn")),
              nullptr);
}

TEST_F(PrintRun, PreviewPrintsThePagesItShowsAfterTheResultChanged) {
    stmt::addRows(*ds, 3);
    open();
    QStringList printedFirstPage;
    setPreviewHook([&](report::Preview& p) {
        // A new statistics run under the open preview: other rows entirely.
        ds->Close();
        ds->clearRows();
        stmt::Row r;
        r.invoice = QStringLiteral("NEW-1");
        stmt::addRow(*ds, r);
        ds->Open();
        const QString pdf = QDir(tmp.path()).filePath(QStringLiteral("printed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        p.print(printer);
        EXPECT_GT(QFileInfo(pdf).size(), 0);
        const PageOps page = p.prepared().page(0);
        for (const auto* op : stmt::texts(page)) printedFirstPage << op->text;
        p.close();
    });
    RunPrint(ds.get(), QString(), QString(), 0, 2005, 3, 7);
    setPreviewHook(nullptr);
    EXPECT_TRUE(printedFirstPage.contains(QStringLiteral("共有数据:3笔")));
    EXPECT_TRUE(printedFirstPage.contains(QStringLiteral("S05-001")));
    EXPECT_FALSE(printedFirstPage.contains(QStringLiteral("NEW-1")));
}

TEST_F(PrintRun, ClosedResultFailsWithDatasetErrorAndNoPreview) {
    bool previewed = false;
    setPreviewHook([&](report::Preview& p) {
        previewed = true;
        p.close();
    });
    EXPECT_THROW(RunPrint(ds.get(), QString(), QString(), 0, 2005, 3, 7), EDatabaseError);
    setPreviewHook(nullptr);
    EXPECT_FALSE(previewed);
    EXPECT_EQ(frmExportPrn, nullptr);
    EXPECT_FALSE(ds->ControlsDisabled());
}

TEST_F(PrintRun, FailedLayoutEnablesControlsAndReleasesForm) {
    // A result without the profit field cannot be laid out.
    auto bad = std::make_unique<testsupport::MemDataSet>(
        std::vector<db::FieldDef>{{"invoiceno", db::FieldType::String, 20}});
    bad->addRow({QStringLiteral("S1")});
    bad->Open();
    EXPECT_THROW(RunPrint(bad.get(), QString(), QString(), 0, 2005, 3, 7), Exception);
    EXPECT_FALSE(bad->ControlsDisabled());
    EXPECT_EQ(frmExportPrn, nullptr);
}

TEST_F(PrintRun, SecondRunWhilePreviewIsOpenShowsNoSecondPreview) {
    stmt::addRows(*ds, 2);
    open();
    int previews = 0;
    setPreviewHook([&](report::Preview& p) {
        ++previews;
        RunPrint(ds.get(), QString(), QString(), 0, 2005, 3, 7);  // returns at once
        p.close();
    });
    RunPrint(ds.get(), QString(), QString(), 0, 2005, 3, 7);
    setPreviewHook(nullptr);
    EXPECT_EQ(previews, 1);
    EXPECT_EQ(frmExportPrn, nullptr);
}

TEST_F(PrintRun, EachRunStartsFromAFreshForm) {
    stmt::Row r;
    r.lirun = 1;
    r.lirunTrue = 2;
    stmt::addRow(*ds, r);
    open();
    stmt::printAndCapture(*ds, {QStringLiteral("甲"), QStringLiteral("P1"), 1});
    const auto rep = stmt::printAndCapture(*ds, {QStringLiteral("乙"), QStringLiteral("P2"), 0});
    const PageOps& p = rep.page(0);
    EXPECT_EQ(stmt::findText(p, QStringLiteral("打印对象:甲")), nullptr);
    EXPECT_NE(stmt::findText(p, QStringLiteral("打印对象:乙")), nullptr);
    EXPECT_NE(stmt::findText(p, QStringLiteral("1.00")), nullptr);
    EXPECT_EQ(stmt::findText(p, QStringLiteral("2.00")), nullptr);
}

}  // namespace

namespace {

TEST_F(PrintRun, ResultDestroyedUnderOpenPreviewEndsTheRunCleanly) {
    // Re-enabling controls must not touch a dataset that is already gone.
    stmt::addRows(*ds, 3);
    open();
    bool closedByItself = false;
    setPreviewHook([&](report::Preview& p) {
        ds.reset();
        closedByItself = p.isClosed();
    });
    RunPrint(ds.get(), QString(), QString(), 0, 2005, 3, 7);
    setPreviewHook(nullptr);
    EXPECT_TRUE(closedByItself);
    EXPECT_EQ(frmExportPrn, nullptr);
}

}  // namespace
