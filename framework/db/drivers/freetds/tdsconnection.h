// The network back end of the "MSSQL" driver: one login to a SQL Server over the TDS
// protocol per Database. Free SQL goes as a batch, procedures as remote calls with typed
// parameters; every result set is read before a call returns.
#pragma once

#include "framework/db/drivers/driver.h"
#include "framework/db/drivers/freetds/dblibrary.h"
#include "framework/db/drivers/freetds/loginsettings.h"

struct tds_dblib_dbprocess;

namespace db::tds {

class TdsConnection : public DriverConnection {
public:
    // Logs in; EDatabaseError naming the server when it cannot be reached or refuses.
    explicit TdsConnection(const LoginSettings& settings);
    ~TdsConnection() override;
    TdsConnection(const TdsConnection&) = delete;
    TdsConnection& operator=(const TdsConnection&) = delete;

    void execute(const QString& sql, RowStore* rows) override;
    void call(const QString& procedure, std::vector<Param>& params, RowStore* rows) override;
    QString hostName() const override { return m_settings.hostName; }
    QString applicationName() const override { return m_settings.applicationName; }

    // False once the connection was lost, timed out or closed; every later call fails.
    bool isOpen() const override { return m_proc != nullptr; }
    const LoginSettings& settings() const { return m_settings; }

private:
    tds_dblib_dbprocess* requireOpen();
    void readResults(RowStore* rows, const QString& what, RowStore* lastSet = nullptr);
    static void readOutputs(std::vector<Param>& params, const std::vector<int>& readBack,
                            const RowStore& values);
    void raiseIfFailed(const QString& what);
    [[noreturn]] void raise(const QString& what);
    void closeHandle();

    LoginSettings m_settings;
    ServerReport m_report;
    tds_dblib_dbprocess* m_proc = nullptr;
};

}  // namespace db::tds
