// Field values at the dataset's current row, their conversions and display formats.
// Null reads as "", 0 or an invalid date-time; text that does not convert raises
// EConvertError the way the framework's conversion routines word it.
#include "framework/db/field.h"

#include "framework/db/dataset.h"
#include "framework/text/errors.h"

#include <cmath>
#include <cstdlib>

namespace db {

namespace {

QDateTime parseDateTime(const QString& s) {
    const QString t = s.trimmed();
    QDateTime v = QDateTime::fromString(t, Qt::ISODate);
    if (!v.isValid())
        v = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!v.isValid()) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid())
            v = QDateTime(d, QTime(0, 0));
    }
    if (!v.isValid())
        throw EConvertError(QStringLiteral("'%1' is not a valid date and time").arg(s));
    return v;
}

}  // namespace

Field::Field(DataSet* dataSet, int index)
    : m_dataSet(dataSet),
      m_index(index),
      m_currency(dataSet->store().columns().at(index).type == FieldType::Currency) {}

const QString& Field::FieldName() const {
    return m_dataSet->m_store.columns()[m_index].name;
}

FieldType Field::DataType() const {
    return m_dataSet->m_store.columns()[m_index].type;
}

int Field::Size() const {
    return m_dataSet->m_store.columns()[m_index].size;
}

int Field::currentRow() const {
    return m_dataSet->m_row;
}

bool Field::IsNull() const {
    const int row = currentRow();
    return row < 0 || m_dataSet->m_store.isNull(row, m_index);
}

QString Field::AsString() const {
    const int row = currentRow();
    if (row < 0)
        return QString();
    return m_dataSet->m_store.string(row, m_index);
}

namespace {

// A text field read as a number: surrounding blanks allowed, anything else an EConvertError.
template <typename Convert>
auto parseText(const QString& t, Convert convert, const char* what) {
    bool ok = false;
    const auto v = convert(t.trimmed(), &ok);
    if (!ok)
        throw EConvertError(
            QStringLiteral("'%1' is not a valid %2 value").arg(t, QLatin1String(what)));
    return v;
}

}  // namespace

std::int64_t Field::AsInteger() const {
    if (IsNull())
        return 0;
    const RowStore& s = m_dataSet->m_store;
    const int row = currentRow();
    if (DataType() == FieldType::String || DataType() == FieldType::Memo)
        return parseText(
            s.string(row, m_index), [](const QString& t, bool* ok) { return t.toLongLong(ok); },
            "integer");
    if (DataType() == FieldType::Currency) {
        // Rounded half away from zero; every currency value rounds into range.
        const std::int64_t units = s.integer(row, m_index);
        const std::int64_t whole = units / 10000;
        const std::int64_t rest = units % 10000;
        return whole + (rest >= 5000 ? 1 : rest <= -5000 ? -1 : 0);
    }
    if (DataType() == FieldType::Float) {
        const double v = std::round(s.real(row, m_index));
        const std::optional<std::int64_t> whole = integerFromFloat(v);
        if (!whole)
            throw EConvertError(
                QStringLiteral("'%1' is not a valid integer value").arg(formatGeneral(v)));
        return *whole;
    }
    return s.integer(row, m_index);
}

double Field::AsFloat() const {
    if (IsNull())
        return 0;
    const RowStore& s = m_dataSet->m_store;
    const int row = currentRow();
    if (DataType() == FieldType::String || DataType() == FieldType::Memo)
        return parseText(
            s.string(row, m_index), [](const QString& t, bool* ok) { return t.toDouble(ok); },
            "floating point");
    return s.real(row, m_index);
}

QDateTime Field::AsDateTime() const {
    if (IsNull())
        return QDateTime();
    const RowStore& s = m_dataSet->m_store;
    const int row = currentRow();
    switch (DataType()) {
        case FieldType::DateTime:
            return naiveDateTime(s.integer(row, m_index));
        case FieldType::String:
        case FieldType::Memo:
            return parseDateTime(s.string(row, m_index));
        default:
            throw EConvertError(
                QStringLiteral("Field '%1' cannot be read as a date and time").arg(FieldName()));
    }
}

QString Field::DisplayText() const {
    const int row = currentRow();
    return row < 0 ? QString() : DisplayTextAt(row);
}

