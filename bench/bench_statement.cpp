// A 100,000-row statement result through the client side: opening the dataset alone; opening
// the window's result through the embedded driver under the grid, with the after-open handler
// and one paint, beside the bare limit (stepping the same rows out of SQLite and summing
// them); Find and the jumps with the grid's paint beside one paint alone; the exports to
// .xlsx and .csv.
#include "framework/db/database.h"
#include "framework/db/datalink.h"
#include "framework/db/dataset.h"
#include "framework/db/query.h"
#include "framework/grid/dbgrid.h"
#include "consumingsink.h"
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

// A server folder whose database holds a statement result as the demo's procedure returns
// it: the money columns declared MONEY, the money stored as REAL amounts in cents, and the
// unreceived share of the profit (lirun_true) with all the decimals its division gives. The procedure OpenResult returns the rows as they stand.
class ResultServer {
public:
    explicit ResultServer(int rows) : m_path(m_dir.filePath(QStringLiteral("bench.db"))) {
        sqlite3* db = open();
        std::string create =
            "CREATE TABLE r(invoiceno VARCHAR(12), UnExchTag CHAR(2), dept VARCHAR(20), "
            "value_no VARCHAR(12)";
        std::string insert = "INSERT INTO r VALUES(?,?,?,?";
        for (const char* m : kMoney) {
            create += std::string(", ") + m + " MONEY";
            insert += ",?";
        }
        exec(db, create + ")");
        exec(db,
             "CREATE TABLE sys_procedures(name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL);"
             "INSERT INTO sys_procedures VALUES('OpenResult', 'SELECT * FROM r')");
        exec(db, "BEGIN");
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, (insert + ")").c_str(), -1, &st, nullptr);
        for (int r = 0; r < rows; ++r) {
            const std::string no = "EX" + std::to_string(100000 + r);
            const std::string sheet = "HS" + std::to_string(r);
            const bool unreceived = r % 3 == 0;
            sqlite3_bind_text(st, 1, no.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, unreceived ? "*" : "", -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 3, "业务一科", -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 4, sheet.c_str(), -1, SQLITE_TRANSIENT);
            double lirun = 0;
            for (int c = 0; c < static_cast<int>(std::size(kMoney)); ++c) {
                const std::string_view name = kMoney[c];
                double v = static_cast<double>((r * 7919 + c * 104729) % 10000000) / 100.0;
                if (name == "lirun")
                    lirun = v;
                else if (name == "lirun_true")
                    v = unreceived ? lirun * static_cast<double>(r % 97 + 1) / 101.0 : 0.0;
                sqlite3_bind_double(st, 5 + c, v);
            }
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        exec(db, "COMMIT");
        // The embedded connection's page cache, so both sides read the rows from memory.
        exec(db, "PRAGMA cache_size=-32768");
        m_db = db;
    }
    ~ResultServer() { sqlite3_close(m_db); }
    ResultServer(const ResultServer&) = delete;
    ResultServer& operator=(const ResultServer&) = delete;

    QString folder() const { return m_dir.path(); }
    // A connection of our own to the same file, for the limit.
    sqlite3* db() const { return m_db; }

private:
    sqlite3* open() const {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(m_path.toUtf8().constData(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        return db;
    }
    static void exec(sqlite3* db, const std::string& sql) {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }

    QTemporaryDir m_dir;
    QString m_path;
    sqlite3* m_db = nullptr;
};

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

// The grid as the window shows it, on screen (offscreen platform), laid out once.
struct GridOver {
    explicit GridOver(db::DataSet& ds) {
        src.setDataSet(&ds);
        grid.setColumns(statementColumns());
        grid.setFrozenCols(2);
        grid.setDataSource(&src);
        grid.resize(1200, 700);
        grid.show();
        QCoreApplication::processEvents();
    }
    // One paint of everything on screen, done now, as after a change the user waits for.
    void paint() {
        grid.repaint();
        benchmark::DoNotOptimize(grid.footerText(3));
    }
    db::DataSource src;
    grid::DBGrid grid;
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Opening the window's result through the embedded driver (the procedure's rows), under the
// grid with the window's after-open handler (the money rule), then one paint; the whole is
// the time, and the limit is timed in the same iteration (limit_ms). open/limit is the
// opening without the paint over the limit, ratio the whole over it.
void BM_OpenUnderGrid(benchmark::State& state) {
    const ResultServer server(static_cast<int>(state.range(0)));
    db::Database database(QStringLiteral("DB_Bench"));
    database.Params().setLines({QStringLiteral("SERVER NAME=") + server.folder(),
                                QStringLiteral("DATABASE NAME=bench")});
    database.Open();
    db::StoredProc proc;
    proc.SetDatabaseName(QStringLiteral("DB_Bench"));
    proc.SetStoredProcName(QStringLiteral("dbo.OpenResult"));
    proc.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    GridOver view(proc);
    const auto reader = server::Server::open(server.folder().toStdString()).connect("bench");
    bench::ConsumingSink discarded;  // the server's side of an opening alone
    double opening = 0;
    double painting = 0;
    double limit = 0;
    double reading = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(stepAndSum(server.db()));
        const double l = msSince(start);
        start = std::chrono::steady_clock::now();
        reader->call("dbo.OpenResult", {}, &discarded);
        reading += msSince(start);
        start = std::chrono::steady_clock::now();
        proc.Close();
        proc.Open();
        const double o = msSince(start);
        start = std::chrono::steady_clock::now();
        view.paint();
        const double p = msSince(start);
        state.SetIterationTime((o + p) / 1000);
        opening += o;
        painting += p;
        limit += l;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["limit_ms"] = limit / n;
    state.counters["open_ms"] = opening / n;
    state.counters["paint_ms"] = painting / n;
    state.counters["open/limit"] = opening / limit;
    state.counters["ratio"] = (opening + painting) / limit;
    state.counters["read/limit"] = reading / limit;
    benchmark::DoNotOptimize(discarded.sum);
}

// Times `step` followed by one paint against one paint of the unchanged screen, both in
// every iteration (limit_ms: the paint alone).
template <typename Step>
void timeWithPaint(benchmark::State& state, GridOver& view, Step step) {
    double ours = 0;
    double limit = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        view.paint();
        const double l = msSince(start);
        start = std::chrono::steady_clock::now();
        step();
        view.paint();
        const double o = msSince(start);
        state.SetIterationTime(o / 1000);
        ours += o;
        limit += l;
    }
    state.counters["limit_ms"] = limit / static_cast<double>(state.iterations());
    state.counters["ratio"] = ours / limit;
}

// Find of the last shipment's number (the whole result walked) and a jump to the last row
// or back to the first, each with the grid's paint that shows where it landed.
void BM_FindLastShipment(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    GridOver view(ds);
    ds.Open();
    const QString last = QStringLiteral("ex%1").arg(100000 + state.range(0) - 1);
    timeWithPaint(state, view, [&] {
        ds.First();
        if (!ds.Locate(QStringLiteral("invoiceno"), last))
            state.SkipWithError("not found");
    });
}

void BM_JumpToLastOrFirst(benchmark::State& state) {
    SyntheticResult ds(static_cast<int>(state.range(0)));
    ds.AfterOpen = &Tfrmmain::StoredProc1AfterOpen;
    GridOver view(ds);
    ds.Open();
    bool atEnd = false;
    timeWithPaint(state, view, [&] {
        if (atEnd)
            ds.First();
        else
            ds.Last();
        atEnd = !atEnd;
    });
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
BENCHMARK(BM_FindLastShipment)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JumpToLastOrFirst)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
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
