// Stand-in for the network back end in builds without one: a server name that is not a
// folder cannot be reached, and the error says so.
#include "framework/db/drivers/driver.h"
#include "framework/text/errors.h"

namespace db {

std::unique_ptr<DriverConnection> openNetworkConnection(const ParamList& params) {
    throw EDatabaseError(QStringLiteral("无法连接数据库服务器“%1”：本程序没有网络驱动")
                             .arg(params.Values(QStringLiteral("SERVER NAME"))));
}

}  // namespace db
