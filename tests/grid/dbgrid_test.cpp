// The data-aware grid over an in-memory dataset, headless: rows and footer, frozen
// columns, row selection, and the cursor followed both ways.
#include "framework/grid/dbgrid.h"
#include "framework/grid/footerrow.h"
#include "framework/grid/footersums.h"

#include "framework/db/datalink.h"
#include "framework/db/dataset.h"
#include "gridapp.h"
#include "tests/support/keyboard.h"
#include "tests/support/memdataset.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <functional>
#include <memory>

namespace {

using grid::Align;
using grid::ColumnSpec;
using grid::DBGrid;
using grid::FooterKind;

using gridtest::app;

ColumnSpec col(const char* field, const char* title, int width, FooterKind footer = FooterKind::Sum,
               Align align = Align::FieldOwn) {
    ColumnSpec c;
    c.fieldName = QString::fromUtf8(field);
    c.title = QString::fromUtf8(title);
    c.width = width;
    c.footer = footer;
    c.align = align;
    return c;
}

// Shipment-like rows: number, mark, department and a few money columns.
class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        data = std::make_unique<testsupport::MemDataSet>(
            std::vector<db::FieldDef>{{QStringLiteral("InvoiceNo"), db::FieldType::String, 20},
                                      {QStringLiteral("UnExchTag"), db::FieldType::String, 2},
                                      {QStringLiteral("dept"), db::FieldType::String, 10},
                                      {QStringLiteral("srUSD"), db::FieldType::Currency, 0},
                                      {QStringLiteral("srRMB"), db::FieldType::Currency, 0},
                                      {QStringLiteral("cb"), db::FieldType::Float, 0}});
        data->AfterOpen = [](db::DataSet& ds) {
            for (int i = 0; i < ds.FieldCount(); ++i)
                if (ds.fieldAt(i)->DataType() == db::FieldType::Currency)
                    ds.fieldAt(i)->SetCurrency(false);
        };
        source = std::make_unique<db::DataSource>();
        source->setDataSet(data.get());
        gridWidget = std::make_unique<DBGrid>();
        gridWidget->setObjectName(QStringLiteral("DBGridEh1"));
        std::vector<ColumnSpec> cols{col("invoiceno", "运编号", 88, FooterKind::Text),
                                     col("UnExchTag", "标志", 18, FooterKind::None, Align::Center),
                                     col("dept", "部门", 66, FooterKind::None),
                                     col("srUSD", "收入美元", 70),
                                     col("srRMB", "收入人民币", 70),
                                     col("cb", "成本", 70),
                                     col("nosuch", "缺少", 70)};
        cols[0].footerText = QStringLiteral("合计");
        gridWidget->setColumns(cols);
        gridWidget->setFrozenCols(2);
        gridWidget->setDataSource(source.get());
    }
    void TearDown() override {
        gridWidget.reset();
        source.reset();
        data.reset();
    }

    void addRows(int n) {
        for (int i = 0; i < n; ++i)
            data->addRow({QStringLiteral("A%1").arg(100 + i), QStringLiteral("*"),
                          QStringLiteral("D1"), 10.5 * (i + 1), QVariant(), 1.25});
    }

    std::unique_ptr<testsupport::MemDataSet> data;
    std::unique_ptr<db::DataSource> source;
    std::unique_ptr<DBGrid> gridWidget;
};

TEST_F(GridTest, EmptyResultShowsCaptionAndZeroSums) {
    data->Open();
    EXPECT_EQ(gridWidget->rowCount(), 0);
    EXPECT_EQ(gridWidget->currentRow(), -1);
    EXPECT_EQ(gridWidget->footerText(0), QStringLiteral("合计"));
    EXPECT_EQ(gridWidget->footerText(1), QString());
    for (int c : {3, 4, 5, 6}) EXPECT_EQ(gridWidget->footerText(c), QStringLiteral("0")) << c;
}

