// Temporary server folders for tests: raw SQLite access to the folder's databases,
// procedure registration and the server.ini clock.
#include "serverfixture.h"

#include "framework/text/errors.h"

#include <sqlite3.h>

#include <fstream>

namespace testsupport {

namespace {

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    const QString text = QString::fromStdString(what) + QStringLiteral(": ") +
                         QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    throw EDatabaseError(text);
}

}  // namespace

TempServer::TempServer() : m_folder(m_dir.path().toStdString()) {
    if (!m_dir.isValid())
        throw EDatabaseError(QStringLiteral("cannot create a temporary server folder"));
}

TempServer::~TempServer() = default;

std::string TempServer::databasePath(std::string_view database) const {
    return m_folder + "/" + std::string(database) + ".db";
}

void TempServer::exec(std::string_view database, std::string_view sql) {
    const std::string path = databasePath(database);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
        fail(db, "open " + path);
    sqlite3_busy_timeout(db, 5000);
    // Test data need not survive a power cut: skip the syncs that make set-up slow.
    if (sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF", nullptr, nullptr,
                     nullptr) != SQLITE_OK)
        fail(db, "journal mode of " + path);
    const std::string text(sql);
    if (sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db, "in " + std::string(database) + ": " + text);
    sqlite3_close(db);
}

void TempServer::addProcedure(std::string_view database, std::string_view name,
                              std::string_view body) {
    auto quote = [](std::string_view s) {
        std::string out = "'";
        for (char c : s) {
            out += c;
            if (c == '\'')
                out += '\'';
        }
        return out + "'";
    };
    exec(database,
         "CREATE TABLE IF NOT EXISTS sys_procedures(name TEXT PRIMARY KEY COLLATE NOCASE, "
         "body TEXT NOT NULL);\n"
         "INSERT OR REPLACE INTO sys_procedures(name, body) VALUES(" +
             quote(name) + ", " + quote(body) + ");");
}

void TempServer::setClock(std::string_view clock) {
    std::ofstream ini(m_folder + "/server.ini", std::ios::trunc);
    ini << "[server]\nclock=" << clock << "\n";
    if (!ini)
        throw EDatabaseError(QStringLiteral("cannot write server.ini in ") + qfolder());
}

}  // namespace testsupport
