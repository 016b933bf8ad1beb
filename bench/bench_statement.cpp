// A 100,000-row statement result through the client side: opening the dataset alone, opening
// it under the grid (footer sums, no per-row allocation), and the exports to .xlsx and .csv.
#include "framework/db/datalink.h"
#include "framework/db/dataset.h"
#include "framework/grid/dbgrid.h"
#include "syntheticresult.h"
#include "ui/statementexport.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <QApplication>

namespace {

using bench::kMoney;
using bench::SyntheticResult;

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
