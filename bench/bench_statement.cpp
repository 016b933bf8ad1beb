// A 100,000-row statement result through the client side: opening the dataset alone, opening
// it under the grid with the window's after-open handler beside the bare limit (stepping the
// same rows out of SQLite and summing them), Find and a jump to the end, and the exports to
// .xlsx and .csv.
#include "framework/db/datalink.h"
#include "framework/db/dataset.h"
#include "framework/grid/dbgrid.h"
#include "syntheticresult.h"
#include "ui/frmmain.h"
#include "ui/statementexport.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <chrono>
#include <stdexcept>

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

// The statement window's columns: the number, two texts, and eleven totals.
std::vector<grid::ColumnSpec> statementColumns() {
    using grid::Align;
    using grid::FooterKind;
    std::vector<grid::ColumnSpec> cols = {
        {"invoiceno", "运编号", 88, Align::FieldOwn, FooterKind::Text, "合计"},
        {"UnExchTag", "标志", 18, Align::Center, FooterKind::None, {}},
        {"dept", "部门", 66, Align::FieldOwn, FooterKind::None, {}}};
    for (const char* m : kMoney) {
        if (std::string_view(m) != "lirun")
            cols.push_back({m, m, 70, Align::FieldOwn, FooterKind::Sum, {}});
    }
    cols.push_back({"value_no", "核算单", 61, Align::FieldOwn, FooterKind::None, {}});
    return cols;
}

// The rows of SyntheticResult in an in-memory SQLite table (money in 1/10000 units), made
// once: what a server's result costs to step through, without a network.
sqlite3* resultTable(int rows) {
    static sqlite3* db = nullptr;
    static int made = 0;
    if (db && made == rows)
        return db;
    if (db)
        sqlite3_close(db);
    sqlite3_open(":memory:", &db);
    std::string create = "CREATE TABLE r(invoiceno TEXT, UnExchTag TEXT, dept TEXT, value_no TEXT";
    std::string insert = "INSERT INTO r VALUES(?,?,?,?";
    for (const char* m : kMoney) {
        create += std::string(", ") + m + " INTEGER";
        insert += ",?";
    }
    sqlite3_exec(db, (create + ")").c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &st, nullptr);
    for (int r = 0; r < rows; ++r) {
        const std::string no = "EX" + std::to_string(100000 + r);
        const std::string sheet = "HS" + std::to_string(r);
        sqlite3_bind_text(st, 1, no.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, r % 3 ? "" : "*", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, "业务一科", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 4, sheet.c_str(), -1, SQLITE_TRANSIENT);
        for (int c = 0; c < static_cast<int>(std::size(kMoney)); ++c)
            sqlite3_bind_int64(st, 5 + c, (r * 7919 + c * 104729) % 100000000);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    made = rows;
    return db;
}

// The limit: every row stepped, every text touched, every money column summed in int64.
std::int64_t stepAndSum(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM r", -1, &st, nullptr);
    std::int64_t sums[std::size(kMoney)] = {};
    std::int64_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 4; ++c) {
            bytes += sqlite3_column_text(st, c) != nullptr;
            bytes += sqlite3_column_bytes(st, c);
        }
        for (int c = 0; c < static_cast<int>(std::size(kMoney)); ++c)
            sums[c] += sqlite3_column_int64(st, 4 + c);
    }
    sqlite3_finalize(st);
    std::int64_t all = bytes;
    for (std::int64_t v : sums) all += v;
    return all;
}

// The same rows read into the dataset's row store, as a driver fills it.
class SqliteResult : public db::DataSet {
public:
    explicit SqliteResult(sqlite3* db) : m_db(db) {}

protected:
    void fetchRows(db::RowStore& into) override {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, "SELECT * FROM r", -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        std::vector<db::FieldDef> defs;
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            defs.push_back({QString::fromUtf8(sqlite3_column_name(st, c)),
                            c < 4 ? db::FieldType::String : db::FieldType::Currency,
                            c < 4 ? 20 : 0});
        into.setColumns(defs);
        while (sqlite3_step(st) == SQLITE_ROW) {
            into.beginRow();
            for (int c = 0; c < 4; ++c)
                into.appendText({reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                 static_cast<std::size_t>(sqlite3_column_bytes(st, c))});
            for (int c = 4; c < static_cast<int>(defs.size()); ++c)
                into.appendCurrency(sqlite3_column_int64(st, c));
            into.endRow();
        }
        sqlite3_finalize(st);
    }

private:
    sqlite3* m_db;
};

struct GridOver {
    explicit GridOver(db::DataSet& ds) {
        src.setDataSet(&ds);
        grid.setColumns(statementColumns());
        grid.setFrozenCols(2);
        grid.setDataSource(&src);
        grid.resize(1200, 700);
    }
    db::DataSource src;
    grid::DBGrid grid;
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Opening under the grid with the window's after-open handler (the money rule), timed;
// the limit is timed in the same iteration (limit_ms), and ratio is ours over it.
void BM_OpenUnderGrid(benchmark::State& state) {
    sqlite3* db = resultTable(static_cast<int>(state.range(0)));
    SqliteResult ds(db);
    ds.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    GridOver view(ds);
    double ours = 0;
    double limit = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(stepAndSum(db));
        const double l = msSince(start);
        start = std::chrono::steady_clock::now();
        ds.Close();
        ds.Open();
        benchmark::DoNotOptimize(view.grid.footerText(3));
        const double o = msSince(start);
        state.SetIterationTime(o / 1000);
        ours += o;
        limit += l;
    }
    state.counters["limit_ms"] = limit / static_cast<double>(state.iterations());
    state.counters["ratio"] = ours / limit;
}

// Find of the last shipment's number (the whole result walked) and a jump to the last row
// and back, under the grid.
void BM_FindLastShipment(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    GridOver view(ds);
    ds.Open();
    const QString last = QStringLiteral("ex%1").arg(100000 + state.range(0) - 1);
    for (auto _ : state) {
        ds.First();
        if (!ds.Locate(QStringLiteral("invoiceno"), last))
            state.SkipWithError("not found");
    }
}

void BM_JumpToLastAndBack(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    GridOver view(ds);
    ds.Open();
    for (auto _ : state) {
        ds.Last();
        ds.First();
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
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.xlsx"));
    for (auto _ : state) ui::writeXlsx(exportOf(ds.store()), path);
}

void BM_ExportCsv(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.Open();
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statement.csv"));
    for (auto _ : state) ui::writeCsv(exportOf(ds.store()), path, ui::CsvEncoding::Utf8WithBom);
}

BENCHMARK(BM_OpenDataSet)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportXlsx)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExportCsv)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OpenUnderGrid)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindLastShipment)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JumpToLastAndBack)->Arg(1000000)->Unit(benchmark::kMillisecond);
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
