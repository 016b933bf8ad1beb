// Wire format of the scripted server: packets of an 8-byte header, the pre-login exchange
// (no encryption offered), the LOGIN7 record, SQL batches and RPC requests in, and token
// streams out. Only the subset the network back end sends and reads is understood.
#include "faketdsserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace testtds {

namespace {

void putU8(QByteArray& b, int v) {
    b.append(static_cast<char>(v & 0xFF));
}
void putU16(QByteArray& b, int v) {
    putU8(b, v);
    putU8(b, v >> 8);
}
void putU32(QByteArray& b, std::uint32_t v) {
    putU16(b, static_cast<int>(v & 0xFFFF));
    putU16(b, static_cast<int>(v >> 16));
}
void putU64(QByteArray& b, std::uint64_t v) {
    putU32(b, static_cast<std::uint32_t>(v));
    putU32(b, static_cast<std::uint32_t>(v >> 32));
}
QByteArray ucs2(const QString& s) {
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}
void putBVarchar(QByteArray& b, const QString& s) {
    putU8(b, static_cast<int>(s.size()));
    b.append(ucs2(s));
}
void putUsVarchar(QByteArray& b, const QString& s) {
    putU16(b, static_cast<int>(s.size()));
    b.append(ucs2(s));
}
// Bytes of a decimal value on the wire (sign byte included) for its precision.
int decimalLength(int precision) {
    return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}
// Chinese (PRC) collation, so single-byte text is read as code page 936.
void putCollation(QByteArray& b) {
    b.append("\x04\x08\xD0\x00\x00", 5);
}

int getU16(const QByteArray& b, int at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t getU32(const QByteArray& b, int at) {
    return static_cast<std::uint32_t>(getU16(b, at)) |
           (static_cast<std::uint32_t>(getU16(b, at + 2)) << 16);
}
QString getUcs2(const QByteArray& b, int at, int chars) {
    if (at < 0 || chars <= 0 || at + chars * 2 > b.size())
        return QString();
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(b.constData() + at), chars);
}

bool readAll(int fd, char* into, int n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd, into, static_cast<size_t>(n), 0);
        if (got <= 0)
            return false;
        into += got;
        n -= static_cast<int>(got);
    }
    return true;
}

// One whole message (all packets up to end-of-message); false when the link closed.
bool readMessage(int fd, int* type, QByteArray* payload) {
    payload->clear();
    for (;;) {
        char header[8];
        if (!readAll(fd, header, 8))
            return false;
        *type = static_cast<unsigned char>(header[0]);
        const int length =
            (static_cast<unsigned char>(header[2]) << 8) | static_cast<unsigned char>(header[3]);
        QByteArray part(length - 8, '\0');
        if (length > 8 && !readAll(fd, part.data(), length - 8))
            return false;
        payload->append(part);
        if (header[1] & 0x01)
            return true;
    }
}

void sendMessage(int fd, const QByteArray& payload) {
    QByteArray packet;
    putU8(packet, 0x04);  // tabular result
    putU8(packet, 0x01);  // end of message
    const int length = static_cast<int>(payload.size()) + 8;
    putU8(packet, length >> 8);
    putU8(packet, length);
    putU16(packet, 0);
    putU8(packet, 1);
    putU8(packet, 0);
    packet.append(payload);
    ::send(fd, packet.constData(), static_cast<size_t>(packet.size()), MSG_NOSIGNAL);
}

QByteArray preloginAnswer() {
    QByteArray b;
    // VERSION at offset 11 (6 bytes), ENCRYPTION at 17 (1 byte), terminator.
    b.append("\x00\x00\x0B\x00\x06", 5);
    b.append("\x01\x00\x11\x00\x01", 5);
    putU8(b, 0xFF);
    b.append("\x0B\x00\x08\x1C\x00\x00", 6);
    putU8(b, 0x02);  // encryption not supported
    return b;
}

