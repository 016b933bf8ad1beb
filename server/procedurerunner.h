// Runs stored procedures kept in a database's sys_procedures table: SQLite statements with
// @name parameters, output parameters assigned by "select ... as @x" statements, and the
// result set of the last statement that returns columns.
#pragma once

#include "server/server.h"

#include <map>
#include <string>

struct sqlite3_stmt;

namespace server {

class Session;

class ProcedureRunner {
public:
    explicit ProcedureRunner(Session& session) : m_session(session) {}

    CallResult call(std::string_view procedure, const std::vector<ProcParam>& params,
                    RowSink* sink);

private:
    struct Target {
        std::string schema;  // attached database holding the procedure; empty = this one
        std::string name;    // without schema
    };
    static Target parseName(std::string_view procedure);
    std::string lookUp(const Target& target, std::string_view shownName);
    // Binds every @name the statement uses; what was bound goes to the session's trace.
    void bindAll(sqlite3_stmt* stmt, const std::string& context);
    void assignOutputs(sqlite3_stmt* stmt, const std::string& context);
    std::vector<std::string> tempTables();

    Session& m_session;
    std::map<std::string, Value> m_vars;  // by lower-case name without '@'
    std::vector<std::string> m_assigned;  // names assigned by the body, in order
};

}  // namespace server