TEST_F(GridTest, CellsAndTotalsShowPlainNumbers) {
    data->addRow({QStringLiteral("A123"), QStringLiteral("*"), QStringLiteral("D1"), 1234.5,
                  QVariant(), 1200.0});
    data->Open();
    ASSERT_EQ(gridWidget->rowCount(), 1);
    EXPECT_EQ(gridWidget->cellText(0, 0), QStringLiteral("A123"));
    EXPECT_EQ(gridWidget->cellText(0, 3), QStringLiteral("1234.5"));
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("1234.5"));
    EXPECT_EQ(gridWidget->cellText(0, 4), QString());
    EXPECT_EQ(gridWidget->footerText(4), QStringLiteral("0")) << "an empty value adds nothing";
    EXPECT_EQ(gridWidget->cellText(0, 5), QStringLiteral("1200"));
    EXPECT_EQ(gridWidget->footerText(5), QStringLiteral("1200"));
    EXPECT_EQ(gridWidget->cellText(0, 6), QString()) << "a missing field leaves its column empty";
    EXPECT_EQ(gridWidget->footerText(6), QStringLiteral("0"));
}

// Before, a float of 1e300 made its footer read "-922337203685473".
TEST_F(GridTest, FooterWithoutATotalSaysSoAndWhy) {
    data->addRow({QStringLiteral("X"), QVariant(), QVariant(), 1.0, 2.0, 1e300});
    data->addRow({QStringLiteral("Y"), QVariant(), QVariant(), 900000000000000.0, 2.0, 1.0});
    data->addRow({QStringLiteral("Z"), QVariant(), QVariant(), 900000000000000.0, 2.0, 1.0});
    data->Open();
    gridWidget->resize(800, 300);
    gridWidget->show();
    auto* footer = static_cast<grid::FooterRow*>(gridWidget->footer());
    EXPECT_EQ(gridWidget->footerText(5), grid::FooterSums::kOverflowText);
    EXPECT_TRUE(footer->toolTipText(5).contains(QStringLiteral("'cb'")))
        << footer->toolTipText(5).toStdString();
    // Money values whose sum leaves 64 bits: exact, shown with at most 15 digits.
    EXPECT_EQ(gridWidget->footerTotal(3), db::Scaled4{1800000000000001} * 10000);
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("1.8E15"));
    EXPECT_EQ(footer->toolTipText(4), QString()) << "a total that fits has no tip";
    EXPECT_EQ(footer->columnAt(footer->cellRect(4).center().x()), 4);
}

TEST_F(GridTest, TotalsAreExactFixedPoint) {
    for (int i = 0; i < 3; ++i)
        data->addRow({QStringLiteral("X"), QVariant(), QVariant(), 0.1, 0.2, 0.1});
    data->addRow({QStringLiteral("Y"), QVariant(), QVariant(), QVariant(), QVariant(), 0.2});
    data->Open();
    EXPECT_EQ(gridWidget->footerTotal(3), 3000);
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("0.3"));
    EXPECT_EQ(gridWidget->footerText(4), QStringLiteral("0.6"));
    EXPECT_EQ(gridWidget->footerText(5), QStringLiteral("0.5"));
}

TEST_F(GridTest, AlignmentFollowsFieldOrColumn) {
    addRows(1);
    data->Open();
    const QAbstractItemModel* m = gridWidget->view()->model();
    auto align = [&](int c) {
        return Qt::Alignment::fromInt(m->index(0, c).data(Qt::TextAlignmentRole).toInt()) &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(align(0), Qt::AlignLeft) << "text of the field's own";
    EXPECT_EQ(align(1), Qt::AlignHCenter) << "the mark column is centred";
    EXPECT_EQ(align(3), Qt::AlignRight) << "numbers of the field's own";
    EXPECT_TRUE(m->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter);
    EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString(), QStringLiteral("收入美元"));
    EXPECT_FALSE(m->flags(m->index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(GridTest, ClosedDatasetShowsNothingAndReopenSumsAgain) {
    addRows(3);
    data->Open();
    EXPECT_EQ(gridWidget->rowCount(), 3);
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("63"));  // 10.5 + 21 + 31.5
    data->Close();
    EXPECT_EQ(gridWidget->rowCount(), 0);
    EXPECT_EQ(gridWidget->cellText(0, 0), QString());
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("0"));
    addRows(1);  // A100 again, 10.5
    data->Open();
    EXPECT_EQ(gridWidget->rowCount(), 4);
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("73.5"));
    EXPECT_EQ(gridWidget->currentRow(), 0);
}

