// The statistics run on demo servers of 20,000, 200,000 and 1,000,000 shipments, on the
// embedded server and on bare SQLite side by side. Each case times the embedded call (the
// benchmark's time), then replays the very statements that call handed to SQLite, caught
// with the connection's statement trace, through the sqlite3 C API on the same files
// (counter bare_ms); "embedded/bare" is their ratio. The statistics are also timed against
// one hand-written statement of the same rows (hand_ms, "embedded/hand"), prepared for
// every call, and once more kept prepared (hand_kept_ms) as the server keeps a procedure's
// statements between calls: the floor of what any call could cost. The demos are generated once per
// machine, user and version of the demo's SQL into the temporary folder, outside the timing.
#include "consumingsink.h"
#include "server/demo/demobuilder.h"
#include "server/demo/scripts.h"
#include "server/server.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using server::ProcParam;
using server::TracedStatement;
using server::Value;

// The demo's schema and procedures decide what is measured: a changed script gets a
// fresh demo, and the stale one of the same size is removed.
std::string scriptsHash() {
    std::uint64_t h = 1469598103934665603ull;
    for (const demo::Script& s : demo::scripts()) {
        for (const char c : s.text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char buf[20];
    std::snprintf(buf, sizeof buf, "%08llx", static_cast<unsigned long long>(h & 0xffffffffu));
    return buf;
}

const std::string& demoFolder(int shipments) {
    static std::map<int, std::string> folders;
    auto& folder = folders[shipments];
    if (!folder.empty())
        return folder;
    // One set per user: another user's demos cannot be written (every run imports).
    const std::string prefix = "exportpnl-bench-" + std::to_string(getuid()) + "-" +
                               std::to_string(shipments / 1000) + "k-";
    const fs::path tmp = fs::temp_directory_path();
    const fs::path dir = tmp / (prefix + scriptsHash());
    if (!fs::exists(dir / "Calvesteri.db")) {
        for (const auto& entry : fs::directory_iterator(tmp)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                fs::remove_all(entry.path());
        }
        std::fprintf(stderr, "generating a %d-shipment demo in %s ...\n", shipments, dir.c_str());
        demo::DemoOptions options;
        options.shipments = shipments;
        options.seed = 42;
        options.clock = "2025-12-15 10:00:00";
        demo::DemoBuilder(options).build(dir.string());
    }
    folder = dir.string();
    return folder;
}

// Takes every value as the library's row store would, without keeping it.
struct Call {
    const char* procedure;
    std::vector<ProcParam> params;
};

// Bare SQLite on the business database: the connection settings the embedded server uses,
// then prepare, bind by name, step, read every column, finalize.
class Bare {
public:
    explicit Bare(const std::string& folder) {
        const std::string path = folder + "/Calvesteri.db";
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
        sqlite3_busy_timeout(m_db, 5000);
        exec("PRAGMA synchronous=NORMAL; PRAGMA temp_store=MEMORY; PRAGMA cache_size=-32768");
    }
    ~Bare() {
        sqlite3_finalize(m_kept);
        sqlite3_close_v2(m_db);
    }
    Bare(const Bare&) = delete;
    Bare& operator=(const Bare&) = delete;

    void exec(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sql) + ": " + sqlite3_errmsg(m_db));
    }

    void run(const std::vector<TracedStatement>& statements) {
        for (const TracedStatement& t : statements) {
            const char* pos = t.sql.c_str();
            while (*pos) {
                sqlite3_stmt* stmt = nullptr;
                const char* tail = nullptr;
                if (sqlite3_prepare_v2(m_db, pos, -1, &stmt, &tail) != SQLITE_OK)
                    throw std::runtime_error(t.sql + ": " + sqlite3_errmsg(m_db));
                pos = tail;
                if (!stmt)
                    continue;
                for (const auto& [name, value] : t.bound) bind(stmt, name, value);
                std::size_t rows = 0;
                const int rc = stepAll(stmt, rows);
                sqlite3_finalize(stmt);
                if (rc != SQLITE_DONE)
                    throw std::runtime_error(t.sql + ": " + sqlite3_errmsg(m_db));
            }
        }
    }

    // One statement, its parameters bound by position, every column read. Kept
    // prepared from one call to the next where `keep`, else prepared afresh as a client
    // sending it would have it. Returns the rows.
    std::size_t runPrepared(const char* sql, const std::vector<Value>& params, bool keep) {
        if (!keep || !m_kept || m_keptSql != sql) {
            sqlite3_finalize(m_kept);
            m_kept = nullptr;
            if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_kept, nullptr) !=
                SQLITE_OK)
                throw std::runtime_error(std::string(sql) + ": " + sqlite3_errmsg(m_db));
            m_keptSql = sql;
        }
        for (std::size_t i = 0; i < params.size(); ++i)
            bindAt(m_kept, static_cast<int>(i) + 1, params[i]);
        std::size_t rows = 0;
        const int rc = stepAll(m_kept, rows);
        sqlite3_reset(m_kept);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string(sql) + ": " + sqlite3_errmsg(m_db));
        return rows;
    }

    std::uint64_t sum = 0;

