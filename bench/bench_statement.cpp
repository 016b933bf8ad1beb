// A 100,000-row statement result through the client side: opening the dataset alone, opening
// it under the grid (footer sums, no per-row allocation), and preparing the report over
// 10,000 rows (345 pages).
#include "framework/db/datalink.h"
#include "framework/db/dataset.h"
#include "framework/grid/dbgrid.h"
#include "report/tfrmexportprn.h"
#include "ui/statementexport.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <QApplication>

namespace {

const char* const kMoney[] = {"srUSD", "srRMB", "yfUSD", "yfRMB", "bfUSD",      "bfRMB",
                              "yjUSD", "yjRMB", "cb",    "lirun", "lirun_true", "shouhui"};

// Rows generated straight into the store, standing in for a server result.
class SyntheticResult : public db::DataSet {
public:
    explicit SyntheticResult(int rows) : m_rows(rows) {}

protected:
    void fetchRows(db::RowStore& into) override {
        std::vector<db::FieldDef> defs = {{"invoiceno", db::FieldType::String, 20},
                                          {"UnExchTag", db::FieldType::String, 2},
                                          {"dept", db::FieldType::String, 20},
                                          {"value_no", db::FieldType::String, 20}};
        for (const char* m : kMoney) defs.push_back({m, db::FieldType::Currency, 0});
        into.setColumns(defs);
        into.reserve(m_rows);
        for (int r = 0; r < m_rows; ++r) {
            into.beginRow();
            const std::string no = "EX" + std::to_string(100000 + r);
            into.appendText(no);
            into.appendText(r % 3 ? "" : "*");
            into.appendText("业务一科");
            into.appendText("HS" + std::to_string(r));
            for (std::size_t c = 0; c < std::size(kMoney); ++c)
                into.appendCurrency(static_cast<std::int64_t>((r * 7919 + c * 104729) % 100000000));
            into.endRow();
        }
    }

private:
    int m_rows;
};

void BM_OpenDataSet(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ds.Close();
        ds.Open();
        benchmark::DoNotOptimize(ds.RecordCount());
    }
}

void BM_OpenUnderGrid(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    db::DataSource src;
    src.setDataSet(&ds);
    grid::DBGrid g;
    std::vector<grid::ColumnSpec> cols = {
        {"invoiceno", "运编号", 88, grid::Align::FieldOwn, grid::FooterKind::Text, "合计"}};
    for (const char* m : kMoney)
        cols.push_back({m, m, 70, grid::Align::FieldOwn, grid::FooterKind::Sum, {}});
    g.setColumns(cols);
    g.setDataSource(&src);
    g.resize(1200, 700);
    for (auto _ : state) {
        ds.Close();
        ds.Open();
        benchmark::DoNotOptimize(g.footerText(1));
    }
}

void BM_FieldAccessByIndex(benchmark::State& state) {
    SyntheticResult ds(100000);
    ds.Open();
    db::Field* f = ds.FieldByName("srRMB");
    for (auto _ : state) {
        db::Scaled4 sum = 0;
        const db::RowStore& rows = ds.store();
        for (int r = 0; r < rows.rowCount(); ++r) sum += rows.scaled4(r, f->Index());
        benchmark::DoNotOptimize(sum);
    }
}

void BM_PrepareReport(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.Open();
    int pages = 0;
    for (auto _ : state) {
        TfrmExportPrn form(&ds);
        form.QuickRep1->Prepare();
        pages = form.QuickRep1->PageCount();
    }
    state.counters["pages"] = pages;
}

// The statement's export of 100,000 rows of 16 columns, to .xlsx and to .csv.
ui::StatementExport exportOf(const db::RowStore& rows) {
    ui::StatementExport s;
    s.title = QStringLiteral("泰沃--出口盈亏表");
    s.heading = {QStringLiteral("查看对象:全公司"), QStringLiteral("时间段:2024年03月份")};
    s.rows = &rows;
    for (int c = 0; c < rows.columnCount(); ++c)
        s.columns.push_back({rows.columns()[static_cast<std::size_t>(c)].name, c, c >= 4,
                             c >= 4 ? std::optional<db::Scaled4>(c) : std::nullopt, QString()});
    return s;
}

void BM_ExportXlsx(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.Open();
    const QString path = QDir::temp().filePath(QStringLiteral("exportpnl-bench.xlsx"));
    for (auto _ : state) ui::writeXlsx(exportOf(ds.store()), path);
    QFile::remove(path);
}

void BM_ExportCsv(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.Open();
    const QString path = QDir::temp().filePath(QStringLiteral("exportpnl-bench.csv"));
    for (auto _ : state) ui::writeCsv(exportOf(ds.store()), path, ui::CsvEncoding::Utf8WithBom);
    QFile::remove(path);
}

BENCHMARK(BM_OpenDataSet)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportXlsx)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExportCsv)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OpenUnderGrid)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldAccessByIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareReport)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