// Totals are taken from the rows as they are after each change, and a change of display
// (currency on or off) or a cursor move only re-formats them.
TEST_F(GridTest, TotalsFollowEveryChangeOfTheRows) {
    struct Case {
        const char* name;
        std::function<void(db::DataSet&)> change;
        const char* srUSD;
    };
    const Case cases[] = {
        {"edit posted",
         [](db::DataSet& d) {
             d.MoveBy(1);
             d.Edit();
             d.FieldByName(QStringLiteral("srUSD"))->SetAsFloat(100);
             d.Post();
         },
         "142"},
        {"edit cancelled",
         [](db::DataSet& d) {
             d.Edit();
             d.FieldByName(QStringLiteral("srUSD"))->SetAsFloat(100);
             d.Cancel();
         },
         "63"},
        {"row inserted",
         [](db::DataSet& d) {
             d.Insert();
             d.FieldByName(QStringLiteral("srUSD"))->SetAsString(QStringLiteral("0.0001"));
             d.Post();
         },
         "63.0001"},
        {"row deleted", [](db::DataSet& d) { d.Delete(); }, "52.5"},
        {"cell emptied",
         [](db::DataSet& d) {
             d.Last();
             d.Edit();
             d.FieldByName(QStringLiteral("srUSD"))->SetAsString(QString());
             d.Post();
         },
         "31.5"},
        {"cursor moves and display changes",
         [](db::DataSet& d) {
             d.Last();
             d.First();
             d.FieldByName(QStringLiteral("srUSD"))->SetCurrency(true);
             d.FieldByName(QStringLiteral("srUSD"))->SetCurrency(false);
             d.DisableControls();
             d.EnableControls();
         },
         "63"},
    };
    addRows(3);  // 10.5, 21, 31.5
    for (const Case& c : cases) {
        data->Close();
        data->Open();
        c.change(*data);
        EXPECT_EQ(gridWidget->footerText(3), QString::fromUtf8(c.srUSD)) << c.name;
    }
    data->FieldByName(QStringLiteral("srUSD"))->SetCurrency(true);
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("\uFFE563.00"))
        << "the display follows the field's currency display";
}

TEST_F(GridTest, CursorMovesMoveTheHighlight) {
    addRows(10);
    data->Open();
    EXPECT_EQ(gridWidget->currentRow(), 0);
    data->MoveBy(3);
    EXPECT_EQ(gridWidget->currentRow(), 3);
    data->Last();
    EXPECT_EQ(gridWidget->currentRow(), 9);
    ASSERT_TRUE(data->Locate(QStringLiteral("invoiceno"), QStringLiteral("a104")));
    EXPECT_EQ(gridWidget->currentRow(), 4);
}

TEST_F(GridTest, ClicksAndKeysMoveTheCursor) {
    addRows(10);
    data->Open();
    gridWidget->resize(500, 300);
    gridWidget->show();
    QTableView* v = gridWidget->view();
    const QModelIndex target = v->model()->index(4, 3);
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(target).center());
    EXPECT_EQ(data->currentRow(), 4);
    EXPECT_EQ(gridWidget->currentRow(), 4);

    QTableView* frozen = gridWidget->frozenView();
    const QModelIndex inFrozen = frozen->model()->index(2, 0);
    QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {},
                      frozen->visualRect(inFrozen).center());
    EXPECT_EQ(data->currentRow(), 2) << "a click on a frozen column moves the cursor too";

    testsupport::pressKeys(gridWidget.get(), {Qt::Key_Down});
    ASSERT_EQ(QApplication::focusWidget(), v) << "the grid passes the focus to its view";
    EXPECT_EQ(data->currentRow(), 3);
}

