// The "report" command of the demo tool: what a server folder holds, and the statement of
// the latest month with shipments as an aligned table, computed by the server's procedures.
#pragma once

#include <ostream>
#include <string>

namespace demo {

class DemoReport {
public:
    // Imports the financial years and runs the statistics for the whole company; throws
    // server::Error when the folder is not a working demo server.
    static void print(const std::string& dir, std::ostream& out);
    // Columns a text takes on a terminal: CJK characters take two.
    static int displayWidth(std::string_view utf8);
};

}  // namespace demo
