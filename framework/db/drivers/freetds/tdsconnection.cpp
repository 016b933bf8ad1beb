// Login, batches, remote procedure calls and result reading over the client library.
// A failure cancels what is left of the call; a lost link or a time limit that ran out
// closes the connection for good, so nothing ever waits on a server that went away.
#include "framework/db/drivers/freetds/tdsconnection.h"

#include "framework/db/drivers/freetds/callbatch.h"
#include "framework/db/drivers/freetds/tdsvalue.h"
#include "framework/text/errors.h"

#include <sybdb.h>
#include <sybfront.h>

namespace db {

std::unique_ptr<DriverConnection> openNetworkConnection(const ParamList& params) {
    return std::make_unique<tds::TdsConnection>(tds::loginSettingsFromLines(params.lines()));
}

}  // namespace db

namespace db::tds {

namespace {

// Statements every session starts with: double-quoted text is a string constant, as the
// library's SQL expects, and long text columns come back whole.
constexpr const char* kSessionSetup = "SET QUOTED_IDENTIFIER OFF SET TEXTSIZE 2147483647";

void appendCell(RowStore& rows, FieldType type, const Cell& cell) {
    if (cell.kind == Cell::Kind::Null) {
        rows.appendNull();
        return;
    }
    switch (type) {
        case FieldType::Integer:
            if (cell.kind == Cell::Kind::Float)
                rows.appendFloat(cell.real);  // rounded, and refused out of range
            else
                rows.appendInteger(cell.integer);
            return;
        case FieldType::Float:
            rows.appendFloat(cell.kind == Cell::Kind::Float ? cell.real
                                                            : static_cast<double>(cell.integer));
            return;
        case FieldType::Currency:
            // A decimal too large for currency units arrives as a float and is refused.
            if (cell.kind == Cell::Kind::Float)
                rows.appendFloat(cell.real);
            else
                rows.appendCurrency(cell.integer);
            return;
        case FieldType::DateTime:
            rows.appendDateTime(cell.integer);
            return;
        case FieldType::String:
        case FieldType::Memo:
            rows.appendText(cell.text.toUtf8().toStdString());
            return;
    }
}

// A value of a type the decoders do not know, as the client library spells it in text.
Cell convertedToText(DBPROCESS* proc, int type, BYTE* data, int length) {
    Cell c;
    c.kind = Cell::Kind::Text;
    QByteArray buffer(qMax(64, length * 2 + 8), '\0');
    const DBINT n = dbconvert(proc, type, data, length, SYBCHAR,
                              reinterpret_cast<BYTE*>(buffer.data()), buffer.size());
    if (n > 0)
        c.text = decodeText(buffer.constData(), qMin<int>(n, buffer.size()));
    return c;
}

}  // namespace

TdsConnection::TdsConnection(const LoginSettings& settings) : m_settings(settings) {
    if (m_settings.server.isEmpty())
        throw EDatabaseError(QStringLiteral("无法连接数据库服务器：没有给出服务器名"));
    DbLibrary::acquire();
    LOGINREC* login = dblogin();
    if (!login) {
        DbLibrary::release();
        throw EDatabaseError(
            QStringLiteral("无法连接数据库服务器“%1”：内存不足").arg(m_settings.server));
    }
    const auto setName = [login](int which, const QString& value) {
        dbsetlname(login, encodeText(value).constData(), which);
    };
    setName(DBSETUSER, m_settings.user);
    setName(DBSETPWD, m_settings.password);
    if (!m_settings.hostName.isEmpty())
        setName(DBSETHOST, m_settings.hostName);
    setName(DBSETAPP, m_settings.applicationName);
    if (!m_settings.database.isEmpty())
        setName(DBSETDBNAME, m_settings.database);
    DBSETLCHARSET(login, kClientCharset);
    DBSETLPACKET(login, m_settings.packetSize);
    // A fixed protocol version: with "auto" an unanswered login is retried with other
    // versions and can wait far beyond the login time limit. 7.3 rather than 7.4: it has
    // every type the library reads, and at 7.4 the client library (FreeTDS 1.3.17) reads
    // a feature acknowledgement in a loop that spins for ever when the link drops inside it.
    DBSETLVERSION(login, DBVERSION_73);

    {
        // The login time limit is process-wide in the library: set right before each login.
        dbsetlogintime(m_settings.loginTime);
        DbLibrary::LoginScope scope(&m_report);
        m_proc = dbopen(login, encodeText(m_settings.server).constData());
    }
    dbloginfree(login);
    if (!m_proc) {
        QString reason = m_report.text();
        if (m_report.timedOut)
            reason = QStringLiteral("在%1秒的登录时限内没有应答").arg(m_settings.loginTime);
        else if (reason.isEmpty())
            reason = QStringLiteral("服务器不可用或不存在");
        const int code = m_report.firstCode;
        DbLibrary::release();
        throw EDatabaseError(
            QStringLiteral("无法连接数据库服务器“%1”：%2").arg(m_settings.server, reason), code);
    }
    DbLibrary::attach(m_proc, &m_report);
    // This connection's own statement time limit (the library's dbsettime would be global).
    if (m_settings.maxQueryTime > 0)
        dbsetopt(m_proc, DBSETTIME, QByteArray::number(m_settings.maxQueryTime).constData(), 0);
    try {
        execute(QString::fromLatin1(kSessionSetup), nullptr);
    } catch (...) {
        closeHandle();
        throw;
    }
}

TdsConnection::~TdsConnection() {
    closeHandle();
}

void TdsConnection::closeHandle() {
    if (!m_proc)
        return;
    DBPROCESS* proc = m_proc;
    m_proc = nullptr;
    // Detached first: whatever the library reports while closing concerns no caller.
    DbLibrary::detach(proc);
    dbclose(proc);
    DbLibrary::release();
}

DBPROCESS* TdsConnection::requireOpen() {
    if (!m_proc)
        throw EDatabaseError(
            QStringLiteral("The connection to server '%1' is closed").arg(m_settings.server));
    m_report.clear();
    return m_proc;
}

void TdsConnection::raise(const QString& what) {
    const bool dead = m_proc && dbdead(m_proc);
    QString text;
    if (m_report.timedOut) {
        text = QStringLiteral(
                   "%1 did not finish within the query time limit of %2 s; the "
                   "connection to server '%3' was closed")
                   .arg(what)
                   .arg(m_settings.maxQueryTime)
                   .arg(m_settings.server);
    } else if (dead || !m_proc) {
        text = QStringLiteral("The connection to server '%1' was lost").arg(m_settings.server);
        if (!m_report.text().isEmpty())
            text += QStringLiteral(": ") + m_report.text();
    } else {
        text = m_report.text();
        if (text.isEmpty())
            text = QStringLiteral("%1 failed").arg(what);
    }
    const int code = m_report.firstCode;
    if (m_report.timedOut || dead)
        closeHandle();
    else if (m_proc)
        dbcancel(m_proc);  // drops the rest of the batch so the next call starts clean
    throw EDatabaseError(text, code);
}

void TdsConnection::raiseIfFailed(const QString& what) {
    if (m_report.failed() || (m_proc && dbdead(m_proc)))
        raise(what);
}

void TdsConnection::execute(const QString& sql, RowStore* rows) {
    DBPROCESS* proc = requireOpen();
    const QString what = QStringLiteral("The statement");
    const QByteArray bytes = encodeText(sql);
    if (dbcmd(proc, bytes.constData()) == FAIL || dbsqlexec(proc) == FAIL)
        raise(what);
    readResults(rows, what);
    raiseIfFailed(what);
}

void TdsConnection::call(const QString& procedure, std::vector<Param>& params, RowStore* rows) {
    DBPROCESS* proc = requireOpen();
    const QString what = QStringLiteral("Procedure %1").arg(procedure);
    // A batch, not a remote call: the remote-call interface sends an empty string as NULL.
    const CallBatch batch = callBatch(procedure, params);
    const QByteArray bytes = encodeText(batch.text);
    if (dbcmd(proc, bytes.constData()) == FAIL || dbsqlexec(proc) == FAIL)
        raise(what);
    RowStore outputs;
    readResults(rows, what, batch.readBack.empty() ? nullptr : &outputs);
    raiseIfFailed(what);
    readOutputs(params, batch.readBack, outputs);
}

void TdsConnection::readResults(RowStore* rows, const QString& what, RowStore* lastSet) {
    DBPROCESS* proc = m_proc;
    // Each row set with columns replaces the one before; with `lastSet` the last one goes
    // there and the one before it is the caller's.
    RowStore latest;
    RowStore before;
    bool haveLatest = false;
    const bool keep = rows || lastSet;
    RETCODE rc;
    while ((rc = dbresults(proc)) != NO_MORE_RESULTS) {
        if (rc == FAIL)
            raise(what);
        const int columns = dbnumcols(proc);
        std::vector<FieldType> types;
        if (columns > 0 && keep) {
            std::vector<FieldDef> defs;
            defs.reserve(static_cast<std::size_t>(columns));
            for (int c = 1; c <= columns; ++c) {
                FieldDef def;
                const char* name = dbcolname(proc, c);
                def.name = decodeText(name, name ? static_cast<int>(qstrlen(name)) : 0);
                const DBTYPEINFO* info = dbcoltypeinfo(proc, c);
                def.type = fieldTypeOf(dbcoltype(proc, c), info ? info->scale : 0);
                if (def.type == FieldType::String)
                    def.size = qMax(0, static_cast<int>(dbcollen(proc, c)));
                types.push_back(def.type);
                defs.push_back(std::move(def));
            }
            if (haveLatest)
                before = std::move(latest);
            latest = RowStore();
            latest.setColumns(std::move(defs));
            haveLatest = true;
        }
        STATUS row;
        while ((row = dbnextrow(proc)) != NO_MORE_ROWS) {
            if (row == FAIL)
                raise(what);
            if (row != REG_ROW || types.empty())
                continue;  // compute rows, or rows nobody keeps
            latest.beginRow();
            for (int c = 1; c <= columns; ++c) {
                const int type = dbcoltype(proc, c);
                BYTE* data = dbdata(proc, c);
                const int length = static_cast<int>(dbdatlen(proc, c));
                std::optional<Cell> cell = decodeCell(type, data, length);
                if (!cell)
                    cell = convertedToText(proc, type, data, length);
                appendCell(latest, types[static_cast<std::size_t>(c - 1)], *cell);
            }
            latest.endRow();
        }
    }
    if (lastSet) {
        if (haveLatest)
            *lastSet = std::move(latest);
        latest = std::move(before);
        haveLatest = latest.columnCount() > 0;
    }
    if (rows)
        *rows = haveLatest ? std::move(latest) : RowStore();
}

void TdsConnection::readOutputs(std::vector<Param>& params, const std::vector<int>& readBack,
                                const RowStore& values) {
    if (readBack.empty())
        return;
    if (values.rowCount() < 1 || values.columnCount() != static_cast<int>(readBack.size()))
        throw EDatabaseError(QStringLiteral("The server returned no output values"));
    for (std::size_t i = 0; i < readBack.size(); ++i) {
        Param& p = params[static_cast<std::size_t>(readBack[i])];
        p.Value = storedToVariant(values, 0, static_cast<int>(i),
                                  p.Type == ParamType::Result ? FieldType::Integer : p.DataType);
    }
}

}  // namespace db::tds