TEST_F(GridTest, TabMovesBetweenCells) {
    addRows(2);
    data->Open();
    gridWidget->setRowSelect(false);
    gridWidget->show();
    QTableView* v = gridWidget->view();
    testsupport::focusOn(gridWidget.get());
    v->setCurrentIndex(v->model()->index(0, 2));
    testsupport::pressKeys(gridWidget.get(), {Qt::Key_Tab});
    EXPECT_EQ(v->currentIndex().column(), 3);
    EXPECT_EQ(v->currentIndex().row(), 0);
}

TEST_F(GridTest, DisabledControlsStopFollowingUntilEnabled) {
    addRows(10);
    data->Open();
    data->DisableControls();
    data->MoveBy(5);
    EXPECT_EQ(gridWidget->currentRow(), 0);
    data->Last();
    EXPECT_EQ(gridWidget->currentRow(), 0);
    data->EnableControls();
    EXPECT_EQ(gridWidget->currentRow(), 9);
}

TEST_F(GridTest, ReopenedWhileDisabledIsPickedUpOnEnable) {
    addRows(2);
    data->Open();
    data->DisableControls();
    data->Close();
    addRows(3);
    data->Open();
    data->EnableControls();
    EXPECT_EQ(gridWidget->rowCount(), 5);
    EXPECT_EQ(gridWidget->cellText(4, 0), QStringLiteral("A102"));
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("94.5"));  // 10.5+21 + 10.5+21+31.5
}

