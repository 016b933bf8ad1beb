// A scripted TDS 7.x server on a loopback port (it agrees to the version the client asks), enough
// for the network back end to log in, send batches and remote procedure calls, and read what the
// script answers: result sets, errors, output values. A script may also stay silent or drop the
// link.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace testtds {

// A procedure parameter as the server received it.
struct ReceivedParam {
    QString name;
    int type = 0;  // wire type byte
    bool output = false;
    bool isNull = false;
    QByteArray data;  // value bytes as sent (UCS-2 for Unicode text)
};

struct Request {
    bool rpc = false;
    QString text;  // batch text, or the procedure name of a call
    std::vector<ReceivedParam> params;
};

// Builds the token stream of one answer.
class Tokens {
public:
    enum Type : std::uint8_t {
        Int = 0x26,
        Money = 0x6E,
        Float = 0x6D,
        DateTime = 0x6F,
        NVarChar = 0xE7,
        VarChar = 0xA7,
        Decimal = 0x6A
    };
    struct Column {
        QString name;
        Type type;
        int size = 0;  // INTN/MONEYN/FLTN/DATETIMN width; text: max bytes; decimal: precision
        int scale = 0;
    };
    Tokens& columns(const std::vector<Column>& cols);
    // Any column type: its TYPE_INFO bytes as the wire carries them, the type byte first
    // (text and ntext include their table name part).
    struct RawColumn {
        QString name;
        QByteArray typeInfo;
    };
    Tokens& rawColumns(const std::vector<RawColumn>& cols);
    // One row whose cells are given as the row token carries them (length prefix included).
    Tokens& rawRow(const std::vector<QByteArray>& cells);
    Tokens& beginRow();
    Tokens& null();
    Tokens& integer(std::int32_t v);
    Tokens& money(std::int64_t tenThousandths);
    Tokens& real(double v);
    Tokens& dateTime(std::int32_t days1900, std::int32_t ticks300);
    Tokens& text(const QString& s);          // for NVarChar columns
    Tokens& bytes(const QByteArray& cp936);  // for VarChar columns (Chinese collation)
    Tokens& decimal(bool negative, std::uint64_t magnitude);
    Tokens& error(int number, int severity, const QString& message);
    Tokens& info(int number, const QString& message);
    Tokens& returnStatus(std::int32_t status);
    // An output value of the call's parameter at `ordinal` (0-based, as the call sent them:
    // clients that send parameters without names match outputs by it).
    Tokens& returnInt(const QString& name, std::int32_t v, int ordinal = 0);
    Tokens& returnText(const QString& name, const QString* value,
                       int ordinal = 0);  // nullptr: NULL
    Tokens& done(bool more = false, bool error = false, bool proc = false);
    const QByteArray& data() const { return m_data; }

private:
    QByteArray m_data;
    std::vector<Column> m_cols;
    std::size_t m_col = 0;
};

struct Reply {
    // RawThenDrop: the bytes are sent as the whole answer, whatever they hold, and the link
    // is closed after them (replays of captured or fuzzed answers).
    enum class Kind { Answer, Silent, Drop, RawThenDrop };
    Kind kind = Kind::Answer;
    QByteArray tokens;  // empty: a plain DONE
    static Reply silent() { return {Kind::Silent, {}}; }
    static Reply drop() { return {Kind::Drop, {}}; }
    static Reply rawThenDrop(QByteArray bytes) { return {Kind::RawThenDrop, std::move(bytes)}; }
    static Reply answer(const Tokens& t) { return {Kind::Answer, t.data()}; }
};

class FakeTdsServer {
public:
    using Script = std::function<Reply(const Request&)>;
    explicit FakeTdsServer(Script script);
    ~FakeTdsServer();
    int port() const { return m_port; }
    QString serverName() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    int logins() const { return m_logins; }
    std::vector<Request> requests() const;  // every batch and call, in order
    QString lastLoginHostName() const;
    QString lastLoginAppName() const;
    QString lastLoginDatabase() const;
    QString lastLoginUser() const;
    std::uint32_t lastLoginTdsVersion() const;  // as LOGIN7 carries it, e.g. 0x730B0003

private:
    void serve(int client);
    void record(const Request& r);

    Script m_script;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_logins{0};
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
    QString m_hostName, m_appName, m_database, m_user;
    std::uint32_t m_tdsVersion = 0;
    std::vector<int> m_clients;
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
};

}  // namespace testtds
