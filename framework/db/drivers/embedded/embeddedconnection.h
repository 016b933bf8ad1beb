// The "MSSQL" driver over the embedded server (a folder of databases). Keeps the client
// identity from the parameter list (HOST NAME, APPLICATION NAME, USER NAME) the way a
// server records it, and applies MAX QUERY TIME as the statement time limit.
#pragma once

#include "framework/db/drivers/driver.h"

#include <memory>

namespace server {
class Connection;
}

namespace db {

class EmbeddedConnection : public DriverConnection {
public:
    // EDatabaseError naming the server folder and database when either is missing.
    explicit EmbeddedConnection(const ParamList& params);
    ~EmbeddedConnection() override;

    void execute(const QString& sql, RowStore* rows) override;
    void call(const QString& procedure, std::vector<Param>& params, RowStore* rows) override;
    QString hostName() const override { return m_hostName; }
    QString applicationName() const override { return m_applicationName; }
    // False once a database file went away under the connection: the next use reopens.
    bool isOpen() const override;

    QString userName() const { return m_userName; }
    QString serverFolder() const { return m_server; }
    QString databaseName() const { return m_database; }
    int queryTimeLimit() const { return m_queryTimeLimit; }  // seconds, 0 = none

    static constexpr int kDefaultQueryTimeLimit = 300;

private:
    std::unique_ptr<server::Connection> m_connection;
    QString m_server;
    QString m_database;
    QString m_hostName;
    QString m_applicationName;
    QString m_userName;
    int m_queryTimeLimit = kDefaultQueryTimeLimit;
};

}  // namespace db
