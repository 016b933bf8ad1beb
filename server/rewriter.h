// Turns the T-SQL subset the library sends into SQLite: select items 'alias'=expr, text
// joined with +, double-quoted strings, [names], db.dbo.table and dbo.table. Anything else
// is handed on unchanged, whitespace included.
#pragma once

#include <string>
#include <string_view>

namespace server {

class Rewriter {
public:
    // The SQLite text for one or more T-SQL statements. `+` becomes a call of tsql_add(),
    // which the connection registers.
    static std::string rewrite(std::string_view tsql);
};

}  // namespace server
