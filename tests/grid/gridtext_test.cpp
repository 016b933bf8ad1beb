// What the user can read in the grid: where cell and footer text go at the column widths of
// the statement (9 pt 宋体, 6-pixel digits), tool tips for cut texts, a double-click on a
// border fitting a column, and the user's widths and order kept across a new result.
#include "framework/grid/celltext.h"
#include "framework/grid/dbgrid.h"
#include "framework/ui/fonts.h"
#include "tests/support/keyboard.h"
#include "tests/support/memdataset.h"

#include "framework/db/datalink.h"
#include "gridapp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace {

using gridtest::app;

// Before, the style's margins and the grid line left 63 of a 70-pixel column's pixels to an
// 11-character amount of 66, so most totals read "12248949···".
TEST(CellText, StatementTextsFitTheirColumns) {
    app();
    const QFontMetrics fm(ui::songti(9));
    ASSERT_EQ(fm.horizontalAdvance(QStringLiteral("0")), 6) << "the digit width this assumes";
    struct Case {
        const char* what;
        const char* text;
        int column;  // pixels, grid line included
        Qt::Alignment align;
        bool cut;
        int left;  // where the text starts, from the cell's left edge
    };
    const Case cases[] = {
        {"short amount keeps both margins", "1234.5", 70, Qt::AlignRight, false, 2},
        {"11-character amount", "12248949.71", 70, Qt::AlignRight, false, 1},
        {"12 characters are cut", "122489497.71", 70, Qt::AlignRight, true, 0},
        {"costing-sheet number", "HS26-05950", 61, Qt::AlignLeft, false, 0},
        {"shipment number", "26EX05950", 88, Qt::AlignLeft, false, 2},
        {"mark, centred", "*", 18, Qt::AlignHCenter, false, 2},
    };
    for (const Case& c : cases) {
        const QRect cell(0, 0, c.column - 1, 18);  // less the grid line
        const grid::CellText t =
            grid::placeCellText(fm, QString::fromLatin1(c.text), cell, c.align);
        EXPECT_EQ(t.cut, c.cut) << c.what;
        EXPECT_EQ(t.rect.left(), c.left) << c.what;
        if (!c.cut) {
            EXPECT_EQ(t.shown, QString::fromLatin1(c.text)) << c.what;
            EXPECT_LE(t.rect.left() + fm.horizontalAdvance(t.shown), cell.width()) << c.what;
        }
    }
}

// A text too wide for its cell is drawn smaller before it is cut, never below three quarters
// of the grid's size; one that fits keeps the grid's size.
TEST(CellText, WideTextsAreDrawnSmallerBeforeTheyAreCut) {
    app();
    const QFont font = ui::songti(9);
    const int pixels = QFontInfo(font).pixelSize();
    struct Case {
        const char* text;
        int column;
        bool smaller;
        bool cut;
    };
    const Case cases[] = {
        {"12248949.71", 70, false, false},
        {"111883809.12", 70, true, false},  // a 20,000-shipment month's income in RMB
        {"-1118838090.12", 70, true, false},
        {"1224894977123.45", 70, false, true},
        {"HS26-059511", 61, true, false},
    };
    for (const Case& c : cases) {
        const QRect cell(0, 0, c.column - 1, 18);
        const grid::FittedCellText f = grid::fitCellText(
            font, QFontMetrics(font), QString::fromLatin1(c.text), cell, Qt::AlignRight);
        const int px = QFontInfo(f.font).pixelSize();
        EXPECT_EQ(f.placed.cut, c.cut) << c.text;
        EXPECT_EQ(px < pixels, c.smaller) << c.text << " at " << px << " px";
        EXPECT_GE(px * 4, pixels * 3) << c.text;
        if (!c.cut) {
            EXPECT_EQ(f.placed.shown, QString::fromLatin1(c.text));
            EXPECT_LE(f.placed.rect.left() + QFontMetrics(f.font).horizontalAdvance(f.placed.shown),
                      cell.width())
                << c.text;
        }
    }
}

// The application exists before the fixture's widgets.
struct WithApp {
    WithApp() { app(); }
};

