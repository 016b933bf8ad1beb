// A throw-away embedded server for tests: a temporary folder of SQLite databases that is
// removed when the fixture goes. Tests fill it with raw SQLite, stored procedures and a
// fixed server clock, then point a connection's SERVER NAME at folder().
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <string>
#include <string_view>

namespace testsupport {

class TempServer {
public:
    TempServer();
    ~TempServer();
    TempServer(const TempServer&) = delete;
    TempServer& operator=(const TempServer&) = delete;

    const std::string& folder() const { return m_folder; }
    QString qfolder() const { return QString::fromStdString(m_folder); }
    // Full path of <database>.db in the folder (the file may not exist yet).
    std::string databasePath(std::string_view database) const;

    // Runs raw SQLite statements in <database>.db, creating the file (WAL mode) if needed.
    // Throws EDatabaseError with SQLite's text on failure.
    void exec(std::string_view database, std::string_view sql);
    // Stores a procedure body in the database's sys_procedures (table created when missing).
    void addProcedure(std::string_view database, std::string_view name, std::string_view body);
    // Fixes what getDate() answers: "YYYY-MM-DD HH:MM:SS".
    void setClock(std::string_view clock);

private:
    QTemporaryDir m_dir;
    std::string m_folder;
};

}  // namespace testsupport
