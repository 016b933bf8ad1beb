// The statistics procedure on a 200,000-shipment demo server: one full year for the whole
// company, and one month for one department. The demo is generated once per machine into
// the temporary folder (it takes a while) and reused.
#include "server/demo/demobuilder.h"
#include "server/server.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

const std::string& demoFolder() {
    static const std::string folder = [] {
        const auto dir = std::filesystem::temp_directory_path() / "exportpnl-bench-200k";
        if (!std::filesystem::exists(dir / "Calvesteri.db")) {
            std::filesystem::remove_all(dir);
            demo::DemoOptions options;
            options.shipments = 200000;
            options.seed = 42;
            options.clock = "2025-12-15 10:00:00";
            demo::DemoBuilder(options).build(dir.string());
        }
        return dir.string();
    }();
    return folder;
}

void callStat(benchmark::State& state, const char* kind, const char* id, const char* m1,
              const char* m2) {
    const auto srv = server::Server::open(demoFolder());
    auto conn = srv.connect("Calvesteri");
    conn->call("dbo.ImportYYCWDATA", {{"@year1", server::Value::fromText("2003")},
                                      {"@year2", server::Value::fromText("2025")}},
               static_cast<server::RowSet*>(nullptr));
    std::size_t rows = 0;
    for (auto _ : state) {
        server::RowSet out;
        conn->call("dbo.StatCalvesteri",
                   {{"@ViewObject", server::Value::fromText(kind)},
                    {"@deptid", server::Value::fromText(id)},
                    {"@salerid", server::Value::fromText(id)},
                    {"@year1", server::Value::fromText("2025")},
                    {"@month1", server::Value::fromText(m1)},
                    {"@year2", server::Value::fromText("2025")},
                    {"@month2", server::Value::fromText(m2)},
                    {"@queryOption", server::Value::fromInt(0)}},
                   &out);
        rows = out.rows.size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_StatFullYearWholeCompany(benchmark::State& state) { callStat(state, "C", "", "1", "12"); }
void BM_StatOneMonthOneDepartment(benchmark::State& state) { callStat(state, "D", "01", "6", "6"); }

BENCHMARK(BM_StatFullYearWholeCompany)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatOneMonthOneDepartment)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
