// Shared bits of the server suites: a fixture server with the kernel, dictionary and
// business databases, and cell readers that print what they found on mismatch.
#pragma once

#include "server/server.h"
#include "serverfixture.h"

#include <gtest/gtest.h>

#include <string>

namespace servertest {

// A kernel database "Miskernel", a dictionary "Pubdict" and an empty business "Calvesteri".
void fillKernelAndDict(testsupport::TempServer& srv);

inline std::string textAt(const server::RowSet& rs, std::size_t row, std::string_view column) {
    const int c = rs.columnIndex(column);
    EXPECT_GE(c, 0) << "no column " << column;
    if (c < 0 || row >= rs.rows.size())
        return "<missing>";
    const server::Value& v = rs.rows[row][static_cast<std::size_t>(c)];
    return v.isNull() ? "<null>" : v.text;
}

// Runs a statement, failing the test with the server's text instead of throwing.
inline server::RowSet queryOrFail(server::Connection& conn, std::string_view sql) {
    try {
        return conn.query(sql);
    } catch (const server::Error& e) {
        ADD_FAILURE() << e.what();
        return {};
    }
}

}  // namespace servertest
