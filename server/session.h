// One open embedded connection: the SQLite handle with the server's functions, the time
// limit, and the running of rewritten T-SQL. Connection and ProcedureRunner work through it.
#pragma once

#include "server/server.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace server {

struct StatementDeleter {
    void operator()(sqlite3_stmt* stmt) const;
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// A procedure body's statements kept prepared from one call to the next, as a server keeps
// a procedure's compiled plan: preparing the statistics' statement costs as much as running
// it over a month. SQLite prepares a kept statement again by itself when the schema changed.
struct KeptStatement {
    StatementPtr stmt;
    std::size_t end = 0;                 // offset just past the statement in the body
    std::string context;                 // how an error names the statement
    std::vector<std::string> castTypes;  // selectCastTypes() of its text, when it has columns
    bool last = false;                   // only blanks and comments follow it in the body
};
struct KeptBody {
    std::string body;  // the text the statements were prepared from
    std::vector<KeptStatement> statements;
};

// A database file a connection has open, as it was when opened.
struct OpenFile {
    std::string name;  // database name
    std::string path;
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

// The file's identity now; false when it cannot be read.
bool identify(OpenFile& file);

class Session {
public:
    // Takes over an open handle whose attachments are done; `files` are the databases it
    // has open (main first).
    Session(sqlite3* db, std::string database, std::string folder,
            std::vector<OpenFile> files = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    sqlite3* db() const { return m_db; }
    const std::string& database() const { return m_database; }
    const std::string& folder() const { return m_folder; }

    void setTimeLimit(int seconds) { m_timeLimit = seconds; }
    // Arms the time limit for one request (a statement text or a procedure call).
    void startClock();
    // Lifts the limit until the next startClock(): clean-up after a failure must not be cut.
    void stopClock() { m_deadline = std::chrono::steady_clock::time_point::max(); }

    // Runs T-SQL text (one or more statements); the rows of the last statement that returns
    // columns go to the sink.
    void execute(std::string_view tsql, RowSink* sink);

    // Prepares the next statement of SQLite text at `pos`, moving `pos` past it. Returns
    // null when only whitespace or comments were left.
    StatementPtr prepareNext(const char*& pos, const char* end, const std::string& context);
    // Steps a statement to its end (rows to the sink when given); throws on failure.
    // `castTypes` as for ResultReader.
    void run(sqlite3_stmt* stmt, RowSink* sink, const std::string& context,
             const std::vector<std::string>* castTypes = nullptr);
    // The statements kept for a procedure (by its name as looked up), created empty.
    KeptBody& kept(const std::string& procedure);
    // A statement without parameters' text kept prepared (a call's own look-ups), reset.
    sqlite3_stmt* keptStatement(const std::string& sql);
    // Finalizes them: after a failed call nothing of it is reused.
    void forget(const std::string& procedure) { m_kept.erase(procedure); }
    // Runs framing SQL without parameters or rows (savepoints, clean-up); SQLite's code.
    int exec(const std::string& sql) const;

    void setTrace(StatementTrace trace) { m_trace = std::move(trace); }
    bool tracing() const { return static_cast<bool>(m_trace); }
    // Hands a prepared statement and what was bound to it to the trace, when one is set.
    void trace(sqlite3_stmt* stmt, std::vector<std::pair<std::string, Value>> bound = {}) const;

    // Throws Error "<context>: <SQLite's text>" (or the time-limit text).
    [[noreturn]] void fail(const std::string& context) const;

    // Every request starts here. An open SQLite file that was deleted or moved away is
    // still read and written, but nobody will see those writes again: the request fails
    // with Error naming the database instead, and the session counts as lost.
    void checkFiles();
    bool lost() const { return m_lost; }

    // True when nothing but whitespace, comments and semicolons remain.
    static bool onlyBlank(std::string_view text);

private:
    static int onProgress(void* self);

    sqlite3* m_db;
    std::string m_database;
    std::string m_folder;  // getdate() reads server.ini through this address
    std::vector<OpenFile> m_files;
    StatementTrace m_trace;
    std::map<std::string, KeptBody> m_kept;
    std::map<std::string, StatementPtr> m_keptLookUps;
    int m_timeLimit = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_timedOut = false;
    bool m_lost = false;
};

}  // namespace server
