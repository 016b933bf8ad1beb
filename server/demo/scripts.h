// The demo server's SQL scripts (schemas and procedure bodies), embedded in the program
// from server/demo/sql at build time.
#pragma once

#include <string_view>
#include <vector>

namespace demo {

struct Script {
    std::string_view name;  // file name without ".sql"; a procedure's name for procedures
    std::string_view text;
};

const std::vector<Script>& scripts();

}  // namespace demo
