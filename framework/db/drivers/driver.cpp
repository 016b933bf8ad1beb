// The "MSSQL" driver's choice of back end: SERVER NAME naming an existing folder means the
// embedded server, anything else the network back end. A name with a '/' is a folder path
// even when the folder is missing (no network server name has one), so that mistake gets
// the embedded server's plain "no such folder" error instead of a network connect attempt.
#include "framework/db/drivers/driver.h"

#include <QFileInfo>

namespace db {

std::unique_ptr<DriverConnection> openDriverConnection(const ParamList& params) {
    const QString server = params.Values(QStringLiteral("SERVER NAME"));
    if (!server.isEmpty() && (QFileInfo(server).isDir() || server.contains(QLatin1Char('/'))))
        return openEmbeddedConnection(params);
    return openNetworkConnection(params);
}

}  // namespace db
