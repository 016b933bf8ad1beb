// Finding and opening databases: case-insensitive names, attached neighbours, and clear
// failures that leave the server folder exactly as it was.
#include "serverhelpers.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

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

// Before, an empty file was taken for an empty database and given a header on opening.
TEST_F(OpenTest, EmptyFileIsRefusedAndLeftEmpty) {
    const std::string empty = srv.folder() + "/Empty.db";
    std::ofstream(empty).close();
    try {
        server::Server::open(srv.folder()).connect("empty");
        FAIL() << "no error";
    } catch (const server::Error& e) {
        EXPECT_NE(std::string(e.what()).find("empty (0 bytes)"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("'empty'"), std::string::npos) << e.what();
    }
    // As a neighbour it is not attached, and not written either.
    auto conn = server::Server::open(srv.folder()).connect("Miskernel");
    EXPECT_THROW(conn->query("select * from Empty.sqlite_master"), server::Error);
    conn->execute("insert into dept values('08','新部门','B')", nullptr);
    EXPECT_EQ(fs::file_size(empty), 0u);
}

// Before, statements on a connection whose files were deleted or moved went on
// "succeeding" against the unlinked files, and their writes were lost.
TEST_F(OpenTest, DatabaseGoneUnderAnOpenConnectionFailsNamingIt) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> doIt;
        std::function<void(const std::string&)> undo;
        const char* named;
    };
    const Case cases[] = {
        {"folder moved away", [](const std::string& f) { fs::rename(f, f + ".moved"); },
         [](const std::string& f) { fs::rename(f + ".moved", f); }, "'Calvesteri'"},
        {"attached neighbour deleted",
         [](const std::string& f) { fs::rename(f + "/Miskernel.db", f + "/../Miskernel.keep"); },
         [](const std::string& f) { fs::rename(f + "/../Miskernel.keep", f + "/Miskernel.db"); },
         "'Miskernel'"},
        {"file replaced by a copy",
         [](const std::string& f) {
             fs::copy_file(f + "/Calvesteri.db", f + "/copy.tmp");
             fs::rename(f + "/copy.tmp", f + "/Calvesteri.db");
         },
         [](const std::string&) {}, "'Calvesteri'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto conn = server::Server::open(srv.folder()).connect("Calvesteri");
        conn->query("select 1");
        c.doIt(srv.folder());
        for (const char* sql : {"select 1", "insert into shipment values('Z1', 1)"}) {
            try {
                conn->query(sql);
                ADD_FAILURE() << sql << ": no error";
            } catch (const server::Error& e) {
                EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
                EXPECT_NE(std::string(e.what()).find("no longer there"), std::string::npos);
            }
        }
        EXPECT_THROW(conn->call("dbo.nosuch", {}, static_cast<server::RowSet*>(nullptr)),
                     server::Error);
        EXPECT_TRUE(conn->lost());
        c.undo(srv.folder());
        // A new connection sees the files as they are now.
        auto again = server::Server::open(srv.folder()).connect("Calvesteri");
        EXPECT_FALSE(again->lost());
        EXPECT_EQ(again->query("select * from shipment where invoiceno = 'Z1'").rows.size(), 0u);
    }
}

// Before, the schema was read before the busy time-out was set, so a database that another
// process held locked failed at once instead of being waited for.
TEST_F(OpenTest, OpeningWaitsForAnotherProcesssLock) {
    const std::string path = srv.folder() + "/Locked.db";
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "PRAGMA journal_mode=DELETE; CREATE TABLE t(a INT); "
                           "BEGIN EXCLUSIVE; INSERT INTO t VALUES(1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<server::Connection> conn;
    EXPECT_NO_THROW(conn = server::Server::open(srv.folder()).connect("Locked"));
    release.join();
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
    if (conn) {
        EXPECT_EQ(conn->query("select a from t").rows.size(), 1u);
    }
    conn.reset();
    sqlite3_close(other);
}

}  // namespace
