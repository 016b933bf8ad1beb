// Demo server generation. Amounts are worked out in cents with integer arithmetic so that
// every stored amount has exactly two decimals, and the statement's sums can be checked
// to the cent.
#include "server/demo/demobuilder.h"

#include "server/conversions.h"
#include "server/demo/democatalog.h"
#include "server/demo/scripts.h"
#include "server/server.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

namespace demo {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kDayMs = 86400000;

// A database file being written by the generator (the server itself never creates files).
class Writer {
public:
    explicit Writer(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            fail("create " + path);
        exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; BEGIN");
    }
    ~Writer() {
        for (auto& [name, stmt] : m_inserts) sqlite3_finalize(stmt);
        sqlite3_close_v2(m_db);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void exec(const std::string& sql) {
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(sql.substr(0, 120));
    }
    void commit() { exec("COMMIT"); }

    // Inserts one row; values are text, or REAL when `real` flags them.
    void insert(const std::string& table, const std::vector<std::string>& values,
                const std::vector<bool>& real = {}) {
        sqlite3_stmt*& stmt = m_inserts[table];
        if (!stmt) {
            std::string sql = "INSERT INTO " + table + " VALUES(";
            for (std::size_t i = 0; i < values.size(); ++i) sql += i ? ",?" : "?";
            if (sqlite3_prepare_v2(m_db, (sql + ")").c_str(), -1, &stmt, nullptr) != SQLITE_OK)
                fail(sql);
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            if (i < real.size() && real[i])
                sqlite3_bind_double(stmt, at, std::stod(values[i]));
            else
                sqlite3_bind_text(stmt, at, values[i].c_str(), -1, SQLITE_TRANSIENT);
        }
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail("insert into " + table);
        sqlite3_reset(stmt);
    }
    void finish() {
        for (auto& [name, stmt] : m_inserts) sqlite3_finalize(stmt);
        m_inserts.clear();
        commit();
    }

private:
    [[noreturn]] void fail(const std::string& what) {
        throw server::Error("demo: " + what + ": " + (m_db ? sqlite3_errmsg(m_db) : "no memory"));
    }
    sqlite3* m_db = nullptr;
    std::map<std::string, sqlite3_stmt*> m_inserts;  // prepared INSERT per table
};

std::string script(std::string_view name) {
    for (const Script& s : scripts()) {
        if (s.name == name)
            return std::string(s.text);
    }
    throw server::Error("demo: script " + std::string(name) + " is missing");
}

std::string cents(std::int64_t c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%02lld", c < 0 ? "-" : "",
                  static_cast<long long>((c < 0 ? -c : c) / 100),
                  static_cast<long long>((c < 0 ? -c : c) % 100));
    return buf;
}

// a * num / den rounded half away from zero (all amounts are positive here).
std::int64_t scaled(std::int64_t a, std::int64_t num, std::int64_t den) {
    return (a * num * 2 + den) / (den * 2);
}

int yearOf(std::int64_t ms) {
    return std::stoi(server::formatDateTime(ms).substr(0, 4));
}
int monthOf(std::int64_t ms) {
    return std::stoi(server::formatDateTime(ms).substr(5, 2));
}
std::int64_t dayStart(int y, int m, int d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return *server::parseDateTime(buf);
}

struct Shipment {
    std::int64_t date = 0;  // ms, midnight
    const Person* saler = nullptr;
};

}  // namespace