// `version` as LOGIN7 carries it (little-endian); the acknowledgement gives it back
// big-endian, agreeing to the version the client asked for as SQL Server does.
QByteArray loginAnswer(std::uint32_t version) {
    QByteArray b;
    QByteArray ack;
    putU8(ack, 1);  // T-SQL
    for (int shift = 24; shift >= 0; shift -= 8) putU8(ack, static_cast<int>(version >> shift));
    putBVarchar(ack, QStringLiteral("Fake"));
    ack.append("\x0B\x00\x08\x1C", 4);
    putU8(b, 0xAD);
    putU16(b, static_cast<int>(ack.size()));
    b.append(ack);
    Tokens t;
    t.done();
    b.append(t.data());
    return b;
}

// Skips ALL_HEADERS at the start of a batch or RPC request.
int afterHeaders(const QByteArray& p) {
    if (p.size() < 4)
        return 0;
    const auto total = static_cast<int>(getU32(p, 0));
    return total >= 4 && total <= p.size() ? total : 0;
}

Request parseRpc(const QByteArray& p) {
    Request r;
    r.rpc = true;
    int at = afterHeaders(p);
    const int nameLength = getU16(p, at);
    at += 2;
    if (nameLength == 0xFFFF) {
        at += 2;  // procedure id
    } else {
        r.text = getUcs2(p, at, nameLength);
        at += nameLength * 2;
    }
    at += 2;  // option flags
    while (at < p.size()) {
        ReceivedParam param;
        const int n = static_cast<unsigned char>(p[at++]);
        param.name = getUcs2(p, at, n);
        at += n * 2;
        param.output = (static_cast<unsigned char>(p[at++]) & 0x01) != 0;
        param.type = static_cast<unsigned char>(p[at++]);
        switch (param.type) {
            case 0x26:
            case 0x6D:
            case 0x6E:
            case 0x6F:
            case 0x68: {  // byte-length types
                ++at;     // max length
                const int len = static_cast<unsigned char>(p[at++]);
                param.isNull = len == 0;
                param.data = p.mid(at, len);
                at += len;
                break;
            }
            case 0x6A:
            case 0x6C: {  // decimal, numeric
                at += 3;
                const int len = static_cast<unsigned char>(p[at++]);
                param.isNull = len == 0;
                param.data = p.mid(at, len);
                at += len;
                break;
            }
            case 0xA7:
            case 0xAF:
            case 0xE7:
            case 0xEF: {  // text types; a max length of 0xFFFF means (max), sent in chunks
                const int maxLength = getU16(p, at);
                at += 2 + 5;  // max length, collation
                if (maxLength == 0xFFFF) {
                    const std::uint64_t total =
                        getU32(p, at) | (static_cast<std::uint64_t>(getU32(p, at + 4)) << 32);
                    at += 8;
                    param.isNull = total == ~std::uint64_t{0};
                    while (!param.isNull && at + 4 <= p.size()) {
                        const auto chunk = static_cast<int>(getU32(p, at));
                        at += 4;
                        if (chunk == 0)
                            break;
                        param.data += p.mid(at, chunk);
                        at += chunk;
                    }
                    break;
                }
                const int len = getU16(p, at);
                at += 2;
                param.isNull = len == 0xFFFF;
                if (!param.isNull) {
                    param.data = p.mid(at, len);
                    at += len;
                }
                break;
            }
            default:  // a type this server does not read: stop here
                r.params.push_back(param);
                return r;
        }
        r.params.push_back(param);
    }
    return r;
}

}  // namespace

Tokens& Tokens::columns(const std::vector<Column>& cols) {
    m_cols = cols;
    putU8(m_data, 0x81);
    putU16(m_data, static_cast<int>(cols.size()));
    for (const Column& c : cols) {
        putU32(m_data, 0);     // user type
        putU16(m_data, 0x09);  // nullable, updatable unknown
        putU8(m_data, c.type);
        switch (c.type) {
            case NVarChar:
            case VarChar:
                putU16(m_data, c.size);
                putCollation(m_data);
                break;
            case Decimal:
                putU8(m_data, decimalLength(c.size));
                putU8(m_data, c.size);
                putU8(m_data, c.scale);
                break;
            default:
                putU8(m_data, c.size);
        }
        putBVarchar(m_data, c.name);
    }
    return *this;
}

Tokens& Tokens::rawColumns(const std::vector<RawColumn>& cols) {
    m_cols.clear();
    putU8(m_data, 0x81);
    putU16(m_data, static_cast<int>(cols.size()));
    for (const RawColumn& c : cols) {
        putU32(m_data, 0);     // user type
        putU16(m_data, 0x09);  // nullable
        m_data.append(c.typeInfo);
        putBVarchar(m_data, c.name);
    }
    return *this;
}

