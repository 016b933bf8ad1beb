// Procedure calls. The body runs inside a savepoint, so a failing call leaves no half-done
// changes behind; temporary tables it creates are dropped afterwards, as a procedure's
// own temporary tables are. Its statements stay prepared for the next call.
#include "server/procedurerunner.h"

#include "server/conversions.h"
#include "server/rowbuffer.h"
#include "server/session.h"
#include "server/tokenizer.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace server {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string varKey(std::string_view name) {
    if (!name.empty() && (name.front() == '@' || name.front() == ':' || name.front() == '$'))
        name.remove_prefix(1);
    return lower(name);
}

// An output parameter's value from column i; a MONEY column gives currency units, and a
// value outside the money range fails the statement as SQL Server's conversion would.
Value readValue(sqlite3_stmt* stmt, int i, const std::string& context) {
    auto outOfRange = [&](const std::string& shown) {
        return Error(context + ": value " + shown + " of output " + sqlite3_column_name(stmt, i) +
                     " is out of the range of money");
    };
    const char* declared = sqlite3_column_decltype(stmt, i);
    bool money = false;
    if (declared) {
        if (const auto type = typeFromDeclaration(declared, nullptr))
            money = *type == ColumnType::Currency;
    }
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_NULL:
            return Value::null();
        case SQLITE_INTEGER:
            if (money) {
                const std::int64_t whole = sqlite3_column_int64(stmt, i);
                const auto units = currencyFromInteger(whole);
                if (!units)
                    throw outOfRange(std::to_string(whole));
                Value v;
                v.kind = Value::Kind::Currency;
                v.integer = *units;
                return v;
            }
            return Value::fromInt(sqlite3_column_int64(stmt, i));
        case SQLITE_FLOAT:
            if (money) {
                const double real = sqlite3_column_double(stmt, i);
                const auto units = currencyFromReal(real);
                if (!units)
                    throw outOfRange(formatReal(real));
                Value v;
                v.kind = Value::Kind::Currency;
                v.integer = *units;
                return v;
            }
            return Value::fromDouble(sqlite3_column_double(stmt, i));
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            return Value::fromText(std::string(
                text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, i))));
        }
    }
}

int bindValue(sqlite3_stmt* stmt, int i, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return sqlite3_bind_null(stmt, i);
        case Value::Kind::Integer:
            return sqlite3_bind_int64(stmt, i, v.integer);
        case Value::Kind::Float:
            return sqlite3_bind_double(stmt, i, v.real);
        case Value::Kind::Currency:
            return sqlite3_bind_double(stmt, i, static_cast<double>(v.integer) / 10000.0);
        case Value::Kind::Text:
            return sqlite3_bind_text64(stmt, i, v.text.data(), v.text.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
        case Value::Kind::DateTime: {
            const std::string text = formatDateTime(v.integer);
            return sqlite3_bind_text64(stmt, i, text.data(), text.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
        }
    }
    return SQLITE_MISUSE;
}

bool assignsOutputs(sqlite3_stmt* stmt) {
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        if (!name || name[0] != '@')
            return false;
    }
    return n > 0;
}

}  // namespace

ProcedureRunner::Target ProcedureRunner::parseName(std::string_view procedure) {
    // A trailing ";1" (procedure group number) names the same procedure.
    std::vector<Token> tokens = tokenize(procedure);
    if (tokens.size() >= 2 && tokens[tokens.size() - 2].is(";") &&
        tokens.back().kind == Token::Kind::Number)
        tokens.resize(tokens.size() - 2);
    std::vector<std::string> parts{""};
    for (const Token& t : tokens) {
        if (t.is("."))
            parts.emplace_back();
        else
            parts.back() += unquote(t);
    }
    Target target;
    target.name = parts.back();
    if (parts.size() == 3 || (parts.size() == 2 && !equalsNoCase(parts[0], "dbo")))
        target.schema = parts[0];
    return target;
}

std::string ProcedureRunner::lookUp(const Target& target, std::string_view shownName) {
    const std::string table =
        (target.schema.empty() ? std::string() : quoteIdentifier(target.schema) + ".") +
        "sys_procedures";
    const std::string sql = "SELECT body FROM " + table + " WHERE name = ?1";
    const std::string missing = "Could not find stored procedure '" + std::string(shownName) + "'";
    sqlite3_stmt* stmt = m_session.keptStatement(sql);
    if (!stmt)
        throw Error(missing + " (" + sqlite3_errmsg(m_session.db()) + ")");
    sqlite3_bind_text(stmt, 1, target.name.c_str(), -1, SQLITE_TRANSIENT);
    if (m_session.tracing())
        m_session.trace(stmt, {{"?1", Value::fromText(target.name)}});
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        const auto* body = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        std::string text = body ? body : "";
        sqlite3_reset(stmt);
        return text;
    }
    if (rc != SQLITE_DONE)
        m_session.fail("procedure " + std::string(shownName));
    sqlite3_reset(stmt);
    throw Error(missing);
}

void ProcedureRunner::bindAll(sqlite3_stmt* stmt, const std::string& context) {
    std::vector<std::pair<std::string, Value>> bound;
    const int n = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= n; ++i) {
        const char* name = sqlite3_bind_parameter_name(stmt, i);
        if (!name)
            continue;
        const auto it = m_vars.find(varKey(name));
        if (it == m_vars.end())
            continue;
        if (bindValue(stmt, i, it->second) != SQLITE_OK)
            m_session.fail(context);
        if (m_session.tracing())
            bound.emplace_back(name, it->second);
    }
    m_session.trace(stmt, std::move(bound));
}