void DemoBuilder::build(const std::string& dir) const {
    std::error_code ec;
    if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec)))
        throw server::Error("create-demo: '" + dir +
                            "' exists and is not an empty folder; nothing was changed");
    if (m_options.shipments < 0)
        throw server::Error("create-demo: the number of shipments cannot be negative");

    std::int64_t now;
    if (!m_options.clock.empty()) {
        const auto clock = server::parseDateTime(m_options.clock);
        if (!clock || !server::looksLikeDateTime(m_options.clock))
            throw server::Error("create-demo: clock '" + m_options.clock +
                                "' is not YYYY-MM-DD HH:MM:SS");
        now = *clock;
    } else {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        localtime_r(&t, &local);
        now = static_cast<std::int64_t>(timegm(&local)) * 1000;
    }
    const std::int64_t today = now - (now % kDayMs + kDayMs) % kDayMs;
    const int thisYear = yearOf(today);

    fs::create_directories(dir, ec);
    if (ec)
        throw server::Error("create-demo: cannot create '" + dir + "': " + ec.message());
    if (!m_options.clock.empty()) {
        std::ofstream ini(dir + "/server.ini");
        ini << "[server]\nclock=" << server::formatDateTime(now) << "\n";
    }

    const auto& depts = DemoCatalog::departments();
    const auto& people = DemoCatalog::people();

    {
        Writer kernel(dir + "/" + kKernelDb + ".db");
        kernel.exec(script("kernel"));
        for (const Department& d : depts) kernel.insert("dept", {d.id, d.name, d.classid});
        for (const Person& p : people) kernel.insert("users", {p.id, p.name, p.classid, p.dept});
        kernel.finish();
    }
    {
        Writer pubdict(dir + "/" + kPubdictDb + ".db");
        pubdict.exec(script("pubdict"));
        std::vector<std::string> row;
        for (const auto& [column, value] : DemoCatalog::company()) row.push_back(value);
        pubdict.insert("corp_set", row);
        pubdict.finish();
    }

    Writer biz(dir + "/" + kBusinessDb + ".db");
    biz.exec(script("business"));
    biz.exec(
        "CREATE TABLE sys_procedures(name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)");
    for (const char* proc : {"StatCalvesteri", "ImportYYCWDATA", "GetCwMaxMinYear",
                             "getCWSalersList", "CWDept2YWDept_Format1", "getCWDeptName"})
        biz.insert("sys_procedures", {proc, script(proc)});
    std::vector<const Person*> salers;
    for (const Department& d : depts) {
        if (d.classid == "B")
            biz.insert("ywdept", {d.id, d.name});
    }
    for (const Person& p : people) {
        if (p.classid == "S")
            salers.push_back(&p);
    }
    for (int y = kFirstFinancialYear; y <= thisYear; ++y) {
        biz.insert("cw_years", {std::to_string(y)});
        for (const Person* p : salers) {
            biz.insert("cw_dept", {std::to_string(y), p->cwCode, p->name});
            biz.insert("cw_deptmap", {std::to_string(y), p->cwCode, p->dept});
        }
    }

    Random rnd(m_options.seed);
    const int n = m_options.shipments;
    const int kernelEra = n == 0 ? 0 : std::max(1, n / 20);
    const std::int64_t eraStart = dayStart(kFirstFinancialYear, 1, 1);
    const std::int64_t eraEnd = dayStart(kFirstFinancialYear, 12, 31);
    const std::int64_t recentStart = dayStart(thisYear - 2, 1, 1);
    std::vector<Shipment> shipments(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Shipment& s = shipments[static_cast<std::size_t>(i)];
        const bool old = i < kernelEra;
        s.date = (old ? rnd.between(eraStart / kDayMs, eraEnd / kDayMs)
                      : rnd.between(recentStart / kDayMs, today / kDayMs)) *
                 kDayMs;
        s.saler = salers[static_cast<std::size_t>(
            rnd.between(0, static_cast<std::int64_t>(salers.size()) - 1))];
    }
    std::stable_sort(shipments.begin(), shipments.end(),
                     [](const Shipment& a, const Shipment& b) { return a.date < b.date; });

    const std::vector<bool> shipmentReal = {false, false, false, false, false, false,
                                            true,  true,  true,  true,  true,  true,
                                            true,  true,  true,  true,  false};
    const std::vector<bool> receiptReal = {false, false, false, false, false, false, true, true};
    int seq = 0;
    int seqYear = 0;
    std::int64_t receiptId = 0;
    for (const Shipment& s : shipments) {
        const int year = yearOf(s.date);
        const int month = monthOf(s.date);
        seq = year == seqYear ? seq + 1 : 1;
        seqYear = year;
        char invoice[32], costing[32];
        std::snprintf(invoice, sizeof invoice, "%02dEX%05d", year % 100, seq);
        std::snprintf(costing, sizeof costing, "HS%02d-%05d", year % 100, seq);

        const std::int64_t rate = year < 2005 ? 82770
                                              : 71000 + (year % 7) * 500 +
                                                    rnd.between(-300, 300);  // RMB per USD, 1/10000
        const std::int64_t srUSD = rnd.between(200000, 15000000);
        const std::int64_t yfUSD = scaled(srUSD, rnd.between(100, 600), 10000);
        const std::int64_t bfUSD = scaled(srUSD, rnd.between(10, 50), 10000);
        const std::int64_t yjUSD =
            rnd.unit() < 0.4 ? scaled(srUSD, rnd.between(100, 500), 10000) : 0;
        const std::int64_t srRMB = scaled(srUSD, rate, 10000);
        const std::int64_t cb = scaled(srRMB, rnd.between(7500, 10200), 10000);
        const std::string rateText =
            std::to_string(rate / 10000) + "." + std::to_string(10000 + rate % 10000).substr(1);
        biz.insert("shipment",
                   {invoice, server::formatDateTime(s.date), std::to_string(year * 100 + month),
                    s.saler->dept, s.saler->id, s.saler->cwCode, rateText, cents(srUSD),
                    cents(srRMB), cents(yfUSD), cents(scaled(yfUSD, rate, 10000)), cents(bfUSD),
                    cents(scaled(bfUSD, rate, 10000)), cents(yjUSD),
                    cents(scaled(yjUSD, rate, 10000)), cents(cb), costing},
                   shipmentReal);

        // Foreign exchange: most older shipments are paid in full, recent ones often not yet.
        const bool recent = today - s.date <= 120 * kDayMs;
        const double r = rnd.unit();
        std::vector<std::int64_t> parts;
        if (r < (recent ? 0.3 : 0.7)) {
            if (rnd.unit() < 0.3) {
                const std::int64_t first = scaled(srUSD, rnd.between(30, 70), 100);
                parts = {first, srUSD - first};
            } else {
                parts = {srUSD};
            }
        } else if (r < (recent ? 0.5 : 0.85)) {
            parts = {scaled(srUSD, rnd.between(30, 90), 100)};
        }
        std::int64_t when = s.date;
        for (std::int64_t usd : parts) {
            when += rnd.between(15, 60) * kDayMs;
            if (when > today)
                break;
            biz.insert("cw_receipts",
                       {std::to_string(++receiptId), std::to_string(yearOf(when)),
                        std::to_string(monthOf(when)), server::formatDateTime(when), invoice,
                        s.saler->cwCode, cents(usd), cents(scaled(usd, rate, 10000))},
                       receiptReal);
        }
    }
    // The generated receipts are where the demo starts: no import has taken any yet, so
    // the first one takes a full pass and needs no change marks.
    biz.exec("DELETE FROM cw_receipts_changes");
    biz.finish();
}

}  // namespace demo