class GridTextTest : public WithApp, public ::testing::Test {
protected:
    void SetUp() override {
        app();
        data = std::make_unique<testsupport::MemDataSet>(
            std::vector<db::FieldDef>{{QStringLiteral("InvoiceNo"), db::FieldType::String, 20},
                                      {QStringLiteral("srUSD"), db::FieldType::Currency, 0},
                                      {QStringLiteral("value_no"), db::FieldType::String, 20}});
        data->AfterOpen = [](db::DataSet& ds) { ds.fieldAt(1)->SetCurrency(false); };
        source.setDataSet(data.get());
        grid.setFont(ui::songti(9));
        using grid::Align;
        using grid::FooterKind;
        grid.setColumns({{QStringLiteral("invoiceno"), QStringLiteral("运编号"), 88,
                          Align::FieldOwn, FooterKind::Text, QStringLiteral("合计")},
                         {QStringLiteral("srUSD"), QStringLiteral("收入美元"), 70, Align::FieldOwn,
                          FooterKind::Sum, QString()},
                         {QStringLiteral("value_no"), QStringLiteral("核算单"), 61, Align::FieldOwn,
                          FooterKind::None, QString()}});
        grid.setDataSource(&source);
        grid.resize(400, 240);
    }
    void rows(std::initializer_list<std::tuple<const char*, double, const char*>> list) {
        data->clearRows();
        for (const auto& [no, amount, sheet] : list)
            data->addRow({QString::fromUtf8(no), amount, QString::fromUtf8(sheet)});
    }
    // The tool tip a user gets over cell (row, column).
    QString tipAt(int row, int column) {
        QTableView* v = grid.view();
        const QRect r = v->visualRect(v->model()->index(row, column));
        QHelpEvent help(QEvent::ToolTip, r.center(), v->viewport()->mapToGlobal(r.center()));
        QToolTip::hideText();
        QApplication::sendEvent(v->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }

    std::unique_ptr<testsupport::MemDataSet> data;
    db::DataSource source;
    grid::DBGrid grid;
};

TEST_F(GridTextTest, CutTextsShowWholeAsToolTips) {
    rows({{"26EX05950", 12248949.71, "HS26-05950"},
          {"26EX05951", 122489497.71, "HS26-059511"},
          {"26EX05952", 1224894977123.45, "HS26-0595111111"}});
    data->Open();
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_EQ(tipAt(0, 1), QString()) << "an 11-character amount shows whole";
    EXPECT_EQ(tipAt(0, 2), QString()) << "a 10-character costing-sheet number shows whole";
    EXPECT_EQ(tipAt(1, 1), QString()) << "12 characters show whole, a little smaller";
    EXPECT_EQ(tipAt(1, 2), QString()) << "11 characters in 61 pixels show whole, smaller";
    EXPECT_EQ(tipAt(2, 1), QStringLiteral("1224894977123.45"));
    EXPECT_EQ(tipAt(2, 2), QStringLiteral("HS26-0595111111"));
}

TEST_F(GridTextTest, DoubleClickOnABorderFitsTheWidestText) {
    // The total of 1,200 rows is wider than any cell; a wide cell lies far below the view.
    for (int i = 0; i < 1200; ++i)
        data->addRow({QStringLiteral("N%1").arg(i), 99999999.99, QStringLiteral("H")});
    data->addRow({QStringLiteral("LAST"), 1.0, QStringLiteral("SHEET-NUMBER-1234")});
    data->Open();
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QHeaderView* header = grid.view()->horizontalHeader();
    const QFontMetrics fm(grid.font());
    auto doubleClickBorder = [header](int logical) {
        const int x = header->sectionViewportPosition(logical) + header->sectionSize(logical) - 1;
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    doubleClickBorder(1);
    EXPECT_EQ(grid.footerText(1), QStringLiteral("119999999989"));
    EXPECT_GE(header->sectionSize(1), fm.horizontalAdvance(grid.footerText(1)) + 4)
        << "the footer's total sets the width";
    doubleClickBorder(2);
    EXPECT_GE(header->sectionSize(2), fm.horizontalAdvance(QStringLiteral("SHEET-NUMBER-1234")) + 4)
        << "a cell past the first thousand rows counts too";
}

TEST_F(GridTextTest, UserWidthsAndOrderStayAcrossANewResult) {
    rows({{"A1", 1, "H1"}});
    data->Open();
    QHeaderView* header = grid.view()->horizontalHeader();
    header->resizeSection(1, 123);
    header->moveSection(2, 1);  // 核算单 before 收入美元
    data->Close();
    rows({{"B1", 2, "H2"}, {"B2", 3, "H3"}});
    data->Open();
    EXPECT_EQ(header->sectionSize(1), 123);
    EXPECT_EQ(header->logicalIndex(1), 2);
    EXPECT_EQ(grid.rowCount(), 2);
}

// Before, Ctrl+C copied one cell. Keys go to the focused view, as a keyboard sends them.
TEST_F(GridTextTest, SelectedRangeGoesToTheClipboardAsTextAndTable) {
    rows({{"A1", 1.5, "H1"}, {"A2", 2.25, "H2"}, {"A3", 3, "H3"}});
    data->Open();
    QTableView* v = grid.view();
    struct Case {
        const char* what;
        bool rowSelect;
        std::vector<Qt::Key> keys;
        Qt::KeyboardModifiers modifiers;
        const char* text;
    };
    const Case cases[] = {
        {"whole rows",
         true,
         {Qt::Key_Down},
         Qt::ShiftModifier,
         "运编号\t收入美元\t核算单\nA2\t2.25\tH2\nA3\t3\tH3\n"},
        {"a range of cells",
         false,
         {Qt::Key_Down, Qt::Key_Right},
         Qt::ShiftModifier,
         "收入美元\t核算单\n2.25\tH2\n3\tH3\n"},
        {"all rows, then the totals",
         true,
         {Qt::Key_A},
         Qt::ControlModifier,
         "运编号\t收入美元\t核算单\nA1\t1.5\tH1\nA2\t2.25\tH2\nA3\t3\tH3\n合计\t6.75\t\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        grid.setRowSelect(c.rowSelect);
        testsupport::focusOn(&grid);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {},
                          v->visualRect(v->model()->index(1, 1)).center());
        ASSERT_EQ(data->currentRow(), 1);
        for (Qt::Key k : c.keys) QTest::keyClick(static_cast<QWidget*>(nullptr), k, c.modifiers);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_C, Qt::ControlModifier);
        const QMimeData* clip = QApplication::clipboard()->mimeData();
        ASSERT_NE(clip, nullptr);
        EXPECT_EQ(clip->text(), QString::fromUtf8(c.text));
        EXPECT_TRUE(clip->html().contains(QStringLiteral("<table><tr><th>")))
            << clip->html().toStdString();
        EXPECT_TRUE(clip->html().contains(QStringLiteral("<td>H2</td>")));
    }
    // The cursor followed the keys and the range survived it.
    EXPECT_EQ(v->selectionModel()->selectedRows().size(), 3);
}

// Before, the HTML flavour was a bare table without a charset: Gnumeric read it as Latin-1
// and every Chinese title, text and 合计 arrived garbled.
TEST_F(GridTextTest, ASpreadsheetReadsTheCopiedTableAsTheGridShowsIt) {
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty())
        GTEST_SKIP() << "ssconvert (Debian package gnumeric) is not installed";
    rows({{"A1", 1.5, "出口-7"}, {"运A2", 1234567.25, "HS2"}});
    data->Open();
    testsupport::pressKeys(&grid, {Qt::Key_A}, Qt::ControlModifier);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    ASSERT_NE(clip, nullptr);

