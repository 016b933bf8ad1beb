#include "framework/report/pdfsyntax.h"

#include "framework/text/errors.h"

#include <zlib.h>
#include <charconv>
#include <cmath>

namespace report::pdf {

namespace {

// Far past any page or glyph (a page of 1.5 m is 4,250 pt, a glyph 1,000 units) and short
// enough to format.
constexpr double kMaxNumber = 1e9;

}  // namespace

void num(QByteArray& out, double v) {
    // Never write what was not formatted: a loaded report is checked, this is the last guard.
    if (!(std::abs(v) <= kMaxNumber))
        throw EInvalidOperation(QStringLiteral("报表中有超出PDF范围的数值，无法导出"));
    const std::int64_t milli = std::llround(v * 1000.0);
    char buf[32];
    char* p = buf;
    if (milli < 0)
        *p++ = '-';
    const std::uint64_t a =
        milli < 0 ? 0 - static_cast<std::uint64_t>(milli) : static_cast<std::uint64_t>(milli);
    if (milli == 0)
        p = buf;  // no "-0"
    p = std::to_chars(p, buf + sizeof buf, a / 1000).ptr;
    unsigned frac = static_cast<unsigned>(a % 1000);
    if (frac != 0) {
        *p++ = '.';
        *p++ = static_cast<char>('0' + frac / 100);
        frac %= 100;
        if (frac != 0) {
            *p++ = static_cast<char>('0' + frac / 10);
            if (frac % 10 != 0)
                *p++ = static_cast<char>('0' + frac % 10);
        }
    }
    *p++ = ' ';
    out.append(buf, p - buf);
}

void hex2(QByteArray& out, unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    const char two[2] = {digits[(v >> 4) & 15], digits[v & 15]};
    out.append(two, 2);
}

void utf16Hex(QByteArray& out, char32_t c) {
    const auto four = [&](unsigned u) {
        hex2(out, u >> 8);
        hex2(out, u & 0xFF);
    };
    if (c > 0xFFFF) {
        c -= 0x10000;
        four(0xD800 + (c >> 10));
        four(0xDC00 + (c & 0x3FF));
    } else {
        four(c);
    }
}

void appendNumber(QByteArray& out, std::int64_t v) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr - buf);
}

QByteArray textString(const QString& s) {
    QByteArray out("<FEFF");
    for (const QChar c : s) {
        hex2(out, c.unicode() >> 8);
        hex2(out, c.unicode() & 0xFF);
    }
    out.append('>');
    return out;
}

struct Objects::Deflater {
    z_stream z{};
    bool ready = false;
    ~Deflater() {
        if (ready)
            deflateEnd(&z);
    }
};

Objects::Objects(std::function<void(const QByteArray&)> sink, int compression)
    : m_sink(std::move(sink)),
      m_compression(compression),
      m_deflater(std::make_unique<Deflater>()) {}

Objects::~Objects() = default;

int Objects::reserve() {
    m_offsets.push_back(-1);
    return static_cast<int>(m_offsets.size() - 1);
}

void Objects::begin(int object) {
    m_offsets[static_cast<std::size_t>(object)] = m_pos;
    QByteArray head;
    appendNumber(head, object);
    head += " 0 obj\n";
    put(head);
}

void Objects::put(const QByteArray& bytes) {
    m_sink(bytes);
    m_pos += bytes.size();
}

void Objects::stream(int object, const QByteArray& data, const QByteArray& extra) {
    begin(object);
    const QByteArray* body = &data;
    QByteArray dict("<< ");
    if (m_compression > 0) {
        // One compressor for the whole file, reset between streams: setting one up costs far
        // more than a page's content.
        Deflater& d = *m_deflater;
        if (!d.ready) {
            if (deflateInit(&d.z, m_compression) != Z_OK)
                throw EInvalidOperation(QStringLiteral("内存不足，无法导出PDF"));
            d.ready = true;
        } else {
            deflateReset(&d.z);
        }
        const auto bound =
            static_cast<qsizetype>(deflateBound(&d.z, static_cast<uLong>(data.size())));
        if (m_packed.size() < bound)
            m_packed.resize(bound);
        d.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        d.z.avail_in = static_cast<uInt>(data.size());
        d.z.next_out = reinterpret_cast<Bytef*>(m_packed.data());
        d.z.avail_out = static_cast<uInt>(m_packed.size());
        if (deflate(&d.z, Z_FINISH) != Z_STREAM_END)
            throw EInvalidOperation(QStringLiteral("无法压缩PDF的内容"));
        body = nullptr;
        dict += "/Filter /FlateDecode ";
    }
    dict += extra;
    dict += "/Length ";
    appendNumber(dict, body ? body->size() : static_cast<qint64>(m_deflater->z.total_out));
    dict += " >>\nstream\n";
    put(dict);
    put(body ? *body
             : QByteArray::fromRawData(m_packed.constData(),
                                       static_cast<qsizetype>(m_deflater->z.total_out)));
    put("\nendstream");
    end();
}

void Objects::finish(int catalog, int info) {
    const qint64 xref = m_pos;
    QByteArray table("xref\n0 ");
    appendNumber(table, static_cast<qint64>(m_offsets.size()));
    table += "\n0000000000 65535 f \n";
    table.reserve(table.size() + static_cast<qsizetype>(m_offsets.size()) * 20 + 128);
    for (std::size_t i = 1; i < m_offsets.size(); ++i) {
        char entry[21];
        std::snprintf(entry, sizeof entry, "%010lld 00000 n \n",
                      static_cast<long long>(m_offsets[i]));
        table.append(entry, 20);
    }
    table += "trailer\n<< /Size ";
    appendNumber(table, static_cast<qint64>(m_offsets.size()));
    table += " /Root ";
    appendNumber(table, catalog);
    table += " 0 R /Info ";
    appendNumber(table, info);
    table += " 0 R >>\nstartxref\n";
    appendNumber(table, xref);
    table += "\n%%EOF\n";
    put(table);
}

}  // namespace report::pdf
