// The "MSSQL" driver interface: one connection per Database, chosen by SERVER NAME.
// An existing folder -> the embedded server; anything else -> the network back end.
#pragma once

#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/db/rowstore.h"

#include <QString>
#include <memory>
#include <vector>

namespace db {

class DriverConnection {
public:
    virtual ~DriverConnection() = default;
    // Runs free SQL; rows of the (last) result set go to `rows` when it is not null.
    virtual void execute(const QString& sql, RowStore* rows) = 0;
    // Runs a procedure: inputs from params, outputs written back into params by name.
    virtual void call(const QString& procedure, std::vector<Param>& params, RowStore* rows) = 0;
    // The client identity the server records (HOST NAME, APPLICATION NAME).
    virtual QString hostName() const = 0;
    virtual QString applicationName() const = 0;
    // False once the back end has lost its link (a timeout or a dropped connection closes it).
    virtual bool isOpen() const { return true; }
};

// Picks the back end from the parameter list and opens it. EDatabaseError on failure.
std::unique_ptr<DriverConnection> openDriverConnection(const ParamList& params);

// Back ends (each in its own folder under drivers/).
std::unique_ptr<DriverConnection> openEmbeddedConnection(const ParamList& params);
std::unique_ptr<DriverConnection> openNetworkConnection(const ParamList& params);

}  // namespace db
