// Column-major result storage. Each column keeps only the vectors its type needs, so a
// 100,000-row result costs a few flat arrays per column and no allocation per cell.
// Edited text is appended to the column's arena; the old bytes stay until the store is cleared.
#include "framework/db/rowstore.h"

#include "framework/db/field.h"
#include "framework/text/errors.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

namespace db {

namespace {

bool isText(FieldType t) {
    return t == FieldType::String || t == FieldType::Memo;
}

[[noreturn]] void outOfRange(const FieldDef& def, const QString& value, const char* what) {
    throw EDatabaseError(QStringLiteral("Field '%1': the value %2 is out of the range of %3")
                             .arg(def.name, value, QLatin1String(what)));
}

std::int64_t currencyUnits(const FieldDef& def, std::int64_t whole) {
    const std::optional<std::int64_t> units = currencyFromInteger(whole);
    if (!units)
        outOfRange(def, QString::number(whole), "a currency value");
    return *units;
}

std::int64_t currencyUnits(const FieldDef& def, double v) {
    const std::optional<std::int64_t> units = currencyFromFloat(v);
    if (!units)
        outOfRange(def, formatGeneral(v), "a currency value");
    return *units;
}

// Rounded to the nearest whole number, as a float assigned to an integer field is.
std::int64_t wholeNumber(const FieldDef& def, double v) {
    const std::optional<std::int64_t> whole = integerFromFloat(std::round(v));
    if (!whole)
        outOfRange(def, formatGeneral(v), "an integer");
    return *whole;
}

Scaled4 scaledFloat(const FieldDef& def, double v) {
    const std::optional<Scaled4> units = scaled4FromFloat(v);
    if (!units)
        throw EDatabaseError(
            QStringLiteral("Field '%1': the value %2 is too large to be summed to 4 decimals")
                .arg(def.name, formatGeneral(v)));
    return *units;
}

}  // namespace

void TextArena::grow(std::size_t more) {
    const std::size_t capacity = std::max({m_size + more, 2 * m_capacity, std::size_t{4096}});
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (m_size)
        std::memcpy(bigger.get(), m_data.get(), m_size);
    m_data = std::move(bigger);
    m_capacity = capacity;
}

void TextArena::shrink_to_fit() {
    if (m_size == m_capacity)
        return;
    std::unique_ptr<char[]> fitted;
    if (m_size) {
        fitted = std::make_unique_for_overwrite<char[]>(m_size);
        std::memcpy(fitted.get(), m_data.get(), m_size);
    }
    m_data = std::move(fitted);
    m_capacity = m_size;
}

void RowStore::setColumns(std::vector<FieldDef> defs) {
    clear();
    m_defs = std::move(defs);
    // The buffers of the rows cleared last are filled again, without growing step by step.
    const std::size_t reused = std::min(m_spare.size(), m_defs.size());
    m_data.assign(std::make_move_iterator(m_spare.begin()),
                  std::make_move_iterator(m_spare.begin() + static_cast<std::ptrdiff_t>(reused)));
    m_spare.clear();
    m_data.resize(m_defs.size());
}

void RowStore::fitCapacity() {
    constexpr std::size_t kSlack = 4096;
    for (ColumnData& d : m_data) {
        const auto fit = [](auto& v) {
            if (v.capacity() > 2 * v.size() + kSlack)
                v.shrink_to_fit();
        };
        fit(d.ints);
        fit(d.reals);
        fit(d.lens);
        fit(d.nulls);
        fit(d.arena);
    }
}

int RowStore::indexOf(const QString& name) const {
    for (std::size_t i = 0; i < m_defs.size(); ++i) {
        if (m_defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void RowStore::clear() {
    ++m_version;
    m_defs.clear();
    for (ColumnData& d : m_data) {
        d.ints.clear();
        d.reals.clear();
        d.lens.clear();
        d.nulls.clear();
        d.arena.clear();
    }
    if (m_spare.empty())
        m_spare = std::move(m_data);
    m_data.clear();
    m_rows = 0;
    m_appendCol = 0;
}

void RowStore::reserve(int rows) {
    for (std::size_t c = 0; c < m_defs.size(); ++c) {
        ColumnData& d = m_data[c];
        if (!d.nulls.empty())
            d.nulls.reserve(rows);
        if (m_defs[c].type == FieldType::Float) {
            d.reals.reserve(rows);
        } else {
            d.ints.reserve(rows);
            if (isText(m_defs[c].type))
                d.lens.reserve(rows);
        }
    }
}

void RowStore::keepColumns(const std::vector<int>& order) {
    ++m_version;
    std::vector<FieldDef> defs;
    std::vector<ColumnData> data;
    defs.reserve(order.size());
    data.reserve(order.size());
    for (int c : order) {
        defs.push_back(m_defs.at(c));
        data.push_back(std::move(m_data.at(c)));
    }
    m_defs = std::move(defs);
    m_data = std::move(data);
}

std::vector<std::uint8_t>& RowStore::nullFlags(ColumnData& d, int rows) {
    if (d.nulls.empty())
        d.nulls.assign(static_cast<std::size_t>(rows), 0);
    return d.nulls;
}

void RowStore::beginRow() {
    m_appendCol = 0;
}

void RowStore::appendNull() {
    const int c = m_appendCol++;
    ColumnData& d = m_data.at(c);
    nullFlags(d, m_rows).push_back(1);
    if (m_defs[c].type == FieldType::Float) {
        d.reals.push_back(0);
    } else {
        d.ints.push_back(0);
        if (isText(m_defs[c].type))
            d.lens.push_back(0);
    }
}

void RowStore::appendInteger(std::int64_t v) {
    // The value is converted before anything is stored, so a refused value leaves no
    // half-appended cell behind.
    const int c = m_appendCol;
    ColumnData& d = m_data.at(c);
    switch (m_defs[c].type) {
        case FieldType::Float:
            d.reals.push_back(static_cast<double>(v));
            break;
        case FieldType::Currency:
            d.ints.push_back(currencyUnits(m_defs[c], v));
            break;
        case FieldType::String:
        case FieldType::Memo: {
            const std::string s = std::to_string(v);
            d.ints.push_back(static_cast<std::int64_t>(d.arena.size()));
            d.lens.push_back(static_cast<std::uint32_t>(s.size()));
            d.arena.append(s);
            break;
        }
        default:
            d.ints.push_back(v);
            break;
    }
    d.appendNotNull();
    ++m_appendCol;
}

void RowStore::appendFloat(double v) {
    // As for integers: converted before anything is stored.
    const int c = m_appendCol;
    ColumnData& d = m_data.at(c);
    switch (m_defs[c].type) {
        case FieldType::Float:
            d.reals.push_back(v);
            break;
        case FieldType::Currency:
            d.ints.push_back(currencyUnits(m_defs[c], v));
            break;
        case FieldType::String:
        case FieldType::Memo: {
            const QByteArray s = formatGeneral(v).toUtf8();
            d.ints.push_back(static_cast<std::int64_t>(d.arena.size()));
            d.lens.push_back(static_cast<std::uint32_t>(s.size()));
            d.arena.append(std::string_view(s.constData(), static_cast<std::size_t>(s.size())));
            break;
        }
        default:
            d.ints.push_back(wholeNumber(m_defs[c], v));
            break;
    }
    d.appendNotNull();
    ++m_appendCol;
}

void RowStore::appendCurrencyConverted(std::int64_t tenThousandths) {
    (void)m_defs.at(m_appendCol);  // past the last column: the same error as for other types
    appendFloat(static_cast<double>(tenThousandths) / 10000.0);
}

void RowStore::appendTextConverted(std::string_view utf8) {
    const FieldType t = m_defs.at(m_appendCol).type;
    // A column typed from its first value may meet text later: keep what converts.
    bool ok = false;
    const double v = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
                         .trimmed()
                         .toDouble(&ok);
    if (ok && t != FieldType::DateTime)
        appendFloat(v);
    else
        appendNull();
}

void RowStore::appendDateTime(std::int64_t msSinceEpoch) {
    const int c = m_appendCol;
    if (m_defs.at(c).type == FieldType::DateTime) {
        ++m_appendCol;
        m_data[c].appendNotNull();
        m_data[c].ints.push_back(msSinceEpoch);
        return;
    }
    const QByteArray s = naiveDateTime(msSinceEpoch).toString(Qt::ISODate).toUtf8();
    appendText(std::string_view(s.constData(), static_cast<std::size_t>(s.size())));
}

void RowStore::endRow() {
    ++m_version;
    while (m_appendCol < columnCount()) appendNull();
    ++m_rows;
    m_appendCol = 0;
}

bool RowStore::isNull(int row, int col) const {
    const std::vector<std::uint8_t>& nulls = m_data[col].nulls;
    return !nulls.empty() && nulls[row] != 0;
}

std::int64_t RowStore::integer(int row, int col) const {
    const ColumnData& d = m_data[col];
    switch (m_defs[col].type) {
        case FieldType::Float:
            return wholeNumber(m_defs[col], d.reals[row]);
        case FieldType::String:
        case FieldType::Memo:
            return QString::fromUtf8(text(row, col)).trimmed().toLongLong();
        default:
            return d.ints[row];
    }
}

double RowStore::real(int row, int col) const {
    const ColumnData& d = m_data[col];
    switch (m_defs[col].type) {
        case FieldType::Float:
            return d.reals[row];
        case FieldType::Currency:
            return static_cast<double>(d.ints[row]) / 10000.0;
        case FieldType::String:
        case FieldType::Memo:
            return QString::fromUtf8(text(row, col)).trimmed().toDouble();
        default:
            return static_cast<double>(d.ints[row]);
    }
}

std::string_view RowStore::text(int row, int col) const {
    const ColumnData& d = m_data[col];
    if (!isText(m_defs[col].type) || isNull(row, col))
        return {};
    return std::string_view(d.arena.data() + d.ints[row], d.lens[row]);
}

QString RowStore::string(int row, int col) const {
    if (isNull(row, col))
        return QString();
    const ColumnData& d = m_data[col];
    switch (m_defs[col].type) {
        case FieldType::Integer:
            return QString::number(d.ints[row]);
        case FieldType::Float:
            return formatGeneral(d.reals[row]);
        case FieldType::Currency:
            return formatGeneralScaled4(d.ints[row]);
        case FieldType::DateTime:
            return formatDateTime(naiveDateTime(d.ints[row]));
        case FieldType::String:
        case FieldType::Memo: {
            const std::string_view t = text(row, col);
            return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
        }
    }
    return QString();
}

void RowStore::appendString(int row, int col, std::string& out) const {
    if (isNull(row, col))
        return;
    const ColumnData& d = m_data[col];
    char buf[32];
    switch (m_defs[col].type) {
        case FieldType::Integer:
            out.append(buf, std::to_chars(buf, buf + sizeof buf, d.ints[row]).ptr);
            return;
        case FieldType::Currency:
            if (const int n = writeGeneralCurrency(d.ints[row], buf)) {
                out.append(buf, static_cast<std::size_t>(n));
                return;
            }
            break;
        case FieldType::String:
        case FieldType::Memo:
            out.append(text(row, col));
            return;
        default:
            break;
    }
    out.append(string(row, col).toStdString());
}

Scaled4 RowStore::scaled4(int row, int col) const {
    if (isNull(row, col))
        return 0;
    const ColumnData& d = m_data[col];
    switch (m_defs[col].type) {
        case FieldType::Integer:
            return Scaled4{d.ints[row]} * 10000;
        case FieldType::Currency:
            return d.ints[row];
        case FieldType::Float:
            return scaledFloat(m_defs[col], d.reals[row]);
        case FieldType::DateTime:
            return 0;
        case FieldType::String:
        case FieldType::Memo: {
            // A number carried as text sums as that number; any other text is an error, the
            // same for the grid's footer and the report's totals.
            const QString t = QString::fromUtf8(text(row, col)).trimmed();
            if (t.isEmpty())
                return 0;
            bool ok = false;
            const double v = t.toDouble(&ok);
            if (!ok)
                throw EDatabaseError(QStringLiteral("Field '%1': the text '%2' is not a number")
                                         .arg(m_defs[col].name, t.left(40)));
            return scaledFloat(m_defs[col], v);
        }
    }
    return 0;
}

std::optional<Scaled4> RowStore::columnSum(int col) const {
    const FieldType type = m_defs[col].type;
    if (type != FieldType::Integer && type != FieldType::Currency)
        return std::nullopt;
    const ColumnData& d = m_data[col];
    Scaled4 sum = 0;
    if (d.nulls.empty()) {
        for (int r = 0; r < m_rows; ++r) sum += d.ints[r];
    } else {
        for (int r = 0; r < m_rows; ++r) sum += d.nulls[r] ? 0 : d.ints[r];
    }
    return type == FieldType::Integer ? sum * 10000 : sum;
}

void RowStore::insertRow(int at) {
    ++m_version;
    for (std::size_t c = 0; c < m_defs.size(); ++c) {
        ColumnData& d = m_data[c];
        std::vector<std::uint8_t>& nulls = nullFlags(d, m_rows);
        nulls.insert(nulls.begin() + at, 1);
        if (m_defs[c].type == FieldType::Float) {
            d.reals.insert(d.reals.begin() + at, 0.0);
        } else {
            d.ints.insert(d.ints.begin() + at, 0);
            if (isText(m_defs[c].type))
                d.lens.insert(d.lens.begin() + at, 0);
        }
    }
    ++m_rows;
}

void RowStore::removeRow(int at) {
    ++m_version;
    for (std::size_t c = 0; c < m_defs.size(); ++c) {
        ColumnData& d = m_data[c];
        if (!d.nulls.empty())
            d.nulls.erase(d.nulls.begin() + at);
        if (m_defs[c].type == FieldType::Float) {
            d.reals.erase(d.reals.begin() + at);
        } else {
            d.ints.erase(d.ints.begin() + at);
            if (isText(m_defs[c].type))
                d.lens.erase(d.lens.begin() + at);
        }
    }
    --m_rows;
}

void RowStore::setNull(int row, int col) {
    ++m_version;
    nullFlags(m_data[col], m_rows)[row] = 1;
}

void RowStore::setInteger(int row, int col, std::int64_t v) {
    ++m_version;
    ColumnData& d = m_data[col];
    switch (m_defs[col].type) {
        case FieldType::Float:
            d.reals[row] = static_cast<double>(v);
            break;
        case FieldType::Currency:
            d.ints[row] = currencyUnits(m_defs[col], v);
            break;
        case FieldType::String:
        case FieldType::Memo:
            setText(row, col, std::to_string(v));
            return;
        default:
            d.ints[row] = v;
            break;
    }
    d.setNotNull(row);
}

void RowStore::setFloat(int row, int col, double v) {
    ++m_version;
    ColumnData& d = m_data[col];
    switch (m_defs[col].type) {
        case FieldType::Float:
            d.reals[row] = v;
            break;
        case FieldType::Currency:
            d.ints[row] = currencyUnits(m_defs[col], v);
            break;
        case FieldType::String:
        case FieldType::Memo: {
            const QByteArray s = formatGeneral(v).toUtf8();
            setText(row, col, std::string_view(s.constData(), static_cast<std::size_t>(s.size())));
            return;
        }
        default:
            d.ints[row] = wholeNumber(m_defs[col], v);
            break;
    }
    d.setNotNull(row);
}

void RowStore::setText(int row, int col, std::string_view utf8) {
    ++m_version;
    ColumnData& d = m_data[col];
    if (!isText(m_defs[col].type))
        throw EDatabaseError(
            QStringLiteral("Field '%1' is not a text field").arg(m_defs[col].name));
    d.ints[row] = static_cast<std::int64_t>(d.arena.size());
    d.lens[row] = static_cast<std::uint32_t>(utf8.size());
    d.arena.append(utf8);
    d.setNotNull(row);
}

void RowStore::setDateTime(int row, int col, std::int64_t msSinceEpoch) {
    ++m_version;
    if (m_defs[col].type != FieldType::DateTime) {
        const QByteArray s = naiveDateTime(msSinceEpoch).toString(Qt::ISODate).toUtf8();
        setText(row, col, std::string_view(s.constData(), static_cast<std::size_t>(s.size())));
        return;
    }
    m_data[col].ints[row] = msSinceEpoch;
    m_data[col].setNotNull(row);
}

std::vector<std::string> RowStore::snapshotRow(int row) const {
    std::vector<std::string> out(m_defs.size());
    for (std::size_t c = 0; c < m_defs.size(); ++c) {
        const ColumnData& d = m_data[c];
        std::string& s = out[c];
        s.push_back(static_cast<char>(isNull(row, static_cast<int>(c))));
        if (isText(m_defs[c].type)) {
            s.append(text(row, static_cast<int>(c)));
        } else if (m_defs[c].type == FieldType::Float) {
            s.append(reinterpret_cast<const char*>(&d.reals[row]), sizeof(double));
        } else {
            s.append(reinterpret_cast<const char*>(&d.ints[row]), sizeof(std::int64_t));
        }
    }
    return out;
}

void RowStore::restoreRow(int row, const std::vector<std::string>& snapshot) {
    ++m_version;
    for (std::size_t c = 0; c < m_defs.size() && c < snapshot.size(); ++c) {
        const std::string& s = snapshot[c];
        const int col = static_cast<int>(c);
        if (s.empty())
            continue;
        ColumnData& d = m_data[c];
        if (isText(m_defs[c].type)) {
            setText(row, col, std::string_view(s).substr(1));
        } else if (m_defs[c].type == FieldType::Float) {
            std::memcpy(&d.reals[row], s.data() + 1, sizeof(double));
        } else {
            std::memcpy(&d.ints[row], s.data() + 1, sizeof(std::int64_t));
        }
        if (s[0])
            nullFlags(d, m_rows)[row] = 1;
        else
            d.setNotNull(row);
    }
}

QDateTime naiveDateTime(std::int64_t msSinceEpoch) {
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(msSinceEpoch, QTimeZone::utc());
    return QDateTime(utc.date(), utc.time());
}

std::int64_t naiveMsSinceEpoch(const QDateTime& local) {
    return QDateTime(local.date(), local.time(), QTimeZone::utc()).toMSecsSinceEpoch();
}

}  // namespace db