private:
    // Steps to the end, reading every column of every row; the last step's result.
    int stepAll(sqlite3_stmt* stmt, std::size_t& rows) {
        const int n = sqlite3_column_count(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            ++rows;
            for (int i = 0; i < n; ++i) {
                switch (sqlite3_column_type(stmt, i)) {
                    case SQLITE_INTEGER:
                        sum += static_cast<std::uint64_t>(sqlite3_column_int64(stmt, i));
                        break;
                    case SQLITE_FLOAT:
                        sum += static_cast<std::uint64_t>(sqlite3_column_double(stmt, i));
                        break;
                    case SQLITE_NULL:
                        break;
                    default:
                        sqlite3_column_text(stmt, i);
                        sum += static_cast<std::uint64_t>(sqlite3_column_bytes(stmt, i));
                }
            }
        }
        return rc;
    }
    static void bind(sqlite3_stmt* stmt, const std::string& name, const Value& v) {
        const int i = sqlite3_bind_parameter_index(stmt, name.c_str());
        if (i != 0)
            bindAt(stmt, i, v);
    }
    static void bindAt(sqlite3_stmt* stmt, int i, const Value& v) {
        switch (v.kind) {
            case Value::Kind::Null:
                sqlite3_bind_null(stmt, i);
                break;
            case Value::Kind::Integer:
                sqlite3_bind_int64(stmt, i, v.integer);
                break;
            case Value::Kind::Float:
                sqlite3_bind_double(stmt, i, v.real);
                break;
            case Value::Kind::Currency:
                sqlite3_bind_double(stmt, i, static_cast<double>(v.integer) / 10000.0);
                break;
            case Value::Kind::Text:
            case Value::Kind::DateTime:
                sqlite3_bind_text(stmt, i, v.text.c_str(), -1, SQLITE_TRANSIENT);
                break;
        }
    }
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_kept = nullptr;
    std::string m_keptSql;
};

Value text(const char* s) {
    return Value::fromText(s);
}

Call maxMinYear() {
    return {"dbo.GetCwMaxMinYear", {}};
}

// The statistics run imports the financial system's whole year range first.
Call import() {
    return {"dbo.ImportYYCWDATA", {{"@year1", text("2003")}, {"@year2", text("2025")}}};
}

Call statistics(const char* kind, const char* id, const char* m1, const char* m2) {
    return {"dbo.StatCalvesteri",
            {{"@ViewObject", text(kind)},
             {"@deptid", text(id)},
             {"@salerid", text(id)},
             {"@year1", text("2025")},
             {"@month1", text(m1)},
             {"@year2", text("2025")},
             {"@month2", text(m2)},
             {"@queryOption", Value::fromInt(0)}}};
}

// The statistics' rows as one would write them for one view object: a single SELECT of the
// same columns in the same order, parameters bound by position (from month, to month, and
// the department where there is one).
#define HAND_COLUMNS                                                                         \
    "SELECT invoiceno, CASE WHEN recv_usd < srUSD THEN '*' ELSE '' END AS UnExchTag,"         \
    " coalesce(d.deptname, s.dept) AS dept, srUSD, srRMB, yfUSD, yfRMB, bfUSD, bfRMB,"        \
    " yjUSD, yjRMB, cb, value_no, lirun,"                                                     \
    " lirun * CASE WHEN srUSD > 0 AND recv_usd < srUSD THEN (srUSD - recv_usd) / srUSD"       \
    " ELSE 0 END AS lirun_true, recv_usd AS shouhui"                                          \
    " FROM (SELECT s.*, s.srRMB - s.yfRMB - s.bfRMB - s.yjRMB - s.cb AS lirun,"               \
    " (SELECT total(r.usd) FROM yw_receipts r WHERE r.invoiceno = s.invoiceno) AS recv_usd"   \
    " FROM shipment s WHERE "
#define HAND_ORDER " LIMIT -1 OFFSET 0) s LEFT JOIN ywdept d ON d.deptid = s.dept ORDER BY invoiceno"

struct Query {
    const char* name;
    Call call;
    const char* hand;
    std::vector<Value> handParams;
};

