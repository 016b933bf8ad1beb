// Server folders and connections: finding <name>.db case-insensitively, opening it without
// ever creating a file, attaching the folder's other databases under their own names.
#include "server/server.h"

#include "server/procedurerunner.h"
#include "server/rowbuffer.h"
#include "server/session.h"
#include "server/tokenizer.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>

namespace server {

namespace fs = std::filesystem;

namespace {

struct DatabaseFile {
    std::string name;  // file name without ".db"
    std::string path;
};

std::vector<DatabaseFile> databaseFiles(const std::string& folder) {
    std::vector<DatabaseFile> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc))
            continue;
        const fs::path& p = it->path();
        if (!equalsNoCase(p.extension().string(), ".db") || p.stem().string().empty())
            continue;
        out.push_back({p.stem().string(), p.string()});
    }
    std::sort(out.begin(), out.end(),
              [](const DatabaseFile& a, const DatabaseFile& b) { return a.name < b.name; });
    return out;
}

// Reads the schema, which is where SQLite notices a file that is not a database.
int probe(sqlite3* db, const std::string& schema) {
    const std::string sql = "SELECT count(*) FROM " + quoteIdentifier(schema) + ".sqlite_master";
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

// SQLite takes an empty file for an empty database and writes a header into it on the
// first change; a server that promises to alter nothing must not open one.
bool isEmptyFile(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return !ec && size == 0;
}

OpenFile openFile(const DatabaseFile& f) {
    OpenFile file{f.name, f.path, 0, 0};
    identify(file);
    return file;
}

// Attaches the folder's other databases; returns those that stayed attached.
std::vector<OpenFile> attachOthers(sqlite3* db, const std::vector<DatabaseFile>& files,
                                   const DatabaseFile& main) {
    std::vector<OpenFile> attached;
    for (const DatabaseFile& f : files) {
        if (&f == &main || equalsNoCase(f.name, "main") || equalsNoCase(f.name, "temp") ||
            isEmptyFile(f.path))
            continue;
        sqlite3_stmt* raw = nullptr;
        const std::string sql = "ATTACH DATABASE ?1 AS " + quoteIdentifier(f.name);
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            continue;
        }
        StatementPtr stmt(raw);
        sqlite3_bind_text(raw, 1, f.path.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(raw) != SQLITE_DONE)
            continue;  // e.g. two names differing only in case, or too many databases
        // An unreadable neighbour must not break every statement of this connection.
        if (probe(db, f.name) != SQLITE_OK)
            sqlite3_exec(db, ("DETACH DATABASE " + quoteIdentifier(f.name)).c_str(), nullptr,
                         nullptr, nullptr);
        else
            attached.push_back(openFile(f));
    }
    return attached;
}

}  // namespace

int RowSet::columnIndex(std::string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (equalsNoCase(columns[i].name, name))
            return static_cast<int>(i);
    }
    return -1;
}

struct Connection::Impl {
    std::unique_ptr<Session> session;
};

Connection::Connection(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Connection::~Connection() = default;

void Connection::execute(std::string_view sql, RowSink* sink) {
    m_impl->session->execute(sql, sink);
}

RowSet Connection::query(std::string_view sql) {
    RowBuffer buffer;
    m_impl->session->execute(sql, &buffer);
    return buffer.take();
}

CallResult Connection::call(std::string_view procedure, const std::vector<ProcParam>& params,
                            RowSink* sink) {
    return ProcedureRunner(*m_impl->session).call(procedure, params, sink);
}

CallResult Connection::call(std::string_view procedure, const std::vector<ProcParam>& params,
                            RowSet* rows) {
    RowBuffer buffer;
    CallResult result = call(procedure, params, rows ? &buffer : nullptr);
    if (rows)
        *rows = buffer.take();
    return result;
}

bool Connection::lost() const {
    return m_impl->session->lost();
}

const std::string& Connection::databaseName() const {
    return m_impl->session->database();
}

void Connection::setQueryTimeLimit(int seconds) {
    m_impl->session->setTimeLimit(seconds);
}

void Connection::setStatementTrace(StatementTrace trace) {
    m_impl->session->setTrace(std::move(trace));
}

Server Server::open(const std::string& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec))
        throw Error("server folder '" + folder + "' does not exist");
    if (!fs::is_directory(folder, ec))
        throw Error("server '" + folder + "' is not a folder");
    return Server(folder);
}

bool Server::isServerFolder(const std::string& name) {
    std::error_code ec;
    return !name.empty() && fs::is_directory(name, ec);
}

std::vector<std::string> Server::databases() const {
    std::vector<std::string> names;
    for (const DatabaseFile& f : databaseFiles(m_folder)) names.push_back(f.name);
    return names;
}

std::unique_ptr<Connection> Server::connect(const std::string& database) const {
    if (!isServerFolder(m_folder))
        throw Error("server folder '" + m_folder + "' does not exist");
    const std::vector<DatabaseFile> files = databaseFiles(m_folder);
    const auto main = std::find_if(files.begin(), files.end(), [&](const DatabaseFile& f) {
        return equalsNoCase(f.name, database);
    });
    const std::string where = "database '" + database + "' on server '" + m_folder + "'";
    if (database.empty() || main == files.end())
        throw Error("cannot open " + where + ": no such database");
    if (isEmptyFile(main->path))
        throw Error("cannot open " + where + ": its file '" + main->path +
                    "' is empty (0 bytes), not a database");

    sqlite3* db = nullptr;
    // READWRITE without CREATE: a connection never makes a file appear. A connection is
    // used by the one thread that holds it, so SQLite's per-call mutex (a quarter of the
    // instructions of reading a result) is left out.
    if (sqlite3_open_v2(main->path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw Error("cannot open " + where + ": " + why);
    }
    // The busy time-out first: reading the schema already waits for another process's lock.
    sqlite3_busy_timeout(db, 5000);
    sqlite3_extended_result_codes(db, 0);
    if (probe(db, "main") != SQLITE_OK) {
        const std::string why = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        throw Error("cannot open " + where + ": " + why);
    }
    // WAL lets several connections read while one writes; only switched when not yet set,
    // so an already prepared database file is left as it is.
    sqlite3_stmt* raw = nullptr;
    bool wal = false;
    if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &raw, nullptr) == SQLITE_OK &&
        sqlite3_step(raw) == SQLITE_ROW) {
        const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        wal = mode && equalsNoCase(mode, "wal");
    }
    sqlite3_finalize(raw);
    if (!wal)
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    // In WAL mode NORMAL keeps the file sound and saves a sync per statement.
    // Procedures build their results in temporary tables: keep those in memory.
    sqlite3_exec(db,
                 "PRAGMA synchronous=NORMAL; PRAGMA temp_store=MEMORY; PRAGMA cache_size=-32768",
                 nullptr, nullptr, nullptr);
    std::vector<OpenFile> open{openFile(*main)};
    for (OpenFile& f : attachOthers(db, files, *main)) open.push_back(std::move(f));

    auto impl = std::make_unique<Connection::Impl>();
    impl->session = std::make_unique<Session>(db, main->name, m_folder, std::move(open));
    return std::unique_ptr<Connection>(new Connection(std::move(impl)));
}

}  // namespace server