void ProcedureRunner::assignOutputs(sqlite3_stmt* stmt, const std::string& context) {
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        m_session.fail(context);
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i) {
        const std::string key = varKey(sqlite3_column_name(stmt, i));
        m_vars[key] = rc == SQLITE_ROW ? readValue(stmt, i, context) : Value::null();
        if (std::find(m_assigned.begin(), m_assigned.end(), key) == m_assigned.end())
            m_assigned.push_back(key);
    }
}

std::vector<std::string> ProcedureRunner::tempTables() {
    std::vector<std::string> names;
    sqlite3_stmt* stmt =
        m_session.keptStatement("SELECT name FROM temp.sqlite_master WHERE type = 'table'");
    if (!stmt)
        return names;
    m_session.trace(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_reset(stmt);
    return names;
}

namespace {

// The statement as an error quotes it: without the blanks and comments before it, which in a
// procedure's first statement are the procedure's own heading and say nothing of what failed.
std::string_view withoutLeadingComments(std::string_view text) {
    for (;;) {
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
            text.remove_prefix(1);
        if (text.substr(0, 2) == "--") {
            const std::size_t eol = text.find('\n');
            text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        } else if (text.substr(0, 2) == "/*") {
            const std::size_t close = text.find("*/", 2);
            if (close == std::string_view::npos)
                return text;
            text.remove_prefix(close + 2);
        } else {
            return text;
        }
    }
}

}  // namespace

CallResult ProcedureRunner::call(std::string_view procedure, const std::vector<ProcParam>& params,
                                 RowSink* sink) {
    m_session.checkFiles();
    m_session.startClock();
    const Target target = parseName(procedure);
    const std::string body = lookUp(target, procedure);
    const std::string proc = "procedure " + std::string(procedure);

    m_vars.clear();
    m_assigned.clear();
    for (const ProcParam& p : params) m_vars[varKey(p.name)] = p.value;

    const std::vector<std::string> tempBefore = tempTables();
    auto exec = [&](const char* sql) {
        if (m_session.exec(sql) != SQLITE_OK)
            m_session.fail(proc);
    };
    auto dropNewTemps = [&] {
        for (const std::string& t : tempTables()) {
            if (std::find(tempBefore.begin(), tempBefore.end(), t) == tempBefore.end())
                m_session.exec("DROP TABLE temp." + quoteIdentifier(t));
        }
    };

    // Statements prepared by an earlier call of the same body are run again; the rest are
    // prepared one by one as the body runs, since a statement may use a table that an
    // earlier one creates.
    const std::string keptKey = lower(target.schema) + "." + lower(target.name);
    KeptBody& kept = m_session.kept(keptKey);
    if (kept.body != body) {
        kept.statements.clear();
        kept.body = body;
    }
    CallResult result;
    exec("SAVEPOINT exportpnl_call");
    try {
        RowBuffer held;
        bool streamed = false;
        const char* begin = kept.body.data();
        const char* pos = begin;
        const char* end = begin + kept.body.size();
        std::size_t index = 0;
        while (pos < end) {
            if (index == kept.statements.size()) {
                const char* start = pos;
                StatementPtr stmt = m_session.prepareNext(pos, end, proc);
                if (!stmt)
                    continue;
                const std::string_view text = withoutLeadingComments(
                    std::string_view(start, static_cast<std::size_t>(pos - start)));
                const char* sql = sqlite3_sql(stmt.get());
                std::vector<std::string> casts;
                if (sqlite3_column_count(stmt.get()) > 0)
                    casts = selectCastTypes(sql ? sql : "");
                const bool last = Session::onlyBlank(
                    std::string_view(pos, static_cast<std::size_t>(end - pos)));
                kept.statements.push_back(
                    {std::move(stmt), static_cast<std::size_t>(pos - begin),
                     proc + ", statement \"" + std::string(text.substr(0, 200)) + "\"",
                     std::move(casts), last});
            }
            KeptStatement& ks = kept.statements[index++];
            sqlite3_stmt* stmt = ks.stmt.get();
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
            pos = begin + ks.end;
            bindAll(stmt, ks.context);
            if (assignsOutputs(stmt)) {
                assignOutputs(stmt, ks.context);
            } else if (sqlite3_column_count(stmt) == 0) {
                m_session.run(stmt, nullptr, ks.context);
            } else {
                result.hasResultSet = true;
                if (ks.last && sink) {
                    m_session.run(stmt, sink, ks.context, &ks.castTypes);
                    streamed = true;
                } else {
                    m_session.run(stmt, sink ? &held : nullptr, ks.context, &ks.castTypes);
                }
            }
            // A kept statement holds nothing of the call between runs.
            sqlite3_reset(stmt);
        }
        if (sink && !streamed && held.hasColumns())
            held.replay(*sink);
        exec("RELEASE exportpnl_call");
    } catch (...) {
        m_session.stopClock();
        m_session.forget(keptKey);
        m_session.exec("ROLLBACK TO exportpnl_call; RELEASE exportpnl_call");
        dropNewTemps();
        throw;
    }
    m_session.stopClock();
    dropNewTemps();

    for (const ProcParam& p : params) {
        if (p.output)
            result.outputs.emplace_back(p.name, m_vars[varKey(p.name)]);
    }
    for (const std::string& key : m_assigned) {
        const bool sent = std::any_of(params.begin(), params.end(), [&](const ProcParam& p) {
            return p.output && varKey(p.name) == key;
        });
        if (!sent)
            result.outputs.emplace_back("@" + key, m_vars[key]);
    }
    result.returnValue = 0;
    return result;
}

}  // namespace server
