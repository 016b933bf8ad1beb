// The embedded stand-in for SQL Server: a folder of SQLite databases that answers the
// T-SQL subset the library sends, and runs stored procedures kept in each database.
// Plain C++ over SQLite (no Qt): Server::open(folder), then Connection::execute / call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// Raised for every failure; the text names what failed (statement, procedure, database).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ColumnType { Text, Integer, Float, Currency, DateTime, Memo };

struct Column {
    std::string name;
    ColumnType type = ColumnType::Text;
    int size = 0;  // declared length of CHAR(n)/VARCHAR(n); 0 otherwise
};

// A value sent as a parameter or read back as an output.
struct Value {
    enum class Kind { Null, Integer, Float, Currency, Text, DateTime };
    Kind kind = Kind::Null;
    std::int64_t integer =
        0;  // Integer; Currency in 1/10000 units; DateTime in ms since 1970 (local clock, no zone)
    double real = 0;   // Float
    std::string text;  // Text, UTF-8

    static Value null() { return {}; }
    static Value fromInt(std::int64_t v) {
        Value x;
        x.kind = Kind::Integer;
        x.integer = v;
        return x;
    }
    static Value fromDouble(double v) {
        Value x;
        x.kind = Kind::Float;
        x.real = v;
        return x;
    }
    static Value fromText(std::string v) {
        Value x;
        x.kind = Kind::Text;
        x.text = std::move(v);
        return x;
    }
    bool isNull() const { return kind == Kind::Null; }
};

// Receives a result set as it is read: columns once, then every row cell by cell in column
// order. Lets a caller store rows in its own compact form without an intermediate copy.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void columns(const std::vector<Column>& cols) = 0;
    virtual void beginRow() = 0;
    virtual void null() = 0;
    virtual void integer(std::int64_t v) = 0;      // Integer
    virtual void real(double v) = 0;               // Float
    virtual void currency(std::int64_t v) = 0;     // 1/10000 units
    virtual void text(std::string_view utf8) = 0;  // Text, Memo
    virtual void dateTime(std::int64_t msSinceEpoch) = 0;
    virtual void endRow() = 0;
};

// A fully read result set, for tools and tests.
struct RowSet {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
    int columnIndex(std::string_view name) const;  // case-insensitive; -1 when absent
};

struct ProcParam {
    std::string name;  // "@year1"; matched without regard to case
    Value value;
    bool output = false;
};

struct CallResult {
    bool hasResultSet = false;
    std::vector<std::pair<std::string, Value>> outputs;  // output parameters by name
    int returnValue = 0;
};

// One statement exactly as the server handed it to SQLite, with the values bound to its
// parameters. Lets a benchmark replay a procedure on bare SQLite, and a developer see
// what a T-SQL text or a procedure body turned into.
struct TracedStatement {
    std::string sql;
    std::vector<std::pair<std::string, Value>> bound;  // parameter as written ("@year1", "?1")
};
using StatementTrace = std::function<void(const TracedStatement&)>;

// One SQLite connection without SQLite's own locking: use it from one thread at a time.
class Connection {
public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs one T-SQL statement; rows (if any) go to the sink, read to the end before return.
    void execute(std::string_view sql, RowSink* sink);
    RowSet query(std::string_view sql);

    // Runs a stored procedure ("dbo.X" or "X") with named parameters.
    CallResult call(std::string_view procedure, const std::vector<ProcParam>& params,
                    RowSink* sink);
    CallResult call(std::string_view procedure, const std::vector<ProcParam>& params, RowSet* rows);

    const std::string& databaseName() const;
    // True once a request found a database file of this connection deleted, moved or
    // replaced; every request fails from then on, and a new connection is needed.
    bool lost() const;
    // Statement time limit in seconds (0 = none); a statement over it fails with Error.
    void setQueryTimeLimit(int seconds);
    // Called before every statement runs, framing ones (savepoints, clean-up) included;
    // an empty function switches tracing off.
    void setStatementTrace(StatementTrace trace);

private:
    friend class Server;
    struct Impl;
    explicit Connection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

class Server {
public:
    // Fails when the folder does not exist. Nothing is created or altered.
    static Server open(const std::string& folder);
    static bool isServerFolder(const std::string& name);  // an existing directory

    const std::string& folder() const { return m_folder; }
    std::vector<std::string> databases() const;  // names of <name>.db files
    // Opens `database` (case-insensitive) with every other database attached under its name.
    std::unique_ptr<Connection> connect(const std::string& database) const;

private:
    explicit Server(std::string folder) : m_folder(std::move(folder)) {}
    std::string m_folder;
};

}  // namespace server