const Query kQueries[] = {
    {"FullYearWholeCompany", statistics("C", "", "1", "12"),
     HAND_COLUMNS "s.ym BETWEEN ?1 AND ?2" HAND_ORDER,
     {Value::fromInt(202501), Value::fromInt(202512)}},
    {"OneMonthOneDepartment", statistics("D", "01", "6", "6"),
     HAND_COLUMNS "s.dept = ?3 AND s.ym BETWEEN ?1 AND ?2" HAND_ORDER,
     {Value::fromInt(202506), Value::fromInt(202506), text("01")}},
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Times `calls` on both sides; `between` runs untimed before each side (e.g. a change the
// import should see).
void compare(benchmark::State& state, int shipments, const std::vector<Call>& calls,
             const std::function<void(Bare&)>& between = {}, const Query* hand = nullptr) {
    const std::string& folder = demoFolder(shipments);
    const auto srv = server::Server::open(folder);
    auto conn = srv.connect("Calvesteri");
    Bare bare(folder);
    bench::ConsumingSink sink;
    // Brings the imported receipts up to date, so every timed import is a repeated one.
    conn->call(import().procedure, import().params, static_cast<server::RowSet*>(nullptr));

    if (between)
        between(bare);
    std::vector<TracedStatement> statements;
    conn->setStatementTrace([&](const TracedStatement& t) { statements.push_back(t); });
    for (const Call& c : calls) conn->call(c.procedure, c.params, &sink);
    conn->setStatementTrace({});

    if (hand) {
        // The floor must return what the statistics return.
        const std::size_t rows = bare.runPrepared(hand->hand, hand->handParams, false);
        if (rows != sink.rows) {
            state.SkipWithError("the hand-written statement's rows differ from the statistics'");
            return;
        }
    }
    double embeddedMs = 0;
    double bareMs = 0;
    double handMs = 0;
    double handKeptMs = 0;
    for (auto _ : state) {
        if (between)
            between(bare);
        auto start = std::chrono::steady_clock::now();
        for (const Call& c : calls) conn->call(c.procedure, c.params, &sink);
        const double e = msSince(start);
        if (between)
            between(bare);
        start = std::chrono::steady_clock::now();
        bare.run(statements);
        const double b = msSince(start);
        state.SetIterationTime(e / 1000.0);
        embeddedMs += e;
        bareMs += b;
        if (hand) {
            start = std::chrono::steady_clock::now();
            bare.runPrepared(hand->hand, hand->handParams, false);
            handMs += msSince(start);
            start = std::chrono::steady_clock::now();
            bare.runPrepared(hand->hand, hand->handParams, true);
            handKeptMs += msSince(start);
        }
    }
    if (between)
        between(bare);  // an even number of changes: the demo is left as it was
    benchmark::DoNotOptimize(sink.sum + bare.sum);
    const double n = static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(sink.rows);
    state.counters["bare_ms"] = bareMs / n;
    state.counters["embedded/bare"] = bareMs > 0 ? embeddedMs / bareMs : 0;
    state.counters["statements"] = static_cast<double>(statements.size());
    if (hand) {
        state.counters["hand_ms"] = handMs / n;
        state.counters["hand_kept_ms"] = handKeptMs / n;
        state.counters["embedded/hand"] = handMs > 0 ? embeddedMs / handMs : 0;
        state.counters["embedded/hand_kept"] = handKeptMs > 0 ? embeddedMs / handKeptMs : 0;
    }
}

// One receipt's amount moves by a cent and back, so each side's import has one change to
// take and the demo stays as generated.
std::function<void(Bare&)> touchOneReceipt() {
    auto up = std::make_shared<bool>(false);
    return [up](Bare& bare) {
        *up = !*up;
        bare.exec(*up ? "UPDATE cw_receipts SET usd = usd + 0.01 WHERE receipt_id = 1000"
                      : "UPDATE cw_receipts SET usd = usd - 0.01 WHERE receipt_id = 1000");
    };
}

void registerAll() {
    for (const int shipments : {20000, 200000, 1000000}) {
        const std::string size = "/" + std::to_string(shipments / 1000) + "k";
        for (const Query& q : kQueries) {
            benchmark::RegisterBenchmark(
                ("Statistics/" + std::string(q.name) + size).c_str(),
                [shipments, &q](benchmark::State& s) {
                    compare(s, shipments, {q.call}, {}, &q);
                })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark(
            ("Import/Unchanged" + size).c_str(),
            [shipments](benchmark::State& s) { compare(s, shipments, {import()}); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Import/OneReceiptChanged" + size).c_str(),
                                     [shipments](benchmark::State& s) {
                                         compare(s, shipments, {import()}, touchOneReceipt());
                                     })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        for (const Query& q : kQueries) {
            benchmark::RegisterBenchmark(
                ("Run/" + std::string(q.name) + size).c_str(),
                [shipments, q](benchmark::State& s) {
                    compare(s, shipments, {maxMinYear(), import(), q.call});
                })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