Tokens& Tokens::rawRow(const std::vector<QByteArray>& cells) {
    putU8(m_data, 0xD1);
    for (const QByteArray& c : cells) m_data.append(c);
    return *this;
}

Tokens& Tokens::beginRow() {
    putU8(m_data, 0xD1);
    m_col = 0;
    return *this;
}

Tokens& Tokens::null() {
    const Type type = m_cols[m_col++].type;
    if (type == NVarChar || type == VarChar)
        putU16(m_data, 0xFFFF);
    else
        putU8(m_data, 0);
    return *this;
}

Tokens& Tokens::integer(std::int32_t v) {
    ++m_col;
    putU8(m_data, 4);
    putU32(m_data, static_cast<std::uint32_t>(v));
    return *this;
}

Tokens& Tokens::money(std::int64_t v) {
    ++m_col;
    putU8(m_data, 8);
    putU32(m_data, static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
    putU32(m_data, static_cast<std::uint32_t>(v));
    return *this;
}

Tokens& Tokens::real(double v) {
    ++m_col;
    putU8(m_data, 8);
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    putU64(m_data, bits);
    return *this;
}

Tokens& Tokens::dateTime(std::int32_t days, std::int32_t ticks) {
    ++m_col;
    putU8(m_data, 8);
    putU32(m_data, static_cast<std::uint32_t>(days));
    putU32(m_data, static_cast<std::uint32_t>(ticks));
    return *this;
}

Tokens& Tokens::text(const QString& s) {
    ++m_col;
    putU16(m_data, static_cast<int>(s.size() * 2));
    m_data.append(ucs2(s));
    return *this;
}

Tokens& Tokens::bytes(const QByteArray& b) {
    ++m_col;
    putU16(m_data, static_cast<int>(b.size()));
    m_data.append(b);
    return *this;
}

Tokens& Tokens::decimal(bool negative, std::uint64_t magnitude) {
    const int length = decimalLength(m_cols[m_col++].size);
    putU8(m_data, length);
    putU8(m_data, negative ? 0 : 1);      // the wire's sign byte: 1 is positive
    for (int i = 0; i < length - 1; ++i)  // magnitude, least significant byte first
        putU8(m_data, i < 8 ? static_cast<int>(magnitude >> (8 * i)) : 0);
    return *this;
}

namespace {
void message(QByteArray& b, int token, int number, int severity, const QString& text) {
    QByteArray body;
    putU32(body, static_cast<std::uint32_t>(number));
    putU8(body, 1);
    putU8(body, severity);
    putUsVarchar(body, text);
    putBVarchar(body, QStringLiteral("FAKE"));
    putBVarchar(body, QString());
    putU32(body, 1);
    putU8(b, token);
    putU16(b, static_cast<int>(body.size()));
    b.append(body);
}
}  // namespace

Tokens& Tokens::error(int number, int severity, const QString& text) {
    message(m_data, 0xAA, number, severity, text);
    return *this;
}

Tokens& Tokens::info(int number, const QString& text) {
    message(m_data, 0xAB, number, 0, text);
    return *this;
}

Tokens& Tokens::returnStatus(std::int32_t status) {
    putU8(m_data, 0x79);
    putU32(m_data, static_cast<std::uint32_t>(status));
    return *this;
}

Tokens& Tokens::returnInt(const QString& name, std::int32_t v, int ordinal) {
    putU8(m_data, 0xAC);
    putU16(m_data, ordinal);
    putBVarchar(m_data, name);
    putU8(m_data, 1);
    putU32(m_data, 0);
    putU16(m_data, 0x09);
    putU8(m_data, Int);
    putU8(m_data, 4);
    putU8(m_data, 4);
    putU32(m_data, static_cast<std::uint32_t>(v));
    return *this;
}

Tokens& Tokens::returnText(const QString& name, const QString* value, int ordinal) {
    putU8(m_data, 0xAC);
    putU16(m_data, ordinal);
    putBVarchar(m_data, name);
    putU8(m_data, 1);
    putU32(m_data, 0);
    putU16(m_data, 0x09);
    putU8(m_data, NVarChar);
    putU16(m_data, 8000);
    putCollation(m_data);
    if (value) {
        putU16(m_data, static_cast<int>(value->size() * 2));
        m_data.append(ucs2(*value));
    } else {
        putU16(m_data, 0xFFFF);
    }
    return *this;
}

Tokens& Tokens::done(bool more, bool error, bool proc) {
    putU8(m_data, proc ? 0xFE : 0xFD);
    putU16(m_data, (more ? 0x01 : 0) | (error ? 0x02 : 0));
    putU16(m_data, 0xC1);
    putU64(m_data, 0);
    return *this;
}

FakeTdsServer::FakeTdsServer(Script script) : m_script(std::move(script)) {
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    ::listen(m_listen, 8);
    m_acceptor = std::thread([this] {
        while (!m_stop) {
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0)
                return;
            std::lock_guard lock(m_mutex);
            m_clients.push_back(client);
            m_threads.emplace_back([this, client] { serve(client); });
        }
    });
}

