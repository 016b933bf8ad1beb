// The functions registered on every connection. `+` in T-SQL joins text and adds numbers;
// SQLite's + only adds, so the rewriter sends every + through tsql_add().
#include "server/sqlfunctions.h"

#include "server/conversions.h"
#include "server/server.h"
#include "server/tokenizer.h"

#include <sqlite3.h>

#include <ctime>
#include <fstream>

namespace server {

namespace {

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

void tsqlAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int ta = sqlite3_value_type(argv[0]);
    const int tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const bool joinText =
        ta == SQLITE_TEXT || tb == SQLITE_TEXT || ta == SQLITE_BLOB || tb == SQLITE_BLOB;
    if (joinText) {
        const auto* a = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        const int na = sqlite3_value_bytes(argv[0]);
        const auto* b = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
        const int nb = sqlite3_value_bytes(argv[1]);
        std::string joined;
        joined.reserve(static_cast<std::size_t>(na + nb));
        joined.append(a ? a : "", static_cast<std::size_t>(na));
        joined.append(b ? b : "", static_cast<std::size_t>(nb));
        sqlite3_result_text64(ctx, joined.data(), joined.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        return;
    }
    if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
        long long sum = 0;
        if (!__builtin_add_overflow(sqlite3_value_int64(argv[0]), sqlite3_value_int64(argv[1]),
                                    &sum)) {
            sqlite3_result_int64(ctx, sum);
            return;
        }
    }
    sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) + sqlite3_value_double(argv[1]));
}

void getDate(sqlite3_context* ctx, int, sqlite3_value**) {
    const auto* folder = static_cast<const std::string*>(sqlite3_user_data(ctx));
    try {
        const std::string clock = SqlFunctions::serverClock(*folder);
        sqlite3_result_text(ctx, clock.c_str(), static_cast<int>(clock.size()), SQLITE_TRANSIENT);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

}  // namespace

void SqlFunctions::registerAll(sqlite3* db, const std::string* folder) {
    sqlite3_create_function(db, "tsql_add", 2,
                            SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, tsqlAdd,
                            nullptr, nullptr);
    sqlite3_create_function(db, "getdate", 0, SQLITE_UTF8, const_cast<std::string*>(folder),
                            getDate, nullptr, nullptr);
}

std::string SqlFunctions::serverClock(const std::string& folder) {
    std::ifstream ini(folder + "/server.ini");
    std::string line;
    std::string section;
    while (ini && std::getline(ini, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || !equalsNoCase(section, "server") ||
            !equalsNoCase(trim(line.substr(0, eq)), "clock"))
            continue;
        const std::string value = trim(line.substr(eq + 1));
        if (value.empty())
            break;
        const auto ms = parseDateTime(value);
        if (!ms)
            throw Error("server.ini in '" + folder + "': clock '" + value +
                        "' is not YYYY-MM-DD HH:MM:SS");
        return formatDateTime(*ms);
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

}  // namespace server
