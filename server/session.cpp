// Statement execution on an embedded connection, with the time limit enforced through
// SQLite's progress handler and errors that name the statement that failed.
#include "server/session.h"

#include "server/resultreader.h"
#include "server/rewriter.h"
#include "server/rowbuffer.h"
#include "server/sqlfunctions.h"
#include "server/tokenizer.h"

#include <sqlite3.h>
#include <sys/stat.h>

namespace server {

bool identify(OpenFile& file) {
    struct stat st {};
    if (::stat(file.path.c_str(), &st) != 0)
        return false;
    file.device = static_cast<unsigned long long>(st.st_dev);
    file.inode = static_cast<unsigned long long>(st.st_ino);
    return true;
}

namespace {

// Statements are quoted in errors; a runaway text is cut so the message stays readable.
std::string shown(std::string_view sql) {
    std::string_view s = sql;
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    if (s.size() > 300)
        return std::string(s.substr(0, 300)) + "...";
    return std::string(s);
}

}  // namespace

void StatementDeleter::operator()(sqlite3_stmt* stmt) const {
    sqlite3_finalize(stmt);
}

Session::Session(sqlite3* db, std::string database, std::string folder, std::vector<OpenFile> files)
    : m_db(db),
      m_database(std::move(database)),
      m_folder(std::move(folder)),
      m_files(std::move(files)) {
    SqlFunctions::registerAll(m_db, &m_folder);
    sqlite3_progress_handler(m_db, 1000, &Session::onProgress, this);
}

Session::~Session() {
    m_kept.clear();
    m_keptLookUps.clear();
    sqlite3_close_v2(m_db);
}

KeptBody& Session::kept(const std::string& procedure) {
    // A few procedures are called over and over; a caller running through many is not
    // left holding all of their statements.
    constexpr std::size_t kMostKept = 32;
    if (m_kept.size() >= kMostKept && m_kept.find(procedure) == m_kept.end())
        m_kept.clear();
    return m_kept[procedure];
}

void Session::startClock() {
    m_timedOut = false;
    if (m_timeLimit > 0)
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_timeLimit);
}

int Session::onProgress(void* self) {
    auto* s = static_cast<Session*>(self);
    if (s->m_timeLimit > 0 && std::chrono::steady_clock::now() > s->m_deadline) {
        s->m_timedOut = true;
        return 1;
    }
    return 0;
}

int Session::exec(const std::string& sql) const {
    if (m_trace)
        m_trace(TracedStatement{sql, {}});
    return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
}

void Session::trace(sqlite3_stmt* stmt, std::vector<std::pair<std::string, Value>> bound) const {
    if (!m_trace)
        return;
    const char* sql = sqlite3_sql(stmt);
    m_trace(TracedStatement{sql ? sql : "", std::move(bound)});
}

void Session::fail(const std::string& context) const {
    if (m_timedOut)
        throw Error(context + ": query timed out after " + std::to_string(m_timeLimit) + " s");
    throw Error(context + ": " + sqlite3_errmsg(m_db));
}

void Session::checkFiles() {
    for (const OpenFile& f : m_files) {
        OpenFile now = f;
        if (identify(now) && now.device == f.device && now.inode == f.inode)
            continue;
        m_lost = true;
        throw Error("database '" + f.name + "' on server '" + m_folder +
                    "' is no longer there: its file '" + f.path +
                    "' was removed, moved or replaced since the connection opened");
    }
}

bool Session::onlyBlank(std::string_view text) {
    for (const Token& t : tokenize(text)) {
        if (!t.is(";"))
            return false;
    }
    return true;
}

StatementPtr Session::prepareNext(const char*& pos, const char* end, const std::string& context) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, pos, static_cast<int>(end - pos), &raw, &tail);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK)
        fail(context);
    // An empty remainder must not stall the caller's loop.
    pos = tail && (raw || tail != pos) ? tail : end;
    return stmt;
}

sqlite3_stmt* Session::keptStatement(const std::string& sql) {
    StatementPtr& kept = m_keptLookUps[sql];
    if (kept) {
        sqlite3_reset(kept.get());
        sqlite3_clear_bindings(kept.get());
        return kept.get();
    }
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &raw, nullptr);
    kept.reset(raw);
    if (rc != SQLITE_OK) {
        m_keptLookUps.erase(sql);
        return nullptr;
    }
    return raw;
}

void Session::run(sqlite3_stmt* stmt, RowSink* sink, const std::string& context,
                  const std::vector<std::string>* castTypes) {
    int rc;
    try {
        rc = ResultReader(stmt, castTypes).readAll(sink);
    } catch (const Error& e) {
        throw Error(context + ": " + e.what());
    }
    if (rc != SQLITE_DONE)
        fail(context);
}

void Session::execute(std::string_view tsql, RowSink* sink) {
    checkFiles();
    startClock();
    const std::string context = "statement \"" + shown(tsql) + "\"";
    const std::string sql = Rewriter::rewrite(tsql);
    const char* pos = sql.data();
    const char* end = sql.data() + sql.size();
    RowBuffer held;
    bool streamed = false;
    while (pos < end) {
        StatementPtr stmt = prepareNext(pos, end, context);
        if (!stmt)
            continue;
        trace(stmt.get());
        if (sqlite3_column_count(stmt.get()) == 0 || !sink) {
            run(stmt.get(), nullptr, context);
        } else if (onlyBlank(std::string_view(pos, static_cast<std::size_t>(end - pos)))) {
            run(stmt.get(), sink, context);
            streamed = true;
        } else {
            run(stmt.get(), &held, context);
        }
    }
    if (!streamed && held.hasColumns())
        held.replay(*sink);
}

}  // namespace server
