// The embedded server's statements and procedure bodies, on a fresh database each time.
// The folder lives in the system's temporary folder and is the working folder while a
// statement runs, so whatever files a statement creates land in it and go with it.
#include "fuzztargets.h"

#include "server/rowbuffer.h"
#include "server/server.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

namespace {

namespace fs = std::filesystem;

// One folder per process, removed again when the process ends normally.
class Folder {
public:
    Folder() {
        std::string tmpl = (fs::temp_directory_path() / "exportpnl-fuzz-server-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        m_path = tmpl;
        // A statement may ask for any amount of memory; the fuzzer is after other faults.
        sqlite3_hard_heap_limit64(256 << 20);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

const fs::path& folder() {
    static const Folder f;
    return f.path();
}

// An empty folder holding one database with an empty procedure table (and `body` as P).
void freshServer(const std::string& body) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder(), ec)) fs::remove_all(e.path(), ec);
    sqlite3* db = nullptr;
    const std::string path = (folder() / "fuzz.db").string();
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        std::abort();
    sqlite3_exec(db,
                 "CREATE TABLE sys_procedures(name TEXT PRIMARY KEY COLLATE NOCASE, "
                 "body TEXT NOT NULL)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO sys_procedures VALUES('P', ?1)", -1, &insert, nullptr);
    sqlite3_bind_text(insert, 1, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_finalize(insert);
    sqlite3_close(db);
}

class InFolder {
public:
    InFolder() : m_previous(fs::current_path()) { fs::current_path(folder()); }
    ~InFolder() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

}  // namespace

int serverStatements(const std::uint8_t* data, std::size_t size) {
    outcome().clear();
    if (size == 0)
        return 0;
    const int mode = data[0] % 3;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    freshServer(mode == 2 ? text : std::string());
    const InFolder here;
    try {
        auto conn = server::Server::open(folder().string()).connect("fuzz");
        conn->setQueryTimeLimit(1);
        server::RowBuffer rows;
        switch (mode) {
            case 0:
                conn->execute(text, &rows);
                outcome() = "rows " + std::to_string(rows.take().rows.size());
                break;
            case 1:
                conn->execute(text, nullptr);
                break;
            default: {
                server::RowSet set;
                conn->call(
                    "dbo.P",
                    {{"@v", server::Value::fromInt(1), false}, {"@o", server::Value::null(), true}},
                    &set);
                outcome() = "called";
                break;
            }
        }
    } catch (const server::Error& e) {
        outcome() = e.what();
    }
    return 0;
}

}  // namespace fuzz
