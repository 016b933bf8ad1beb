// SQL functions every embedded connection gets: tsql_add() behind the rewritten `+`, and
// getdate(), which answers the clock of server.ini when one is set.
#pragma once

#include <string>

struct sqlite3;

namespace server {

class SqlFunctions {
public:
    // `folder` must outlive the connection (getdate() reads its server.ini on each call).
    static void registerAll(sqlite3* db, const std::string* folder);
    // "YYYY-MM-DD HH:MM:SS": server.ini's [server] clock, else the local time. Throws Error
    // when server.ini holds a clock that is not a date and time.
    static std::string serverClock(const std::string& folder);
};

}  // namespace server
