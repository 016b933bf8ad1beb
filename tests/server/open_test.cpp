// Finding and opening databases: case-insensitive names, attached neighbours, and clear
// failures that leave the server folder exactly as it was.
#include "serverhelpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// Name -> (size, mtime) of every entry in the folder.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> snapshot(
    const std::string& folder) {
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        out[e.path().filename().string()] = {e.is_regular_file() ? e.file_size() : 0,
                                             e.last_write_time()};
    }
    return out;
}

class OpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::fillKernelAndDict(srv);
        std::ofstream(srv.folder() + "/Broken.db")
            << "this is not a database at all, not even close";
    }
    testsupport::TempServer srv;
};

TEST_F(OpenTest, ListsDatabasesAndOpensThemInAnyCase) {
    const auto s = server::Server::open(srv.folder());
    EXPECT_EQ(s.databases(),
              (std::vector<std::string>{"Broken", "Calvesteri", "Miskernel", "Pubdict"}));
    auto conn = s.connect("CALVESTERI");
    EXPECT_EQ(conn->databaseName(), "Calvesteri");
    // The broken neighbour is left out; the good ones are reachable by their names.
    EXPECT_EQ(conn->query("select * from pubdict.dbo.corp_set").rows.size(), 1u);
}

TEST_F(OpenTest, FailuresNameWhatFailedAndTouchNothing) {
    struct Case {
        const char* what;
        std::string folder;
        const char* database;
        const char* named;  // must appear in the message
    } cases[] = {
        {"missing database", srv.folder(), "Nowhere", "Nowhere"},
        {"file that is not a database", srv.folder(), "broken", "not a database"},
        {"empty database name", srv.folder(), "", srv.folder().c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = snapshot(srv.folder());
        try {
            server::Server::open(c.folder).connect(c.database);
            ADD_FAILURE() << "no error";
        } catch (const server::Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
        EXPECT_EQ(snapshot(srv.folder()), before);
    }
}

TEST_F(OpenTest, MissingFolderIsReportedAndNotCreated) {
    const std::string missing = srv.folder() + "/no/such/server";
    EXPECT_FALSE(server::Server::isServerFolder(missing));
    try {
        server::Server::open(missing);
        FAIL() << "no error";
    } catch (const server::Error& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(srv.folder() + "/no"));
}

TEST_F(OpenTest, FailedStatementsWriteNothing) {
    {
        auto conn = server::Server::open(srv.folder()).connect("Miskernel");
        conn->query("select 1");  // settle the journal files first
    }
    const auto before = snapshot(srv.folder());
    {
        auto conn = server::Server::open(srv.folder()).connect("Miskernel");
        EXPECT_THROW(conn->query("select * from nosuch"), server::Error);
        EXPECT_THROW(conn->query("select * from Pubdict.dbo.nosuch"), server::Error);
        EXPECT_THROW(conn->query("this is not sql"), server::Error);
        EXPECT_THROW(conn->call("dbo.nosuch", {}, static_cast<server::RowSet*>(nullptr)),
                     server::Error);
    }
    EXPECT_EQ(snapshot(srv.folder()), before);
}

}  // namespace
