// Datasets over SQL text and over stored procedures: both fetch every row at Open through
// their connection's driver. Procedure parameters keep their declared order; the return
// value lands in the parameter declared as Result, outputs in theirs by name.
#include "framework/db/query.h"

#include "framework/db/database.h"
#include "framework/db/drivers/driver.h"
#include "framework/db/money.h"
#include "framework/text/errors.h"

#include <cmath>

namespace db {

namespace {

[[noreturn]] void badParam(const Param& p, const char* what) {
    throw EConvertError(QStringLiteral("'%1' is not a valid %2 value for parameter %3")
                            .arg(p.Value.toString(), QLatin1String(what), p.Name));
}

bool holdsFloat(const QVariant& v) {
    const int id = v.typeId();
    return id == QMetaType::Double || id == QMetaType::Float;
}

void requireResultSet(const RowStore& rows, const QString& what) {
    // Opening something that returns no row set is an error; run it with ExecSQL/ExecProc.
    if (rows.columnCount() == 0)
        throw EDatabaseError(QStringLiteral("%1: no result set returned").arg(what));
}

}  // namespace

std::int64_t paramInteger(const Param& p) {
    if (holdsFloat(p.Value)) {
        // Converting a double Qt's way is undefined out of range: checked here first.
        const std::optional<std::int64_t> v = integerFromFloat(std::round(p.Value.toDouble()));
        if (!v)
            badParam(p, "integer");
        return *v;
    }
    bool ok = false;
    const qlonglong v = p.Value.toLongLong(&ok);
    if (!ok)
        badParam(p, "integer");
    return v;
}

double paramFloat(const Param& p) {
    bool ok = false;
    const double v = p.Value.toDouble(&ok);
    if (!ok)
        badParam(p, "floating point");
    return v;
}

std::int64_t paramCurrencyUnits(const Param& p) {
    const int id = p.Value.typeId();
    std::optional<std::int64_t> units;
    if (id == QMetaType::LongLong || id == QMetaType::Int || id == QMetaType::ULongLong ||
        id == QMetaType::UInt) {
        bool ok = false;
        const qlonglong whole = p.Value.toLongLong(&ok);
        if (ok)
            units = currencyFromInteger(whole);
    } else {
        units = currencyFromFloat(paramFloat(p));
    }
    if (!units)
        badParam(p, "currency");
    return *units;
}

Query::Query(QObject* parent) : DataSet(parent) {}

void Query::fetchRows(RowStore& into) {
    const QString sql = m_sql.join(QLatin1Char('\n'));
    requireDatabase().connection().execute(sql, &into);
    requireResultSet(into, objectName().isEmpty() ? sql : objectName());
}

void Query::ExecSQL() {
    requireDatabase().connection().execute(m_sql.join(QLatin1Char('\n')), nullptr);
}

StoredProc::StoredProc(QObject* parent) : DataSet(parent) {}

void StoredProc::addParam(const QString& name, FieldType type, ParamType direction) {
    Param p;
    p.Name = name;
    p.DataType = type;
    p.Type = direction;
    m_params.push_back(std::move(p));
}

Param& StoredProc::ParamByName(const QString& name) {
    for (Param& p : m_params) {
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    throw EDatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

void StoredProc::fetchRows(RowStore& into) {
    requireDatabase().connection().call(m_procName, m_params, &into);
    requireResultSet(into, m_procName);
}

void StoredProc::ExecProc() {
    if (Active())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    requireDatabase().connection().call(m_procName, m_params, nullptr);
}

}  // namespace db
