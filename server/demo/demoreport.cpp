// Report and summary of a demo server. Both run the same calls the library makes at "查看":
// the financial years, the import of those years, then the statistics of one month.
#include "server/demo/demoreport.h"

#include "server/demo/demobuilder.h"
#include "server/server.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iomanip>
#include <vector>

namespace demo {

namespace {

std::string cell(const server::Value& v) {
    char buf[48];
    switch (v.kind) {
        case server::Value::Kind::Null:
            return "";
        case server::Value::Kind::Integer:
            return std::to_string(v.integer);
        case server::Value::Kind::Float:
            std::snprintf(buf, sizeof buf, "%.4g", v.real);
            return buf;
        case server::Value::Kind::Currency:
            std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(v.integer) / 10000.0);
            return buf;
        case server::Value::Kind::Text:
            return v.text;
        case server::Value::Kind::DateTime:
            return std::to_string(v.integer);
    }
    return "";
}

bool rightAligned(const server::Column& c) {
    return c.type == server::ColumnType::Currency || c.type == server::ColumnType::Integer ||
           c.type == server::ColumnType::Float;
}

void pad(std::ostream& out, const std::string& text, int width, bool right) {
    const int fill = std::max(0, width - DemoReport::displayWidth(text));
    if (right)
        out << std::string(static_cast<std::size_t>(fill), ' ') << text;
    else
        out << text << std::string(static_cast<std::size_t>(fill), ' ');
}

server::Value text(const std::string& s) {
    return server::Value::fromText(s);
}

// A table name as a bracketed identifier, a "]" in it doubled.
std::string bracketed(const std::string& name) {
    std::string out = "[";
    for (char c : name) out += c == ']' ? std::string("]]") : std::string(1, c);
    return out + "]";
}

server::Value currency(std::int64_t units) {
    server::Value v;
    v.kind = server::Value::Kind::Currency;
    v.integer = units;
    return v;
}

// The statement the library would show first: the latest month with shipments, for the
// whole company, after the import of every financial year.
struct Statement {
    std::string minYear;
    std::string maxYear;
    std::string month;  // YYYY-MM; empty when there are no shipments
    server::RowSet rows;
    std::vector<std::int64_t> sums;  // per column, in currency units; money columns only
    bool isSummed(std::size_t column) const {
        return rows.columns[column].type == server::ColumnType::Currency;
    }
};

Statement latestStatement(const server::Server& srv) {
    Statement st;
    auto biz = srv.connect(DemoBuilder::kBusinessDb);
    server::RowSet years;
    biz->call("dbo.GetCwMaxMinYear", {}, &years);
    st.minYear = years.rows.empty() ? "0" : cell(years.rows[0][0]);
    st.maxYear = years.rows.empty() ? "0" : cell(years.rows[0][1]);
    biz->call("dbo.ImportYYCWDATA", {{"@year1", text(st.minYear)}, {"@year2", text(st.maxYear)}},
              static_cast<server::RowSet*>(nullptr));
    const server::RowSet latest = biz->query("select max(ym) from shipment");
    if (latest.rows.empty() || latest.rows[0][0].isNull())
        return st;
    const std::int64_t ym = latest.rows[0][0].integer;
    const std::string y = std::to_string(ym / 100);
    const std::string m = std::to_string(ym % 100);
    st.month = y + (m.size() < 2 ? "-0" : "-") + m;
    biz->call("dbo.StatCalvesteri",
              {{"@ViewObject", text("C")},
               {"@deptid", text("")},
               {"@salerid", text("")},
               {"@year1", text(y)},
               {"@month1", text(m)},
               {"@year2", text(y)},
               {"@month2", text(m)},
               {"@queryOption", server::Value::fromInt(0)}},
              &st.rows);
    st.sums.assign(st.rows.columns.size(), 0);
    for (const auto& row : st.rows.rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            if (row[c].kind == server::Value::Kind::Currency)
                st.sums[c] += row[c].integer;
    return st;
}

}  // namespace

int DemoReport::displayWidth(std::string_view s) {
    int width = 0;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = c;
        int len = 1;
        if (c >= 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            len = 2;
        }
        for (int k = 1; k < len && i + static_cast<std::size_t>(k) < s.size(); ++k)
            cp =
                (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(len);
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

void DemoReport::print(const std::string& dir, std::ostream& out) {
    const server::Server srv = server::Server::open(dir);
    out << "Server folder: " << dir << "\n\n";
    for (const std::string& db : srv.databases()) {
        auto conn = srv.connect(db);
        out << "Database " << db << "\n";
        const server::RowSet tables =
            conn->query("select name from sqlite_master where type='table' order by name");
        for (const auto& row : tables.rows) {
            const server::RowSet count =
                conn->query("select count(*) from " + bracketed(row[0].text));
            out << "  " << std::left << std::setw(24) << row[0].text << std::right << std::setw(10)
                << count.rows.at(0).at(0).integer << " rows\n";
        }
    }

    const Statement st = latestStatement(srv);
    if (st.month.empty()) {
        out << "\nNo shipments.\n";
        return;
    }
    out << "\nFinancial years " << st.minYear << " to " << st.maxYear << " imported.\n"
        << "Export profit and loss, whole company, " << st.month << ": " << st.rows.rows.size()
        << " shipments\n\n";

    std::vector<std::vector<std::string>> cells;
    std::vector<int> widths;
    for (const auto& c : st.rows.columns) widths.push_back(displayWidth(c.name));
    for (const auto& row : st.rows.rows) {
        cells.emplace_back();
        for (std::size_t c = 0; c < row.size(); ++c) {
            cells.back().push_back(cell(row[c]));
            widths[c] = std::max(widths[c], displayWidth(cells.back().back()));
        }
    }
    std::vector<std::string> total;
    for (std::size_t c = 0; c < st.rows.columns.size(); ++c) {
        total.push_back(c == 0 ? "合计" : st.isSummed(c) ? cell(currency(st.sums[c])) : "");
        widths[c] = std::max(widths[c], displayWidth(total.back()));
    }
    auto line = [&](const std::vector<std::string>& values, bool header) {
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (c)
                out << "  ";
            pad(out, values[c], widths[c], !header && rightAligned(st.rows.columns[c]));
        }
        out << "\n";
    };
    std::vector<std::string> names;
    for (const auto& c : st.rows.columns) names.push_back(c.name);
    line(names, true);
    for (const auto& row : cells) line(row, false);
    line(total, false);
}

void DemoReport::summary(const std::string& dir, std::ostream& out) {
    const server::Server srv = server::Server::open(dir);
    out << "Demo server " << dir << ": databases";
    const char* separator = " ";
    for (const std::string& db : srv.databases()) {
        out << separator << db;
        separator = ", ";
    }
    const server::RowSet shipments =
        srv.connect(DemoBuilder::kBusinessDb)->query("select count(*) from shipment");
    out << "\n  " << shipments.rows.at(0).at(0).integer << " shipments";

    const Statement st = latestStatement(srv);
    if (st.month.empty()) {
        out << "\n";
        return;
    }
    out << ", financial years " << st.minYear << " to " << st.maxYear << "\n"
        << "  statement of " << st.month << " for the whole company: " << st.rows.rows.size()
        << " rows\n";

    // Totals as "name value" pairs, as many to a line as fit a terminal.
    constexpr std::size_t kWidth = 88;
    const std::string indent = "  totals ";
    std::string line = indent;
    for (std::size_t c = 0; c < st.rows.columns.size(); ++c) {
        if (!st.isSummed(c))
            continue;
        const std::string pair = st.rows.columns[c].name + " " + cell(currency(st.sums[c]));
        if (line.size() > indent.size() && line.size() + 2 + pair.size() > kWidth) {
            out << line << "\n";
            line = std::string(indent.size(), ' ');
        }
        line += (line.size() > indent.size() ? "  " : "") + pair;
    }
    out << line << "\n";
}

}  // namespace demo