FakeTdsServer::~FakeTdsServer() {
    m_stop = true;
    ::shutdown(m_listen, SHUT_RDWR);
    ::close(m_listen);
    m_acceptor.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_clients) ::shutdown(fd, SHUT_RDWR);
        threads.swap(m_threads);
    }
    for (std::thread& t : threads) t.join();
    for (int fd : m_clients) ::close(fd);
}

void FakeTdsServer::record(const Request& r) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(r);
}

std::vector<Request> FakeTdsServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QString FakeTdsServer::lastLoginHostName() const {
    std::lock_guard lock(m_mutex);
    return m_hostName;
}
QString FakeTdsServer::lastLoginAppName() const {
    std::lock_guard lock(m_mutex);
    return m_appName;
}
QString FakeTdsServer::lastLoginDatabase() const {
    std::lock_guard lock(m_mutex);
    return m_database;
}
QString FakeTdsServer::lastLoginUser() const {
    std::lock_guard lock(m_mutex);
    return m_user;
}
std::uint32_t FakeTdsServer::lastLoginTdsVersion() const {
    std::lock_guard lock(m_mutex);
    return m_tdsVersion;
}

void FakeTdsServer::serve(int client) {
    int type = 0;
    QByteArray p;
    while (!m_stop && readMessage(client, &type, &p)) {
        if (type == 0x12) {  // pre-login
            sendMessage(client, preloginAnswer());
        } else if (type == 0x10) {  // LOGIN7
            const auto field = [&p](int at) {
                return getUcs2(p, getU16(p, at), getU16(p, at + 2));
            };
            const std::uint32_t version = getU32(p, 4);
            {
                std::lock_guard lock(m_mutex);
                m_hostName = field(36);
                m_user = field(40);
                m_appName = field(48);
                m_database = field(68);
                m_tdsVersion = version;
            }
            ++m_logins;
            sendMessage(client, loginAnswer(version));
        } else if (type == 0x06) {  // attention: acknowledge the cancel
            QByteArray ack;
            putU8(ack, 0xFD);
            putU16(ack, 0x20);
            putU16(ack, 0);
            putU64(ack, 0);
            sendMessage(client, ack);
        } else if (type == 0x01 || type == 0x03) {
            Request r;
            if (type == 0x01) {
                const int at = afterHeaders(p);
                r.text = getUcs2(p, at, static_cast<int>((p.size() - at) / 2));
            } else {
                r = parseRpc(p);
            }
            record(r);
            const Reply reply = m_script(r);
            if (reply.kind == Reply::Kind::Silent)
                continue;
            if (reply.kind == Reply::Kind::Drop) {
                ::shutdown(client, SHUT_RDWR);
                return;
            }
            if (reply.kind == Reply::Kind::RawThenDrop) {
                if (!reply.tokens.isEmpty())
                    sendMessage(client, reply.tokens);
                ::shutdown(client, SHUT_RDWR);
                return;
            }
            QByteArray tokens = reply.tokens;
            if (tokens.isEmpty()) {
                Tokens t;
                t.done(false, false, r.rpc);
                tokens = t.data();
            }
            sendMessage(client, tokens);
        }
    }
}

}  // namespace testtds
