// The network back end against a server that answers one request with the input's bytes
// and then closes the link: the client library's token reading and the back end's reading
// of whatever it makes of them. A new loopback server serves each input.
#include "fuzztargets.h"

#include "faketdsserver.h"
#include "framework/db/drivers/freetds/tdsconnection.h"
#include "framework/text/errors.h"

namespace fuzz {

std::string& outcome() {
    static std::string text;
    return text;
}

int tdsWire(const std::uint8_t* data, std::size_t size) {
    outcome().clear();
    if (size == 0)
        return 0;
    const bool call = (data[0] & 1) != 0;
    const QByteArray answer(reinterpret_cast<const char*>(data) + 1,
                            static_cast<qsizetype>(size - 1));
    testtds::FakeTdsServer server([&answer](const testtds::Request& r) {
        if (r.text.startsWith(QStringLiteral("SET ")))
            return testtds::Reply{};  // the session set-up every login sends
        return testtds::Reply::rawThenDrop(answer);
    });
    db::tds::LoginSettings settings;
    settings.server = server.serverName();
    settings.user = QStringLiteral("sa");
    settings.database = QStringLiteral("Calvesteri");
    settings.applicationName = QStringLiteral("fuzz");
    settings.loginTime = 2;
    settings.maxQueryTime = 2;
    try {
        db::tds::TdsConnection connection(settings);
        db::RowStore rows;
        if (call) {
            std::vector<db::Param> params(2);
            params[0].Name = QStringLiteral("@o");
            params[0].DataType = db::FieldType::Integer;
            params[0].Type = db::ParamType::Output;
            params[1].Name = QStringLiteral("Result");
            params[1].DataType = db::FieldType::Integer;
            params[1].Type = db::ParamType::Result;
            connection.call(QStringLiteral("dbo.P"), params, &rows);
        } else {
            connection.execute(QStringLiteral("select 1"), &rows);
        }
        outcome() = "rows " + std::to_string(rows.rowCount());
        for (int r = 0; r < rows.rowCount(); ++r) {
            for (int c = 0; c < rows.columnCount(); ++c) {
                const QString text = rows.string(r, c);
                const bool told = r < 4;  // the account stays short
                if (told)
                    outcome() += (c == 0 ? " / " : " | ") + text.left(40).toStdString();
                try {
                    (void)rows.scaled4(r, c);
                } catch (const EDatabaseError& e) {
                    if (told)
                        outcome() += std::string(" (") + e.what() + ")";
                }
            }
        }
    } catch (const EDatabaseError& e) {
        outcome() = e.what();
    } catch (const EConvertError& e) {
        outcome() = e.what();
    }
    return 0;
}

}  // namespace fuzz