    // The HTML as another program receives it, read by Gnumeric's own importer headless.
    QTemporaryDir dir;
    QFile html(dir.filePath(QStringLiteral("copy.html")));
    ASSERT_TRUE(html.open(QIODevice::WriteOnly));
    html.write(clip->data(QStringLiteral("text/html")));
    html.close();
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("DISPLAY"));
    e.remove(QStringLiteral("WAYLAND_DISPLAY"));
    e.insert(QStringLiteral("HOME"), dir.path());  // it keeps settings there
    p.setProcessEnvironment(e);
    p.start(ssconvert, {QStringLiteral("--import-type=Gnumeric_html:html"), html.fileName(),
                        dir.filePath(QStringLiteral("copy.csv"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QFile csv(dir.filePath(QStringLiteral("copy.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    QStringList got = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& line : got) line.remove(QLatin1Char('"'));

    QStringList shown = {QStringLiteral("运编号,收入美元,核算单")};
    for (int r = 0; r < grid.rowCount(); ++r)
        shown << QStringList{grid.cellText(r, 0), grid.cellText(r, 1), grid.cellText(r, 2)}.join(
            QLatin1Char(','));
    shown << QStringList{grid.footerText(0), grid.footerText(1), grid.footerText(2)}.join(
        QLatin1Char(','));
    EXPECT_EQ(got, shown);
    EXPECT_EQ(shown.last(), QStringLiteral("合计,1234568.75,"));
}

TEST_F(GridTextTest, ContextMenuOffersCopy) {
    auto* copy = grid.findChild<QAction*>(QStringLiteral("actCopy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->text(), QStringLiteral("复制"));
    EXPECT_EQ(grid.view()->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(grid.view()->actions().contains(copy));
    EXPECT_TRUE(grid.frozenView()->actions().contains(copy));
}

}  // namespace