TEST_F(GridTest, RowSelectToggleKeepsTheCurrentRow) {
    addRows(6);
    data->Open();
    data->MoveBy(2);
    QTableView* v = gridWidget->view();
    EXPECT_TRUE(gridWidget->rowSelect());
    EXPECT_EQ(v->selectionModel()->selectedIndexes().size(), 7) << "whole row highlighted";

    gridWidget->setRowSelect(false);
    EXPECT_EQ(v->selectionBehavior(), QAbstractItemView::SelectItems);
    EXPECT_EQ(v->selectionModel()->selectedIndexes().size(), 1);
    EXPECT_EQ(gridWidget->currentRow(), 2);

    gridWidget->setRowSelect(true);
    EXPECT_EQ(v->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(v->selectionModel()->selectedIndexes().size(), 7);
    EXPECT_EQ(gridWidget->currentRow(), 2);
    EXPECT_EQ(data->currentRow(), 2);
}

// Before, Ctrl with a move or a click moved the current row or cell without highlighting
// it (Ctrl+End: current row 9, the highlight still on row 0), and Ctrl+Space or Ctrl+click
// on the current row took its highlight away.
TEST_F(GridTest, EveryMoveHighlightsTheCurrentRowOrCell) {
    addRows(10);
    data->Open();
    gridWidget->resize(700, 300);
    QTableView* v = gridWidget->view();
    const auto clickAt = [v](int row, int column, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(v->viewport(), Qt::LeftButton, modifiers,
                          v->visualRect(v->model()->index(row, column)).center());
    };
    const auto keys = [this](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return
            [this, key, modifiers] { testsupport::pressKeys(gridWidget.get(), {key}, modifiers); };
    };
    struct Case {
        const char* what;
        bool rowSelect;
        std::function<void()> act;
        int row, column;   // the current cell afterwards; -1: any column
        int selectedRows;  // highlighted rows (row select) or cells
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Case cases[] = {
        {"Ctrl+End", true, keys(Qt::Key_End, ctrl), 9, -1, 1},
        {"Ctrl+Down", true, keys(Qt::Key_Down, ctrl), 1, 3, 1},
        {"Ctrl+Space", true, keys(Qt::Key_Space, ctrl), 0, 3, 1},
        {"Ctrl+click", true, [&] { clickAt(5, 4, ctrl); }, 5, 4, 1},
        {"Ctrl+click on the current row", true, [&] { clickAt(0, 4, ctrl); }, 0, 4, 1},
        {"Ctrl+Right, cells", false, keys(Qt::Key_Right, ctrl), 0, 4, 1},
        {"Ctrl+Down, cells", false, keys(Qt::Key_Down, ctrl), 1, 3, 1},
        {"Ctrl+Space, cells", false, keys(Qt::Key_Space, ctrl), 0, 3, 1},
        {"Ctrl+click, cells", false, [&] { clickAt(6, 5, ctrl); }, 6, 5, 1},
        {"Shift+Down extends", true, keys(Qt::Key_Down, Qt::ShiftModifier), 1, 3, 2},
        {"Ctrl+A selects all", true, keys(Qt::Key_A, ctrl), 0, 3, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gridWidget->setRowSelect(c.rowSelect);
        testsupport::focusOn(gridWidget.get());
        clickAt(0, 3, {});
        c.act();
        const QModelIndex cur = v->currentIndex();
        EXPECT_EQ(cur.row(), c.row);
        EXPECT_EQ(data->currentRow(), c.row);
        if (c.column >= 0) {
            EXPECT_EQ(cur.column(), c.column);
        }
        QItemSelectionModel* sel = v->selectionModel();
        if (c.rowSelect) {
            EXPECT_TRUE(sel->isRowSelected(cur.row(), {})) << "the current row is highlighted";
            EXPECT_EQ(sel->selectedRows().size(), c.selectedRows);
        } else {
            EXPECT_TRUE(sel->isSelected(cur)) << "the current cell is highlighted";
            EXPECT_EQ(sel->selectedIndexes().size(), c.selectedRows);
        }
    }
}

TEST_F(GridTest, FrozenColumnsStayInViewWhenScrolledRight) {
    addRows(3);
    data->Open();
    gridWidget->resize(300, 200);
    gridWidget->show();
    QTableView* v = gridWidget->view();
    QTableView* frozen = gridWidget->frozenView();
    ASSERT_TRUE(frozen->isVisible());
    EXPECT_FALSE(frozen->isColumnHidden(0));
    EXPECT_FALSE(frozen->isColumnHidden(1));
    for (int c = 2; c < 7; ++c) EXPECT_TRUE(frozen->isColumnHidden(c)) << c;
    EXPECT_EQ(frozen->width(), v->columnWidth(0) + v->columnWidth(1));

    auto* footer = gridWidget->findChild<QWidget*>(QStringLiteral("DBGridEh1Footer"));
    ASSERT_NE(footer, nullptr);
    const QPoint frozenAt = frozen->pos();
    const int firstFooterCell = gridWidget->footer()->mapTo(gridWidget.get(), QPoint()).x();

    QScrollBar* h = v->horizontalScrollBar();
    ASSERT_GT(h->maximum(), 0) << "the columns must not fit, or nothing scrolls";
    h->setValue(h->maximum());
    EXPECT_EQ(frozen->pos(), frozenAt);
    EXPECT_EQ(frozen->horizontalScrollBar()->value(), 0);
    EXPECT_LT(v->columnViewportPosition(3), v->columnViewportPosition(0) + 200)
        << "the scrolling columns did move";
    EXPECT_LT(v->columnViewportPosition(0), 0);
    EXPECT_EQ(gridWidget->footer()->mapTo(gridWidget.get(), QPoint()).x(), firstFooterCell);

    // Moving the cursor to a scrolling column brings it out from under the frozen ones.
    gridWidget->setRowSelect(false);
    v->setCurrentIndex(v->model()->index(0, 2));
    EXPECT_GE(v->columnViewportPosition(2), frozen->width());
}

TEST_F(GridTest, ResizingAColumnKeepsFrozenViewAndFooterInStep) {
    addRows(1);
    data->Open();
    gridWidget->resize(600, 200);
    gridWidget->show();
    QTableView* v = gridWidget->view();
    v->horizontalHeader()->resizeSection(0, 120);
    EXPECT_EQ(gridWidget->frozenView()->columnWidth(0), 120);
    EXPECT_EQ(gridWidget->frozenView()->width(), 120 + v->columnWidth(1));
    // Moving a scrolling column to the front freezes it instead.
    v->horizontalHeader()->moveSection(3, 0);
    EXPECT_FALSE(gridWidget->frozenView()->isColumnHidden(3));
    EXPECT_TRUE(gridWidget->frozenView()->isColumnHidden(1));
}

TEST_F(GridTest, AttachingToAnOpenDatasetSumsAndReturnsToFirstRow) {
    addRows(5);
    gridWidget->setDataSource(nullptr);
    EXPECT_EQ(gridWidget->rowCount(), 0);
    data->Open();
    data->MoveBy(3);
    gridWidget->setDataSource(source.get());
    EXPECT_EQ(gridWidget->rowCount(), 5);
    EXPECT_EQ(gridWidget->footerText(3), QStringLiteral("157.5"));
    EXPECT_EQ(data->currentRow(), 0);
    EXPECT_EQ(gridWidget->currentRow(), 0);
}

TEST_F(GridTest, IndicatorMarksOnlyTheCurrentRow) {
    addRows(5);
    data->Open();
    gridWidget->resize(400, 250);
    gridWidget->show();
    data->MoveBy(2);
    QHeaderView* indicator = gridWidget->view()->verticalHeader();
    const QImage image = indicator->grab().toImage();
    auto darkPixels = [&](int row) {
        const int top = indicator->sectionViewportPosition(row);
        int n = 0;
        for (int y = top + 1; y < top + indicator->sectionSize(row) - 1; ++y)
            for (int x = 1; x < image.width() - 1; ++x)
                if (qGray(image.pixel(x, y)) < 80)
                    ++n;
        return n;
    };
    EXPECT_GT(darkPixels(2), 3);
    EXPECT_EQ(darkPixels(0), 0);
    EXPECT_EQ(darkPixels(3), 0);
    EXPECT_LT(indicator->width(), 20) << "a narrow indicator column, no row numbers";
}

TEST_F(GridTest, OutlivesItsDataSourceAndDataset) {
    addRows(3);
    data->Open();
    gridWidget->show();
    source.reset();
    EXPECT_EQ(gridWidget->rowCount(), 0);
    EXPECT_EQ(gridWidget->dataSource(), nullptr);
    data.reset();
    EXPECT_EQ(gridWidget->cellText(0, 0), QString());
    gridWidget->grab();  // paints without touching the dead dataset
}

TEST_F(GridTest, FooterNameFollowsGridName) {
    EXPECT_EQ(gridWidget->footer()->objectName(), QStringLiteral("DBGridEh1Footer"));
    gridWidget->setObjectName(QStringLiteral("Other"));
    EXPECT_EQ(gridWidget->footer()->objectName(), QStringLiteral("OtherFooter"));
}

TEST_F(GridTest, TitleRowIsTwoLinesHigh) {
    QFont f = gridWidget->font();
    f.setPixelSize(12);
    gridWidget->setFont(f);
    const int line = QFontMetrics(f).height();
    EXPECT_GE(gridWidget->view()->horizontalHeader()->height(), 2 * line);
    EXPECT_LT(gridWidget->view()->horizontalHeader()->height(), 3 * line);
    EXPECT_EQ(gridWidget->frozenView()->horizontalHeader()->height(),
              gridWidget->view()->horizontalHeader()->height());
}

}  // namespace
