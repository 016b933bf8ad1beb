// The "report" and "summary" commands of the demo tool: what a server folder holds, and the
// statement of the latest month with shipments, computed by the server's procedures.
#pragma once

#include <ostream>
#include <string>

namespace demo {

class DemoReport {
public:
    // Both import the financial years and run the statistics for the whole company; they
    // throw server::Error when the folder is not a working demo server.
    // Every table's row count, then every row of the statement and its totals.
    static void print(const std::string& dir, std::ostream& out);
    // A few lines: the databases, shipments, the month shown, its row count and totals.
    static void summary(const std::string& dir, std::ostream& out);
    // Columns a text takes on a terminal: CJK characters take two.
    static int displayWidth(std::string_view utf8);
};

}  // namespace demo
