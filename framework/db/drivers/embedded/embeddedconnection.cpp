// Embedded back end: opens the folder's database through server/, streams result rows
// straight into the dataset's RowStore, and maps procedure parameters both ways.
#include "framework/db/drivers/embedded/embeddedconnection.h"

#include "framework/text/errors.h"
#include "server/server.h"

#include <QDateTime>
#include <cmath>

namespace db {

namespace {

FieldType fieldType(server::ColumnType t) {
    switch (t) {
        case server::ColumnType::Text:
            return FieldType::String;
        case server::ColumnType::Integer:
            return FieldType::Integer;
        case server::ColumnType::Float:
            return FieldType::Float;
        case server::ColumnType::Currency:
            return FieldType::Currency;
        case server::ColumnType::DateTime:
            return FieldType::DateTime;
        case server::ColumnType::Memo:
            return FieldType::Memo;
    }
    return FieldType::String;
}

class StoreSink : public server::RowSink {
public:
    explicit StoreSink(RowStore& store) : m_store(store) {}
    void columns(const std::vector<server::Column>& cols) override {
        std::vector<FieldDef> defs;
        defs.reserve(cols.size());
        for (const server::Column& c : cols)
            defs.push_back({QString::fromStdString(c.name), fieldType(c.type), c.size});
        m_store.setColumns(std::move(defs));
    }
    void beginRow() override { m_store.beginRow(); }
    void null() override { m_store.appendNull(); }
    void integer(std::int64_t v) override { m_store.appendInteger(v); }
    void real(double v) override { m_store.appendFloat(v); }
    void currency(std::int64_t v) override { m_store.appendCurrency(v); }
    void text(std::string_view utf8) override { m_store.appendText(utf8); }
    void dateTime(std::int64_t ms) override { m_store.appendDateTime(ms); }
    void endRow() override { m_store.endRow(); }

private:
    RowStore& m_store;
};

server::Value toServer(const Param& p) {
    if (p.Value.isNull() || !p.Value.isValid())
        return server::Value::null();
    server::Value v;
    switch (p.DataType) {
        case FieldType::Integer:
            return server::Value::fromInt(paramInteger(p));
        case FieldType::Float:
            return server::Value::fromDouble(paramFloat(p));
        case FieldType::Currency:
            v.kind = server::Value::Kind::Currency;
            v.integer = paramCurrencyUnits(p);
            return v;
        case FieldType::DateTime:
            v.kind = server::Value::Kind::DateTime;
            v.integer = naiveMsSinceEpoch(p.Value.toDateTime());
            return v;
        case FieldType::String:
        case FieldType::Memo:
            break;
    }
    return server::Value::fromText(p.Value.toString().toStdString());
}

QVariant fromServer(const server::Value& v) {
    switch (v.kind) {
        case server::Value::Kind::Null:
            return QVariant();
        case server::Value::Kind::Integer:
            return QVariant::fromValue<qlonglong>(v.integer);
        case server::Value::Kind::Float:
            return v.real;
        case server::Value::Kind::Currency:
            return static_cast<double>(v.integer) / 10000.0;
        case server::Value::Kind::Text:
            return QString::fromStdString(v.text);
        case server::Value::Kind::DateTime:
            return naiveDateTime(v.integer);
    }
    return QVariant();
}

}  // namespace

EmbeddedConnection::EmbeddedConnection(const ParamList& params)
    : m_server(params.Values(QStringLiteral("SERVER NAME"))),
      m_database(params.Values(QStringLiteral("DATABASE NAME"))),
      m_hostName(params.Values(QStringLiteral("HOST NAME"))),
      m_applicationName(params.Values(QStringLiteral("APPLICATION NAME"))),
      m_userName(params.Values(QStringLiteral("USER NAME"))) {
    bool ok = false;
    const int limit = params.Values(QStringLiteral("MAX QUERY TIME")).trimmed().toInt(&ok);
    if (ok)
        m_queryTimeLimit = limit < 0 ? 0 : limit;
    try {
        const server::Server srv = server::Server::open(m_server.toStdString());
        m_connection = srv.connect(m_database.toStdString());
        m_connection->setQueryTimeLimit(m_queryTimeLimit);
    } catch (const server::Error& e) {
        throw EDatabaseError(QStringLiteral("无法连接服务器“%2”上的数据库“%1”：%3")
                                 .arg(m_database, m_server, QString::fromUtf8(e.what())));
    }
}

EmbeddedConnection::~EmbeddedConnection() = default;

bool EmbeddedConnection::isOpen() const {
    return !m_connection->lost();
}

void EmbeddedConnection::execute(const QString& sql, RowStore* rows) {
    try {
        if (rows != nullptr) {
            rows->clear();
            StoreSink sink(*rows);
            m_connection->execute(sql.toStdString(), &sink);
        } else {
            m_connection->execute(sql.toStdString(), nullptr);
        }
    } catch (const server::Error& e) {
        throw EDatabaseError(QString::fromUtf8(e.what()));
    }
}

void EmbeddedConnection::call(const QString& procedure, std::vector<Param>& params,
                              RowStore* rows) {
    std::vector<server::ProcParam> sent;
    for (const Param& p : params) {
        if (p.Type == ParamType::Result)
            continue;
        server::ProcParam sp;
        sp.name = p.Name.toStdString();
        sp.output = p.Type == ParamType::Output || p.Type == ParamType::InputOutput;
        if (p.Type != ParamType::Output)
            sp.value = toServer(p);
        sent.push_back(std::move(sp));
    }
    server::CallResult result;
    try {
        if (rows != nullptr) {
            rows->clear();
            StoreSink sink(*rows);
            result = m_connection->call(procedure.toStdString(), sent,
                                        static_cast<server::RowSink*>(&sink));
        } else {
            result = m_connection->call(procedure.toStdString(), sent,
                                        static_cast<server::RowSink*>(nullptr));
        }
    } catch (const server::Error& e) {
        throw EDatabaseError(QString::fromUtf8(e.what()));
    }
    for (Param& p : params) {
        if (p.Type == ParamType::Result) {
            p.Value = QVariant::fromValue<qlonglong>(result.returnValue);
            continue;
        }
        if (p.Type != ParamType::Output && p.Type != ParamType::InputOutput)
            continue;
        p.Value = QVariant();
        for (const auto& [name, value] : result.outputs) {
            if (QString::fromStdString(name).compare(p.Name, Qt::CaseInsensitive) == 0) {
                p.Value = fromServer(value);
                break;
            }
        }
    }
}

std::unique_ptr<DriverConnection> openEmbeddedConnection(const ParamList& params) {
    return std::make_unique<EmbeddedConnection>(params);
}

}  // namespace db