QString Field::DisplayTextAt(int row) const {
    const RowStore& s = m_dataSet->m_store;
    if (row < 0 || row >= s.rowCount() || s.isNull(row, m_index))
        return QString();
    if (m_currency && (DataType() == FieldType::Currency || DataType() == FieldType::Integer))
        return formatCurrencyScaled4(s.scaled4(row, m_index));
    if (m_currency && DataType() == FieldType::Float) {
        // A float too large for 1/10000 units still shows its value, in general format.
        const double v = s.real(row, m_index);
        if (const std::optional<Scaled4> units = scaled4FromFloat(v))
            return formatCurrencyScaled4(*units);
        return QStringLiteral("\uFFE5") + formatGeneral(v);
    }
    return s.string(row, m_index);
}

void Field::appendDisplayText(int row, std::string& out) const {
    const RowStore& s = m_dataSet->m_store;
    if (row < 0 || row >= s.rowCount() || s.isNull(row, m_index))
        return;
    if (m_currency && DataType() != FieldType::String && DataType() != FieldType::Memo &&
        DataType() != FieldType::DateTime) {
        out.append(DisplayTextAt(row).toStdString());
        return;
    }
    s.appendString(row, m_index, out);
}

void Field::SetCurrency(bool on) {
    if (m_currency == on)
        return;
    m_currency = on;
    if (m_dataSet->Active())
        m_dataSet->notifyLinks(DataSet::kChanged);
}

void Field::SetAsString(const QString& v) {
    m_dataSet->beginFieldWrite();
    RowStore& s = m_dataSet->m_store;
    const int row = currentRow();
    switch (DataType()) {
        case FieldType::String:
        case FieldType::Memo: {
            const QByteArray b = v.toUtf8();
            s.setText(row, m_index,
                      std::string_view(b.constData(), static_cast<std::size_t>(b.size())));
            return;
        }
        case FieldType::DateTime:
            if (v.trimmed().isEmpty())
                s.setNull(row, m_index);
            else
                s.setDateTime(row, m_index, naiveMsSinceEpoch(parseDateTime(v)));
            return;
        case FieldType::Integer: {
            if (v.trimmed().isEmpty()) {
                s.setNull(row, m_index);
                return;
            }
            bool ok = false;
            const qlonglong n = v.trimmed().toLongLong(&ok);
            if (!ok)
                throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v));
            s.setInteger(row, m_index, n);
            return;
        }
        case FieldType::Float:
        case FieldType::Currency: {
            if (v.trimmed().isEmpty()) {
                s.setNull(row, m_index);
                return;
            }
            bool ok = false;
            const double d = v.trimmed().toDouble(&ok);
            if (!ok)
                throw EConvertError(
                    QStringLiteral("'%1' is not a valid floating point value").arg(v));
            s.setFloat(row, m_index, d);
            return;
        }
    }
}

void Field::SetAsInteger(std::int64_t v) {
    m_dataSet->beginFieldWrite();
    if (DataType() == FieldType::DateTime)
        throw EConvertError(QStringLiteral("Field '%1' is not a number").arg(FieldName()));
    m_dataSet->m_store.setInteger(currentRow(), m_index, v);
}

void Field::SetAsFloat(double v) {
    m_dataSet->beginFieldWrite();
    if (DataType() == FieldType::DateTime)
        throw EConvertError(QStringLiteral("Field '%1' is not a number").arg(FieldName()));
    m_dataSet->m_store.setFloat(currentRow(), m_index, v);
}

void Field::SetAsDateTime(const QDateTime& v) {
    m_dataSet->beginFieldWrite();
    if (!v.isValid())
        m_dataSet->m_store.setNull(currentRow(), m_index);
    else
        m_dataSet->m_store.setDateTime(currentRow(), m_index, naiveMsSinceEpoch(v));
}

void Field::Clear() {
    m_dataSet->beginFieldWrite();
    m_dataSet->m_store.setNull(currentRow(), m_index);
}

QString formatGeneral(double v) {
    if (v == 0 || std::isnan(v))
        return QStringLiteral("0");
    QString s = QString::number(v, 'g', 15);
    // Exponent written the framework's way: 1E15, 1E-5.
    const qsizetype e = s.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        QString mant = s.left(e);
        QString exp = s.mid(e + 1);
        const bool neg = exp.startsWith(QLatin1Char('-'));
        exp.remove(0, 1);
        while (exp.size() > 1 && exp.startsWith(QLatin1Char('0'))) exp.remove(0, 1);
        s = mant + QLatin1Char('E') + (neg ? QStringLiteral("-") : QString()) + exp;
    }
    return s;
}

QString formatDateTime(const QDateTime& v) {
    if (!v.isValid())
        return QString();
    if (v.time() == QTime(0, 0))
        return v.date().toString(QStringLiteral("yyyy-MM-dd"));
    return v.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

}  // namespace db
